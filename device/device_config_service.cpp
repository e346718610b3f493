// Configuration records of a channel on its device, and the device's stored pictures.
#include "device/device_config_service.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/trace.h"
#include "platform/app_dir.h"
#include "platform/file_util.h"
#include "sdk/qvx_sdk.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

constexpr uint32_t kMaxPictureBytes = kMaxDevicePictureBytes;

bool LoggedInOnline(const DeviceRuntime& dev) {
    return dev.loginHandle.load() != 0 && dev.deviceState.load() == kDeviceOnline;
}

}  // namespace

int DeviceConfigService::SendChannelConfig(int device, int channel, uint32_t command, const void* buffer,
                                           uint32_t length) {
    if (store_.IsValidChannel(device, channel) != 0) {
        Trace("configuration of channel %d of device %d: no such channel\n", channel, device);
        return -1;
    }
    const DeviceRuntime& dev = runtime_.device(device);
    if (!LoggedInOnline(dev)) {
        Trace("configuration of device %d: not logged in\n", device);
        return -1;
    }
    return QVX_SDK_SetConfig(dev.loginHandle.load(), channel, command, buffer, length);
}

int DeviceConfigService::FetchDevicePicture(int device, int channel, int number, uint8_t* buffer,
                                      uint32_t* length) {
    if (store_.IsValidChannel(device, channel) != 0 || buffer == nullptr || length == nullptr) {
        Trace("picture of channel %d of device %d: no such channel or no buffer\n", channel, device);
        return -1;
    }
    const DeviceInfo& dev = store_.device(device);
    const DeviceRuntime& rt = runtime_.device(device);
    char host[kTextBytes];
    ReadTextRelaxed(dev.host, host);
    // The host names a folder, never a path.
    std::string name = std::string(host) + "-" + std::to_string(Relaxed(dev.port));
    for (char& ch : name)
        if (ch == '/' || ch == '\\') ch = '_';
    std::string folder = AppPath("Pic/" + name);
    std::string file = folder + "/" + std::to_string(number) + ".h264";
    uint32_t room = std::min(*length, kMaxPictureBytes);
    std::string cached;
    if (ReadFileBounded(file, kMaxPictureBytes, &cached) == 0) {
        uint32_t n = std::min<uint32_t>(room, static_cast<uint32_t>(cached.size()));
        memcpy(buffer, cached.data(), n);
        *length = n;
        return 0;
    }
    if (!LoggedInOnline(rt)) {
        Trace("picture %d of device %d: not cached and the device is not logged in\n", number, device);
        return -1;
    }
    uint32_t request[QVX_REQUEST_WORDS] = {};
    request[0] = 1;
    request[9] = static_cast<uint32_t>(number);
    uint32_t got = room;
    if (int rc = QVX_SDK_CaptureJPEGPictureV2(rt.loginHandle.load(), request, buffer, &got); rc != 0) {
        Trace("picture %d of device %d: the device refused it (%d)\n", number, device, rc);
        return -1;
    }
    *length = got;
    if (MakeDirectories(folder) == 0)
        ReplaceFileAtomically(file, std::string_view(reinterpret_cast<char*>(buffer), got));
    return 0;
}

}  // namespace ocv
