#pragma once
// What the live view page does with its cells and channels, free of Qt: opening channels into
// cells, closing them, showing groups, moving and swapping cells, the screen memory, the
// maximise and split policies of the players, the digital zoom and the labels of the cells.
// The Qt page feeds it the operator's gestures and draws what it is told through CellView.
// Everything here runs on the UI thread, except DigitalZoom's overlay (decoding threads).
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "device/channel_connections.h"
#include "device/channel_directory.h"
#include "device/player_cells.h"
#include "liveview/channel_text.h"
#include "videogrid/digital_zoom.h"
#include "videogrid/split_layout.h"
#include "liveview/thermal_opener.h"
#include "widgets/user_session.h"

namespace ocv {


// What the controller asks of the page's windows.
class CellView {
public:
    virtual ~CellView() = default;
    virtual int SelectedCell() const = 0;
    // The channel's label as the cell's name, and the status strip text and colour.
    virtual void SetCellText(int cell, const std::string& name, const CellStrip& strip) = 0;
    virtual void ShowInset(int cell, bool show) = 0;
    virtual void* InsetHandle(int cell) = 0;
    virtual void RepaintCell(int cell) = 0;
    // The operator's permission; false makes the operation do nothing (the page may say why).
    virtual bool HasRight(int right) = 0;
};

// The services the live view's rules work with.
struct LiveViewServices {
    ChannelConnections& connections;
    PlayerCells& players;
    const ChannelDirectory& directory;
};

class LiveViewController {
public:
    // post: how the thermal opener reports a failed open (kMsgInsetFailed) to the page.
    LiveViewController(LiveViewServices services, CellView& view, std::string configIni,
                       ThermalOpener::PostFn post = {});

    // Copies the groups of the directory (up to 36, members with a valid slot).
    void LoadGroups();
    const std::vector<GroupView>& groups() const { return groups_; }

    // Reads the screen memory; returns its split mode when valid, else 0.
    int LoadScreenMemory();
    const ScreenMemory& screenMemory() const { return memory_; }

    int CellChannel(int cell) const;  // channel id shown in the cell, -1 for none
    int CellOfChannel(int device, int channel) const;

    // Attaches the channel to the cell (unless cell is -1) and starts its connect worker.
    // 0, or -1 without the right or with an empty device slot.
    int OpenChannelInCell(int device, int channel, int cell);
    // Cell -1 closes every cell.
    void CloseCell(int cell);
    // Double-click on a tree channel: the cell already showing it, else the selected cell if
    // empty, else the first empty cell. The cell used, or -1 when none (all busy / refused).
    int OpenFromTree(int device, int channel);
    // A channel dropped on a cell: moves it there when another cell shows it.
    void DropChannel(int device, int channel, int targetCell);
    // A drag between two cells.
    void SwapCells(int source, int target);
    // Closes every cell and opens the group's members into cells 0.. (at most 36); false when
    // the group is empty or unknown.
    bool ShowGroup(int group);
    // The nearest group before (-1) or after (+1) the current one that has members.
    bool StepGroup(int direction);
    int currentGroup() const { return currentGroup_; }

    // The page's split mode was chosen (stored in the screen memory). The panel has ended any
    // maximised state: the cells paused for it decode again.
    void OnSplitChosen(int mode);
    // After the panel toggled maximising of a cell: the other cells pause while it is maximised.
    void OnMaximizeChanged(int cell, bool maximized, int splitMode);
    int maximizedCell() const { return maximizedCell_; }
    // Page shown (the current split mode) or hidden (-1): no grid cell decodes while hidden,
    // and a maximised cell still keeps the others paused when the page comes back.
    void SetPageHidden(bool hidden, int splitMode);

    // Digital zoom: the drag-mode switch, the press, moves and the release in a cell.
    void SetZoomMode(bool on);
    bool zoomMode() const { return zoomMode_; }
    void ZoomPress(int cell, int x, int y);
    void ZoomMove(int cell, int x, int y);
    void ZoomRelease(int cell, int x, int y);
    DigitalZoom& zoom() { return zoom_; }

    // Labels of every cell showing the channel (after a state or temperature change).
    void RelabelChannel(int device, int channel);
    void RelabelCell(int cell);
    // The channel's latest body-temperature event (from the channel event worker).
    void SetTemperatureMark(int channelId, const TemperatureMark& mark);

    // The UI part of the start-up restore: reopens every remembered cell; clears entries whose
    // channel no longer exists.
    void RestoreCells();

    // The thermal inset of a cell (devices that report temperature support). The device side
    // runs on the thermal opener's thread.
    void OpenInset(int cell);
    void CloseInset(int cell);
    // A queued open failed: the inset goes again unless the cell shows something else now or
    // the device's picture came up meanwhile.
    void OnInsetOpenFailed(int cell, int device);
    ThermalOpener& thermal() { return thermal_; }
    // A device's state changed: cells of its channels that want the thermal inset but could not
    // open it before (not logged in, support not known yet) try again.
    void RetryInsets(int device);

    // Translated texts used in cell strips.
    void SetTexts(std::string normal, std::string abnormal) {
        normalText_ = std::move(normal);
        abnormalText_ = std::move(abnormal);
    }

private:
    bool ValidDevice(int device) const;
    bool ValidChannel(int device, int channel) const;
    // The device asks for the thermal inset in its cells (its stored thermal flag).
    bool WantsInset(int device) const;
    int RecordIdOf(int device, int channel) const;
    void RememberCell(int cell, int channelId);
    void SaveMemory();
    void AfterCellChanged(int cell);

    ChannelConnections& connections_;
    PlayerCells& players_;
    const ChannelDirectory& directory_;
    CellView& view_;
    std::string configIni_;
    std::vector<GroupView> groups_;
    ScreenMemory memory_{};
    int currentGroup_ = -1;
    int maximizedCell_ = -1;  // the cell the panel shows alone, -1 when none
    bool zoomMode_ = false;
    DigitalZoom zoom_;
    CellStrip strips_[kMaxCells];
    std::unordered_map<int, TemperatureMark> marks_;
    std::string normalText_ = "Temperature normal";
    std::string abnormalText_ = "Temperature abnormal";
    ThermalOpener thermal_;  // last: its thread ends first, after running the closes still queued
};

}  // namespace ocv
