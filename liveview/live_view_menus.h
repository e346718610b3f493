#pragma once
// The context menus of the live view's cells and tree, free of Qt: which entries a menu holds
// for the state of the cell or node it opened on, in order, with the command each posts.
#include <vector>

namespace ocv {

constexpr int kMsgCellMenuCommand = 1430;
constexpr int kMsgTreeMenuCommand = 1431;

// Commands of the cell menu (message 1430).
enum CellCommand : int {
    kCellCapture = 0,
    kCellManualRecord = 1,
    kCellTalk = 2,
    kCellPtz = 3,
    kCellZoomMode = 4,
    kCellCameraSettings = 6,
    kCellCheckTime = 7,
    kCellDisplayMode = 8,
    kCellStopView = 10,
    kCellDisconnect = 11,
    kCellFullScreen = 12,
    kCellStopAllView = 13,
    kCellMainStream = 14,
    kCellSubStream = 15,
    kCellThermalOpen = 17,
    kCellThermalClose = 18,
};

// Commands of the tree menu (message 1431).
enum TreeCommand : int {
    kTreeCollapseAll = 0,
    kTreeExpandAll = 1,
    kTreeConnect = 2,
    kTreeDisconnect = 3,
    kTreeManualRecord = 4,
    kTreeStopManualRecord = 5,
    kTreeMainStream = 6,
    kTreeSubStream = 7,
    kTreeOriginal = 9,  // AUTOADJUST 1
    kTreeTile = 10,     // AUTOADJUST 0
    kTreeCheckTime = 11,
    kTreeGroupDisplay = 12,
};

struct MenuEntry {
    int command;
    const char* icon;  // skin image, nullptr for none
    const char* text;  // English; translated when shown
};

// What the cell menu depends on.
struct CellMenuState {
    bool showsChannel = false;
    bool recordingManually = false;
    bool talking = false;
    bool zoomMode = false;  // drag mode off
    bool fullScreen = false;
    bool autoAdjust = false;  // the channel keeps its picture's proportions
    bool thermalSupported = false;
    bool insetOpen = false;
    bool inTour = false;
    int deviceType = -1;
    // Whether the client has a camera settings page to switch to.
    bool cameraSettingsAvailable = true;
};
std::vector<MenuEntry> CellMenuEntries(const CellMenuState& state);

struct TreeChannelState {
    bool hasStream = false;
    bool recordingManually = false;
    bool autoAdjust = false;
    int showMode = 0;  // the SHOWMODE setting
    int deviceType = -1;
};
std::vector<MenuEntry> TreeChannelMenuEntries(const TreeChannelState& state);
std::vector<MenuEntry> TreeGroupMenuEntries(int showMode);

// Single-stream device types whose cells offer the stream switch.
inline bool SwitchesStreamInCell(int deviceType) { return deviceType == 50 || deviceType == 102; }

}  // namespace ocv
