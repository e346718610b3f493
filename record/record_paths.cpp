#include "record/record_paths.h"

#include <cstdio>
#include <cstring>

#include "platform/drives.h"

namespace ocv {
namespace {

bool IsDigits(const std::string& s, size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

uint32_t Number(const std::string& s, size_t from, size_t count) {
    uint32_t v = 0;
    for (size_t i = from; i < from + count; ++i) v = v * 10 + static_cast<uint32_t>(s[i] - '0');
    return v;
}

}  // namespace

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

bool IsDayFolderName(const std::string& name) {
    return name.size() == 10 && IsDigits(name, 0, 4) && name[4] == '_' && IsDigits(name, 5, 2) &&
           name[7] == '_' && IsDigits(name, 8, 2);
}

std::string ChannelFolderName(const char* host, int port, int channelNumber) {
    constexpr size_t kRoom = sizeof(RecordStartInfo::folder) - 1;
    char suffix[32];
    snprintf(suffix, sizeof suffix, "-%d-%d", port, channelNumber);
    std::string name = host ? host : "";
    size_t suffixLength = strlen(suffix);
    if (suffixLength >= kRoom) return std::string(suffix, kRoom);
    if (name.size() + suffixLength > kRoom) name.resize(kRoom - suffixLength);
    name += suffix;
    // A host text is a name, never a path: no separator may reach the file system.
    for (char& c : name)
        if (c == '/' || c == '\\') c = '_';
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

std::string ListedFileName(const RecordStartInfo& day, const IndexRecord& record) {
    RecordStartInfo info = day;
    info.hour = record.startHour;
    info.minute = record.startMinute;
    info.second = record.startSecond;
    info.recordType = record.recordType;
    return RecordFileName(info);
}

bool ParseRecordFileName(const std::string& name, RecordStartInfo* info) {
    // PREFIX(4) yymmdd(6) '_' hhmmss(6) ".qvx"(4)
    if (name.size() != 21 || name[10] != '_' || name.compare(17, 4, ".qvx") != 0) return false;
    if (!IsDigits(name, 4, 6) || !IsDigits(name, 11, 6)) return false;
    uint32_t type;
    if (name.compare(0, 4, "NREC") == 0) type = 1;
    else if (name.compare(0, 4, "AREC") == 0) type = 2;
    else if (name.compare(0, 4, "PREC") == 0) type = 3;
    else return false;
    uint32_t month = Number(name, 6, 2), day = Number(name, 8, 2);
    uint32_t hour = Number(name, 11, 2), minute = Number(name, 13, 2), second = Number(name, 15, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return false;
    info->year = 2000 + Number(name, 4, 2);
    info->month = month;
    info->day = day;
    info->hour = hour;
    info->minute = minute;
    info->second = second;
    info->recordType = type;
    return true;
}

bool NextSecondOfDay(RecordStartInfo* info) {
    uint32_t s = info->hour * 3600 + info->minute * 60 + info->second + 1;
    if (s >= 86400) return false;
    info->hour = s / 3600;
    info->minute = s / 60 % 60;
    info->second = s % 60;
    return true;
}

}  // namespace ocv
