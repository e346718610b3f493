#pragma once
// Digital zoom of a cell: the rectangle an operator drags over the picture. The UI thread
// arms and moves it; the decoding thread of the cell's player draws it in the overlay
// callback, so the shared state is atomics only.
#include <atomic>
#include <cstdint>

#include "player/qvx_player.h"

namespace ocv {

struct ZoomGeometry {
    int pictureWidth, pictureHeight;  // the decoded picture
    int windowWidth, windowHeight;    // the surface
    int marginX, marginY;             // empty border around the drawn picture
};

// The dragged rectangle (window points) in picture pixels: shifted by the margins, clipped to
// the drawn area, scaled to the picture. false when the drawn area has no width or height.
bool ZoomRectInPicture(int pressX, int pressY, int currentX, int currentY, const ZoomGeometry& g,
                       QVXPlayRect* out);

// A release makes a zoom region only when the drag spans more than 10 pixels both ways.
bool IsZoomDrag(int pressX, int pressY, int releaseX, int releaseY);

// Draws a dotted 4-pixel frame (red) into a packed 32-bit picture, clipped to it. rect is in
// context pixels.
void DrawZoomFrame(QVXPlayDrawContext* context, int left, int top, int right, int bottom);

class DigitalZoom {
public:
    static constexpr int kNoCell = -1;

    void Arm(int cell, int x, int y);
    void Move(int cell, int x, int y);  // a move from another cell disarms
    void Disarm() { armedCell_.store(kNoCell); }
    int ArmedCell() const { return armedCell_.load(); }
    void Press(int* x, int* y) const;
    // Decoding thread: remembers the geometry of the cell's latest picture and draws the
    // rectangle when that cell is armed.
    void Overlay(int cell, QVXPlayDrawContext* context, const ZoomGeometry& g);
    // The geometry of the cell's latest picture (all zero before the first).
    ZoomGeometry LastGeometry(int cell) const;

private:
    static int32_t Pack(int x, int y) { return static_cast<int32_t>((static_cast<uint32_t>(y) << 16) | (static_cast<uint32_t>(x) & 0xFFFF)); }
    static int UnpackX(int32_t v) { return static_cast<int16_t>(v & 0xFFFF); }
    static int UnpackY(int32_t v) { return static_cast<int16_t>(static_cast<uint32_t>(v) >> 16); }

    std::atomic<int> armedCell_{kNoCell};
    std::atomic<int32_t> press_{0};
    std::atomic<int32_t> current_{0};
    struct AtomicGeometry {
        std::atomic<int> pw{0}, ph{0}, ww{0}, wh{0}, mx{0}, my{0};
    };
    AtomicGeometry geometry_[36];
};

}  // namespace ocv
