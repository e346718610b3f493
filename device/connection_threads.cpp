// Device connection threads, login and logout, the paced retries after a refused password and
// the channel status poll.
#include <pthread.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "base/device_types.h"
#include "base/trace.h"
#include "device/connection_service.h"
#include "device/temperature_service.h"
#include "sdk/qvx_sdk.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

constexpr int kTicksPerCycle = 300;    // 30 s of 100 ms turns
constexpr int kStatusEveryTicks = 60;  // channel status every 6 s
// After a refused password: 30 s, doubling up to 10 min, in device-thread turns.
constexpr int kFirstLoginPauseTurns = 300;
constexpr int kLongestLoginPauseTurns = 6000;

int LoginPauseTurns(int refusals) {
    int turns = kFirstLoginPauseTurns;
    for (int i = 1; i < refusals && turns < kLongestLoginPauseTurns; ++i) turns *= 2;
    return std::min(turns, kLongestLoginPauseTurns);
}

void EventTrampoline(QVX_HANDLE, int32_t channel, int32_t eventType, int32_t state, const char* data,
                     int32_t length, intptr_t user) {
    if (ConnectionService* s = CurrentConnectionService())
        s->OnEvent(static_cast<int>(user), channel, eventType, state, data, length);
}

template <size_t N>
std::string Text(const char (&field)[N]) {
    char copy[N];
    ReadTextRelaxed(field, copy);
    return copy;
}

}  // namespace

