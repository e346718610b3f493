#pragma once
// Speed levels of file playback and the pacing of pictures by their timestamps. Times are
// passed in (from the port's PlaybackClock), so tests drive it without sleeping.
//
// Level L plays at 2^L times normal speed: -3 1/8, -2 1/4, -1 1/2, 0 normal, 1 2x, 2 4x,
// 3 8x, 4 16x. A picture is due at the anchor's wall time plus its timestamp distance to
// the anchor's picture, scaled by the speed. The first picture anchors the time line;
// a resume after a pause and a change of speed re-anchor at the last shown picture, so
// the next one keeps its scaled distance. A picture more than kMaxLateUs late, or a
// timestamp step backwards or above kMaxStepMs, re-anchors at that picture: a decoder
// that cannot keep up slows playback down instead of rushing to catch up.
#include <cstdint>

namespace ocv::player {

constexpr int kSlowestSpeedLevel = -3;
constexpr int kNormalSpeedLevel = 0;
constexpr int kFastestSpeedLevel = 4;

inline bool IsSpeedLevel(int level) {
    return level >= kSlowestSpeedLevel && level <= kFastestSpeedLevel;
}

class PlaybackPacer {
public:
    static constexpr int64_t kMaxLateUs = 500000;
    static constexpr int64_t kMaxStepMs = 2000;

    // Wall-clock microseconds that ms of file time take at the level.
    static int64_t ScaleMs(int64_t ms, int level);

    int Level() const { return level_; }
    // Keeps the place: the next picture stays its scaled distance after the last shown.
    void SetLevel(int level);
    // Forgets the time line (after a seek): the next picture anchors it.
    void Reset();
    // After a pause: the next picture is due its scaled distance after now.
    void Resume(int64_t nowUs);

    // When the picture with this timestamp is due; anchors the time line when needed.
    int64_t DueUs(uint32_t timestampMs, int64_t nowUs);
    // How late a picture with this timestamp is at nowUs (negative: early); 0 while the
    // time line has no anchor.
    int64_t LateUs(uint32_t timestampMs, int64_t nowUs) const;
    // A picture was shown at atUs.
    void Shown(uint32_t timestampMs, int64_t atUs);

private:
    void Anchor(uint32_t timestampMs, int64_t atUs);
    int64_t DueOf(uint32_t timestampMs) const;

    int level_ = kNormalSpeedLevel;
    bool anchored_ = false;
    uint32_t anchorMs_ = 0;
    int64_t anchorUs_ = 0;
    bool shown_ = false;
    uint32_t lastShownMs_ = 0;
    int64_t lastShownUs_ = 0;
};

}  // namespace ocv::player
