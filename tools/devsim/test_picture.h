#pragma once
// The simulator's picture: a moving pattern with the device/channel label and a running clock
// drawn in, as planar YUV 4:2:0 (what the encoder and the JPEG snapshot take).
#include <cstdint>
#include <string>
#include <vector>

namespace ocv::devsim {

struct I420Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> y, u, v;  // y: width*height, u and v: (width/2)*(height/2)
};

// Frame `index` of a loop at `fps`; the clock reads the time within the loop.
void DrawTestPicture(I420Picture* pic, int width, int height, const std::string& label, int index, int fps);
// A thermal sensor's picture: a cold blue scene with a warm figure walking through it.
void DrawThermalPicture(I420Picture* pic, int width, int height, const std::string& label, int index, int fps);

// Draws text with a 5x7 font scaled by `scale`, white on a dark box. Unknown characters show '?'.
void DrawText(I420Picture* pic, int x, int y, int scale, const std::string& text);

}  // namespace ocv::devsim
