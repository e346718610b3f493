// The live view page inside the main window: its tab, what a hidden page decodes, opening from
// the tree, split choices, maximising, dragging between cells, full screen and the start-up
// restore. Devices are configured but never answer, so cells attach players without pictures.
#include <QStackedWidget>
#include <QTest>
#include <QTreeWidget>

#include "device/device_service.h"
#include "videogrid/cell_messages.h"
#include "liveview/realplay_dlg.h"
#include "videogrid/screen_pannel.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_wnd.h"
#include "shell/main_dlg.h"
#include "widgets/window_message.h"
#include "store/relaxed.h"
#include "tests/liveview/decoder_probe.h"
#include "tests/shell/shell_fixture.h"
#include "tests/shell/test_classes.h"

using namespace ocv;
using ocv::test::ShellFixture;

namespace {

// Ports on which nothing listens.
std::vector<mkdb::DemoDevice> Site() { return {{"127.0.0.1", 9, 16}, {"127.0.0.1", 7, 4}}; }

std::unique_ptr<MainDlg> LoggedInWindow(ShellFixture& f) {
    const UserInfo& admin = f.store().user(f.SlotOf("admin"));
    f.store().SaveLoginMemory(admin.id, admin.password, 1);
    auto window = std::make_unique<MainDlg>(*f.service, nullptr, MainDlg::Options{false});
    if (!window->Create()) return nullptr;
    window->resize(1280, 800);
    window->show();
    QCoreApplication::processEvents();
    return window;
}

UIRealPlayDlg* LivePage(MainDlg& window) { return window.findChild<UIRealPlayDlg*>(); }

QWidget* Video(UIRealPlayDlg* page, int cell) { return page->panel()->Cell(cell)->VideoWindow(); }

void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// The decoders of cells 0..n-1: R runs, P paused, - takes no input.
QString Decoders(DeviceService& service, int n) {
    QString out;
    for (int k = 0; k < n; ++k) {
        test::Decoder d = test::ProbeDecoder(service.players().slot(k).port.load());
        out += d == test::Decoder::kRuns ? 'R' : d == test::Decoder::kPaused ? 'P' : '-';
    }
    return out;
}

}  // namespace

void RealPlayTest::opensAtStartAndDecodesNothingWhileHidden() {
    ShellFixture f(Site());
    auto window = LoggedInWindow(f);
    QVERIFY(window);
    QVERIFY(window->HasPage("realPlay"));
    QVERIFY(window->findChild<QWidget*>("realPlayCtrlTab"));
    QVERIFY(window->findChild<QWidget*>("realPlayTabCtrl"));
    QVERIFY(window->findChild<QWidget*>("realPlayButtonTab"));
    UIRealPlayDlg* page = LivePage(*window);
    QVERIFY(page);
    QCOMPARE(page->panel()->SplitMode(), 4);
    QCOMPARE(f.service->players().VisibleCount(), 4);
    window->OpenPage("userSetup");
    QCOMPARE(f.service->players().VisibleCount(), 0);
    window->OpenPage("realPlay");
    QCOMPARE(f.service->players().VisibleCount(), 4);
}

void RealPlayTest::treeDoubleClickOpensIntoTheSelectedCellAndLabelsIt() {
    ShellFixture f(Site());
    auto window = LoggedInWindow(f);
    UIRealPlayDlg* page = LivePage(*window);
    QVERIFY(page);
    QTreeWidgetItem* item = page->ChannelItem(0, 0, 2);
    QVERIFY(item);
    QCOMPARE(item->text(0), QString("Demo 1-C03"));
    page->SelectCell(3);
    emit page->tree()->itemDoubleClicked(item, 0);
    QCOMPARE(page->controller().CellChannel(3), ChannelIdOf(0, 2));
    QCOMPARE(page->panel()->Cell(3)->StatusText(), QString("Demo 1-C3"));
    // A group node only opens or closes.
    QTreeWidgetItem* group = page->tree()->topLevelItem(0);
    bool expanded = group->isExpanded();
    emit page->tree()->itemDoubleClicked(group, 0);
    QCOMPARE(group->isExpanded(), !expanded);
    // Closing every cell clears the strip.
    page->CloseCell(-1);
    QCOMPARE(page->controller().CellChannel(3), -1);
    QCOMPARE(page->panel()->Cell(3)->StatusText(), QString());
}

void RealPlayTest::splitChoiceIsAppliedRememberedAndReusedAtTheNextStart() {
    ShellFixture f(Site());
    {
        auto window = LoggedInWindow(f);
        UIRealPlayDlg* page = LivePage(*window);
        page->OpenChannelInCell(1, 3, 30);
        PostWindowMessage(page, SplitChosen, 9, 0);
        Settle();
        QCOMPARE(page->panel()->SplitMode(), 9);
        QCOMPARE(f.service->players().VisibleCount(), 9);
        PostWindowMessage(page, SplitChosen, 5, 0);  // not a split mode
        Settle();
        QCOMPARE(page->panel()->SplitMode(), 9);
        page->controller().OpenFromTree(1, 3);       // shown in cell 30 already
        page->controller().DropChannel(1, 2, 31);
    }
    f.service->players().SetVisibleSplit(4);
    MainDlg window(*f.service, nullptr, MainDlg::Options{false});
    QVERIFY(window.Create());
    UIRealPlayDlg* page = LivePage(window);
    QCOMPARE(page->panel()->SplitMode(), 9);
    QCOMPARE(page->controller().screenMemory().channelIds[31], Relaxed(f.store().device(1).channels[2].id));
    // The remembered cells come back when the restore worker asks.
    PostWindowMessage(page, 1209, 0, 0);
    Settle();
    QCOMPARE(page->controller().CellChannel(31), ChannelIdOf(1, 2));
}

