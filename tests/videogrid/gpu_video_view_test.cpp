// The OpenGL path of the video surface, run where an OpenGL context exists (ctest runs it under
// Xvfb with Mesa's software renderer and OCV_VIDEO_GPU=on): the area asks the player for the
// decoder's YUV planes, and what the GPU draws has the planes' colours at the picture's place,
// scaled to it, with black margins; BGRA pictures (a draw callback's) draw too.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <cstring>

#include "tests/videogrid/widget_test_support.h"
#include "videogrid/gpu_video_view.h"
#include "videogrid/qt_video_surface.h"

namespace ocv {
namespace {

using test::PumpUntil;

struct Yuv {
    uint8_t y, u, v;
};

// Limited-range BT.601 samples of pure colours (what a camera sends).
constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kBlue{41, 240, 110};
constexpr Yuv kGreen{145, 54, 34};

// A decoded-planes picture of planeWidth x planeHeight: its left half `left`, its right half
// `right`, drawn at (x, y, w, h) of the surface.
std::shared_ptr<player::VideoPicture> SplitPicture(Yuv left, Yuv right, int planeWidth, int planeHeight, int x,
                                                   int y, int w, int h) {
    auto p = std::make_shared<player::VideoPicture>();
    p->format = player::PixelFormat::kDecodedYuv;
    p->x = x;
    p->y = y;
    p->width = w;
    p->height = h;
    p->planeWidth = planeWidth;
    p->planeHeight = planeHeight;
    const int strides[3] = {planeWidth + 40, planeWidth / 2 + 24, planeWidth / 2 + 24};  // padded rows
    const int rows[3] = {planeHeight, planeHeight / 2, planeHeight / 2};
    p->storage.resize(static_cast<size_t>(strides[0] * rows[0] + 2 * strides[1] * rows[1]));
    uint8_t* at = p->storage.data();
    for (int i = 0; i < 3; ++i) {
        p->planes[i] = at;
        p->strides[i] = strides[i];
        const int cols = i == 0 ? planeWidth : planeWidth / 2;
        for (int r = 0; r < rows[i]; ++r)
            for (int c = 0; c < cols; ++c) {
                const Yuv& s = c < cols / 2 ? left : right;
                at[r * strides[i] + c] = i == 0 ? s.y : i == 1 ? s.u : s.v;
            }
        at += strides[i] * rows[i];
    }
    return p;
}

bool Near(QRgb got, QRgb want, int tolerance = 12) {
    return std::abs(qRed(got) - qRed(want)) <= tolerance && std::abs(qGreen(got) - qGreen(want)) <= tolerance &&
           std::abs(qBlue(got) - qBlue(want)) <= tolerance;
}

class GpuVideoViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!GpuVideoAvailable()) GTEST_SKIP() << "no OpenGL context here; the BGRA path is tested instead";
        window.resize(240, 160);
        area = new VideoPictureArea(0xFF204060, &window);
        area->setGeometry(0, 0, 240, 160);
        window.show();
        ASSERT_NE(area->GpuView(), nullptr);
        ASSERT_TRUE(PumpUntil([&] { return area->GpuView()->isValid(); }));
        ASSERT_TRUE(area->GpuView()->Ready()) << "the shaders did not build";
    }
    // Posts the picture as a player does and waits for the view to draw it.
    QImage Show(std::shared_ptr<player::VideoPicture> picture) {
        const uint64_t before = area->GpuView()->DrawnPictures();
        area->Surface().PostPicture(std::move(picture));
        area->Surface().PictureReady();
        EXPECT_TRUE(PumpUntil([&] { return area->GpuView()->DrawnPictures() > before; }));
        return area->GpuView()->grabFramebuffer();
    }
    QWidget window;
    VideoPictureArea* area = nullptr;
};

