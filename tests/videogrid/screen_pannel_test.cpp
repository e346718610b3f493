// The screen panel: cell placement from SplitLayout, selection frames and bars, maximising,
// the queued notifications to the owner, the hit test, cell texts and full screen.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "videogrid/cell_messages.h"
#include "videogrid/screen_pannel.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_min.h"
#include "videogrid/video_play_bar.h"
#include "videogrid/video_wnd.h"
#include "tests/videogrid/widget_test_support.h"

namespace ocv {
namespace {

using test::MessageLog;
using test::PixelOf;
using test::Pump;
using test::PumpUntil;

QRect CellGeometry(const UIScreenPannel& panel, int i) { return panel.Cell(i)->geometry(); }

QRect Expected(const SplitLayout& layout, int i) {
    const CellRect& r = layout.Cell(i);
    return QRect(r.left, r.top, r.Width(), r.Height());
}

void Send(UIScreenPannel& panel, int message, int cell, intptr_t point = PackPoint(1, 2)) {
    WindowMessage m(message, cell, point);
    QCoreApplication::sendEvent(&panel, &m);
}

class ScreenPannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner_.resize(801, 601);
        panel_ = new UIScreenPannel(&owner_, {}, &owner_);
        panel_->setGeometry(0, 0, 801, 601);
        panel_->SetSplitMode(4);
        owner_.show();
        Pump();
    }
    MessageLog owner_;
    UIScreenPannel* panel_ = nullptr;  // a child of owner_
};

TEST_F(ScreenPannelTest, CellsFollowTheLayoutIncludingMaximiseAndOddSizes) {
    ASSERT_EQ(panel_->CellCount(), 36);
    // 801 x 601 lays out as 800 x 600.
    EXPECT_EQ(CellGeometry(*panel_, 0), QRect(0, 0, 400, 300));
    EXPECT_EQ(CellGeometry(*panel_, 1), QRect(400, 0, 399, 300));
    EXPECT_EQ(CellGeometry(*panel_, 3), QRect(400, 300, 399, 299));
    for (int i = 4; i < 36; ++i) {
        EXPECT_FALSE(panel_->Cell(i)->isVisible()) << i;
        EXPECT_EQ(CellGeometry(*panel_, i).size(), QSize(0, 0)) << i;
    }

    panel_->SetSplitMode(6);
    EXPECT_EQ(CellGeometry(*panel_, 0), QRect(0, 0, 532, 398));
    EXPECT_EQ(CellGeometry(*panel_, 1), QRect(532, 0, 799 - 532, 199));
    EXPECT_EQ(CellGeometry(*panel_, 5), QRect(532, 398, 799 - 532, 599 - 398));
    for (int mode : kSplitModes) {
        panel_->SetSplitMode(mode);
        for (int i = 0; i < 36; ++i) {
            EXPECT_EQ(CellGeometry(*panel_, i), Expected(panel_->Layout(), i)) << mode << " cell " << i;
            EXPECT_EQ(panel_->Cell(i)->isVisible(), i < CellCountOf(mode)) << mode << " cell " << i;
        }
    }

    panel_->SetSplitMode(13);
    Send(*panel_, CellActivate, 6);
    ASSERT_TRUE(panel_->IsMaximized());
    EXPECT_EQ(CellGeometry(*panel_, 6), QRect(0, 0, 799, 599));
    for (int i = 0; i < 36; ++i)
        if (i != 6) {
            EXPECT_FALSE(panel_->Cell(i)->isVisible()) << i;
        }
    // Choosing the current mode again while maximised restores it.
    panel_->SetSplitMode(13);
    EXPECT_FALSE(panel_->IsMaximized());
    EXPECT_EQ(panel_->SplitMode(), 13);
    EXPECT_EQ(CellGeometry(*panel_, 6), Expected(panel_->Layout(), 6));
    EXPECT_TRUE(panel_->Cell(12)->isVisible());

    // The video window of a live cell covers all but the status strip and the frame.
    QWidget* video = panel_->Cell(6)->VideoWindow();
    const QSize cell = CellGeometry(*panel_, 6).size();
    EXPECT_EQ(video->geometry(), QRect(1, 1, cell.width() - 2, cell.height() - 20 - 2));
}

