// The Qt video surface: its size as the player sees it, the one repaint per burst of
// pictures, painting the newest picture unscaled with black margins, and a player thread
// that keeps calling while the widget goes away.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "videogrid/qt_video_surface.h"
#include "tests/videogrid/widget_test_support.h"

namespace ocv {
namespace {

using test::PixelOf;
using test::Pump;
using test::PumpUntil;

// A BGRA picture of one colour, placed in its surface like the player places it.
std::shared_ptr<const player::VideoPicture> SolidPicture(QRgb colour, int x, int y, int w, int h,
                                                         uint64_t sequence) {
    auto p = std::make_shared<player::VideoPicture>();
    p->format = player::PixelFormat::kBgra32;
    p->x = x;
    p->y = y;
    p->width = w;
    p->height = h;
    p->sequence = sequence;
    p->strides[0] = w * 4 + 64;  // rows padded like pooled planes
    p->storage.assign(static_cast<size_t>(p->strides[0]) * static_cast<size_t>(h), 0);
    for (int row = 0; row < h; ++row) {
        auto* line = reinterpret_cast<uint32_t*>(p->storage.data() + row * p->strides[0]);
        for (int col = 0; col < w; ++col) line[col] = colour;
    }
    p->planes[0] = p->storage.data();
    return p;
}

QRgb ColourOf(int i) { return 0xFF000000u | static_cast<QRgb>((i * 37) % 256) << 16 | (i * 11 % 256) << 8 | 200; }

TEST(QtVideoSurface, FormatFollowsTheWidgetSizeAndIsEmptyWhileHidden) {
    QWidget parent;
    parent.resize(400, 300);
    auto* area = new VideoPictureArea(0xFF313131, &parent);
    QtVideoSurface& surface = area->Surface();
    area->setGeometry(0, 0, 200, 100);
    EXPECT_EQ(surface.CurrentFormat().width, 0) << "not shown yet";
    parent.show();
    EXPECT_EQ(surface.CurrentFormat().width, 200);
    EXPECT_EQ(surface.CurrentFormat().height, 100);
    EXPECT_EQ(surface.CurrentFormat().format, player::PixelFormat::kBgra32);
    area->resize(321, 123);
    EXPECT_EQ(surface.CurrentFormat().width, 321);
    EXPECT_EQ(surface.CurrentFormat().height, 123);
    parent.hide();  // an ancestor hides
    EXPECT_EQ(surface.CurrentFormat().width, 0);
    EXPECT_EQ(surface.CurrentFormat().height, 0);
    parent.show();
    EXPECT_EQ(surface.CurrentFormat().width, 321);
    area->hide();
    EXPECT_EQ(surface.CurrentFormat().height, 0);
    area->resize(50, 60);
    EXPECT_EQ(surface.CurrentFormat().width, 0);
    area->show();
    EXPECT_EQ(surface.CurrentFormat().width, 50);
    EXPECT_EQ(surface.CurrentFormat().height, 60);
}

TEST(QtVideoSurface, ABurstFromAnotherThreadPaintsOnceTheNewestPictureWithBlackMargins) {
    VideoPictureArea area(0xFF313131);
    area.resize(200, 100);
    area.show();
    Pump();
    QtVideoSurface& surface = area.Surface();
    std::thread player([&] {
        for (int i = 1; i <= 100; ++i) {
            surface.PostPicture(SolidPicture(ColourOf(i), 20, 10, 160, 80, static_cast<uint64_t>(i)));
            surface.PictureReady();
        }
    });
    player.join();
    EXPECT_EQ(surface.RepaintEventsPosted(), 1u);
    EXPECT_EQ(surface.PaintedPictures(), 0u);
    ASSERT_TRUE(PumpUntil([&] { return surface.PaintedPictures() >= 1; }));
    Pump();
    EXPECT_EQ(surface.PaintedPictures(), 1u);
    EXPECT_EQ(surface.DroppedPictureCount(), 99u);
    ASSERT_NE(area.LastPicture(), nullptr);
    EXPECT_EQ(area.LastPicture()->sequence, 100u);

    const QImage shot = area.grab().toImage();
    EXPECT_EQ(shot.pixel(20, 10) | 0xFF000000u, ColourOf(100));
    EXPECT_EQ(shot.pixel(179, 89) | 0xFF000000u, ColourOf(100));
    EXPECT_EQ(shot.pixel(100, 50) | 0xFF000000u, ColourOf(100));
    for (QPoint margin : {QPoint(19, 50), QPoint(180, 50), QPoint(100, 9), QPoint(100, 90), QPoint(0, 0)})
        EXPECT_EQ(shot.pixel(margin) | 0xFF000000u, 0xFF000000u) << margin.x() << "," << margin.y();
    EXPECT_EQ(surface.PaintedPictures(), 1u) << "a repaint of the kept picture is not a new one";

    // Nothing new, nothing posted; the next picture schedules one repaint again.
    Pump();
    EXPECT_EQ(surface.RepaintEventsPosted(), 1u);
    surface.PostPicture(SolidPicture(ColourOf(7), 0, 0, 200, 100, 101));
    surface.PictureReady();
    surface.PictureReady();
    EXPECT_EQ(surface.RepaintEventsPosted(), 2u);
    ASSERT_TRUE(PumpUntil([&] { return surface.PaintedPictures() == 2; }));
    EXPECT_EQ(PixelOf(&area, 0, 0), ColourOf(7));

    // A closed channel leaves the background, not its last picture.
    area.ClearPicture();
    EXPECT_EQ(PixelOf(&area, 100, 50), 0xFF313131u);
}

TEST(QtVideoSurface, HiddenAreaDropsPicturesAndStaysReadyForTheNext) {
    QWidget parent;
    auto* area = new VideoPictureArea(0xFF313131, &parent);
    area->resize(64, 48);
    QtVideoSurface& surface = area->Surface();
    surface.PostPicture(SolidPicture(ColourOf(1), 0, 0, 64, 48, 1));
    surface.PictureReady();
    Pump();
    EXPECT_EQ(surface.PaintedPictures(), 0u);
    // The hidden area took the picture away, so the next one posts a repaint again.
    surface.PostPicture(SolidPicture(ColourOf(2), 0, 0, 64, 48, 2));
    surface.PictureReady();
    EXPECT_EQ(surface.RepaintEventsPosted(), 2u);
    parent.show();
    ASSERT_TRUE(PumpUntil([&] { return surface.PaintedPictures() == 1; }));
    EXPECT_EQ(area->LastPicture()->sequence, 2u);
}

TEST(QtVideoSurface, PlayerThreadKeepsCallingWhileTheWidgetIsDestroyed) {
    auto* area = new VideoPictureArea(0xFF313131);
    area->resize(96, 64);
    area->show();
    // A reference, as a bound player port holds one: the surface outlives the widget.
    std::shared_ptr<QtVideoSurface> surface = area->SharedSurface();
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> calls{0};
    std::thread player([&] {
        uint64_t i = 0;
        while (!stop.load()) {
            player::SurfaceFormat f = surface->CurrentFormat();
            const int w = f.width > 0 ? f.width : 8, h = f.height > 0 ? f.height : 8;
            ++i;
            surface->PostPicture(SolidPicture(ColourOf(static_cast<int>(i)), 0, 0, w, h, i));
            surface->PictureReady();
            calls.fetch_add(1);
        }
    });
    ASSERT_TRUE(PumpUntil([&] { return surface->PaintedPictures() >= 3; }));
    delete area;
    const uint64_t postedAtDeletion = surface->RepaintEventsPosted();
    const uint64_t callsAtDeletion = calls.load();
    ASSERT_TRUE(PumpUntil([&] { return calls.load() > callsAtDeletion + 2000; }, 10000));
    stop = true;
    player.join();
    Pump();
    EXPECT_EQ(surface->CurrentFormat().width, 0);
    EXPECT_EQ(surface->CurrentFormat().height, 0);
    EXPECT_EQ(surface->RepaintEventsPosted(), postedAtDeletion)
        << "a surface without its widget posts nothing";
}

}  // namespace
}  // namespace ocv
