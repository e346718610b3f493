#pragma once
// Motion-detection areas of a channel: up to 16 rectangles in the pixels of the picture the
// device's motion record describes, drawn by the operator on the preview, kept in the record
// and painted over the preview's pictures by the device library's draw callback.
#include <cstdint>
#include <mutex>
#include <vector>

#include "player/qvx_player.h"
#include "setup/config_records.h"

namespace ocv {

struct AreaRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    bool Empty() const { return right <= left || bottom <= top; }
    bool operator==(const AreaRect&) const = default;
};

constexpr int kMaxMotionAreas = 16;

// Adds an area drawn by the operator: false (nothing added) when 16 are there already, or when
// the area is empty.
bool AddMotionArea(std::vector<AreaRect>* areas, const AreaRect& area);

// The areas of a motion record: the non-empty rectangles from byte 12 on, in order.
std::vector<AreaRect> MotionAreasOf(const ConfigRecord& motion);
// Writes areas (at most 16) into the record, the unused places zeroed.
void SetMotionAreas(ConfigRecord* motion, const std::vector<AreaRect>& areas);

// The rectangle between two points of a drag (any two corners, in any order), clipped to the
// picture of width x height.
AreaRect AreaFromDrag(int x0, int y0, int x1, int y1, int width, int height);

// Outlines the areas on a finished picture. The areas are in a picture of areaWidth x
// areaHeight; the context is the drawn picture in window pixels. Any pixel format of the
// player; a context without planes is left alone.
void DrawAreaOutlines(QVXPlayDrawContext* context, const std::vector<AreaRect>& areas, int areaWidth,
                      int areaHeight);

// What the draw callback paints, shared between the page (UI thread) and the decoding thread.
class AreaOverlay {
public:
    // The areas and the rectangle being drawn now (empty when none), in a picture of
    // width x height.
    void Set(const std::vector<AreaRect>& areas, const AreaRect& drawing, int width, int height);
    void Clear();
    // The device library's draw callback; user is the overlay.
    static void Draw(int preview, QVXPlayDrawContext* context, int pictureWidth, int pictureHeight, intptr_t user);

private:
    std::mutex mutex_;
    std::vector<AreaRect> areas_;
    int width_ = 0, height_ = 0;
};

}  // namespace ocv
