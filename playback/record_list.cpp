#include "playback/record_list.h"

#include <algorithm>

namespace ocv::playback {

void InsertSorted(RecordList* list, RecordEntry entry) {
    const int start = entry.StartSecond();
    auto at = std::upper_bound(list->begin(), list->end(), start,
                               [](int s, const RecordEntry& e) { return s < e.StartSecond(); });
    list->insert(at, std::move(entry));
}

bool PassesTypeFilter(const RecordEntry& entry, int typeFilter) {
    return typeFilter == kTypeAll || entry.type == typeFilter;
}

int FirstEndingAfter(const RecordList& list, int t, size_t from) {
    for (size_t i = from; i < list.size(); ++i)
        if (list[i].Playable() && list[i].EndSecond() > t) return static_cast<int>(i);
    return -1;
}

int EntryCovering(const RecordList& list, int t) {
    for (size_t i = 0; i < list.size(); ++i) {
        const RecordEntry& e = list[i];
        if (e.Playable() && e.StartSecond() <= t && t < e.EndSecond()) return static_cast<int>(i);
    }
    return -1;
}

int SeekPercent(const RecordEntry& entry, int t) {
    const int start = entry.StartSecond();
    if (entry.durationSeconds <= 0 || t <= start) return 0;
    const int64_t p = static_cast<int64_t>(t - start) * 100 / entry.durationSeconds;
    return static_cast<int>(std::min<int64_t>(p, 100));
}

}  // namespace ocv::playback
