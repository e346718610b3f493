#pragma once
// Helpers of the screen panel's widget tests: a window that records the numbered messages
// it receives, and a bounded event-loop pump.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QWidget>
#include <functional>
#include <vector>

#include "widgets/window_message.h"

namespace ocv::test {

struct ReceivedMessage {
    int message;
    intptr_t wParam;
    intptr_t lParam;
};

class MessageLog : public QWidget {
public:
    bool event(QEvent* event) override {
        if (event->type() == WindowMessage::EventType()) {
            auto* m = static_cast<WindowMessage*>(event);
            received.push_back({m->message(), m->wParam(), m->lParam()});
            return true;
        }
        return QWidget::event(event);
    }
    int Count(int message) const {
        int n = 0;
        for (const auto& m : received) n += m.message == message;
        return n;
    }
    const ReceivedMessage* Last(int message) const {
        for (auto it = received.rbegin(); it != received.rend(); ++it)
            if (it->message == message) return &*it;
        return nullptr;
    }
    std::vector<ReceivedMessage> received;
};

// Runs the event loop until pred holds or the bound passes; true when it held.
inline bool PumpUntil(const std::function<bool()>& pred, int boundMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > boundMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

inline void Pump(int rounds = 5) {
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// The colour of a pixel of the widget as it paints itself now.
inline QRgb PixelOf(QWidget* widget, int x, int y) {
    return widget->grab().toImage().pixel(x, y) | 0xFF000000u;
}

}  // namespace ocv::test
