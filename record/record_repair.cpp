#include "record/record_repair.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/drives.h"
#include "platform/file_util.h"
#include "record/index_file.h"
#include "record/record_file_reader.h"
#include "record/record_paths.h"
#include "shell/base/trace.h"

namespace ocv {
namespace {

constexpr uint32_t kMaxPlausibleDurationSeconds = 3660;
constexpr uint32_t kClampedDurationSeconds = 3600;

std::vector<std::string> Subfolders(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            if (DirectoryExists(folder + "/" + name)) names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

// "yyyy_mm_dd" of the day folder that holds the channel folder.
bool DayOfFolder(const std::string& channelFolder, int* y, int* m, int* d) {
    size_t slash = channelFolder.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return false;
    size_t prev = channelFolder.find_last_of('/', slash - 1);
    std::string day = channelFolder.substr(prev == std::string::npos ? 0 : prev + 1,
                                           slash - (prev == std::string::npos ? 0 : prev + 1));
    return day.size() == 10 && sscanf(day.c_str(), "%4d_%2d_%2d", y, m, d) == 3;
}

}  // namespace

RepairSummary RepairChannelFolder(const std::string& channelFolder) {
    RepairSummary summary;
    summary.foldersScanned = 1;
    std::string indexPath = channelFolder + "/" + kIndexFileName;
    std::vector<IndexRecord> records;
    int year, month, day;
    if (ReadIndexFile(indexPath, &records) != 0 || !DayOfFolder(channelFolder, &year, &month, &day))
        return summary;
    IndexFile index;
    for (size_t i = 0; i < records.size(); ++i) {
        IndexRecord r = records[i];
        if (r.sizeKiB != 0) continue;
        RecordStartInfo info{};
        info.year = static_cast<uint32_t>(year);
        info.month = static_cast<uint32_t>(month);
        info.day = static_cast<uint32_t>(day);
        info.hour = r.startHour;
        info.minute = r.startMinute;
        info.second = r.startSecond;
        info.recordType = r.recordType;
        std::string path = channelFolder + "/" + RecordFileName(info);
        RecordFileReader reader;
        if (reader.Open(path) != 0) {
            ++summary.filesSkipped;
            continue;
        }
        // Walk from the last indexed key frame: everything before it was complete when indexed.
        if (!reader.KeyFrames().empty()) reader.Seek(reader.KeyFrames().back().fileOffset);
        uint32_t lastVideoTs = 0;
        bool sawVideo = false;
        FrameHeader h;
        std::vector<uint8_t> data;
        while (reader.Next(&h, &data)) {
            if (IsVideoFrame(h)) {
                lastVideoTs = h.timestampMs;
                sawVideo = true;
            }
        }
        uint64_t validEnd = reader.Offset();
        uint64_t fileSize = reader.FileSize();
        reader.Close();
        bool cut = false;
        if (validEnd < fileSize) {
            if (truncate(path.c_str(), static_cast<off_t>(validEnd)) == 0) cut = true;
            else validEnd = fileSize;  // the file stays as it is; readers stop at the torn record
        }
        uint32_t seconds = 0;
        RecordFileReader header;
        if (header.Open(path) == 0) {
            if (!header.KeyFrames().empty()) seconds = header.KeyFrames().back().seconds;
            if (sawVideo) seconds = std::max(seconds, (lastVideoTs - header.StartTimeMs()) / 1000);
        }
        if (seconds > kMaxPlausibleDurationSeconds) seconds = kClampedDurationSeconds;
        r.sizeKiB = static_cast<uint32_t>(validEnd / 1024);
        r.durationSeconds = seconds;
        if (!index.IsOpen() && index.Open(indexPath) != 0) return summary;
        if (index.Rewrite(static_cast<long>(i * sizeof(IndexRecord)), r) != 0) continue;
        ++summary.recordsRepaired;
        if (cut) ++summary.filesCut;
        Trace("record repair: %s: %u KiB, %u s%s\n", path.c_str(), r.sizeKiB, seconds,
              cut ? ", partial last frame cut" : "");
    }
    return summary;
}

RepairSummary RepairRecordings() {
    RepairSummary total;
    for (int n = 0; n < drives::kMaxDrives; ++n) {
        char letter = drives::LetterOf(n);
        if (drives::DriveDirectory(letter).empty()) continue;
        std::string root = drives::DrivePath(letter, "QVXFile");
        for (const std::string& dayName : Subfolders(root)) {
            for (const std::string& channel : Subfolders(root + "/" + dayName)) {
                RepairSummary s = RepairChannelFolder(root + "/" + dayName + "/" + channel);
                total.foldersScanned += s.foldersScanned;
                total.recordsRepaired += s.recordsRepaired;
                total.filesCut += s.filesCut;
                total.filesSkipped += s.filesSkipped;
            }
        }
    }
    return total;
}

}  // namespace ocv
