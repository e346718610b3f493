#pragma once
// A named thread that runs the playback page's waits on devices one after another (remote
// searches, opening remote playbacks), so the UI thread never waits. Tasks report back by
// posting window messages; Stop asks a running task to end early and drops those queued.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace ocv::playback {

class TaskWorker {
public:
    using Task = std::function<void(const std::atomic<bool>& stopping)>;

    explicit TaskWorker(std::string threadName) : name_(std::move(threadName)) {}
    ~TaskWorker() { Stop(); }
    TaskWorker(const TaskWorker&) = delete;
    TaskWorker& operator=(const TaskWorker&) = delete;

    // Any thread. The thread starts with the first task. false once stopped.
    bool Post(Task task);
    // Drops queued tasks, tells the running one to end and waits for it. Idempotent.
    void Stop();
    // Tasks queued or running.
    size_t Pending() const;

private:
    void Run();

    std::string name_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> queue_;
    bool running_ = false;  // a task is being run
    bool stopped_ = false;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace ocv::playback
