// Device threads, login and logout, channel opening and closing, connect workers.
#include <pthread.h>

#include <chrono>
#include <cstring>

#include "device/device_service.h"
#include "device/routing_stats.h"
#include "sdk/qvx_sdk.h"
#include "base/device_types.h"
#include "base/trace.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

constexpr int kTicksPerCycle = 300;       // 30 s of 100 ms turns
constexpr int kStatusEveryTicks = 60;     // channel status every 6 s
constexpr int kWorkerTicks = 5;           // a connect worker wakes every 500 ms
constexpr int kWorkerAttemptEvery = 9;    // and tries every 4.5 s
constexpr int kSubStreamAttempts = 5;
// After a refused password: 30 s, doubling up to 10 min, in device-thread turns.
constexpr int kFirstLoginPauseTurns = 300;
constexpr int kLongestLoginPauseTurns = 6000;

int LoginPauseTurns(int refusals) {
    int turns = kFirstLoginPauseTurns;
    for (int i = 1; i < refusals && turns < kLongestLoginPauseTurns; ++i) turns *= 2;
    return std::min(turns, kLongestLoginPauseTurns);
}

std::atomic<RoutingStats*> gRoutingStats{nullptr};

void StreamTrampoline(QVX_HANDLE streamHandle, int32_t dataKind, const uint8_t* data, int32_t length,
                      intptr_t user) {
    DeviceService* s = CurrentDeviceService();
    if (!s) return;
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

void EventTrampoline(QVX_HANDLE, int32_t channel, int32_t eventType, int32_t state, const char* data,
                     int32_t length, intptr_t user) {
    if (DeviceService* s = CurrentDeviceService())
        s->OnEvent(static_cast<int>(user), channel, eventType, state, data, length);
}

template <size_t N>
std::string Text(const char (&field)[N]) {
    char copy[N];
    ReadTextRelaxed(field, copy);
    return copy;
}

}  // namespace

void SetRoutingStats(RoutingStats* stats) { gRoutingStats.store(stats); }
RoutingStats* CurrentRoutingStats() { return gRoutingStats.load(); }

int DeviceService::StartDeviceThread(int device) {
    if (IsValidChannel(device, 0) != 0) return -1;
    StopDeviceThread(device);
    DeviceInfo& dev = store_.device(device);
    // A (re)start follows a change of the device: a refused password gets a fresh try.
    ResetLoginBackoff(device);
    dev.stopFlag = 0;
    dev.thread = std::thread([this, device] {
        char name[16];
        snprintf(name, sizeof name, "device-%d", device);
        pthread_setname_np(pthread_self(), name);
        DeviceLoop(device);
    });
    return 0;
}

