#include "tools/devsim/onvif_events.h"

#include <algorithm>

namespace ocv::devsim {

PullPoints::PullPoints(asio::io_context& io, Clock clock) : io_(io), clock_(std::move(clock)) {}

void PullPoints::DropEnded(time_t now) {
    for (auto it = subscriptions_.begin(); it != subscriptions_.end();) {
        if (it->second.termination >= now) {
            ++it;
            continue;
        }
        if (it->second.waiting) it->second.waiting->cancel();
        it = subscriptions_.erase(it);
    }
}

int PullPoints::Create(int lifeSec, time_t* termination) {
    time_t now = clock_();
    std::lock_guard<std::mutex> lock(mutex_);
    DropEnded(now);
    if (int(subscriptions_.size()) >= kMaxSubscriptions) return -1;
    int id = nextId_++;
    Subscription& s = subscriptions_[id];
    s.termination = now + std::clamp(lifeSec, 10, kMaxLifeSec);
    *termination = s.termination;
    return id;
}

bool PullPoints::Renew(int id, int lifeSec, time_t* termination) {
    time_t now = clock_();
    std::lock_guard<std::mutex> lock(mutex_);
    DropEnded(now);
    auto it = subscriptions_.find(id);
    if (it == subscriptions_.end()) return false;
    it->second.termination = now + std::clamp(lifeSec, 10, kMaxLifeSec);
    *termination = it->second.termination;
    return true;
}

bool PullPoints::Remove(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = subscriptions_.find(id);
    if (it == subscriptions_.end()) return false;
    if (it->second.waiting) it->second.waiting->cancel();
    subscriptions_.erase(it);
    return true;
}

int PullPoints::Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return int(subscriptions_.size());
}

void PullPoints::Finish(int id, size_t limit, const PullDone& done) {
    std::vector<onvif_reply::Notification> out;
    time_t termination = 0;
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = subscriptions_.find(id);
        if (it != subscriptions_.end()) {
            found = true;
            Subscription& s = it->second;
            s.waiting.reset();
            while (!s.queue.empty() && out.size() < limit) {
                out.push_back(s.queue.front());
                s.queue.pop_front();
            }
            termination = s.termination;
        }
    }
    done(found, std::move(out), termination);
}

void PullPoints::Pull(int id, int waitMs, size_t limit, PullDone done) {
    limit = std::clamp<size_t>(limit, 1, kMaxQueued);
    waitMs = std::clamp(waitMs, 0, kMaxWaitMs);
    std::weak_ptr<PullPoints> weak = shared_from_this();
    std::lock_guard<std::mutex> lock(mutex_);
    DropEnded(clock_());
    auto it = subscriptions_.find(id);
    bool wait = it != subscriptions_.end() && it->second.queue.empty() && !it->second.waiting && waitMs > 0;
    if (!wait) {
        // Answered at once (also a second pull while one waits: it gets what is queued, if anything).
        asio::post(io_, [weak, id, limit, done = std::move(done)] {
            if (auto self = weak.lock()) self->Finish(id, limit, done);
            else done(false, {}, 0);
        });
        return;
    }
    auto timer = std::make_shared<asio::steady_timer>(io_, std::chrono::milliseconds(waitMs));
    it->second.waiting = timer;
    // Ends at the time-out, or earlier when a notification (or the end of the subscription)
    // cancels the timer.
    timer->async_wait([weak, id, limit, timer, done = std::move(done)](const asio::error_code&) {
        if (auto self = weak.lock()) self->Finish(id, limit, done);
        else done(false, {}, 0);
    });
}

void PullPoints::Notify(const onvif_reply::Notification& n) {
    std::lock_guard<std::mutex> lock(mutex_);
    DropEnded(clock_());
    for (auto& [id, s] : subscriptions_) {
        if (s.queue.size() >= kMaxQueued) s.queue.pop_front();
        s.queue.push_back(n);
        if (s.waiting) s.waiting->cancel();
    }
}

void PullPoints::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [id, s] : subscriptions_)
        if (s.waiting) s.waiting->cancel();
    subscriptions_.clear();
}

}  // namespace ocv::devsim
