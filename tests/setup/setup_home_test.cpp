// The setup home page and the main window around it: tiles gated by the operator's rights and
// opening what they name, the menus' items and ids, Logout bringing the setup home to the front,
// File 0 opening the snapshot viewer, and the frame (maximise and restore buttons, size grip,
// edge resizing, the size lock).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSizeGrip>
#include <QTimer>
#include <QToolButton>

#include "setup/group_setup_page.h"
#include "setup/setup_home_page.h"
#include "setup/system_display_config.h"
#include "setup/system_setup_page.h"
#include "shell/client_pages.h"
#include "shell/window_config.h"
#include "snapshots/snapshot_viewer_dlg.h"
#include "tests/setup/setup_test_support.h"
#include "widgets/login_dialog.h"
#include "widgets/window_message.h"

using namespace ocv;
using ocv::test::ShellFixture;

namespace {

// The texts of a menu of the main window, in item order.
QStringList MenuTexts(MainDlg& window, const char* popup) {
    QStringList out;
    if (auto* menu = window.findChild<QMenu*>(popup))
        for (QAction* a : menu->actions()) out << a->text();
    return out;
}

void Settle(MainDlg& window) {
    for (int i = 0; i < 3; ++i) {
        window.events().DeliverPending();
        QCoreApplication::processEvents();
    }
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(local), QPointF(w->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

}  // namespace

TEST(SetupHome, TilesFollowTheRightsAndOpenWhatTheyName) {
    ShellFixture f;
    bool rights[kRightCount] = {};
    rights[kRightExit] = rights[kRightLiveView] = rights[kRightLoadDevice] = true;
    ASSERT_GE(f.AddAccount("guard", "pw", 2, OptionFromBoxes(rights)), 0);
    auto window = test::LoggedInWindow(f, "guard");
    ASSERT_TRUE(window);
    ASSERT_TRUE(window->HasPage("setup")) << "opened at start";
    auto* home = window->findChild<UISetupDlg*>();
    ASSERT_NE(home, nullptr);
    home->Refresh();
    QToolButton* groups = home->Tile("Load Device");
    QToolButton* settings = home->Tile("System Settings");
    QToolButton* capture = home->Tile("Open capture file");
    ASSERT_TRUE(groups && settings && capture);
    EXPECT_TRUE(groups->isEnabled());
    EXPECT_FALSE(settings->isEnabled());
    EXPECT_EQ(settings->toolTip(), "Insufficient permissions to operate!");
    EXPECT_TRUE(capture->isEnabled());
    // Every page with a menu entry has its tile.
    for (const PageInfo& p : ClientPages()) {
        if (p.name != "setup" && p.menu.menuMessage != 0) {
            EXPECT_NE(home->Tile(p.title), nullptr) << p.title;
        }
    }

    groups->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->HasPage("loadDevice"));

    // The administrator gets every tile once the home shows again.
    LogInAs(f.store().user(f.SlotOf("admin")));
    home->OnUserChanged();
    EXPECT_TRUE(settings->isEnabled());
    settings->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->HasPage("systemSetup"));
}

TEST(SetupHome, SummaryCountsDevicesChannelsAndGroupsAndFollowsChanges) {
    ShellFixture f({{"127.0.0.1", 9, 4}, {"127.0.0.1", 7, 2}});
    auto window = test::LoggedInWindow(f);
    ASSERT_TRUE(window);
    auto* home = window->findChild<UISetupDlg*>();
    ASSERT_NE(home, nullptr);
    auto* summary = home->findChild<QLabel*>("summaryLabel");
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->text().simplified(), "Devices: 2 Channels: 6 Groups: 1");
    ASSERT_EQ(f.store().AddGroup("Yard"), 0);
    Settle(*window);
    EXPECT_EQ(summary->text().simplified(), "Devices: 2 Channels: 6 Groups: 2");
}

