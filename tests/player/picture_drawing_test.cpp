// The fast drawing path against libswscale's: the same colours, the same byte order for every
// surface format, sizes up and down, zoom regions, both colour ranges; and the plane scaler's
// SIMD column pass against its plain one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "player/av_ptr.h"
#include "player/picture_converter.h"
#include "player/plane_scaler.h"
#include "player/qvx_player.h"

namespace ocv::player {
namespace {

// A 4:2:0 picture with smooth gradients in every plane and a few hard edges, like a camera's.
// Without edges for shrinking by more than half, where the filters legitimately differ at hard
// edges (libswscale's fast bilinear skips pixels that the others average).
AvFramePtr TestPicture(int width, int height, bool edges = true, AVPixelFormat format = AV_PIX_FMT_YUV420P) {
    AvFramePtr frame(av_frame_alloc());
    frame->width = width;
    frame->height = height;
    frame->format = format;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int v = 16 + (x * 219) / std::max(1, width - 1);
            if (edges && (x / 37 + y / 29) % 5 == 0) v = 235 - (y * 100) / std::max(1, height);
            frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(v);
        }
    for (int y = 0; y < (height + 1) / 2; ++y)
        for (int x = 0; x < (width + 1) / 2; ++x) {
            frame->data[1][y * frame->linesize[1] + x] = static_cast<uint8_t>(64 + (y * 128) / std::max(1, height / 2));
            frame->data[2][y * frame->linesize[2] + x] = static_cast<uint8_t>(200 - (x * 128) / std::max(1, width / 2));
        }
    return frame;
}

AvFramePtr FlatPicture(int width, int height, uint8_t y, uint8_t u, uint8_t v, AVPixelFormat format) {
    AvFramePtr frame(av_frame_alloc());
    frame->width = width;
    frame->height = height;
    frame->format = format;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
    for (int row = 0; row < height; ++row) memset(frame->data[0] + row * frame->linesize[0], y, width);
    for (int row = 0; row < (height + 1) / 2; ++row) {
        memset(frame->data[1] + row * frame->linesize[1], u, (width + 1) / 2);
        memset(frame->data[2] + row * frame->linesize[2], v, (width + 1) / 2);
    }
    return frame;
}

DisplayLayout Layout(int pw, int ph, int sw, int sh, const QVXPlayRect* region = nullptr) {
    DisplayRequest request;
    request.pictureWidth = pw;
    request.pictureHeight = ph;
    request.surfaceWidth = sw;
    request.surfaceHeight = sh;
    if (region) {
        request.hasRegion = true;
        request.regionLeft = region->left;
        request.regionTop = region->top;
        request.regionRight = region->right;
        request.regionBottom = region->bottom;
    }
    DisplayLayout layout;
    EXPECT_EQ(ComputeDisplayLayout(request, &layout), 0);
    return layout;
}

int BytesPerPixel(PixelFormat f) { return f == PixelFormat::kRgb24 ? 3 : 4; }

struct Difference {
    double mean = 0;
    int p99 = 0;
};

// Per-byte difference of the drawn pixels (and all three planes for I420).
Difference Compare(const VideoPicture& a, const VideoPicture& b) {
    std::vector<int> diffs;
    int planes = a.format == PixelFormat::kI420 ? 3 : 1;
    for (int p = 0; p < planes; ++p) {
        int w = p == 0 ? a.width : (a.width + 1) / 2;
        int h = p == 0 ? a.height : (a.height + 1) / 2;
        int bytes = a.format == PixelFormat::kI420 ? w : w * BytesPerPixel(a.format);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < bytes; ++x)
                diffs.push_back(std::abs(a.planes[p][y * a.strides[p] + x] - b.planes[p][y * b.strides[p] + x]));
    }
    Difference d;
    for (int v : diffs) d.mean += v;
    d.mean /= static_cast<double>(diffs.size());
    std::sort(diffs.begin(), diffs.end());
    d.p99 = diffs[diffs.size() * 99 / 100];
    return d;
}

