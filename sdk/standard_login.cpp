#include "sdk/standard_login.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sdk/http_client.h"
#include "sdk/rtsp_stream.h"
#include "sdk/sdk_core.h"
#include "base/trace.h"

namespace ocv::sdk {

namespace {

using Clock = std::chrono::steady_clock;

// Whether something accepts TCP connections at host:port. QVX_OK, QVX_ERR_CONNECT or
// QVX_ERR_TIMEOUT.
int TcpReachable(const std::string& host, uint16_t port, int timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) return QVX_ERR_CONNECT;
    int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int rc = fd < 0 ? -1 : ::connect(fd, found->ai_addr, found->ai_addrlen);
    int err = errno;
    freeaddrinfo(found);
    if (fd < 0) return QVX_ERR_CONNECT;
    int result = QVX_OK;
    if (rc != 0) {
        if (err != EINPROGRESS) {
            result = QVX_ERR_CONNECT;
        } else {
            pollfd p{fd, POLLOUT, 0};
            int n = ::poll(&p, 1, timeoutMs);
            int soError = 0;
            socklen_t len = sizeof soError;
            if (n == 0) result = QVX_ERR_TIMEOUT;
            else if (n < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0)
                result = QVX_ERR_CONNECT;
        }
    }
    ::close(fd);
    return result;
}

void CopyText(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), text.size() < size - 1 ? text.size() : size - 1);
}

// Direction of a PTZ command as pan, tilt, zoom (-1, 0, 1 each).
bool Direction(uint32_t command, int* pan, int* tilt, int* zoom) {
    *pan = *tilt = *zoom = 0;
    switch (command) {
    case QVX_PTZ_ZOOM_IN: *zoom = 1; return true;
    case QVX_PTZ_ZOOM_OUT: *zoom = -1; return true;
    case QVX_PTZ_UP: *tilt = 1; return true;
    case QVX_PTZ_DOWN: *tilt = -1; return true;
    case QVX_PTZ_LEFT: *pan = -1; return true;
    case QVX_PTZ_RIGHT: *pan = 1; return true;
    case QVX_PTZ_UP_LEFT: *pan = -1; *tilt = 1; return true;
    case QVX_PTZ_UP_RIGHT: *pan = 1; *tilt = 1; return true;
    case QVX_PTZ_DOWN_LEFT: *pan = -1; *tilt = -1; return true;
    case QVX_PTZ_DOWN_RIGHT: *pan = 1; *tilt = -1; return true;
    default: return false;
    }
}

}  // namespace

StandardLogin::StandardLogin(Core& core, int32_t handle, Credentials credentials, bool onvif)
    : core_(core), handle_(handle), credentials_(std::move(credentials)), onvif_(onvif) {}

StandardLogin::~StandardLogin() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        wake_.notify_all();
    }
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
        else thread_.join();
    }
}

int StandardLogin::Open(Core& core, int32_t handle, const Credentials& credentials, bool onvif,
                        QVX_DEVICE_INFO* info, std::shared_ptr<DeviceLogin>* out) {
    auto login = std::make_shared<StandardLogin>(core, handle, credentials, onvif);
    int rc = login->Connect(info);
    if (rc != QVX_OK) return rc;
    std::weak_ptr<StandardLogin> weak = login;
    login->thread_ = std::thread([weak] {
        if (auto s = weak.lock()) {
            std::string name = "cam-" + std::to_string(s->handle_ % 100000000);
            pthread_setname_np(pthread_self(), name.c_str());
        }
        // Close (logout, cleanup) ends the loop and joins the thread.
        if (auto s = weak.lock()) s->Supervise();
    });
    *out = std::move(login);
    return QVX_OK;
}

