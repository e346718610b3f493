// Opening and closing channels' live streams, and the connect workers that keep trying.
#include <pthread.h>

#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "base/trace.h"
#include "device/connection_service.h"
#include "device/recording_service.h"
#include "device/routing_stats.h"
#include "events/log_record.h"
#include "sdk/qvx_sdk.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

constexpr int kWorkerTicks = 5;         // a connect worker wakes every 500 ms
constexpr int kWorkerAttemptEvery = 9;  // and tries every 4.5 s
constexpr int kSubStreamAttempts = 5;

std::atomic<RoutingStats*> gRoutingStats{nullptr};

void StreamTrampoline(QVX_HANDLE streamHandle, int32_t dataKind, const uint8_t* data, int32_t length, intptr_t user) {
    ConnectionService* s = CurrentConnectionService();
    if (!s) return;
    s->AdoptOpeningStream(streamHandle, static_cast<int>(user));
    RoutingStats* stats = gRoutingStats.load(std::memory_order_relaxed);
    if (!stats) {
        s->OnStreamData(streamHandle, dataKind, data, length, static_cast<int>(user));
        return;
    }
    auto start = std::chrono::steady_clock::now();
    s->OnStreamData(streamHandle, dataKind, data, length, static_cast<int>(user));
    stats->Record(static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count()));
}

}  // namespace

void SetRoutingStats(RoutingStats* stats) { gRoutingStats.store(stats); }
RoutingStats* CurrentRoutingStats() { return gRoutingStats.load(); }

void ConnectionService::AdoptOpeningStream(int streamHandle, int channelId) {
    if (!IsChannelId(channelId)) return;
    if (streamOpening_[channelId].load(std::memory_order_relaxed) == kNoStreamOpening) return;  // almost always
    // Counted in before the second look, so an open that ends its request either is seen here
    // or waits for this call (both sides sequentially consistent).
    adopting_[channelId].fetch_add(1);
    uint8_t opening = streamOpening_[channelId].load();
    if (opening != kNoStreamOpening) AdoptStreamHandle(streamHandle, channelId, opening);
    adopting_[channelId].fetch_sub(1);
}

void ConnectionService::EndStreamOpening(int channelId) {
    streamOpening_[channelId].store(kNoStreamOpening);
    while (adopting_[channelId].load() != 0) std::this_thread::yield();
}

void ConnectionService::AdoptStreamHandle(int streamHandle, int channelId, uint8_t opening) {
    ChannelRuntime& c = runtime_.channel(channelId);
    int none = 0;
    if (opening == kMainOpening) {
        // The only stream of the channel in flight: its main (or only) stream, also what it shows
        // until the stream it wants sends a key frame.
        if (c.mainStream.compare_exchange_strong(none, streamHandle)) {
            none = 0;
            c.displayStream.compare_exchange_strong(none, streamHandle);
        }
    } else if (streamHandle != c.mainStream.load()) {
        c.subStream.compare_exchange_strong(none, streamHandle);
    }
}

int ConnectionService::OpenChannel(int device, int channel) {
    if (IsValidChannel(device, channel) != 0) {
        Trace("open channel %d of device %d: not configured\n", channel, device);
        return -1;
    }
    DeviceRuntime& dev = runtime_.device(device);
    {
        // Logging in stays one at a time per device; the streams are requested after it, with
        // the other channels' requests in flight at the same time.
        std::lock_guard lock(dev.lock);
        if (LoginDevice(device) != 0) return -1;  // the device thread says why
    }
    std::shared_lock gate(channelGates_[device]);
    std::lock_guard opening(OpenLockOf(ChannelIdOf(device, channel)));
    return OpenChannelLocked(device, channel);
}

