#pragma once
// Numbered window messages that worker threads post to a window: the number and its two
// parameters travel in a Qt event, so no worker ever touches a widget.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <cstdint>

namespace ocv {

constexpr int kWmUser = 1024;
constexpr int kMsgAlarmPicture = kWmUser + 190;  // 1214
constexpr int kMsgFileMenu = kWmUser + 401;      // 1425
constexpr int kMsgSystemMenu = 1426;
constexpr int kMsgViewMenu = 1427;
constexpr int kMsgToolMenu = 1428;
constexpr int kMsgHelpMenu = 1429;
constexpr int kMsgPageClosed = kWmUser + 421;    // 1445
// The status worker's tick: wParam = calendar time, lParam = cpu | network << 8 | date changed << 16
// (a meter of 255 is unknown).
constexpr int kMsgStatusTick = kWmUser + 480;    // 1504

class WindowMessage : public QEvent {
public:
    static QEvent::Type EventType() {
        static const int type = QEvent::registerEventType();
        return static_cast<QEvent::Type>(type);
    }
    WindowMessage(int message, intptr_t wParam, intptr_t lParam)
        : QEvent(EventType()), message_(message), wParam_(wParam), lParam_(lParam) {}
    int message() const { return message_; }
    intptr_t wParam() const { return wParam_; }
    intptr_t lParam() const { return lParam_; }

private:
    int message_;
    intptr_t wParam_;
    intptr_t lParam_;
};

// Thread-safe: the event is delivered on the window's thread.
inline void PostWindowMessage(QObject* window, int message, intptr_t wParam, intptr_t lParam) {
    QCoreApplication::postEvent(window, new WindowMessage(message, wParam, lParam));
}

}  // namespace ocv
