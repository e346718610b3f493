#include "sdk/onvif_client.h"

#include <openssl/rand.h>

#include "sdk/qvx_sdk.h"

namespace ocv::sdk {

namespace {
constexpr size_t kMaxReplyBytes = onvif::kMaxSoapBytes;
const char* kSoapType = "application/soap+xml; charset=utf-8";
}  // namespace

OnvifClient::OnvifClient(const Url& deviceUrl, std::string user, std::string password, int timeoutMs)
    : device_(deviceUrl), user_(std::move(user)), password_(std::move(password)), timeoutMs_(timeoutMs) {}

std::string OnvifClient::Service(const std::string& reported) const {
    Url u;
    if (!ParseUrl(reported, &u) || (u.scheme != "http" && u.scheme != "https")) return UrlWithoutCredentials(device_);
    return UrlWithoutCredentials(OnHost(u, device_.host, device_.port));
}

std::string OnvifClient::OnOurHost(const std::string& reported) const {
    Url u;
    if (!ParseUrl(reported, &u)) return {};
    return UrlWithoutCredentials(OnHost(u, device_.host, u.port));
}

int OnvifClient::Post(const std::string& url, const std::string& envelope, std::string* reply) {
    WebReply r = web_.Request(url, envelope, kSoapType, user_, password_, timeoutMs_, kMaxReplyBytes);
    if (r.result == QVX_ERR_HTTP_AUTH) return QVX_ERR_PASSWORD;
    if (r.result == QVX_OK || r.result == QVX_ERR_HTTP) {
        onvif::Fault f = onvif::ParseFault(r.body);
        if (f.present) return f.notAuthorized ? QVX_ERR_PASSWORD : QVX_ERR_DEVICE;
        if (r.result == QVX_ERR_HTTP) return QVX_ERR_DEVICE;
        *reply = std::move(r.body);
        return QVX_OK;
    }
    return r.result;
}

int OnvifClient::Call(const std::string& serviceUrl, const std::string& body, std::string* reply) {
    onvif::UsernameToken token;
    token.user = user_;
    token.password = password_;
    unsigned char nonce[16];
    if (RAND_bytes(nonce, sizeof nonce) != 1) return QVX_ERR_FAILED;
    token.nonce.assign(reinterpret_cast<char*>(nonce), sizeof nonce);
    long offset;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        offset = clockOffset_;
    }
    token.created = onvif::UtcText(time(nullptr) + offset);
    return Post(serviceUrl, onvif::Envelope(body, user_.empty() ? nullptr : &token), reply);
}

int OnvifClient::SyncClock(time_t* deviceUtc) {
    std::string reply;
    int rc = Post(UrlWithoutCredentials(device_), onvif::Envelope(onvif::GetSystemDateAndTime(), nullptr), &reply);
    if (rc != QVX_OK) return rc;
    time_t utc = 0;
    if (!onvif::ParseSystemDateAndTime(reply, &utc)) return QVX_ERR_PROTOCOL;
    std::lock_guard<std::mutex> lock(mutex_);
    clockOffset_ = long(utc - time(nullptr));
    if (deviceUtc) *deviceUtc = utc;
    return QVX_OK;
}

int OnvifClient::DeviceInformation(onvif::DeviceInformation* out) {
    std::string reply;
    int rc = Call(UrlWithoutCredentials(device_), onvif::GetDeviceInformation(), &reply);
    if (rc != QVX_OK) return rc;
    return onvif::ParseDeviceInformation(reply, out) ? QVX_OK : QVX_ERR_PROTOCOL;
}

int OnvifClient::Capabilities(onvif::Capabilities* out) {
    std::string reply;
    int rc = Call(UrlWithoutCredentials(device_), onvif::GetCapabilities(), &reply);
    if (rc != QVX_OK) return rc;
    if (!onvif::ParseCapabilities(reply, out)) return QVX_ERR_PROTOCOL;
    std::lock_guard<std::mutex> lock(mutex_);
    media_ = out->media.empty() ? "" : Service(out->media);
    ptz_ = out->ptz.empty() ? "" : Service(out->ptz);
    events_ = out->events.empty() ? "" : Service(out->events);
    return QVX_OK;
}

