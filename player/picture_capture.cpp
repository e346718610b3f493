#include "player/picture_capture.h"

#include <turbojpeg.h>

#include <cstring>
#include <vector>

#include "platform/file_util.h"
#include "player/display_geometry.h"
#include "player/picture_converter.h"
#include "player/qvx_player.h"

namespace ocv::player {
namespace {

void PutU16(std::string* s, size_t at, uint16_t v) {
    (*s)[at] = static_cast<char>(v & 0xFF);
    (*s)[at + 1] = static_cast<char>(v >> 8);
}
void PutU32(std::string* s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

std::string EncodeBmp24(const uint8_t* bgr, int stride, int width, int height) {
    constexpr size_t kHeaderBytes = 14 + 40;
    size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    size_t imageBytes = rowBytes * static_cast<size_t>(height);
    std::string file(kHeaderBytes + imageBytes, '\0');
    file[0] = 'B';
    file[1] = 'M';
    PutU32(&file, 2, static_cast<uint32_t>(file.size()));
    PutU32(&file, 10, kHeaderBytes);
    PutU32(&file, 14, 40);  // BITMAPINFOHEADER
    PutU32(&file, 18, static_cast<uint32_t>(width));
    PutU32(&file, 22, static_cast<uint32_t>(height));  // positive: bottom-up rows
    PutU16(&file, 26, 1);                              // planes
    PutU16(&file, 28, 24);                             // bits per pixel
    PutU32(&file, 30, 0);                              // no compression
    PutU32(&file, 34, static_cast<uint32_t>(imageBytes));
    PutU32(&file, 38, 2835);  // 72 dpi
    PutU32(&file, 42, 2835);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bgr + static_cast<size_t>(height - 1 - y) * stride;
        std::memcpy(&file[kHeaderBytes + rowBytes * y], row, static_cast<size_t>(width) * 3);
    }
    return file;
}

int EncodeJpeg(const uint8_t* rgb, int stride, int width, int height, int quality,
               std::string* out) {
    if (!rgb || !out || width <= 0 || height <= 0 || quality < 1 || quality > 100) return -1;
    tjhandle handle = tjInitCompress();
    if (!handle) return -1;
    unsigned char* jpeg = nullptr;
    unsigned long jpegBytes = 0;
    int subsampling = quality >= 90 ? TJSAMP_444 : TJSAMP_420;
    int rc = tjCompress2(handle, rgb, width, stride, height, TJPF_RGB, &jpeg, &jpegBytes,
                         subsampling, quality, TJFLAG_ACCURATEDCT);
    if (rc == 0) out->assign(reinterpret_cast<const char*>(jpeg), jpegBytes);
    tjFree(jpeg);
    tjDestroy(handle);
    return rc == 0 ? 0 : -1;
}

int WritePictureFile(const AVFrame& picture, const std::string& path, bool bitmap, int quality) {
    if (path.empty() || picture.width <= 0 || picture.height <= 0) return -1;
    if (!bitmap && (quality < 1 || quality > 100)) return -1;
    int width = picture.width;
    int height = picture.height;
    int stride = (width * 3 + 63) & ~63;
    std::vector<uint8_t> pixels(static_cast<size_t>(stride) * height + 64);
    uint8_t* planes[4] = {pixels.data(), nullptr, nullptr, nullptr};
    int strides[4] = {stride, 0, 0, 0};
    SwsContext* scaler = nullptr;
    int rc = ScaleRegion(&scaler, picture, PixelRect{0, 0, width, height},
                         bitmap ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_RGB24, width, height,
                         SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, planes, strides);
    sws_freeContext(scaler);
    if (rc != 0) return -1;
    std::string file;
    if (bitmap) {
        file = EncodeBmp24(pixels.data(), stride, width, height);
    } else if (EncodeJpeg(pixels.data(), stride, width, height, quality, &file) != 0) {
        return -1;
    }
    return ReplaceFileAtomically(path, file);
}

}  // namespace ocv::player