int DeviceService::StopDeviceThread(int device) {
    if (device < 0 || device >= kMaxDevices) return -1;
    DeviceInfo& dev = store_.device(device);
    dev.stopFlag = 1;
    if (dev.thread.joinable()) dev.thread.join();
    // Workers see the stop flag within one wake-up; none may outlive the stop, logged in or not.
    for (ChannelInfo& c : dev.channels)
        while (c.connectPending.load() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    LogoutDevice(device);
    return 0;
}

void DeviceService::StartAllDeviceThreads() {
    for (int d = 0; d < kMaxDevices; ++d)
        if (IsValidChannel(d, 0) == 0) StartDeviceThread(d);
}

bool DeviceService::AnyDeviceThreadRunning() const {
    for (int d = 0; d < kMaxDevices; ++d)
        if (store_.device(d).thread.joinable()) return true;
    return false;
}

void DeviceService::DeviceLoop(int device) {
    DeviceInfo& dev = store_.device(device);
    for (int tick = 0; !dev.stopFlag.load() && !exiting_; tick = (tick + 1) % kTicksPerCycle) {
        DeviceTick(device, tick);
        std::this_thread::sleep_for(std::chrono::milliseconds(tickMs_.load()));
    }
}

void DeviceService::DeviceTick(int device, int tick) {
    if (IsValidChannel(device, 0) != 0) return;
    DeviceInfo& dev = store_.device(device);
    LoginBackoff& backoff = loginBackoff_[device];
    if (backoff.refusedByLibrary.exchange(false) && dev.loginHandle.load() != 0) {
        std::lock_guard lock(dev.lock);
        DropRefusedLogin(device);
        return;  // the pause starts with the next turn
    }
    ReleaseChannelsClosedByDevice(device);
    if (dev.loginHandle.load() == 0) {
        bool now = backoff.retryNow.exchange(false);
        if (dev.deviceState.load() == kDeviceWrongPassword) {
            if (now || backoff.waitTurns.fetch_sub(1) <= 1) {
                // The same pause again unless the device refuses once more (which lengthens it),
                // also when this try does not reach the device at all.
                backoff.waitTurns = LoginPauseTurns(std::max(1, backoff.refusals.load()));
                std::lock_guard lock(dev.lock);
                TryLogin(device);
            }
        } else if (tick == 0 || now) {
            std::lock_guard lock(dev.lock);
            LoginDevice(device);
        }
    }
    if (tick % kStatusEveryTicks == 0 && dev.loginHandle.load() != 0) PollChannelStatus(device);
}

int DeviceService::RetryLoginNow(int device) {
    if (IsValidChannel(device, 0) != 0) return -1;
    LoginBackoff& backoff = loginBackoff_[device];
    backoff.refusals = 0;
    backoff.retryNow = true;
    return 0;
}

void DeviceService::ResetLoginBackoff(int device) {
    LoginBackoff& backoff = loginBackoff_[device];
    backoff.refusals = 0;
    backoff.waitTurns = 0;
    backoff.retryNow = false;
    backoff.refusedByLibrary = false;
    int32_t refused = kDeviceWrongPassword;
    store_.device(device).deviceState.compare_exchange_strong(refused, kDeviceOffline);
}

void DeviceService::ClearChannelOn(int device) {
    DeviceInfo& dev = store_.device(device);
    int count = std::min<int>(Relaxed(dev.channelCount), kMaxChannels);
    for (int ch = 0; ch < count; ++ch) {
        if (dev.channels[ch].channelOn.exchange(0) != 0)
            alarms_.QueueRecordStateEvent(ChannelIdOf(device, ch));
    }
}

void DeviceService::PollChannelStatus(int device) {
    DeviceInfo& dev = store_.device(device);
    if (dev.deviceState.load() != 2) {
        ClearChannelOn(device);
        return;
    }
    std::vector<uint8_t> reply(QVX_CMD_CHANNEL_STATUS_SIZE);
    if (QVX_SDK_GetConfig(dev.loginHandle.load(), 0, QVX_CMD_CHANNEL_STATUS, reply.data(),
                          static_cast<uint32_t>(reply.size())) != 0) {
        ClearChannelOn(device);
        return;
    }
    int count = std::min<int>(Relaxed(dev.channelCount), kMaxChannels);
    for (int ch = 0; ch < count; ++ch) {
        int on = reply[4 + ch] == '1' ? 1 : 0;
        int id = ChannelIdOf(device, ch);
        if (dev.channels[ch].channelOn.exchange(on) != on) alarms_.QueueRecordStateEvent(id);
        // A channel the device closed on purpose comes back once it is on again; the worker
        // keeps trying while it is wanted, like one started by a cell.
        if (on && reopenWanted_[id].load() && IsValidChannel(device, ch) == 0) StartConnectWorker(device, ch);
    }
}

void DeviceService::QueueDeviceRecordStates(int device) {
    int count = std::min<int>(Relaxed(store_.device(device).channelCount), kMaxChannels);
    for (int ch = 0; ch < count; ++ch)
        if (IsValidChannel(device, ch) == 0) alarms_.QueueRecordStateEvent(ChannelIdOf(device, ch));
}

int DeviceService::LoginDevice(int device) {
    if (IsValidChannel(device, 0) != 0) return -1;
    DeviceInfo& dev = store_.device(device);
    if (dev.loginHandle.load() != 0) return 0;
    // Only the device thread's paced retries may try a refused password again: every other
    // try could count towards locking the account on the device.
    if (dev.deviceState.load() == kDeviceWrongPassword) return -1;
    return TryLogin(device);
}

int DeviceService::TryLogin(int device) {
    DeviceInfo& dev = store_.device(device);
    if (dev.loginHandle.load() != 0) return 0;
    const DeviceTypeRecord* type = FindDeviceType(Relaxed(dev.type));
    uint8_t protocol = type ? type->inUse : 0;
    QVX_DEVICE_INFO info;
    memset(&info, 0, sizeof info);
    QVX_HANDLE handle = 0;
    int rc = QVX_SDK_Login(&handle, Text(dev.host).c_str(), static_cast<uint16_t>(Relaxed(dev.port)),
                           Text(dev.user).c_str(), Text(dev.password).c_str(), protocol, 1, &info);
    if (rc == QVX_ERR_PASSWORD) OnLoginRefused(device);
    if (rc != 0) return rc;
    bool wasRefused = dev.deviceState.load() == kDeviceWrongPassword;
    loginBackoff_[device].refusals = 0;
    static_assert(sizeof info == sizeof dev.infoBlock);
    memcpy(dev.infoBlock, &info, sizeof info);
    dev.loginHandle = handle;
    char firmware[sizeof info.firmwareVersion + 1] = {};
    memcpy(firmware, info.firmwareVersion, sizeof info.firmwareVersion);
    if (strstr(firmware, "V27.") != nullptr) ProbeTemperatureSupport(device, 0);
    uint32_t request[QVX_REQUEST_WORDS] = {};
    request[5] = 4;
    QVX_HANDLE events = 0;
    if (QVX_SDK_RealPlayV3(handle, request, nullptr, nullptr, EventTrampoline, device, &events) == 0)
        dev.eventStream = events;
    dev.deviceState = kDeviceOnline;
    if (wasRefused) {
        Trace("device %d (%s:%d): login accepted again\n", device, Text(dev.host).c_str(), Relaxed(dev.port));
        QueueDeviceRecordStates(device);
    }
    return 0;
}

void DeviceService::OnLoginRefused(int device) {
    DeviceInfo& dev = store_.device(device);
    LoginBackoff& backoff = loginBackoff_[device];
    int refusals = backoff.refusals.load() + 1;
    backoff.refusals = refusals;
    backoff.waitTurns = LoginPauseTurns(refusals);
    if (dev.deviceState.exchange(kDeviceWrongPassword) == kDeviceWrongPassword) return;
    // Once per refusal streak; the pauses that follow are quiet.
    Trace("device %d (%s:%d): user \"%s\" or its password refused; next login in %d s, then less often\n",
          device, Text(dev.host).c_str(), Relaxed(dev.port), Text(dev.user).c_str(),
          LoginPauseTurns(refusals) / 10);
    log_.LogWrite(kLogSystem, kLogDisconnected, device, 0, "Wrong user name or password", "");
    QueueDeviceRecordStates(device);
}

void DeviceService::DropRefusedLogin(int device) {
    DeviceInfo& dev = store_.device(device);
    int handle = dev.loginHandle.load();
    if (handle == 0) return;
    if (int events = dev.eventStream.exchange(0)) QVX_SDK_StopRealPlay(events);
    // Channels that were open come back once the login works again (the status poll after it).
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        ChannelInfo& c = dev.channels[ch];
        int id = ChannelIdOf(device, ch);
        bool open = c.mainStream.load() != 0 || c.subStream.load() != 0;
        if (open) ReleaseChannel(device, ch);
        reopenWanted_[id] = open ? 1 : 0;
        closedByDevice_[id] = 0;
    }
    CloseThermalStream(device);
    QVX_SDK_Logout(handle);
    dev.loginHandle = 0;
    OnLoginRefused(device);
}

