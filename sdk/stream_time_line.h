#pragma once
// The time line of one elementary stream of an RTSP input as the library hands it on:
// milliseconds from the stream's start, following the packets' own times, never going back.
// The demuxer moves its time line once the server's first sender report maps RTP time to wall
// time, which can put a packet a little before the one handed on just earlier; the time line
// then goes on from the last time handed on, keeping the steps that follow.
#include <cstdint>

namespace ocv::sdk {

class StreamTimeLine {
public:
    // pts in units of num/den seconds; sinceStartMs: how long the input has been open, which
    // places the first packet. Milliseconds, at least 0 and at least the previous result.
    int64_t Ms(int64_t pts, int num, int den, int64_t sinceStartMs);

private:
    bool started_ = false;
    int64_t firstPts_ = 0;
    int64_t offsetMs_ = 0;
    int64_t lastMs_ = 0;
};

}  // namespace ocv::sdk
