#pragma once
// Turns a decoded picture into the finished picture of a surface: one libswscale pass
// from the source region straight to the drawn size and the surface's pixel format, into
// pooled memory, so that steady playback allocates nothing per picture.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "player/av_ptr.h"
#include "player/display_geometry.h"
#include "player/video_surface.h"

namespace ocv::player {

// Reuses picture memory once the surface lets go of a picture (on any thread).
class PicturePool {
public:
    PicturePool();
    // A picture with planes laid out for this format and size.
    std::shared_ptr<VideoPicture> Acquire(PixelFormat format, int width, int height);

private:
    struct State {
        std::mutex mutex;
        std::vector<std::unique_ptr<VideoPicture>> free;
    };
    std::shared_ptr<State> state_;
};

class PictureConverter {
public:
    PictureConverter() = default;
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;
    ~PictureConverter();

    // The drawn picture for layout.destination, or nullptr when the source or the size is
    // unusable. method: QVXPLAY_DRAW_FAST or QVXPLAY_DRAW_SMOOTH.
    std::shared_ptr<VideoPicture> Convert(const AVFrame& source, const DisplayLayout& layout,
                                          PixelFormat format, int method);

private:
    SwsContext* scaler_ = nullptr;  // owned; sws_getCachedContext reuses or replaces it
    PicturePool pool_;
};

AVPixelFormat ToAvPixelFormat(PixelFormat format);

// Scales the region of source into dst planes of width x height in dstFormat. Handles the
// full-range ("J") YUV formats of cameras. 0, or -1. scaler is the cached context.
int ScaleRegion(SwsContext** scaler, const AVFrame& source, const PixelRect& region,
                AVPixelFormat dstFormat, int width, int height, int swsFlags,
                uint8_t* const dstPlanes[4], const int dstStrides[4]);

}  // namespace ocv::player
