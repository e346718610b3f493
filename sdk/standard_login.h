#pragma once
// The standard-camera driver: a login of an ONVIF device (device information, capabilities,
// profiles and their stream URIs, clock, PTZ, pull-point events, snapshots, reboot) or of a
// camera known only by its RTSP stream URLs. Streams are RtspStreams. A supervising thread
// ("cam-<handle>") checks that the device answers, reports it lost (type 1) and back (type 2),
// and pulls ONVIF events while an event stream is open.
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sdk/device_connection.h"
#include "sdk/device_driver.h"
#include "sdk/onvif_client.h"

namespace ocv::sdk {

class Core;

class StandardLogin : public DeviceLogin, public std::enable_shared_from_this<StandardLogin> {
public:
    static int Open(Core& core, int32_t handle, const Credentials& credentials, bool onvif, QVX_DEVICE_INFO* info,
                    std::shared_ptr<DeviceLogin>* out);

    StandardLogin(Core& core, int32_t handle, Credentials credentials, bool onvif);
    ~StandardLogin() override;

    int32_t handle() const override { return handle_; }
    void Close() override;
    int OpenStream(int32_t streamHandle, const StreamRequest& request, QVX_RealDataCallBack callback, intptr_t user,
                   std::shared_ptr<LiveStream>* out) override;
    int StartEvents(int32_t eventHandle, QVX_EventCallBack callback, intptr_t user) override;
    void StopEvents() override;
    int OpenAlarmChannel(int32_t channel) override;
    int CloseAlarmChannel(int32_t) override { return QVX_OK; }
    int GetConfig(int32_t channel, uint32_t command, void* buffer, uint32_t length) override;
    int SetConfig(int32_t channel, uint32_t command, const void* buffer, uint32_t length) override;
    int PtzControl(int32_t channel, uint32_t command, uint32_t stop, uint32_t speed) override;
    int PtzPreset(int32_t channel, uint32_t command, uint32_t preset) override;
    int Reboot() override;
    int CaptureJpeg(const uint32_t* request, uint8_t* buffer, uint32_t* inOutLength) override;
    int WebGet(const std::string& path, size_t maxBodyBytes, HttpResult* out) override;
    int SetStreamUrl(int32_t channel, uint32_t streamType, const std::string& url) override;

private:
    // One channel of an ONVIF device: the profiles of one video source, main first.
    struct Channel {
        std::string source;
        std::vector<std::string> profiles;
        bool ptz = false;
    };

    int Connect(QVX_DEVICE_INFO* info);
    int ConnectOnvif(QVX_DEVICE_INFO* info);
    // The URL a stream opens (credentials not in it): the override, the application's stored
    // URL, else the ONVIF profile's. "" when there is none.
    std::string StreamUrl(int32_t channel, uint32_t streamType);
    const std::string* ProfileOf(int32_t channel, uint32_t streamType);
    bool Alive();
    void Supervise();
    void PullEvents();
    bool Sleep(int ms);

    Core& core_;
    const int32_t handle_;
    const Credentials credentials_;
    const bool onvif_;
    std::unique_ptr<OnvifClient> client_;       // requests of the application
    std::unique_ptr<OnvifClient> eventClient_;  // the supervising thread's calls
    std::vector<Channel> channels_;             // fixed after Connect
    int channelCount_ = 1;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool closed_ = false;
    bool online_ = true;
    bool refused_ = false;
    std::map<std::pair<int32_t, uint32_t>, std::string> overrides_;
    std::map<std::pair<int32_t, uint32_t>, std::string> profileUris_;
    std::string subscription_;
    std::thread thread_;

    std::recursive_mutex eventMutex_;
    QVX_EventCallBack eventCallback_ = nullptr;
    intptr_t eventUser_ = 0;
    int32_t eventHandle_ = 0;
};

}  // namespace ocv::sdk
