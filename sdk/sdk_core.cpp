#include "sdk/sdk_core.h"

#include <pthread.h>

#include <string>

#include "sdk/discovery_session.h"
#include "sdk/recorded_stream.h"
#include "sdk/remote_search.h"
#include "sdk/talk_session.h"
#include "sdk/wire_format.h"

namespace ocv::sdk {

namespace {
std::mutex gCoreMutex;
std::shared_ptr<Core> gCore;
// Process-wide, so a handle kept across Cleanup and Init never names a new object.
std::atomic<int32_t> gNextHandle{1};
}  // namespace

int DeviceResultToQvx(int32_t deviceResult) {
    switch (deviceResult) {
    case wire::kDeviceOk: return QVX_OK;
    case wire::kDeviceBadCredentials: return QVX_ERR_PASSWORD;
    case wire::kDeviceWrongSize: return QVX_ERR_SIZE;
    default: return QVX_ERR_DEVICE;
    }
}

Core::Core() : work_(asio::make_work_guard(io_)) {
    // A few threads serve every socket; callbacks run on them, so more than one keeps a slow
    // application callback from stalling all devices.
    unsigned n = std::thread::hardware_concurrency();
    n = n < 2 ? 2 : (n > 4 ? 4 : n);
    for (unsigned i = 0; i < n; ++i) {
        threads_.emplace_back([this, i] {
            std::string name = "qvx-io-" + std::to_string(i);
            pthread_setname_np(pthread_self(), name.c_str());
            io_.run();
        });
    }
}

Core::~Core() {
    work_.reset();
    io_.stop();
    for (auto& t : threads_) {
        // The last reference may go away inside a callback on one of our own threads.
        if (t.get_id() == std::this_thread::get_id()) {
            t.detach();
        } else if (t.joinable()) {
            t.join();
        }
    }
}

std::shared_ptr<Core> Core::Get() {
    std::lock_guard<std::mutex> lock(gCoreMutex);
    return gCore;
}

int Core::Init() {
    std::lock_guard<std::mutex> lock(gCoreMutex);
    if (!gCore) gCore = std::make_shared<Core>();
    return QVX_OK;
}

int Core::Cleanup() {
    std::shared_ptr<Core> core;
    {
        std::lock_guard<std::mutex> lock(gCoreMutex);
        core.swap(gCore);
    }
    if (!core) return QVX_ERR_NOT_INIT;
    core->StopAll();
    return QVX_OK;
}

void Core::StopAll() {
    std::map<int32_t, std::shared_ptr<DeviceLogin>> loginCopy;
    std::map<int32_t, std::shared_ptr<LiveStream>> streamCopy;
    std::map<int32_t, std::shared_ptr<TalkSession>> talkCopy;
    std::map<int32_t, std::shared_ptr<FindSession>> findCopy;
    std::map<int32_t, std::shared_ptr<RecordedStream>> recordedCopy;
    std::map<int32_t, std::shared_ptr<DiscoverySession>> discoveryCopy;
    {
        std::lock_guard<std::mutex> lock(tableMutex);
        loginCopy.swap(logins);
        streamCopy.swap(streams);
        talkCopy.swap(talks);
        findCopy.swap(finds);
        recordedCopy.swap(recorded);
        discoveryCopy.swap(discoveries);
        eventStreams.clear();
        alarmChans.clear();
        queries.clear();
    }
    for (auto& [h, s] : streamCopy) s->Stop();
    for (auto& [h, r] : recordedCopy) r->Stop();
    for (auto& [h, f] : findCopy) f->Close();
    for (auto& [h, d] : discoveryCopy) d->Close();
    for (auto& [h, t] : talkCopy) t->Stop();
    for (auto& [h, l] : loginCopy) l->Close();
}

int32_t Core::NewHandle() {
    int32_t h = gNextHandle.fetch_add(1);
    if (h <= 0) {  // after two billion handles start over rather than hand out 0 or negatives
        gNextHandle = 2;
        h = 1;
    }
    return h;
}

void Core::SetExceptionCallback(QVX_ExceptionCallBack callback, void* context) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    exceptionCallback_ = callback;
    exceptionContext_ = context;
}

void Core::RaiseException(int32_t type, int32_t loginHandle, int32_t streamHandle) {
    QVX_ExceptionCallBack cb;
    void* ctx;
    {
        std::lock_guard<std::mutex> lock(callbackMutex_);
        cb = exceptionCallback_;
        ctx = exceptionContext_;
    }
    if (cb) cb(type, loginHandle, streamHandle, ctx);
}

void Core::SetAudioOutput(const QVX_AudioOutput* output) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    hasAudioOutput_ = output != nullptr;
    if (output) audioOutput_ = *output;
}

bool Core::AudioOutput(QVX_AudioOutput* out) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    if (hasAudioOutput_) *out = audioOutput_;
    return hasAudioOutput_;
}

void Core::SetStreamUrlCallback(QVX_StreamUrlCallBack callback, void* context) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    streamUrlCallback_ = callback;
    streamUrlContext_ = context;
}

std::string Core::StoredStreamUrl(const std::string& host, uint16_t port, int32_t channel, int32_t streamType) {
    QVX_StreamUrlCallBack cb;
    void* ctx;
    {
        std::lock_guard<std::mutex> lock(callbackMutex_);
        cb = streamUrlCallback_;
        ctx = streamUrlContext_;
    }
    if (!cb) return {};
    char url[1024] = {};
    if (cb(host.c_str(), port, channel, streamType, url, sizeof url - 1, ctx) != 0) return {};
    url[sizeof url - 1] = 0;
    return url;
}

}  // namespace ocv::sdk
