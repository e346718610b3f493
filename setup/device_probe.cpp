#include "setup/device_probe.h"

#include <cstring>

#include "base/device_types.h"
#include "base/trace.h"
#include "sdk/qvx_sdk.h"

namespace ocv {

ProbeResult ProbeDevice(const std::string& host, int port, const std::string& user, const std::string& password,
                        int deviceType) {
    ProbeResult out;
    if (host.empty() || port <= 0 || port > 65535) {
        Trace("device test of %s:%d: no address to try\n", host.c_str(), port);
        return out;
    }
    QVX_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    QVX_HANDLE login = 0;
    out.result = QVX_SDK_Login(&login, host.c_str(), uint16_t(port), user.c_str(), password.c_str(),
                               LoginProtocolOf(deviceType), 1, &info);
    if (out.result != 0) {
        Trace("device test of %s:%d: login failed (%d)\n", host.c_str(), port, out.result);
        return out;
    }
    QVX_SDK_Logout(login);
    out.channelCount = int(info.channelCount);
    out.deviceType.assign(info.deviceType, strnlen(info.deviceType, sizeof info.deviceType));
    return out;
}

}  // namespace ocv