TEST(MainWindowMenus, MenusCarryTheirItemsAndOpenWhatTheyName) {
    ShellFixture f;
    auto window = test::LoggedInWindow(f);
    ASSERT_TRUE(window);
    const QStringList file = MenuTexts(*window, "fileMenuPopup");
    EXPECT_EQ(file, (QStringList{"Open capture file", "Exit system"}));
    const QStringList system = MenuTexts(*window, "systemMenuPopup");
    EXPECT_EQ(system, (QStringList{"Logout", "System Settings", "Import file", "Export file"}));
    const QStringList view = MenuTexts(*window, "viewMenuPopup");
    ASSERT_GE(view.size(), 10);
    EXPECT_EQ(view[7], "Full Screen");
    EXPECT_EQ(view[8], "Control");
    EXPECT_EQ(view[9], "Live view");
    const QStringList tool = MenuTexts(*window, "toolMenuPopup");
    ASSERT_GE(tool.size(), 2);
    EXPECT_EQ(tool[0], "Load Device");
    EXPECT_TRUE(tool.contains("User Config"));

    window->ClosePage("setup");
    PostWindowMessage(window.get(), kMsgViewMenu, 8, 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->HasPage("setup"));
    PostWindowMessage(window.get(), kMsgSystemMenu, 2, 0);
    QCoreApplication::processEvents();
    EXPECT_NE(window->findChild<UISystemSetupDlg*>(), nullptr);
    PostWindowMessage(window.get(), kMsgToolMenu, 0, 0);
    QCoreApplication::processEvents();
    EXPECT_NE(window->findChild<UIGroupSetupDlg*>(), nullptr);

    // File 0: the snapshot viewer, modal, on the settings' capture path.
    QString opened;
    window->SetModalHookForTesting([&](QDialog& dialog) {
        if (qobject_cast<UISnapshotDlg*>(&dialog)) opened = dialog.metaObject()->className();
    });
    PostWindowMessage(window.get(), kMsgFileMenu, 0, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(opened, "ocv::UISnapshotDlg");

    // The setup option brings the setup home to the front and shows that it is there.
    auto* option = window->findChild<QPushButton*>("setupOption");
    ASSERT_NE(option, nullptr);
    window->OpenPage("systemSetup");
    EXPECT_FALSE(option->isChecked());
    option->click();
    EXPECT_TRUE(option->isChecked());
    EXPECT_EQ(window->FindPage("setup")->Widget()->isVisible(), true);
}

TEST(MainWindowMenus, LogoutBringsTheSetupHomeToTheFrontAndLeavesNobodyLoggedIn) {
    ShellFixture f;
    auto window = test::LoggedInWindow(f);
    ASSERT_TRUE(window);
    window->ClosePage("setup");
    const std::string password = f.store().user(f.SlotOf("admin")).password;
    // The confirming login is answered with the right password.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<UILoginDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* pass = dialog->findChild<QLineEdit*>("loginPassEdit");
        ASSERT_NE(pass, nullptr);
        pass->setText(QString::fromStdString(password));
        dialog->TryLogin();
    });
    window->Logout();
    EXPECT_TRUE(window->HasPage("setup"));
    EXPECT_TRUE(window->FindPage("setup")->Widget()->isVisible());
    EXPECT_FALSE(CurrentSession().LoggedIn());
}

TEST(MainWindowFrame, MaximiseAndRestoreSwapAndViewSizesBringTheNormalWindowBack) {
    ShellFixture f;
    auto window = test::LoggedInWindow(f);
    ASSERT_TRUE(window);
    auto* maxBtn = window->findChild<QPushButton*>("maxBtn");
    auto* restoreBtn = window->findChild<QPushButton*>("restoreBtn");
    auto* grip = window->findChild<QSizeGrip*>("sizeGrip");
    ASSERT_TRUE(maxBtn && restoreBtn && grip);
    EXPECT_TRUE(maxBtn->isVisible());
    EXPECT_FALSE(restoreBtn->isVisible());
    EXPECT_TRUE(grip->isVisible());

    maxBtn->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_FALSE(maxBtn->isVisible());
    EXPECT_TRUE(restoreBtn->isVisible());
    EXPECT_FALSE(grip->isVisible());

    // A View size from the maximised window: normal again, the buttons swap back.
    window->ApplyViewSize(1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(window->size(), QSize(1024, 768));
    EXPECT_TRUE(maxBtn->isVisible());
    EXPECT_FALSE(restoreBtn->isVisible());

    // Full screen and back.
    window->OnMenu(kMsgViewMenu, 7);
    QCoreApplication::processEvents();
    EXPECT_TRUE(restoreBtn->isVisible());
    restoreBtn->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isFullScreen());
    EXPECT_TRUE(maxBtn->isVisible());
}

