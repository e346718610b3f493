// The C entry points: argument checks and handle lookups; each call then goes to the driver of
// the login it names (sdk/device_driver.h).
#include "sdk/qvx_sdk.h"

#include <cstring>
#include <string>

#include "sdk/device_driver.h"
#include "sdk/drawn_stream.h"
#include "sdk/http_client.h"
#include "sdk/login_session.h"
#include "sdk/recorded_stream.h"
#include "sdk/remote_search.h"
#include "sdk/sdk_core.h"
#include "sdk/talk_session.h"

namespace ocv::sdk {

// A paged CGI reply held between QVX_SDK_QueryDataV2 and QVX_SDK_QueryCloseV2.
struct QuerySession {
    std::mutex mutex;
    std::string body;
    size_t offset = 0;
};

namespace {

constexpr size_t kMaxCommandReplyBytes = 1024 * 1024;
constexpr size_t kMaxQueryReplyBytes = 8 * 1024 * 1024;
constexpr uint32_t kQueryPageBytes = 4096;

bool ValidChannel(int32_t channel) { return channel >= 0 && channel < 64; }

std::string RequestPath(const char* request, uint32_t length) {
    if (!request || length == 0 || length > 2048) return {};
    size_t n = strnlen(request, length);
    return std::string(request, n);
}

}  // namespace
}  // namespace ocv::sdk

using namespace ocv::sdk;

extern "C" {

int32_t QVX_SDK_ConfigSize(uint32_t command) {
    switch (command) {
    case QVX_CMD_CHANNEL_STATUS: return QVX_CMD_CHANNEL_STATUS_SIZE;
    case QVX_CMD_STREAM_CHOICE: return QVX_CMD_STREAM_CHOICE_SIZE;
    case QVX_CMD_COLOR: return QVX_CMD_COLOR_SIZE;
    case QVX_CMD_IMAGE: return QVX_CMD_IMAGE_SIZE;
    case QVX_CMD_QUALITY: return QVX_CMD_QUALITY_SIZE;
    case QVX_CMD_OSD: return QVX_CMD_OSD_SIZE;
    case QVX_CMD_PTZ_PORT: return QVX_CMD_PTZ_PORT_SIZE;
    case QVX_CMD_NETWORK: return QVX_CMD_NETWORK_SIZE;
    case QVX_CMD_CAPABILITY: return QVX_CMD_CAPABILITY_SIZE;
    case QVX_CMD_CLOCK: return QVX_CMD_CLOCK_SIZE;
    case QVX_CMD_MOTION: return QVX_CMD_MOTION_SIZE;
    case QVX_CMD_ALARM_INPUT: return QVX_CMD_ALARM_INPUT_SIZE;
    default: return 0;
    }
}

int32_t QVX_SDK_Init(void) { return Core::Init(); }

int32_t QVX_SDK_Cleanup(void) { return Core::Cleanup(); }

int32_t QVX_SDK_SetSupervision(int32_t heartbeatIntervalMs, int32_t silenceTimeoutMs, int32_t reconnectIntervalMs,
                               int32_t requestTimeoutMs) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (heartbeatIntervalMs < 0 || silenceTimeoutMs < 0 || reconnectIntervalMs < 0 || requestTimeoutMs < 0) {
        return QVX_ERR_FAILED;
    }
    if (heartbeatIntervalMs) core->settings.heartbeatIntervalMs = heartbeatIntervalMs;
    if (silenceTimeoutMs) core->settings.silenceTimeoutMs = silenceTimeoutMs;
    if (reconnectIntervalMs) core->settings.reconnectIntervalMs = reconnectIntervalMs;
    if (requestTimeoutMs) core->settings.requestTimeoutMs = requestTimeoutMs;
    return QVX_OK;
}

int32_t QVX_SDK_SetExceptionCallBack(uint32_t, uint32_t, QVX_ExceptionCallBack callback, void* context) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    core->SetExceptionCallback(callback, context);
    return QVX_OK;
}

int32_t QVX_SDK_SetAudioOutput(const QVX_AudioOutput* output) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    core->SetAudioOutput(output);
    return QVX_OK;
}

