#include "device/ptz_service.h"

#include "base/trace.h"
#include "sdk/qvx_sdk.h"
#include "store/relaxed.h"

namespace ocv {

int PtzService::SendPtz(int device, int channel, int command, int stop, int value) {
    if (store_.IsValidChannel(device, channel) != 0 || channel >= Relaxed(store_.device(device).channelCount)) {
        Trace("ptz command %d to channel %d of device %d: not configured\n", command, channel, device);
        return -1;
    }
    if (command < 0 || stop < 0 || value < 0) {
        Trace("ptz command %d to channel %d of device %d: bad values\n", command, channel, device);
        return -1;
    }
    const DeviceRuntime& dev = runtime_.device(device);
    int login = dev.loginHandle.load();
    if (login == 0 || dev.deviceState.load() != kDeviceOnline) {
        Trace("ptz command %d to channel %d of device %d: the device is not logged in\n", command, channel, device);
        return -1;
    }
    bool preset = command == kPtzPresetSet || command == kPtzPresetClear || command == kPtzPresetGoto;
    int rc = preset ? QVX_SDK_PTZPreset(login, channel, static_cast<uint32_t>(command), static_cast<uint32_t>(value))
                    : QVX_SDK_PTZControl(login, channel, static_cast<uint32_t>(command), static_cast<uint32_t>(stop),
                                         static_cast<uint32_t>(value));
    if (rc != 0) Trace("ptz command %d to channel %d of device %d: the device refused (%d)\n", command, channel, device, rc);
    return rc;
}

}  // namespace ocv
