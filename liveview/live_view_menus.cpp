#include "liveview/live_view_menus.h"

namespace ocv {

std::vector<MenuEntry> CellMenuEntries(const CellMenuState& s) {
    std::vector<MenuEntry> m;
    m.push_back({kCellCapture, "menu_photo.png", "Capture"});
    if (s.showsChannel) {
        m.push_back({kCellManualRecord, "menu_record.png", s.recordingManually ? "Stop manual REC" : "Manual REC"});
        m.push_back({kCellTalk, "menu_talk.png", s.talking ? "Stop talk" : "Start talk"});
    }
    m.push_back({kCellPtz, "menu_ptz.png", "PTZ control"});
    m.push_back({kCellZoomMode, "menu_zoom.png", s.zoomMode ? "Close enlarge" : "Enlarge"});
    if (!s.fullScreen && s.cameraSettingsAvailable)
        m.push_back({kCellCameraSettings, "menu_deviceConfig.png", "Camera Settings"});
    m.push_back({kCellCheckTime, "menu_time.png", "Check time"});
    if (s.showsChannel) {
        m.push_back(s.autoAdjust ? MenuEntry{kCellDisplayMode, "menu_tile.png", "Tile picture"}
                                 : MenuEntry{kCellDisplayMode, "menu_scale.png", "Original picture"});
    }
    if (s.showsChannel && s.thermalSupported) {
        m.push_back(s.insetOpen ? MenuEntry{kCellThermalClose, "menu_userSetup.png", "Close thermal imaging"}
                                : MenuEntry{kCellThermalOpen, "menu_userSetup.png", "Open thermal imaging"});
    }
    if (!s.inTour) {
        m.push_back({kCellStopView, "menu_stop.png", "Stop view"});
        m.push_back({kCellStopAllView, "menu_stop.png", "Stop all view"});
        m.push_back({kCellDisconnect, "menu_disconn.png", "Disconnect"});
    }
    if (s.showsChannel && SwitchesStreamInCell(s.deviceType)) {
        m.push_back({kCellMainStream, "menu_stream1.png", "Main stream"});
        m.push_back({kCellSubStream, "menu_stream2.png", "Sub stream"});
    }
    m.push_back({kCellFullScreen, "menu_fullscreen.png", s.fullScreen ? "Exit full screen" : "Full Screen"});
    return m;
}

std::vector<MenuEntry> TreeChannelMenuEntries(const TreeChannelState& s) {
    std::vector<MenuEntry> m;
    m.push_back(s.hasStream ? MenuEntry{kTreeDisconnect, "menu_disconn.png", "Disconnect"}
                            : MenuEntry{kTreeConnect, "menu_realPlay.png", "Connected"});
    m.push_back(s.recordingManually ? MenuEntry{kTreeStopManualRecord, "menu_record.png", "Stop manual REC"}
                                    : MenuEntry{kTreeManualRecord, "menu_record.png", "Manual REC"});
    if (s.showMode == 0 || SwitchesStreamInCell(s.deviceType)) {
        m.push_back({kTreeMainStream, "menu_stream1.png", "Main stream"});
        m.push_back({kTreeSubStream, "menu_stream2.png", "Sub stream"});
    }
    m.push_back(s.autoAdjust ? MenuEntry{kTreeTile, "menu_tile.png", "Tile picture"}
                             : MenuEntry{kTreeOriginal, "menu_scale.png", "Original picture"});
    m.push_back({kTreeCheckTime, "menu_time.png", "Check time"});
    return m;
}

std::vector<MenuEntry> TreeGroupMenuEntries(int showMode) {
    std::vector<MenuEntry> m = {
        {kTreeCollapseAll, nullptr, "Collapse all groups"},
        {kTreeExpandAll, nullptr, "Expand all groups"},
        {kTreeConnect, "menu_realPlay.png", "All connections"},
        {kTreeDisconnect, "menu_disconn.png", "Disconnect all"},
        {kTreeGroupDisplay, "menu_realPlay.png", "Group display"},
        {kTreeManualRecord, "menu_record.png", "All manual REC"},
        {kTreeStopManualRecord, "menu_record.png", "Stop all manual REC"},
    };
    if (showMode == 0) {
        m.push_back({kTreeMainStream, "menu_stream1.png", "All main stream"});
        m.push_back({kTreeSubStream, "menu_stream2.png", "All sub stream"});
    }
    m.push_back({kTreeOriginal, "menu_scale.png", "Full scale display"});
    m.push_back({kTreeTile, "menu_tile.png", "All tile display"});
    m.push_back({kTreeCheckTime, "menu_time.png", "All check timer"});
    return m;
}

}  // namespace ocv
