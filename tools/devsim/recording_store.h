#pragma once
// The recordings a simulated device keeps on its own disk. Nothing is stored: which days have
// recordings and which files a day holds follow from the channel and the date by fixed rules
// (docs/device-protocol.md, "Simulated recordings"), so tests can predict every answer.
#include <cstdint>
#include <string>
#include <vector>

#include "sdk/wire_recorded.h"

namespace ocv::devsim {

struct ArchiveOptions {
    // The last day with recordings; 0 = the machine's today (local time).
    int lastYear = 0, lastMonth = 0, lastDay = 0;
    int historyDays = 42;  // that many days up to the last one have recordings (gaps aside)
};

struct StoredFile {
    int channel = 0;
    wire::DateTime start;  // device local time
    int durationSec = 0;
    int recordType = 0;    // 1 manual, 2 alarm, 3 plan
    uint32_t number = 0;   // position in the day's list, from 1
    uint32_t sizeKiB = 0;
    std::string name;

    int64_t StartMs() const;  // ms since 1970-01-01 00:00 of the device's calendar
    int64_t EndMs() const { return StartMs() + int64_t(durationSec) * 1000; }
};

class RecordingStore {
public:
    // channelKbps: the main stream's bit rate of each channel (the files' sizes follow it).
    RecordingStore(ArchiveOptions options, std::vector<int> channelKbps);

    int channels() const { return int(kbps_.size()); }
    bool HasRecordings(int channel, int year, int month, int day) const;
    // The day's files in start order; empty for a day without recordings.
    std::vector<StoredFile> FilesOfDay(int channel, int year, int month, int day) const;
    // Files of the condition's channel and type that overlap its span, in start order, at most limit.
    std::vector<StoredFile> Search(const wire::SearchCondition& condition, size_t limit) const;
    // 32 characters: '1' at index d when day d of the month has recordings, '0' elsewhere.
    std::string DayMarks(int channel, int year, int month) const;
    // The file of that name (as a search lists it). false when there is none.
    bool FindByName(int channel, const std::string& name, StoredFile* out) const;

private:
    int64_t LastDayNumber() const;  // days since 1970 of the last day with recordings

    ArchiveOptions options_;
    std::vector<int> kbps_;
};

}  // namespace ocv::devsim
