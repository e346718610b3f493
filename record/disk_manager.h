#pragma once
// Chooses the disk recordings go to, watches the free space of the selected disks and, when
// all are full, deletes the oldest recording day (automatic cover) or reports the disk full.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "base/stop_signal.h"
#include "runtime/core_events.h"

namespace ocv {

class DiskManager {
public:
    // Reads of the settings this manager depends on (it never writes them: they are the
    // operator's, changed on the user-interface thread only).
    struct Settings {
        std::function<uint32_t()> diskMask;  // bit n selects drive 'C' + n
        std::function<int()> diskRemainGiB;  // reserve kept free, taken as 1..50
        std::function<bool()> coverOn;       // automatic cover
    };
    // System log entry (subtype, note): 11 "File recovery" with the deleted day, 12 "Disk error"
    // with a day that could not be deleted, 13 "No disk space".
    using SystemLogFn = std::function<void(int subtype, const char* note)>;
    // Platform queries, replaceable by tests.
    using UsableFn = std::function<bool(char letter)>;
    using FreeBytesFn = std::function<int(char letter, uint64_t* freeBytes)>;
    using PathFn = std::function<std::string(char letter, const std::string& relative)>;

    DiskManager(Settings settings, SystemLogFn log);
    // Where DiskStateChanged is published after a check that changed the record disk or the
    // full state; set before Start.
    void SetEventHub(CoreEventHub* hub) { hub_ = hub; }
    ~DiskManager();
    DiskManager(const DiskManager&) = delete;
    DiskManager& operator=(const DiskManager&) = delete;

    void SetPlatformForTesting(UsableFn usable, FreeBytesFn freeBytes, PathFn path);
    // Replaces DeleteTree (tests make a day undeletable; as root nothing else can).
    void SetDeleteTreeForTesting(std::function<int(const std::string&)> deleteTree);

    // 0: a disk qualifies (it is now the record disk); 1: no selected disk qualifies
    // (allFull set, the record disk unchanged); 2: no disk selected (record disk -1).
    int SelectDisk(bool* allFull);
    // Deletes the oldest recording day from every selected drive. Only real folders named as
    // the recorder names days ("yyyy_mm_dd") are days; other entries and links are never
    // chosen. A day that cannot be deleted is reported once and passed over from then on.
    // 0: a day was deleted or there was nothing to delete; -1: the oldest day is today, or it
    // could not be deleted.
    int CoverOldestDay();
    // Removes a folder and everything below it. Links inside are removed, never followed; a
    // folder that is itself a link (or not a folder) is refused with -1. 0 when it is gone.
    static int DeleteTree(const std::string& folder);

    // One disk check of the monitor: select, cover up to 10 days, and when no disk is usable
    // report it (the disk-full alarm, and "No disk space" in the system log: at every check
    // while selected disks are full, once when no disk is selected at all).
    void CheckDisks();
    // The monitor thread: a pass a second, a disk check on every tenth pass, the first at once.
    void Start();
    void Stop();

    // Index of the disk to record on (0 = C), -1 for none. Read by any thread.
    int CurrentRecordDisk() const { return currentRecordDisk_.load(); }
    // True while the last check found no usable disk: every selected disk full, or none
    // selected (the disk-full alarm sound).
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
    std::function<int(const std::string&)> deleteTree_;
    std::atomic<int> currentRecordDisk_{-1};
    std::atomic<bool> diskFull_{false};
    CoreEventHub* hub_ = nullptr;
    int publishedDisk_ = -2;  // what the last DiskStateChanged said; monitor thread only
    bool publishedFull_ = false;
    bool noDiskReported_ = false;       // monitor thread only
    std::set<std::string> undeletable_;  // days reported undeletable; monitor thread only

    std::thread thread_;
    StopSignal stop_;
};

}  // namespace ocv
