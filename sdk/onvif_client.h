#pragma once
// An ONVIF client for one device: SOAP calls signed with a WS-UsernameToken digest (its time
// taken from the device's own clock, which may differ from ours), HTTP credentials only when
// the device asks (WebClient), faults told apart (not authorised, refused), and the calls the
// standard-camera driver and ocuvant-devtool make. Blocking; one call at a time.
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/onvif_soap.h"
#include "sdk/stream_url.h"
#include "sdk/web_client.h"

namespace ocv::sdk {

class OnvifClient {
public:
    // deviceUrl: the device service, e.g. http://10.0.0.5/onvif/device_service
    OnvifClient(const Url& deviceUrl, std::string user, std::string password, int timeoutMs);

    // QVX_OK or: QVX_ERR_CONNECT, QVX_ERR_TIMEOUT, QVX_ERR_PASSWORD (401, or a fault saying
    // not authorised), QVX_ERR_DEVICE (another fault), QVX_ERR_PROTOCOL (not SOAP).
    int Call(const std::string& serviceUrl, const std::string& body, std::string* reply);

    // Reads the device's clock without credentials (allowed by ONVIF before authentication)
    // and signs later calls with it.
    int SyncClock(time_t* deviceUtc = nullptr);
    int DeviceInformation(onvif::DeviceInformation* out);
    int Capabilities(onvif::Capabilities* out);
    int Profiles(std::vector<onvif::Profile>* out);
    int StreamUri(const std::string& profile, std::string* uri);
    int SnapshotUri(const std::string& profile, std::string* uri);
    int SetClock(time_t utc);
    int Reboot();
    int Move(const std::string& profile, double pan, double tilt, double zoom);
    int Stop(const std::string& profile);
    int Preset(int command, const std::string& profile, const std::string& preset);
    int Subscribe(std::string* address);
    int Pull(const std::string& address, std::vector<onvif::Notification>* out);
    int Unsubscribe(const std::string& address);
    // GET of a device URL (a snapshot), with HTTP credentials when asked.
    int Fetch(const std::string& url, size_t maxBytes, std::string* body);

    // A service address the device reported, moved onto the host and port we reach it at.
    std::string Service(const std::string& reported) const;
    // A stream address the device reported, moved onto the host we reach it at.
    std::string OnOurHost(const std::string& reported) const;

    const Url& deviceUrl() const { return device_; }

private:
    int Post(const std::string& url, const std::string& envelope, std::string* reply);

    const Url device_;
    const std::string user_, password_;
    const int timeoutMs_;
    std::mutex mutex_;
    long clockOffset_ = 0;  // device UTC minus ours, seconds
    std::string media_, ptz_, events_;
    WebClient web_;
};

}  // namespace ocv::sdk
