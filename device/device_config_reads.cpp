// Reading a channel's configuration records, restarting a device, and the configuration page's
// preview picture: all through the login the connection service keeps (this service never logs
// in by itself).
#include "base/trace.h"
#include "device/device_config_service.h"
#include "sdk/qvx_sdk.h"

namespace ocv {
namespace {

// The device's login when it is logged in with its event stream open; 0 otherwise.
int OnlineLogin(const ConfigStore& store, const RuntimeTable& runtime, int device, int channel) {
    if (store.IsValidChannel(device, channel) != 0) return 0;
    const DeviceRuntime& dev = runtime.device(device);
    if (dev.deviceState.load() != kDeviceOnline) return 0;
    return dev.loginHandle.load();
}

}  // namespace

int DeviceConfigService::GetChannelConfig(int device, int channel, uint32_t command, void* buffer, uint32_t length) {
    int login = OnlineLogin(store_, runtime_, device, channel);
    if (login == 0) {
        Trace("configuration 0x%04x of channel %d of device %d: not logged in\n", command, channel, device);
        return -1;
    }
    if (int rc = QVX_SDK_GetConfig(login, channel, command, buffer, length); rc != 0) {
        Trace("configuration 0x%04x of channel %d of device %d: not read (%d)\n", command, channel, device, rc);
        return -1;
    }
    return 0;
}

int DeviceConfigService::RebootDevice(int device) {
    int login = OnlineLogin(store_, runtime_, device, 0);
    if (login == 0) {
        Trace("restart of device %d: not logged in\n", device);
        return -1;
    }
    if (int rc = QVX_SDK_Reboot(login); rc != 0) {
        Trace("restart of device %d: refused (%d)\n", device, rc);
        return -1;
    }
    return 0;
}

int DeviceConfigService::OpenPreview(int device, int channel, int streamType, void* window, PreviewDrawFn draw,
                                     intptr_t user, int* preview) {
    if (preview == nullptr || window == nullptr) return -1;
    *preview = 0;
    int login = OnlineLogin(store_, runtime_, device, channel);
    if (login == 0) {
        Trace("preview of channel %d of device %d: not logged in\n", channel, device);
        return -1;
    }
    uint32_t request[QVX_REQUEST_WORDS] = {};
    request[1] = static_cast<uint32_t>(channel);
    request[2] = static_cast<uint32_t>(streamType == 0 ? 0 : 1);
    request[4] = 3;
    QVX_HANDLE handle = 0;
    if (int rc = QVX_SDK_RealPlayV3(login, request, window, nullptr, nullptr, 0, &handle); rc != 0) {
        Trace("preview of channel %d of device %d: the stream was refused (%d)\n", channel, device, rc);
        return -1;
    }
    if (draw != nullptr) QVX_SDK_RegisterDrawFun(handle, draw, user);
    *preview = handle;
    return 0;
}

int DeviceConfigService::ClosePreview(int preview) {
    if (preview == 0) return -1;
    return QVX_SDK_StopRealPlay(preview) == 0 ? 0 : -1;
}

}  // namespace ocv