int ConnectionService::StartDeviceThread(int device) {
    if (IsValidChannel(device, 0) != 0) {
        Trace("device %d: no device in this slot to connect\n", device);
        return -1;
    }
    StopDeviceThread(device);
    DeviceRuntime& dev = runtime_.device(device);
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

int ConnectionService::StopDeviceThread(int device) {
    if (device < 0 || device >= kMaxDevices) {
        Trace("device %d: no such device slot\n", device);
        return -1;
    }
    DeviceRuntime& dev = runtime_.device(device);
    dev.stopFlag = 1;
    if (dev.thread.joinable()) dev.thread.join();
    // Workers see the stop flag within one wake-up; none may outlive the stop, logged in or not.
    for (ChannelRuntime& c : dev.channels)
        while (c.connectPending.load() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    LogoutDevice(device);
    return 0;
}

void ConnectionService::StartAllDeviceThreads() {
    for (int d = 0; d < kMaxDevices; ++d)
        if (IsValidChannel(d, 0) == 0) StartDeviceThread(d);
}

bool ConnectionService::AnyDeviceThreadRunning() const {
    for (int d = 0; d < kMaxDevices; ++d)
        if (runtime_.device(d).thread.joinable()) return true;
    return false;
}

void ConnectionService::StopAllDevices() {
    // Not necessarily the end: a refused configuration import starts the devices again.
    for (int d = 0; d < kMaxDevices; ++d) runtime_.device(d).stopFlag = 1;
    std::vector<std::thread> logouts;
    for (int d = 0; d < kMaxDevices; ++d) {
        DeviceRuntime& dev = runtime_.device(d);
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

void ConnectionService::DeviceLoop(int device) {
    DeviceRuntime& dev = runtime_.device(device);
    for (int tick = 0; !dev.stopFlag.load() && !exiting_; tick = (tick + 1) % kTicksPerCycle) {
        DeviceTick(device, tick);
        std::this_thread::sleep_for(std::chrono::milliseconds(tickMs_.load()));
    }
}

void ConnectionService::DeviceTick(int device, int tick) {
    if (IsValidChannel(device, 0) != 0) return;
    DeviceRuntime& dev = runtime_.device(device);
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

int ConnectionService::RetryLoginNow(int device) {
    if (IsValidChannel(device, 0) != 0) {
        Trace("device %d: no device in this slot to log in\n", device);
        return -1;
    }
    LoginBackoff& backoff = loginBackoff_[device];
    backoff.refusals = 0;
    backoff.retryNow = true;
    return 0;
}

void ConnectionService::ResetLoginBackoff(int device) {
    LoginBackoff& backoff = loginBackoff_[device];
    backoff.refusals = 0;
    backoff.waitTurns = 0;
    backoff.retryNow = false;
    backoff.refusedByLibrary = false;
    if (runtime_.device(device).deviceState.load() == kDeviceWrongPassword) SetDeviceState(device, kDeviceOffline);
}

void ConnectionService::ClearChannelOn(int device) {
    int count = std::min<int>(Relaxed(store_.device(device).channelCount), kMaxChannels);
    for (int ch = 0; ch < count; ++ch)
        if (runtime_.channel(device, ch).channelOn.exchange(0) != 0) ChannelChanged(device, ch);
}

void ConnectionService::PollChannelStatus(int device) {
    DeviceRuntime& dev = runtime_.device(device);
    if (dev.deviceState.load() != kDeviceOnline) {
        ClearChannelOn(device);
        return;
    }
    std::vector<uint8_t> reply(QVX_CMD_CHANNEL_STATUS_SIZE);
    if (QVX_SDK_GetConfig(dev.loginHandle.load(), 0, QVX_CMD_CHANNEL_STATUS, reply.data(),
                          static_cast<uint32_t>(reply.size())) != 0) {
        ClearChannelOn(device);
        return;
    }
    int count = std::min<int>(Relaxed(store_.device(device).channelCount), kMaxChannels);
    for (int ch = 0; ch < count; ++ch) {
        int on = reply[4 + ch] == '1' ? 1 : 0;
        int id = ChannelIdOf(device, ch);
        if (dev.channels[ch].channelOn.exchange(on) != on) ChannelChanged(device, ch);
        // A channel the device closed on purpose comes back once it is on again; the worker
        // keeps trying while it is wanted, like one started by a cell.
        if (on && reopenWanted_[id].load() && IsValidChannel(device, ch) == 0) StartConnectWorker(device, ch);
    }
}

int ConnectionService::LoginDevice(int device) {
    if (IsValidChannel(device, 0) != 0) return -1;
    DeviceRuntime& dev = runtime_.device(device);
    if (dev.loginHandle.load() != 0) return 0;
    // Only the device thread's paced retries may try a refused password again: every other
    // try could count towards locking the account on the device.
    if (dev.deviceState.load() == kDeviceWrongPassword) return -1;
    return TryLogin(device);
}

int ConnectionService::TryLogin(int device) {
    const DeviceInfo& rec = store_.device(device);
    DeviceRuntime& dev = runtime_.device(device);
    if (dev.loginHandle.load() != 0) return 0;
    // The device type chooses the driver: our own protocol, or a standard camera (ONVIF, RTSP URL).
    uint8_t protocol = LoginProtocolOf(Relaxed(rec.type));
    QVX_DEVICE_INFO info;
    memset(&info, 0, sizeof info);
    QVX_HANDLE handle = 0;
    int rc = QVX_SDK_Login(&handle, Text(rec.host).c_str(), static_cast<uint16_t>(Relaxed(rec.port)),
                           Text(rec.user).c_str(), Text(rec.password).c_str(), protocol, 1, &info);
    if (rc == QVX_ERR_PASSWORD) OnLoginRefused(device);
    if (rc != 0) return rc;
    bool wasRefused = dev.deviceState.load() == kDeviceWrongPassword;
    loginBackoff_[device].refusals = 0;
    static_assert(sizeof info == sizeof dev.infoBlock);
    memcpy(dev.infoBlock, &info, sizeof info);
    dev.loginHandle = handle;
    char firmware[sizeof info.firmwareVersion + 1] = {};
    memcpy(firmware, info.firmwareVersion, sizeof info.firmwareVersion);
    if (strstr(firmware, "V27.") != nullptr) temperature_.ProbeTemperatureSupport(device, 0);
    uint32_t request[QVX_REQUEST_WORDS] = {};
    request[5] = 4;
    QVX_HANDLE events = 0;
    if (QVX_SDK_RealPlayV3(handle, request, nullptr, nullptr, EventTrampoline, device, &events) == 0)
        dev.eventStream = events;
    SetDeviceState(device, kDeviceOnline);
    if (wasRefused) Trace("device %d (%s:%d): login accepted again\n", device, Text(rec.host).c_str(), Relaxed(rec.port));
    return 0;
}

void ConnectionService::OnLoginRefused(int device) {
    const DeviceInfo& rec = store_.device(device);
    LoginBackoff& backoff = loginBackoff_[device];
    int refusals = backoff.refusals.load() + 1;
    backoff.refusals = refusals;
    backoff.waitTurns = LoginPauseTurns(refusals);
    if (runtime_.device(device).deviceState.load() == kDeviceWrongPassword) return;
    SetDeviceState(device, kDeviceWrongPassword);
    // Once per refusal streak; the pauses that follow are quiet.
    Trace("device %d (%s:%d): user \"%s\" or its password refused; next login in %d s, then less often\n",
          device, Text(rec.host).c_str(), Relaxed(rec.port), Text(rec.user).c_str(), LoginPauseTurns(refusals) / 10);
    log_.LogWrite(kLogSystem, kLogDisconnected, device, 0, "Wrong user name or password", "");
}

void ConnectionService::DropRefusedLogin(int device) {
    DeviceRuntime& dev = runtime_.device(device);
    int handle = dev.loginHandle.load();
    if (handle == 0) return;
    if (int events = dev.eventStream.exchange(0)) QVX_SDK_StopRealPlay(events);
    // No open of a channel is half done while they all close.
    std::unique_lock gate(channelGates_[device]);
    // Channels that were open come back once the login works again (the status poll after it).
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        ChannelRuntime& c = dev.channels[ch];
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

int ConnectionService::LogoutDevice(int device) {
    if (device < 0 || device >= kMaxDevices) return -1;
    DeviceRuntime& dev = runtime_.device(device);
    int handle = dev.loginHandle.load();
    if (handle == 0) return 0;
    if (int events = dev.eventStream.exchange(0)) QVX_SDK_StopRealPlay(events);
    SetDeviceState(device, kDeviceOffline);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        if (Relaxed(store_.device(device).channels[ch].id) <= 0) continue;
        while (dev.channels[ch].connectPending.load() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Taken only after the workers are gone: a worker waiting for it would never end.
    std::unique_lock gate(channelGates_[device]);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        ChannelRuntime& c = dev.channels[ch];
        if (Relaxed(store_.device(device).channels[ch].id) <= 0) continue;
        if (c.mainStream.load() != 0 || c.subStream.load() != 0) CloseChannelLocked(device, ch);
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

}  // namespace ocv
