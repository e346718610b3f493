#include "record/record_repair.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "platform/drives.h"
#include "record/index_file.h"
#include "record/record_paths.h"
#include "base/trace.h"

namespace ocv {
namespace {

constexpr uint32_t kMaxPlausibleDurationSeconds = 3660;
constexpr uint32_t kClampedDurationSeconds = 3600;

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

bool IsRealFolder(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The date of the day folder that holds the channel folder.
bool DayOfFolder(const std::string& channelFolder, RecordStartInfo* day) {
    size_t slash = channelFolder.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return false;
    size_t prev = channelFolder.find_last_of('/', slash - 1);
    size_t from = prev == std::string::npos ? 0 : prev + 1;
    std::string name = channelFolder.substr(from, slash - from);
    if (!IsDayFolderName(name)) return false;
    *day = {};
    day->year = static_cast<uint32_t>(std::stoi(name.substr(0, 4)));
    day->month = static_cast<uint32_t>(std::stoi(name.substr(5, 2)));
    day->day = static_cast<uint32_t>(std::stoi(name.substr(8, 2)));
    return true;
}

// The frame header at a file offset, when a whole record starts there.
bool WholeRecordAt(int fd, uint64_t at, uint64_t fileSize, FrameHeader* h) {
    if (at < kRecordHeaderBytes || at + kFrameHeaderBytes > fileSize) return false;
    if (pread(fd, h, sizeof *h, static_cast<off_t>(at)) != static_cast<ssize_t>(sizeof *h)) return false;
    return h->dataLength <= kMaxFrameDataLength && at + kFrameHeaderBytes + h->dataLength <= fileSize;
}

// Brings one recording file and its index record up to date: cuts a partial tail, takes back
// index entries that do not hold whole key frames, corrects the frame count, and fills in the
// record's size and duration. 0, or -1 when the file is missing or its header is damaged.
int RepairFile(const std::string& path, IndexRecord* record, bool* cut) {
    *cut = false;
    int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    std::vector<uint8_t> header(kRecordHeaderBytes);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) < kRecordHeaderBytes ||
        pread(fd, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()) ||
        memcmp(header.data(), kRecordFileMagic, 4) != 0) {
        close(fd);
        return -1;
    }
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    uint32_t storedCount, startTimeMs;
    memcpy(&storedCount, header.data() + kVideoFrameCountOffset, 4);
    memcpy(&startTimeMs, header.data() + kStartTimeOffset, 4);
    std::vector<KeyFrameIndexEntry> entries;
    bool ordered = true;
    for (uint32_t i = 0; i < kKeyFrameIndexEntries; ++i) {
        KeyFrameIndexEntry e;
        memcpy(&e, header.data() + kKeyFrameIndexOffset + 8 * i, sizeof e);
        if (e.fileOffset == 0) break;
        if (e.fileOffset < kRecordHeaderBytes || (!entries.empty() && e.fileOffset <= entries.back().fileOffset))
            ordered = false;
        entries.push_back(e);
    }

    // The last entry is relied on only when a whole key frame starts there; otherwise the
    // walk starts at the header and checks every entry against what it finds.
    FrameHeader h;
    bool trustIndex = !entries.empty() && ordered &&
                      WholeRecordAt(fd, entries.back().fileOffset, fileSize, &h) && IsKeyFrame(h);
    uint64_t at = trustIndex ? entries.back().fileOffset : kRecordHeaderBytes;
    uint32_t videoFrames = 0, lastVideoTs = 0;
    bool sawVideo = false;
    std::vector<std::pair<uint64_t, uint32_t>> keyFrames;  // offset, video frames up to it
    while (WholeRecordAt(fd, at, fileSize, &h)) {
        if (IsVideoFrame(h)) {
            ++videoFrames;
            lastVideoTs = h.timestampMs;
            sawVideo = true;
            if (!trustIndex && IsKeyFrame(h)) keyFrames.emplace_back(at, videoFrames);
        }
        at += kFrameHeaderBytes + h.dataLength;
    }
    uint64_t end = at;

    size_t kept = entries.size();
    uint32_t count = storedCount;
    if (!trustIndex) {
        kept = 0;
        count = 0;
        size_t k = 0;
        for (const KeyFrameIndexEntry& e : entries) {
            while (k < keyFrames.size() && keyFrames[k].first < e.fileOffset) ++k;
            if (k == keyFrames.size() || keyFrames[k].first != e.fileOffset) break;
            count = keyFrames[k].second;
            ++kept;
            ++k;
        }
    }
    bool ok = true;
    if (kept < entries.size()) {
        std::vector<uint8_t> zeros(8 * (entries.size() - kept), 0);
        ok = pwrite(fd, zeros.data(), zeros.size(), kKeyFrameIndexOffset + 8 * kept) ==
             static_cast<ssize_t>(zeros.size());
    }
    if (ok && count != storedCount) ok = pwrite(fd, &count, 4, kVideoFrameCountOffset) == 4;
    if (!ok) Trace("record repair: %s: cannot correct the key-frame index\n", path.c_str());
    if (end < fileSize) {
        if (ftruncate(fd, static_cast<off_t>(end)) == 0) *cut = true;
        else end = fileSize;  // the file stays as it is; readers stop at the torn record
    }
    fdatasync(fd);
    close(fd);