TEST(MainWindowFrame, EdgesResizeTheFramelessWindowDownToItsMinimum) {
    ShellFixture f;
    auto window = test::LoggedInWindow(f);
    ASSERT_TRUE(window);
    window->ApplyViewSize(2);  // 1280 x 1024
    const QSize start = window->size();
    const QPoint corner(start.width() - 2, start.height() - 2);
    SendMouse(window.get(), QEvent::MouseButtonPress, corner, Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseMove, corner + QPoint(-100, -50), Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseButtonRelease, corner + QPoint(-100, -50), Qt::NoButton);
    EXPECT_EQ(window->size(), start - QSize(100, 50));

    // Dragged far past the other side: the window stops at its minimum, its right edge stays.
    const QRect before = window->geometry();
    SendMouse(window.get(), QEvent::MouseButtonPress, QPoint(1, 300), Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseMove, QPoint(5000, 300), Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseButtonRelease, QPoint(5000, 300), Qt::NoButton);
    EXPECT_EQ(window->width(), window->minimumWidth());
    EXPECT_EQ(window->geometry().right(), before.right());
    EXPECT_GE(window->minimumWidth(), 800);
}

TEST(MainWindowFrame, TheSizeLockFixesTheWindowAndFollowsTheSavedSettings) {
    ShellFixture f;
    auto window = test::LoggedInWindow(f);
    ASSERT_TRUE(window);
    window->ApplyViewSize(1);  // 1024 x 768
    const std::string ini = f.dir / "config.ini";
    ASSERT_TRUE(SaveWindowSizeLock(ini, WindowSizeLock{true, 1024, 768}));
    // The settings page saves config.ini first, then the record, whose change notice the window
    // reads the lock on.
    ASSERT_EQ(f.store().SaveSettings(f.store().settings(), false), 0);
    Settle(*window);
    ASSERT_TRUE(window->sizeLocked());
    EXPECT_EQ(window->minimumSize(), QSize(1024, 768));
    EXPECT_EQ(window->maximumSize(), QSize(1024, 768));
    EXPECT_FALSE(window->findChild<QPushButton*>("maxBtn")->isEnabled());
    EXPECT_FALSE(window->findChild<QSizeGrip*>("sizeGrip")->isVisible());

    // The edges do nothing while locked.
    const QPoint corner(1022, 766);
    SendMouse(window.get(), QEvent::MouseButtonPress, corner, Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseMove, corner + QPoint(-100, -100), Qt::LeftButton);
    SendMouse(window.get(), QEvent::MouseButtonRelease, corner, Qt::NoButton);
    EXPECT_EQ(window->size(), QSize(1024, 768));

    // A View size moves the lock to the size chosen, and the next start keeps it.
    window->ApplyViewSize(2);
    EXPECT_EQ(window->size(), QSize(1280, 1024));
    const ResolutionBlock stored = LoadResolution(ini);
    EXPECT_EQ(stored.width, 1280);
    EXPECT_EQ(stored.flag, 0);
    EXPECT_TRUE(LoadWindowSizeLock(ini).locked);

    ASSERT_TRUE(SaveWindowSizeLock(ini, WindowSizeLock{false, 1280, 1024}));
    ASSERT_EQ(f.store().SaveSettings(f.store().settings(), false), 0);
    Settle(*window);
    EXPECT_FALSE(window->sizeLocked());
    EXPECT_TRUE(window->findChild<QPushButton*>("maxBtn")->isEnabled());
    EXPECT_EQ(window->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}