TEST_F(GpuVideoViewTest, AreaAsksForDecodedPlanesAndTheGpuDrawsTheirColoursScaledWithBlackMargins) {
    EXPECT_EQ(area->Surface().CurrentFormat().format, player::PixelFormat::kDecodedYuv);
    // Before any picture: the background colour.
    QImage empty = area->GpuView()->grabFramebuffer();
    EXPECT_TRUE(Near(empty.pixel(120, 80), 0xFF204060, 2));

    // A 64 x 48 picture scaled up to 200 x 150, placed 20 px from the left: margins left and right.
    QImage shot = Show(SplitPicture(kRed, kBlue, 64, 48, 20, 5, 200, 150));
    ASSERT_EQ(shot.width(), 240);
    EXPECT_TRUE(Near(shot.pixel(60, 80), qRgb(255, 0, 0))) << std::hex << shot.pixel(60, 80);
    EXPECT_TRUE(Near(shot.pixel(180, 80), qRgb(0, 0, 255))) << std::hex << shot.pixel(180, 80);
    EXPECT_TRUE(Near(shot.pixel(5, 80), qRgb(0, 0, 0), 1)) << "left margin";
    EXPECT_TRUE(Near(shot.pixel(230, 80), qRgb(0, 0, 0), 1)) << "right margin";
    EXPECT_TRUE(Near(shot.pixel(120, 2), qRgb(0, 0, 0), 1)) << "top margin";
    EXPECT_TRUE(Near(shot.pixel(120, 158), qRgb(0, 0, 0), 1)) << "bottom margin";

    // The next picture of another size replaces it (the textures are made anew).
    shot = Show(SplitPicture(kGreen, kGreen, 32, 16, 0, 0, 240, 160));
    EXPECT_TRUE(Near(shot.pixel(10, 10), qRgb(0, 255, 0), 14)) << std::hex << shot.pixel(10, 10);
    EXPECT_TRUE(Near(shot.pixel(230, 150), qRgb(0, 255, 0), 14));

    // A BGRA picture (what a draw callback gets) is drawn as it is.
    auto bgra = std::make_shared<player::VideoPicture>();
    bgra->format = player::PixelFormat::kBgra32;
    bgra->width = 100;
    bgra->height = 60;
    bgra->x = 70;
    bgra->y = 50;
    bgra->strides[0] = 100 * 4 + 64;
    bgra->storage.assign(static_cast<size_t>(bgra->strides[0] * 60), 0);
    for (int r = 0; r < 60; ++r)
        for (int c = 0; c < 100; ++c) reinterpret_cast<uint32_t*>(bgra->storage.data() + r * bgra->strides[0])[c] = 0xFFC08020;
    bgra->planes[0] = bgra->storage.data();
    shot = Show(bgra);
    EXPECT_TRUE(Near(shot.pixel(120, 80), 0xFFC08020, 2)) << std::hex << shot.pixel(120, 80);
    EXPECT_TRUE(Near(shot.pixel(20, 80), qRgb(0, 0, 0), 1));

    // A closed channel shows the background again.
    area->ClearPicture();
    ASSERT_TRUE(PumpUntil([&] { return Near(area->GpuView()->grabFramebuffer().pixel(120, 80), 0xFF204060, 2); }));
}

// A context that cannot build the shaders would leave the cell black: the area goes back to BGRA
// pictures it paints itself.
TEST(GpuVideoViewFallback, AreaPaintsBgraItselfWhenTheShadersCannotBeBuilt) {
    if (!GpuVideoAvailable()) GTEST_SKIP() << "no OpenGL context here";
    GpuVideoView::FailShadersForTesting(true);
    QWidget window;
    window.resize(240, 160);
    auto* area = new VideoPictureArea(0xFF204060, &window);
    area->setGeometry(0, 0, 240, 160);
    EXPECT_EQ(area->Surface().CurrentFormat().format, player::PixelFormat::kDecodedYuv);
    window.show();
    ASSERT_TRUE(PumpUntil([&] { return area->GpuView() == nullptr; }));
    GpuVideoView::FailShadersForTesting(false);
    EXPECT_EQ(area->Surface().CurrentFormat().format, player::PixelFormat::kBgra32);

    auto bgra = std::make_shared<player::VideoPicture>();
    bgra->format = player::PixelFormat::kBgra32;
    bgra->width = 240;
    bgra->height = 160;
    bgra->strides[0] = 240 * 4;
    bgra->storage.assign(static_cast<size_t>(bgra->strides[0] * 160), 0);
    for (size_t i = 0; i < bgra->storage.size(); i += 4) memcpy(&bgra->storage[i], "\x20\x80\xC0\xFF", 4);
    bgra->planes[0] = bgra->storage.data();
    area->Surface().PostPicture(bgra);
    area->Surface().PictureReady();
    ASSERT_TRUE(PumpUntil([&] { return area->LastPicture() == bgra; }));
    EXPECT_TRUE(Near(area->grab().toImage().pixel(120, 80), 0xFFC08020, 2));
}

}  // namespace
}  // namespace ocv
