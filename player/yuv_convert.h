#pragma once
// The fast drawing path: an 8-bit 4:2:0 picture (what H.264 and H.265 cameras send) scaled
// bilinearly as YUV planes, then turned into the surface's pixel format at the drawn size with
// libyuv's wide SIMD rows. The planes are scaled by PlaneScaler, or by libyuv's own scaler,
// whose column filter is slow at the sizes the grid has (bench/player measures both against
// libswscale). libswscale stays for other source formats, smooth (bicubic) drawing and
// captures.
//
// Colours as libswscale draws them: BT.601, limited range unless the picture says full range
// (the "J" formats or a JPEG colour range).
#include <cstdint>
#include <vector>

#include "player/av_ptr.h"
#include "player/display_geometry.h"
#include "player/plane_scaler.h"
#include "player/video_surface.h"

namespace ocv::player {

// Whether the fast path takes pictures of this format.
bool YuvConvertible(const AVFrame& source);

enum class PlaneScaling { kPlaneScaler, kLibyuv };

// The scaled planes between the steps and the scalers' tables (one for luma, one for the
// chroma planes, whose sizes differ), kept from picture to picture.
struct YuvScratch {
    std::vector<uint8_t> planes;
    PlaneScaler luma, chroma;
};

// Scales region of source to width x height in format, into dst planes. 0, or -1 when the
// source or the sizes are unusable.
int ConvertYuv(const AVFrame& source, const PixelRect& region, PixelFormat format, int width, int height,
               uint8_t* const dstPlanes[3], const int dstStrides[3], YuvScratch* scratch,
               PlaneScaling scaling = PlaneScaling::kPlaneScaler);

}  // namespace ocv::player