int ConnectionService::OpenChannelLocked(int device, int channel) {
    const DeviceInfo& rec = store_.device(device);
    DeviceRuntime& dev = runtime_.device(device);
    ChannelRuntime& c = dev.channels[channel];
    int channelId = ChannelIdOf(device, channel);
    int login = dev.loginHandle.load();
    if (login == 0) {
        Trace("open channel %d of device %d: the device was logged out meanwhile\n", channel, device);
        return -1;
    }
    if (c.mainStream.load() != 0) return 0;
    const SystemSettings& s = store_.settings();
    bool dual = IsDualStream(rec);
    int streamType = 0;
    if (!dual) {
        int stream = Relaxed(rec.channels[channel].stream);
        streamType = stream == 0 ? 0 : stream == 1 ? 1 : 2;
    }
    c.recordFromSub = dual ? Relaxed(s.RECSTREAM) : 0;

    // Before the stream: a channel that may record keeps its pre-record from the first frame.
    recording_.OnChannelOpening(device, channel);
    uint32_t request[QVX_REQUEST_WORDS] = {};
    request[1] = static_cast<uint32_t>(channel);
    request[2] = static_cast<uint32_t>(streamType);
    request[4] = 3;
    QVX_HANDLE main = 0;
    streamOpening_[channelId].store(kMainOpening);
    int rc = QVX_SDK_RealPlay(login, request, StreamTrampoline, channelId, &main);
    EndStreamOpening(channelId);
    if (rc != 0) {
        // Whatever data of the refused request came, no handle of it stays: adoption has ended.
        c.mainStream = 0;
        c.displayStream = 0;
        recording_.OnChannelClosed(channelId);
        Trace("open channel %d of device %d: the device refused the main stream (%d)\n", channel, device, rc);
        return -1;
    }
    c.mainStream = main;
    c.displayStream = main;
    if (dual) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        uint32_t subRequest[QVX_REQUEST_WORDS] = {};
        subRequest[1] = static_cast<uint32_t>(channel);
        subRequest[2] = 1;
        subRequest[4] = 1;
        QVX_HANDLE sub = 0;
        streamOpening_[channelId].store(kSubOpening);
        for (int attempt = 0; attempt < kSubStreamAttempts && sub == 0; ++attempt) {
            if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (QVX_SDK_RealPlay(login, subRequest, StreamTrampoline, channelId, &sub) != 0) sub = 0;
        }
        EndStreamOpening(channelId);
        if (sub == 0) {
            QVX_SDK_StopRealPlay(main);
            c.mainStream = 0;
            c.subStream = 0;  // a handle taken from the data of an attempt that then failed
            c.displayStream = 0;
            recording_.OnChannelClosed(channelId);
            Trace("open channel %d of device %d: no sub stream after %d attempts\n", channel, device,
                  kSubStreamAttempts);
            return -1;
        }
        // The cell keeps the main stream until the stream it wants delivers a key frame (the
        // stream callback switches there): a switch between two frames of a picture group would
        // show a broken picture.
        c.subStream = sub;
    }
    QVX_HANDLE alarm = 0;
    if (QVX_SDK_SetupAlarmChan(login, channel, &alarm) == 0) c.alarmChannel = alarm;
    c.connectState = kStreamOpen;
    reopenWanted_[channelId] = 0;
    ChannelChanged(device, channel);
    std::string user = operatorName_.Get();
    if (!user.empty()) log_.LogWrite(kLogOperate, kLogChannelConnected, device, channel, "", user.c_str());
    return 0;
}

int ConnectionService::CloseChannel(int device, int channel) {
    if (IsValidChannel(device, channel) != 0) {
        Trace("close channel %d of device %d: not configured\n", channel, device);
        return -1;
    }
    std::shared_lock gate(channelGates_[device]);
    std::lock_guard opening(OpenLockOf(ChannelIdOf(device, channel)));
    CloseChannelLocked(device, channel);
    return 0;
}

void ConnectionService::CloseChannelLocked(int device, int channel) {
    ReleaseChannel(device, channel);
    std::string user = operatorName_.Get();
    if (!user.empty()) log_.LogWrite(kLogOperate, kLogChannelDisconnected, device, channel, "", user.c_str());
}

