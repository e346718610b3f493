#include "playback/backup_task.h"

#include <pthread.h>

#include "backup/download_job.h"
#include "backup/recording_source.h"
#include "base/trace.h"
#include "platform/drives.h"
#include "record/record_paths.h"

namespace ocv::playback {

const char* CheckBackupForm(const BackupForm& form, const ChannelDirectory& directory) {
    const int device = DeviceIndexOf(form.channelId);
    const DeviceInfo* dev =
        IsChannelId(form.channelId) ? directory.Device(device) : nullptr;
    if (!IsValidChannelOf(dev, ChannelIndexOf(form.channelId))) return "Please select a device!";
    if (form.download) {
        const DeviceRuntime& rt = directory.Runtime().device(device);
        if (rt.loginHandle.load() == 0 || rt.deviceState.load() != kDeviceOnline) return "Disconnects from the server";
    }
    backup::BackupSpan span;
    switch (backup::MakeSpan(form.start, form.end, &span)) {
        case backup::SpanCheck::kOk: return nullptr;
        case backup::SpanCheck::kCrossesDay: return "Not cross day backup!";
        case backup::SpanCheck::kStartNotBeforeEnd:
        case backup::SpanCheck::kInvalid: break;
    }
    return "Start time can not exceed the end time!";
}

BackupTask::BackupTask(BackupForm form, BackupTarget target, ClockSnapshot started, PostFn post, DrivesFn drives)
    : form_(form), target_(std::move(target)), started_(started), post_(std::move(post)), drives_(std::move(drives)) {
    if (!drives_) drives_ = [] { return backup::AllDriveDirectories(); };
}

BackupTask::~BackupTask() {
    Cancel();
    if (thread_.joinable()) thread_.join();
}

int BackupTask::Start() {
    backup::BackupSpan span;
    if (thread_.joinable() || backup::MakeSpan(form_.start, form_.end, &span) != backup::SpanCheck::kOk) return -1;
    running_ = true;
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "backup");
        Work();
    });
    return 0;
}

void BackupTask::Cancel() {
    cancel_ = true;
    std::lock_guard lock(mutex_);
    if (cancelJob_) cancelJob_();
}

BackupTaskResult BackupTask::Result() {
    std::lock_guard lock(mutex_);
    return result_;
}

std::string BackupTask::OutputPath(int fileNumber) const {
    return backup::BackupFilePath(form_.disk, form_.format, started_, fileNumber);
}

std::string BackupTask::DownloadPath(int disk, backup::ExportFormat format, const ClockSnapshot& started) {
    const std::string folder = backup::DownloadFolderStored(disk, started);
    if (folder.empty()) return {};
    return drives::ResolveStoredPath(folder + backup::DownloadFileName(format, started));
}

void BackupTask::Progress(int percent) {
    if (post_) post_(kMsgBackupProgress, percent, 0);
}

void BackupTask::Work() {
    backup::BackupSpan span;
    backup::MakeSpan(form_.start, form_.end, &span);
    BackupTaskResult result = form_.download ? RunDownload(span) : RunLocal(span);
    if (cancel_.load() && result.outcome != BackupOutcome::kComplete) result.outcome = BackupOutcome::kCancelled;
    {
        std::lock_guard lock(mutex_);
        cancelJob_ = nullptr;
        result_ = result;
    }
    running_ = false;
    if (post_) post_(kMsgBackupDone, static_cast<intptr_t>(result.outcome), 0);
}

namespace {

BackupOutcome OutcomeOf(backup::BackupStatus status) {
    switch (status) {
        case backup::BackupStatus::kComplete: return BackupOutcome::kComplete;
        case backup::BackupStatus::kNothingWritten: return BackupOutcome::kNoFiles;
        case backup::BackupStatus::kCancelled: return BackupOutcome::kCancelled;
        case backup::BackupStatus::kRunning:
        case backup::BackupStatus::kFailed: break;
    }
    return BackupOutcome::kFailed;
}

}  // namespace

BackupTaskResult BackupTask::RunLocal(const backup::BackupSpan& span) {
    BackupTaskResult result;
    std::vector<backup::SpanFile> files;
    const std::string folder = ChannelFolderName(target_.host.c_str(), target_.port, target_.channel + 1);
    if (backup::FindSpanFiles(drives_(), folder, span, form_.typeFilter, &files) != 0) {
        result.outcome = BackupOutcome::kNoFiles;
        return result;
    }
    backup::BackupOptions options;
    options.format = form_.format;
    options.outputPath = [this](int n) { return OutputPath(n); };
    options.splitBytes = splitBytes_;
    options.onProgress = [this](int percent) { Progress(percent); };
    backup::BackupJob job(std::make_unique<backup::RecordingSpanSource>(std::move(files), span), std::move(options));
    {
        std::lock_guard lock(mutex_);
        cancelJob_ = [&job] { job.Cancel(); };
        if (cancel_.load()) job.Cancel();
    }
    backup::BackupResult r = job.Run();
    {
        std::lock_guard lock(mutex_);
        cancelJob_ = nullptr;
    }
    result.outcome = OutcomeOf(r.status);
    result.files = r.files;
    result.error = r.error;
    for (const std::string& p : r.problems) Trace("backup: %s\n", p.c_str());
    return result;
}

BackupTaskResult BackupTask::RunDownload(const backup::BackupSpan& span) {
    BackupTaskResult result;
    backup::DownloadRequest request;
    request.login = target_.login;
    request.channel = target_.channel;
    request.span = span;
    request.format = form_.format;
    request.outputPath = DownloadPath(form_.disk, form_.format, started_);
    request.pollMs = pollMs_;
    request.onProgress = [this](int percent) { Progress(percent); };
    if (request.outputPath.empty()) {
        result.error = "the disk is not mapped";
        return result;
    }
    backup::DownloadJob job(std::move(request));
    {
        std::lock_guard lock(mutex_);
        cancelJob_ = [&job] { job.Cancel(); };
        if (cancel_.load()) job.Cancel();
    }
    backup::BackupResult r = job.Run();
    {
        std::lock_guard lock(mutex_);
        cancelJob_ = nullptr;
    }
    result.outcome = OutcomeOf(r.status);
    // The device refused the span: the window ends without a message.
    if (job.Refused()) result.outcome = BackupOutcome::kRefused;
    result.files = r.files;
    result.error = r.error;
    return result;
}

}  // namespace ocv::playback
