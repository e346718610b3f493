#pragma once
// Folder and file names of the recordings:
//   <drive>/QVXFile/<yyyy_mm_dd>/<host>-<port>-<channel from 1>/<PREFIX><yymmdd>_<hhmmss>.qvx
//   and images.fi beside the files.
#include <cstdint>
#include <string>

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
// "<host>-<port>-<channel from 1>", cut to the 31 characters the start info holds.
std::string ChannelFolderName(const char* host, int port, int channelNumber);
// The channel's folder of a day on a disk; "" when the disk's letter is not mapped.
std::string RecordFolderPath(uint32_t disk, int year, int month, int day, const char* channelFolder);
std::string RecordFolderPath(const RecordStartInfo& info);
std::string RecordFileName(const RecordStartInfo& info);

}  // namespace ocv