void ConnectionService::ReleaseChannel(int device, int channel) {
    ChannelRuntime& c = runtime_.channel(device, channel);
    if (int alarm = c.alarmChannel.exchange(0)) QVX_SDK_CloseAlarmChan(alarm);
    if (int main = c.mainStream.load()) QVX_SDK_StopRealPlay(main);
    if (int sub = c.subStream.load()) QVX_SDK_StopRealPlay(sub);
    c.mainStream = 0;
    c.subStream = 0;
    c.displayStream = 0;
    recording_.OnChannelClosed(ChannelIdOf(device, channel));
    c.connectState = kStreamClosed;
    ChannelChanged(device, channel);
}

void ConnectionService::ReleaseChannelsClosedByDevice(int device) {
    DeviceRuntime& dev = runtime_.device(device);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        int id = ChannelIdOf(device, ch);
        if (closedByDevice_[id].load() == 0) continue;
        int closed = closedByDevice_[id].exchange(0);
        if (closed == 0) continue;
        std::lock_guard lock(dev.lock);
        std::shared_lock gate(channelGates_[device]);
        std::lock_guard opening(OpenLockOf(id));
        ChannelRuntime& c = dev.channels[ch];
        // The handle may have gone meanwhile (logout, a close by the operator).
        if (c.mainStream.load() != closed && c.subStream.load() != closed) continue;
        ReleaseChannel(device, ch);
        reopenWanted_[id] = 1;
        Trace("device %d channel %d: stream closed by the device; reopened when the channel is on again\n", device, ch);
    }
}

int ConnectionService::SetConnectPending(int device, int channel, int value) {
    if (IsValidChannel(device, channel) != 0) {
        Trace("connect pending of channel %d of device %d: not configured\n", channel, device);
        return -1;
    }
    if (runtime_.channel(device, channel).connectPending.exchange(value) != value) ChannelChanged(device, channel);
    return 0;
}

int ConnectionService::StartConnectWorker(int device, int channel) {
    if (IsValidChannel(device, channel) != 0) {
        Trace("connect channel %d of device %d: not configured\n", channel, device);
        return -1;
    }
    if (exiting_) return -1;
    ChannelRuntime& c = runtime_.channel(device, channel);
    int idle = 0;
    if (!c.connectPending.compare_exchange_strong(idle, 1)) return 0;  // one is running
    ChannelChanged(device, channel);
    std::lock_guard lock(workersMutex_);
    for (size_t i = 0; i < connectWorkers_.size();) {
        if (workerDone_[i]->load()) {
            connectWorkers_[i].join();
            connectWorkers_.erase(connectWorkers_.begin() + static_cast<long>(i));
            workerDone_.erase(workerDone_.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    workerDone_.push_back(done);
    connectWorkers_.emplace_back([this, device, channel, done] {
        char name[16];
        snprintf(name, sizeof name, "connect-%d", ChannelIdOf(device, channel));
        pthread_setname_np(pthread_self(), name);
        ConnectWorker(device, channel);
        done->store(true);
    });
    return 0;
}

void ConnectionService::ConnectWorker(int device, int channel) {
    DeviceRuntime& dev = runtime_.device(device);
    ChannelRuntime& c = dev.channels[channel];
    // Also leaves when the device is being stopped or the service ends, so that a logout never
    // waits for a worker that keeps retrying an unreachable device.
    // Besides the regular attempts, one as soon as the device comes up: a cell opened while
    // its device is still logging in then plays at once instead of up to 4.5 s later.
    bool wasUp = true;
    for (int counter = 0; c.connectPending.load() == 1 && !dev.stopFlag.load() && !exiting_;
         counter = (counter + 1) % kWorkerAttemptEvery) {
        bool up = dev.deviceState.load() == kDeviceOnline && dev.loginHandle.load() != 0;
        bool justUp = up && !wasUp;
        wasUp = up;
        if (up && (counter == 0 || justUp) && OpenChannel(device, channel) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(tickMs_.load() * kWorkerTicks));
    }
    if (c.connectPending.exchange(0) != 0) ChannelChanged(device, channel);
}

}  // namespace ocv
