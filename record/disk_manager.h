#pragma once
// Chooses the disk recordings go to, watches the free space of the selected disks and, when
// all are full, deletes the oldest recording day (automatic cover) or reports the disk full.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "shell/base/stop_signal.h"

namespace ocv {

class DiskManager {
public:
    // Reads and writes of the settings this manager depends on, so it does not own them.
    struct Settings {
        std::function<uint32_t()> diskMask;        // bit n selects drive 'C' + n
        std::function<int()> diskRemainGiB;        // reserve kept free
        std::function<void(int)> setDiskRemainGiB; // the clamped reserve is stored back
        std::function<bool()> coverOn;             // automatic cover
    };
    // System log entry (subtype, note): 11 "File recovery" with the deleted day, 13 "No disk space".
    using SystemLogFn = std::function<void(int subtype, const char* note)>;
    // Platform queries, replaceable by tests.
    using UsableFn = std::function<bool(char letter)>;
    using FreeBytesFn = std::function<int(char letter, uint64_t* freeBytes)>;
    using PathFn = std::function<std::string(char letter, const std::string& relative)>;

    DiskManager(Settings settings, SystemLogFn log);
    ~DiskManager();
    DiskManager(const DiskManager&) = delete;
    DiskManager& operator=(const DiskManager&) = delete;

    void SetPlatformForTesting(UsableFn usable, FreeBytesFn freeBytes, PathFn path);

    // 0: a disk qualifies (it is now the record disk); 1: no selected disk qualifies
    // (allFull set, the record disk unchanged); 2: no disk selected (record disk -1).
    int SelectDisk(bool* allFull);
    // 0: a day was deleted or there was nothing to delete; -1: the oldest day is today.
    int CoverOldestDay();
    // Removes a folder and everything below it (symbolic links are removed, never followed).
    static int DeleteTree(const std::string& folder);

    // One disk check of the monitor (select, cover up to 10 days, or report).
    void CheckDisks();
    // The monitor thread: a pass a second, a disk check on every tenth pass, the first at once.
    void Start();
    void Stop();

    // Index of the disk to record on (0 = C), -1 for none. Read by any thread.
    int CurrentRecordDisk() const { return currentRecordDisk_.load(); }
    // True while the last check found every selected disk full (the disk-full alarm sound).
    bool DiskFull() const { return diskFull_.load(); }

private:
    static constexpr int kMaxDrives = 24;
    static constexpr int kMaxCoversPerCheck = 10;
    void MonitorLoop();

    Settings settings_;
    SystemLogFn log_;
    UsableFn usable_;
    FreeBytesFn freeBytes_;
    PathFn path_;
    std::atomic<int> currentRecordDisk_{-1};
    std::atomic<bool> diskFull_{false};

    std::thread thread_;
    StopSignal stop_;
};

}  // namespace ocv