int StandardLogin::Connect(QVX_DEVICE_INFO* info) {
    QVX_DEVICE_INFO block;
    std::memset(&block, 0, sizeof block);
    block.structSize = QVX_DEVICE_INFO_SIZE;
    block.streamsPerChannel = 2;
    block.webPort = credentials_.port;
    block.audioEncoding = 1;
    CopyText(block.deviceType, sizeof block.deviceType, "IPC");
    int timeoutMs = core_.settings.requestTimeoutMs.load();
    if (onvif_) {
        int rc = ConnectOnvif(&block);
        if (rc != QVX_OK) return rc;
    } else {
        int rc = TcpReachable(credentials_.host, credentials_.port, timeoutMs);
        if (rc != QVX_OK) return rc;
        // The channels are those the application has stream URLs for.
        int last = 0;
        for (int ch = 0; ch < 64; ++ch)
            if (!core_.StoredStreamUrl(credentials_.host, credentials_.port, ch, 0).empty()) last = ch;
        channelCount_ = last + 1;
        std::string first = StreamUrl(0, 0);
        Url url;
        if (!first.empty() && ParseUrl(first, &url)) {
            // Only a real exchange tells a wrong password from a good one.
            rc = RtspStream::Probe(core_, UrlWithCredentials(url, credentials_.user, credentials_.password));
            if (rc == QVX_ERR_PASSWORD || rc == QVX_ERR_CONNECT || rc == QVX_ERR_TIMEOUT) return rc;
        }
        CopyText(block.deviceName, sizeof block.deviceName, "RTSP camera");
        CopyText(block.deviceId, sizeof block.deviceId, credentials_.host + ":" + std::to_string(credentials_.port));
    }
    block.channelCount = uint32_t(channelCount_);
    if (info) *info = block;
    return QVX_OK;
}

int StandardLogin::ConnectOnvif(QVX_DEVICE_INFO* block) {
    Url device;
    std::string text = "http://" + (credentials_.host.find(':') != std::string::npos ? "[" + credentials_.host + "]"
                                                                                      : credentials_.host) +
                       ":" + std::to_string(credentials_.port) + "/onvif/device_service";
    if (!ParseUrl(text, &device)) return QVX_ERR_FAILED;
    int timeoutMs = core_.settings.requestTimeoutMs.load();
    client_ = std::make_unique<OnvifClient>(device, credentials_.user, credentials_.password, timeoutMs);
    eventClient_ = std::make_unique<OnvifClient>(device, credentials_.user, credentials_.password, timeoutMs);
    int rc = client_->SyncClock();
    if (rc != QVX_OK) return rc;
    eventClient_->SyncClock();
    onvif::DeviceInformation di;
    rc = client_->DeviceInformation(&di);
    if (rc != QVX_OK) return rc;
    onvif::Capabilities caps;
    rc = client_->Capabilities(&caps);
    if (rc != QVX_OK) return rc;
    eventClient_->Capabilities(&caps);
    std::vector<onvif::Profile> profiles;
    rc = client_->Profiles(&profiles);
    if (rc != QVX_OK) return rc;
    // Profiles of one video source make one channel: the first is its main stream, the second
    // its sub stream, as most cameras order them.
    for (const onvif::Profile& p : profiles) {
        if (p.encoding != "H264" && p.encoding != "H265" && !p.encoding.empty()) continue;
        Channel* ch = nullptr;
        for (Channel& c : channels_)
            if (c.source == p.source) ch = &c;
        if (!ch) {
            if (channels_.size() >= 64) continue;
            channels_.push_back(Channel{p.source, {}, false});
            ch = &channels_.back();
        }
        ch->profiles.push_back(p.token);
        if (ch->profiles.size() == 1) ch->ptz = p.ptz;
    }
    if (channels_.empty()) return QVX_ERR_CODEC;  // nothing this library can show
    channelCount_ = int(channels_.size());
    block->alarmInputCount = uint32_t(caps.inputs);
    block->alarmOutputCount = uint32_t(caps.outputs);
    size_t most = 1;
    for (const Channel& c : channels_) most = std::max(most, c.profiles.size());
    block->streamsPerChannel = uint32_t(most > 3 ? 3 : most);
    CopyText(block->deviceId, sizeof block->deviceId, di.serial);
    CopyText(block->deviceName, sizeof block->deviceName, di.manufacturer + " " + di.model);
    CopyText(block->firmwareVersion, sizeof block->firmwareVersion, di.firmware);
    return QVX_OK;
}

