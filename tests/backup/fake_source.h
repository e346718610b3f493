#pragma once
// A frame source for the job tests: synthetic pictures (a key frame every gop) with sound,
// made as fast or as slow as a test needs, failing on request.
#include <atomic>
#include <chrono>
#include <thread>

#include "backup/frame_source.h"

namespace ocv::test {

class FakeSource : public backup::FrameSource {
public:
    uint64_t records = 1000;     // then the end
    uint32_t gop = 10;           // 0: no key frame at all
    uint32_t pictureBytes = 4000;
    int64_t failAt = -1;         // Next returns -1 at this record
    int sleepMicros = 0;         // per record
    std::atomic<uint64_t> served{0};
    std::atomic<bool> cancelled{false};

    FakeSource() {
        info_.videoCodec = kVideoCodecH264;
        info_.width = 320;
        info_.height = 240;
        info_.audioEncoding = kAudioG711ALaw;
        info_.frameRate = 25;
        data_.assign(pictureBytes, 0x11);
    }

    int Next(backup::SourceRecord* out) override {
        uint64_t n = served.load();
        if (static_cast<int64_t>(n) == failAt) {
            problems_.push_back("the device stopped sending");
            return -1;
        }
        if (n >= records) return 0;
        if (sleepMicros) std::this_thread::sleep_for(std::chrono::microseconds(sleepMicros));
        if (data_.size() < pictureBytes) data_.assign(pictureBytes, 0x11);
        FrameHeader h{};
        uint64_t picture = n / 2;
        if (n % 2 == 0) {
            h.kind = kFrameKindVideo;
            h.dataLength = pictureBytes;
            h.frameType = gop && picture % gop == 0 ? 1 : 2;
            h.timestampMs = static_cast<uint32_t>(36000000 + picture * 40);
        } else {
            h.kind = kFrameKindAudio;
            h.dataLength = 324;
            h.timestampMs = static_cast<uint32_t>(36000000 + picture * 40);
        }
        out->header = h;
        out->data = data_.data();
        out->info = &info_;
        out->streamSerial = 1;
        served = n + 1;
        return 1;
    }
    backup::SourceProgress Progress() const override { return {served.load(), records}; }
    const std::vector<std::string>& Problems() const override { return problems_; }
    void Cancel() override { cancelled = true; }

private:
    StreamInfo info_{};
    std::vector<uint8_t> data_;
    std::vector<std::string> problems_;
};

}  // namespace ocv::test
