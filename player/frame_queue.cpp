#include "player/frame_queue.h"

#include <algorithm>

namespace ocv::player {

bool FrameQueue::Push(QueuedFrame frame) {
    if (frame.video) {
        if (frame.keyFrame) {
            waitingForKeyFrame_ = false;
        } else if (waitingForKeyFrame_) {
            ++discarded_;
            return false;
        }
    }
    bytes_ += frame.size;
    frames_.push_back(std::move(frame));
    if (!Full()) return true;

    // The decoder is behind. Jump to the newest key frame when there is one; the pictures
    // before it would only add delay.
    auto newestKey = std::find_if(frames_.rbegin(), frames_.rend(),
                                  [](const QueuedFrame& f) { return f.video && f.keyFrame; });
    if (newestKey != frames_.rend()) {
        size_t keep = static_cast<size_t>(newestKey - frames_.rbegin()) + 1;
        while (frames_.size() > keep) DropFront();
    }
    if (Full()) {
        // No key frame to jump to: the queued pictures cannot be decoded usefully
        // without the ones that are going, so all video goes and waits for the next key.
        size_t before = frames_.size();
        std::erase_if(frames_, [](const QueuedFrame& f) { return f.video; });
        discarded_ += before - frames_.size();
        bytes_ = 0;
        for (const QueuedFrame& f : frames_) bytes_ += f.size;
        waitingForKeyFrame_ = true;
    }
    while (Full()) DropFront();
    return true;
}

std::optional<QueuedFrame> FrameQueue::Pop() {
    if (frames_.empty()) return std::nullopt;
    QueuedFrame frame = std::move(frames_.front());
    frames_.pop_front();
    bytes_ -= frame.size;
    return frame;
}

void FrameQueue::Clear() {
    discarded_ += frames_.size();
    frames_.clear();
    bytes_ = 0;
    waitingForKeyFrame_ = true;
}

void FrameQueue::DropFront() {
    bytes_ -= frames_.front().size;
    frames_.pop_front();
    ++discarded_;
}

}  // namespace ocv::player
