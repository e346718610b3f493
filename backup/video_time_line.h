#pragma once
// The time line of an exported video. Steps between pictures are taken as recorded; a step
// backwards, a repeated timestamp or a gap of more than a second (between two merged files, or
// where the recording paused) counts as the last ordinary step, so an export plays its
// pictures one after another instead of freezing on a gap or going back in time.
#include <cstdint>

namespace ocv::backup {

class VideoTimeLine {
public:
    static constexpr uint32_t kMaxStepMs = 1000;

    // nominalStepMs: the step assumed until two pictures have shown the real one.
    explicit VideoTimeLine(uint32_t nominalStepMs = 40)
        : lastStepMs_(nominalStepMs == 0 || nominalStepMs > kMaxStepMs ? 40 : nominalStepMs) {}

    // The picture's time in ms from the first picture.
    uint64_t Add(uint32_t timestampMs) {
        if (count_ > 0) {
            uint32_t step = timestampMs - lastTimestamp_;  // unsigned: backwards is huge
            if (step == 0 || step > kMaxStepMs) step = lastStepMs_;
            lastStepMs_ = step;
            nowMs_ += step;
        }
        lastTimestamp_ = timestampMs;
        ++count_;
        return nowMs_;
    }

    uint64_t NowMs() const { return nowMs_; }  // time of the last picture
    uint32_t LastStepMs() const { return lastStepMs_; }
    uint64_t Count() const { return count_; }

private:
    uint32_t lastStepMs_;
    uint32_t lastTimestamp_ = 0;
    uint64_t nowMs_ = 0;
    uint64_t count_ = 0;
};

// The step of a stream's announced frame rate (StreamInfo word 6), 40 ms when it is implausible.
inline uint32_t NominalStepMs(uint32_t framesPerSecond) {
    return framesPerSecond >= 1 && framesPerSecond <= 120 ? 1000 / framesPerSecond : 40;
}

}  // namespace ocv::backup
