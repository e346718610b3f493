#pragma once
// Picture files of a decoded picture at its full size: JPEG (libjpeg-turbo) or a 24-bit
// BMP. Files are replaced through a temporary file, so a failed capture leaves no file.
#include <cstdint>
#include <string>

extern "C" {
#include <libavutil/frame.h>
}

namespace ocv::player {

// 24-bit BMP (bottom-up rows, each padded to 4 bytes) of top-down BGR rows.
std::string EncodeBmp24(const uint8_t* bgr, int stride, int width, int height);

// Baseline JPEG of top-down RGB rows; quality 1..100 (4:4:4 from 90 up, else 4:2:0).
// 0, or -1.
int EncodeJpeg(const uint8_t* rgb, int stride, int width, int height, int quality,
               std::string* out);

// Converts the picture and writes it to path. 0, or -1 (bad arguments, conversion or
// write failure; no file is left behind then).
int WritePictureFile(const AVFrame& picture, const std::string& path, bool bitmap, int quality);

}  // namespace ocv::player