void StandardLogin::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        wake_.notify_all();
    }
    StopEvents();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

const std::string* StandardLogin::ProfileOf(int32_t channel, uint32_t streamType) {
    if (channel < 0 || size_t(channel) >= channels_.size()) return nullptr;
    const Channel& c = channels_[size_t(channel)];
    if (streamType >= c.profiles.size()) return nullptr;
    return &c.profiles[streamType];
}

std::string StandardLogin::StreamUrl(int32_t channel, uint32_t streamType) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = overrides_.find({channel, streamType});
        if (it != overrides_.end()) return it->second;
        auto cached = profileUris_.find({channel, streamType});
        if (cached != profileUris_.end()) return cached->second;
    }
    std::string stored = core_.StoredStreamUrl(credentials_.host, credentials_.port, channel, int32_t(streamType));
    if (!stored.empty() || !onvif_) return stored;
    const std::string* profile = ProfileOf(channel, streamType);
    if (!profile) return {};
    std::string uri;
    if (client_->StreamUri(*profile, &uri) != QVX_OK) return {};
    uri = client_->OnOurHost(uri);
    std::lock_guard<std::mutex> lock(mutex_);
    profileUris_[{channel, streamType}] = uri;
    return uri;
}

int StandardLogin::SetStreamUrl(int32_t channel, uint32_t streamType, const std::string& url) {
    Url parsed;
    if (!url.empty() && (!ParseUrl(url, &parsed) || parsed.scheme != "rtsp")) return QVX_ERR_FAILED;
    std::lock_guard<std::mutex> lock(mutex_);
    if (url.empty()) overrides_.erase({channel, streamType});
    else overrides_[{channel, streamType}] = UrlWithoutCredentials(parsed);
    return QVX_OK;
}

int StandardLogin::OpenStream(int32_t streamHandle, const StreamRequest& request, QVX_RealDataCallBack callback,
                              intptr_t user, std::shared_ptr<LiveStream>* out) {
    if (request.mode == 8) return QVX_ERR_DEVICE;  // no thermal picture on standard cameras
    if (int32_t(request.channel) >= channelCount_) return QVX_ERR_DEVICE;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (refused_) return QVX_ERR_PASSWORD;
    }
    std::string text = StreamUrl(int32_t(request.channel), request.streamType);
    Url url;
    if (text.empty() || !ParseUrl(text, &url) || url.scheme != "rtsp") return QVX_ERR_DEVICE;
    auto stream = std::make_shared<RtspStream>(core_, streamHandle, handle_,
                                               UrlWithCredentials(url, credentials_.user, credentials_.password),
                                               UrlWithoutCredentials(url), callback, user);
    int rc = stream->Open();
    if (rc == QVX_OK) *out = std::move(stream);
    return rc;
}

int StandardLogin::StartEvents(int32_t eventHandle, QVX_EventCallBack callback, intptr_t user) {
    std::lock_guard<std::recursive_mutex> lock(eventMutex_);
    if (eventHandle_ != 0) return QVX_ERR_FAILED;
    eventHandle_ = eventHandle;
    eventCallback_ = callback;
    eventUser_ = user;
    wake_.notify_all();
    return QVX_OK;
}

void StandardLogin::StopEvents() {
    std::lock_guard<std::recursive_mutex> lock(eventMutex_);
    eventHandle_ = 0;
    eventCallback_ = nullptr;
    eventUser_ = 0;
}

int StandardLogin::OpenAlarmChannel(int32_t channel) {
    // Events of every channel arrive with the event stream; a channel only has to exist.
    return channel < channelCount_ ? QVX_OK : QVX_ERR_DEVICE;
}

