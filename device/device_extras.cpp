// Thermal capability, channel configuration, device pictures and screening-camera temperature data.
#include <cstdio>
#include <cstring>
#include <string>

#include "device/device_service.h"
#include "device/temperature_log.h"
#include "platform/app_dir.h"
#include "platform/file_util.h"
#include "sdk/qvx_sdk.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

constexpr uint32_t kMaxPictureBytes = 1048576;
constexpr uint32_t kProbeReplyBytes = 8192;
constexpr uint32_t kQueryPageBytes = 4096;

bool LoggedInOnline(const DeviceInfo& dev) { return dev.loginHandle.load() != 0 && dev.deviceState.load() == 2; }

}  // namespace

int DeviceService::IsThermalCapable(int device, int channel) const {
    if (IsValidChannel(device, channel) != 0) return -1;
    return store_.device(device).thermalCapable.load() ? 0 : -1;
}

int DeviceService::SendChannelConfig(int device, int channel, uint32_t command, const void* buffer,
                                     uint32_t length) {
    if (IsValidChannel(device, channel) != 0) return -1;
    DeviceInfo& dev = store_.device(device);
    if (!LoggedInOnline(dev)) return -1;
    return QVX_SDK_SetConfig(dev.loginHandle.load(), channel, command, buffer, length);
}

int DeviceService::FetchDevicePicture(int device, int channel, int number, uint8_t* buffer,
                                      uint32_t* length) {
    if (IsValidChannel(device, channel) != 0 || buffer == nullptr || length == nullptr) return -1;
    DeviceInfo& dev = store_.device(device);
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
    if (!LoggedInOnline(dev)) return -1;
    uint32_t request[QVX_REQUEST_WORDS] = {};
    request[0] = 1;
    request[9] = static_cast<uint32_t>(number);
    uint32_t got = room;
    if (QVX_SDK_CaptureJPEGPictureV2(dev.loginHandle.load(), request, buffer, &got) != 0) return -1;
    *length = got;
    if (MakeDirectories(folder) == 0)
        ReplaceFileAtomically(file, std::string_view(reinterpret_cast<char*>(buffer), got));
    return 0;
}

int DeviceService::ProbeTemperatureSupport(int device, int channel) {
    if (IsValidChannel(device, channel) != 0) return -1;
    DeviceInfo& dev = store_.device(device);
    if (dev.loginHandle.load() == 0) return -1;
    static const char kRequest[] = "/cgi-bin/hi3510/getdevsupportx.cgi";
    std::vector<char> reply(kProbeReplyBytes + 1, '\0');
    uint32_t length = kProbeReplyBytes;
    if (QVX_SDK_SendCommand(dev.loginHandle.load(), kRequest, sizeof kRequest - 1, reply.data(), &length) != 0)
        return -1;
    reply[std::min(length, kProbeReplyBytes)] = '\0';
    if (strstr(reply.data(), "var devsupx=\"1") != nullptr) dev.thermalCapable = 1;
    return 0;
}

int DeviceService::QueryTemperatureLog(int device, int channel, const TimeBound& start, const TimeBound& end,
                                       int filter, std::vector<TemperatureRecord>* out) {
    if (IsValidChannel(device, channel) != 0 || out == nullptr) return -1;
    DeviceInfo& dev = store_.device(device);
    if (!LoggedInOnline(dev)) return -1;
    char request[256];
    int n = snprintf(request, sizeof request,
                     "/cgi-bin/hi3510/gettplogs.cgi?-stime=%d%02d%02d%02d%02d%02d&-etime=%d%02d%02d%02d%02d%02d&",
                     start.year, start.month, start.day, start.hour, start.minute, start.second, end.year,
                     end.month, end.day, end.hour, end.minute, end.second);
    QVX_HANDLE query = 0;
    if (QVX_SDK_QueryDataV2(dev.loginHandle.load(), request, static_cast<uint32_t>(n), &query) != 0) return -1;
    TemperatureLogReader reader(filter);
    std::vector<char> page(kQueryPageBytes + 1);
    for (;;) {
        std::fill(page.begin(), page.end(), '\0');
        uint32_t length = kQueryPageBytes;
        if (QVX_SDK_QueryNextDataV2(query, page.data(), &length) != 0) break;
        if (!reader.AddPage(std::string_view(page.data(), std::min(length, kQueryPageBytes)), out)) break;
    }
    QVX_SDK_QueryCloseV2(query);
    return 0;
}

}  // namespace ocv
