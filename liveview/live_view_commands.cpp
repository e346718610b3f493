#include "liveview/live_view_commands.h"

#include "events/log_record.h"
#include "sdk/qvx_sdk.h"
#include "store/relaxed.h"

namespace ocv {

LiveViewCommands::LiveViewCommands(LiveCommandServices services, CellView& view, LiveCommandHooks hooks)
    : services_(services), view_(view), hooks_(std::move(hooks)) {}

bool LiveViewCommands::HasChannel(int device, int channel) const {
    return device >= 0 && device < kMaxDevices && IsValidChannelOf(services_.directory.Device(device), channel);
}

bool LiveViewCommands::RecordingManually(int device, int channel) const {
    return HasChannel(device, channel) &&
           services_.directory.Runtime().channel(device, channel).recordType.load() == kRecordManual;
}

std::string LiveViewCommands::ChannelLabel(int channelId) const {
    if (!IsChannelId(channelId)) return {};
    const DeviceInfo* dev = services_.directory.Device(DeviceIndexOf(channelId));
    return dev ? TreeChannelLabel(*dev, ChannelIndexOf(channelId), kDeviceOnline) : std::string();
}

CellMenuState LiveViewCommands::MenuStateOf(int cell, bool fullScreen) const {
    CellMenuState s;
    s.fullScreen = fullScreen;
    s.zoomMode = services_.controller.zoomMode();
    s.inTour = services_.tours.CellInTour(cell);
    int id = services_.controller.CellChannel(cell);
    if (id < 0 || !HasChannel(DeviceIndexOf(id), ChannelIndexOf(id))) return s;
    int d = DeviceIndexOf(id), c = ChannelIndexOf(id);
    const DeviceInfo& dev = *services_.directory.Device(d);
    s.showsChannel = true;
    s.recordingManually = RecordingManually(d, c);
    s.talking = services_.talk.IsTalking(id);
    s.autoAdjust = Relaxed(dev.channels[c].autoAdjust) != 0;
    s.thermalSupported = services_.connections.IsThermalCapable(d, c) == 0;
    s.insetOpen = Relaxed(dev.thermalFlag) == 1;
    s.deviceType = Relaxed(dev.type);
    return s;
}

TreeChannelState LiveViewCommands::TreeStateOf(int device, int channel) const {
    TreeChannelState s;
    s.showMode = Settings().showMode;
    if (!HasChannel(device, channel)) return s;
    const DeviceInfo& dev = *services_.directory.Device(device);
    s.hasStream = services_.directory.Runtime().channel(device, channel).mainStream.load() != 0;
    s.recordingManually = RecordingManually(device, channel);
    s.autoAdjust = Relaxed(dev.channels[channel].autoAdjust) != 0;
    s.deviceType = Relaxed(dev.type);
    return s;
}

CommandOutcome LiveViewCommands::CellCommand(int command, int cell) {
    if (cell < 0 || cell >= kMaxCells) return {-1};
    LiveViewController& lv = services_.controller;
    const int id = lv.CellChannel(cell);
    const bool shows = id >= 0 && HasChannel(DeviceIndexOf(id), ChannelIndexOf(id));
    const int d = shows ? DeviceIndexOf(id) : -1, c = shows ? ChannelIndexOf(id) : -1;
    const bool inTour = services_.tours.CellInTour(cell);
    switch (command) {
        case kCellCapture:
            if (!view_.HasRight(kRightCapture) || !shows) return {-1};
            Capture(cell, d, c);
            return {};
        case kCellManualRecord:
            return ToggleManualRecord(cell);
        case kCellTalk:
            if (!shows) return {-1};
            if (inTour) return {-1, kChannelInTour};
            return Talk(d, c);
        case kCellCheckTime:
            if (!view_.HasRight(kRightCheckTime) || !shows) return {-1};
            return {services_.actions.MarkTimeSync(d, c)};
        case kCellDisplayMode: {
            if (!shows) return {-1};
            int now = Relaxed(services_.directory.Device(d)->channels[c].autoAdjust);
            SetDisplayMode(d, c, now ? 0 : 1);
            return {};
        }
        case kCellStopView:
            if (inTour) return {-1, kChannelInTour};
            lv.CloseCell(cell);
            return {};
        case kCellDisconnect:
            if (inTour) return {-1, kChannelInTour};
            if (!shows || !view_.HasRight(kRightLiveView)) return {-1};
            lv.CloseCell(cell);
            Disconnect(d, c);
            return {};
        case kCellStopAllView:
            if (inTour) return {-1, kChannelInTour};
            lv.CloseCell(-1);
            return {};
        case kCellMainStream:
        case kCellSubStream:
            if (inTour) return {-1, kChannelInTour};
            if (!shows || !view_.HasRight(kRightLiveView)) return {-1};
            SwitchStream(d, c, command == kCellMainStream);
            return {};
        case kCellThermalOpen:
            if (!shows) return {-1};
            if (inTour) return {-1, kChannelInTour};
            if (services_.connections.IsThermalCapable(d, c) != 0) return {-1};
            if (hooks_.setThermalFlag) hooks_.setThermalFlag(d, 1);
            lv.OpenInset(cell);
            return {};
        case kCellThermalClose:
            if (!shows) return {-1};
            lv.CloseInset(cell);
            if (hooks_.setThermalFlag) hooks_.setThermalFlag(d, 0);
            return {};
        default:
            // PTZ, zoom, camera settings and full screen are the page's own.
            return {};
    }
}

CommandOutcome LiveViewCommands::ToggleManualRecord(int cell) {
    if (!view_.HasRight(kRightManualRecord)) return {-1};
    int id = services_.controller.CellChannel(cell);
    if (id < 0 || !HasChannel(DeviceIndexOf(id), ChannelIndexOf(id))) return {-1};
    int d = DeviceIndexOf(id), c = ChannelIndexOf(id);
    return {SetManualRecord(d, c, !RecordingManually(d, c))};
}

int LiveViewCommands::SetManualRecord(int device, int channel, bool start) {
    RecordingControl& rec = services_.recording;
    if (!start) {
        int rc = rec.StopRecording(device, channel);
        if (rc == 0) Log(kLogStopManualRecord, device, channel);
        return rc;
    }
    // A plan or alarm recording makes way for the operator's.
    if (services_.directory.Runtime().channel(device, channel).recordType.load() != kRecordNone)
        rec.StopRecording(device, channel);
    int rc = rec.StartManualRecording(device, channel);
    if (rc == 0) Log(kLogManualRecord, device, channel);
    return rc;
}

int LiveViewCommands::ToggleSound(int cell) {
    int id = services_.controller.CellChannel(cell);
    if (id < 0) return -1;
    PlayerCells& players = services_.players;
    if (players.SoundOn(id)) return players.CloseSound(cell) == 0 ? 0 : -1;
    return players.OpenSound(cell) == 0 ? 1 : -1;
}

CommandOutcome LiveViewCommands::Talk(int device, int channel) {
    TalkControl& talk = services_.talk;
    int id = ChannelIdOf(device, channel);
    if (talk.IsTalking(id)) {
        int rc = talk.StopTalk(device, channel);
        if (rc != 0) return {rc, kTalkStopFailed, {}, 3};
        Log(kLogCloseTalk, device, channel);
        return {};
    }
    int holder = talk.GetTalkChannel();
    if (holder >= 0) return {-1, kTalkHeld, ChannelLabel(holder)};
    if (!view_.HasRight(kRightTalk)) return {-1};
    int rc = talk.StartTalk(device, channel);
    if (rc != 0) return {rc, kTalkStartFailed, {}, 3};
    Log(kLogTalk, device, channel);
    return {};
}

void LiveViewCommands::Capture(int cell, int device, int channel) {
    ChannelActions& actions = services_.actions;
    services_.jobs.Run(
        [&actions, cell] {
            std::string path;
            return actions.CaptureCell(cell, &path);
        },
        [this, device, channel](int rc) {
            if (rc == 0) Log(kLogCapture, device, channel);
        });
}

void LiveViewCommands::Disconnect(int device, int channel) {
    ChannelActions& actions = services_.actions;
    services_.jobs.Run([&actions, device, channel] { return actions.DisconnectChannel(device, channel); });
}

void LiveViewCommands::SwitchStream(int device, int channel, bool main) {
    if (hooks_.modifyChannel) hooks_.modifyChannel(device, channel, kChannelStream, main ? 0 : 1);
    DeviceConfiguration& config = services_.deviceConfig;
    services_.jobs.Run([&config, device, channel, main] {
        uint32_t value = main ? kStreamChoiceMain : kStreamChoiceSub;
        return config.SendChannelConfig(device, channel, QVX_CMD_STREAM_CHOICE, &value, sizeof value);
    });
}

void LiveViewCommands::SetDisplayMode(int device, int channel, int autoAdjust) {
    if (hooks_.modifyChannel) hooks_.modifyChannel(device, channel, kChannelAutoAdjust, autoAdjust);
    int id = ChannelIdOf(device, channel);
    for (int cell = 0; cell < kMaxCells; ++cell) {
        if (services_.controller.CellChannel(cell) != id) continue;
        services_.players.ApplyDisplayMode(cell, false);
        view_.RepaintCell(cell);
    }
}

std::vector<GroupView::Member> LiveViewCommands::Targets(int group, int device, int channel, bool wholeGroup) const {
    if (!wholeGroup) return {{device, channel}};
    const auto& groups = services_.controller.groups();
    if (group < 0 || group >= static_cast<int>(groups.size())) return {};
    return groups[group].members;
}

CommandOutcome LiveViewCommands::ChannelCommand(int command, int device, int channel, int group) {
    if (services_.tours.GroupInTour(group)) return {-1, kGroupInTour};
    if (!HasChannel(device, channel)) return {-1};
    return ApplyToChannels(command, Targets(group, device, channel, false));
}

CommandOutcome LiveViewCommands::GroupCommand(int command, int group) {
    if (command == kTreeGroupDisplay) return DropGroup(group);
    if (command == kTreeCollapseAll || command == kTreeExpandAll) return {};
    if (services_.tours.GroupInTour(group)) return {-1, kGroupInTour};
    return ApplyToChannels(command, Targets(group, -1, -1, true));
}

CommandOutcome LiveViewCommands::ApplyToChannels(int command, const std::vector<GroupView::Member>& targets) {
    LiveViewController& lv = services_.controller;
    auto needs = [this](int right) { return view_.HasRight(right); };
    switch (command) {
        case kTreeConnect:
            for (const auto& m : targets) lv.OpenChannelInCell(m.device, m.channel, -1);
            return {};
        case kTreeDisconnect:
            if (!needs(kRightLiveView)) return {-1};
            for (const auto& m : targets) {
                if (!HasChannel(m.device, m.channel)) continue;
                int id = ChannelIdOf(m.device, m.channel);
                for (int cell = 0; cell < kMaxCells; ++cell)
                    if (lv.CellChannel(cell) == id) lv.CloseCell(cell);
                Disconnect(m.device, m.channel);
            }
            return {};
        case kTreeManualRecord:
        case kTreeStopManualRecord: {
            if (!needs(kRightManualRecord)) return {-1};
            bool start = command == kTreeManualRecord;
            int failed = 0;
            for (const auto& m : targets) {
                if (!HasChannel(m.device, m.channel) || RecordingManually(m.device, m.channel) == start) continue;
                if (SetManualRecord(m.device, m.channel, start) != 0) ++failed;
            }
            return {failed ? -1 : 0};
        }
        case kTreeMainStream:
        case kTreeSubStream:
            if (!needs(kRightLiveView)) return {-1};
            for (const auto& m : targets)
                if (HasChannel(m.device, m.channel)) SwitchStream(m.device, m.channel, command == kTreeMainStream);
            return {};
        case kTreeOriginal:
        case kTreeTile:
            for (const auto& m : targets)
                if (HasChannel(m.device, m.channel)) SetDisplayMode(m.device, m.channel, command == kTreeOriginal ? 1 : 0);
            return {};
        case kTreeCheckTime:
            if (!needs(kRightCheckTime)) return {-1};
            for (const auto& m : targets)
                if (HasChannel(m.device, m.channel)) services_.actions.MarkTimeSync(m.device, m.channel);
            return {};
        default:
            return {-1};
    }
}

CommandOutcome LiveViewCommands::OpenFromTree(int device, int channel, int group) {
    if (services_.tours.GroupInTour(group)) return {-1, kGroupInTour};
    return {services_.controller.OpenFromTree(device, channel) >= 0 ? 0 : -1};
}

CommandOutcome LiveViewCommands::DropChannel(int device, int channel, int group, int targetCell) {
    if (services_.tours.CellInTour(targetCell)) return {-1, kChannelInTour};
    if (services_.tours.GroupInTour(group)) return {-1, kGroupInTour};
    services_.controller.DropChannel(device, channel, targetCell);
    return {};
}

CommandOutcome LiveViewCommands::DropGroup(int group) {
    if (services_.tours.GroupInTour(group)) return {-1, kGroupInTour};
    // Showing a group empties every cell, the touring ones too.
    if (services_.tours.AnyRunning()) return {-1, kChannelInTour};
    return {services_.controller.ShowGroup(group) ? 0 : -1};
}

CommandOutcome LiveViewCommands::SwapCells(int source, int target) {
    if (services_.tours.CellInTour(source) || services_.tours.CellInTour(target)) return {-1, kChannelInTour};
    services_.controller.SwapCells(source, target);
    return {};
}

CommandOutcome LiveViewCommands::ToggleTour(int cell) {
    TourRunner& tours = services_.tours;
    if (tours.SingleRunning(cell)) {
        int id = services_.controller.CellChannel(cell);
        tours.StopSingle(cell);
        Log(kLogStopRota, id >= 0 ? DeviceIndexOf(id) : -1, id >= 0 ? ChannelIndexOf(id) : 0);
        return {-1};
    }
    if (tours.MultiRunning()) {
        tours.StopMulti();
        Log(kLogStopRota, -1, 0);
        return {-1};
    }
    return StartTour(cell);
}

CommandOutcome LiveViewCommands::StartTour(int cell) {
    LiveViewController& lv = services_.controller;
    TourRunner& tours = services_.tours;
    LiveSettings settings = Settings();
    const auto& groups = lv.groups();
    if (settings.rotaType == 1) {
        if (tours.MultiRunning()) return {-1, kTourStartFailed};
        std::vector<TourEntry> entries;
        for (const GroupView& g : groups) {
            for (const GroupView::Member& m : g.members) {
                if (entries.size() == kMaxMultiTourEntries) break;
                entries.push_back({m.device, m.channel, services_.directory.Device(m.device) != nullptr});
            }
        }
        lv.CloseCell(-1);
        if (tours.StartMulti(std::move(entries), settings.rotaInterval) != 0) return {-1, kTourStartFailed};
        Log(kLogStartRota, -1, 0);
        return {};
    }
    if (cell < 0 || cell >= kMaxCells) return {-1, kTourNeedsChannel};
    int id = lv.CellChannel(cell);
    if (id < 0) return {-1, kTourNeedsChannel};
    int d = DeviceIndexOf(id), c = ChannelIndexOf(id);
    if (services_.directory.Device(d) == nullptr) return {-1, kTourNeedsChannel};
    if (tours.SingleRunning(cell)) return {-1, kTourStartFailed};
    int group = -1;
    for (int g = 0; g < static_cast<int>(groups.size()) && group < 0; ++g)
        for (const GroupView::Member& m : groups[g].members)
            if (m.device == d && m.channel == c) {
                group = g;
                break;
            }
    if (group < 0) return {-1, kTourStartFailed};
    std::vector<TourEntry> entries;
    for (const GroupView::Member& m : groups[group].members) {
        if (entries.size() == kMaxSingleTourEntries) break;
        entries.push_back({m.device, m.channel, services_.directory.Device(m.device) != nullptr});
        // Every other cell showing a member of the group gives it up to the tour.
        int shown = ChannelIdOf(m.device, m.channel);
        for (int k = 0; k < kMaxCells; ++k)
            if (k != cell && lv.CellChannel(k) == shown) lv.CloseCell(k);
    }
    if (tours.StartSingle(cell, group, std::move(entries), settings.rotaInterval) != 0) return {-1, kTourStartFailed};
    Log(kLogStartRota, d, c);
    return {};
}

void LiveViewCommands::Step(int cell, int direction) {
    TourRunner& tours = services_.tours;
    if (tours.MultiRunning()) tours.StepMulti(direction);
    else if (tours.AnyRunning()) tours.StepSingle(cell, direction);
    else services_.controller.StepGroup(direction);
}

void LiveViewCommands::OnTourShow(int cell, int channelId) {
    LiveViewController& lv = services_.controller;
    if (lv.CellChannel(cell) == channelId && channelId >= 0) return;  // a group of one
    lv.CloseCell(cell);
    if (IsChannelId(channelId)) lv.OpenChannelInCell(DeviceIndexOf(channelId), ChannelIndexOf(channelId), cell);
}

void LiveViewCommands::OnTourClearAll() { services_.controller.CloseCell(-1); }

}  // namespace ocv
