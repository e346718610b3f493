#include "liveview/live_view_jobs.h"

#include <pthread.h>

namespace ocv {

LiveViewJobs::LiveViewJobs(PostFn post) : post_(std::move(post)) {
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "lv-jobs");
        Loop();
    });
}

LiveViewJobs::~LiveViewJobs() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void LiveViewJobs::Run(Work work, Done done) {
    if (!work) return;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(work), std::move(done)});
    }
    wake_.notify_one();
}

void LiveViewJobs::RunCompletions() {
    std::deque<std::pair<Done, int>> ready;
    {
        std::lock_guard lock(mutex_);
        ready.swap(finished_);
    }
    for (auto& [done, result] : ready)
        if (done) done(result);
}

void LiveViewJobs::Flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

int LiveViewJobs::Pending() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(queue_.size()) + (busy_ ? 1 : 0);
}

void LiveViewJobs::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and everything queued has run
        Job job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        int result = job.work();
        lock.lock();
        busy_ = false;
        bool tell = false;
        if (job.done && !stopping_) {
            finished_.emplace_back(std::move(job.done), result);
            tell = true;
        }
        if (queue_.empty()) idle_.notify_all();
        if (tell) {
            lock.unlock();
            post_(kMsgJobsDone, 0, 0);
            lock.lock();
        }
    }
}

}  // namespace ocv
