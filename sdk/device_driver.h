#pragma once
// The seam between the C interface and the protocols a device may speak. QVX_SDK_Login picks
// a driver by the login's protocol byte; the driver's login object then answers every call
// made with that login handle. Callers above the C interface never see which driver runs.
#include <cstdint>
#include <memory>
#include <string>

#include "sdk/qvx_sdk.h"

namespace ocv::sdk {

class Core;
class LoginSession;
struct HttpResult;

// The words of a stream request the drivers read.
struct StreamRequest {
    uint32_t channel = 0;
    uint32_t streamType = 0;  // 0 main, 1 sub, 2 third
    uint32_t mode = 3;        // word 4 of the request: 3 live, 1 second live, 8 thermal picture
};

// What a stream handle stands for. Stop returns once no callback of the stream runs or will
// run (also when called from that callback).
class LiveStream {
public:
    virtual ~LiveStream() = default;
    virtual int32_t handle() const = 0;
    virtual int32_t loginHandle() const = 0;
    virtual void Stop() = 0;
};

// What a login handle stands for. Every operation returns QVX_OK or a QVX_ERR_* value;
// QVX_ERR_DEVICE means the device (or its protocol) does not offer it.
class DeviceLogin {
public:
    virtual ~DeviceLogin() = default;

    virtual int32_t handle() const = 0;
    // Logout: no callbacks and no reconnections once it returns.
    virtual void Close() = 0;

    // Opens a live stream under streamHandle; *out is set on success.
    virtual int OpenStream(int32_t streamHandle, const StreamRequest& request, QVX_RealDataCallBack callback,
                           intptr_t user, std::shared_ptr<LiveStream>* out) = 0;
    // One event stream per login; no event callback once StopEvents returns.
    virtual int StartEvents(int32_t eventHandle, QVX_EventCallBack callback, intptr_t user) = 0;
    virtual void StopEvents() = 0;
    virtual int OpenAlarmChannel(int32_t channel) = 0;
    virtual int CloseAlarmChannel(int32_t channel) = 0;

    // Configuration records of the QVX_CMD_* commands; the length is already checked.
    virtual int GetConfig(int32_t channel, uint32_t command, void* buffer, uint32_t length) = 0;
    virtual int SetConfig(int32_t channel, uint32_t command, const void* buffer, uint32_t length) = 0;

    virtual int PtzControl(int32_t channel, uint32_t command, uint32_t stop, uint32_t speed) = 0;
    virtual int PtzPreset(int32_t channel, uint32_t command, uint32_t preset) = 0;
    virtual int Reboot() = 0;
    // request: QVX_REQUEST_WORDS words; *inOutLength: room in, picture bytes out.
    virtual int CaptureJpeg(const uint32_t* request, uint8_t* buffer, uint32_t* inOutLength) = 0;
    // GET of a CGI path on the device's web port, body bounded by maxBodyBytes.
    virtual int WebGet(const std::string& path, size_t maxBodyBytes, HttpResult* out) = 0;

    // Sets where a channel's stream comes from, overriding what the device itself says
    // (the stream URL of a camera without ONVIF, or the operator's choice). QVX_ERR_DEVICE for
    // drivers whose streams have no URL.
    virtual int SetStreamUrl(int32_t channel, uint32_t streamType, const std::string& url) = 0;

    // Our own protocol's session, for what only it offers (talk, recordings on the device);
    // nullptr for other drivers.
    virtual std::shared_ptr<LoginSession> ownProtocol() { return nullptr; }
};

// Protocol bytes of QVX_SDK_Login and the driver each one selects.
enum class DriverKind { kOwnProtocol, kOnvif, kRtspUrl };
DriverKind DriverForProtocol(uint8_t protocol);

// Logs in with the driver of the protocol byte. On success *out holds the login (not yet in
// the handle table) and *info is filled.
int DriverLogin(Core& core, int32_t handle, uint8_t protocol, const std::string& host, uint16_t port,
                const std::string& user, const std::string& password, QVX_DEVICE_INFO* info,
                std::shared_ptr<DeviceLogin>* out);

}  // namespace ocv::sdk