int32_t QVX_SDK_Login(QVX_HANDLE* outHandle, const char* host, uint16_t port, const char* user,
                      const char* password, uint8_t protocol, uint8_t, QVX_DEVICE_INFO* outInfo) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!outHandle || !host || !*host || port == 0 || !user || !password) return QVX_ERR_FAILED;
    if (strnlen(host, 256) >= 256 || strnlen(user, 32) >= 32 || strnlen(password, 256) >= 256) return QVX_ERR_FAILED;
    *outHandle = 0;
    std::shared_ptr<DeviceLogin> login;
    int32_t handle = core->NewHandle();
    int result = DriverLogin(*core, handle, protocol, host, port, user, password, outInfo, &login);
    if (result != QVX_OK) return result;
    core->Insert(core->logins, handle, login);
    *outHandle = handle;
    return QVX_OK;
}

int32_t QVX_SDK_Logout(QVX_HANDLE loginHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    std::shared_ptr<DeviceLogin> session;
    std::vector<std::shared_ptr<LiveStream>> streams;
    std::vector<std::shared_ptr<RecordedStream>> recorded;
    {
        std::lock_guard<std::mutex> lock(core->tableMutex);
        auto it = core->logins.find(loginHandle);
        if (it == core->logins.end()) return QVX_ERR_HANDLE;
        session = it->second;
        core->logins.erase(it);
        for (auto s = core->streams.begin(); s != core->streams.end();) {
            if (s->second->loginHandle() == loginHandle) {
                streams.push_back(s->second);
                s = core->streams.erase(s);
            } else {
                ++s;
            }
        }
        for (auto e = core->eventStreams.begin(); e != core->eventStreams.end();) {
            e = e->second == session ? core->eventStreams.erase(e) : std::next(e);
        }
        for (auto a = core->alarmChans.begin(); a != core->alarmChans.end();) {
            a = a->second.login == session ? core->alarmChans.erase(a) : std::next(a);
        }
        for (auto r = core->recorded.begin(); r != core->recorded.end();) {
            if (r->second->loginHandle() == loginHandle) {
                recorded.push_back(r->second);
                r = core->recorded.erase(r);
            } else {
                ++r;
            }
        }
        for (auto f = core->finds.begin(); f != core->finds.end();) {
            f = f->second->loginHandle() == loginHandle ? core->finds.erase(f) : std::next(f);
        }
    }
    // Streams and the event stream of a login end with it, their callbacks included; so do
    // its playbacks and downloads (a download's file keeps what arrived).
    for (auto& s : streams) s->Stop();
    for (auto& r : recorded) r->Stop();
    session->Close();
    return QVX_OK;
}

int32_t QVX_SDK_SetStreamUrl(QVX_HANDLE loginHandle, int32_t channel, int32_t streamType, const char* url) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!url || !ValidChannel(channel) || streamType < 0 || streamType > 1 || strnlen(url, 1024) >= 1024)
        return QVX_ERR_FAILED;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    return login->SetStreamUrl(channel, uint32_t(streamType), url);
}

int32_t QVX_SDK_SetStreamUrlCallBack(QVX_StreamUrlCallBack callback, void* context) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    core->SetStreamUrlCallback(callback, context);
    return QVX_OK;
}

int32_t QVX_SDK_SetRtspTransport(int32_t transport) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (transport != QVX_RTSP_TCP && transport != QVX_RTSP_UDP) return QVX_ERR_FAILED;
    core->settings.rtspTransport = transport;
    return QVX_OK;
}

int32_t QVX_SDK_RealPlay(QVX_HANDLE loginHandle, const uint32_t request[QVX_REQUEST_WORDS],
                         QVX_RealDataCallBack callback, intptr_t user, QVX_HANDLE* outHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!request || !callback || !outHandle) return QVX_ERR_FAILED;
    *outHandle = 0;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    StreamRequest r;
    r.channel = request[1];
    r.streamType = request[2];
    r.mode = request[4];
    if (!ValidChannel(int32_t(r.channel)) || r.streamType > 2 || (r.mode != 3 && r.mode != 1 && r.mode != 8))
        return QVX_ERR_FAILED;
    std::shared_ptr<LiveStream> stream;
    int32_t handle = core->NewHandle();
    int result = login->OpenStream(handle, r, callback, user, &stream);
    if (result != QVX_OK) return result;
    core->Insert(core->streams, handle, stream);
    *outHandle = handle;
    return QVX_OK;
}

