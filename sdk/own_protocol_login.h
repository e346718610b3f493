#pragma once
// The driver of our own device protocol (docs/device-protocol.md): a login is a LoginSession
// with its control connection; streams and talks open connections of their own.
#include <memory>

#include "sdk/device_driver.h"
#include "sdk/login_session.h"

namespace ocv::sdk {

class OwnProtocolLogin : public DeviceLogin {
public:
    OwnProtocolLogin(Core& core, std::shared_ptr<LoginSession> session) : core_(core), session_(std::move(session)) {}

    int32_t handle() const override { return session_->handle(); }
    void Close() override { session_->Close(); }
    int OpenStream(int32_t streamHandle, const StreamRequest& request, QVX_RealDataCallBack callback, intptr_t user,
                   std::shared_ptr<LiveStream>* out) override;
    int StartEvents(int32_t eventHandle, QVX_EventCallBack callback, intptr_t user) override {
        return session_->StartEvents(eventHandle, callback, user);
    }
    void StopEvents() override { session_->StopEvents(); }
    int OpenAlarmChannel(int32_t channel) override { return session_->OpenAlarmChannel(channel); }
    int CloseAlarmChannel(int32_t channel) override { return session_->CloseAlarmChannel(channel); }
    int GetConfig(int32_t channel, uint32_t command, void* buffer, uint32_t length) override;
    int SetConfig(int32_t channel, uint32_t command, const void* buffer, uint32_t length) override;
    int PtzControl(int32_t channel, uint32_t command, uint32_t stop, uint32_t speed) override;
    int PtzPreset(int32_t channel, uint32_t command, uint32_t preset) override;
    int Reboot() override;
    int CaptureJpeg(const uint32_t* request, uint8_t* buffer, uint32_t* inOutLength) override;
    int WebGet(const std::string& path, size_t maxBodyBytes, HttpResult* out) override;
    int SetStreamUrl(int32_t, uint32_t, const std::string&) override { return QVX_ERR_DEVICE; }
    std::shared_ptr<LoginSession> ownProtocol() override { return session_; }

    // Logs in on a new control connection. QVX_OK with *out set, or why not.
    static int Open(Core& core, int32_t handle, const Credentials& credentials, QVX_DEVICE_INFO* info,
                    std::shared_ptr<DeviceLogin>* out);

private:
    Core& core_;
    std::shared_ptr<LoginSession> session_;
};

}  // namespace ocv::sdk