int DeviceService::LogoutDevice(int device) {
    if (device < 0 || device >= kMaxDevices) return -1;
    DeviceInfo& dev = store_.device(device);
    int handle = dev.loginHandle.load();
    if (handle == 0) return 0;
    if (int events = dev.eventStream.exchange(0)) QVX_SDK_StopRealPlay(events);
    dev.deviceState = 0;
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        ChannelInfo& c = dev.channels[ch];
        if (Relaxed(c.id) <= 0) continue;
        while (c.connectPending.load() == 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (c.mainStream.load() != 0 || c.subStream.load() != 0) CloseChannel(device, ch);
    }
    // What the device closed during this login is not reopened by the next one.
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        reopenWanted_[ChannelIdOf(device, ch)] = 0;
        closedByDevice_[ChannelIdOf(device, ch)] = 0;
    }
    CloseThermalStream(device);
    QVX_SDK_Logout(handle);
    dev.loginHandle = 0;
    return 0;
}

int DeviceService::OpenChannel(int device, int channel) {
    if (IsValidChannel(device, channel) != 0) return -1;
    DeviceInfo& dev = store_.device(device);
    ChannelInfo& c = dev.channels[channel];
    int channelId = ChannelIdOf(device, channel);
    std::lock_guard lock(dev.lock);
    if (LoginDevice(device) != 0) return -1;
    if (c.mainStream.load() != 0) return 0;
    const SystemSettings& s = store_.settings();
    bool dual = IsDualStream(dev);
    int streamType = 0;
    if (!dual) {
        int stream = Relaxed(c.stream);
        streamType = stream == 0 ? 0 : stream == 1 ? 1 : 2;
    }
    c.recordFromSub = dual ? Relaxed(s.RECSTREAM) : 0;

    auto* recorder = new Recorder(device, channel, [this](int id) { alarms_.QueueRecordStateEvent(id); });
    recorder->SetStreamInfo(StreamInfo{});
    recorder->Start(Relaxed(s.PREREC));
    {
        std::lock_guard recordersLock(recordersMutex_);
        recorders_[channelId] = recorder;
    }
    int login = dev.loginHandle.load();
    uint32_t request[QVX_REQUEST_WORDS] = {};
    request[1] = static_cast<uint32_t>(channel);
    request[2] = static_cast<uint32_t>(streamType);
    request[4] = 3;
    QVX_HANDLE main = 0;
    if (QVX_SDK_RealPlay(login, request, StreamTrampoline, channelId, &main) != 0) {
        DeleteRecorder(channelId);
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
        for (int attempt = 0; attempt < kSubStreamAttempts && sub == 0; ++attempt) {
            if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (QVX_SDK_RealPlay(login, subRequest, StreamTrampoline, channelId, &sub) != 0) sub = 0;
        }
        if (sub == 0) {
            QVX_SDK_StopRealPlay(main);
            c.mainStream = 0;
            c.displayStream = 0;
            DeleteRecorder(channelId);
            return -1;
        }
        // The cell keeps the main stream until the stream it wants delivers a key frame (the
        // stream callback switches there): a switch between two frames of a picture group would
        // show a broken picture.
        c.subStream = sub;
    }
    QVX_HANDLE alarm = 0;
    if (QVX_SDK_SetupAlarmChan(login, channel, &alarm) == 0) c.alarmChannel = alarm;
    c.connectState = 2;
    reopenWanted_[channelId] = 0;
    std::string user = CurrentUser();
    if (!user.empty()) log_.LogWrite(kLogOperate, 40, device, channel, "", user.c_str());
    return 0;
}

