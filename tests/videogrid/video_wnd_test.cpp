// The video window: inset placement, the control bar and its clicks, the background of
// logoVer, and the mouse and key notifications it posts to its cell.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "videogrid/cell_messages.h"
#include "videogrid/video_min.h"
#include "videogrid/video_play_bar.h"
#include "videogrid/video_wnd.h"
#include "tests/videogrid/widget_test_support.h"

namespace ocv {
namespace {

using test::MessageLog;
using test::PixelOf;
using test::Pump;

TEST(PackedPoint, KeepsSignedSixteenBitCoordinates) {
    for (auto [x, y] : {std::pair{0, 0}, {300, 200}, {-5, 7}, {12, -1}, {32767, -32768}}) {
        intptr_t l = PackPoint(x, y);
        EXPECT_EQ(PointX(l), x);
        EXPECT_EQ(PointY(l), y);
    }
    EXPECT_EQ(PackPoint(3, 2), 3 | 2 << 16);
}

TEST(VideoWindow, InsetIsALowerLeftSquareOfAThirdCreatedOnFirstShow) {
    MessageLog cell;
    UIVideoWnd video(&cell, UIVideoWnd::kBarModeNone);
    video.resize(300, 200);
    video.show();
    EXPECT_EQ(video.Inset(), nullptr);
    EXPECT_EQ(video.InsetSurfaceHandle(), nullptr);
    video.ShowInset(false);  // hiding what does not exist creates nothing
    EXPECT_EQ(video.Inset(), nullptr);

    video.ShowInset(true);
    UIVideoMin* inset = video.Inset();
    ASSERT_NE(inset, nullptr);
    EXPECT_EQ(inset->geometry(), QRect(0, 100, 100, 100));
    EXPECT_TRUE(video.IsInsetShown());
    EXPECT_NE(video.InsetSurfaceHandle(), nullptr);
    EXPECT_NE(video.InsetSurfaceHandle(), video.SurfaceHandle());

    video.ShowInset(false);
    EXPECT_EQ(video.Inset(), inset);  // hiding never destroys
    EXPECT_FALSE(video.IsInsetShown());
    video.resize(601, 301);
    EXPECT_EQ(inset->geometry(), QRect(0, 101, 200, 200));
    video.ShowInset(true);
    EXPECT_EQ(video.Inset(), inset);
}

TEST(VideoWindow, BarSitsAtTheBottomAndBarMode255NeverShowsIt) {
    MessageLog cell;
    UIVideoWnd live(&cell, UIVideoWnd::kBarModeNone);
    live.resize(320, 240);
    live.show();
    live.ShowBarForSelection(true);
    EXPECT_FALSE(live.Bar()->isVisible());
    live.ShowBarForSelection(false);
    live.ShowBarForSelection(true);
    EXPECT_FALSE(live.Bar()->isVisible());
    for (int previewMode : {2, 3}) {
        live.SetBarMode(previewMode);
        live.ShowBarForSelection(true);
        EXPECT_FALSE(live.Bar()->isVisible());
    }

    UIVideoWnd playback(&cell, UIVideoWnd::kBarModePlayback);
    playback.resize(320, 240);
    playback.show();
    EXPECT_FALSE(playback.Bar()->isVisible());  // created hidden
    playback.ShowBarForSelection(true);
    EXPECT_TRUE(playback.Bar()->isVisible());
    EXPECT_EQ(playback.Bar()->geometry(), QRect(0, 215, 320, 25));
    playback.ShowBarForSelection(false);
    EXPECT_FALSE(playback.Bar()->isVisible());
}

TEST(VideoWindow, BarButtonsReachThePageSynchronouslyWithCellIndexAndNumber) {
    MessageLog cell, page;
    UIVideoWnd video(&cell, UIVideoWnd::kBarModePlayback);
    video.SetCellIndex(3);
    video.SetPageWindow(&page);
    video.resize(400, 300);
    video.show();
    video.ShowBarForSelection(true);
    const std::pair<const char*, int> buttons[] = {
        {"pbPauseBtn", 1161}, {"pbStopBtn", 1162}, {"pbSlowBtn", 1163},   {"pbFastBtn", 1164},
        {"pbFrameBtn", 1165}, {"photoBtn", 1166},  {"pbPlayBtn", 1167},   {"pbNormalBtn", 1168},
        {"pbCloseBtn", 1169},
    };
    for (auto [name, number] : buttons) {
        auto* button = video.Bar()->findChild<QPushButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        const size_t before = page.received.size();
        button->click();
        ASSERT_EQ(page.received.size(), before + 1) << name << " was not delivered synchronously";
        EXPECT_EQ(page.received.back().message, number);
        EXPECT_EQ(page.received.back().wParam, 3);
        EXPECT_EQ(page.received.back().lParam, number);
    }
    EXPECT_TRUE(cell.received.empty());

    // The x positions of the row and the right-hand area.
    auto x = [&](const char* name) {
        auto* b = video.Bar()->findChild<QPushButton*>(name);
        return b->mapTo(video.Bar(), QPoint(0, 0)).x();
    };
    EXPECT_EQ(x("pbPlayBtn"), 5);
    EXPECT_EQ(x("pbPauseBtn"), 5);
    EXPECT_EQ(x("pbStopBtn"), 37);
    EXPECT_EQ(x("pbFrameBtn"), 165);
    EXPECT_EQ(x("photoBtn"), 400 - 47);
    EXPECT_EQ(x("pbCloseBtn"), 400 - 47 + 25);

    // Exactly one of play and pause shows.
    auto* play = video.Bar()->findChild<QPushButton*>("pbPlayBtn");
    auto* pause = video.Bar()->findChild<QPushButton*>("pbPauseBtn");
    video.SetPaused(true);
    EXPECT_TRUE(pause->isVisible());
    EXPECT_FALSE(play->isVisible());
    video.SetPaused(false);
    EXPECT_FALSE(pause->isVisible());
    EXPECT_TRUE(play->isVisible());
}

TEST(VideoWindow, ChannelNameTurnsLogoBlackAndEmptyNameBackToGrey) {
    MessageLog cell;
    UIVideoWnd video(&cell, UIVideoWnd::kBarModeNone);
    video.resize(120, 90);
    video.show();
    EXPECT_EQ(PixelOf(&video, 60, 45), UIVideoWnd::kNoChannelBackground);
    video.SetChannelName("Gate");
    EXPECT_EQ(PixelOf(&video, 60, 45), 0xFF000000u);
    video.SetChannelName("");
    EXPECT_EQ(video.PictureArea()->Background(), 0xFF313131u);
    EXPECT_EQ(PixelOf(&video, 60, 45), 0xFF313131u);
}

TEST(VideoWindow, MouseAndKeyEventsArePostedToTheCellWithIndexAndPoint) {
    MessageLog cell;
    UIVideoWnd video(&cell, UIVideoWnd::kBarModeNone);
    video.SetCellIndex(7);
    video.resize(200, 150);
    video.show();
    QTest::mousePress(&video, Qt::LeftButton, {}, QPoint(10, 20));
    EXPECT_TRUE(cell.received.empty()) << "notifications are queued, not sent";
    Pump();
    ASSERT_EQ(cell.Count(CellSelect), 1);
    EXPECT_EQ(cell.Last(CellSelect)->wParam, 7);
    EXPECT_EQ(cell.Last(CellSelect)->lParam, PackPoint(10, 20));

    QTest::mouseRelease(&video, Qt::LeftButton, {}, QPoint(11, 21));
    QTest::mousePress(&video, Qt::RightButton, {}, QPoint(30, 40));
    QTest::mouseMove(&video, QPoint(50, 60));
    QTest::keyClick(&video, Qt::Key_Escape);
    QTest::keyClick(&video, Qt::Key_A);  // other keys are not reported
    Pump();
    ASSERT_NE(cell.Last(CellButtonUp), nullptr);
    EXPECT_EQ(cell.Last(CellButtonUp)->lParam, PackPoint(11, 21));
    ASSERT_NE(cell.Last(CellMenu), nullptr);
    EXPECT_EQ(cell.Last(CellMenu)->wParam, 7);
    EXPECT_EQ(cell.Last(CellMenu)->lParam, PackPoint(30, 40));
    ASSERT_NE(cell.Last(CellMouseMove), nullptr);
    EXPECT_EQ(cell.Last(CellMouseMove)->lParam, PackPoint(50, 60));
    ASSERT_EQ(cell.Count(CellKey), 1);
    EXPECT_EQ(cell.Last(CellKey)->wParam, kEscapeKeyCode);
    EXPECT_EQ(cell.Count(CellActivate), 0);

    QTest::mouseDClick(&video, Qt::LeftButton, {}, QPoint(5, 6));
    Pump();
    ASSERT_EQ(cell.Count(CellActivate), 1);
    EXPECT_EQ(cell.Last(CellActivate)->lParam, PackPoint(5, 6));
}

TEST(VideoWindow, InsetClicksBecomeCellNotificationsInVideoWindowCoordinates) {
    MessageLog cell;
    UIVideoWnd video(&cell, UIVideoWnd::kBarModeNone);
    video.SetCellIndex(2);
    video.resize(300, 200);
    video.show();
    video.ShowInset(true);
    UIVideoMin* inset = video.Inset();
    QTest::mousePress(inset, Qt::LeftButton, {}, QPoint(4, 5));
    QTest::mousePress(inset, Qt::RightButton, {}, QPoint(6, 7));
    QTest::mouseDClick(inset, Qt::LeftButton, {}, QPoint(8, 9));
    Pump();
    ASSERT_NE(cell.Last(CellSelect), nullptr);
    EXPECT_EQ(cell.received.front().message, CellSelect);
    EXPECT_EQ(cell.received.front().wParam, 2);
    EXPECT_EQ(cell.received.front().lParam, PackPoint(4, 105));
    ASSERT_NE(cell.Last(CellMenu), nullptr);
    EXPECT_EQ(cell.Last(CellMenu)->lParam, PackPoint(6, 107));
    ASSERT_EQ(cell.Count(CellActivate), 1);
    EXPECT_EQ(cell.Last(CellActivate)->wParam, 2);
    EXPECT_EQ(cell.Last(CellActivate)->lParam, PackPoint(8, 109));
}

}  // namespace
}  // namespace ocv
