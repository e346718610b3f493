#pragma once
// What the live view's menus and toolbar do, free of Qt: the cell and tree commands, manual
// recording, sound, talk, tours and their refusals, on top of the controller's cell
// operations. Device work that may wait runs on the page's jobs thread; what the operator is
// to be told comes back as a CommandOutcome for the page to show. UI thread.
#include <functional>
#include <string>
#include <vector>

#include "device/channel_actions.h"
#include "device/device_configuration.h"
#include "device/recording_control.h"
#include "device/talk_control.h"
#include "liveview/live_view_controller.h"
#include "liveview/live_view_jobs.h"
#include "liveview/live_view_menus.h"
#include "liveview/tour_runner.h"

namespace ocv {

// The system settings the commands read.
struct LiveSettings {
    int rotaInterval = 20;  // ROTALEN, seconds
    int rotaType = 0;       // ROTATYPE: 0 single-screen, 1 multi-screen
    int showMode = 0;       // SHOWMODE: 0 single-stream, 1 dual-stream
    int tempUnit = 0;       // 0 Celsius, 1 Fahrenheit
};

struct LiveCommandServices {
    LiveViewController& controller;
    TourRunner& tours;
    ChannelConnections& connections;
    PlayerCells& players;
    const ChannelDirectory& directory;
    RecordingControl& recording;
    TalkControl& talk;
    ChannelActions& actions;
    DeviceConfiguration& deviceConfig;
    LiveViewJobs& jobs;
};

// What the commands change beyond the services: stored settings and the operation log (UI
// thread; the page binds them to the configuration store and the log writer).
struct LiveCommandHooks {
    std::function<LiveSettings()> settings;
    // ConfigStore::ModifyChannel of one channel setting (kChannelStream, kChannelAutoAdjust).
    std::function<int(int device, int channel, int kind, int value)> modifyChannel;
    // The device's stored thermal flag (1 shows the inset in its cells).
    std::function<int(int device, int flag)> setThermalFlag;
    // An operation log record of the current operator for a channel.
    std::function<void(int subtype, int device, int channel)> log;
};

// Operation log codes the live view writes.
constexpr int kLogTalk = 33;
constexpr int kLogCloseTalk = 34;
constexpr int kLogCapture = 37;
constexpr int kLogStartRota = 38;
constexpr int kLogStopRota = 39;

// Stream choice values of configuration command 4113.
constexpr uint32_t kStreamChoiceMain = 6;
constexpr uint32_t kStreamChoiceSub = 0;

struct CommandOutcome {
    CommandOutcome() = default;
    CommandOutcome(int result, const char* text = nullptr, std::string more = {}, int boxKind = 2)
        : rc(result), message(text), detail(std::move(more)), kind(boxKind) {}

    int rc = 0;
    const char* message = nullptr;  // English text for the page to show, or nothing to say
    std::string detail;             // shown after the message (the channel holding the talk)
    int kind = 2;                   // message box kind
};

class LiveViewCommands {
public:
    LiveViewCommands(LiveCommandServices services, CellView& view, LiveCommandHooks hooks);

    // Message 1430 on a cell, and the menu it offers.
    CommandOutcome CellCommand(int command, int cell);
    CellMenuState MenuStateOf(int cell, bool fullScreen) const;

    // Message 1431 on a tree node: a channel of a group, or a whole group.
    CommandOutcome ChannelCommand(int command, int device, int channel, int group);
    CommandOutcome GroupCommand(int command, int group);
    TreeChannelState TreeStateOf(int device, int channel) const;

    // Gestures the tours may refuse.
    CommandOutcome OpenFromTree(int device, int channel, int group);
    CommandOutcome DropChannel(int device, int channel, int group, int targetCell);
    CommandOutcome DropGroup(int group);
    CommandOutcome SwapCells(int source, int target);

    // Toolbar. Manual recording of the cell's channel: true when it records manually after.
    CommandOutcome ToggleManualRecord(int cell);
    // The cell's sound: 1 playing, 0 closed after the toggle, -1 when it failed or the cell
    // shows nothing.
    int ToggleSound(int cell);
    // Starts a tour from the cell, or stops the one it is in. rc 0 when a tour runs after.
    CommandOutcome ToggleTour(int cell);
    // Previous (-1) / next (+1): steps a running tour, else shows the nearest group.
    void Step(int cell, int direction);
    // The tour popup's values when they differ from the stored ones.
    bool TourRunning(int cell) const { return services_.tours.CellInTour(cell); }

    // The tour workers' requests (messages 1220, 1221).
    void OnTourShow(int cell, int channelId);
    void OnTourClearAll();

    // The label of a channel id (the channel that holds the talk).
    std::string ChannelLabel(int channelId) const;

private:
    bool HasChannel(int device, int channel) const;
    bool RecordingManually(int device, int channel) const;
    int SetManualRecord(int device, int channel, bool start);
    CommandOutcome Talk(int device, int channel);
    void Capture(int cell, int device, int channel);
    void Disconnect(int device, int channel);
    void SwitchStream(int device, int channel, bool main);
    void SetDisplayMode(int device, int channel, int autoAdjust);
    // Channels a tree command acts on: the node's channel, or every member of the group.
    std::vector<GroupView::Member> Targets(int group, int device, int channel, bool wholeGroup) const;
    CommandOutcome ApplyToChannels(int command, const std::vector<GroupView::Member>& targets);
    CommandOutcome StartTour(int cell);
    void Log(int subtype, int device, int channel) const {
        if (hooks_.log) hooks_.log(subtype, device, channel);
    }
    LiveSettings Settings() const { return hooks_.settings ? hooks_.settings() : LiveSettings{}; }

    LiveCommandServices services_;
    CellView& view_;
    LiveCommandHooks hooks_;
};

// Messages of the live view's refusals.
inline constexpr const char* kChannelInTour = "Channel is rota, can not operate!";
inline constexpr const char* kGroupInTour = "Group is rota, can not operate!";
inline constexpr const char* kTourNeedsChannel = "Please drag the window to any channel, try!";
inline constexpr const char* kTourStartFailed = "Start rota failed!";
inline constexpr const char* kTalkHeld = "Talk channel is being used, please try to stop:";
inline constexpr const char* kTalkStartFailed = "Start talk failed!";
inline constexpr const char* kTalkStopFailed = "Close talk failed!";

}  // namespace ocv
