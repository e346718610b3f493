#include "videogrid/digital_zoom.h"

#include <algorithm>
#include <cstdlib>

namespace ocv {

bool ZoomRectInPicture(int pressX, int pressY, int currentX, int currentY, const ZoomGeometry& g,
                       QVXPlayRect* out) {
    int drawnWidth = g.windowWidth - 2 * g.marginX;
    int drawnHeight = g.windowHeight - 2 * g.marginY;
    if (drawnWidth <= 0 || drawnHeight <= 0 || g.pictureWidth <= 0 || g.pictureHeight <= 0) return false;
    int left = std::min(pressX, currentX) - g.marginX;
    int right = std::max(pressX, currentX) - g.marginX;
    int top = std::min(pressY, currentY) - g.marginY;
    int bottom = std::max(pressY, currentY) - g.marginY;
    left = std::clamp(left, 0, drawnWidth);
    right = std::clamp(right, 0, drawnWidth);
    top = std::clamp(top, 0, drawnHeight);
    bottom = std::clamp(bottom, 0, drawnHeight);
    // 64-bit products: a 4K picture times a wide window overflows 32 bits.
    auto sx = [&](int x) { return static_cast<int32_t>(int64_t{x} * g.pictureWidth / drawnWidth); };
    auto sy = [&](int y) { return static_cast<int32_t>(int64_t{y} * g.pictureHeight / drawnHeight); };
    *out = QVXPlayRect{sx(left), sy(top), sx(right), sy(bottom)};
    return true;
}

bool IsZoomDrag(int pressX, int pressY, int releaseX, int releaseY) {
    return std::abs(releaseX - pressX) > 10 && std::abs(releaseY - pressY) > 10;
}

void DrawZoomFrame(QVXPlayDrawContext* context, int left, int top, int right, int bottom) {
    if (!context || !context->planes[0]) return;
    // Packed 32-bit formats only; the grid draws BGRA.
    if (context->pixelFormat != QVXPLAY_PIXEL_BGRA32 && context->pixelFormat != QVXPLAY_PIXEL_RGBA32) return;
    const int w = context->width, h = context->height;
    const uint32_t red = context->pixelFormat == QVXPLAY_PIXEL_BGRA32 ? 0xFFFF0000u : 0xFF0000FFu;
    constexpr int kPen = 4, kDash = 8;
    auto plot = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        auto* row = reinterpret_cast<uint32_t*>(context->planes[0] + static_cast<ptrdiff_t>(y) * context->strides[0]);
        row[x] = red;
    };
    for (int x = left; x <= right; ++x) {
        if (((x - left) / kDash) % 2) continue;
        for (int p = 0; p < kPen; ++p) {
            plot(x, top + p);
            plot(x, bottom - p);
        }
    }
    for (int y = top; y <= bottom; ++y) {
        if (((y - top) / kDash) % 2) continue;
        for (int p = 0; p < kPen; ++p) {
            plot(left + p, y);
            plot(right - p, y);
        }
    }
}

void DigitalZoom::Arm(int cell, int x, int y) {
    press_.store(Pack(x, y));
    current_.store(Pack(x, y));
    armedCell_.store(cell);
}

void DigitalZoom::Move(int cell, int x, int y) {
    if (armedCell_.load() == kNoCell) return;
    if (cell != armedCell_.load()) {
        Disarm();
        return;
    }
    current_.store(Pack(x, y));
}

void DigitalZoom::Press(int* x, int* y) const {
    int32_t v = press_.load();
    *x = UnpackX(v);
    *y = UnpackY(v);
}

void DigitalZoom::Overlay(int cell, QVXPlayDrawContext* context, const ZoomGeometry& g) {
    if (cell < 0 || cell >= 36) return;
    AtomicGeometry& a = geometry_[cell];
    a.pw = g.pictureWidth;
    a.ph = g.pictureHeight;
    a.ww = g.windowWidth;
    a.wh = g.windowHeight;
    a.mx = g.marginX;
    a.my = g.marginY;
    if (armedCell_.load() != cell) return;
    int32_t p = press_.load(), c = current_.load();
    QVXPlayRect r{};
    if (!ZoomRectInPicture(UnpackX(p), UnpackY(p), UnpackX(c), UnpackY(c), g, &r)) return;
    // Picture pixels to the drawn area, as the overlay's coordinate rule says.
    auto cx = [&](int x) { return static_cast<int>(int64_t{x} * context->width / g.pictureWidth); };
    auto cy = [&](int y) { return static_cast<int>(int64_t{y} * context->height / g.pictureHeight); };
    DrawZoomFrame(context, cx(r.left), cy(r.top), cx(r.right) - 1, cy(r.bottom) - 1);
}

ZoomGeometry DigitalZoom::LastGeometry(int cell) const {
    if (cell < 0 || cell >= 36) return {};
    const AtomicGeometry& a = geometry_[cell];
    return ZoomGeometry{a.pw.load(), a.ph.load(), a.ww.load(), a.wh.load(), a.mx.load(), a.my.load()};
}

}  // namespace ocv
