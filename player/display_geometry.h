#pragma once
// Where a picture (or its zoomed region) lands in a surface.
#include <cstdint>

namespace ocv::player {

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const PixelRect&) const = default;
};

struct DisplayLayout {
    PixelRect source;       // the part of the picture that is drawn
    PixelRect destination;  // where it goes in the surface
    int marginX = 0;        // destination.x; the drawn width is surfaceWidth - 2 * marginX
    int marginY = 0;
};

struct DisplayRequest {
    int pictureWidth = 0, pictureHeight = 0;
    int aspectNum = 1, aspectDen = 1;  // pixel shape from the stream; 0/x means square
    bool hasRegion = false;            // digital zoom
    int32_t regionLeft = 0, regionTop = 0, regionRight = 0, regionBottom = 0;
    int surfaceWidth = 0, surfaceHeight = 0;
    bool keepProportions = false;      // display mode 1
};

// The region clipped to the picture, with an even left and top and at least 2 x 2 pixels
// (the chroma of 4:2:0 pictures covers 2 x 2 pixels). An empty region, or one outside the
// picture, gives the whole picture.
PixelRect ClipRegion(const DisplayRequest& request);

// 0, or -1 when there is nothing to draw (a picture or surface without pixels).
// Keeping proportions centres the drawn area with equal margins on both sides, so that
// surfaceWidth - 2 * marginX is exactly the drawn width. A zoom region that lies (partly)
// in the picture is stretched over the whole surface in either mode.
int ComputeDisplayLayout(const DisplayRequest& request, DisplayLayout* out);

}  // namespace ocv::player
