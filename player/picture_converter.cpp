#include "player/picture_converter.h"

#include <algorithm>

#include "player/qvx_player.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace ocv::player {
namespace {

constexpr size_t kAlign = 64;
constexpr size_t kMaxFreePictures = 4;

int AlignUp(int value) { return static_cast<int>((static_cast<size_t>(value) + kAlign - 1) & ~(kAlign - 1)); }

void LayOut(VideoPicture* picture, PixelFormat format, int width, int height) {
    int strides[3] = {0, 0, 0};
    int rows[3] = {0, 0, 0};
    switch (format) {
        case PixelFormat::kBgra32:
        case PixelFormat::kRgba32: strides[0] = AlignUp(width * 4); rows[0] = height; break;
        case PixelFormat::kRgb24: strides[0] = AlignUp(width * 3); rows[0] = height; break;
        case PixelFormat::kDecodedYuv:  // never laid out: its planes are the decoder's
        case PixelFormat::kI420:
            strides[0] = AlignUp(width);
            strides[1] = strides[2] = AlignUp((width + 1) / 2);
            rows[0] = height;
            rows[1] = rows[2] = (height + 1) / 2;
            break;
    }
    size_t total = kAlign;
    for (int i = 0; i < 3; ++i) total += static_cast<size_t>(strides[i]) * rows[i];
    if (picture->storage.size() < total) picture->storage.resize(total);
    uintptr_t base = reinterpret_cast<uintptr_t>(picture->storage.data());
    uint8_t* p = picture->storage.data() + ((kAlign - (base & (kAlign - 1))) & (kAlign - 1));
    for (int i = 0; i < 3; ++i) {
        picture->planes[i] = strides[i] ? p : nullptr;
        picture->strides[i] = strides[i];
        p += static_cast<size_t>(strides[i]) * rows[i];
    }
    picture->format = format;
    picture->width = width;
    picture->height = height;
}

// The decoders' full-range formats are deprecated in libswscale: use the plain format
// and say the range instead.
AVPixelFormat PlainFormat(AVPixelFormat format, bool* fullRange) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P: *fullRange = true; return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: *fullRange = true; return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: *fullRange = true; return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P: *fullRange = true; return AV_PIX_FMT_YUV440P;
        default: return format;
    }
}

}  // namespace

PicturePool::PicturePool() : state_(std::make_shared<State>()) {}

std::shared_ptr<VideoPicture> PicturePool::Acquire(PixelFormat format, int width, int height) {
    std::unique_ptr<VideoPicture> picture;
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->free.empty()) {
            picture = std::move(state_->free.back());
            state_->free.pop_back();
        }
    }
    if (!picture) picture = std::make_unique<VideoPicture>();
    LayOut(picture.get(), format, width, height);
    std::weak_ptr<State> pool = state_;
    return std::shared_ptr<VideoPicture>(picture.release(), [pool](VideoPicture* p) {
        std::unique_ptr<VideoPicture> owned(p);
        if (auto state = pool.lock()) {
            std::lock_guard lock(state->mutex);
            if (state->free.size() < kMaxFreePictures) state->free.push_back(std::move(owned));
        }
    });
}

AVPixelFormat ToAvPixelFormat(PixelFormat format) {
    switch (format) {
        case PixelFormat::kBgra32: return AV_PIX_FMT_BGRA;
        case PixelFormat::kRgba32: return AV_PIX_FMT_RGBA;
        case PixelFormat::kRgb24: return AV_PIX_FMT_RGB24;
        case PixelFormat::kI420:
        case PixelFormat::kDecodedYuv: return AV_PIX_FMT_YUV420P;
    }
    return AV_PIX_FMT_NONE;
}

int ScaleRegion(SwsContext** scaler, const AVFrame& source, const PixelRect& region,
                AVPixelFormat dstFormat, int width, int height, int swsFlags,
                uint8_t* const dstPlanes[4], const int dstStrides[4]) {
    auto srcFormat = static_cast<AVPixelFormat>(source.format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(srcFormat);
    if (!desc || width <= 0 || height <= 0 || region.width <= 0 || region.height <= 0 ||
        region.x < 0 || region.y < 0 || region.x + region.width > source.width ||
        region.y + region.height > source.height)
        return -1;
    bool fullRange = source.color_range == AVCOL_RANGE_JPEG;
    AVPixelFormat plain = PlainFormat(srcFormat, &fullRange);

    // Point the source planes at the region's top-left corner.
    const uint8_t* planes[4] = {nullptr, nullptr, nullptr, nullptr};
    int strides[4] = {0, 0, 0, 0};
    bool cropping = region.x != 0 || region.y != 0;
    if (cropping && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR)) return -1;
    for (int i = 0; i < 4 && source.data[i]; ++i) {
        bool chroma = (i == 1 || i == 2) && desc->nb_components >= 3;
        int x = chroma ? region.x >> desc->log2_chroma_w : region.x;
        int y = chroma ? region.y >> desc->log2_chroma_h : region.y;
        int step = 0;
        for (int c = 0; c < desc->nb_components; ++c)
            if (desc->comp[c].plane == i) step = std::max(step, desc->comp[c].step);
        planes[i] = source.data[i] + static_cast<ptrdiff_t>(y) * source.linesize[i] +
                    static_cast<ptrdiff_t>(x) * step;
        strides[i] = source.linesize[i];
    }
    *scaler = sws_getCachedContext(*scaler, region.width, region.height, plain, width, height,
                                   dstFormat, swsFlags, nullptr, nullptr, nullptr);
    if (!*scaler) return -1;
    if (fullRange) {
        int* invTable;
        int* table;
        int srcRange, dstRange, brightness, contrast, saturation;
        if (sws_getColorspaceDetails(*scaler, &invTable, &srcRange, &table, &dstRange,
                                     &brightness, &contrast, &saturation) >= 0 &&
            srcRange != 1) {
            sws_setColorspaceDetails(*scaler, invTable, 1, table, dstRange, brightness,
                                     contrast, saturation);
        }
    }
    int rows = sws_scale(*scaler, planes, strides, 0, region.height, dstPlanes, dstStrides);
    return rows > 0 ? 0 : -1;
}

