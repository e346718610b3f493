#pragma once
// The live view page's background threads. They never touch the page: whatever the page must
// do with their results arrives as a posted message.
//   restore worker (once at start): connects every configured channel when the CONNECT
//     setting is 1, then asks the page to reopen the remembered cells;
//   channel event worker (every 500 ms): drains the record-state notices, reads the new
//     alarm events for body-temperature marks and compares every channel's tree icons with
//     the last ones it reported, posting a refresh for each channel that changed; it also
//     reports the day's temperature counters whenever they differ from the last report, so a
//     reset at midnight reaches the page without waiting for the next reading.
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "base/stop_signal.h"

namespace ocv {

class DeviceService;

constexpr int kMsgChannelChanged = 1205;      // wParam device, lParam channel
constexpr int kMsgRestoreCells = 1209;        // the remembered cells may be reopened now
constexpr int kMsgTemperatureMark = 1210;     // wParam channel id, lParam time << 8 | code
constexpr int kMsgDayCounters = 1212;         // wParam readings today, lParam abnormal ones

class LiveViewWorkers {
public:
    using PostFn = std::function<void(int message, intptr_t wParam, intptr_t lParam)>;

    LiveViewWorkers(DeviceService& service, PostFn post);
    ~LiveViewWorkers();
    LiveViewWorkers(const LiveViewWorkers&) = delete;
    LiveViewWorkers& operator=(const LiveViewWorkers&) = delete;

    // restoreDelay: 1 s in the client; tests shorten it.
    void Start(std::chrono::milliseconds restoreDelay = std::chrono::milliseconds(1000));
    void Stop();
    // One round of the channel event worker (tests drive it).
    void ChannelEventRound();

private:
    void RestoreLoop(std::chrono::milliseconds delay);
    void EventLoop();

    DeviceService& service_;
    PostFn post_;
    StopSignal stop_;
    std::thread restore_;
    std::thread events_;
    uint64_t eventCursor_ = 0;
    std::vector<uint32_t> lastSignature_;  // per channel id; 0 = never reported
    int lastReadings_ = -1, lastAbnormal_ = -1;  // the counters last reported; -1 = never
};

}  // namespace ocv
