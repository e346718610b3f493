#include "liveview/live_view_controller.h"

#include "store/relaxed.h"

namespace ocv {

LiveViewController::LiveViewController(LiveViewServices services, CellView& view, std::string configIni,
                                       ThermalOpener::PostFn post)
    : connections_(services.connections),
      players_(services.players),
      directory_(services.directory),
      view_(view),
      configIni_(std::move(configIni)),
      thermal_(services.connections, std::move(post)) {}

void LiveViewController::LoadGroups() { groups_ = directory_.Groups(); }

bool LiveViewController::ValidChannel(int device, int channel) const {
    return device >= 0 && device < kMaxDevices && IsValidChannelOf(directory_.Device(device), channel);
}

bool LiveViewController::WantsInset(int device) const {
    const DeviceInfo* dev = device >= 0 && device < kMaxDevices ? directory_.Device(device) : nullptr;
    return dev != nullptr && Relaxed(dev->thermalFlag) == 1;
}

int LiveViewController::LoadScreenMemory() {
    memory_ = ocv::LoadScreenMemory(configIni_);
    return IsValidSplitMode(memory_.splitMode) ? memory_.splitMode : 0;
}

void LiveViewController::SaveMemory() { SaveScreenMemory(configIni_, memory_); }

void LiveViewController::RememberCell(int cell, int recordId) {
    if (cell < 0 || cell >= kMaxCells) return;
    memory_.channelIds[cell] = recordId;
}

bool LiveViewController::ValidDevice(int device) const {
    return device >= 0 && device < kMaxDevices && directory_.Device(device) != nullptr;
}

int LiveViewController::RecordIdOf(int device, int channel) const {
    if (!ValidChannel(device, channel)) return 0;
    return Relaxed(directory_.Device(device)->channels[channel].id);
}

int LiveViewController::CellChannel(int cell) const {
    if (cell < 0 || cell >= kMaxCells) return -1;
    return players_.GetSlotChannel(cell);
}

int LiveViewController::CellOfChannel(int device, int channel) const {
    int id = ChannelIdOf(device, channel);
    for (int cell = 0; cell < kMaxCells; ++cell)
        if (CellChannel(cell) == id) return cell;
    return -1;
}

int LiveViewController::OpenChannelInCell(int device, int channel, int cell) {
    if (!view_.HasRight(kRightLiveView)) return -1;
    if (!ValidChannel(device, channel)) return -1;
    if (cell >= kMaxCells) return -1;
    if (cell >= 0) {
        if (players_.AttachChannel(cell, ChannelIdOf(device, channel), 1) != 0) return -1;
        RelabelCell(cell);
        if (WantsInset(device)) OpenInset(cell);
    }
    connections_.StartConnectWorker(device, channel);
    return 0;
}

void LiveViewController::CloseCell(int cell) {
    if (!view_.HasRight(kRightLiveView)) return;
    int first = cell < 0 ? 0 : cell, last = cell < 0 ? kMaxCells - 1 : cell;
    if (first >= kMaxCells) return;
    bool closed = false;
    for (int k = first; k <= last; ++k) {
        if (CellChannel(k) < 0) continue;
        closed = true;
        CloseInset(k);
        players_.AttachChannel(k, -1, 0);
        RememberCell(k, 0);
        RelabelCell(k);
        view_.RepaintCell(k);
    }
    // A closed cell stays closed after a restart.
    if (closed) SaveMemory();
}

int LiveViewController::OpenFromTree(int device, int channel) {
    if (!ValidChannel(device, channel)) return -1;
    int shown = CellOfChannel(device, channel);
    if (shown >= 0) return OpenChannelInCell(device, channel, shown) == 0 ? shown : -1;
    int target = -1;
    int selected = view_.SelectedCell();
    if (selected >= 0 && selected < kMaxCells && CellChannel(selected) < 0) {
        target = selected;
    } else {
        for (int k = 0; k < kMaxCells && target < 0; ++k)
            if (CellChannel(k) < 0) target = k;
    }
    if (target < 0) return -1;
    if (OpenChannelInCell(device, channel, target) != 0) return -1;
    RememberCell(target, RecordIdOf(device, channel));
    SaveMemory();
    return target;
}

void LiveViewController::DropChannel(int device, int channel, int target) {
    if (target < 0 || target >= kMaxCells || !ValidChannel(device, channel)) return;
    if (!view_.HasRight(kRightLiveView)) return;
    int shown = CellOfChannel(device, channel);
    if (shown == target) return;
    if (shown >= 0) {
        CloseCell(target);
        CloseInset(shown);
        CloseInset(target);
        players_.SwapSlots(shown, target, 1, 1);
        RememberCell(shown, 0);
        RelabelCell(shown);
        view_.RepaintCell(shown);
        if (WantsInset(device)) OpenInset(target);
    } else {
        CloseCell(target);
        if (OpenChannelInCell(device, channel, target) != 0) return;
    }
    RememberCell(target, RecordIdOf(device, channel));
    SaveMemory();
    RelabelCell(target);
    view_.RepaintCell(target);
}

void LiveViewController::SwapCells(int source, int target) {
    if (source < 0 || source >= kMaxCells || target < 0 || target >= kMaxCells || source == target) return;
    CloseInset(source);
    CloseInset(target);
    players_.SwapSlots(source, target, 0, 0);
    view_.RepaintCell(source);
    view_.RepaintCell(target);
    for (int cell : {source, target}) AfterCellChanged(cell);
    SaveMemory();
    for (int cell : {source, target}) {
        int id = CellChannel(cell);
        if (id < 0) continue;
        int device = id / kMaxChannels;
        if (WantsInset(device)) OpenInset(cell);
    }
}

void LiveViewController::AfterCellChanged(int cell) {
    int id = CellChannel(cell);
    if (id >= 0) {
        int device = id / kMaxChannels, channel = id % kMaxChannels;
        RememberCell(cell, ValidDevice(device) ? RecordIdOf(device, channel) : 0);
    } else {
        RememberCell(cell, 0);
    }
    RelabelCell(cell);
}

bool LiveViewController::ShowGroup(int group) {
    if (group < 0 || group >= static_cast<int>(groups_.size()) || groups_[group].members.empty()) return false;
    if (!view_.HasRight(kRightLiveView)) return false;
    currentGroup_ = group;
    CloseCell(-1);
    int cell = 0;
    for (const GroupView::Member& m : groups_[group].members) {
        if (cell == kMaxCells) break;
        if (!ValidDevice(m.device)) continue;
        if (OpenChannelInCell(m.device, m.channel, cell) == 0) RememberCell(cell, RecordIdOf(m.device, m.channel));
        ++cell;
    }
    SaveMemory();
    return true;
}

bool LiveViewController::StepGroup(int direction) {
    const int count = static_cast<int>(groups_.size());
    for (int g = currentGroup_ + direction; g >= 0 && g < count; g += direction)
        if (!groups_[g].members.empty()) return ShowGroup(g);
    // Before any group was shown, "previous" has nothing before it.
    return false;
}

void LiveViewController::OnSplitChosen(int mode) {
    PlayerCells& players = players_;
    // Raising the visible count resumes only the cells it adds; the cells a maximised cell
    // paused may lie below it and would stay frozen. Cells beyond the new split are paused
    // again by their next frame.
    if (maximizedCell_ >= 0) {
        players.PauseOthers(maximizedCell_, 0);
        maximizedCell_ = -1;
    }
    players.ApplyVisibleCount(mode);
    players.SetStreamPolicy(-1, mode);
    memory_.splitMode = mode;
    SaveMemory();
}

void LiveViewController::OnMaximizeChanged(int cell, bool maximized, int splitMode) {
    PlayerCells& players = players_;
    if (maximized) {
        maximizedCell_ = cell;
        players.SetStreamPolicy(cell, splitMode);
        players.PauseOthers(cell, 1);
    } else {
        maximizedCell_ = -1;
        players.SetStreamPolicy(-1, splitMode);
        players.PauseOthers(cell, 0);
    }
}

void LiveViewController::SetPageHidden(bool hidden, int splitMode) {
    PlayerCells& players = players_;
    players.SetVisibleSplit(hidden ? -1 : splitMode);
    // Showing the grid resumes every cell; the hidden cells behind a maximised one stay paused.
    if (!hidden && maximizedCell_ >= 0) players.PauseOthers(maximizedCell_, 1);
}

void LiveViewController::SetZoomMode(bool on) {
    zoomMode_ = on;
    zoom_.Disarm();
    if (!on)
        for (int k = 0; k < kMaxCells; ++k) players_.SetDisplayRegion(k, nullptr);
}

void LiveViewController::ZoomPress(int cell, int x, int y) {
    if (zoomMode_ && cell == view_.SelectedCell()) zoom_.Arm(cell, x, y);
}

void LiveViewController::ZoomMove(int cell, int x, int y) {
    if (zoomMode_) zoom_.Move(cell, x, y);
}

void LiveViewController::ZoomRelease(int cell, int x, int y) {
    if (!zoomMode_) return;
    bool armed = zoom_.ArmedCell() == cell;
    int px = 0, py = 0;
    zoom_.Press(&px, &py);
    zoom_.Disarm();
    if (cell < 0 || cell >= kMaxCells) return;
    QVXPlayRect region{};
    // The drag is in window points; the player's region is in picture pixels.
    if (armed && IsZoomDrag(px, py, x, y) && ZoomRectInPicture(px, py, x, y, zoom_.LastGeometry(cell), &region)) {
        players_.SetDisplayRegion(cell, &region);
    } else {
        players_.SetDisplayRegion(cell, nullptr);
    }
}

void LiveViewController::SetTemperatureMark(int channelId, const TemperatureMark& mark) {
    if (mark.code != kEventTemperatureNormal && mark.code != kEventTemperatureAbnormal) return;
    marks_[channelId] = mark;
}

void LiveViewController::RelabelChannel(int device, int channel) {
    int id = ChannelIdOf(device, channel);
    for (int cell = 0; cell < kMaxCells; ++cell)
        if (CellChannel(cell) == id) RelabelCell(cell);
}

void LiveViewController::RelabelCell(int cell) {
    if (cell < 0 || cell >= kMaxCells) return;
    int id = CellChannel(cell);
    if (id < 0 || !ValidDevice(id / kMaxChannels)) {
        strips_[cell] = CellStrip{};
        view_.SetCellText(cell, std::string(), strips_[cell]);
        return;
    }
    std::string label = CellChannelLabel(*directory_.Device(id / kMaxChannels), id % kMaxChannels);
    auto mark = marks_.find(id);
    TemperatureMark m = mark == marks_.end() ? TemperatureMark{} : mark->second;
    strips_[cell] = TemperatureStrip(label, m, strips_[cell], normalText_, abnormalText_);
    view_.SetCellText(cell, label, strips_[cell]);
}

void LiveViewController::RestoreCells() {
    bool changed = false;
    for (int cell = 0; cell < kMaxCells; ++cell) {
        int recordId = memory_.channelIds[cell];
        if (recordId <= 0) continue;
        int found = -1;
        for (int d = 0; d < kMaxDevices && found < 0; ++d) {
            const DeviceInfo* dev = directory_.Device(d);
            if (dev == nullptr || Relaxed(dev->name[0]) == 0) continue;
            for (int c = 0; c < kMaxChannels; ++c) {
                if (Relaxed(dev->channels[c].id) == recordId) {
                    found = ChannelIdOf(d, c);
                    break;
                }
            }
        }
        if (found < 0 || OpenChannelInCell(found / kMaxChannels, found % kMaxChannels, cell) != 0) {
            if (found < 0) {
                memory_.channelIds[cell] = 0;
                changed = true;
            }
        }
    }
    if (changed) SaveMemory();
}

void LiveViewController::OpenInset(int cell) {
    int id = CellChannel(cell);
    if (id < 0) return;
    int device = id / kMaxChannels, channel = id % kMaxChannels;
    if (connections_.IsThermalCapable(device, channel) != 0) return;
    view_.ShowInset(cell, true);
    thermal_.Open(cell, device, channel, view_.InsetHandle(cell));
}

void LiveViewController::OnInsetOpenFailed(int cell, int device) {
    int id = CellChannel(cell);
    if (id < 0 || id / kMaxChannels != device || directory_.Runtime().device(device).thermalStream.load() != 0) return;
    // Not logged in yet: no empty square meanwhile; RetryInsets opens it once the device is up.
    view_.ShowInset(cell, false);
}

void LiveViewController::RetryInsets(int device) {
    if (!WantsInset(device) || directory_.Runtime().device(device).thermalStream.load() != 0 ||
        thermal_.OpenPending(device))
        return;
    for (int cell = 0; cell < kMaxCells; ++cell) {
        int id = CellChannel(cell);
        if (id >= 0 && id / kMaxChannels == device) {
            OpenInset(cell);
            return;  // one thermal picture per device
        }
    }
}

void LiveViewController::CloseInset(int cell) {
    int id = CellChannel(cell);
    if (id >= 0) {
        int device = id / kMaxChannels;
        if (ValidDevice(device) && connections_.IsThermalCapable(device, id % kMaxChannels) == 0)
            thermal_.Close(device);
    }
    view_.ShowInset(cell, false);
}

}  // namespace ocv
