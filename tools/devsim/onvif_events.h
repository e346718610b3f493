#pragma once
// Pull-point subscriptions of a simulated ONVIF device: each holds the motion and input
// notifications the control interface raised since it was last pulled (bounded, oldest dropped),
// and a pull that finds none waits for the next one, up to its time-out, on a timer of the I/O
// context. Subscriptions end at their termination time unless renewed.
#include <asio.hpp>

#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "tools/devsim/onvif_replies.h"

namespace ocv::devsim {

class PullPoints : public std::enable_shared_from_this<PullPoints> {
public:
    using Clock = std::function<time_t()>;  // the device's clock (UTC)
    // found: the subscription exists; termination: its end on the device's clock.
    using PullDone = std::function<void(bool found, std::vector<onvif_reply::Notification>, time_t termination)>;

    static constexpr int kMaxSubscriptions = 16;
    static constexpr size_t kMaxQueued = 256;
    static constexpr int kMaxLifeSec = 3600;
    static constexpr int kMaxWaitMs = 60000;

    PullPoints(asio::io_context& io, Clock clock);

    // A subscription that ends lifeSec (held to 10..3600) from now. Its id, or -1 when
    // kMaxSubscriptions are alive.
    int Create(int lifeSec, time_t* termination);
    // A new end lifeSec from now; false for an unknown or ended subscription.
    bool Renew(int id, int lifeSec, time_t* termination);
    bool Remove(int id);
    // Up to limit queued notifications; with none queued, waits up to waitMs (held to 0..60000)
    // for the first. done runs once, on an I/O thread.
    void Pull(int id, int waitMs, size_t limit, PullDone done);
    // From any thread: queued for every subscription; a waiting pull is answered.
    void Notify(const onvif_reply::Notification& n);
    // Answers waiting pulls and forgets every subscription.
    void Stop();
    int Count();

private:
    struct Subscription {
        time_t termination = 0;
        std::deque<onvif_reply::Notification> queue;
        std::shared_ptr<asio::steady_timer> waiting;  // set while a pull waits
    };
    void DropEnded(time_t now);  // under mutex_
    void Finish(int id, size_t limit, const PullDone& done);

    asio::io_context& io_;
    Clock clock_;
    std::mutex mutex_;
    std::map<int, Subscription> subscriptions_;
    int nextId_ = 1;
};

}  // namespace ocv::devsim
