#pragma once
// The settings of the system settings page that live in config.ini, section CONFIG, rather than
// in the database: the display mode (DRAWMODE) and the window-size lock (the flag word of the
// RESOLUTION block). The alarm sounds block (SNDATTR) is events/alarm_sound.h's.
#include <cstdint>
#include <string>

namespace ocv {

// "DIRECT DRAW" (0: fast drawing) or "DIRECT 3D" (1: smooth drawing, DRAWMODE "ON"). The
// players take it at the next start.
int LoadDisplayMode(const std::string& configIni);
bool SaveDisplayMode(const std::string& configIni, int mode);

// RESOLUTION: width, height and a flag; flag 0 locks the main window at that size, any other
// value (1 is what the View sizes and a fresh file give) leaves it free to resize.
struct WindowSizeLock {
    bool locked = false;
    int32_t width = 1024;
    int32_t height = 720;
};
WindowSizeLock LoadWindowSizeLock(const std::string& configIni);
// Stores the lock with the size the window has now.
bool SaveWindowSizeLock(const std::string& configIni, const WindowSizeLock& lock);

}  // namespace ocv
