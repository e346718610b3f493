#pragma once
// Turns a decoded picture into the finished picture of a surface, from the source region
// straight to the drawn size and the surface's pixel format, into pooled memory, so that
// steady playback allocates nothing per picture. Fast drawing of 4:2:0 pictures goes through
// yuv_convert.h (plane scaling, then libyuv's colour conversion); smooth drawing and other
// formats through one libswscale pass.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "player/av_ptr.h"
#include "player/display_geometry.h"
#include "player/video_surface.h"
#include "player/yuv_convert.h"

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

// How fast drawing (QVXPLAY_DRAW_FAST) of 4:2:0 pictures is done; benchmarks and tests compare
// them: PlaneScaler and libyuv's colour conversion (the player's), libyuv alone, libswscale
// alone. Smooth drawing is always libswscale's bicubic.
enum class FastConverter { kPlaneScaler, kLibyuv, kSwscale };

class PictureConverter {
public:
    PictureConverter() = default;
    explicit PictureConverter(FastConverter fast) : fast_(fast) {}
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;
    ~PictureConverter();

    // The drawn picture for layout.destination, or nullptr when the source or the size is
    // unusable. method: QVXPLAY_DRAW_FAST or QVXPLAY_DRAW_SMOOTH. kDecodedYuv hands over a
    // reference to the source's planes (no pixel is touched) when the source is 4:2:0, and
    // converts to kBgra32 otherwise.
    std::shared_ptr<VideoPicture> Convert(const AVFrame& source, const DisplayLayout& layout,
                                          PixelFormat format, int method);

private:
    std::shared_ptr<VideoPicture> HandOver(const AVFrame& source, const DisplayLayout& layout);

    FastConverter fast_ = FastConverter::kPlaneScaler;
    SwsContext* scaler_ = nullptr;  // owned; sws_getCachedContext reuses or replaces it
    YuvScratch scratch_;
    PicturePool pool_;
};

AVPixelFormat ToAvPixelFormat(PixelFormat format);

// Scales the region of source into dst planes of width x height in dstFormat. Handles the
// full-range ("J") YUV formats of cameras. 0, or -1. scaler is the cached context.
int ScaleRegion(SwsContext** scaler, const AVFrame& source, const PixelRect& region,
                AVPixelFormat dstFormat, int width, int height, int swsFlags,
                uint8_t* const dstPlanes[4], const int dstStrides[4]);

}  // namespace ocv::player