TEST_F(ScreenPannelTest, SelectionRepaintsFramesAndIsForwardedQueued) {
    EXPECT_EQ(panel_->Selected(), 0);
    EXPECT_EQ(PixelOf(panel_->Cell(0), 0, 0), UIScreenWnd::kSelectedFrame);
    Send(*panel_, CellSelect, 2, PackPoint(9, 8));
    EXPECT_EQ(panel_->Selected(), 2);
    EXPECT_TRUE(owner_.received.empty()) << "the owner hears of it only through its queue";
    EXPECT_EQ(PixelOf(panel_->Cell(2), 0, 0), 0xFFAA0000u);
    EXPECT_EQ(PixelOf(panel_->Cell(2), 5, CellGeometry(*panel_, 2).height() - 1), 0xFFAA0000u);
    EXPECT_EQ(PixelOf(panel_->Cell(0), 0, 0), 0xFF232323u);
    Pump();
    ASSERT_EQ(owner_.received.size(), 1u);
    EXPECT_EQ(owner_.received[0].message, CellSelect);
    EXPECT_EQ(owner_.received[0].wParam, 2);
    EXPECT_EQ(owner_.received[0].lParam, PackPoint(9, 8));

    // A right click selects, and the owner hears the selection before the menu.
    owner_.received.clear();
    Send(*panel_, CellMenu, 3);
    Pump();
    ASSERT_EQ(owner_.received.size(), 2u);
    EXPECT_EQ(owner_.received[0].message, CellSelect);
    EXPECT_EQ(owner_.received[1].message, CellMenu);
    EXPECT_EQ(owner_.received[1].wParam, 3);
    EXPECT_EQ(panel_->Selected(), 3);

    // Moves, button-ups and Escape pass through untouched; a cell beyond the count is ignored.
    owner_.received.clear();
    Send(*panel_, CellMouseMove, 1, PackPoint(3, 4));
    Send(*panel_, CellButtonUp, 1);
    Send(*panel_, CellKey, kEscapeKeyCode);
    Send(*panel_, CellSelect, 36);
    Pump();
    ASSERT_EQ(owner_.received.size(), 3u);
    EXPECT_EQ(owner_.received[0].message, CellMouseMove);
    EXPECT_EQ(owner_.received[0].lParam, PackPoint(3, 4));
    EXPECT_EQ(owner_.received[1].message, CellButtonUp);
    EXPECT_EQ(owner_.received[2].message, CellKey);
    EXPECT_EQ(owner_.received[2].wParam, kEscapeKeyCode);
    EXPECT_EQ(panel_->Selected(), 3);
}