int StandardLogin::GetConfig(int32_t channel, uint32_t command, void* buffer, uint32_t length) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    auto* words = static_cast<uint32_t*>(buffer);
    switch (command) {
    case QVX_CMD_CHANNEL_STATUS:
        std::memset(buffer, 0, length);
        words[0] = uint32_t(channelCount_);
        for (int n = 0; n < 64; ++n) bytes[4 + n] = n < channelCount_ ? '1' : '0';
        return QVX_OK;
    case QVX_CMD_CAPABILITY:
        std::memset(buffer, 0, length);
        words[0] = uint32_t(channelCount_);
        words[1] = 2;
        return QVX_OK;
    case QVX_CMD_TIME: {
        if (!onvif_) return QVX_ERR_DEVICE;
        time_t utc = 0;
        int rc = client_->SyncClock(&utc);
        if (rc != QVX_OK) return rc;
        struct tm t {};
        localtime_r(&utc, &t);
        std::memset(buffer, 0, length);
        uint32_t v[6] = {uint32_t(t.tm_year + 1900), uint32_t(t.tm_mon + 1), uint32_t(t.tm_mday),
                         uint32_t(t.tm_hour), uint32_t(t.tm_min), uint32_t(t.tm_sec)};
        std::memcpy(buffer, v, sizeof v);
        return QVX_OK;
    }
    default: (void)channel; return QVX_ERR_DEVICE;
    }
}

int StandardLogin::SetConfig(int32_t, uint32_t command, const void* buffer, uint32_t) {
    if (command != QVX_CMD_TIME || !onvif_) return QVX_ERR_DEVICE;
    uint32_t v[6];
    std::memcpy(v, buffer, sizeof v);
    if (v[0] < 1970 || v[0] > 2999 || v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 ||
        v[5] > 60)
        return QVX_ERR_FAILED;
    // The record holds the local time the device should show; ONVIF takes UTC.
    struct tm t {};
    t.tm_year = int(v[0]) - 1900;
    t.tm_mon = int(v[1]) - 1;
    t.tm_mday = int(v[2]);
    t.tm_hour = int(v[3]);
    t.tm_min = int(v[4]);
    t.tm_sec = int(v[5]);
    t.tm_isdst = -1;
    time_t utc = mktime(&t);
    if (utc == time_t(-1)) return QVX_ERR_FAILED;
    return client_->SetClock(utc);
}

int StandardLogin::PtzControl(int32_t channel, uint32_t command, uint32_t stop, uint32_t speed) {
    if (!onvif_) return QVX_ERR_DEVICE;
    const std::string* profile = ProfileOf(channel, 0);
    if (!profile) return QVX_ERR_DEVICE;
    int pan, tilt, zoom;
    if (!Direction(command, &pan, &tilt, &zoom)) return QVX_ERR_FAILED;
    if (stop) return client_->Stop(*profile);
    double v = speed == 0 ? 0.5 : (speed > 7 ? 1.0 : double(speed) / 7.0);
    return client_->Move(*profile, pan * v, tilt * v, zoom * v);
}

int StandardLogin::PtzPreset(int32_t channel, uint32_t command, uint32_t preset) {
    if (!onvif_) return QVX_ERR_DEVICE;
    const std::string* profile = ProfileOf(channel, 0);
    if (!profile) return QVX_ERR_DEVICE;
    if (command != QVX_PTZ_PRESET_SET && command != QVX_PTZ_PRESET_CLEAR && command != QVX_PTZ_PRESET_GOTO)
        return QVX_ERR_FAILED;
    return client_->Preset(int(command), *profile, std::to_string(preset));
}

int StandardLogin::Reboot() { return onvif_ ? client_->Reboot() : QVX_ERR_DEVICE; }

int StandardLogin::CaptureJpeg(const uint32_t* request, uint8_t* buffer, uint32_t* inOutLength) {
    if (!onvif_) return QVX_ERR_DEVICE;
    const std::string* profile = ProfileOf(int32_t(request[1]), 0);
    if (!profile) return QVX_ERR_DEVICE;
    std::string uri, picture;
    int rc = client_->SnapshotUri(*profile, &uri);
    if (rc != QVX_OK) return rc;
    rc = client_->Fetch(client_->OnOurHost(uri), *inOutLength + size_t(1), &picture);
    if (rc == QVX_ERR_PROTOCOL) return QVX_ERR_NO_ROOM;  // longer than the room given
    if (rc != QVX_OK) return rc;
    if (picture.size() > *inOutLength) return QVX_ERR_NO_ROOM;
    std::memcpy(buffer, picture.data(), picture.size());
    *inOutLength = uint32_t(picture.size());
    return QVX_OK;
}

