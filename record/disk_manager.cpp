#include "record/disk_manager.h"

#include <dirent.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/drives.h"
#include "platform/system_control.h"
#include "shell/base/clock.h"

namespace ocv {
namespace {

constexpr int kLogFileRecovery = 11;
constexpr int kLogNoDiskSpace = 13;
// Day folders sort below this; "backup", "download" and other names never do.
constexpr const char* kNoDay = "9999_99_99";

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                names.emplace_back(e->d_name);
        }
        closedir(dir);
    }
    return names;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

DiskManager::DiskManager(Settings settings, SystemLogFn log)
    : settings_(std::move(settings)),
      log_(std::move(log)),
      usable_(drives::IsUsableForRecording),
      freeBytes_([](char letter, uint64_t* bytes) { return drives::GetFreeBytes(letter, bytes); }),
      path_([](char letter, const std::string& rel) { return drives::DrivePath(letter, rel); }) {}

DiskManager::~DiskManager() { Stop(); }

void DiskManager::SetPlatformForTesting(UsableFn usable, FreeBytesFn freeBytes, PathFn path) {
    usable_ = std::move(usable);
    freeBytes_ = std::move(freeBytes);
    path_ = std::move(path);
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
    if (clamped != reserve) settings_.setDiskRemainGiB(clamped);
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
    std::string oldest = kNoDay;
    bool found = false;
    for (int n = 0; n < kMaxDrives; ++n) {
        if (!(mask & (1u << n))) continue;
        std::string root = path_(drives::LetterOf(n), "QVXFile");
        if (root.empty()) continue;
        for (const std::string& name : ListNames(root)) {
            if (name.size() <= 2) continue;
            if (name < oldest) {
                oldest = name;
                found = true;
            }
        }
    }
    if (!found) return 0;
    ClockSnapshot now = clockSnapshot();
    char today[16];
    snprintf(today, sizeof today, "%04d_%02d_%02d", now.year, now.month, now.day);
    if (oldest == today) return -1;

    auto deleteOn = [&](int n) {
        std::string folder = path_(drives::LetterOf(n), "QVXFile/" + oldest);
        if (!folder.empty() && Exists(folder)) DeleteTree(folder);
    };
    int current = currentRecordDisk_.load();
    if (current >= 0 && current < kMaxDrives) deleteOn(current);
    for (int n = 0; n < kMaxDrives; ++n)
        if ((mask & (1u << n)) && n != current) deleteOn(n);
    if (log_) log_(kLogFileRecovery, oldest.c_str());
    return 0;
}

int DiskManager::DeleteTree(const std::string& folder) {
    for (const std::string& name : ListNames(folder)) {
        std::string path = folder + "/" + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            DeleteTree(path);
            continue;
        }
        if (unlink(path.c_str()) != 0 && Exists(path)) {
            QVX_CloseFileHandle(path.c_str());
            unlink(path.c_str());
        }
        // Spreads a large deletion out so recorders writing today's files keep their bandwidth.
        usleep(1000);
    }
    if (rmdir(folder.c_str()) == 0) return 0;
    if (!Exists(folder)) return 0;
    QVX_CloseFileHandle(folder.c_str());
    return rmdir(folder.c_str()) == 0 ? 0 : -1;
}

void DiskManager::CheckDisks() {
    bool allFull = false;
    int rc = SelectDisk(&allFull);
    if (rc == 1) {
        if (settings_.coverOn()) {
            for (int i = 0; i < kMaxCoversPerCheck; ++i) {
                CoverOldestDay();
                if (SelectDisk(&allFull) == 0) break;
            }
        } else if (log_) {
            log_(kLogNoDiskSpace, "");
        }
    }
    if (allFull) currentRecordDisk_ = -1;
    diskFull_ = allFull;
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
