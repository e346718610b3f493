#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "shell/main_dlg.h"
#include "setup/user_setup_page.h"
#include "tests/shell/shell_fixture.h"
#include "tests/shell/test_classes.h"

using namespace ocv;
using ocv::test::ShellFixture;

namespace {

void SelectRow(UIUserSetupDlg& page, const char* name) {
    QTableWidget* list = page.list();
    for (int row = 0; row < list->rowCount(); ++row)
        if (list->item(row, 1)->text() == name) {
            list->selectRow(row);
            return;
        }
    QFAIL("account not listed");
}

}  // namespace

void RightsTest::viewUserPresetLacksCheckTime() {
    ShellFixture f;
    LogInAs(f.store().user(f.SlotOf("admin")));
    UIUserSetupDlg page(f.store(), f.service->log(), nullptr);
    page.SetFormHookForTesting([](UIModifyDlg& form) {
        form.findChild<QLineEdit*>("editUserName")->setText("viewer");
        form.findChild<QLineEdit*>("editUserPass")->setText("pw");
        form.findChild<QLineEdit*>("editUserCkPass")->setText("pw");
        form.findChild<QComboBox*>("comboUserLevel")->setCurrentIndex(1);
        return true;
    });
    page.AddAccount();
    QCOMPARE(f.Texts(), QStringList{"New account successfully!"});
    int slot = f.SlotOf("viewer");
    QVERIFY(slot >= 0);
    QCOMPARE(f.store().user(slot).option, 2238);
    QCOMPARE(f.store().user(slot).level, kLevelViewUser);
    QCOMPARE(page.list()->rowCount(), 2);

    LogInAs(f.store().user(slot));
    f.messages.clear();
    QVERIFY(!CheckRight(nullptr, kRightCheckTime));
    QCOMPARE(f.Texts(), QStringList{"Insufficient permissions to operate!"});
    QCOMPARE(f.messages[0].kind, int(kMsgError));
    QVERIFY(CheckRight(nullptr, 7));
    QVERIFY(CheckRight(nullptr, 11));
    QCOMPARE(f.messages.size(), size_t(1));
}

void RightsTest::levelPresetsAndOptionBits() {
    QCOMPARE(LevelPreset(kLevelAdministrator), 0x3FFF);
    QCOMPARE(LevelPreset(kLevelViewUser), (1 << 1) | (1 << 2) | (1 << 3) | (1 << 4) | (1 << 5) | (1 << 7) | (1 << 11));
    QCOMPARE(LevelPreset(kLevelGuest), 0);
    bool boxes[kRightCount] = {};
    boxes[0] = boxes[13] = true;
    QCOMPARE(OptionFromBoxes(boxes), 1 | (1 << 13));
    QCOMPARE(QString(LevelText(7)), QString("Guest user"));
    UserSession s;
    QVERIFY(!s.LoggedIn());
    QCOMPARE(s.user().level, -1);
    QVERIFY(!s.HasRight(-1));
    QVERIFY(!s.HasRight(40));
}

void RightsTest::administratorWithoutExitRightCannotLeave() {
    ShellFixture f;
    int slot = f.AddAccount("boss", "pw", kLevelAdministrator, kAllRights & ~1);
    LogInAs(f.store().user(slot));
    f.store().SaveLoginMemory(f.store().user(slot).id, "pw", 1);
    f.store().MutableSettingsForTesting().ENABLEOSD = 0;
    MainDlg window(*f.service, nullptr, MainDlg::Options{false});
    QVERIFY(window.Create());
    window.show();
    f.messages.clear();
    QVERIFY(!window.ExitSystem(false));
    QCOMPARE(f.Texts(), (QStringList{"Do you want to exit the system?", "Insufficient permissions to operate!"}));
    QVERIFY(window.isVisible());
    QVERIFY(!window.closedByExit());
    // The close button takes the same road.
    f.messages.clear();
    window.close();
    QVERIFY(window.isVisible());
    QCOMPARE(f.messages.size(), size_t(2));
}

