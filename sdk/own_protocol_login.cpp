#include "sdk/own_protocol_login.h"

#include <cstring>

#include "sdk/http_client.h"
#include "sdk/sdk_core.h"
#include "sdk/stream_session.h"
#include "sdk/wire_format.h"

namespace ocv::sdk {

int OwnProtocolLogin::Open(Core& core, int32_t handle, const Credentials& credentials, QVX_DEVICE_INFO* info,
                           std::shared_ptr<DeviceLogin>* out) {
    auto session = std::make_shared<LoginSession>(core, handle, credentials);
    int result = session->Connect(info);
    if (result != QVX_OK) {
        session->Close();
        return result;
    }
    *out = std::make_shared<OwnProtocolLogin>(core, std::move(session));
    return QVX_OK;
}

int OwnProtocolLogin::OpenStream(int32_t streamHandle, const StreamRequest& request, QVX_RealDataCallBack callback,
                                 intptr_t user, std::shared_ptr<LiveStream>* out) {
    auto stream = std::make_shared<StreamSession>(core_, streamHandle, handle(), session_->credentials(), request,
                                                   callback, user);
    int result = stream->Open();
    if (result == QVX_OK) *out = std::move(stream);
    return result;
}

int OwnProtocolLogin::GetConfig(int32_t channel, uint32_t command, void* buffer, uint32_t length) {
    // The head of the buffer travels as selector (the quality record's stream index).
    uint32_t selector = length < 16 ? length : 16;
    Reply r = session_->Request(wire::kGetConfig, wire::PayloadWriter()
                                                      .U32(uint32_t(channel))
                                                      .U32(command)
                                                      .U32(length)
                                                      .U32(selector)
                                                      .Bytes(buffer, selector)
                                                      .bytes());
    if (r.result != QVX_OK) return r.result;
    if (r.kind != wire::kConfigReply || r.payload.size() != 8 + size_t(length)) return QVX_ERR_PROTOCOL;
    std::memcpy(buffer, r.payload.data() + 8, length);
    return QVX_OK;
}

int OwnProtocolLogin::SetConfig(int32_t channel, uint32_t command, const void* buffer, uint32_t length) {
    return session_
        ->Request(wire::kSetConfig,
                  wire::PayloadWriter().U32(uint32_t(channel)).U32(command).U32(length).Bytes(buffer, length).bytes())
        .result;
}

int OwnProtocolLogin::PtzControl(int32_t channel, uint32_t command, uint32_t stop, uint32_t speed) {
    return session_
        ->Request(wire::kPtzControl,
                  wire::PayloadWriter().U32(uint32_t(channel)).U32(command).U32(stop).U32(speed).bytes())
        .result;
}

int OwnProtocolLogin::PtzPreset(int32_t channel, uint32_t command, uint32_t preset) {
    return session_
        ->Request(wire::kPtzPreset, wire::PayloadWriter().U32(uint32_t(channel)).U32(command).U32(preset).bytes())
        .result;
}

int OwnProtocolLogin::Reboot() { return session_->Request(wire::kReboot, {}).result; }

int OwnProtocolLogin::CaptureJpeg(const uint32_t* request, uint8_t* buffer, uint32_t* inOutLength) {
    wire::PayloadWriter w;
    for (int i = 0; i < QVX_REQUEST_WORDS; ++i) w.U32(request[i]);
    Reply r = session_->Request(wire::kCapture, w.bytes());
    if (r.result != QVX_OK) return r.result;
    if (r.kind != wire::kCaptureReply || r.payload.size() < 8) return QVX_ERR_PROTOCOL;
    uint32_t bytes = wire::GetU32(r.payload.data() + 4);
    if (bytes > r.payload.size() - 8) return QVX_ERR_PROTOCOL;
    if (bytes > *inOutLength) return QVX_ERR_NO_ROOM;
    std::memcpy(buffer, r.payload.data() + 8, bytes);
    *inOutLength = bytes;
    return QVX_OK;
}

int OwnProtocolLogin::WebGet(const std::string& path, size_t maxBodyBytes, HttpResult* out) {
    const Credentials& c = session_->credentials();
    *out = HttpGet(c.host, int(session_->webPort()), path, c.user, c.password, core_.settings.requestTimeoutMs.load(),
                   maxBodyBytes);
    return out->result;
}

}  // namespace ocv::sdk
