#pragma once
// The peer of the client's 36-cell grid: the ffmpeg command line decoding the same sub streams
// in one process, in real time (25 pictures/s each), and converting them to the cell's size
// and BGRA with the same kind of scaler (fast bilinear). The streams are taken from the
// simulator as the client receives them (one picture loop per channel, from a key frame).
#include <string>
#include <vector>

namespace ocv::bench {

// Records `frames` pictures of each channel's sub stream, from its first key frame, into
// dir/ch-NN.h264 (the H.264 access units as they came). The file names, or empty with *error.
std::vector<std::string> CaptureSubStreams(const std::string& host, int port, const char* user,
                                           const char* password, int channels, int frames,
                                           const std::string& dir, std::string* error);

struct PeerFigure {
    double cores = -1;    // CPU seconds per second of the real-time run, start-up taken off
    double startup = 0;   // CPU seconds of the same command for one picture per stream
};

// ffmpeg reading every file looped at 25 pictures/s for `seconds`, one decoding thread per
// stream; convert: scaled to width x height BGRA (fast bilinear), else decoded only.
PeerFigure RunFfmpegPeer(const std::vector<std::string>& files, int width, int height, bool convert,
                         int seconds);

}  // namespace ocv::bench
