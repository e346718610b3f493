#pragma once
// The log window's choices without a window: the subtype groups each log type offers, and the
// time range it opens on.
#include <cstdint>
#include <vector>

namespace ocv {

struct SubtypeChoice {
    int entry;         // the search's subtype entry (0 = every subtype of the log type)
    const char* text;  // English
};

// "All" first, then the groups of the log type in entry order. The operation log's entries 9
// and 11 select nothing and are not offered.
std::vector<SubtypeChoice> SubtypeChoices(int logType);

// The range the window opens on: from midnight of the first day the retention keeps (LOGMONTH
// units of 7 days before today; 0 keeps today only, a negative value counts as one) to the
// last second of today, local time. now is the clock's calendar time.
struct TimeRange {
    int64_t start, end;
};
TimeRange DefaultLogRange(int64_t now, int logMonth);

}  // namespace ocv
