#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "shell/main_dlg.h"
#include "shell/user_session.h"
#include "tests/shell/shell_fixture.h"
#include "tests/shell/test_classes.h"

using namespace ocv;
using ocv::test::ShellFixture;

namespace {

void Choose(UILoginDlg& dlg, const char* name, const QString& password) {
    auto* combo = dlg.findChild<QComboBox*>("loginUserCombo");
    QVERIFY(combo);
    combo->setCurrentIndex(combo->findText(name));
    QVERIFY(combo->currentIndex() >= 0);
    dlg.findChild<QLineEdit*>("loginPassEdit")->setText(password);
}

}  // namespace

void LoginTest::secondWrongPasswordOnlyWarnsThirdCloses() {
    ShellFixture f;
    QVERIFY(f.ok);
    QVERIFY(f.AddAccount("bob", "Secret", kLevelViewUser, kViewUserRights) >= 0);
    UILoginDlg dlg(*f.service, true, false, nullptr);
    auto* msg = dlg.findChild<QLabel*>("msgLabel");
    auto* pass = dlg.findChild<QLineEdit*>("loginPassEdit");

    Choose(dlg, "bob", "nope");
    dlg.TryLogin();
    Choose(dlg, "bob", "still wrong");
    dlg.TryLogin();
    QCOMPARE(msg->text(), QString("Wrong password"));
    QVERIFY(pass->text().isEmpty());
    QVERIFY(f.messages.empty());  // the second failure shows no box
    QCOMPARE(dlg.result(), 0);
    QCOMPARE(dlg.failures(), 2);

    Choose(dlg, "bob", "third");
    dlg.TryLogin();
    QCOMPARE(f.messages.size(), size_t(1));
    QCOMPARE(f.messages[0].text, QString("Enter the wrong password three times!"));
    QCOMPARE(f.messages[0].kind, int(kMsgError));
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(!CurrentSession().LoggedIn());
}

void LoginTest::passwordsCompareCaseSensitively() {
    ShellFixture f;
    QVERIFY(f.AddAccount("bob", "Secret", kLevelViewUser, kViewUserRights) >= 0);
    UILoginDlg dlg(*f.service, true, false, nullptr);
    Choose(dlg, "bob", "secret");
    dlg.TryLogin();
    QVERIFY(!CurrentSession().LoggedIn());
    QCOMPARE(dlg.failures(), 1);
    Choose(dlg, "bob", "Secret ");
    dlg.TryLogin();
    QVERIFY(!CurrentSession().LoggedIn());
    Choose(dlg, "bob", "Secret");
    dlg.TryLogin();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(CurrentSession().LoggedIn());
    QCOMPARE(QString(CurrentSession().user().userName), QString("bob"));
    QCOMPARE(QString::fromStdString(f.service->CurrentUser()), QString("bob"));
}

void LoginTest::emptyPasswordLogsInWithEmptyField() {
    ShellFixture f;
    UILoginDlg dlg(*f.service, true, false, nullptr);
    Choose(dlg, "admin", "");
    dlg.TryLogin();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(CurrentSession().user().level, kLevelAdministrator);
    // A typed blank is not an empty password.
    LogOut();
    UILoginDlg again(*f.service, true, false, nullptr);
    Choose(again, "admin", " ");
    again.TryLogin();
    QVERIFY(!CurrentSession().LoggedIn());
}

void LoginTest::autoLoginRemembersAndStalePasswordShowsDialog() {
    ShellFixture f;
    int slot = f.AddAccount("bob", "Secret", kLevelViewUser, kViewUserRights);
    QVERIFY(slot >= 0);
    {
        UILoginDlg dlg(*f.service, false, false, nullptr);
        Choose(dlg, "bob", "Secret");
        dlg.findChild<QCheckBox*>("autoLoginOption")->setChecked(true);
        dlg.TryLogin();
    }
    QCOMPARE(f.store().settings().REMEMBER, 1);
    QCOMPARE(f.store().settings().USER, f.store().user(slot).id);
    QCOMPARE(FindRememberedUser(f.store()), slot);

    // The remembered account logs in by itself at start-up: no dialog.
    LogOut();
    {
        MainDlg window(*f.service, nullptr, MainDlg::Options{false});
        QVERIFY(window.Create());
        QCOMPARE(f.loginOffers, 0);
        QCOMPARE(QString(CurrentSession().user().userName), QString("bob"));
    }

    // The password changed since: the dialog is shown (and its refusal ends the start-up).
    UserInfo changed = f.store().user(slot);
    std::snprintf(changed.password, sizeof(changed.password), "Other");
    QCOMPARE(f.store().ModifyUser(changed), 0);
    QCOMPARE(FindRememberedUser(f.store()), -1);
    LogOut();
    MainDlg window(*f.service, nullptr, MainDlg::Options{false});
    QVERIFY(!window.Create());
    QCOMPARE(f.loginOffers, 1);

    // Clearing "Auto Login" forgets the memory.
    UILoginDlg dlg(*f.service, false, false, nullptr);
    QVERIFY(dlg.findChild<QCheckBox*>("autoLoginOption")->isChecked());
    Choose(dlg, "bob", "Other");
    dlg.findChild<QCheckBox*>("autoLoginOption")->setChecked(false);
    dlg.TryLogin();
    QCOMPARE(f.store().settings().REMEMBER, 0);
}

void LoginTest::lockDialogHasNoAttemptLimit() {
    ShellFixture f;
    LogInAs(f.store().user(f.SlotOf("admin")));
    UILockDlg lock(nullptr);
    auto* pass = lock.findChild<QLineEdit*>("passEdit");
    for (int i = 0; i < 5; ++i) {
        pass->setText("x");
        lock.TryUnlock();
    }
    QCOMPARE(f.messages.size(), size_t(5));
    QCOMPARE(f.messages.back().text, QString("Wrong password"));
    QCOMPARE(lock.result(), 0);
    pass->setText("");
    lock.TryUnlock();
    QCOMPARE(lock.result(), int(QDialog::Accepted));
}
