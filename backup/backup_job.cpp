#include "backup/backup_job.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>

#include "backup/export_output.h"
#include "platform/file_util.h"
#include "base/trace.h"

namespace ocv::backup {
namespace {

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Files of one description can share an output; another picture size or sound cannot.
bool SameDescription(const StreamInfo& a, const StreamInfo& b) {
    return a.videoCodec == b.videoCodec && a.width == b.width && a.height == b.height &&
           a.audioEncoding == b.audioEncoding;
}

void SyncDirectory(const std::string& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    ::close(fd);
}

struct OutputFile {
    std::string temp;
    std::string final;
};

}  // namespace

const char* StatusText(BackupStatus status) {
    switch (status) {
        case BackupStatus::kRunning: return "running";
        case BackupStatus::kComplete: return "complete";
        case BackupStatus::kNothingWritten: return "nothing to write";
        case BackupStatus::kCancelled: return "cancelled";
        case BackupStatus::kFailed: return "failed";
    }
    return "?";
}

BackupJob::BackupJob(std::unique_ptr<FrameSource> source, BackupOptions options)
    : source_(std::move(source)), options_(std::move(options)) {}

BackupJob::~BackupJob() {
    Cancel();
    if (worker_.joinable()) worker_.join();
}

int BackupJob::Start() {
    if (!source_ || !options_.outputPath) return -1;
    if (started_.exchange(true)) return -1;
    worker_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "backup");
        Work();
    });
    return 0;
}

void BackupJob::Cancel() {
    cancel_ = true;
    if (source_) source_->Cancel();
}

BackupResult BackupJob::Wait() {
    if (worker_.joinable()) worker_.join();
    std::lock_guard lock(resultMutex_);
    if (!started_) {
        BackupResult r;
        r.status = BackupStatus::kFailed;
        r.error = "the backup was never started";
        return r;
    }
    return result_;
}

BackupResult BackupJob::Run() {
    if (!source_ || !options_.outputPath || started_.exchange(true)) {
        BackupResult r;
        r.status = BackupStatus::kFailed;
        r.error = "the backup cannot run (no source, no names, or it ran already)";
        return r;
    }
    Work();
    std::lock_guard lock(resultMutex_);
    return result_;
}

void BackupJob::SetProgress(int percent) {
    if (progress_.exchange(percent) != percent && options_.onProgress) options_.onProgress(percent);
}

void BackupJob::Work() {
    BackupResult r;
    std::vector<OutputFile> files;
    std::unique_ptr<ExportOutput> out;
    StreamInfo outInfo{};
    uint32_t lastSerial = 0;
    uint64_t passed = 0;  // record bytes the current output has taken
    uint64_t recordsRead = 0;
    bool anyPicture = false;
    bool failed = false;
    bool cancelled = false;

    auto fail = [&](const std::string& why) {
        r.error = why;
        failed = true;
    };
    auto finishOutput = [&]() {
        int rc = out->Finish();
        if (rc != 0) fail(out->Error());
        out.reset();
        return rc == 0;
    };
    auto beginOutput = [&](const StreamInfo& info) {
        int number = static_cast<int>(files.size());
        std::string final = options_.outputPath(number);
        if (final.empty()) {
            fail("no place for output file " + std::to_string(number));
            return false;
        }
        std::string dir = ParentOf(final);
        if (!dir.empty() && MakeDirectories(dir) != 0) {
            // EEXIST here means a file stands where a folder should be.
            fail("cannot create the folder " + dir + ": " + strerror(errno == EEXIST ? ENOTDIR : errno));
            return false;
        }
        files.push_back(OutputFile{final + ".part", final});
        out = MakeExportOutput(options_.format);
        if (out->Open(files.back().temp, info) != 0) {
            fail(out->Error());
            out.reset();
            return false;
        }
        outInfo = info;
        passed = 0;
        return true;
    };

    SourceRecord rec;
    while (!failed) {
        if (cancel_) {
            cancelled = true;
            break;
        }
        int rc = source_->Next(&rec);
        if (rc < 0) {
            const auto& problems = source_->Problems();
            fail(problems.empty() ? std::string("the recordings could not be read") : problems.back());
            break;
        }
        if (rc == 0) break;
        ++recordsRead;
        bool key = IsKeyFrame(rec.header);
        if (rec.streamSerial != lastSerial) {
            lastSerial = rec.streamSerial;
            if (out && !SameDescription(*rec.info, outInfo) && !finishOutput()) break;
        }
        if (out && passed > options_.splitBytes && key && !finishOutput()) break;
        if (!out && key && !beginOutput(*rec.info)) break;
        if (out) {
            if (out->Write(rec.header, rec.data) != 0) {
                fail(out->Error());
                break;
            }
            uint64_t bytes = kFrameHeaderBytes + rec.header.dataLength;
            passed += bytes;
            r.bytesWritten += bytes;
            ++r.recordsWritten;
            if (IsVideoFrame(rec.header)) {
                if (!anyPicture) r.firstPictureMs = rec.header.timestampMs;
                r.lastPictureMs = rec.header.timestampMs;
                anyPicture = true;
            }
        }
        SourceProgress p = source_->Progress();
        if (p.total > 0) SetProgress(static_cast<int>(std::min<uint64_t>(99, p.done * 100 / p.total)));
        if (options_.pauseEveryRecords > 0 && options_.pauseMs > 0 &&
            recordsRead % static_cast<uint64_t>(options_.pauseEveryRecords) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(options_.pauseMs));
    }

    if (!failed && !cancelled && out) finishOutput();
    if (out) {
        out->Abort();
        out.reset();
    }
    if (!failed && !cancelled && files.empty()) {
        r.status = BackupStatus::kNothingWritten;
        r.error = "no key frame in the span to begin a file with";
    }
    // Finished names appear only for a whole job, all at once at the end.
    size_t renamed = 0;
    if (!failed && !cancelled) {
        std::set<std::string> dirs;
        for (; renamed < files.size(); ++renamed) {
            const OutputFile& f = files[renamed];
            if (rename(f.temp.c_str(), f.final.c_str()) != 0) {
                fail("cannot rename " + f.temp + ": " + strerror(errno));
                break;
            }
            dirs.insert(ParentOf(f.final));
        }
        for (const std::string& d : dirs) SyncDirectory(d);
    }
    if (failed || cancelled) {
        for (size_t i = 0; i < files.size(); ++i)
            unlink(i < renamed ? files[i].final.c_str() : files[i].temp.c_str());
        r.status = failed ? BackupStatus::kFailed : BackupStatus::kCancelled;
        if (failed) Trace("backup: failed: %s\n", r.error.c_str());
    } else if (!files.empty()) {
        r.status = BackupStatus::kComplete;
        for (const OutputFile& f : files) r.files.push_back(f.final);
        SetProgress(100);
    }
    r.problems = source_->Problems();
    {
        std::lock_guard lock(resultMutex_);
        result_ = std::move(r);
    }
    finished_ = true;
}

}  // namespace ocv::backup
