#pragma once
// The arithmetic of tours ("rota"), free of threads and windows: which entry a single-screen
// tour shows after each 500 ms round, which page a multi-screen tour shows, and what the tour
// settings popup's slider stands for. The tour workers run one Round per 500 ms.
#include <cstdint>

namespace ocv {

// Rounds of 500 ms per tour interval in seconds (an interval below 1 counts as 1).
int TourRoundsPerInterval(int intervalSeconds);

// Cells per page of a multi-screen tour in a split mode (101 shows 10 cells, 131 shows 13).
int TourPageSize(int splitMode);

class SingleTourSteps {
public:
    SingleTourSteps(int count, int intervalSeconds)
        : count_(count), rounds_(TourRoundsPerInterval(intervalSeconds)) {}
    // One round with the step request (-1 previous, 0 none, +1 next; a step restarts the
    // wait). The entry to show now, or -1 when the cell keeps what it shows.
    int Round(int step);

private:
    int count_, rounds_;
    int position_ = -1;
    int tick_ = 0;
};

class MultiTourSteps {
public:
    static constexpr int kEnd = -2;

    MultiTourSteps(int count, int intervalSeconds)
        : count_(count), rounds_(TourRoundsPerInterval(intervalSeconds)) {}
    // One round with the step request and the current page size. The first entry of the page
    // to show now, -1 when the page stays, kEnd when the page size is 0 (the tour ends).
    int Round(int step, int pageSize);

private:
    int count_, rounds_;
    int position_ = -1;
    bool started_ = false;
    int tick_ = 0;
};

// The tour settings popup's slider: positions 0..4 stand for 20, 40, 60, 180 and 300 seconds;
// an interval it does not offer shows as position 0, and a position outside 0..4 means 20.
int TourSliderPosition(int intervalSeconds);
int TourIntervalOfSlider(int position);

}  // namespace ocv
