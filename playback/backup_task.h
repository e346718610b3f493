#pragma once
// The backup window's rules and its job, free of Qt: the checks of the form in the order the
// window reports them, and one job on a thread of its own ("backup") that finds the span's local
// recordings and converts them, or downloads the span from the device. The job reports its
// percentage (kMsgBackupProgress) and its end (kMsgBackupDone) as posted messages.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backup/backup_job.h"
#include "backup/backup_names.h"
#include "backup/backup_span.h"
#include "base/clock.h"
#include "device/channel_directory.h"
#include "playback/playback_messages.h"

namespace ocv::playback {

constexpr int kMsgBackupDone = 1212;  // wParam: the BackupOutcome
constexpr int kLogBackupOperation = 22;  // operation log subtype "Backup"

struct BackupForm {
    int channelId = -1;
    int disk = 0;  // 0 = C
    backup::LocalDateTime start, end;
    int typeFilter = 0;  // 0 all, 1 manual, 2 alarm, 3 plan
    backup::ExportFormat format = backup::ExportFormat::kAvi;
    bool download = false;
};

// nullptr when the form may start; otherwise the message the window shows, checked in this
// order: "Please select a device!", "Disconnects from the server" (a download from a device
// that is not online), "Start time can not exceed the end time!", "Not cross day backup!".
const char* CheckBackupForm(const BackupForm& form, const ChannelDirectory& directory);

enum class BackupOutcome : int {
    kComplete = 0,
    kNoFiles = 1,    // "No file backup!": no recording of the span (or the device sent nothing)
    kCancelled = 2,
    kFailed = 3,
    kRefused = 4,    // the device refused the download: ends without a message
};

struct BackupTaskResult {
    BackupOutcome outcome = BackupOutcome::kFailed;
    std::vector<std::string> files;
    std::string error;
};

// What the job needs to know of the channel's device, read on the UI thread before it starts.
struct BackupTarget {
    std::string host;
    int port = 0;
    int channel = 0;  // 0..63
    int login = 0;    // for a download
};

class BackupTask {
public:
    // Drives of a local backup; every mapped drive by default (tests give their own).
    using DrivesFn = std::function<std::vector<std::string>()>;

    BackupTask(BackupForm form, BackupTarget target, ClockSnapshot started, PostFn post, DrivesFn drives = {});
    // Cancels and waits for the thread.
    ~BackupTask();
    BackupTask(const BackupTask&) = delete;
    BackupTask& operator=(const BackupTask&) = delete;

    // 0, or -1 when the span is not one day (CheckBackupForm first) or it already ran.
    int Start();
    // Any thread; the job stops between records (backup) or state queries (download).
    void Cancel();
    bool Running() const { return running_.load(); }
    // Once kMsgBackupDone arrived.
    BackupTaskResult Result();
    // Where output file n of a local backup goes, and the download's file ("" when unmapped).
    std::string OutputPath(int fileNumber) const;
    static std::string DownloadPath(int disk, backup::ExportFormat format, const ClockSnapshot& started);
    // Tests: how long a download waits between state queries.
    void SetPollMs(int ms) { pollMs_ = ms; }
    void SetSplitBytes(uint64_t bytes) { splitBytes_ = bytes; }

private:
    void Work();
    BackupTaskResult RunLocal(const backup::BackupSpan& span);
    BackupTaskResult RunDownload(const backup::BackupSpan& span);
    void Progress(int percent);

    BackupForm form_;
    BackupTarget target_;
    ClockSnapshot started_;
    PostFn post_;
    DrivesFn drives_;
    int pollMs_ = 500;
    uint64_t splitBytes_ = backup::kSplitBytes;
    std::atomic<bool> running_{false};
    std::atomic<bool> cancel_{false};
    std::mutex mutex_;
    std::function<void()> cancelJob_;  // the running conversion or download
    BackupTaskResult result_;
    std::thread thread_;
};

}  // namespace ocv::playback
