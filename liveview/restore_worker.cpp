#include "liveview/restore_worker.h"

#include <pthread.h>

#include "store/relaxed.h"

namespace ocv {

void RestoreWorker::Start(std::vector<Channel> toConnect, std::chrono::milliseconds delay) {
    Stop();
    stop_.Reset();
    thread_ = std::thread([this, channels = std::move(toConnect), delay] {
        pthread_setname_np(pthread_self(), "lv-restore");
        if (stop_.WaitFor(delay)) return;
        for (const Channel& c : channels) {
            if (stop_.Requested()) return;
            connections_.StartConnectWorker(c.device, c.channel);
        }
        if (stop_.WaitFor(std::chrono::milliseconds(50))) return;
        post_(kMsgRestoreCells, 0, 0);
    });
}

std::vector<RestoreWorker::Channel> ChannelsToConnectAtStart(const ChannelDirectory& directory, bool connectSetting) {
    std::vector<RestoreWorker::Channel> channels;
    if (!connectSetting) return channels;
    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo* dev = directory.Device(d);
        if (dev == nullptr) continue;
        for (int c = 0; c < kMaxChannels; ++c)
            if (Relaxed(dev->channels[c].id) > 0) channels.push_back({d, c});
    }
    return channels;
}

void RestoreWorker::Stop() {
    stop_.Request();
    if (thread_.joinable()) thread_.join();
}

}  // namespace ocv
