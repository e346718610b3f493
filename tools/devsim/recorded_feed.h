#pragma once
// The frames of recorded files, made from the channel's video loop: frame i of a file is loop
// frame i modulo the loop length, 1000 / fps ms after the previous one. A feed is a list of
// pieces of files (one whole file for a playback, the parts of files inside a span for a
// download) on one time line that starts at the first frame sent.
#include <cstdint>
#include <memory>
#include <vector>

#include "tools/devsim/recording_store.h"
#include "tools/devsim/video_loop.h"

namespace ocv::devsim {

struct FeedPiece {
    int64_t fileStartMs = 0;  // the file's start on the device's calendar (StoredFile::StartMs)
    uint32_t firstFrame = 0;  // a key frame of the file
    uint32_t endFrame = 0;    // one past the last frame sent
};

class RecordedFeed {
public:
    RecordedFeed(std::shared_ptr<const VideoLoop> loop, std::vector<FeedPiece> pieces);

    // One whole file, for a playback.
    static std::unique_ptr<RecordedFeed> ForFile(std::shared_ptr<const VideoLoop> loop, const StoredFile& file);
    // The parts of the files inside [spanStartMs, spanEndMs), each from the key frame at or
    // before the span's start, for a download. nullptr when nothing lies inside.
    static std::unique_ptr<RecordedFeed> ForSpan(std::shared_ptr<const VideoLoop> loop,
                                                 const std::vector<StoredFile>& files, int64_t spanStartMs,
                                                 int64_t spanEndMs);

    struct Item {
        const EncodedFrame* frame = nullptr;
        uint32_t timestampMs = 0;  // on the feed's time line
    };
    // The next video frame; false at the end.
    bool Next(Item* out);
    // Moves to the key frame at or before percent of the time line (a playback's position);
    // returns the new position in ms.
    uint32_t SeekPercent(int percent);

    const std::shared_ptr<const VideoLoop>& loop() const { return loop_; }
    int64_t OriginMs() const { return originMs_; }  // calendar time of the first frame
    uint32_t LengthMs() const { return lengthMs_; }
    bool AtEnd() const { return piece_ >= pieces_.size(); }

private:
    uint32_t KeyAtOrBefore(uint32_t frame) const;
    int64_t FrameTimeMs(const FeedPiece& p, uint32_t frame) const;

    std::shared_ptr<const VideoLoop> loop_;
    std::vector<FeedPiece> pieces_;
    int64_t originMs_ = 0;
    uint32_t lengthMs_ = 0;
    size_t piece_ = 0;
    uint32_t frame_ = 0;
};

}  // namespace ocv::devsim
