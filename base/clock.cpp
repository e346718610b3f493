#include "base/clock.h"

#include <time.h>

#include <mutex>

#include "platform/crash_filter.h"

namespace ocv {
namespace {

std::mutex gMutex;
ClockSnapshot gSnapshot;
std::function<int64_t()> gSource;  // empty: the system clock
int64_t gFixedTime = 0;

int64_t SourceTime() {
    std::function<int64_t()> source;
    {
        std::lock_guard lock(gMutex);
        source = gSource;
    }
    return source ? source() : static_cast<int64_t>(::time(nullptr));
}

}  // namespace

ClockSnapshot MakeClockSnapshot(int64_t t) {
    time_t tt = static_cast<time_t>(t);
    struct tm local {};
    localtime_r(&tt, &local);
    ClockSnapshot s;
    s.time = t;
    s.year = local.tm_year + 1900;
    s.month = local.tm_mon + 1;
    s.day = local.tm_mday;
    s.hour = local.tm_hour;
    s.minute = local.tm_min;
    s.second = local.tm_sec;
    s.weekday = local.tm_wday;
    SetCrashFilterUtcOffset(local.tm_gmtoff);
    return s;
}

ClockSnapshot clockSnapshot() {
    std::lock_guard lock(gMutex);
    return gSnapshot;
}

ClockSnapshot RenewClockSnapshot() {
    ClockSnapshot s = MakeClockSnapshot(SourceTime());
    std::lock_guard lock(gMutex);
    gSnapshot = s;
    return s;
}

void SetClockSourceForTesting(std::function<int64_t()> source) {
    std::lock_guard lock(gMutex);
    gSource = std::move(source);
}

int64_t SetClockForTesting(int year, int month, int day, int hour, int minute, int second) {
    struct tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    int64_t t = static_cast<int64_t>(mktime(&local));
    {
        std::lock_guard lock(gMutex);
        gFixedTime = t;
        gSource = [] { return gFixedTime; };
    }
    RenewClockSnapshot();
    return t;
}

void AdvanceClockForTesting(int64_t seconds) {
    {
        std::lock_guard lock(gMutex);
        gFixedTime += seconds;
        gSource = [] { return gFixedTime; };
    }
    RenewClockSnapshot();
}

}  // namespace ocv
