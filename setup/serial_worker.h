#pragma once
// One thread that runs a page's device calls in order, so the window never waits for a device.
// Jobs may not touch widgets: they hand their results back to the window themselves (a queued
// call). The destructor runs what is still queued (closing a preview must not be lost), then
// ends the thread.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace ocv {

class SerialWorker {
public:
    explicit SerialWorker(std::string threadName) : name_(std::move(threadName)) {}
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    // Any thread; the thread starts with the first job.
    void Post(std::function<void()> job);
    // Waits until every job posted so far has run (tests).
    void Drain();

private:
    void Loop();

    std::string name_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    bool running_ = false;  // a job is under way
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace ocv
