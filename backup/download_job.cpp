#include "backup/download_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "backup/recording_source.h"
#include "base/trace.h"
#include "platform/file_util.h"
#include "sdk/qvx_sdk.h"

namespace ocv::backup {
namespace {

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    ::close(fd);
}

// The share of the bar the transfer takes; a conversion fills the rest.
constexpr int kTransferShare = 80;

}  // namespace

std::string DownloadTempPath(const std::string& outputPath) { return outputPath + ".download"; }

void DownloadJob::Cancel() {
    cancel_ = true;
    std::lock_guard lock(jobMutex_);
    if (converting_) converting_->Cancel();
}

void DownloadJob::Report(int percent) {
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    if (request_.onProgress) request_.onProgress(percent);
}

BackupResult DownloadJob::Run() {
    BackupResult result;
    const DownloadRequest& r = request_;
    const std::string temp = DownloadTempPath(r.outputPath);
    const BackupSpan& s = r.span;
    if (r.login == 0 || r.outputPath.empty() || s.startSecond < 0 || s.endSecond <= s.startSecond ||
        s.endSecond > 86400) {
        result.status = BackupStatus::kFailed;
        result.error = "nothing to download from";
        Trace("download of channel %d: %s\n", r.channel, result.error.c_str());
        return result;
    }
    if (MakeDirectories(ParentOf(r.outputPath)) != 0) {
        result.status = BackupStatus::kFailed;
        result.error = "cannot create the folder of " + r.outputPath;
        Trace("download: %s\n", result.error.c_str());
        return result;
    }
    // A download killed half-way left these behind; they are ours to replace.
    unlink(temp.c_str());
    unlink((temp + ".part").c_str());

    const int last = s.endSecond - 1;
    QVX_FIND_COND c{r.channel, 0, s.year, s.month, s.day, s.startSecond / 3600, s.startSecond / 60 % 60,
                    s.startSecond % 60, s.year, s.month, s.day, last / 3600, last / 60 % 60, last % 60};
    QVX_HANDLE handle = 0;
    int rc = QVX_SDK_GetFileByTime(r.login, &c, temp.c_str(), &handle);
    if (rc != QVX_OK) {
        // The device has nothing for the span, or refused it.
        refused_ = true;
        result.status = BackupStatus::kNothingWritten;
        result.error = "the device refused the download";
        Trace("download of channel %d: refused (%d)\n", r.channel, rc);
        return result;
    }
    Report(0);
    QVX_SDK_PlayBackControl(handle, QVX_PLAYCTRL_START, 0, nullptr);
    const bool convert = r.format != ExportFormat::kRecordFile;
    int state = QVX_PLAYSTATE_RUNNING;
    while (!cancel_.load()) {
        for (int waited = 0; waited < r.pollMs && !cancel_.load(); waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (cancel_.load()) break;
        int32_t value = 0;
        if (QVX_SDK_PlayBackControl(handle, QVX_PLAYCTRL_STATE, 0, &value) != QVX_OK) value = QVX_PLAYSTATE_FAILED;
        state = value;
        if (state == QVX_PLAYSTATE_FINISHED || state == QVX_PLAYSTATE_FAILED) break;
        int32_t percent = 0;
        if (QVX_SDK_PlayBackControl(handle, QVX_PLAYCTRL_GETPOS, 0, &percent) == QVX_OK)
            Report(convert ? percent * kTransferShare / 100 : percent);
    }
    // The library closes its file under the temporary name.
    QVX_SDK_StopGetFile(handle);

    if (cancel_.load() || state != QVX_PLAYSTATE_FINISHED) {
        unlink(temp.c_str());
        unlink((temp + ".part").c_str());
        result.status = cancel_.load() ? BackupStatus::kCancelled : BackupStatus::kFailed;
        if (result.status == BackupStatus::kFailed) {
            result.error = "the transfer failed";
            Trace("download of channel %d: the transfer failed\n", r.channel);
        }
        Report(0);
        return result;
    }
    if (!FileExists(temp)) {
        result.status = BackupStatus::kNothingWritten;
        result.error = "the device sent no pictures";
        Report(0);
        return result;
    }
    if (convert) {
        result = Convert(temp);
        unlink(temp.c_str());
    } else if (rename(temp.c_str(), r.outputPath.c_str()) != 0) {
        unlink(temp.c_str());
        result.status = BackupStatus::kFailed;
        result.error = "cannot name " + r.outputPath;
        Trace("download: %s\n", result.error.c_str());
    } else {
        SyncDirectory(ParentOf(r.outputPath));
        result.status = BackupStatus::kComplete;
        result.files = {r.outputPath};
    }
    Report(0);
    return result;
}

BackupResult DownloadJob::Convert(const std::string& recording) {
    const BackupSpan& s = request_.span;
    SpanFile file;
    file.path = recording;
    file.startSecond = s.startSecond;
    file.durationSeconds = static_cast<uint32_t>(s.endSecond - s.startSecond);
    BackupOptions options;
    options.format = request_.format;
    const std::string first = request_.outputPath;
    options.outputPath = [first](int n) { return NumberedPath(first, n); };
    options.pauseEveryRecords = 0;
    options.onProgress = [this](int percent) { Report(kTransferShare + percent * (100 - kTransferShare) / 100); };
    BackupJob job(std::make_unique<RecordingSpanSource>(std::vector<SpanFile>{file}, s), std::move(options));
    {
        std::lock_guard lock(jobMutex_);
        converting_ = &job;
        if (cancel_.load()) job.Cancel();
    }
    BackupResult result = job.Run();
    std::lock_guard lock(jobMutex_);
    converting_ = nullptr;
    return result;
}

}  // namespace ocv::backup