// The player's drawing and libyuv's alone look like libswscale's fast bilinear: the same colour
// matrix and byte order, scaling that differs only in rounding and filter taps.
TEST(PictureDrawing, FastConvertersDrawLikeLibswscale) {
    struct Case {
        int pw, ph, sw, sh;
        bool region;
    } cases[] = {{352, 288, 320, 240, false}, {1280, 720, 320, 180, false}, {640, 480, 320, 240, false},
                 {352, 288, 704, 576, false}, {176, 144, 176, 144, false}, {352, 288, 301, 227, false},
                 {640, 480, 320, 240, true}};
    PixelFormat formats[] = {PixelFormat::kBgra32, PixelFormat::kRgba32, PixelFormat::kRgb24, PixelFormat::kI420};
    for (const Case& c : cases) {
        AvFramePtr picture = TestPicture(c.pw, c.ph, c.sw * 2 > c.pw);
        ASSERT_TRUE(picture);
        QVXPlayRect zoom{c.pw / 4, c.ph / 4, c.pw / 2 + 11, c.ph / 2 + 7};
        DisplayLayout layout = Layout(c.pw, c.ph, c.sw, c.sh, c.region ? &zoom : nullptr);
        for (PixelFormat format : formats) {
            PictureConverter swscale(FastConverter::kSwscale);
            auto reference = swscale.Convert(*picture, layout, format, QVXPLAY_DRAW_FAST);
            ASSERT_TRUE(reference);
            for (FastConverter fast : {FastConverter::kPlaneScaler, FastConverter::kLibyuv}) {
                PictureConverter converter(fast);
                auto drawn = converter.Convert(*picture, layout, format, QVXPLAY_DRAW_FAST);
                ASSERT_TRUE(drawn);
                ASSERT_EQ(drawn->width, reference->width);
                ASSERT_EQ(drawn->height, reference->height);
                Difference d = Compare(*drawn, *reference);
                SCOPED_TRACE(testing::Message() << c.pw << "x" << c.ph << " -> " << c.sw << "x" << c.sh
                                                << (c.region ? " zoomed" : "") << " format "
                                                << static_cast<int>(format) << " converter "
                                                << static_cast<int>(fast));
                EXPECT_LT(d.mean, 3.0);
                EXPECT_LE(d.p99, 32);
            }
        }
    }
}

// Colours and byte order: black, white and a saturated red in both ranges, in every format.
TEST(PictureDrawing, RangesAndByteOrderMatchTheFormats) {
    struct Colour {
        uint8_t y, u, v;
        AVPixelFormat format;
        int r, g, b;
    } colours[] = {
        {16, 128, 128, AV_PIX_FMT_YUV420P, 0, 0, 0},      {235, 128, 128, AV_PIX_FMT_YUV420P, 255, 255, 255},
        {0, 128, 128, AV_PIX_FMT_YUVJ420P, 0, 0, 0},      {255, 128, 128, AV_PIX_FMT_YUVJ420P, 255, 255, 255},
        {81, 90, 240, AV_PIX_FMT_YUV420P, 255, 0, 0},     {76, 85, 255, AV_PIX_FMT_YUVJ420P, 255, 0, 0},
    };
    for (const Colour& c : colours) {
        AvFramePtr picture = FlatPicture(64, 48, c.y, c.u, c.v, c.format);
        ASSERT_TRUE(picture);
        DisplayLayout layout = Layout(64, 48, 40, 30);
        for (FastConverter fast : {FastConverter::kPlaneScaler, FastConverter::kLibyuv, FastConverter::kSwscale}) {
            PictureConverter converter(fast);
            SCOPED_TRACE(testing::Message() << "Y " << int(c.y) << " U " << int(c.u) << " V " << int(c.v)
                                            << " converter " << static_cast<int>(fast));
            auto bgra = converter.Convert(*picture, layout, PixelFormat::kBgra32, QVXPLAY_DRAW_FAST);
            auto rgba = converter.Convert(*picture, layout, PixelFormat::kRgba32, QVXPLAY_DRAW_FAST);
            auto rgb = converter.Convert(*picture, layout, PixelFormat::kRgb24, QVXPLAY_DRAW_FAST);
            ASSERT_TRUE(bgra && rgba && rgb);
            const uint8_t* p = bgra->planes[0] + 10 * bgra->strides[0] + 4 * 20;
            EXPECT_NEAR(p[0], c.b, 4);
            EXPECT_NEAR(p[1], c.g, 4);
            EXPECT_NEAR(p[2], c.r, 4);
            EXPECT_EQ(p[3], 255);
            p = rgba->planes[0] + 10 * rgba->strides[0] + 4 * 20;
            EXPECT_NEAR(p[0], c.r, 4);
            EXPECT_NEAR(p[1], c.g, 4);
            EXPECT_NEAR(p[2], c.b, 4);
            EXPECT_EQ(p[3], 255);
            p = rgb->planes[0] + 10 * rgb->strides[0] + 3 * 20;
            EXPECT_NEAR(p[0], c.r, 4);
            EXPECT_NEAR(p[1], c.g, 4);
            EXPECT_NEAR(p[2], c.b, 4);
        }
    }
}

