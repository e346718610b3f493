#include "player/playback_pacer.h"

namespace ocv::player {

int64_t PlaybackPacer::ScaleMs(int64_t ms, int level) {
    int64_t us = ms * 1000;
    return level >= 0 ? us >> level : us << -level;
}

void PlaybackPacer::SetLevel(int level) {
    if (!IsSpeedLevel(level) || level == level_) return;
    level_ = level;
    if (shown_) Anchor(lastShownMs_, lastShownUs_);
    else anchored_ = false;
}

void PlaybackPacer::Reset() {
    anchored_ = false;
    shown_ = false;
}

void PlaybackPacer::Resume(int64_t nowUs) {
    if (shown_) Anchor(lastShownMs_, nowUs);
    else anchored_ = false;
}

void PlaybackPacer::Anchor(uint32_t timestampMs, int64_t atUs) {
    anchored_ = true;
    anchorMs_ = timestampMs;
    anchorUs_ = atUs;
}

int64_t PlaybackPacer::DueOf(uint32_t timestampMs) const {
    return anchorUs_ + ScaleMs(static_cast<int32_t>(timestampMs - anchorMs_), level_);
}

int64_t PlaybackPacer::DueUs(uint32_t timestampMs, int64_t nowUs) {
    int64_t step = shown_ ? static_cast<int32_t>(timestampMs - lastShownMs_) : 0;
    if (!anchored_ || step < 0 || step > kMaxStepMs) Anchor(timestampMs, nowUs);
    int64_t due = DueOf(timestampMs);
    if (due < nowUs - kMaxLateUs) {
        Anchor(timestampMs, nowUs);
        due = nowUs;
    }
    return due;
}

int64_t PlaybackPacer::LateUs(uint32_t timestampMs, int64_t nowUs) const {
    return anchored_ ? nowUs - DueOf(timestampMs) : 0;
}

void PlaybackPacer::Shown(uint32_t timestampMs, int64_t atUs) {
    shown_ = true;
    lastShownMs_ = timestampMs;
    lastShownUs_ = atUs;
    if (!anchored_) Anchor(timestampMs, atUs);
}

}  // namespace ocv::player
