// Motion areas: the record's rectangles, the sixteen-area limit, and the outlines the preview's
// draw callback paints into the picture.
#include <gtest/gtest.h>

#include <vector>

#include "setup/motion_areas.h"

namespace ocv {
namespace {

TEST(MotionAreas, SixteenAreasGoThroughTheRecordAndASeventeenthIsRefused) {
    std::vector<AreaRect> areas;
    for (int i = 0; i < kMaxMotionAreas; ++i) ASSERT_TRUE(AddMotionArea(&areas, AreaRect{i, i, i + 10, i + 20}));
    EXPECT_FALSE(AddMotionArea(&areas, AreaRect{0, 0, 5, 5}));
    EXPECT_EQ(areas.size(), 16u);
    ConfigRecord motion(QVX_CMD_MOTION);
    motion.SetWord(cfg::kMotionEnable, 1);
    SetMotionAreas(&motion, areas);
    EXPECT_EQ(MotionAreasOf(motion), areas);
    EXPECT_EQ(motion.Word(cfg::kMotionEnable), 1u);
    // The last rectangle ends at byte 12 + 16 * 16 = 268 of the 276.
    EXPECT_EQ(motion.Word(12 + 15 * 16 + 12), 35u);
    EXPECT_EQ(motion.Word(268), 0u);
}

TEST(MotionAreas, EmptyAreasAreNeitherAddedNorRead) {
    std::vector<AreaRect> areas;
    EXPECT_FALSE(AddMotionArea(&areas, AreaRect{5, 5, 5, 50}));
    ConfigRecord motion(QVX_CMD_MOTION);
    SetMotionAreas(&motion, {AreaRect{1, 1, 9, 9}, AreaRect{}, AreaRect{2, 2, 8, 8}});
    EXPECT_EQ(MotionAreasOf(motion), (std::vector<AreaRect>{{1, 1, 9, 9}, {2, 2, 8, 8}}));
    SetMotionAreas(&motion, {});
    EXPECT_TRUE(MotionAreasOf(motion).empty());
}

TEST(MotionAreas, ADragFromAnyCornerIsClippedToThePicture) {
    EXPECT_EQ(AreaFromDrag(300, 200, 100, 50, 640, 352), (AreaRect{100, 50, 300, 200}));
    EXPECT_EQ(AreaFromDrag(-20, 300, 700, 400, 640, 352), (AreaRect{0, 300, 640, 352}));
}

struct Picture {
    Picture(int w, int h, int format) : width(w), height(h) {
        int bytes = format == QVXPLAY_PIXEL_RGB24 ? 3 : 4;
        pixels.assign(size_t(w * h * bytes), 0);
        ctx.planes[0] = pixels.data();
        ctx.strides[0] = w * bytes;
        ctx.pixelFormat = format;
        ctx.width = w;
        ctx.height = h;
    }
    const uint8_t* At(int x, int y) const { return pixels.data() + y * ctx.strides[0] + x * (ctx.strides[0] / width); }
    int width, height;
    std::vector<uint8_t> pixels;
    QVXPlayDrawContext ctx{};
};

TEST(MotionAreas, OutlinesAreScaledFromTheRecordPictureToTheDrawnOne) {
    Picture p(320, 176, QVXPLAY_PIXEL_BGRA32);
    // An area of a 640 x 352 picture, drawn on a half-size one.
    DrawAreaOutlines(&p.ctx, {AreaRect{100, 50, 300, 200}}, 640, 352);
    const uint8_t* corner = p.At(50, 25);
    EXPECT_EQ(corner[2], 255);  // red in BGRA
    EXPECT_EQ(corner[0], 0);
    EXPECT_EQ(p.At(149, 99)[2], 255);   // the far corner: (300 / 2 - 1, 200 / 2 - 1)
    EXPECT_EQ(p.At(100, 60)[2], 0);     // inside stays as it was
    EXPECT_EQ(p.At(150, 100)[2], 0);    // just outside
    EXPECT_EQ(p.At(49, 25)[2], 0);
}

TEST(MotionAreas, OutlinesKeepToThePictureInEveryFormat) {
    Picture rgb(64, 48, QVXPLAY_PIXEL_RGB24);
    DrawAreaOutlines(&rgb.ctx, {AreaRect{0, 0, 640, 480}}, 640, 480);
    EXPECT_EQ(rgb.At(63, 47)[0], 255);  // red first in RGB
    EXPECT_EQ(rgb.At(32, 24)[0], 0);

    std::vector<uint8_t> y(64 * 48), u(32 * 24), v(32 * 24);
    QVXPlayDrawContext yuv{};
    yuv.planes[0] = y.data(), yuv.planes[1] = u.data(), yuv.planes[2] = v.data();
    yuv.strides[0] = 64, yuv.strides[1] = 32, yuv.strides[2] = 32;
    yuv.pixelFormat = QVXPLAY_PIXEL_I420;
    yuv.width = 64, yuv.height = 48;
    // Larger than the picture: clipped, never written outside the planes (ASan checks).
    DrawAreaOutlines(&yuv, {AreaRect{-50, -50, 5000, 5000}}, 640, 480);
    EXPECT_NE(y[0], 0);
    EXPECT_NE(y[47 * 64 + 63], 0);

    QVXPlayDrawContext none{};
    none.width = 10, none.height = 10;
    DrawAreaOutlines(&none, {AreaRect{0, 0, 5, 5}}, 10, 10);
    DrawAreaOutlines(nullptr, {AreaRect{0, 0, 5, 5}}, 10, 10);
    DrawAreaOutlines(&yuv, {AreaRect{0, 0, 5, 5}}, 0, 0);
}

TEST(MotionAreas, TheOverlayPaintsTheSavedAreasAndTheOneBeingDrawn) {
    AreaOverlay overlay;
    Picture p(100, 100, QVXPLAY_PIXEL_RGBA32);
    overlay.Set({AreaRect{10, 10, 20, 20}}, AreaRect{50, 50, 60, 60}, 100, 100);
    AreaOverlay::Draw(1, &p.ctx, 100, 100, reinterpret_cast<intptr_t>(&overlay));
    EXPECT_EQ(p.At(10, 10)[0], 255);
    EXPECT_EQ(p.At(50, 50)[0], 255);
    Picture q(100, 100, QVXPLAY_PIXEL_RGBA32);
    overlay.Clear();
    AreaOverlay::Draw(1, &q.ctx, 100, 100, reinterpret_cast<intptr_t>(&overlay));
    EXPECT_EQ(q.At(10, 10)[0], 0);
}

}  // namespace
}  // namespace ocv
