#pragma once
// The span of a backup and the recordings it takes: one channel, one day, a start and an end
// second, over every drive that holds recordings.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ocv::backup {

struct LocalDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "YYYY-MM-DD HH:MM:SS" (a 'T' between date and time is taken too). 0, or -1 for anything
// else, including a date that does not exist.
int ParseDateTime(std::string_view text, LocalDateTime* out);
bool IsValidDateTime(const LocalDateTime& t);
std::string FormatDateTime(const LocalDateTime& t);

// Seconds of one day: start inclusive, end exclusive.
struct BackupSpan {
    int year = 0, month = 0, day = 0;
    int startSecond = 0;
    int endSecond = 0;
};

enum class SpanCheck {
    kOk,
    kInvalid,            // a date or time that does not exist
    kStartNotBeforeEnd,  // "Start time can not exceed the end time!"
    kCrossesDay,         // "Not cross day backup!"
};

// Checks in the order the backup window reports them: start before end, then the same day.
SpanCheck MakeSpan(const LocalDateTime& start, const LocalDateTime& end, BackupSpan* out);

// Record type filter: 0 takes every file, 1 manual, 2 alarm, 3 plan.
constexpr int kAnyRecordType = 0;

struct SpanFile {
    std::string path;
    int startSecond = 0;           // from the index record, i.e. from the file name
    uint32_t durationSeconds = 0;  // as the index says
    uint16_t recordType = 0;
    int driveOrder = 0;            // position of its drive among those searched
};

// The recording files of a channel folder ("<host>-<port>-<channel from 1>") that overlap the
// span, read from images.fi of that day on each drive directory, merged in start order (files
// that start together keep the drive order). A file overlaps when its start plus duration
// reaches the span start and it starts before the span end. Files with no duration yet are
// left out. A drive without the index is skipped. 0, or -2 when no file qualifies.
int FindSpanFiles(const std::vector<std::string>& driveDirs, const std::string& channelFolder,
                  const BackupSpan& span, int typeFilter, std::vector<SpanFile>* out);

// The directory of every mapped drive letter C..Z, each directory once (two letters mapped
// to the same place would otherwise back up every file twice).
std::vector<std::string> AllDriveDirectories();

}  // namespace ocv::backup