int StandardLogin::WebGet(const std::string&, size_t, HttpResult* out) {
    // The CGIs belong to devices of our own protocol.
    out->result = QVX_ERR_DEVICE;
    return QVX_ERR_DEVICE;
}

bool StandardLogin::Sleep(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return closed_; });
    return !closed_;
}

bool StandardLogin::Alive() {
    if (onvif_) {
        int rc = eventClient_->SyncClock();
        return rc == QVX_OK || rc == QVX_ERR_DEVICE || rc == QVX_ERR_PASSWORD;
    }
    return TcpReachable(credentials_.host, credentials_.port, core_.settings.requestTimeoutMs.load()) == QVX_OK;
}

void StandardLogin::PullEvents() {
    std::string address;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        address = subscription_;
    }
    if (address.empty()) {
        if (eventClient_->Subscribe(&address) != QVX_OK) return;
        std::lock_guard<std::mutex> lock(mutex_);
        subscription_ = address;
    }
    std::vector<onvif::Notification> notes;
    if (eventClient_->Pull(address, &notes) != QVX_OK) {
        std::lock_guard<std::mutex> lock(mutex_);
        subscription_.clear();  // expired or refused: subscribe again next time
        return;
    }
    for (const onvif::Notification& n : notes) {
        int type = 0, state = 0;
        if (!onvif::AlarmOf(n, &type, &state)) continue;
        // The channel whose video source (or profile) the notification names.
        int32_t channel = 0;
        for (const auto& [name, value] : n.source) {
            for (size_t c = 0; c < channels_.size(); ++c) {
                const Channel& ch = channels_[c];
                bool match = value == ch.source;
                for (const std::string& p : ch.profiles) match |= value == p;
                if (match) channel = int32_t(c);
            }
            (void)name;
        }
        std::lock_guard<std::recursive_mutex> lock(eventMutex_);
        if (eventCallback_)
            eventCallback_(eventHandle_, channel, type, state, n.topic.data(), int32_t(n.topic.size()), eventUser_);
    }
}

void StandardLogin::Supervise() {
    auto lastOk = Clock::now();
    while (true) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_) return;
        }
        bool online;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            online = online_;
        }
        if (online) {
            bool wantEvents;
            {
                std::lock_guard<std::recursive_mutex> lock(eventMutex_);
                wantEvents = onvif_ && eventCallback_ != nullptr;
            }
            if (Alive()) {
                lastOk = Clock::now();
                if (wantEvents) PullEvents();
            } else if (Clock::now() - lastOk >= std::chrono::milliseconds(core_.settings.silenceTimeoutMs.load()) ||
                       !onvif_) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    online_ = false;
                    subscription_.clear();
                }
                Trace("camera %s:%d: not answering\n", credentials_.host.c_str(), int(credentials_.port));
                core_.RaiseException(QVX_EXCEPTION_LOGIN_LOST, handle_, 0);
            }
            int pause = core_.settings.heartbeatIntervalMs.load();
            if (wantEvents && pause > 500) pause = 500;  // alarms should not wait for a heartbeat
            if (!Sleep(pause)) return;
        } else {
            if (!Sleep(core_.settings.reconnectIntervalMs.load())) return;
            if (!Alive()) continue;
            if (onvif_) {
                onvif::DeviceInformation di;
                int rc = eventClient_->DeviceInformation(&di);
                if (rc == QVX_ERR_PASSWORD) {
                    // Trying a refused password again could lock the account on the camera.
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        refused_ = true;
                    }
                    core_.RaiseException(QVX_EXCEPTION_LOGIN_REFUSED, handle_, 0);
                    return;
                }
                if (rc != QVX_OK) continue;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                online_ = true;
            }
            lastOk = Clock::now();
            Trace("camera %s:%d: answering again\n", credentials_.host.c_str(), int(credentials_.port));
            core_.RaiseException(QVX_EXCEPTION_LOGIN_RESTORED, handle_, 0);
        }
    }
}

}  // namespace ocv::sdk
