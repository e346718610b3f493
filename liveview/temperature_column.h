#pragma once
// The temperature column of the live view without its window: the worker (`lv-temp`) that
// queries the selected temperature channel's log for the filter date, and how each record is
// shown (time, temperature in the chosen unit, colour).
//
// The worker runs a round every 500 ms: it queries at once when the selected channel, the
// filter or the date changed or the operator asked for a refresh, and at least every 20
// rounds (10 s) otherwise; the records replace the list under the column's lock and the page
// is told with message 1207. The query itself runs outside the lock.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/stop_signal.h"
#include "device/channel_connections.h"
#include "device/temperature_queries.h"

namespace ocv {

constexpr int kMsgTemperatureReady = 1207;
constexpr int kMsgTemperatureActivated = 1470;
constexpr int kMsgTemperatureDate = 1724;

constexpr uint32_t kTemperatureNormalRgb = 0x00FF00;
constexpr uint32_t kTemperatureAbnormalRgb = 0xFF0000;

struct TemperatureRow {
    std::string time;         // "2020-09-13 12:26:40", local time
    std::string temperature;  // "36.50", or in Fahrenheit "97.70"
    uint32_t rgb;             // red when abnormal, else green
    int32_t recordTime;       // the record's time, kept as the row's data
};

// tempUnit: 0 Celsius, 1 Fahrenheit (the system setting).
TemperatureRow FormatTemperatureRow(const TemperatureRecord& record, int tempUnit);

struct CalendarDate {
    int year = 1970, month = 1, day = 1;
    bool operator==(const CalendarDate&) const = default;
};
// "%d-%02d-%02d", the date button's text.
std::string FormatCalendarDate(const CalendarDate& date);

class TemperatureQueryWorker {
public:
    using PostFn = std::function<void(int message, intptr_t wParam, intptr_t lParam)>;
    static constexpr int kRoundsPerQuery = 20;

    TemperatureQueryWorker(TemperatureQueries& queries, ChannelConnections& connections, PostFn post);
    ~TemperatureQueryWorker() { Stop(); }
    TemperatureQueryWorker(const TemperatureQueryWorker&) = delete;
    TemperatureQueryWorker& operator=(const TemperatureQueryWorker&) = delete;

    void Start(std::chrono::milliseconds round = std::chrono::milliseconds(500));
    void Stop();

    // UI thread: what the column shows. The channel is the selected cell's (-1 none).
    void SetChannel(int channelId) { channel_ = channelId; }
    int channel() const { return channel_.load(); }
    void SetFilter(int filter);
    void SetDate(const CalendarDate& date);
    // The filter date follows the clock's day until the operator picks one.
    CalendarDate Date() const;
    // Query at the next round ("Refresh").
    void Refresh() { refresh_ = true; }

    // One round of the worker (the thread runs it every 500 ms; tests call it).
    void Round();
    // UI thread, on 1207: the records of the latest query, in reply order.
    std::vector<TemperatureRecord> Records();
    // Queries made so far (tests).
    int Queries() const { return queryCount_.load(); }

private:
    void Query(int channelId, int filter, const CalendarDate& date);

    TemperatureQueries& queries_;
    ChannelConnections& connections_;
    PostFn post_;
    std::atomic<int> channel_{-1};
    std::atomic<int> filter_{0};
    std::atomic<bool> refresh_{false};
    mutable std::mutex dateMutex_;
    CalendarDate date_{};
    bool dateChosen_ = false;
    std::atomic<int> queryCount_{0};

    // The worker's own view between rounds.
    int lastChannel_ = -2;
    int roundsSinceQuery_ = 0;

    std::mutex recordsMutex_;  // the column's temperature lock
    std::vector<TemperatureRecord> records_;

    StopSignal stop_;
    std::thread thread_;
};

}  // namespace ocv