PictureConverter::~PictureConverter() { sws_freeContext(scaler_); }

std::shared_ptr<VideoPicture> PictureConverter::HandOver(const AVFrame& source, const DisplayLayout& layout) {
    const PixelRect& region = layout.source;
    const PixelRect& dst = layout.destination;
    // ClipRegion keeps the region's corner even, so the chroma planes start at a whole sample.
    if (region.width <= 0 || region.height <= 0 || region.x < 0 || region.y < 0 || (region.x | region.y) & 1 ||
        region.x + region.width > source.width || region.y + region.height > source.height)
        return nullptr;
    AVFrame* ref = av_frame_alloc();
    if (ref == nullptr) return nullptr;
    if (av_frame_ref(ref, &source) < 0) {
        av_frame_free(&ref);
        return nullptr;
    }
    auto picture = std::make_shared<VideoPicture>();
    picture->decodedFrame = std::shared_ptr<const void>(ref, [](const void* frame) {
        AVFrame* owned = static_cast<AVFrame*>(const_cast<void*>(frame));
        av_frame_free(&owned);
    });
    for (int i = 0; i < 3; ++i) {
        int shift = i == 0 ? 0 : 1;
        picture->planes[i] = ref->data[i] + static_cast<ptrdiff_t>(region.y >> shift) * ref->linesize[i] +
                             (region.x >> shift);
        picture->strides[i] = ref->linesize[i];
    }
    picture->format = PixelFormat::kDecodedYuv;
    picture->width = dst.width;
    picture->height = dst.height;
    picture->planeWidth = region.width;
    picture->planeHeight = region.height;
    picture->fullRange = source.format == AV_PIX_FMT_YUVJ420P || source.color_range == AVCOL_RANGE_JPEG;
    picture->bt709 = source.colorspace == AVCOL_SPC_BT709;
    return picture;
}

std::shared_ptr<VideoPicture> PictureConverter::Convert(const AVFrame& source,
                                                        const DisplayLayout& layout,
                                                        PixelFormat format, int method) {
    const PixelRect& dst = layout.destination;
    if (dst.width <= 0 || dst.height <= 0) return nullptr;
    if (format == PixelFormat::kDecodedYuv) {
        if (!YuvConvertible(source)) {
            format = PixelFormat::kBgra32;
        } else {
            std::shared_ptr<VideoPicture> picture = HandOver(source, layout);
            if (!picture) return nullptr;
            picture->x = dst.x;
            picture->y = dst.y;
            picture->sourceWidth = source.width;
            picture->sourceHeight = source.height;
            return picture;
        }
    }
    std::shared_ptr<VideoPicture> picture = pool_.Acquire(format, dst.width, dst.height);
    uint8_t* planes[4] = {picture->planes[0], picture->planes[1], picture->planes[2], nullptr};
    int strides[4] = {picture->strides[0], picture->strides[1], picture->strides[2], 0};
    int rc;
    if (method != QVXPLAY_DRAW_SMOOTH && fast_ != FastConverter::kSwscale && YuvConvertible(source)) {
        rc = ConvertYuv(source, layout.source, format, dst.width, dst.height, planes, strides, &scratch_,
                        fast_ == FastConverter::kLibyuv ? PlaneScaling::kLibyuv : PlaneScaling::kPlaneScaler);
    } else {
        int flags = method == QVXPLAY_DRAW_SMOOTH ? SWS_BICUBIC : SWS_FAST_BILINEAR;
        rc = ScaleRegion(&scaler_, source, layout.source, ToAvPixelFormat(format), dst.width, dst.height, flags,
                         planes, strides);
    }
    if (rc != 0) return nullptr;
    picture->x = dst.x;
    picture->y = dst.y;
    picture->sourceWidth = source.width;
    picture->sourceHeight = source.height;
    return picture;
}

}  // namespace ocv::player
