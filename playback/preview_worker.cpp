#include "playback/preview_worker.h"

#include <pthread.h>

namespace ocv::playback {

PreviewWorker::PreviewWorker(ShotFn shot, std::chrono::milliseconds period)
    : shot_(std::move(shot)), period_(period) {}

void PreviewWorker::Start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable() || stop_) return;
    thread_ = std::thread([this] { Run(); });
}

void PreviewWorker::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

void PreviewWorker::Request(const std::string& path, int percent) {
    std::lock_guard lock(mutex_);
    path_ = path;
    percent_ = percent;
    pending_ = true;
}

void PreviewWorker::Cancel() {
    std::lock_guard lock(mutex_);
    pending_ = false;
}

bool PreviewWorker::HasPending() const {
    std::lock_guard lock(mutex_);
    return pending_;
}

int PreviewWorker::Shots() const {
    std::lock_guard lock(mutex_);
    return shots_;
}

void PreviewWorker::Run() {
    pthread_setname_np(pthread_self(), "pb-preview");
    std::unique_lock lock(mutex_);
    while (!stop_) {
        wake_.wait_for(lock, period_, [this] { return stop_; });
        if (stop_ || !pending_) continue;
        std::string path = path_;
        const int percent = percent_;
        lock.unlock();
        shot_(path, percent);
        lock.lock();
        ++shots_;
        // A newer request that came in while drawing stays pending for the next wake.
        if (path_ == path && percent_ == percent) pending_ = false;
    }
}

}  // namespace ocv::playback