int DeviceService::CloseChannel(int device, int channel) {
    if (IsValidChannel(device, channel) != 0) return -1;
    ReleaseChannel(device, channel);
    std::string user = CurrentUser();
    if (!user.empty()) log_.LogWrite(kLogOperate, 41, device, channel, "", user.c_str());
    return 0;
}

void DeviceService::ReleaseChannel(int device, int channel) {
    ChannelInfo& c = Channel(device, channel);
    if (int alarm = c.alarmChannel.exchange(0)) QVX_SDK_CloseAlarmChan(alarm);
    if (int main = c.mainStream.load()) QVX_SDK_StopRealPlay(main);
    if (int sub = c.subStream.load()) QVX_SDK_StopRealPlay(sub);
    c.mainStream = 0;
    c.subStream = 0;
    c.displayStream = 0;
    DeleteRecorder(ChannelIdOf(device, channel));
    c.connectState = 0;
}

void DeviceService::ReleaseChannelsClosedByDevice(int device) {
    DeviceInfo& dev = store_.device(device);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        int id = ChannelIdOf(device, ch);
        if (closedByDevice_[id].load() == 0) continue;
        int closed = closedByDevice_[id].exchange(0);
        if (closed == 0) continue;
        std::lock_guard lock(dev.lock);
        ChannelInfo& c = dev.channels[ch];
        // The handle may have gone meanwhile (logout, a close by the operator).
        if (c.mainStream.load() != closed && c.subStream.load() != closed) continue;
        ReleaseChannel(device, ch);
        reopenWanted_[id] = 1;
        alarms_.QueueRecordStateEvent(id);
        Trace("device %d channel %d: stream closed by the device; reopened when the channel is on again\n",
              device, ch);
    }
}

