#include "record/record_paths.h"

#include <cstdio>
#include <cstring>

#include "platform/drives.h"

namespace ocv {

const char* RecordPrefix(uint32_t recordType) {
    switch (recordType) {
        case 1: return "NREC";
        case 2: return "AREC";
        default: return "PREC";
    }
}

std::string DayFolderName(int year, int month, int day) {
    char name[32];
    snprintf(name, sizeof name, "%04d_%02d_%02d", year, month, day);
    return name;
}

std::string ChannelFolderName(const char* host, int port, int channelNumber) {
    char name[sizeof(RecordStartInfo::folder)];
    snprintf(name, sizeof name, "%s-%d-%d", host ? host : "", port, channelNumber);
    // A host text is a name, never a path: no separator may reach the file system.
    for (char* c = name; *c; ++c)
        if (*c == '/' || *c == '\\') *c = '_';
    return name;
}

std::string RecordFolderPath(uint32_t disk, int year, int month, int day, const char* channelFolder) {
    if (disk >= static_cast<uint32_t>(drives::kMaxDrives)) return {};
    std::string rel = "QVXFile/" + DayFolderName(year, month, day) + "/" + channelFolder;
    return drives::DrivePath(drives::LetterOf(static_cast<int>(disk)), rel);
}

std::string RecordFolderPath(const RecordStartInfo& info) {
    char folder[sizeof info.folder + 1] = {};
    memcpy(folder, info.folder, sizeof info.folder);
    return RecordFolderPath(info.disk, static_cast<int>(info.year), static_cast<int>(info.month),
                            static_cast<int>(info.day), folder);
}

std::string RecordFileName(const RecordStartInfo& info) {
    char name[64];
    snprintf(name, sizeof name, "%s%02u%02u%02u_%02u%02u%02u.qvx", RecordPrefix(info.recordType),
             info.year % 100, info.month % 100, info.day % 100, info.hour % 100, info.minute % 100,
             info.second % 100);
    return name;
}

}  // namespace ocv
