#pragma once
// One backup: a frame source converted into numbered output files on a worker thread of its
// own ("backup"). The window that owns the job starts it, is told the percentage (or polls
// it), may cancel, and reads the result once the job has ended.
//
// Output files are written under a temporary name (the final name plus ".part") and renamed
// only when the whole job has succeeded; a cancelled or failed job removes them. A process
// killed half-way leaves ".part" files, never a file with a finished name.
//
// An output is begun at a key frame. Once it has taken more than the split size it is closed
// at the next key frame and the next file number begins; it is also closed when the source
// moves to a stream with another picture size or sound, so every file has one description.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backup/backup_names.h"
#include "backup/frame_source.h"

namespace ocv::backup {

// An output is split once it has taken more than this (1.5 GiB).
constexpr uint64_t kSplitBytes = 0x60000000;

struct BackupOptions {
    ExportFormat format = ExportFormat::kAvi;
    // The final path of output file n (from 0). Missing folders are created.
    std::function<std::string(int fileNumber)> outputPath;
    uint64_t splitBytes = kSplitBytes;
    // The job rests pauseMs after every pauseEveryRecords records, so a backup leaves the
    // disk to the recorders; 0 disables the rest (tools, benchmarks).
    int pauseEveryRecords = 100;
    int pauseMs = 5;
    // Called on the worker thread with 0..100 whenever the percentage changes (the backup
    // window posts it to itself). Must not block.
    std::function<void(int percent)> onProgress;
};

enum class BackupStatus {
    kRunning,
    kComplete,        // every record of the source went into the files listed
    kNothingWritten,  // the source held no key frame to begin a file with
    kCancelled,
    kFailed,          // error says why
};

struct BackupResult {
    BackupStatus status = BackupStatus::kRunning;
    std::vector<std::string> files;     // finished outputs in order (only when complete)
    std::vector<std::string> problems;  // parts of the span the source left out
    std::string error;
    uint64_t recordsWritten = 0;
    uint64_t bytesWritten = 0;  // record bytes passed to the outputs
    // Source times (ms of the day, the recordings' time line) of the first and last picture
    // written.
    uint32_t firstPictureMs = 0;
    uint32_t lastPictureMs = 0;
};

class BackupJob {
public:
    BackupJob(std::unique_ptr<FrameSource> source, BackupOptions options);
    // Cancels a running job and waits for its worker.
    ~BackupJob();
    BackupJob(const BackupJob&) = delete;
    BackupJob& operator=(const BackupJob&) = delete;

    // Starts the worker. 0, or -1 when already started or without a source or names.
    int Start();
    // Asks the worker to stop at the next record; safe from any thread, any number of times.
    void Cancel();
    // 0..100.
    int Progress() const { return progress_.load(); }
    bool Finished() const { return finished_.load(); }
    // Waits for the worker and returns the result (also for a job never started).
    BackupResult Wait();

    // Runs the job on the calling thread instead of a worker (a tool that only waits).
    BackupResult Run();

private:
    void Work();
    void SetProgress(int percent);

    std::unique_ptr<FrameSource> source_;
    BackupOptions options_;
    std::thread worker_;
    std::atomic<bool> started_{false};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> progress_{0};
    std::mutex resultMutex_;
    BackupResult result_;
};

// Text for a status, for traces and tools.
const char* StatusText(BackupStatus status);

}  // namespace ocv::backup