void RightsTest::deletingOwnAccountIsRefused() {
    ShellFixture f;
    int admin = f.SlotOf("admin");
    QVERIFY(f.AddAccount("second", "pw", kLevelAdministrator, kAllRights) >= 0);
    LogInAs(f.store().user(admin));
    UIUserSetupDlg page(f.store(), f.service->log(), nullptr);
    page.DeleteAccount();
    QCOMPARE(f.Texts(), QStringList{"Please select the account you want to delete!"});
    f.messages.clear();
    SelectRow(page, "admin");
    page.DeleteAccount();
    QCOMPARE(f.Texts(), (QStringList{"Do you want to delete your account?", "You can not delete your own account!"}));
    QCOMPARE(f.SlotOf("admin"), admin);

    // Another account goes, after the question.
    f.messages.clear();
    SelectRow(page, "second");
    page.DeleteAccount();
    QCOMPARE(f.SlotOf("second"), -1);
    QCOMPARE(page.list()->rowCount(), 1);

    // A View User may not delete at all.
    int viewer = f.AddAccount("viewer", "", kLevelViewUser, kViewUserRights);
    LogInAs(f.store().user(viewer));
    page.Refresh();
    f.messages.clear();
    SelectRow(page, "admin");
    page.DeleteAccount();
    QCOMPARE(f.Texts(), QStringList{"Insufficient permissions!"});
    QCOMPARE(f.SlotOf("admin"), admin);
}

void RightsTest::afterLogoutCheckRightOffersLoginSilently() {
    ShellFixture f;
    LogOut();
    QVERIFY(!CheckRight(nullptr, 0));
    QCOMPARE(f.loginOffers, 1);
    QVERIFY(f.messages.empty());
}

void RightsTest::accountFormRefusesEmptyNameAndMismatch() {
    ShellFixture f;
    LogInAs(f.store().user(f.SlotOf("admin")));
    UIModifyDlg form(nullptr, nullptr);
    QVERIFY(!form.Collect());
    form.findChild<QLineEdit*>("editUserName")->setText("x");
    form.findChild<QLineEdit*>("editUserPass")->setText("a");
    form.findChild<QLineEdit*>("editUserCkPass")->setText("A");
    QVERIFY(!form.Collect());
    QCOMPARE(f.Texts(), (QStringList{"Username can not be empty!", "Password verification failed!"}));

    // A non-administrator modifying an account may change the password only.
    int viewer = f.AddAccount("viewer", "", kLevelViewUser, kViewUserRights);
    LogInAs(f.store().user(viewer));
    UserInfo account = f.store().user(viewer);
    UIModifyDlg edit(&account, nullptr);
    QVERIFY(!edit.findChild<QComboBox*>("comboUserLevel")->isEnabled());
    QVERIFY(!edit.findChild<QWidget*>("opUserExit")->isEnabled());
    QVERIFY(!edit.findChild<QWidget*>("opLevelAll")->isEnabled());
}

void RightsTest::duplicateAccountReportsFailure() {
    ShellFixture f;
    LogInAs(f.store().user(f.SlotOf("admin")));
    UIUserSetupDlg page(f.store(), f.service->log(), nullptr);
    page.SetFormHookForTesting([](UIModifyDlg& form) {
        form.findChild<QLineEdit*>("editUserName")->setText("admin");
        return true;
    });
    page.AddAccount();
    QCOMPARE(f.Texts(), QStringList{"Create Account Failed!"});
}

void RightsTest::onlyAnAdministratorChangesOtherAccounts() {
    ShellFixture f;
    int admin = f.SlotOf("admin");
    int viewer = f.AddAccount("viewer", "old", kLevelViewUser, kViewUserRights);
    QVERIFY(viewer >= 0);
    LogInAs(f.store().user(viewer));
    UIUserSetupDlg page(f.store(), f.service->log(), nullptr);
    int formsOpened = 0;
    page.SetFormHookForTesting([&](UIModifyDlg& form) {
        ++formsOpened;
        form.findChild<QLineEdit*>("editUserPass")->setText("newpw");
        form.findChild<QLineEdit*>("editUserCkPass")->setText("newpw");
        // Whatever the form hands back beyond the password is not taken from a View User.
        auto* level = form.findChild<QComboBox*>("comboUserLevel");
        level->setEnabled(true);
        level->setCurrentIndex(kLevelAdministrator);
        for (QCheckBox* box : form.findChildren<QCheckBox*>()) {
            box->setEnabled(true);
            box->setChecked(true);
        }
        return true;
    });

    // The Administrator's account is not the View User's to change.
    SelectRow(page, "admin");
    page.ModifyAccount();
    QCOMPARE(f.Texts(), QStringList{"Insufficient permissions!"});
    QCOMPARE(formsOpened, 0);
    QCOMPARE(QString(f.store().user(admin).password), QString(""));

    // Their own: the password, and nothing else.
    f.messages.clear();
    SelectRow(page, "viewer");
    page.ModifyAccount();
    QCOMPARE(f.Texts(), QStringList{"Edit account successfully!"});
    QCOMPARE(QString(f.store().user(viewer).password), QString("newpw"));
    QCOMPARE(f.store().user(viewer).level, kLevelViewUser);
    QCOMPARE(f.store().user(viewer).option, kViewUserRights);
    QCOMPARE(QString(CurrentSession().user().password), QString("newpw"));

    // An Administrator changes any account, level and rights included.
    LogInAs(f.store().user(admin));
    f.messages.clear();
    SelectRow(page, "viewer");
    page.ModifyAccount();
    QCOMPARE(f.store().user(viewer).level, kLevelAdministrator);
    QCOMPARE(f.store().user(viewer).option, kAllRights);

    // Nobody logged in (a page that outlived a logout): a login is asked for, nothing changes.
    LogOut();
    f.messages.clear();
    formsOpened = 0;
    SelectRow(page, "admin");
    page.ModifyAccount();
    page.AddAccount();
    page.DeleteAccount();
    QCOMPARE(f.loginOffers, 3);
    QCOMPARE(formsOpened, 0);
    QVERIFY(f.messages.empty());
    QCOMPARE(f.SlotOf("admin"), admin);
}

