#include "record/disk_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/drives.h"
#include "platform/system_control.h"
#include "record/record_paths.h"
#include "base/clock.h"
#include "base/trace.h"

namespace ocv {
namespace {

constexpr int kLogFileRecovery = 11;
constexpr int kLogDiskError = 12;
constexpr int kLogNoDiskSpace = 13;
// Day folders hold channel folders that hold files; anything much deeper is not ours.
constexpr int kMaxTreeDepth = 16;

std::vector<std::string> ListNames(DIR* dir) {
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    }
    return names;
}

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        names = ListNames(dir);
        closedir(dir);
    }
    return names;
}

// A folder, not a link to one.
bool IsRealFolder(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Removes one entry of a folder; a second try after closing handles on it.
bool RemoveEntry(int dirFd, const std::string& name, const std::string& path, int flags) {
    if (unlinkat(dirFd, name.c_str(), flags) == 0 || errno == ENOENT) return true;
    QVX_CloseFileHandle(path.c_str());
    return unlinkat(dirFd, name.c_str(), flags) == 0 || errno == ENOENT;
}

// Empties the folder open at dirFd, working relative to the descriptor so that no entry
// swapped for a link meanwhile can lead outside it. false when something stays.
bool EmptyFolder(int dirFd, const std::string& path, int depth) {
    if (depth > kMaxTreeDepth) return false;
    int listFd = dup(dirFd);
    DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0) close(listFd);
        return false;
    }
    std::vector<std::string> names = ListNames(dir);
    closedir(dir);
    bool ok = true;
    for (const std::string& name : names) {
        std::string child = path + "/" + name;
        struct stat st {};
        if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone already
        if (S_ISDIR(st.st_mode)) {
            int sub = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            bool emptied = sub >= 0 && EmptyFolder(sub, child, depth + 1);
            if (sub >= 0) close(sub);
            if (!emptied || !RemoveEntry(dirFd, name, child, AT_REMOVEDIR)) ok = false;
            continue;
        }
        if (!RemoveEntry(dirFd, name, child, 0)) ok = false;
        // Spreads a large deletion out so recorders writing today's files keep their bandwidth.
        usleep(1000);
    }
    return ok;
}

}  // namespace

DiskManager::DiskManager(Settings settings, SystemLogFn log)
    : settings_(std::move(settings)),
      log_(std::move(log)),
      usable_(drives::IsUsableForRecording),
      freeBytes_([](char letter, uint64_t* bytes) { return drives::GetFreeBytes(letter, bytes); }),
      path_([](char letter, const std::string& rel) { return drives::DrivePath(letter, rel); }),
      deleteTree_(DeleteTree) {}

DiskManager::~DiskManager() { Stop(); }

void DiskManager::SetPlatformForTesting(UsableFn usable, FreeBytesFn freeBytes, PathFn path) {
    usable_ = std::move(usable);
    freeBytes_ = std::move(freeBytes);
    path_ = std::move(path);
}

void DiskManager::SetDeleteTreeForTesting(std::function<int(const std::string&)> deleteTree) {
    deleteTree_ = std::move(deleteTree);
}

int DiskManager::SelectDisk(bool* allFull) {
    *allFull = false;
    uint32_t mask = settings_.diskMask() & ((1u << kMaxDrives) - 1);
    if (mask == 0) {
        currentRecordDisk_ = -1;
        return 2;
    }
    int reserve = settings_.diskRemainGiB();
    int clamped = reserve < 1 ? 1 : (reserve >= 50 ? 50 : reserve);
    for (int n = 0; n < kMaxDrives; ++n) {
        if (!(mask & (1u << n))) continue;
        char letter = drives::LetterOf(n);
        if (!usable_(letter)) continue;
        uint64_t bytes = 0;
        if (freeBytes_(letter, &bytes) != 0) continue;
        double freeGiB = static_cast<double>(bytes / 1048576) * (1.0 / 1024.0);
        if (freeGiB > clamped) {
            currentRecordDisk_ = n;
            return 0;
        }
    }
    *allFull = true;
    return 1;
}

