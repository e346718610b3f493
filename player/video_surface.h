#pragma once
// The video surface: what a player draws into. The Qt video window implements it; tests
// implement it in memory. The handle given to QVXPlay_SetDrawWnd is a VideoSurface*.
// A surface created by std::make_shared (as the Qt one is) is held by every port it is
// bound to (shared_from_this), so its window may go while a port still draws into it; the
// surface then lives on until the last port lets it go.
//
// The player converts each picture once, straight to the surface's current size and pixel
// format, and posts it into the surface's single-slot mailbox: a picture the surface has
// not taken yet is replaced by the newer one, so a slow surface shows fewer pictures but
// never falls behind the stream.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace ocv::player {

enum class PixelFormat : int {
    kBgra32 = 0,  // QVXPLAY_PIXEL_BGRA32 (QImage::Format_RGB32 / ARGB32 on little-endian)
    kRgba32 = 1,  // QVXPLAY_PIXEL_RGBA32
    kRgb24 = 2,   // QVXPLAY_PIXEL_RGB24
    kI420 = 3,    // QVXPLAY_PIXEL_I420
    // Not a format of the player's interface: the decoder's own 4:2:0 planes of the drawn
    // region, neither scaled nor converted, for a surface that scales and converts them itself
    // (on the GPU). Where the decoded picture is not 4:2:0, or a draw callback wants to draw on
    // the picture, the player sends kBgra32 instead.
    kDecodedYuv = 16,
};

struct SurfaceFormat {
    int width = 0;   // pixels; 0 (hidden or not laid out yet) means nothing is converted
    int height = 0;
    PixelFormat format = PixelFormat::kBgra32;
};

// A finished picture: the drawn area of the surface, placed at (x, y). Planes are 64-byte
// aligned; the memory returns to the player's pool when the last reference goes.
struct VideoPicture {
    PixelFormat format = PixelFormat::kBgra32;
    int width = 0, height = 0;                 // drawn area
    int x = 0, y = 0;                          // its place in the surface (the margins)
    int surfaceWidth = 0, surfaceHeight = 0;   // the surface size it was made for
    int sourceWidth = 0, sourceHeight = 0;     // the decoded picture
    uint32_t timestampMs = 0;                  // from the frame record
    uint64_t sequence = 0;                     // decoded-picture number of the port, from 1
    uint8_t* planes[3] = {nullptr, nullptr, nullptr};
    int strides[3] = {0, 0, 0};
    std::vector<uint8_t> storage;
    // kDecodedYuv: the planes' own size (the drawn region of the decoded picture, even-sized
    // chroma at half), its colours, and the decoder's frame that owns the planes (read-only:
    // the decoder may still predict from them).
    int planeWidth = 0, planeHeight = 0;
    bool fullRange = false;  // 0-255 luma (cameras' "J" formats) rather than 16-235
    bool bt709 = false;      // HD colour matrix rather than BT.601
    std::shared_ptr<const void> decodedFrame;
};

class VideoSurface : public std::enable_shared_from_this<VideoSurface> {
public:
    virtual ~VideoSurface() = default;

    // Called on a decoding thread before each conversion: the size and pixel format the
    // next picture should have. Must be cheap and thread-safe.
    virtual SurfaceFormat CurrentFormat() const = 0;
    // Called on a decoding thread after a picture was posted. Must not block: a window
    // schedules a repaint and takes the picture there.
    virtual void PictureReady() = 0;

    // The newest picture not taken yet, or nullptr. Any thread (normally the surface's).
    std::shared_ptr<const VideoPicture> TakePicture();
    // Pictures that were replaced before the surface took them.
    uint64_t DroppedPictureCount() const;

    // Player side: replaces the waiting picture (counting it as dropped) with this one.
    void PostPicture(std::shared_ptr<const VideoPicture> picture);
    // Player side: forgets the waiting picture without counting it (reset of the source).
    void DiscardPendingPicture();

private:
    mutable std::mutex mailboxMutex_;
    std::shared_ptr<const VideoPicture> pending_;
    uint64_t dropped_ = 0;
};

}  // namespace ocv::player
