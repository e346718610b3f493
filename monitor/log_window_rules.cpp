#include "monitor/log_window_rules.h"

#include <time.h>

#include <algorithm>

#include "events/log_record.h"

namespace ocv {
namespace {

// A damaged setting cannot send the range before 1970.
constexpr int kMaxUnits = 52 * 50;

int64_t MidnightOf(int64_t t) {
    time_t tt = static_cast<time_t>(t);
    struct tm local {};
    localtime_r(&tt, &local);
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&local));
}

}  // namespace

std::vector<SubtypeChoice> SubtypeChoices(int logType) {
    switch (logType) {
        case kLogAlarm:
            return {{0, "All"},
                    {1, "Motion Detection"},
                    {2, "Input alarm"},
                    {3, "Temperature normal"},
                    {4, "Temperature abnormal"}};
        case kLogSystem:
            return {{0, "All"}, {1, "Enter and exit system"}, {2, "Connections"}, {3, "Logs, files and disks"}};
        case kLogOperate:
            return {{0, "All"},
                    {1, "Login and logout"},
                    {2, "Live view operations"},
                    {3, "Backup and playback capture"},
                    {4, "Maps"},
                    {5, "Devices and groups"},
                    {6, "Backup log"},
                    {7, "Accounts, settings and records"},
                    {8, "Devices"},
                    {10, "System parameters"}};
        default: return {};
    }
}

TimeRange DefaultLogRange(int64_t now, int logMonth) {
    int64_t units = logMonth < 0 ? 1 : std::min(logMonth, kMaxUnits);
    int64_t today = MidnightOf(now);
    // Whole days of 86400 s land within an hour of that day's midnight whatever summer time did
    // on the way; noon of that day finds its midnight.
    int64_t first = MidnightOf(today - units * 7 * 86400 + 12 * 3600);
    return TimeRange{first, MidnightOf(today + 36 * 3600) - 1};
}

}  // namespace ocv
