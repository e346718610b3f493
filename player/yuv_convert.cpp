#include "player/yuv_convert.h"

#include <libyuv/convert.h>
#include <libyuv/convert_argb.h>
#include <libyuv/scale.h>

namespace ocv::player {

bool YuvConvertible(const AVFrame& source) {
    return (source.format == AV_PIX_FMT_YUV420P || source.format == AV_PIX_FMT_YUVJ420P) && source.data[0] &&
           source.data[1] && source.data[2];
}

namespace {

constexpr size_t kRowAlign = 32;

// The three planes of region scaled to width x height (chroma to half, rounded up).
int ScalePlanes(const uint8_t* const src[3], const int srcStrides[3], const PixelRect& region, int width,
                int height, uint8_t* const dst[3], const int dstStrides[3], YuvScratch* scratch,
                PlaneScaling scaling) {
    if (scaling == PlaneScaling::kLibyuv)
        return libyuv::I420Scale(src[0], srcStrides[0], src[1], srcStrides[1], src[2], srcStrides[2], region.width,
                                 region.height, dst[0], dstStrides[0], dst[1], dstStrides[1], dst[2], dstStrides[2],
                                 width, height, libyuv::kFilterBilinear) == 0
                   ? 0
                   : -1;
    if (scratch->luma.Scale(src[0], srcStrides[0], region.width, region.height, dst[0], dstStrides[0], width,
                            height) != 0)
        return -1;
    const int cw = (region.width + 1) / 2, ch = (region.height + 1) / 2;
    const int dcw = (width + 1) / 2, dch = (height + 1) / 2;
    for (int i = 1; i < 3; ++i)
        if (scratch->chroma.Scale(src[i], srcStrides[i], cw, ch, dst[i], dstStrides[i], dcw, dch) != 0) return -1;
    return 0;
}

}  // namespace

int ConvertYuv(const AVFrame& source, const PixelRect& region, PixelFormat format, int width, int height,
               uint8_t* const dstPlanes[3], const int dstStrides[3], YuvScratch* scratch, PlaneScaling scaling) {
    if (!YuvConvertible(source) || width <= 0 || height <= 0 || region.width <= 0 || region.height <= 0 ||
        region.x < 0 || region.y < 0 || region.x + region.width > source.width ||
        region.y + region.height > source.height)
        return -1;
    const bool fullRange = source.format == AV_PIX_FMT_YUVJ420P || source.color_range == AVCOL_RANGE_JPEG;
    // The region's top-left corner in each plane (chroma covers 2 x 2 pixels).
    const uint8_t* y = source.data[0] + static_cast<ptrdiff_t>(region.y) * source.linesize[0] + region.x;
    const uint8_t* u = source.data[1] + static_cast<ptrdiff_t>(region.y / 2) * source.linesize[1] + region.x / 2;
    const uint8_t* v = source.data[2] + static_cast<ptrdiff_t>(region.y / 2) * source.linesize[2] + region.x / 2;
    int strideY = source.linesize[0], strideU = source.linesize[1], strideV = source.linesize[2];
    const bool resizing = region.width != width || region.height != height;

    const uint8_t* srcPlanes[3] = {y, u, v};
    const int srcStrides[3] = {strideY, strideU, strideV};
    if (format == PixelFormat::kI420) {
        if (resizing)
            return ScalePlanes(srcPlanes, srcStrides, region, width, height, dstPlanes, dstStrides, scratch, scaling);
        return libyuv::I420Copy(y, strideY, u, strideU, v, strideV, dstPlanes[0], dstStrides[0], dstPlanes[1],
                                dstStrides[1], dstPlanes[2], dstStrides[2], width, height) == 0
                   ? 0
                   : -1;
    }
    if (resizing) {
        // Scaling the planes first converts only the pixels that are drawn.
        const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
        const int lumaStride = static_cast<int>((static_cast<size_t>(width) + kRowAlign - 1) / kRowAlign * kRowAlign);
        const int chromaStride =
            static_cast<int>((static_cast<size_t>(chromaWidth) + kRowAlign - 1) / kRowAlign * kRowAlign);
        const size_t lumaBytes = static_cast<size_t>(lumaStride) * height;
        const size_t chromaBytes = static_cast<size_t>(chromaStride) * chromaHeight;
        if (scratch->planes.size() < lumaBytes + 2 * chromaBytes) scratch->planes.resize(lumaBytes + 2 * chromaBytes);
        uint8_t* scaled[3] = {scratch->planes.data(), scratch->planes.data() + lumaBytes,
                              scratch->planes.data() + lumaBytes + chromaBytes};
        const int scaledStrides[3] = {lumaStride, chromaStride, chromaStride};
        if (ScalePlanes(srcPlanes, srcStrides, region, width, height, scaled, scaledStrides, scratch, scaling) != 0)
            return -1;
        y = scaled[0];
        u = scaled[1];
        v = scaled[2];
        strideY = lumaStride;
        strideU = strideV = chromaStride;
    }
    int rc = -1;
    switch (format) {
        case PixelFormat::kBgra32:  // libyuv's "ARGB" is B, G, R, A in memory
            rc = libyuv::I420ToARGBMatrix(y, strideY, u, strideU, v, strideV, dstPlanes[0], dstStrides[0],
                                          fullRange ? &libyuv::kYuvJPEGConstants : &libyuv::kYuvI601Constants,
                                          width, height);
            break;
        case PixelFormat::kRgba32:  // U and V swapped with the mirrored matrix: R, G, B, A
            rc = libyuv::I420ToARGBMatrix(y, strideY, v, strideV, u, strideU, dstPlanes[0], dstStrides[0],
                                          fullRange ? &libyuv::kYvuJPEGConstants : &libyuv::kYvuI601Constants,
                                          width, height);
            break;
        case PixelFormat::kRgb24:  // the same swap turns libyuv's B, G, R into R, G, B
            rc = libyuv::I420ToRGB24Matrix(y, strideY, v, strideV, u, strideU, dstPlanes[0], dstStrides[0],
                                           fullRange ? &libyuv::kYvuJPEGConstants : &libyuv::kYvuI601Constants,
                                           width, height);
            break;
        case PixelFormat::kI420:
        case PixelFormat::kDecodedYuv: break;  // handed over unconverted: never comes here
    }
    return rc == 0 ? 0 : -1;
}

}  // namespace ocv::player