    uint32_t seconds = kept > 0 ? entries[kept - 1].seconds : 0;
    if (sawVideo) seconds = std::max(seconds, (lastVideoTs - startTimeMs) / 1000);
    if (seconds > kMaxPlausibleDurationSeconds) seconds = kClampedDurationSeconds;
    record->sizeKiB = static_cast<uint32_t>(end / 1024);
    record->durationSeconds = seconds;
    return 0;
}

}  // namespace

RepairSummary RepairChannelFolder(const std::string& channelFolder) {
    RepairSummary summary;
    summary.foldersScanned = 1;
    RecordStartInfo day;
    if (!DayOfFolder(channelFolder, &day)) return summary;
    std::string indexPath = channelFolder + "/" + kIndexFileName;
    std::vector<IndexRecord> records;
    struct stat indexStat {};
    if (ReadIndexFile(indexPath, &records) != 0 && lstat(indexPath.c_str(), &indexStat) == 0) {
        Trace("record repair: cannot read %s\n", indexPath.c_str());
        return summary;  // never replace a list that could not be read
    }

    bool changed = false;
    std::set<std::string> listed;
    std::vector<IndexRecord> out;
    for (IndexRecord r : records) {
        std::string name = ListedFileName(day, r);
        std::string path = channelFolder + "/" + name;
        listed.insert(name);
        if (r.sizeKiB != 0) {
            out.push_back(r);
            continue;
        }
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 && errno == ENOENT) {
            // Looked for at every start otherwise.
            Trace("record repair: %s has gone; taken off the list\n", path.c_str());
            ++summary.recordsDropped;
            changed = true;
            continue;
        }
        bool cut = false;
        if (RepairFile(path, &r, &cut) != 0) {
            ++summary.filesSkipped;
            out.push_back(r);
            continue;
        }
        ++summary.recordsRepaired;
        if (cut) ++summary.filesCut;
        changed = true;
        out.push_back(r);
        Trace("record repair: %s: %u KiB, %u s%s\n", path.c_str(), r.sizeKiB, r.durationSeconds,
              cut ? ", partial last frame cut" : "");
    }

    // Recordings of this day that the list never got (a crash between creating and listing).
    std::vector<std::pair<uint32_t, std::string>> unlisted;
    for (const std::string& name : Names(channelFolder)) {
        RecordStartInfo info{};
        if (!ParseRecordFileName(name, &info) || listed.count(name) != 0) continue;
        if (info.year % 100 != day.year % 100 || info.month != day.month || info.day != day.day) continue;
        unlisted.emplace_back(info.hour * 3600 + info.minute * 60 + info.second, name);
    }
    std::sort(unlisted.begin(), unlisted.end());
    for (const auto& [second, name] : unlisted) {
        RecordStartInfo info{};
        ParseRecordFileName(name, &info);
        IndexRecord r{};
        r.startHour = static_cast<uint16_t>(info.hour);
        r.startMinute = static_cast<uint16_t>(info.minute);
        r.startSecond = static_cast<uint16_t>(info.second);
        r.recordType = static_cast<uint16_t>(info.recordType);
        std::string path = channelFolder + "/" + name;
        bool cut = false;
        if (RepairFile(path, &r, &cut) != 0) continue;  // no recording header: not ours to list
        ++summary.recordsListed;
        if (cut) ++summary.filesCut;
        changed = true;
        out.push_back(r);
        Trace("record repair: %s was not listed: %u KiB, %u s\n", path.c_str(), r.sizeKiB,
              r.durationSeconds);
    }
    if (changed && ReplaceIndexFile(indexPath, out) != 0)
        Trace("record repair: %s could not be brought up to date\n", indexPath.c_str());
    return summary;
}

RepairSummary RepairRecordings() {
    RepairSummary total;
    for (int n = 0; n < drives::kMaxDrives; ++n) {
        char letter = drives::LetterOf(n);
        if (drives::DriveDirectory(letter).empty()) continue;
        std::string root = drives::DrivePath(letter, "QVXFile");
        for (const std::string& dayName : Names(root)) {
            std::string dayFolder = root + "/" + dayName;
            if (!IsDayFolderName(dayName) || !IsRealFolder(dayFolder)) continue;
            for (const std::string& channel : Names(dayFolder)) {
                if (!IsRealFolder(dayFolder + "/" + channel)) continue;
                RepairSummary s = RepairChannelFolder(dayFolder + "/" + channel);
                total.foldersScanned += s.foldersScanned;
                total.recordsRepaired += s.recordsRepaired;
                total.recordsListed += s.recordsListed;
                total.recordsDropped += s.recordsDropped;
                total.filesCut += s.filesCut;
                total.filesSkipped += s.filesSkipped;
            }
        }
    }
    return total;
}

}  // namespace ocv