void DeviceService::DeleteRecorder(int channelId) {
    Recorder* recorder;
    {
        std::lock_guard lock(recordersMutex_);
        recorder = recorders_[channelId].exchange(nullptr);
    }
    delete recorder;
}

int DeviceService::SetConnectPending(int device, int channel, int value) {
    if (IsValidChannel(device, channel) != 0) return -1;
    Channel(device, channel).connectPending = value;
    return 0;
}

int DeviceService::StartConnectWorker(int device, int channel) {
    if (IsValidChannel(device, channel) != 0 || exiting_) return -1;
    ChannelInfo& c = Channel(device, channel);
    int idle = 0;
    if (!c.connectPending.compare_exchange_strong(idle, 1)) return 0;  // one is running
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

void DeviceService::ConnectWorker(int device, int channel) {
    DeviceInfo& dev = store_.device(device);
    ChannelInfo& c = dev.channels[channel];
    // Also leaves when the device is being stopped or the service ends, so that a logout never
    // waits for a worker that keeps retrying an unreachable device.
    // Besides the regular attempts, one as soon as the device comes up: a cell opened while
    // its device is still logging in then plays at once instead of up to 4.5 s later.
    bool wasUp = true;
    for (int counter = 0; c.connectPending.load() == 1 && !dev.stopFlag.load() && !exiting_;
         counter = (counter + 1) % kWorkerAttemptEvery) {
        bool up = dev.deviceState.load() == 2 && dev.loginHandle.load() != 0;
        bool justUp = up && !wasUp;
        wasUp = up;
        if (up && (counter == 0 || justUp) && OpenChannel(device, channel) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(tickMs_.load() * kWorkerTicks));
    }
    c.connectPending = 0;
}

void DeviceService::StopAllDevices() {
    // Not the service's end: a refused configuration import starts the devices again.
    for (int d = 0; d < kMaxDevices; ++d) store_.device(d).stopFlag = 1;
    std::vector<std::thread> logouts;
    for (int d = 0; d < kMaxDevices; ++d) {
        DeviceInfo& dev = store_.device(d);
        if (dev.thread.joinable()) dev.thread.join();
        if (dev.loginHandle.load() != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            logouts.emplace_back([this, d] {
                pthread_setname_np(pthread_self(), "logout");
                LogoutDevice(d);
            });
        }
    }
    for (std::thread& t : logouts) t.join();
}

}  // namespace ocv
