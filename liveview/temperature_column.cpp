#include "liveview/temperature_column.h"

#include <pthread.h>
#include <time.h>

#include <cstdio>

#include "base/channel_id.h"
#include "base/clock.h"

namespace ocv {

TemperatureRow FormatTemperatureRow(const TemperatureRecord& record, int tempUnit) {
    TemperatureRow row;
    row.recordTime = record.time;
    time_t t = static_cast<time_t>(record.time);
    struct tm local {};
    localtime_r(&t, &local);
    char text[64];
    snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
             local.tm_hour, local.tm_min, local.tm_sec);
    row.time = text;
    int hundredths = record.code & 0x7FFF;
    if (tempUnit == 1) snprintf(text, sizeof text, "%0.2f", hundredths / 100.0 * 1.8 + 32);
    else snprintf(text, sizeof text, "%d.%02d", hundredths / 100, hundredths % 100);
    row.temperature = text;
    row.rgb = (record.code & 0x8000) ? kTemperatureAbnormalRgb : kTemperatureNormalRgb;
    return row;
}

std::string FormatCalendarDate(const CalendarDate& date) {
    char text[32];
    snprintf(text, sizeof text, "%d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

TemperatureQueryWorker::TemperatureQueryWorker(TemperatureQueries& queries, ChannelConnections& connections,
                                               PostFn post)
    : queries_(queries), connections_(connections), post_(std::move(post)) {}

void TemperatureQueryWorker::Start(std::chrono::milliseconds round) {
    Stop();
    stop_.Reset();
    thread_ = std::thread([this, round] {
        pthread_setname_np(pthread_self(), "lv-temp");
        while (!stop_.WaitFor(round)) Round();
    });
}

void TemperatureQueryWorker::Stop() {
    stop_.Request();
    if (thread_.joinable()) thread_.join();
}

void TemperatureQueryWorker::SetFilter(int filter) {
    if (filter < 0 || filter > 2) return;
    if (filter_.exchange(filter) != filter) refresh_ = true;
}

void TemperatureQueryWorker::SetDate(const CalendarDate& date) {
    {
        std::lock_guard lock(dateMutex_);
        date_ = date;
        dateChosen_ = true;
    }
    refresh_ = true;
}

CalendarDate TemperatureQueryWorker::Date() const {
    std::lock_guard lock(dateMutex_);
    if (dateChosen_) return date_;
    ClockSnapshot now = clockSnapshot();
    return CalendarDate{now.year, now.month, now.day};
}

void TemperatureQueryWorker::Round() {
    int channel = channel_.load();
    bool refresh = refresh_.exchange(false);
    bool changed = channel != lastChannel_;
    if (!changed && !refresh && ++roundsSinceQuery_ < kRoundsPerQuery) return;
    lastChannel_ = channel;
    roundsSinceQuery_ = 0;
    Query(channel, filter_.load(), Date());
}

void TemperatureQueryWorker::Query(int channelId, int filter, const CalendarDate& date) {
    std::vector<TemperatureRecord> found;
    // Only screening cameras keep a temperature log; other channels show an empty column.
    if (IsChannelId(channelId) &&
        connections_.IsThermalCapable(DeviceIndexOf(channelId), ChannelIndexOf(channelId)) == 0) {
        TimeBound start{date.year, date.month, date.day, 0, 0, 0};
        TimeBound end{date.year, date.month, date.day, 23, 59, 59};
        ++queryCount_;
        queries_.QueryTemperatureLog(DeviceIndexOf(channelId), ChannelIndexOf(channelId), start, end, filter, &found);
    }
    {
        std::lock_guard lock(recordsMutex_);
        records_.swap(found);
    }
    post_(kMsgTemperatureReady, 0, 0);
}

std::vector<TemperatureRecord> TemperatureQueryWorker::Records() {
    std::lock_guard lock(recordsMutex_);
    return records_;
}

}  // namespace ocv
