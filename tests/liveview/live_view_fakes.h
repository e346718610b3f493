#pragma once
// In-memory stand-ins for the services the live view's rules use: the device directory, the
// connections and the player cells. Each records what it was asked.
#include <array>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "device/channel_connections.h"
#include "device/channel_directory.h"
#include "device/player_cells.h"
#include "store/relaxed.h"
#include "store/text_field.h"

namespace ocv::test {

class FakeDirectory : public ChannelDirectory {
public:
    FakeDirectory() : devices_(new DeviceInfo[kMaxDevices]) {}
    // A device in the first free slot with channels 0..channels-1 stored (ids from nextId).
    int AddDevice(const char* host, int port, int channels) {
        int slot = 0;
        while (slot < kMaxDevices && !devices_[slot].IsEmpty()) ++slot;
        DeviceInfo& d = devices_[slot];
        CopyText(d.host, host);
        d.port = port;
        d.channelCount = channels;
        for (int c = 0; c < channels; ++c) d.channels[c].id = nextId_++;
        return slot;
    }
    DeviceInfo& Stored(int device) { return devices_[device]; }
    const DeviceInfo* Device(int device) const override {
        return device >= 0 && device < kMaxDevices && !devices_[device].IsEmpty() ? &devices_[device] : nullptr;
    }
    std::vector<GroupView> Groups() const override { return groups; }
    const RuntimeTable& Runtime() const override { return runtime; }

    std::vector<GroupView> groups;
    RuntimeTable runtime;

private:
    std::unique_ptr<DeviceInfo[]> devices_;
    int nextId_ = 101;
};

class FakeConnections : public ChannelConnections {
public:
    int StartConnectWorker(int device, int channel) override {
        std::lock_guard lock(mutex_);
        connects.push_back({device, channel});
        return 0;
    }
    int SetConnectPending(int, int, int) override { return 0; }
    int OpenThermalStream(int device, int, void*) override {
        std::lock_guard lock(mutex_);
        thermalOpens.push_back(device);
        return thermalOpenResult;
    }
    int CloseThermalStream(int device) override {
        std::lock_guard lock(mutex_);
        thermalCloses.push_back(device);
        return 0;
    }
    int IsThermalCapable(int device, int) const override { return capable.count(device) ? 0 : -1; }
    int StartDeviceThread(int) override { return 0; }
    int StopDeviceThread(int) override { return 0; }
    int RetryLoginNow(int) override { return 0; }

    std::vector<std::pair<int, int>> Connects() {
        std::lock_guard lock(mutex_);
        return connects;
    }

    std::set<int> capable;
    int thermalOpenResult = 0;
    std::vector<std::pair<int, int>> connects;
    std::vector<int> thermalOpens, thermalCloses;

private:
    std::mutex mutex_;
};

class FakePlayers : public PlayerCells {
public:
    FakePlayers() { slots_.fill(-1); }
    int CreatePlayer(int, void*) override { return 0; }
    int DestroyPlayer(int) override { return 0; }
    void SetOverlayHandler(OverlayFn) override {}
    int AttachChannel(int slot, int channelId, int) override {
        if (slot < 0 || slot >= 36) return -1;
        slots_[slot] = channelId;
        return 0;
    }
    int DetachSlot(int slot) override { return AttachChannel(slot, -1, 0); }
    int SwapSlots(int a, int b, int, int) override {
        std::swap(slots_[a], slots_[b]);
        return 0;
    }
    int GetSlotChannel(int slot) const override { return slot >= 0 && slot < 36 ? slots_[slot] : -1; }
    int OpenSound(int) override { return 0; }
    int CloseSound(int) override { return 0; }
    bool SoundOn(int) const override { return false; }
    int ApplyDisplayMode(int, bool) override { return 0; }
    int SetDisplayRegion(int slot, const QVXPlayRect* region) override {
        regions[slot] = region ? *region : QVXPlayRect{};
        zoomed[slot] = region != nullptr;
        return 0;
    }
    int PauseOthers(int, int) override { return 0; }
    int SetStreamPolicy(int, int) override { return 0; }
    int SetVisibleSplit(int) override { return 0; }
    int ApplyVisibleCount(int) override { return 0; }

    std::map<int, QVXPlayRect> regions;
    std::map<int, bool> zoomed;

private:
    std::array<int, 36> slots_;
};

}  // namespace ocv::test
