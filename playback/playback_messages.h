#pragma once
// The numbered messages of the playback page and its backup window. Workers and the player's
// threads post them (ocv::WindowMessage); the timeline and the menus send them.
#include <cstdint>
#include <functional>

namespace ocv::playback {

// How a worker or a player thread reaches the page: thread-safe, never blocks.
using PostFn = std::function<void(int message, intptr_t wParam, intptr_t lParam)>;

enum PlaybackMessage : int {
    kMsgFileEnded = 1206,         // a local player reached the end of its file: wParam window, lParam port
    kMsgRemoteSearchDone = 1207,  // wParam window, lParam the search's ticket
    kMsgBackupProgress = 1209,    // backup window: wParam percent 0..100
    kMsgRemoteOpened = 1210,      // a remote playback opened (or failed): wParam window, lParam ticket
    kMsgDayChosen = 1229,         // wParam day of the month (>= 1)
    kMsgCellMenuCommand = 1430,   // wParam command 0..13 on the selected window
    kMsgTreeMenuCommand = 1433,   // wParam 0 collapse all groups, 1 expand all
    kMsgClipClear = 1825,         // timeline right click
    kMsgTreeDrop = 1826,
    kMsgTreeDropCancel = 1827,
    kMsgTimelineHover = 1828,     // wParam window 0..3 (-1 none), lParam second of the day (-1)
    kMsgTimelineClick = 1829,     // wParam window 0..3, lParam second of the day
};

// Commands of the playback cell's context menu (1430).
enum CellMenuCommand : int {
    kCmdPlay = 0,
    kCmdPause = 1,
    kCmdStop = 2,
    kCmdSlow = 3,
    kCmdFast = 4,
    kCmdFrame = 5,
    kCmdZoom = 6,
    kCmdCapture = 7,
    kCmdSound = 9,
    kCmdDisplay = 10,
    kCmdFullScreen = 11,
    kCmdNormal = 12,
    kCmdClose = 13,
};

}  // namespace ocv::playback
