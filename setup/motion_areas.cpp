#include "setup/motion_areas.h"

#include <algorithm>

namespace ocv {
namespace {

constexpr uint32_t kAreaBytes = 16;

// The outline colour: a strong yellow in every pixel format.
constexpr uint8_t kRed = 255, kGreen = 220, kBlue = 0;
constexpr uint8_t kLuma = 200, kCb = 20, kCr = 150;

void PutPixel(QVXPlayDrawContext* c, int x, int y) {
    if (x < 0 || y < 0 || x >= c->width || y >= c->height) return;
    switch (c->pixelFormat) {
    case QVXPLAY_PIXEL_BGRA32: {
        uint8_t* p = c->planes[0] + size_t(y) * size_t(c->strides[0]) + size_t(x) * 4;
        p[0] = kBlue, p[1] = kGreen, p[2] = kRed, p[3] = 255;
        break;
    }
    case QVXPLAY_PIXEL_RGBA32: {
        uint8_t* p = c->planes[0] + size_t(y) * size_t(c->strides[0]) + size_t(x) * 4;
        p[0] = kRed, p[1] = kGreen, p[2] = kBlue, p[3] = 255;
        break;
    }
    case QVXPLAY_PIXEL_RGB24: {
        uint8_t* p = c->planes[0] + size_t(y) * size_t(c->strides[0]) + size_t(x) * 3;
        p[0] = kRed, p[1] = kGreen, p[2] = kBlue;
        break;
    }
    case QVXPLAY_PIXEL_I420: {
        c->planes[0][size_t(y) * size_t(c->strides[0]) + size_t(x)] = kLuma;
        if (c->planes[1] && c->planes[2]) {
            c->planes[1][size_t(y / 2) * size_t(c->strides[1]) + size_t(x / 2)] = kCb;
            c->planes[2][size_t(y / 2) * size_t(c->strides[2]) + size_t(x / 2)] = kCr;
        }
        break;
    }
    default: break;
    }
}

}  // namespace

bool AddMotionArea(std::vector<AreaRect>* areas, const AreaRect& area) {
    if (area.Empty() || areas->size() >= size_t(kMaxMotionAreas)) return false;
    areas->push_back(area);
    return true;
}

std::vector<AreaRect> MotionAreasOf(const ConfigRecord& motion) {
    std::vector<AreaRect> areas;
    for (int i = 0; i < kMaxMotionAreas; ++i) {
        uint32_t at = cfg::kMotionAreas + uint32_t(i) * kAreaBytes;
        AreaRect r{int32_t(motion.Word(at)), int32_t(motion.Word(at + 4)), int32_t(motion.Word(at + 8)),
                   int32_t(motion.Word(at + 12))};
        if (!r.Empty()) areas.push_back(r);
    }
    return areas;
}

void SetMotionAreas(ConfigRecord* motion, const std::vector<AreaRect>& areas) {
    for (int i = 0; i < kMaxMotionAreas; ++i) {
        AreaRect r = i < int(areas.size()) ? areas[size_t(i)] : AreaRect{};
        uint32_t at = cfg::kMotionAreas + uint32_t(i) * kAreaBytes;
        motion->SetWord(at, uint32_t(r.left));
        motion->SetWord(at + 4, uint32_t(r.top));
        motion->SetWord(at + 8, uint32_t(r.right));
        motion->SetWord(at + 12, uint32_t(r.bottom));
    }
}

AreaRect AreaFromDrag(int x0, int y0, int x1, int y1, int width, int height) {
    AreaRect r{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
    r.left = std::clamp(r.left, 0, std::max(width, 0));
    r.right = std::clamp(r.right, 0, std::max(width, 0));
    r.top = std::clamp(r.top, 0, std::max(height, 0));
    r.bottom = std::clamp(r.bottom, 0, std::max(height, 0));
    return r;
}

void DrawAreaOutlines(QVXPlayDrawContext* c, const std::vector<AreaRect>& areas, int areaWidth, int areaHeight) {
    if (!c || !c->planes[0] || c->width <= 0 || c->height <= 0 || areaWidth <= 0 || areaHeight <= 0) return;
    for (const AreaRect& a : areas) {
        if (a.Empty()) continue;
        // Areas come from the device: scaled in 64 bits and kept to the picture (an area
        // reaching beyond it is outlined along its edge).
        auto scale = [](int32_t v, int drawn, int whole, int64_t shift) {
            return int(std::clamp<int64_t>(int64_t(v) * drawn / whole + shift, 0, drawn - 1));
        };
        int left = scale(a.left, c->width, areaWidth, 0);
        int top = scale(a.top, c->height, areaHeight, 0);
        int right = scale(a.right, c->width, areaWidth, -1);
        int bottom = scale(a.bottom, c->height, areaHeight, -1);
        if (right < left || bottom < top) continue;
        for (int x = left; x <= right; ++x) {
            PutPixel(c, x, top);
            PutPixel(c, x, bottom);
        }
        for (int y = top; y <= bottom; ++y) {
            PutPixel(c, left, y);
            PutPixel(c, right, y);
        }
    }
}

void AreaOverlay::Set(const std::vector<AreaRect>& areas, const AreaRect& drawing, int width, int height) {
    std::lock_guard<std::mutex> lock(mutex_);
    areas_ = areas;
    if (!drawing.Empty()) areas_.push_back(drawing);
    width_ = width;
    height_ = height;
}

void AreaOverlay::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    areas_.clear();
}

void AreaOverlay::Draw(int, QVXPlayDrawContext* context, int, int, intptr_t user) {
    auto* self = reinterpret_cast<AreaOverlay*>(user);
    std::lock_guard<std::mutex> lock(self->mutex_);
    DrawAreaOutlines(context, self->areas_, self->width_, self->height_);
}

}  // namespace ocv