int OnvifClient::Profiles(std::vector<onvif::Profile>* out) {
    std::string media, reply;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        media = media_;
    }
    if (media.empty()) return QVX_ERR_DEVICE;
    int rc = Call(media, onvif::GetProfiles(), &reply);
    if (rc != QVX_OK) return rc;
    return onvif::ParseProfiles(reply, out) ? QVX_OK : QVX_ERR_PROTOCOL;
}

int OnvifClient::StreamUri(const std::string& profile, std::string* uri) {
    std::string reply, media;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        media = media_;
    }
    if (media.empty()) return QVX_ERR_DEVICE;
    int rc = Call(media, onvif::GetStreamUri(profile), &reply);
    if (rc != QVX_OK) return rc;
    return onvif::ParseMediaUri(reply, uri) ? QVX_OK : QVX_ERR_PROTOCOL;
}

int OnvifClient::SnapshotUri(const std::string& profile, std::string* uri) {
    std::string reply, media;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        media = media_;
    }
    if (media.empty()) return QVX_ERR_DEVICE;
    int rc = Call(media, onvif::GetSnapshotUri(profile), &reply);
    if (rc != QVX_OK) return rc;
    return onvif::ParseMediaUri(reply, uri) ? QVX_OK : QVX_ERR_PROTOCOL;
}

int OnvifClient::SetClock(time_t utc) {
    std::string reply;
    int rc = Call(UrlWithoutCredentials(device_), onvif::SetSystemDateAndTime(utc), &reply);
    if (rc == QVX_OK) {
        std::lock_guard<std::mutex> lock(mutex_);
        clockOffset_ = long(utc - time(nullptr));
    }
    return rc;
}

int OnvifClient::Reboot() {
    std::string reply;
    return Call(UrlWithoutCredentials(device_), onvif::SystemReboot(), &reply);
}

int OnvifClient::Move(const std::string& profile, double pan, double tilt, double zoom) {
    if (ptz_.empty()) return QVX_ERR_DEVICE;
    std::string reply;
    return Call(ptz_, onvif::ContinuousMove(profile, pan, tilt, zoom), &reply);
}

int OnvifClient::Stop(const std::string& profile) {
    if (ptz_.empty()) return QVX_ERR_DEVICE;
    std::string reply;
    return Call(ptz_, onvif::PtzStop(profile), &reply);
}

int OnvifClient::Preset(int command, const std::string& profile, const std::string& preset) {
    if (ptz_.empty()) return QVX_ERR_DEVICE;
    std::string reply;
    switch (command) {
    case QVX_PTZ_PRESET_SET: return Call(ptz_, onvif::SetPreset(profile, preset), &reply);
    case QVX_PTZ_PRESET_CLEAR: return Call(ptz_, onvif::RemovePreset(profile, preset), &reply);
    case QVX_PTZ_PRESET_GOTO: return Call(ptz_, onvif::GotoPreset(profile, preset), &reply);
    default: return QVX_ERR_FAILED;
    }
}

int OnvifClient::Subscribe(std::string* address) {
    if (events_.empty()) return QVX_ERR_DEVICE;
    std::string reply, reported;
    int rc = Call(events_, onvif::CreatePullPointSubscription(60), &reply);
    if (rc != QVX_OK) return rc;
    if (!onvif::ParseSubscription(reply, &reported)) return QVX_ERR_PROTOCOL;
    *address = Service(reported);
    return QVX_OK;
}

int OnvifClient::Pull(const std::string& address, std::vector<onvif::Notification>* out) {
    std::string reply;
    int rc = Call(address, onvif::PullMessages(1, 16), &reply);
    if (rc != QVX_OK) return rc;
    return onvif::ParsePullMessages(reply, out) ? QVX_OK : QVX_ERR_PROTOCOL;
}

int OnvifClient::Unsubscribe(const std::string& address) {
    std::string reply;
    return Call(address, onvif::Unsubscribe(), &reply);
}

int OnvifClient::Fetch(const std::string& url, size_t maxBytes, std::string* body) {
    WebReply r = web_.Request(url, "", "", user_, password_, timeoutMs_, maxBytes);
    if (r.result == QVX_ERR_HTTP_AUTH) return QVX_ERR_PASSWORD;
    if (r.result != QVX_OK) return r.result;
    *body = std::move(r.body);
    return QVX_OK;
}

}  // namespace ocv::sdk
