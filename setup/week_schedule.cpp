#include "setup/week_schedule.h"

#include <algorithm>

namespace ocv {
namespace {
constexpr uint32_t kWordBits = 0xFFFFFF;  // half hours of one word
}  // namespace

WeekSchedule::WeekSchedule(const uint32_t (&words)[kScheduleWords]) {
    for (int d = 0; d < kDays; ++d)
        days_[d] = uint64_t(words[d * 2] & kWordBits) | uint64_t(words[d * 2 + 1] & kWordBits) << 24;
}

bool WeekSchedule::Cell(int day, int halfHour) const {
    return Valid(day, halfHour) && (days_[day] >> halfHour & 1) != 0;
}

void WeekSchedule::SetCell(int day, int halfHour, bool on) {
    if (!Valid(day, halfHour)) return;
    if (on) days_[day] |= uint64_t(1) << halfHour;
    else days_[day] &= ~(uint64_t(1) << halfHour);
}

void WeekSchedule::SetRange(int day0, int halfHour0, int day1, int halfHour1, bool on) {
    for (int d = std::max(0, std::min(day0, day1)); d <= std::min(kDays - 1, std::max(day0, day1)); ++d)
        for (int h = std::max(0, std::min(halfHour0, halfHour1)); h <= std::min(kHalfHours - 1, std::max(halfHour0, halfHour1)); ++h)
            SetCell(d, h, on);
}

void WeekSchedule::SetAll(bool on) {
    for (uint64_t& d : days_) d = on ? (uint64_t(1) << kHalfHours) - 1 : 0;
}

void WeekSchedule::ToWords(uint32_t (&words)[kScheduleWords]) const {
    for (int d = 0; d < kDays; ++d) {
        words[d * 2] = uint32_t(days_[d] & kWordBits);
        words[d * 2 + 1] = uint32_t(days_[d] >> 24 & kWordBits);
    }
}

ScheduleDrag::ScheduleDrag(const WeekSchedule& before, int day, int halfHour)
    : before_(before),
      current_(before),
      day_(std::clamp(day, 0, WeekSchedule::kDays - 1)),
      halfHour_(std::clamp(halfHour, 0, WeekSchedule::kHalfHours - 1)),
      on_(!before.Cell(day_, halfHour_)) {
    current_.SetCell(day_, halfHour_, on_);
}

const WeekSchedule& ScheduleDrag::MoveTo(int day, int halfHour) {
    current_ = before_;
    current_.SetRange(day_, halfHour_, std::clamp(day, 0, WeekSchedule::kDays - 1),
                      std::clamp(halfHour, 0, WeekSchedule::kHalfHours - 1), on_);
    return current_;
}

}  // namespace ocv
