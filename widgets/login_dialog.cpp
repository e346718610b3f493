#include "widgets/login_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "events/log_writer.h"
#include "store/config_store.h"
#include "events/log_record.h"
#include "widgets/client_context.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "widgets/text_limit.h"
#include "ui_UILockDlg.h"
#include "ui_UILoginInfoWnd.h"
#include "ui_UILoginDlg.h"

namespace ocv {

namespace {
std::function<bool(QWidget*, bool)>& LoginHook() {
    static std::function<bool(QWidget*, bool)> hook;
    return hook;
}
}  // namespace

bool CapsLockOn() {
    // The keyboard LED follows the lock state on every X11 and Wayland session of the machine.
    const QStringList leds = QDir("/sys/class/leds").entryList({"*capslock*"}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& led : leds) {
        QFile f("/sys/class/leds/" + led + "/brightness");
        if (f.open(QIODevice::ReadOnly) && f.read(8).trimmed().toInt() > 0) return true;
    }
    return false;
}

UILoginDlg::UILoginDlg(ConfigStore& store, LogWriter& log, bool writeLog, bool confirmOnly, QWidget* parent)
    : QDialog(parent), store_(store), log_(log), writeLog_(writeLog), confirmOnly_(confirmOnly) {
    Ui::UILoginDlg ui;  // the layout comes from skin/ui; the widgets belong to this dialog
    ui.setupUi(this);
    setWindowTitle(Tr("Login"));
    setModal(true);
    userCombo_ = ui.loginUserCombo;
    passEdit_ = ui.loginPassEdit;
    msgLabel_ = ui.msgLabel;
    lockLabel_ = ui.lockLabel;
    autoLogin_ = ui.autoLoginOption;
    ui.titleLabel->setText(Tr("Login"));
    ui.userLabel->setText(Tr("Username"));
    ui.passLabel->setText(Tr("Password"));
    autoLogin_->setText(Tr("Auto Login"));
    ui.okBtn->setText(Tr("OK"));
    ui.exitBtn->setText(Tr("Cancel"));
    LimitToUtf8Bytes(passEdit_, static_cast<int>(kMaxAccountTextBytes));
    QPushButton* okBtn = ui.okBtn;
    QPushButton* exitBtn = ui.exitBtn;

    const UserSession& session = CurrentSession();
    int selected = 0;
    for (int slot = 0; slot < kMaxUsers; ++slot) {
        const UserInfo& u = store_.user(slot);
        if (u.userName[0] == '\0') continue;
        if (session.LoggedIn() && u.id == session.user().id) selected = userCombo_->count();
        userCombo_->addItem(QString::fromLocal8Bit(u.userName), slot);
    }
    if (userCombo_->count() > 0) userCombo_->setCurrentIndex(selected);
    autoLogin_->setChecked(store_.settings().REMEMBER == 1);
    autoLogin_->setVisible(!confirmOnly_);

    auto* capsTimer = new QTimer(this);
    connect(capsTimer, &QTimer::timeout, this, &UILoginDlg::UpdateCapsLock);
    capsTimer->start(200);
    QTimer::singleShot(500, passEdit_, [this] { passEdit_->setFocus(); });

    connect(okBtn, &QPushButton::clicked, this, &UILoginDlg::TryLogin);
    connect(exitBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void UILoginDlg::UpdateCapsLock() { lockLabel_->setText(CapsLockOn() ? Tr("Caps lock") : QString()); }

void UILoginDlg::TryLogin() {
    int slot = userCombo_->currentIndex() >= 0 ? userCombo_->currentData().toInt() : -1;
    if (slot < 0 || slot >= kMaxUsers) return;
    UserInfo account = store_.user(slot);
    switch (attempts_.Check(account, passEdit_->text().toStdString())) {
        case LoginAttempts::kTooManyFailures:
            ShowMessage(this, "Enter the wrong password three times!", kMsgError);
            reject();
            return;
        case LoginAttempts::kWrongPassword:
            msgLabel_->setText(Tr("Wrong password"));
            passEdit_->clear();
            passEdit_->setFocus();
            return;
        case LoginAttempts::kAccepted:
            break;
    }
    if (confirmOnly_) {
        accept();
        return;
    }
    LogInAs(account);
    if (writeLog_) log_.LogWrite(kLogOperate, kLogLogin, -1, -1, "", account.userName);
    switch (DecideLoginMemory(store_.settings(), account, autoLogin_->isChecked())) {
        case LoginMemoryAction::kRemember: store_.SaveLoginMemory(account.id, account.password, 1); break;
        case LoginMemoryAction::kForget: store_.SaveLoginMemory(account.id, account.password, 0); break;
        case LoginMemoryAction::kNone: break;
    }
    accept();
}

bool ShowLoginDialog(QWidget* parent, bool writeLog) {
    if (LoginHook()) return LoginHook()(parent, writeLog);
    const SessionServices& services = CurrentSessionServices();
    if (!services.store || !services.log) return false;
    UILoginDlg dialog(*services.store, *services.log, writeLog, false, parent);
    return dialog.exec() == QDialog::Accepted;
}

void SetLoginHookForTesting(std::function<bool(QWidget*, bool)> hook) { LoginHook() = std::move(hook); }

bool CheckRight(QWidget* parent, int bit) {
    if (!CurrentSession().LoggedIn() && !ShowLoginDialog(parent, true)) return false;
    if (CurrentSession().HasRight(bit)) return true;
    ShowMessage(parent, "Insufficient permissions to operate!", kMsgError);
    return false;
}

UILockDlg::UILockDlg(QWidget* parent) : QDialog(parent) {
    Ui::UILockDlg ui;
    ui.setupUi(this);
    setWindowTitle(Tr("UnLock"));
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    passEdit_ = ui.passEdit;
    LimitToUtf8Bytes(passEdit_, static_cast<int>(kMaxAccountTextBytes));
    ui.passLabel->setText(Tr("Password"));
    ui.lockBtn->setText(Tr("UnLock"));
    connect(ui.lockBtn, &QPushButton::clicked, this, &UILockDlg::TryUnlock);
}

void UILockDlg::reject() {}  // Escape: the client stays locked

void UILockDlg::closeEvent(QCloseEvent* e) { e->ignore(); }

void UILockDlg::TryUnlock() {
    if (!CurrentSession().LoggedIn()) {
        // Locked while nobody was logged in: whoever logs in opens it.
        if (ShowLoginDialog(this, true)) accept();
        return;
    }
    LoginAttempts check;  // no limit: a fresh count each time
    if (check.Check(CurrentSession().user(), passEdit_->text().toStdString()) == LoginAttempts::kAccepted) {
        accept();
        return;
    }
    ShowMessage(this, "Wrong password", kMsgError);
    passEdit_->clear();
    passEdit_->setFocus();
}

UILoginInfoWnd::UILoginInfoWnd(QWidget* parent) : QFrame(parent, Qt::Popup) {
    Ui::UILoginInfoWnd ui;
    ui.setupUi(this);
    userText_ = ui.userText;
    levelText_ = ui.levelText;
    timeText_ = ui.timeText;
    Refresh();
}

void UILoginInfoWnd::Refresh() {
    const UserSession& s = CurrentSession();
    userText_->setText(Tr("Login user:") + " " + QString::fromLocal8Bit(s.user().userName));
    levelText_->setText(Tr("Permissions:") + " " + Tr(LevelText(s.user().level)));
    timeText_->setText(Tr("Time:") + " " + QString::fromStdString(s.LoginTimeText()));
}

}  // namespace ocv