TEST_F(ScreenPannelTest, DoubleClickOnTheInsetMaximisesAndTheOwnerHearsItQueued) {
    UIScreenWnd* cell = panel_->Cell(3);
    cell->ShowInset(true);
    UIVideoMin* inset = cell->VideoWindow()->Inset();
    ASSERT_NE(inset, nullptr);
    EXPECT_NE(panel_->InsetSurfaceOf(3), nullptr);
    EXPECT_EQ(panel_->InsetSurfaceOf(2), nullptr);

    QTest::mouseDClick(inset, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(owner_.Count(CellActivate), 0);
    ASSERT_TRUE(PumpUntil([&] { return owner_.Count(CellActivate) == 1; }));
    EXPECT_TRUE(panel_->IsMaximized());
    EXPECT_EQ(panel_->Selected(), 3);
    EXPECT_EQ(owner_.Last(CellActivate)->wParam, 3);
    EXPECT_EQ(CellGeometry(*panel_, 3), QRect(0, 0, 799, 599));
    EXPECT_FALSE(panel_->Cell(0)->isVisible());

    // The same through the picture itself restores.
    QTest::mouseDClick(cell->VideoWindow(), Qt::LeftButton, {}, QPoint(400, 50));
    ASSERT_TRUE(PumpUntil([&] { return owner_.Count(CellActivate) == 2; }));
    EXPECT_FALSE(panel_->IsMaximized());
    EXPECT_EQ(CellGeometry(*panel_, 3), QRect(400, 300, 399, 299));

    // The panel acts at once; only the forwarding waits for the owner's queue.
    owner_.received.clear();
    Send(*panel_, CellActivate, 1);
    EXPECT_TRUE(panel_->IsMaximized());
    EXPECT_EQ(owner_.Count(CellActivate), 0);
    Pump();
    EXPECT_EQ(owner_.Count(CellActivate), 1);
}

TEST_F(ScreenPannelTest, DoubleClickInModeOneForwardsNothing) {
    Send(*panel_, CellSelect, 2);
    panel_->SetSplitMode(1);
    EXPECT_EQ(panel_->Selected(), 0);
    EXPECT_EQ(CellGeometry(*panel_, 0), QRect(0, 0, 799, 599));
    Pump();
    owner_.received.clear();
    Send(*panel_, CellActivate, 0);
    Pump();
    EXPECT_EQ(owner_.Count(CellActivate), 0);
    EXPECT_FALSE(panel_->IsMaximized());
    EXPECT_EQ(CellGeometry(*panel_, 0), QRect(0, 0, 799, 599));
}

TEST_F(ScreenPannelTest, HitTestGivesTheLowerIndexOnASharedEdge) {
    EXPECT_EQ(panel_->HitTest(QPoint(400, 100)), 0);  // edge of cells 0 and 1
    EXPECT_EQ(panel_->HitTest(QPoint(400, 300)), 0);  // corner of all four
    EXPECT_EQ(panel_->HitTest(QPoint(600, 300)), 1);
    EXPECT_EQ(panel_->HitTest(QPoint(799, 599)), 3);
    EXPECT_EQ(panel_->HitTest(QPoint(800, 10)), -1);
    EXPECT_EQ(panel_->HitTest(QPoint(-1, 10)), -1);
}

TEST_F(ScreenPannelTest, CellAccessIsBoundedAndHiddenCellsConvertNothing) {
    EXPECT_EQ(panel_->Cell(-1), nullptr);
    EXPECT_EQ(panel_->Cell(36), nullptr);
    EXPECT_EQ(panel_->VideoSurfaceOf(36), nullptr);
    EXPECT_EQ(panel_->InsetSurfaceOf(-1), nullptr);
    EXPECT_EQ(panel_->PaintedPictures(40), 0u);
    auto* shown = static_cast<player::VideoSurface*>(panel_->VideoSurfaceOf(0));
    auto* hidden = static_cast<player::VideoSurface*>(panel_->VideoSurfaceOf(5));
    ASSERT_NE(shown, nullptr);
    const QSize video = panel_->Cell(0)->VideoWindow()->size();
    EXPECT_EQ(shown->CurrentFormat().width, video.width());
    EXPECT_EQ(shown->CurrentFormat().height, video.height());
    EXPECT_EQ(hidden->CurrentFormat().width, 0);
    EXPECT_EQ(hidden->CurrentFormat().height, 0);
    panel_->SetSplitMode(9);
    EXPECT_GT(hidden->CurrentFormat().width, 0);
}

TEST(ScreenPannel, PlaybackCellsShowTheBarOfTheSelectedCellOnly) {
    MessageLog owner;
    owner.resize(640, 480);
    UIScreenPannel panel(&owner, {4, UIScreenWnd::kStripPlayback, true}, &owner);
    panel.setGeometry(0, 0, 640, 480);
    panel.SetSplitMode(4);
    owner.show();
    ASSERT_EQ(panel.CellCount(), 4);
    EXPECT_EQ(panel.Cell(4), nullptr);
    auto bar = [&](int i) { return panel.Cell(i)->VideoWindow()->Bar()->isVisible(); };
    EXPECT_TRUE(bar(0));
    EXPECT_FALSE(bar(1));
    Send(panel, CellSelect, 2);
    EXPECT_FALSE(bar(0));
    EXPECT_TRUE(bar(2));
    Send(panel, CellMenu, 1);
    EXPECT_FALSE(bar(2));
    EXPECT_TRUE(bar(1));
    // The video window sits below the 18-pixel title strip and reaches the bottom frame.
    EXPECT_EQ(panel.Cell(0)->VideoWindow()->geometry(), QRect(1, 19, 318, 240 - 18 - 2));
    // The bar's clicks address the page directly.
    panel.Cell(1)->VideoWindow()->Bar()->findChild<QPushButton*>("pbStopBtn")->click();
    ASSERT_NE(owner.Last(1162), nullptr);
    EXPECT_EQ(owner.Last(1162)->wParam, 1);
    // Cells the layout shows beyond the cell count do not exist for the hit test.
    panel.SetSplitMode(9);
    EXPECT_EQ(panel.HitTest(QPoint(630, 470)), -1);
    EXPECT_EQ(panel.HitTest(QPoint(10, 10)), 0);
}

TEST(ScreenCell, TitleAndStatusStripTexts) {
    MessageLog owner;
    UIScreenPannel panel(&owner, {}, nullptr);
    UIScreenWnd* cell = panel.Cell(2);
    EXPECT_EQ(cell->Title(), "Windows3");
    EXPECT_EQ(cell->StatusText(), "");
    cell->SetChannelName("Gate");
    EXPECT_EQ(cell->Title(), "Windows3: Gate");
    EXPECT_EQ(cell->VideoWindow()->ChannelName(), "Gate");
    EXPECT_EQ(cell->StatusText(), "Gate");  // the strip was empty
    cell->SetStatus("36.5 C", 0xFF2E9E5B);
    cell->SetChannelName("Door");
    EXPECT_EQ(cell->StatusText(), "36.5 C");  // a written strip keeps its text
    EXPECT_EQ(cell->StatusBackground(), 0xFF2E9E5Bu);
    cell->SetChannelName("");
    EXPECT_EQ(cell->Title(), "Windows3");
    EXPECT_EQ(cell->VideoWindow()->PictureArea()->Background(), 0xFF313131u);
}

TEST(ScreenPannel, FullScreenCoversTheScreenAndReturnsToThePage) {
    QWidget mainWindow;
    auto* page = new MessageLog;
    auto* layout = new QVBoxLayout(&mainWindow);
    layout->addWidget(page);
    mainWindow.resize(800, 600);
    UIScreenPannel* panel = new UIScreenPannel(page, {}, page);
    panel->setGeometry(10, 20, 400, 300);
    panel->SetSplitMode(4);
    mainWindow.show();
    Pump();

    panel->EnterFullScreen(page);
    EXPECT_TRUE(panel->IsFullScreen());
    EXPECT_TRUE(panel->isWindow());
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry(), page->screen()->geometry());
    EXPECT_FALSE(page->isVisible());
    EXPECT_FALSE(mainWindow.isVisible());
    EXPECT_EQ(panel->Cell(3)->geometry().right(), panel->width() / 2 * 2 - 1 - 1);
    // Escape on the full-screen panel itself reaches the page as CellKey.
    QTest::keyClick(panel, Qt::Key_Escape);
    ASSERT_TRUE(PumpUntil([&] { return page->Count(CellKey) == 1; }, 2000));
    EXPECT_EQ(page->Last(CellKey)->wParam, kEscapeKeyCode);

    panel->LeaveFullScreen();
    EXPECT_FALSE(panel->IsFullScreen());
    EXPECT_EQ(panel->parentWidget(), page);
    EXPECT_EQ(panel->geometry(), QRect(10, 20, 400, 300));
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(CellGeometry(*panel, 1), QRect(200, 0, 199, 150));
}

TEST(ScreenPannel, DestroyingThePageInFullScreenTakesThePanelAlong) {
    auto* page = new QWidget;
    QPointer<UIScreenPannel> panel = new UIScreenPannel(page, {}, page);
    panel->resize(200, 100);
    page->show();
    panel->EnterFullScreen(page);
    ASSERT_TRUE(panel->isWindow());
    delete page;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(panel.isNull());
}

}  // namespace
}  // namespace ocv
