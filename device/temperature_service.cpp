// Temperature support and the temperature log of screening cameras, over the device library's
// web requests.
#include "device/temperature_service.h"

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

constexpr uint32_t kProbeReplyBytes = 8192;
constexpr uint32_t kQueryPageBytes = 4096;

}  // namespace

int TemperatureService::ProbeTemperatureSupport(int device, int channel) {
    if (store_.IsValidChannel(device, channel) != 0) {
        Trace("temperature support of device %d: no such channel\n", device);
        return -1;
    }
    DeviceRuntime& dev = runtime_.device(device);
    if (dev.loginHandle.load() == 0) return -1;  // asked again at the next login
    static const char kRequest[] = "/cgi-bin/hi3510/getdevsupportx.cgi";
    std::vector<char> reply(kProbeReplyBytes + 1, '\0');
    uint32_t length = kProbeReplyBytes;
    if (int rc = QVX_SDK_SendCommand(dev.loginHandle.load(), kRequest, sizeof kRequest - 1, reply.data(), &length);
        rc != 0) {
        Trace("temperature support of device %d: the request failed (%d)\n", device, rc);
        return -1;
    }
    reply[std::min(length, kProbeReplyBytes)] = '\0';
    if (strstr(reply.data(), "var devsupx=\"1") != nullptr) dev.thermalCapable = 1;
    return 0;
}

int TemperatureService::QueryTemperatureLog(int device, int channel, const TimeBound& start, const TimeBound& end,
                                            int filter, std::vector<TemperatureRecord>* out) {
    if (store_.IsValidChannel(device, channel) != 0 || out == nullptr) {
        Trace("temperature log of channel %d of device %d: no such channel\n", channel, device);
        return -1;
    }
    const DeviceRuntime& dev = runtime_.device(device);
    if (dev.loginHandle.load() == 0 || dev.deviceState.load() != kDeviceOnline) {
        Trace("temperature log of device %d: not logged in\n", device);
        return -1;
    }
    char request[256];
    int n = snprintf(request, sizeof request,
                     "/cgi-bin/hi3510/gettplogs.cgi?-stime=%d%02d%02d%02d%02d%02d&-etime=%d%02d%02d%02d%02d%02d&",
                     start.year, start.month, start.day, start.hour, start.minute, start.second, end.year,
                     end.month, end.day, end.hour, end.minute, end.second);
    QVX_HANDLE query = 0;
    if (int rc = QVX_SDK_QueryDataV2(dev.loginHandle.load(), request, static_cast<uint32_t>(n), &query); rc != 0) {
        Trace("temperature log of device %d: the query failed (%d)\n", device, rc);
        return -1;
    }
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
