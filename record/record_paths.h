#pragma once
// Folder and file names of the recordings:
//   <drive>/QVXFile/<yyyy_mm_dd>/<host>-<port>-<channel from 1>/<PREFIX><yymmdd>_<hhmmss>.qvx
//   and images.fi beside the files.
// Everything that writes, reads, repairs or covers recordings builds and recognises these names
// here, so all of them follow one rule.
#include <cstdint>
#include <string>

#include "record/record_format.h"

namespace ocv {

// 17 words copied into a recorder by a start request.
struct RecordStartInfo {
    uint32_t year, month, day, hour, minute, second;  // local start time
    uint32_t disk;                                    // 0 = C
    uint32_t recordType;                              // 0 none, 1 manual, 2 alarm, 3 plan
    uint32_t reserved;
    char folder[32];                                  // channel folder name, NUL-terminated
};
static_assert(sizeof(RecordStartInfo) == 17 * 4);

// "NREC" manual, "AREC" alarm, "PREC" plan and none.
const char* RecordPrefix(uint32_t recordType);
std::string DayFolderName(int year, int month, int day);
// True only for "dddd_dd_dd", the names DayFolderName gives.
bool IsDayFolderName(const std::string& name);
// "<host>-<port>-<channel from 1>" within the 31 characters the start info holds. A long host
// is cut, never the "-port-channel" suffix, so every channel of a device keeps its own folder.
std::string ChannelFolderName(const char* host, int port, int channelNumber);
// The channel's folder of a day on a disk; "" when the disk's letter is not mapped.
std::string RecordFolderPath(uint32_t disk, int year, int month, int day, const char* channelFolder);
std::string RecordFolderPath(const RecordStartInfo& info);
// "<PREFIX><yymmdd>_<hhmmss>.qvx" of the start info's kind, date and time.
std::string RecordFileName(const RecordStartInfo& info);
// The name of the file an index record lists, in the folder of the start info's date.
std::string ListedFileName(const RecordStartInfo& day, const IndexRecord& record);
// The reverse: kind (a "PREC" file is a plan recording), date (20yy) and time of a recording's
// name. false for any other name, or a date or time that cannot be.
bool ParseRecordFileName(const std::string& name, RecordStartInfo* info);
// Moves the start time on by one second; false (unchanged) at 23:59:59, which has no next
// second in the same day folder.
bool NextSecondOfDay(RecordStartInfo* info);

}  // namespace ocv
