// The thermal picture of a body-temperature screening camera. The device library hands us the
// stream like any other; a player port of its own draws it into the inset window of the cell.
#include <cstring>

#include "base/trace.h"
#include "device/connection_service.h"
#include "player/qvx_player.h"
#include "sdk/qvx_sdk.h"
#include "base/port_slots.h"

namespace ocv {
namespace {

constexpr uint32_t kThermalMode = 8;  // word 4 of the stream request

void ThermalData(QVX_HANDLE, int32_t dataKind, const uint8_t* data, int32_t length, intptr_t user) {
    if (ConnectionService* service = CurrentConnectionService())
        service->OnThermalData(static_cast<int>(user), dataKind, data, length);
}

}  // namespace

int ConnectionService::OpenThermalStream(int device, int channel, void* window) {
    if (IsValidChannel(device, channel) != 0 || window == nullptr) {
        Trace("thermal picture of channel %d of device %d: not configured or no window\n", channel, device);
        return -1;
    }
    CloseThermalStream(device);
    DeviceRuntime& dev = runtime_.device(device);
    if (dev.loginHandle.load() == 0 || dev.deviceState.load() != kDeviceOnline) {
        Trace("thermal picture of device %d: not logged in yet; opened when the device is up\n", device);
        return -1;
    }

    std::lock_guard lock(thermalMutex_);
    int number = TakePort();
    if (number < 0) {
        Trace("thermal picture of device %d: no player port free\n", device);
        return -1;
    }
    int port = 0;
    if (QVXPlay_InitV2(&port, number) != 0) {
        ReleasePort(number);
        return -1;
    }
    StreamInfo header{};
    header.width = 256;
    header.height = 192;
    if (QVXPlay_SetDrawWnd(port, window) != 0 || QVXPlay_OpenStream(port, &header, sizeof header) != 0 ||
        QVXPlay_Play(port) != 0) {
        QVXPlay_DeInit(port);
        ReleasePort(number);
        return -1;
    }
    QVXPlay_CloseSound(port);
    thermalPortNumbers_[device] = number;
    thermalPorts_[device] = port;

    uint32_t request[QVX_REQUEST_WORDS] = {};
    request[1] = static_cast<uint32_t>(channel);
    request[2] = 1;
    request[4] = kThermalMode;
    QVX_HANDLE handle = 0;
    if (int rc = QVX_SDK_RealPlay(dev.loginHandle.load(), request, &ThermalData, device, &handle); rc != 0) {
        Trace("thermal picture of device %d: the device refused the stream (%d)\n", device, rc);
        thermalPorts_[device] = 0;
        QVXPlay_DeInit(port);
        ReleasePort(number);
        return -1;
    }
    dev.thermalStream = handle;
    return 0;
}

int ConnectionService::CloseThermalStream(int device) {
    if (device < 0 || device >= kMaxDevices) return -1;
    std::lock_guard lock(thermalMutex_);
    // The library calls no callback of a stopped stream, so the player can go afterwards.
    if (int handle = runtime_.device(device).thermalStream.exchange(0)) QVX_SDK_StopRealPlay(handle);
    if (int port = thermalPorts_[device].exchange(0)) {
        QVXPlay_DeInit(port);
        ReleasePort(thermalPortNumbers_[device]);
    }
    return 0;
}

int ConnectionService::IsThermalCapable(int device, int channel) const {
    if (IsValidChannel(device, channel) != 0) return -1;
    return runtime_.device(device).thermalCapable.load() ? 0 : -1;
}

void ConnectionService::OnThermalData(int device, int dataKind, const uint8_t* data, int length) {
    if (device < 0 || device >= kMaxDevices || dataKind != 1 || data == nullptr ||
        length < static_cast<int>(kFrameHeaderBytes))
        return;
    FrameHeader h;
    memcpy(&h, data, sizeof h);
    if (!IsVideoFrame(h)) return;
    if (int port = thermalPorts_[device].load()) QVXPlay_InputVideoData(port, data, length);
}

}  // namespace ocv
