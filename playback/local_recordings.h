#pragma once
// The local recordings as the playback page finds them: the images.fi of a channel's day folder
// on every recording drive, the days of a month that have recordings, and the path of the file
// an entry names.
#include <array>
#include <string>
#include <vector>

#include "playback/record_list.h"

namespace ocv::playback {

struct DriveDir {
    int index = 0;    // 0 = C .. 23 = Z
    std::string dir;  // the directory the letter maps to
};

// Every mapped drive letter C..Z in letter order; a directory mapped by two letters counts once
// (under the first), so its recordings are not listed twice.
std::vector<DriveDir> MappedDrives();

struct Date {
    int year = 0, month = 0, day = 0;
    bool operator==(const Date&) const = default;
};

// The recordings of the channel folder ("<host>-<port>-<channel from 1>") on the date, read
// from images.fi on each drive record by record (a torn last record is left out), filtered by
// type and merged in start order; entries remember their drive. Drives without the index are
// skipped. 0, or -1 for a type filter outside 0..3 (the list is then empty).
int SearchLocalDay(const std::vector<DriveDir>& drives, const Date& date, const std::string& channelFolder,
                   int typeFilter, RecordList* out);

// Day d of the month (1..31) is marked when a drive's QVXFile folder holds an entry whose name
// begins with "yyyy_mm_" and continues with the two digits of d. Index 0 stays false.
using DayMarks = std::array<bool, 32>;
DayMarks LocalDayMarks(const std::vector<DriveDir>& drives, int year, int month);

// The recording an entry names: <drive dir>/QVXFile/yyyy_mm_dd/<folder>/<PREFIX>yymmdd_hhmmss.qvx
// with the prefix of its type ("PREC" for 0 and 3, "NREC" 1, "AREC" 2). "" for a type outside
// 0..3 or a drive the list does not hold.
std::string LocalRecordingPath(const std::vector<DriveDir>& drives, const Date& date,
                               const std::string& channelFolder, const RecordEntry& entry);

}  // namespace ocv::playback
