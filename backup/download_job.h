#pragma once
// A download of a span of one channel from a device's own storage (QVX_SDK_GetFileByTime): the
// device library writes the span as one recording file; for AVI and MP4 that file is then
// converted by the backup job's outputs. Nothing claims to be complete before the end: the
// library writes under a temporary name, and the final name appears only once the device has
// sent everything (and the conversion succeeded). A cancelled or failed download leaves nothing.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "backup/backup_job.h"
#include "backup/backup_names.h"
#include "backup/backup_span.h"

namespace ocv::backup {

struct DownloadRequest {
    int login = 0;    // the device library's login handle
    int channel = 0;  // 0..63
    BackupSpan span;  // one day: [startSecond, endSecond)
    ExportFormat format = ExportFormat::kRecordFile;
    std::string outputPath;  // the final file
    int pollMs = 500;        // how often the transfer's state is asked
    // Called on the job's thread with 0..100 whenever the percentage changes; 0 at the end.
    std::function<void(int percent)> onProgress;
};

// The file the device library writes before it is complete ("<output>.download").
std::string DownloadTempPath(const std::string& outputPath);

class DownloadJob {
public:
    explicit DownloadJob(DownloadRequest request) : request_(std::move(request)) {}
    DownloadJob(const DownloadJob&) = delete;
    DownloadJob& operator=(const DownloadJob&) = delete;

    // Runs the whole download on the calling thread (a worker): complete, nothing written
    // (the device refused or sent nothing), cancelled, or failed.
    BackupResult Run();
    // Any thread: the transfer stops at its next state query, the conversion at its next record.
    void Cancel();
    // After Run: the device refused the span (nothing recorded there, or a request it rejects).
    bool Refused() const { return refused_; }

private:
    BackupResult Convert(const std::string& recording);
    void Report(int percent);

    DownloadRequest request_;
    std::atomic<bool> cancel_{false};
    std::mutex jobMutex_;
    BackupJob* converting_ = nullptr;
    int lastPercent_ = -1;
    bool refused_ = false;
};

}  // namespace ocv::backup
