#include "playback/timeline_model.h"

#include <algorithm>
#include <cstdio>

namespace ocv::playback {

uint32_t RecordTypeColour(int recordType) {
    static constexpr uint32_t kPalette[3] = {0xFF00FF00, 0xFFFF0000, 0xFF0000FF};
    int index = recordType >= 10 ? recordType / 10 - 1 : recordType - 1;
    if (index < 0 || index > 2) index = 0;
    return kPalette[index];
}

void TimelineModel::SetView(int viewStart, int minutesPerDivision) {
    for (int m : kMinutesPerDivisionSteps)
        if (m == minutesPerDivision) minutes_ = m;
    viewStart_ = std::clamp(viewStart, 0, kMinutesPerDay);
}

bool TimelineModel::ZoomIn() {
    for (size_t i = 0; i + 1 < std::size(kMinutesPerDivisionSteps); ++i) {
        if (kMinutesPerDivisionSteps[i] != minutes_) continue;
        minutes_ = kMinutesPerDivisionSteps[i + 1];
        viewStart_ = std::min(viewStart_, MaxViewStart());
        return true;
    }
    return false;
}

bool TimelineModel::ZoomOut() {
    for (size_t i = 1; i < std::size(kMinutesPerDivisionSteps); ++i) {
        if (kMinutesPerDivisionSteps[i] != minutes_) continue;
        minutes_ = kMinutesPerDivisionSteps[i - 1];
        viewStart_ = std::min(viewStart_, MaxViewStart());
        return true;
    }
    return false;
}

void TimelineModel::Step(int divisions) {
    viewStart_ = std::clamp(viewStart_ + divisions * minutes_, 0, MaxViewStart());
}

bool TimelineModel::Reveal(int t) {
    if (t < 0 || t >= kSecondsPerDay) return false;
    const int first = viewStart_ * 60;
    const int last = first + visibleMinutes() * 60;
    if (t >= first && t < last) return false;
    // Whole divisions, so the ticks keep their round labels.
    int start = t / 60 / minutes_ * minutes_;
    if (t >= last) start = std::max(start - (kDivisions - 1) * minutes_, viewStart_);
    const int before = viewStart_;
    viewStart_ = std::clamp(start, 0, MaxViewStart());
    return viewStart_ != before;
}

void TimelineModel::Resize(int width, int height) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
}

std::string TimelineModel::TickLabel(int i) const {
    const int minutes = viewStart_ + i * minutes_;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60, minutes % 60);
    return text;
}

int TimelineModel::XOfSecond(int t) const {
    const int64_t fromStart = std::max<int64_t>(0, static_cast<int64_t>(t) - viewStart_ * 60);
    return kTimeAreaLeft + 1 + static_cast<int>(fromStart * DivisionWidth() / (minutes_ * 60));
}

int TimelineModel::SecondAtX(int x) const {
    const int v = DivisionWidth();
    if (v <= 0 || x < kTimeAreaLeft || x > TimeAreaRight()) return -1;
    const int64_t t = static_cast<int64_t>(viewStart_) * 60 +
                      static_cast<int64_t>(x - kTimeAreaLeft) * minutes_ * 60 / v;
    return static_cast<int>(std::min<int64_t>(t, kSecondsPerDay - 1));
}

int TimelineModel::WindowAtY(int y) const {
    const int r = RowHeight();
    if (r <= 0 || y < r || y >= kRows * r) return -1;
    return y / r - 1;
}

bool TimelineModel::Hit(int x, int y, int* window, int* second) const {
    const int w = WindowAtY(y);
    const int t = SecondAtX(x);
    if (w < 0 || t < 0) return false;
    *window = w;
    *second = t;
    return true;
}

namespace {

bool RowBar(const TimelineModel& m, int window, int startX, int endX, int inset, BarRect* out) {
    if (window < 0 || window >= kTimelineWindows) return false;
    const int right = m.TimeAreaRight();
    if (startX >= right) return false;
    endX = std::min(std::max(endX, startX + 1), right);
    const int r = m.RowHeight();
    const int top = (window + 1) * r;
    *out = BarRect{startX, top + inset, endX, top + r - inset + 1};
    return true;
}

}  // namespace

bool TimelineModel::EntryBar(int window, const RecordEntry& entry, BarRect* out) const {
    if (!entry.Playable() || entry.EndSecond() <= viewStart_ * 60) return false;
    return RowBar(*this, window, XOfSecond(entry.StartSecond()), XOfSecond(entry.EndSecond()), 4, out);
}

bool TimelineModel::ClipBar(const ClipRange& clip, BarRect* out) const {
    if (!clip.IsSet() || clip.end <= viewStart_ * 60) return false;
    return RowBar(*this, clip.row, XOfSecond(clip.start), XOfSecond(clip.end), 8, out);
}

std::string TimelineModel::CursorText(int t) {
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
    return text;
}

void ClipClick(ClipRange* clip, int window, int t, bool windowHasChannel) {
    if (!windowHasChannel) {
        *clip = ClipRange{};
        return;
    }
    if (!clip->IsSet() || clip->row != window) {
        *clip = ClipRange{window, t, t};
    } else if (t < clip->start) {
        clip->start = t;
    } else if (t > clip->end) {
        clip->end = t;
    }
}

}  // namespace ocv::playback
