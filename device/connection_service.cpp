#include "device/connection_service.h"

#include <chrono>

#include "base/trace.h"
#include "device/recording_service.h"
#include "device/stored_stream_urls.h"
#include "sdk/qvx_sdk.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

std::atomic<ConnectionService*> gConnections{nullptr};

void ExceptionTrampoline(int32_t type, QVX_HANDLE loginHandle, QVX_HANDLE streamHandle, void* context) {
    static_cast<ConnectionService*>(context)->OnException(type, loginHandle, streamHandle);
}

}  // namespace

ConnectionService* CurrentConnectionService() { return gConnections.load(); }

ConnectionService::ConnectionService(Parts p)
    : store_(p.store),
      runtime_(p.runtime),
      hub_(p.hub),
      log_(p.log),
      alarms_(p.alarms),
      players_(p.players),
      recording_(p.recording),
      temperature_(p.temperature),
      timeSync_(p.timeSync),
      operatorName_(p.operatorName),
      exiting_(p.exiting) {
    gConnections = this;
    QVX_SDK_SetExceptionCallBack(0, 0, ExceptionTrampoline, this);
    ProvideStoredStreamUrls(&store_);
}

ConnectionService::~ConnectionService() {
    StopAllDevices();
    for (int d = 0; d < kMaxDevices; ++d) CloseThermalStream(d);
    JoinConnectWorkers();
    ConnectionService* self = this;
    if (gConnections.compare_exchange_strong(self, nullptr)) {
        QVX_SDK_SetExceptionCallBack(0, 0, nullptr, nullptr);
        ProvideStoredStreamUrls(nullptr);
    }
}

bool ConnectionService::IsDualStream(const DeviceInfo& dev) const {
    int type = Relaxed(dev.type);
    return Relaxed(store_.settings().SHOWMODE) == 1 && type != 50 && type != 102;
}

void ConnectionService::SetDeviceState(int device, DeviceState state) {
    if (runtime_.device(device).deviceState.exchange(state) != state)
        PublishTo(&hub_, DeviceStateChanged{device, state});
}

int ConnectionService::DeviceOfLogin(int loginHandle) const {
    for (int d = 0; d < kMaxDevices; ++d)
        if (runtime_.device(d).loginHandle.load() == loginHandle) return d;
    return -1;
}

void ConnectionService::OnException(int type, int loginHandle, int streamHandle) {
    if (exiting_ || loginHandle == 0) return;
    switch (type) {
        case QVX_EXCEPTION_LOGIN_LOST: return OnDeviceConnection(loginHandle, false);
        case QVX_EXCEPTION_LOGIN_RESTORED: return OnDeviceConnection(loginHandle, true);
        case QVX_EXCEPTION_STREAM_RESTORED:
        case QVX_EXCEPTION_STREAM_LOST:
        case QVX_EXCEPTION_STREAM_CLOSED: return OnStreamConnection(type, loginHandle, streamHandle);
        case QVX_EXCEPTION_LOGIN_REFUSED: return NoteLoginRefused(loginHandle);
        default: return;
    }
}

void ConnectionService::OnDeviceConnection(int loginHandle, bool online) {
    int device = DeviceOfLogin(loginHandle);
    if (device < 0) return;
    // A device that never came up is not "offline again"; one that is up stays so.
    DeviceState now = runtime_.device(device).deviceState.load();
    if (online ? now == kDeviceOnline : now == kDeviceOffline) return;
    SetDeviceState(device, online ? kDeviceOnline : kDeviceOffline);
}

void ConnectionService::OnStreamConnection(int type, int loginHandle, int streamHandle) {
    int device = DeviceOfLogin(loginHandle);
    if (device < 0 || streamHandle == 0) return;
    int channelCount = std::min<int>(Relaxed(store_.device(device).channelCount), kMaxChannels);
    for (int ch = 0; ch < channelCount; ++ch) {
        ChannelRuntime& c = runtime_.channel(device, ch);
        if (c.mainStream.load() != streamHandle) continue;
        if (type == QVX_EXCEPTION_STREAM_RESTORED) {
            // The device's clock is checked again after a reconnection.
            timeSync_.Mark(ChannelIdOf(device, ch));
            c.connectState = kStreamOpen;
            ChannelChanged(device, ch);
            alarms_.OnStreamConnected(device, ch);
        } else if (type == QVX_EXCEPTION_STREAM_LOST) {
            c.connectState = kStreamClosed;
            ChannelChanged(device, ch);
            alarms_.OnStreamLost(device, ch);
        } else {
            c.connectState = kStreamClosed;
            ChannelChanged(device, ch);
        }
        break;
    }
    if (type == QVX_EXCEPTION_STREAM_CLOSED) NoteStreamClosedByDevice(loginHandle, streamHandle);
}

// Library threads: the device thread does the stopping, which calls back into the library
// (a callback must not wait for the login it came from).
void ConnectionService::NoteLoginRefused(int loginHandle) {
    int device = DeviceOfLogin(loginHandle);
    if (device >= 0) loginBackoff_[device].refusedByLibrary = true;
}

void ConnectionService::NoteStreamClosedByDevice(int loginHandle, int streamHandle) {
    int device = DeviceOfLogin(loginHandle);
    if (device < 0 || streamHandle == 0) return;
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        const ChannelRuntime& c = runtime_.channel(device, ch);
        if (c.mainStream.load() == streamHandle || c.subStream.load() == streamHandle) {
            closedByDevice_[ChannelIdOf(device, ch)] = streamHandle;
            return;
        }
    }
}

void ConnectionService::OnEvent(int device, int channel, int type, int state, const char* data, int length) {
    if (exiting_) return;
    // Devices repeat a raised alarm while it lasts; an "ended" message carries no new alarm.
    if (type != 14 && state == 0) return;
    alarms_.OnDeviceAlarm(device, channel, type, data, length);
}

void ConnectionService::JoinConnectWorkers() {
    std::lock_guard lock(workersMutex_);
    for (std::thread& t : connectWorkers_)
        if (t.joinable()) t.join();
    connectWorkers_.clear();
    workerDone_.clear();
}

}  // namespace ocv
