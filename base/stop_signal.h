#pragma once
// The stop request of a periodic worker thread: the thread sleeps through WaitFor, which
// returns at once when a stop is requested, so stopping never waits out a period.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace ocv {

class StopSignal {
public:
    void Reset() {
        std::lock_guard lock(mutex_);
        requested_ = false;
    }
    void Request() {
        {
            std::lock_guard lock(mutex_);
            requested_ = true;
        }
        wake_.notify_all();
    }
    bool Requested() const {
        std::lock_guard lock(mutex_);
        return requested_;
    }
    // Sleeps up to the given time; true when a stop was requested.
    bool WaitFor(std::chrono::milliseconds period) {
        std::unique_lock lock(mutex_);
        return wake_.wait_for(lock, period, [this] { return requested_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool requested_ = false;
};

}  // namespace ocv