int32_t QVX_SDK_RealPlayV3(QVX_HANDLE loginHandle, const uint32_t request[QVX_REQUEST_WORDS], void* window, void*,
                           QVX_EventCallBack callback, intptr_t user, QVX_HANDLE* outHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!request || !outHandle) return QVX_ERR_FAILED;
    *outHandle = 0;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    // Word 5 = 4 asks for the event stream; anything else is a stream the library draws.
    if (request[5] != 4) return OpenDrawnStream(*core, login, request, window, outHandle);
    if (!callback) return QVX_ERR_FAILED;
    int32_t handle = core->NewHandle();
    int result = login->StartEvents(handle, callback, user);
    if (result != QVX_OK) return result;
    core->Insert(core->eventStreams, handle, login);
    *outHandle = handle;
    return QVX_OK;
}

int32_t QVX_SDK_StopRealPlay(QVX_HANDLE streamHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (auto stream = core->Take(core->streams, streamHandle)) {
        stream->Stop();
        return QVX_OK;
    }
    auto eventLogin = core->Take(core->eventStreams, streamHandle);
    if (!eventLogin) return QVX_ERR_HANDLE;
    eventLogin->StopEvents();
    return QVX_OK;
}

int32_t QVX_SDK_SetupAlarmChan(QVX_HANDLE loginHandle, int32_t channel, QVX_HANDLE* outHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!outHandle || !ValidChannel(channel)) return QVX_ERR_FAILED;
    *outHandle = 0;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    int result = login->OpenAlarmChannel(channel);
    if (result != QVX_OK) return result;
    int32_t handle = core->NewHandle();
    core->Insert(core->alarmChans, handle, Core::AlarmChan{login, channel});
    *outHandle = handle;
    return QVX_OK;
}

int32_t QVX_SDK_CloseAlarmChan(QVX_HANDLE alarmHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    Core::AlarmChan chan = core->Take(core->alarmChans, alarmHandle);
    if (!chan.login) return QVX_ERR_HANDLE;
    return chan.login->CloseAlarmChannel(chan.channel);
}

int32_t QVX_SDK_GetConfig(QVX_HANDLE loginHandle, int32_t channel, uint32_t command, void* buffer, uint32_t length) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!buffer || !ValidChannel(channel)) return QVX_ERR_FAILED;
    int32_t size = QVX_SDK_ConfigSize(command);
    if (size == 0) return QVX_ERR_FAILED;
    if (uint32_t(size) != length) return QVX_ERR_SIZE;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    return login->GetConfig(channel, command, buffer, length);
}

int32_t QVX_SDK_SetConfig(QVX_HANDLE loginHandle, int32_t channel, uint32_t command, const void* buffer,
                          uint32_t length) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!buffer || !ValidChannel(channel)) return QVX_ERR_FAILED;
    int32_t size = QVX_SDK_ConfigSize(command);
    if (size == 0 || command == QVX_CMD_CHANNEL_STATUS || command == QVX_CMD_CAPABILITY) return QVX_ERR_FAILED;
    if (uint32_t(size) != length) return QVX_ERR_SIZE;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    return login->SetConfig(channel, command, buffer, length);
}

int32_t QVX_SDK_PTZControl(QVX_HANDLE loginHandle, int32_t channel, uint32_t command, uint32_t stop, uint32_t speed) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!ValidChannel(channel)) return QVX_ERR_FAILED;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    return login->PtzControl(channel, command, stop, speed);
}

int32_t QVX_SDK_PTZPreset(QVX_HANDLE loginHandle, int32_t channel, uint32_t command, uint32_t preset) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!ValidChannel(channel)) return QVX_ERR_FAILED;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    return login->PtzPreset(channel, command, preset);
}

int32_t QVX_SDK_Reboot(QVX_HANDLE loginHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    return login->Reboot();
}

int32_t QVX_SDK_CaptureJPEGPictureV2(QVX_HANDLE loginHandle, const uint32_t request[QVX_REQUEST_WORDS],
                                     uint8_t* buffer, uint32_t* inOutLength) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!request || !buffer || !inOutLength) return QVX_ERR_FAILED;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    return login->CaptureJpeg(request, buffer, inOutLength);
}

