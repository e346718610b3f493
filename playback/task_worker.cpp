#include "playback/task_worker.h"

#include <pthread.h>

namespace ocv::playback {

bool TaskWorker::Post(Task task) {
    std::lock_guard lock(mutex_);
    if (stopped_) return false;
    queue_.push_back(std::move(task));
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    wake_.notify_one();
    return true;
}

void TaskWorker::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopped_ && !thread_.joinable()) return;
        stopped_ = true;
        queue_.clear();
        stopping_ = true;
        wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

size_t TaskWorker::Pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size() + (running_ ? 1 : 0);
}

void TaskWorker::Run() {
    pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopped_ || !queue_.empty(); });
        if (stopped_) return;
        Task task = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
        lock.unlock();
        task(stopping_);
        lock.lock();
        running_ = false;
    }
}

}  // namespace ocv::playback
