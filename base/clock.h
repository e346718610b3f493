#pragma once
// The process-wide current time, renewed once a second by the status worker. Recording,
// scheduling, hold times, day folders and log stamps read it from here, so tests can drive
// the whole program through midnight or a half hour without sleeping.
#include <cstdint>
#include <functional>

namespace ocv {

struct ClockSnapshot {
    int64_t time = 0;  // calendar time, seconds since 1970-01-01 UTC
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    int weekday = 4;  // 0 = Sunday
    int SecondOfDay() const { return hour * 3600 + minute * 60 + second; }
};

// The latest snapshot. Readers on any thread see a whole snapshot, never a half-renewed one.
ClockSnapshot clockSnapshot();

// Reads the time source, stores the new snapshot and returns it.
ClockSnapshot RenewClockSnapshot();

// Broken-down local time of a calendar time (what a renewal stores).
ClockSnapshot MakeClockSnapshot(int64_t time);

// Replaces the time source (nullptr restores the system clock). Does not renew by itself.
void SetClockSourceForTesting(std::function<int64_t()> source);
// Fixes the source at a local date and time and renews the snapshot; returns the calendar time.
int64_t SetClockForTesting(int year, int month, int day, int hour, int minute, int second);
// Moves a fixed test clock by the given seconds and renews.
void AdvanceClockForTesting(int64_t seconds);

}  // namespace ocv
