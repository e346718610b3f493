#pragma once
// The clock that paces file playback. Ports use the steady clock; tests install a clock
// of their own (SetPlaybackClock in player/port_options.h) so that pacing at any speed is
// checked without sleeping.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace ocv::player {

class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;
    virtual int64_t NowUs() = 0;
    // Waits on wake (lock held, as std::condition_variable::wait) until this clock reaches
    // deadlineUs. May return earlier (a notification, or spuriously): callers check again.
    virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                           int64_t deadlineUs) = 0;
};

// std::chrono::steady_clock.
std::shared_ptr<PlaybackClock> SteadyPlaybackClock();

}  // namespace ocv::player
