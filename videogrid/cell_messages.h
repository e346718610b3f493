#pragma once
// The numbered notifications of the screen panel, its cells and video windows, and of the
// split mode picker. They travel as ocv::WindowMessage events (widgets/window_message.h).
#include <cstdint>

namespace ocv {

// Mouse and key notifications: video window -> cell -> panel -> owner page. wParam is the
// cell index and lParam the mouse point in video-window coordinates, packed by PackPoint.
// CellKey is the exception: its wParam is the key code (27, Escape).
enum CellNotification : int {
    CellActivate = 1124,   // left double-click
    CellSelect = 1126,     // left button down
    CellMenu = 1127,       // right button down
    CellMouseMove = 1128,  // mouse move
    CellButtonUp = 1129,   // left button up
    CellKey = 1133,        // Escape pressed
};
constexpr int kEscapeKeyCode = 27;

// The inset reports its clicks to its video window with its own numbers.
enum InsetNotification : int {
    InsetDoubleClick = 1754,
    InsetLeftDown = 1756,
    InsetRightDown = 1757,
};

// Control bar buttons: sent synchronously to the page with wParam = cell index and
// lParam = the number itself.
enum PlayBarNotification : int {
    PlayBarResume = 1161,   // pbPauseBtn (shown while paused): play or resume
    PlayBarStop = 1162,     // pbStopBtn
    PlayBarSlow = 1163,     // pbSlowBtn
    PlayBarFast = 1164,     // pbFastBtn
    PlayBarFrame = 1165,    // pbFrameBtn
    PlayBarPhoto = 1166,    // photoBtn
    PlayBarPause = 1167,    // pbPlayBtn (shown while playing): pause
    PlayBarNormal = 1168,   // pbNormalBtn
    PlayBarClose = 1169,    // pbCloseBtn
};

// The split mode picker tells its owner the chosen mode in wParam.
constexpr int SplitChosen = 1314;
// A child popup's close notice; the panel passes it on synchronously.
constexpr int PopupClosed = 1444;

// lParam of the mouse notifications: x in the low 16 bits, y in the next 16, each as a
// signed 16-bit value (a captured mouse may lie left of or above the window), so
// lParam = (x & 0xFFFF) | (y & 0xFFFF) << 16.
constexpr intptr_t PackPoint(int x, int y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(x) & 0xFFFFu) |
                                 ((static_cast<uint32_t>(y) & 0xFFFFu) << 16));
}
constexpr int PointX(intptr_t lParam) {
    return static_cast<int16_t>(static_cast<uint32_t>(lParam) & 0xFFFFu);
}
constexpr int PointY(intptr_t lParam) {
    return static_cast<int16_t>((static_cast<uint32_t>(lParam) >> 16) & 0xFFFFu);
}

}  // namespace ocv
