#include "sdk/stream_time_line.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace ocv::sdk {

int64_t StreamTimeLine::Ms(int64_t pts, int num, int den, int64_t sinceStartMs) {
    if (!started_) {
        started_ = true;
        firstPts_ = pts;
        offsetMs_ = sinceStartMs;
    }
    if (num <= 0 || den <= 0) return lastMs_;
    int64_t ms = av_rescale_q(pts - firstPts_, AVRational{num, den}, AVRational{1, 1000}) + offsetMs_;
    if (ms < lastMs_) {
        offsetMs_ += lastMs_ - ms;
        ms = lastMs_;
    }
    if (ms < 0) ms = 0;
    lastMs_ = ms;
    return ms;
}

}  // namespace ocv::sdk
