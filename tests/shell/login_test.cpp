#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <cstring>

#include "shell/main_dlg.h"
#include "setup/user_setup_page.h"
#include "widgets/user_session.h"
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

// Types text key by key, as a keyboard would (QTest's key clicks take plain ASCII only).
void Type(QWidget* edit, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &release);
    }
}

}  // namespace

void LoginTest::secondWrongPasswordOnlyWarnsThirdCloses() {
    ShellFixture f;
    QVERIFY(f.ok);
    QVERIFY(f.AddAccount("bob", "Secret", kLevelViewUser, kViewUserRights) >= 0);
    UILoginDlg dlg(f.store(), f.service->log(), true, false, nullptr);
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
    UILoginDlg dlg(f.store(), f.service->log(), true, false, nullptr);
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
    UILoginDlg dlg(f.store(), f.service->log(), true, false, nullptr);
    Choose(dlg, "admin", "");
    dlg.TryLogin();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(CurrentSession().user().level, kLevelAdministrator);
    // A typed blank is not an empty password.
    LogOut();
    UILoginDlg again(f.store(), f.service->log(), true, false, nullptr);
    Choose(again, "admin", " ");
    again.TryLogin();
    QVERIFY(!CurrentSession().LoggedIn());
}

void LoginTest::autoLoginRemembersAndStalePasswordShowsDialog() {
    ShellFixture f;
    int slot = f.AddAccount("bob", "Secret", kLevelViewUser, kViewUserRights);
    QVERIFY(slot >= 0);
    {
        UILoginDlg dlg(f.store(), f.service->log(), false, false, nullptr);
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
    UILoginDlg dlg(f.store(), f.service->log(), false, false, nullptr);
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

void LoginTest::lockDialogIgnoresEscapeAndClose() {
    ShellFixture f;
    int slot = f.AddAccount("bob", "Secret", kLevelViewUser, kViewUserRights);
    LogInAs(f.store().user(slot));
    UILockDlg lock(nullptr);
    lock.show();
    QTest::keyClick(&lock, Qt::Key_Escape);
    QVERIFY(lock.isVisible());
    lock.close();
    QVERIFY(lock.isVisible());
    lock.reject();
    QVERIFY(lock.isVisible());
    QCOMPARE(lock.result(), 0);
    auto* pass = lock.findChild<QLineEdit*>("passEdit");
    pass->setText("secret");
    lock.TryUnlock();
    QVERIFY(lock.isVisible());
    pass->setText("Secret");
    lock.TryUnlock();
    QCOMPARE(lock.result(), int(QDialog::Accepted));
    QVERIFY(!lock.isVisible());
}

void LoginTest::passwordsAreLimitedByBytesBetweenCharacters() {
    ShellFixture f;
    LogInAs(f.store().user(f.SlotOf("admin")));
    const QString accent = QString::fromUtf8("\xC3\xA9");  // two bytes in UTF-8
    QString sixteen;
    for (int i = 0; i < 16; ++i) sixteen += accent;

    // The form takes whole characters up to 31 bytes: the sixteenth "é" no longer fits.
    UIUserSetupDlg page(f.store(), f.service->log(), nullptr);
    page.SetFormHookForTesting([&](UIModifyDlg& form) {
        auto* name = form.findChild<QLineEdit*>("editUserName");
        auto* pass = form.findChild<QLineEdit*>("editUserPass");
        auto* confirm = form.findChild<QLineEdit*>("editUserCkPass");
        Type(name, "night");
        Type(pass, sixteen);
        Type(confirm, sixteen);
        if (pass->text().toUtf8().size() != 30 || confirm->text() != pass->text()) return false;
        // The form says so.
        auto* hint = form.findChild<QLabel*>("limitLabel");
        return hint && hint->text().contains("31 bytes");
    });
    page.AddAccount();
    QCOMPARE(f.Texts(), QStringList{"New account successfully!"});
    int slot = f.SlotOf("night");
    QVERIFY(slot >= 0);
    QCOMPARE(QString::fromUtf8(f.store().user(slot).password), sixteen.left(15));

    // The login takes the same fifteen characters, and they open the account.
    LogOut();
    UILoginDlg dlg(f.store(), f.service->log(), false, false, nullptr);
    auto* combo = dlg.findChild<QComboBox*>("loginUserCombo");
    combo->setCurrentIndex(combo->findText("night"));
    auto* loginPass = dlg.findChild<QLineEdit*>("loginPassEdit");
    Type(loginPass, sixteen);
    QCOMPARE(loginPass->text(), sixteen.left(15));
    dlg.TryLogin();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));

    // A text that is too long never reaches the store cut in two.
    QCOMPARE(QString(ValidateAccountForm("x", std::string(32, 'a'), std::string(32, 'a'))),
             QString("The password is too long!"));
    QCOMPARE(QString(ValidateAccountForm(std::string(32, 'n'), "", "")), QString("The username is too long!"));
    QVERIFY(ValidateAccountForm(std::string(31, 'n'), std::string(31, 'a'), std::string(31, 'a')) == nullptr);

    // An account an older version stored cut in the middle of a character opens with the
    // whole characters it kept.
    LogOut();
    UserInfo legacy = f.store().user(slot);
    std::string cut = sixteen.toUtf8().toStdString().substr(0, 31);
    std::memcpy(legacy.password, cut.data(), cut.size());
    legacy.password[31] = '\0';
    QCOMPARE(LoginAttempts().Check(legacy, sixteen.left(15).toStdString()), LoginAttempts::kAccepted);
    QCOMPARE(LoginAttempts().Check(legacy, sixteen.left(14).toStdString()), LoginAttempts::kWrongPassword);
}
