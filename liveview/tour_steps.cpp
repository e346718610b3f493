#include "liveview/tour_steps.h"

namespace ocv {
namespace {
constexpr int kSliderSeconds[] = {20, 40, 60, 180, 300};
}

int TourRoundsPerInterval(int intervalSeconds) { return 2 * (intervalSeconds < 1 ? 1 : intervalSeconds); }

int TourPageSize(int splitMode) {
    if (splitMode == 101) return 10;
    if (splitMode == 131) return 13;
    return splitMode < 0 ? 0 : splitMode;
}

int SingleTourSteps::Round(int step) {
    if (count_ <= 0) return -1;
    if (step == 1 || step == -1) tick_ = 0;
    int show = -1;
    if (tick_ == 0) {
        position_ += step == -1 ? -1 : 1;
        if (position_ >= count_) position_ = 0;
        if (position_ < 0) position_ = count_ - 1;
        show = position_;
    }
    if (++tick_ >= rounds_) tick_ = 0;
    return show;
}

int MultiTourSteps::Round(int step, int n) {
    if (n <= 0) return kEnd;
    if (count_ <= 0) return -1;
    if (step == 1 || step == -1) tick_ = 0;
    int show = -1;
    if (tick_ == 0) {
        if (!started_) position_ = -n;  // the first round shows the first page
        started_ = true;
        position_ += step == -1 ? -n : n;
        if (position_ >= count_) position_ = 0;
        if (position_ < 0) position_ = count_ % n == 0 ? count_ - n : count_ - count_ % n;
        show = position_;
    }
    if (++tick_ >= rounds_) tick_ = 0;
    return show;
}

int TourSliderPosition(int intervalSeconds) {
    for (int i = 0; i < 5; ++i)
        if (kSliderSeconds[i] == intervalSeconds) return i;
    return 0;
}

int TourIntervalOfSlider(int position) { return position >= 0 && position < 5 ? kSliderSeconds[position] : 20; }

}  // namespace ocv
