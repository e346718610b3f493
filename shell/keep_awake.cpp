#include "shell/keep_awake.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

#include "base/trace.h"

namespace ocv {

namespace {
constexpr int kCallTimeoutMs = 2000;  // a hung bus must not hold up the start
const char* const kWho = "Ocuvant";
const char* const kWhy = "Live video and recording";
}  // namespace

KeepAwake::KeepAwake() {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        QDBusInterface saver("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                             "org.freedesktop.ScreenSaver", session);
        saver.setTimeout(kCallTimeoutMs);
        if (saver.isValid()) {
            QDBusReply<uint> cookie = saver.call("Inhibit", kWho, kWhy);
            if (cookie.isValid()) screenSaverCookie_ = cookie.value();
        }
    }
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        QDBusInterface login("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                             system);
        login.setTimeout(kCallTimeoutMs);
        if (login.isValid()) {
            QDBusReply<QDBusUnixFileDescriptor> fd = login.call("Inhibit", "sleep:idle", kWho, kWhy, "block");
            if (fd.isValid()) sleepLock_ = fd.value();
        }
    }
    if (!DisplayHeld()) Trace("no screen saver inhibitor on the session bus: the display may blank\n");
    if (!SleepHeld()) Trace("no logind inhibitor on the system bus: the system may sleep\n");
}

KeepAwake::~KeepAwake() {
    if (screenSaverCookie_ != 0) {
        QDBusInterface saver("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                             "org.freedesktop.ScreenSaver", QDBusConnection::sessionBus());
        saver.setTimeout(kCallTimeoutMs);
        if (saver.isValid()) saver.call("UnInhibit", screenSaverCookie_);
    }
    // Closing the descriptor (with sleepLock_) releases the logind inhibitor.
}

}  // namespace ocv