std::vector<uint8_t> RandomPlane(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> plane(static_cast<size_t>(w) * h);
    for (auto& b : plane) b = static_cast<uint8_t>(rng());
    return plane;
}

// The SIMD column pass reads eight outputs from one 16-byte load: for every step the halving
// leaves (up to 2) it must give exactly the plain pass's bytes, tails and edges included.
TEST(PlaneScaler, SimdColumnsMatchThePlainPass) {
    PlaneScaler probe;
    if (!probe.SimdAvailable()) GTEST_SKIP() << "no SSSE3";
    struct Size {
        int sw, sh, dw, dh;
    } sizes[] = {{352, 288, 320, 240}, {1920, 1080, 320, 180}, {1920, 1080, 960, 540}, {176, 144, 352, 288},
                 {100, 50, 51, 26},    {33, 17, 17, 9},       {640, 480, 639, 479},  {17, 9, 8, 5},
                 {8, 8, 200, 3},       {1, 1, 7, 7},          {3000, 2, 1501, 1},    {161, 97, 80, 48}};
    for (const Size& s : sizes) {
        auto src = RandomPlane(s.sw, s.sh, static_cast<unsigned>(s.sw * 7 + s.dw));
        std::vector<uint8_t> simd(static_cast<size_t>(s.dw) * s.dh), plain(simd.size());
        PlaneScaler a, b;
        b.SetSimdForTesting(false);
        ASSERT_EQ(a.Scale(src.data(), s.sw, s.sw, s.sh, simd.data(), s.dw, s.dw, s.dh), 0);
        ASSERT_EQ(b.Scale(src.data(), s.sw, s.sw, s.sh, plain.data(), s.dw, s.dw, s.dh), 0);
        EXPECT_EQ(simd, plain) << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh;
    }
}

// What bilinear scaling must keep: a flat plane stays flat, a ramp stays a ramp at the centred
// positions, an exact half is the 2 x 2 mean, and rows past the end are never read.
TEST(PlaneScaler, KeepsFlatPlanesRampsAndBoxes) {
    PlaneScaler scaler;
    std::vector<uint8_t> flat(97 * 61, 77), out(300 * 200, 0);
    for (auto [dw, dh] : {std::pair{300, 200}, std::pair{50, 31}, std::pair{10, 3}, std::pair{97, 61}}) {
        ASSERT_EQ(scaler.Scale(flat.data(), 97, 97, 61, out.data(), dw, dw, dh), 0);
        for (int i = 0; i < dw * dh; ++i) ASSERT_EQ(out[static_cast<size_t>(i)], 77) << dw << "x" << dh;
    }
    // A ramp of 2 per pixel scaled to 3/4: output x samples (x + 0.5) * 4/3 - 0.5.
    std::vector<uint8_t> ramp(128 * 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 128; ++x) ramp[static_cast<size_t>(y * 128 + x)] = static_cast<uint8_t>(2 * x);
    std::vector<uint8_t> scaled(96 * 3);
    ASSERT_EQ(scaler.Scale(ramp.data(), 128, 128, 4, scaled.data(), 96, 96, 3), 0);
    for (int x = 0; x < 95; ++x) {
        double ideal = 2 * ((x + 0.5) * 128.0 / 96.0 - 0.5);
        EXPECT_NEAR(scaled[static_cast<size_t>(x)], ideal, 1.1) << x;
    }
    // Exact half: the rounded mean of each 2 x 2 block.
    auto src = RandomPlane(64, 32, 5);
    std::vector<uint8_t> half(32 * 16);
    ASSERT_EQ(scaler.Scale(src.data(), 64, 64, 32, half.data(), 32, 32, 16), 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            int sum = src[static_cast<size_t>(2 * y * 64 + 2 * x)] + src[static_cast<size_t>(2 * y * 64 + 2 * x + 1)] +
                      src[static_cast<size_t>((2 * y + 1) * 64 + 2 * x)] +
                      src[static_cast<size_t>((2 * y + 1) * 64 + 2 * x + 1)];
            ASSERT_EQ(half[static_cast<size_t>(y * 32 + x)], (sum + 2) / 4) << x << "," << y;
        }
    EXPECT_EQ(scaler.Scale(src.data(), 64, 0, 32, half.data(), 32, 32, 16), -1);
    EXPECT_EQ(scaler.Scale(src.data(), 64, 64, 32, half.data(), 32, 32, 0), -1);
}

}  // namespace
}  // namespace ocv::player