void RightsTest::usersPageNeedsALoginAndClosesAtLogoutAndLock() {
    ShellFixture f;
    // Ends a modal loop the test failed to answer, so a fault fails the test instead of hanging it.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->done(QDialog::Rejected);
    });
    guard.start(5000);
    int boss = f.AddAccount("boss", "pw", kLevelAdministrator, kAllRights);
    f.store().SaveLoginMemory(f.store().user(boss).id, "pw", 1);
    MainDlg window(*f.service, nullptr, MainDlg::Options{false});
    QVERIFY(window.Create());
    window.show();
    QVERIFY(window.HasPage("realPlay"));  // opened at start: nothing else was asked for
    window.OpenPage("userSetup");
    QVERIFY(window.HasPage("userSetup"));

    // Logout: the confirming login is answered, then nobody is logged in and the page is gone.
    QTimer::singleShot(0, [] {
        auto* confirm = qobject_cast<UILoginDlg*>(QApplication::activeModalWidget());
        if (!confirm) return;
        auto* combo = confirm->findChild<QComboBox*>("loginUserCombo");
        combo->setCurrentIndex(combo->findText("boss"));
        confirm->findChild<QLineEdit*>("loginPassEdit")->setText("pw");
        confirm->TryLogin();
    });
    window.Logout();
    QVERIFY(!CurrentSession().LoggedIn());
    QVERIFY(!window.HasPage("userSetup"));
    // The live view stays on screen; its operations ask for a login again.
    QVERIFY(window.HasPage("realPlay"));
    QVERIFY(!window.findChild<UIUserSetupDlg*>() || !window.findChild<UIUserSetupDlg*>()->isVisible());

    // Opening it again asks for a login; refused, it stays closed.
    window.OpenPage("userSetup");
    QCOMPARE(f.loginOffers, 1);
    QVERIFY(!window.HasPage("userSetup"));

    // The lock closes it too, and Escape does not end the lock: only the password does.
    LogInAs(f.store().user(boss));
    window.OpenPage("userSetup");
    QVERIFY(window.HasPage("userSetup"));
    bool sawLock = false, stayedAfterEscape = false, pageGone = false, hidden = false, gridIdle = false;
    QTimer::singleShot(0, [&] {
        auto* lock = qobject_cast<UILockDlg*>(QApplication::activeModalWidget());
        if (!lock) return;
        sawLock = true;
        pageGone = !window.HasPage("userSetup");
        hidden = !window.isVisible();
        // Behind the lock no page is in front: the live view decodes nothing.
        gridIdle = f.service->players().VisibleCount() == 0;
        QTest::keyClick(lock, Qt::Key_Escape);
        QCoreApplication::processEvents();
        stayedAfterEscape = lock->isVisible() && QApplication::activeModalWidget() == lock;
        lock->findChild<QLineEdit*>("passEdit")->setText("pw");
        lock->TryUnlock();
    });
    window.Lock();
    QVERIFY(sawLock);
    QVERIFY(pageGone);
    QVERIFY(hidden);
    QVERIFY(stayedAfterEscape);
    QVERIFY(gridIdle);
    QVERIFY(window.isVisible());
    window.OpenPage("realPlay");
    QVERIFY(f.service->players().VisibleCount() > 0);
}