int32_t QVX_SDK_StartVoiceCom(QVX_HANDLE loginHandle, uint32_t, void*, void*, uint32_t mode, QVX_HANDLE* outHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!outHandle || mode > 1) return QVX_ERR_FAILED;
    *outHandle = 0;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    auto own = login->ownProtocol();
    if (!own) return QVX_ERR_DEVICE;  // talk is a feature of our own protocol only
    int32_t handle = core->NewHandle();
    auto talk = std::make_shared<TalkSession>(*core, handle, own->credentials(), mode);
    int result = talk->Open();
    if (result != QVX_OK) return result;
    core->Insert(core->talks, handle, talk);
    *outHandle = handle;
    return QVX_OK;
}

int32_t QVX_SDK_VoiceComSendData(QVX_HANDLE talkHandle, const uint8_t* data, uint32_t length) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    auto talk = core->Lookup(core->talks, talkHandle);
    if (!talk) return QVX_ERR_HANDLE;
    return talk->Send(data, length);
}

int32_t QVX_SDK_StopVoiceCom(QVX_HANDLE talkHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    auto talk = core->Take(core->talks, talkHandle);
    if (!talk) return QVX_ERR_HANDLE;
    talk->Stop();
    return QVX_OK;
}

int32_t QVX_SDK_SendCommand(QVX_HANDLE loginHandle, const char* request, uint32_t requestLength, char* reply,
                            uint32_t* inOutLength) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!reply || !inOutLength || *inOutLength == 0) return QVX_ERR_FAILED;
    std::string path = RequestPath(request, requestLength);
    if (!ValidCgiPath(path)) return QVX_ERR_FAILED;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    size_t cap = *inOutLength < kMaxCommandReplyBytes ? *inOutLength : kMaxCommandReplyBytes;
    HttpResult h;
    if (login->WebGet(path, cap, &h) != QVX_OK) return h.result;
    std::memcpy(reply, h.body.data(), h.body.size());
    if (h.body.size() < *inOutLength) reply[h.body.size()] = 0;
    *inOutLength = uint32_t(h.body.size());
    return QVX_OK;
}

int32_t QVX_SDK_QueryDataV2(QVX_HANDLE loginHandle, const char* request, uint32_t requestLength,
                            QVX_HANDLE* outQuery) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!outQuery) return QVX_ERR_FAILED;
    *outQuery = 0;
    std::string path = RequestPath(request, requestLength);
    if (!ValidCgiPath(path)) return QVX_ERR_FAILED;
    auto login = core->FindLogin(loginHandle);
    if (!login) return QVX_ERR_HANDLE;
    HttpResult h;
    if (login->WebGet(path, kMaxQueryReplyBytes, &h) != QVX_OK) return h.result;
    auto query = std::make_shared<QuerySession>();
    query->body = std::move(h.body);
    int32_t handle = core->NewHandle();
    core->Insert(core->queries, handle, query);
    *outQuery = handle;
    return QVX_OK;
}

int32_t QVX_SDK_QueryNextDataV2(QVX_HANDLE queryHandle, char* buffer, uint32_t* inOutLength) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    if (!buffer || !inOutLength || *inOutLength == 0) return QVX_ERR_FAILED;
    auto query = core->Lookup(core->queries, queryHandle);
    if (!query) return QVX_ERR_HANDLE;
    std::lock_guard<std::mutex> lock(query->mutex);
    const std::string& body = query->body;
    // Skip line ends between pages so every page starts with content.
    while (query->offset < body.size() && (body[query->offset] == '\r' || body[query->offset] == '\n')) {
        ++query->offset;
    }
    if (query->offset >= body.size()) return QVX_ERR_NO_ROOM;
    size_t room = *inOutLength < kQueryPageBytes ? *inOutLength : kQueryPageBytes;
    if (room > 1) --room;  // keep a byte for the terminator
    size_t lineEnd = body.find('\n', query->offset);
    if (lineEnd == std::string::npos) lineEnd = body.size();
    size_t n = lineEnd - query->offset;
    if (n > room) n = room;  // an overlong line comes in several pages
    std::memcpy(buffer, body.data() + query->offset, n);
    if (n < *inOutLength) buffer[n] = 0;
    query->offset += n;
    *inOutLength = uint32_t(n);
    return QVX_OK;
}

int32_t QVX_SDK_QueryCloseV2(QVX_HANDLE queryHandle) {
    auto core = Core::Get();
    if (!core) return QVX_ERR_NOT_INIT;
    return core->Take(core->queries, queryHandle) ? QVX_OK : QVX_ERR_HANDLE;
}

}  // extern "C"
