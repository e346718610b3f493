#pragma once
// The benchmarks' H.264 clips: made with the ffmpeg command line (libx264, a moving test
// pattern with sensor-like noise, a key frame every 2 s, no B frames, camera-like bit
// rates) under $TMPDIR/ocv-player-bench, then split into access units and device frame
// records (key frames of kind 3, 40 ms apart).
#include <cstdint>
#include <string>
#include <vector>

namespace ocv::bench {

struct BenchClip {
    std::string path;
    int width = 0, height = 0, surfaceWidth = 0, surfaceHeight = 0;
    std::vector<std::vector<uint8_t>> units;  // access units, each with decoder padding
    std::vector<bool> key;
    std::vector<std::vector<uint8_t>> records;  // the same as device frame records
};

// Made once; later runs reuse the file. surfaceWidth x surfaceHeight is what the
// benchmarks draw into.
BenchClip MakeClip(int width, int height, int frames, const char* bitrate, int surfaceWidth,
                   int surfaceHeight);

}  // namespace ocv::bench