int DiskManager::CoverOldestDay() {
    uint32_t mask = settings_.diskMask() & ((1u << kMaxDrives) - 1);
    std::string oldest;
    for (int n = 0; n < kMaxDrives; ++n) {
        if (!(mask & (1u << n))) continue;
        std::string root = path_(drives::LetterOf(n), "QVXFile");
        if (root.empty()) continue;
        for (const std::string& name : ListNames(root)) {
            // Stray files, foreign folders ("backup", "download") and links are not days.
            if (!IsDayFolderName(name) || undeletable_.count(name) != 0) continue;
            if ((oldest.empty() || name < oldest) && IsRealFolder(root + "/" + name)) oldest = name;
        }
    }
    if (oldest.empty()) return 0;
    ClockSnapshot now = clockSnapshot();
    if (oldest == DayFolderName(now.year, now.month, now.day)) return -1;

    bool removed = false, failed = false;
    auto deleteOn = [&](int n) {
        std::string folder = path_(drives::LetterOf(n), "QVXFile/" + oldest);
        if (folder.empty() || !IsRealFolder(folder)) return;
        if (deleteTree_(folder) == 0) removed = true;
        else failed = true;
    };
    int current = currentRecordDisk_.load();
    if (current >= 0 && current < kMaxDrives) deleteOn(current);
    for (int n = 0; n < kMaxDrives; ++n)
        if ((mask & (1u << n)) && n != current) deleteOn(n);
    if (removed && log_) log_(kLogFileRecovery, oldest.c_str());
    if (failed) {
        // Reported once; later checks go on with the next day instead of trying it for ever.
        undeletable_.insert(oldest);
        Trace("disk manager: recording day %s cannot be deleted\n", oldest.c_str());
        if (log_) log_(kLogDiskError, oldest.c_str());
        return -1;
    }
    return 0;
}

int DiskManager::DeleteTree(const std::string& folder) {
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0) return errno == ENOENT ? 0 : -1;
    if (!S_ISDIR(st.st_mode)) return -1;  // a link is never followed, a file is not a folder
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    EmptyFolder(fd, folder, 0);
    close(fd);
    if (rmdir(folder.c_str()) == 0 || errno == ENOENT) return 0;
    QVX_CloseFileHandle(folder.c_str());
    return rmdir(folder.c_str()) == 0 ? 0 : -1;
}

void DiskManager::CheckDisks() {
    bool allFull = false;
    int rc = SelectDisk(&allFull);
    if (rc == 1 && settings_.coverOn()) {
        for (int i = 0; i < kMaxCoversPerCheck; ++i) {
            CoverOldestDay();
            if (SelectDisk(&allFull) == 0) break;
        }
    }
    if (allFull) {
        // Recording stops at the scheduler's next pass.
        currentRecordDisk_ = -1;
        if (log_) log_(kLogNoDiskSpace, "");
    }
    // No disk selected is a setting, not an event: said once, not every ten seconds.
    if (rc == 2 && !noDiskReported_ && log_) log_(kLogNoDiskSpace, "");
    noDiskReported_ = rc == 2;
    diskFull_ = allFull || rc == 2;
    int disk = currentRecordDisk_.load();
    if (disk != publishedDisk_ || diskFull_ != publishedFull_) {
        publishedDisk_ = disk;
        publishedFull_ = diskFull_;
        PublishTo(hub_, DiskStateChanged{disk, publishedFull_});
    }
}

void DiskManager::Start() {
    if (thread_.joinable()) return;
    stop_.Reset();
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "disk-monitor");
        MonitorLoop();
    });
}

void DiskManager::Stop() {
    stop_.Request();
    if (thread_.joinable()) thread_.join();
}

void DiskManager::MonitorLoop() {
    for (int pass = 0;; ++pass) {
        if (pass % 10 == 0) CheckDisks();
        if (stop_.WaitFor(std::chrono::seconds(1))) return;
    }
}

}  // namespace ocv
