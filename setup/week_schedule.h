#pragma once
// The weekly time editor's model: 7 days (Sunday first) of 48 half hours, stored as the
// channel's 14 schedule words (two per day, half hours 0..23 and 24..47 in bits 0..23), and the
// drag that sets or clears a rectangle of cells.
#include <cstdint>

#include "store/records.h"

namespace ocv {

class WeekSchedule {
public:
    static constexpr int kDays = 7;
    static constexpr int kHalfHours = 48;

    WeekSchedule() = default;
    explicit WeekSchedule(const uint32_t (&words)[kScheduleWords]);

    bool Cell(int day, int halfHour) const;
    void SetCell(int day, int halfHour, bool on);
    // Every cell of the rectangle between two cells (corners in any order).
    void SetRange(int day0, int halfHour0, int day1, int halfHour1, bool on);
    void SetAll(bool on);
    // The 14 words; only bits 0..23 of each are ever set.
    void ToWords(uint32_t (&words)[kScheduleWords]) const;
    bool operator==(const WeekSchedule&) const = default;

private:
    static bool Valid(int day, int halfHour) { return day >= 0 && day < kDays && halfHour >= 0 && halfHour < kHalfHours; }
    uint64_t days_[kDays] = {};  // bit h: half hour h
};

// One drag of the operator: the pressed cell turns over, and every cell of the rectangle from it
// to the cell under the pointer takes the pressed cell's new state. The schedule shown during
// the drag is the one from before it with that rectangle applied.
class ScheduleDrag {
public:
    ScheduleDrag(const WeekSchedule& before, int day, int halfHour);
    // The pointer is over this cell now (clamped into the grid).
    const WeekSchedule& MoveTo(int day, int halfHour);
    const WeekSchedule& current() const { return current_; }
    bool setting() const { return on_; }

private:
    WeekSchedule before_;
    WeekSchedule current_;
    int day_, halfHour_;
    bool on_;
};

}  // namespace ocv
