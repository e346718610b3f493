#include "player/display_geometry.h"

#include <algorithm>

namespace ocv::player {

PixelRect ClipRegion(const DisplayRequest& r) {
    PixelRect whole{0, 0, r.pictureWidth, r.pictureHeight};
    if (!r.hasRegion) return whole;
    int64_t left = std::max<int64_t>(r.regionLeft, 0);
    int64_t top = std::max<int64_t>(r.regionTop, 0);
    int64_t right = std::min<int64_t>(r.regionRight, r.pictureWidth);
    int64_t bottom = std::min<int64_t>(r.regionBottom, r.pictureHeight);
    if (right <= left || bottom <= top) return whole;
    left &= ~int64_t{1};
    top &= ~int64_t{1};
    int64_t width = std::max<int64_t>(right - left, 2);
    int64_t height = std::max<int64_t>(bottom - top, 2);
    width = std::min<int64_t>(width, r.pictureWidth - left);
    height = std::min<int64_t>(height, r.pictureHeight - top);
    return PixelRect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                     static_cast<int>(height)};
}

int ComputeDisplayLayout(const DisplayRequest& r, DisplayLayout* out) {
    if (!out || r.pictureWidth <= 0 || r.pictureHeight <= 0 || r.surfaceWidth <= 0 ||
        r.surfaceHeight <= 0)
        return -1;
    DisplayLayout layout;
    layout.source = ClipRegion(r);
    bool zoomed = layout.source != PixelRect{0, 0, r.pictureWidth, r.pictureHeight};
    if (!r.keepProportions || zoomed) {
        layout.destination = PixelRect{0, 0, r.surfaceWidth, r.surfaceHeight};
        *out = layout;
        return 0;
    }
    int64_t aspectNum = r.aspectNum > 0 && r.aspectDen > 0 ? r.aspectNum : 1;
    int64_t aspectDen = r.aspectNum > 0 && r.aspectDen > 0 ? r.aspectDen : 1;
    // Shown shape = (source width * aspectNum) : (source height * aspectDen).
    int64_t shapeW = int64_t{layout.source.width} * aspectNum;
    int64_t shapeH = int64_t{layout.source.height} * aspectDen;
    int64_t drawnW = r.surfaceWidth;
    int64_t drawnH = (drawnW * shapeH + shapeW / 2) / shapeW;
    if (drawnH > r.surfaceHeight) {
        drawnH = r.surfaceHeight;
        drawnW = (drawnH * shapeW + shapeH / 2) / shapeH;
    }
    drawnW = std::clamp<int64_t>(drawnW, 1, r.surfaceWidth);
    drawnH = std::clamp<int64_t>(drawnH, 1, r.surfaceHeight);
    layout.marginX = static_cast<int>((r.surfaceWidth - drawnW) / 2);
    layout.marginY = static_cast<int>((r.surfaceHeight - drawnH) / 2);
    layout.destination = PixelRect{layout.marginX, layout.marginY,
                                   r.surfaceWidth - 2 * layout.marginX,
                                   r.surfaceHeight - 2 * layout.marginY};
    *out = layout;
    return 0;
}

}  // namespace ocv::player
