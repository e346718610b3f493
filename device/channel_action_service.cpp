#include "device/channel_action_service.h"

#include <chrono>
#include <thread>

#include "backup/player_picture_grabber.h"
#include "backup/snapshot.h"
#include "base/trace.h"
#include "store/relaxed.h"

namespace ocv {

int ChannelActionService::CaptureCell(int slot, std::string* path) {
    if (slot < 0 || slot >= kGridSlots) return -1;
    int id = p_.players.GetSlotChannel(slot);
    int port = p_.players.slot(slot).port.load();
    if (!IsChannelId(id) || port == 0 || p_.store.IsValidChannel(DeviceIndexOf(id), ChannelIndexOf(id)) != 0) {
        Trace("capture of cell %d: it shows no channel\n", slot);
        return -1;
    }
    const DeviceInfo& dev = p_.store.device(DeviceIndexOf(id));
    char host[kTextBytes];
    ReadTextRelaxed(dev.host, host);
    // A copy: the photo path is completed with its backslash for this capture only.
    SystemSettings settings = p_.store.settings();
    backup::PlayerPictureGrabber grabber(port);
    int rc = backup::CaptureLive(settings, host, Relaxed(dev.port), ChannelIndexOf(id) + 1, grabber, path);
    if (rc == -1) Trace("capture of cell %d: the picture could not be written\n", slot);
    return rc;
}

void ChannelActionService::CloseIfOpen(int device, int channel) {
    DeviceRuntime& dev = p_.runtime.device(device);
    // The device lock waits out an open under way, so the close comes after it.
    std::lock_guard lock(dev.lock);
    const ChannelRuntime& c = dev.channels[channel];
    if (c.mainStream.load() != 0 || c.subStream.load() != 0) p_.connections.CloseChannel(device, channel);
}

bool ChannelActionService::Configured(int device, int channel) const {
    return p_.store.IsValidChannel(device, channel) == 0 && channel < Relaxed(p_.store.device(device).channelCount);
}

int ChannelActionService::DisconnectChannel(int device, int channel) {
    if (!Configured(device, channel)) {
        Trace("disconnect channel %d of device %d: not configured\n", channel, device);
        return -1;
    }
    const ChannelRuntime& c = p_.runtime.channel(device, channel);
    bool workerRan = c.connectPending.load() != 0;
    p_.connections.SetConnectPending(device, channel, 0);
    CloseIfOpen(device, channel);
    if (workerRan) {
        // A worker that had just seen the channel wanted may still open it once: it leaves
        // within one of its turns, and what it opened is closed again.
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(workerGraceMs_);
        while (std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (c.mainStream.load() != 0 && c.connectPending.load() == 0) CloseIfOpen(device, channel);
        }
    }
    return 0;
}

int ChannelActionService::MarkTimeSync(int device, int channel) {
    if (!Configured(device, channel)) {
        Trace("check time of channel %d of device %d: not configured\n", channel, device);
        return -1;
    }
    p_.timeSync.Mark(ChannelIdOf(device, channel));
    return 0;
}

}  // namespace ocv