void RealPlayTest::doubleClickMaximisesAndPausesOthersThenRestores() {
    ShellFixture f(Site());
    SetRelaxed(f.store().MutableSettingsForTesting().SHOWMODE, 1);
    auto window = LoggedInWindow(f);
    UIRealPlayDlg* page = LivePage(*window);
    for (int cell = 0; cell < 4; ++cell) QCOMPARE(page->OpenChannelInCell(0, cell, cell), 0);
    QCOMPARE(Decoders(*f.service, 4), QString("RRRR"));
    QTest::mouseDClick(Video(page, 2), Qt::LeftButton, {}, QPoint(10, 10));
    Settle();
    QVERIFY(page->panel()->IsMaximized());
    QCOMPARE(page->panel()->Selected(), 2);
    QCOMPARE(f.service->players().slot(2).wantsMain.load(), 1);
    // Only the maximised cell decodes.
    QCOMPARE(Decoders(*f.service, 4), QString("PPRP"));
    QTest::mouseDClick(Video(page, 2), Qt::LeftButton, {}, QPoint(10, 10));
    Settle();
    QVERIFY(!page->panel()->IsMaximized());
    QCOMPARE(Decoders(*f.service, 4), QString("RRRR"));
    // Split 4 again: its four cells show the main stream.
    QCOMPARE(f.service->players().slot(2).wantsMain.load(), 1);
    QCOMPARE(f.service->players().slot(5).wantsMain.load(), 0);
}

void RealPlayTest::dragFromOneCellToAnotherSwapsThem() {
    ShellFixture f(Site());
    auto window = LoggedInWindow(f);
    UIRealPlayDlg* page = LivePage(*window);
    page->OpenChannelInCell(0, 5, 0);
    QWidget* source = Video(page, 0);
    QWidget* target = Video(page, 1);
    // The press grabs the mouse: move and release reach the source window, in its coordinates.
    QPoint over = source->mapFromGlobal(target->mapToGlobal(QPoint(20, 20)));
    QTest::mousePress(source, Qt::LeftButton, {}, QPoint(20, 20));
    QMouseEvent move(QEvent::MouseMove, over, source->mapToGlobal(over), Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(source, &move);
    QTest::mouseRelease(source, Qt::LeftButton, {}, over);
    Settle();
    QCOMPARE(page->controller().CellChannel(1), ChannelIdOf(0, 5));
    QCOMPARE(page->controller().CellChannel(0), -1);
    QCOMPARE(page->controller().screenMemory().channelIds[1], Relaxed(f.store().device(0).channels[5].id));
    // A click without a move swaps nothing.
    QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(5, 5));
    Settle();
    QCOMPARE(page->controller().CellChannel(1), ChannelIdOf(0, 5));
}

void RealPlayTest::fullScreenTakesThePanelOutAndEscapeBringsItBack() {
    ShellFixture f(Site());
    auto window = LoggedInWindow(f);
    UIRealPlayDlg* page = LivePage(*window);
    page->ToggleFullScreen();
    Settle();
    QVERIFY(page->panel()->isWindow());
    QVERIFY(!window->isVisible());
    QTest::keyClick(Video(page, 0), Qt::Key_Escape);
    Settle();
    QVERIFY(!page->IsFullScreen());
    QVERIFY(!page->panel()->isWindow());
    QVERIFY(window->isVisible());
    QVERIFY(page->isAncestorOf(page->panel()));
}

void RealPlayTest::dropFromTheTreeOpensMovesOrShowsTheGroup() {
    ShellFixture f(Site());
    auto window = LoggedInWindow(f);
    UIRealPlayDlg* page = LivePage(*window);
    auto centreOf = [&](int cell) { return Video(page, cell)->mapTo(page, Video(page, cell)->rect().center()); };
    QTreeWidgetItem* channel = page->ChannelItem(0, 1, 2);
    QVERIFY(channel);
    page->DropTreeItem(channel, centreOf(3));
    QCOMPARE(page->controller().CellChannel(3), ChannelIdOf(1, 2));
    page->DropTreeItem(channel, centreOf(1));  // moved, not copied
    QCOMPARE(page->controller().CellChannel(1), ChannelIdOf(1, 2));
    QCOMPARE(page->controller().CellChannel(3), -1);
    page->DropTreeItem(channel, QPoint(2, 2));  // on the tree, outside the panel
    QCOMPARE(page->controller().CellChannel(1), ChannelIdOf(1, 2));
    page->DropTreeItem(page->tree()->topLevelItem(0), centreOf(2));
    QCOMPARE(page->controller().CellChannel(0), ChannelIdOf(0, 0));
    QCOMPARE(page->controller().CellChannel(19), ChannelIdOf(1, 3));
    QCOMPARE(page->controller().currentGroup(), 0);
}
