#include "snapshots/snapshot_loader.h"

#include <pthread.h>

#include <QFileInfo>
#include <QImageReader>

namespace ocv::snapshots {
namespace {
constexpr qint64 kMaxPictureBytes = 64LL << 20;
// A picture larger than this is decoded scaled: nothing bigger is ever shown.
constexpr int kMaxPictureSide = 4096;
}  // namespace

QImage ReadScaledImage(const std::string& path, QSize fit) {
    const QString file = QString::fromStdString(path);
    if (QFileInfo(file).size() > kMaxPictureBytes) return {};
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (!full.isValid()) return {};
    if (full.width() > fit.width() || full.height() > fit.height())
        reader.setScaledSize(full.scaled(fit, Qt::KeepAspectRatio));
    return reader.read();
}

SnapshotLoader::SnapshotLoader(Callbacks callbacks, QSize thumbnailSize)
    : callbacks_(std::move(callbacks)), thumbnailSize_(thumbnailSize) {
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "snapshot-load");
        Run();
    });
}

SnapshotLoader::~SnapshotLoader() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

int SnapshotLoader::Scan(ScanRequest request) {
    int generation;
    {
        std::lock_guard lock(mutex_);
        generation = ++generation_;
        // An older listing still waiting is of no use any more.
        std::erase_if(jobs_, [](const Job& j) { return j.kind == Job::kScan; });
        jobs_.push_back(Job{Job::kScan, std::move(request), {}, generation});
    }
    wake_.notify_all();
    return generation;
}

void SnapshotLoader::LoadPicture(std::string path) {
    {
        std::lock_guard lock(mutex_);
        std::erase_if(jobs_, [](const Job& j) { return j.kind == Job::kPicture; });
        jobs_.push_back(Job{Job::kPicture, {}, std::move(path), 0});
    }
    wake_.notify_all();
}

void SnapshotLoader::Delete(std::string root, std::string path) {
    {
        std::lock_guard lock(mutex_);
        Job job{Job::kDelete, {}, std::move(path), 0};
        job.scan.root = std::move(root);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

bool SnapshotLoader::Superseded(int generation) {
    std::lock_guard lock(mutex_);
    return stopping_ || generation != generation_;
}

void SnapshotLoader::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        if (job.kind == Job::kScan) RunScan(job);
        else RunQuickJob(job);
    }
}

void SnapshotLoader::RunQuickJob(const Job& job) {
    if (job.kind == Job::kPicture) {
        PictureResult result{job.path, ReadScaledImage(job.path, QSize(kMaxPictureSide, kMaxPictureSide))};
        if (callbacks_.picture) callbacks_.picture(std::move(result));
    } else if (job.kind == Job::kDelete) {
        DeleteResult result{job.path, DeleteSnapshot(job.scan.root, job.path) == 0};
        if (callbacks_.deleted) callbacks_.deleted(std::move(result));
    }
}

void SnapshotLoader::RunWaitingQuickJobs() {
    std::vector<Job> quick;
    {
        std::lock_guard lock(mutex_);
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            if (it->kind != Job::kScan) {
                quick.push_back(std::move(*it));
                it = jobs_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const Job& job : quick) RunQuickJob(job);
}

void SnapshotLoader::RunScan(const Job& job) {
    ScanResult result;
    result.generation = job.generation;
    result.days = ListSnapshotDays(job.scan.root);
    result.day = job.scan.day.valid() ? job.scan.day : (result.days.empty() ? SnapshotDay{} : result.days.front());
    result.folders = ListChannelFolders(job.scan.root, result.day);
    result.listing = ListSnapshotFiles(job.scan.root, result.day, job.scan.channelFolder);
    std::vector<std::string> paths;
    for (const SnapshotFile& f : result.listing.files) paths.push_back(f.path);
    if (Superseded(job.generation)) return;
    if (callbacks_.scanned) callbacks_.scanned(std::move(result));
    for (size_t i = 0; i < paths.size(); ++i) {
        // The picture the operator clicked comes before the rest of the thumbnails.
        RunWaitingQuickJobs();
        if (Superseded(job.generation)) return;
        ThumbnailResult thumb{job.generation, static_cast<int>(i), ReadScaledImage(paths[i], thumbnailSize_)};
        if (callbacks_.thumbnail) callbacks_.thumbnail(std::move(thumb));
    }
}

}  // namespace ocv::snapshots
