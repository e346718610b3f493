#include "player/video_surface.h"

#include <utility>

namespace ocv::player {

std::shared_ptr<const VideoPicture> VideoSurface::TakePicture() {
    std::lock_guard lock(mailboxMutex_);
    return std::exchange(pending_, nullptr);
}

uint64_t VideoSurface::DroppedPictureCount() const {
    std::lock_guard lock(mailboxMutex_);
    return dropped_;
}

void VideoSurface::PostPicture(std::shared_ptr<const VideoPicture> picture) {
    std::shared_ptr<const VideoPicture> replaced;
    {
        std::lock_guard lock(mailboxMutex_);
        if (pending_) ++dropped_;
        replaced = std::exchange(pending_, std::move(picture));
    }
    // The replaced picture goes back to its pool outside the lock.
}

void VideoSurface::DiscardPendingPicture() {
    std::shared_ptr<const VideoPicture> discarded;
    std::lock_guard lock(mailboxMutex_);
    discarded = std::exchange(pending_, nullptr);
}

}  // namespace ocv::player
