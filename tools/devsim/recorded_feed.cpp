#include "tools/devsim/recorded_feed.h"

#include <algorithm>

namespace ocv::devsim {

namespace {
int Fps(const VideoLoop& loop) { return loop.fps > 0 ? loop.fps : 25; }
}  // namespace

RecordedFeed::RecordedFeed(std::shared_ptr<const VideoLoop> loop, std::vector<FeedPiece> pieces)
    : loop_(std::move(loop)), pieces_(std::move(pieces)) {
    if (pieces_.empty()) return;
    originMs_ = FrameTimeMs(pieces_.front(), pieces_.front().firstFrame);
    const FeedPiece& last = pieces_.back();
    lengthMs_ = uint32_t(FrameTimeMs(last, last.endFrame) - originMs_);
    frame_ = pieces_.front().firstFrame;
}

int64_t RecordedFeed::FrameTimeMs(const FeedPiece& p, uint32_t frame) const {
    return p.fileStartMs + int64_t(frame) * 1000 / Fps(*loop_);
}

uint32_t RecordedFeed::KeyAtOrBefore(uint32_t frame) const {
    size_t n = loop_->frames.size();
    // Loop frame 0 is a key frame, so this ends.
    while (frame > 0 && !loop_->frames[frame % n].key) --frame;
    return frame;
}

std::unique_ptr<RecordedFeed> RecordedFeed::ForFile(std::shared_ptr<const VideoLoop> loop, const StoredFile& file) {
    FeedPiece p;
    p.fileStartMs = file.StartMs();
    p.firstFrame = 0;
    p.endFrame = uint32_t(file.durationSec) * uint32_t(Fps(*loop));
    return std::make_unique<RecordedFeed>(std::move(loop), std::vector<FeedPiece>{p});
}

std::unique_ptr<RecordedFeed> RecordedFeed::ForSpan(std::shared_ptr<const VideoLoop> loop,
                                                    const std::vector<StoredFile>& files, int64_t spanStartMs,
                                                    int64_t spanEndMs) {
    int fps = Fps(*loop);
    RecordedFeed probe(loop, {});
    std::vector<FeedPiece> pieces;
    for (const auto& f : files) {
        int64_t from = std::max(spanStartMs, f.StartMs()), to = std::min(spanEndMs, f.EndMs());
        if (from >= to) continue;
        FeedPiece p;
        p.fileStartMs = f.StartMs();
        uint32_t frames = uint32_t(f.durationSec) * uint32_t(fps);
        p.firstFrame = probe.KeyAtOrBefore(uint32_t((from - f.StartMs()) * fps / 1000));
        p.endFrame = std::min<uint32_t>(frames, uint32_t(((to - f.StartMs()) * fps + 999) / 1000));
        if (p.firstFrame < p.endFrame) pieces.push_back(p);
    }
    if (pieces.empty()) return nullptr;
    return std::make_unique<RecordedFeed>(std::move(loop), std::move(pieces));
}

bool RecordedFeed::Next(Item* out) {
    while (piece_ < pieces_.size() && frame_ >= pieces_[piece_].endFrame) {
        if (++piece_ < pieces_.size()) frame_ = pieces_[piece_].firstFrame;
    }
    if (piece_ >= pieces_.size()) return false;
    const FeedPiece& p = pieces_[piece_];
    out->frame = &loop_->frames[frame_ % loop_->frames.size()];
    out->timestampMs = uint32_t(FrameTimeMs(p, frame_) - originMs_);
    ++frame_;
    return true;
}

uint32_t RecordedFeed::SeekPercent(int percent) {
    if (pieces_.empty()) return 0;
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    int64_t target = originMs_ + int64_t(lengthMs_) * percent / 100;
    // The piece that holds the target, or the last one.
    size_t i = 0;
    while (i + 1 < pieces_.size() && FrameTimeMs(pieces_[i], pieces_[i].endFrame) <= target) ++i;
    const FeedPiece& p = pieces_[i];
    int64_t offset = std::max<int64_t>(0, target - p.fileStartMs);
    uint32_t frame = uint32_t(std::min<int64_t>(offset * Fps(*loop_) / 1000, p.endFrame));
    piece_ = i;
    frame_ = frame >= p.endFrame ? p.endFrame : std::max(p.firstFrame, KeyAtOrBefore(frame));
    return uint32_t(FrameTimeMs(p, frame_) - originMs_);
}

}  // namespace ocv::devsim
