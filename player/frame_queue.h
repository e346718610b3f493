#pragma once
// The bounded input queue of one port, between the caller's thread and the decoding
// thread. Not locked itself: the port guards it.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace ocv::player {

struct QueuedFrame {
    bool video = true;
    bool keyFrame = false;
    uint32_t timestampMs = 0;
    // Video: the encoded picture followed by zeroed decoder padding; audio: the samples.
    std::vector<uint8_t> data;
    size_t size = 0;  // bytes of data without the padding
};

class FrameQueue {
public:
    FrameQueue(size_t maxFrames, size_t maxBytes) : maxFrames_(maxFrames), maxBytes_(maxBytes) {}

    // Takes the frame, or discards it (false) when it is a video frame that depends on
    // pictures that were dropped: after an overflow or RequireKeyFrame only a key frame is
    // taken. When the queue is full the oldest data goes: everything before the newest
    // queued key frame, else all queued video (then wait for a key frame), then the
    // oldest audio.
    bool Push(QueuedFrame frame);
    std::optional<QueuedFrame> Pop();
    // Drops everything; video is taken again from the next key frame.
    void Clear();
    void RequireKeyFrame() { waitingForKeyFrame_ = true; }
    bool WaitingForKeyFrame() const { return waitingForKeyFrame_; }

    size_t FrameCount() const { return frames_.size(); }
    size_t ByteCount() const { return bytes_; }
    // Frames thrown away by the queue (overflow or waiting for a key frame).
    uint64_t DiscardedCount() const { return discarded_; }

private:
    bool Full() const { return frames_.size() > maxFrames_ || bytes_ > maxBytes_; }
    void DropFront();

    size_t maxFrames_, maxBytes_;
    std::deque<QueuedFrame> frames_;
    size_t bytes_ = 0;
    uint64_t discarded_ = 0;
    bool waitingForKeyFrame_ = true;  // a stream starts with a key frame
};

}  // namespace ocv::player
