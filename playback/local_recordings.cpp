#include "playback/local_recordings.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "platform/drives.h"
#include "record/index_file.h"
#include "record/record_paths.h"

namespace ocv::playback {
namespace {

std::string RealDirectory(const std::string& dir) {
    char resolved[PATH_MAX];
    return realpath(dir.c_str(), resolved) ? std::string(resolved) : dir;
}

const DriveDir* FindDrive(const std::vector<DriveDir>& drives, int index) {
    for (const DriveDir& d : drives)
        if (d.index == index) return &d;
    return nullptr;
}

std::string DayFolder(const std::string& driveDir, const Date& date) {
    return driveDir + "/QVXFile/" + DayFolderName(date.year, date.month, date.day);
}

}  // namespace

std::vector<DriveDir> MappedDrives() {
    std::vector<DriveDir> out;
    std::set<std::string> seen;
    for (int n = 0; n < drives::kMaxDrives; ++n) {
        std::string dir = drives::DriveDirectory(drives::LetterOf(n));
        if (dir.empty()) continue;
        if (seen.insert(RealDirectory(dir)).second) out.push_back(DriveDir{n, dir});
    }
    return out;
}

int SearchLocalDay(const std::vector<DriveDir>& drives, const Date& date, const std::string& channelFolder,
                   int typeFilter, RecordList* out) {
    out->clear();
    if (typeFilter < 0 || typeFilter >= kTypeFilterCount) return -1;
    for (const DriveDir& drive : drives) {
        std::vector<IndexRecord> records;
        const std::string index = DayFolder(drive.dir, date) + "/" + channelFolder + "/" + kIndexFileName;
        if (ReadIndexFile(index, &records) != 0) continue;
        for (const IndexRecord& r : records) {
            RecordEntry e;
            e.hour = r.startHour;
            e.minute = r.startMinute;
            e.second = r.startSecond;
            e.type = r.recordType;
            // The index holds an unsigned count; anything beyond a day is no duration we draw.
            e.durationSeconds = r.durationSeconds > static_cast<uint32_t>(kSecondsPerDay)
                                    ? 0
                                    : static_cast<int32_t>(r.durationSeconds);
            e.value2 = r.sizeKiB;
            e.drive = drive.index;
            if (!PassesTypeFilter(e, typeFilter)) continue;
            InsertSorted(out, std::move(e));
        }
    }
    return 0;
}

DayMarks LocalDayMarks(const std::vector<DriveDir>& drives, int year, int month) {
    DayMarks marks{};
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%04d_%02d_", year, month);
    const size_t prefixLength = std::strlen(prefix);
    for (const DriveDir& drive : drives) {
        DIR* dir = opendir((drive.dir + "/QVXFile").c_str());
        if (!dir) continue;
        while (dirent* entry = readdir(dir)) {
            const char* name = entry->d_name;
            if (std::strncmp(name, prefix, prefixLength) != 0) continue;
            const char* digits = name + prefixLength;
            if (digits[0] < '0' || digits[0] > '9' || digits[1] < '0' || digits[1] > '9') continue;
            int day = (digits[0] - '0') * 10 + (digits[1] - '0');
            if (day >= 1 && day <= 31) marks[static_cast<size_t>(day)] = true;
        }
        closedir(dir);
    }
    return marks;
}

std::string LocalRecordingPath(const std::vector<DriveDir>& drives, const Date& date,
                               const std::string& channelFolder, const RecordEntry& entry) {
    if (entry.type > kRecordPlan) return {};
    const DriveDir* drive = FindDrive(drives, entry.drive);
    if (!drive) return {};
    char name[64];
    std::snprintf(name, sizeof name, "%s%02d%02d%02d_%02d%02d%02d.qvx", RecordPrefix(entry.type), date.year % 100,
                  date.month % 100, date.day % 100, entry.hour % 100, entry.minute % 100, entry.second % 100);
    return DayFolder(drive->dir, date) + "/" + channelFolder + "/" + name;
}

}  // namespace ocv::playback
