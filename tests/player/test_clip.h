#pragma once
// H.264 and H.265 test clips made with libavcodec (libx264, libx265) and wrapped as the
// device library's frame records, plus an in-memory video surface.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "player/video_surface.h"
#include "base/media_types.h"

namespace ocv::test {

struct EncodedPicture {
    std::vector<uint8_t> bytes;  // Annex-B access unit
    bool keyFrame = false;
};

// A moving pattern of count pictures; a key frame (IDR with its parameter sets) every gop
// pictures; no reordering.
std::vector<EncodedPicture> MakeH264Clip(int width, int height, int count, int gop);
std::vector<EncodedPicture> MakeH265Clip(int width, int height, int count, int gop);

// One frame record: header + data (+ extensionBlocks blocks of 72 bytes of filler).
// frameType units digit: keyKind (3, or 1) for key frames, 2 otherwise.
std::vector<uint8_t> MakeVideoRecord(const EncodedPicture& picture, uint32_t timestampMs,
                                     int extensionBlocks = 0, uint32_t keyKind = 3);
std::vector<uint8_t> MakeAudioRecord(const std::vector<uint8_t>& samples, uint32_t timestampMs);

// codec: word 0 (1 H.264, 2 H.265).
StreamInfo MakeStreamInfo(int width, int height, uint32_t audioEncoding = kAudioNone,
                          uint32_t codec = kVideoCodecH264);

// Polls until pred() holds or the bound passes; true when it held.
bool WaitFor(const std::function<bool()>& pred,
             std::chrono::milliseconds bound = std::chrono::milliseconds(10000));

// Takes every picture as soon as it is posted (unless holding) and remembers its shape.
class MemorySurface : public player::VideoSurface {
public:
    MemorySurface(int width, int height, player::PixelFormat format = player::PixelFormat::kBgra32)
        : format_{width, height, format} {}

    player::SurfaceFormat CurrentFormat() const override {
        std::lock_guard lock(mutex_);
        return format_;
    }
    void Resize(int width, int height) {
        std::lock_guard lock(mutex_);
        format_.width = width;
        format_.height = height;
    }
    void PictureReady() override {
        ++ready_;
        if (holding_) return;
        if (auto picture = TakePicture()) {
            std::lock_guard lock(mutex_);
            pictures_.push_back(picture);
        }
    }
    // A surface that never gets round to painting: pictures stay in the mailbox.
    void Hold(bool hold) { holding_ = hold; }

    std::vector<std::shared_ptr<const player::VideoPicture>> Pictures() const {
        std::lock_guard lock(mutex_);
        return pictures_;
    }
    size_t PictureCount() const {
        std::lock_guard lock(mutex_);
        return pictures_.size();
    }
    int ReadyCount() const { return ready_; }

private:
    mutable std::mutex mutex_;
    player::SurfaceFormat format_;
    std::vector<std::shared_ptr<const player::VideoPicture>> pictures_;
    std::atomic<bool> holding_{false};
    std::atomic<int> ready_{0};
};

}  // namespace ocv::test
