#include "player/playback_clock.h"

#include <chrono>

namespace ocv::player {
namespace {

class SteadyClock final : public PlaybackClock {
public:
    int64_t NowUs() override {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                   int64_t deadlineUs) override {
        wake.wait_until(lock, std::chrono::steady_clock::time_point(
                                  std::chrono::microseconds(deadlineUs)));
    }
};

}  // namespace

std::shared_ptr<PlaybackClock> SteadyPlaybackClock() {
    static const std::shared_ptr<PlaybackClock> clock = std::make_shared<SteadyClock>();
    return clock;
}

}  // namespace ocv::player
