#pragma once
// The recordings of one channel and day as the playback page keeps them: one entry per
// recording, sorted by start time, from the local images.fi files of every drive or from a
// device's search answer. The seek and preview rules work on this list.
#include <cstdint>
#include <string>
#include <vector>

namespace ocv::playback {

constexpr int kSecondsPerDay = 86400;

// Record type filter of typeCombo: 0 all, 1 manual, 2 alarm, 3 plan.
constexpr int kTypeAll = 0;
constexpr int kTypeFilterCount = 4;

struct RecordEntry {
    uint16_t hour = 0, minute = 0, second = 0;  // start, from the file name
    uint16_t type = 0;                          // 1 manual, 2 alarm, 3 plan
    int32_t durationSeconds = 0;                // entries with <= 0 are neither drawn nor played
    uint32_t value2 = 0;                        // size in KiB (local and remote)
    int drive = 0;                              // local: 0 = C .. 23 = Z
    // Remote: the device's number of the file and its name for QVX_SDK_PlayBackByName.
    uint32_t fileNumber = 0;
    std::string remoteName;

    int StartSecond() const { return (hour * 60 + minute) * 60 + second; }
    int EndSecond() const { return StartSecond() + durationSeconds; }
    bool Playable() const { return durationSeconds > 0; }
};

using RecordList = std::vector<RecordEntry>;

// Inserts in ascending start order; a new entry goes after those with an equal start.
void InsertSorted(RecordList* list, RecordEntry entry);

// True when the entry passes the type filter (0 takes every type).
bool PassesTypeFilter(const RecordEntry& entry, int typeFilter);

// The first playable entry at index >= from that ends after t (start + duration > t): the entry
// covering t, or the next one after a gap. -1 when none.
int FirstEndingAfter(const RecordList& list, int t, size_t from = 0);
// The playable entry covering t (start <= t < start + duration); -1 when none.
int EntryCovering(const RecordList& list, int t);

// Where to open an entry to show time t: (t - start) x 100 / duration percent, integer
// division; 0 when t lies before the start, 100 at or after the end.
int SeekPercent(const RecordEntry& entry, int t);

}  // namespace ocv::playback
