#pragma once
// A loop of real H.264 access units made once per picture size, bit rate and label with
// libx264 and kept on disk, so hundreds of simulated channels cost almost nothing to serve.
#include <cstdint>
#include <memory>
#include <mutex>
#include <map>
#include <string>
#include <vector>

namespace ocv::devsim {

struct EncodedFrame {
    std::vector<uint8_t> data;  // one access unit, Annex-B, SPS/PPS repeated before key frames
    bool key = false;
};

struct VideoLoop {
    int width = 0, height = 0, fps = 25;
    std::vector<EncodedFrame> frames;
};

struct LoopParams {
    int width = 0, height = 0, bitrateKbps = 0, fps = 25, keyInterval = 50, frames = 100;
    std::string label;
    bool thermal = false;  // a thermal sensor's picture instead of the test picture
};

// Encodes (or loads from cacheDir) the loop. nullptr with a message on failure.
std::shared_ptr<const VideoLoop> MakeVideoLoop(const LoopParams& params, const std::string& cacheDir,
                                               std::string* error);

// Shares loops between streams with the same parameters within one run.
class VideoLoopCache {
public:
    explicit VideoLoopCache(std::string cacheDir) : cacheDir_(std::move(cacheDir)) {}
    std::shared_ptr<const VideoLoop> Get(const LoopParams& params, std::string* error);

private:
    std::string cacheDir_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const VideoLoop>> loops_;
};

// Cache file name of a loop (a hash of its parameters).
std::string LoopCacheName(const LoopParams& params);

}  // namespace ocv::devsim
