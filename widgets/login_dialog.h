#pragma once
// The login dialog, the lock dialog, the login information window and CheckRight.
#include <QDialog>
#include <QFrame>
#include <functional>

#include "widgets/user_session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace ocv {

class ConfigStore;
class LogWriter;

class UILoginDlg : public QDialog {
    Q_OBJECT
public:
    // confirmOnly: the password of the chosen account is checked, the session is left alone
    // (used before logging out).
    UILoginDlg(ConfigStore& store, LogWriter& log, bool writeLog, bool confirmOnly, QWidget* parent);
    // The OK button's work; public so tests drive the dialog without a modal loop.
    void TryLogin();
    int failures() const { return attempts_.failures(); }

private:
    void UpdateCapsLock();

    ConfigStore& store_;
    LogWriter& log_;
    bool writeLog_;
    bool confirmOnly_;
    LoginAttempts attempts_;
    QComboBox* userCombo_;
    QLineEdit* passEdit_;
    QLabel* msgLabel_;
    QLabel* lockLabel_;
    QCheckBox* autoLogin_;
};

// True when the login succeeded (the current user is then set); modal.
bool ShowLoginDialog(QWidget* parent, bool writeLog);
// Tests answer the dialog themselves.
void SetLoginHookForTesting(std::function<bool(QWidget* parent, bool writeLog)> hook);

// Offers a login when nobody is logged in; refuses with "Insufficient permissions to
// operate!" when the current user lacks the bit.
bool CheckRight(QWidget* parent, int bit);

// Hides the client until the current user's password is typed again. Only that unlocks it:
// Escape and closing the window do nothing (the exit procedure ends it with done()).
class UILockDlg : public QDialog {
    Q_OBJECT
public:
    explicit UILockDlg(QWidget* parent);
    void TryUnlock();
    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    QLineEdit* passEdit_;
};

class UILoginInfoWnd : public QFrame {
    Q_OBJECT
public:
    explicit UILoginInfoWnd(QWidget* parent);
    void Refresh();

private:
    QLabel* userText_;
    QLabel* levelText_;
    QLabel* timeText_;
};

// Whether the keyboard's Caps Lock is on (from the keyboard LEDs; false when unknown).
bool CapsLockOn();

}  // namespace ocv
