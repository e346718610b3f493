#pragma once
// Keeps the display and the system awake while the client runs: an operator watching cameras
// must never come back to a blank or sleeping screen. Asks the desktop's screen saver and
// logind to hold off through their D-Bus inhibitors; where neither exists (a bare X server, a
// container) it says so once as a trace line and does nothing else.
#include <QDBusUnixFileDescriptor>

namespace ocv {

class KeepAwake {
public:
    KeepAwake();
    ~KeepAwake();
    KeepAwake(const KeepAwake&) = delete;
    KeepAwake& operator=(const KeepAwake&) = delete;

    bool DisplayHeld() const { return screenSaverCookie_ != 0; }
    bool SleepHeld() const { return sleepLock_.isValid(); }

private:
    uint screenSaverCookie_ = 0;
    QDBusUnixFileDescriptor sleepLock_;  // the inhibitor lasts while this descriptor is open
};

}  // namespace ocv
