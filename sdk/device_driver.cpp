#include "sdk/device_driver.h"

#include "sdk/own_protocol_login.h"
#include "sdk/standard_login.h"

namespace ocv::sdk {

DriverKind DriverForProtocol(uint8_t protocol) {
    switch (protocol) {
    case QVX_PROTOCOL_ONVIF: return DriverKind::kOnvif;
    case QVX_PROTOCOL_RTSP_URL: return DriverKind::kRtspUrl;
    default: return DriverKind::kOwnProtocol;  // 0, and the 1 of callers that pass a type's in-use flag
    }
}

int DriverLogin(Core& core, int32_t handle, uint8_t protocol, const std::string& host, uint16_t port,
                const std::string& user, const std::string& password, QVX_DEVICE_INFO* info,
                std::shared_ptr<DeviceLogin>* out) {
    Credentials c{host, port, user, password};
    switch (DriverForProtocol(protocol)) {
    case DriverKind::kOnvif: return StandardLogin::Open(core, handle, c, /*onvif=*/true, info, out);
    case DriverKind::kRtspUrl: return StandardLogin::Open(core, handle, c, /*onvif=*/false, info, out);
    case DriverKind::kOwnProtocol: break;
    }
    return OwnProtocolLogin::Open(core, handle, c, info, out);
}

}  // namespace ocv::sdk
