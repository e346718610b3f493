#pragma once
// The library's process-wide state between QVX_SDK_Init and QVX_SDK_Cleanup: one I/O context
// run by a small thread pool, the supervision timing, the handle tables and the callbacks the
// application registered.
#include <asio.hpp>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "sdk/device_connection.h"
#include "sdk/qvx_sdk.h"

namespace ocv::sdk {

class LoginSession;
class StreamSession;
class TalkSession;
struct QuerySession;
class FindSession;
class RecordedStream;
class DiscoverySession;

struct Settings {
    std::atomic<int> heartbeatIntervalMs{5000};
    std::atomic<int> silenceTimeoutMs{15000};
    std::atomic<int> reconnectIntervalMs{3000};
    std::atomic<int> requestTimeoutMs{5000};

    ConnectionTiming Timing(bool heartbeats) const {
        ConnectionTiming t;
        t.heartbeatIntervalMs = heartbeats ? heartbeatIntervalMs.load() : 0;
        t.silenceTimeoutMs = silenceTimeoutMs.load();
        t.handshakeTimeoutMs = requestTimeoutMs.load();
        return t;
    }
};

class Core {
public:
    Core();
    ~Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    // The running instance, or nullptr outside Init..Cleanup.
    static std::shared_ptr<Core> Get();
    static int Init();
    static int Cleanup();

    asio::io_context& io() { return io_; }
    Settings settings;

    int32_t NewHandle();

    void SetExceptionCallback(QVX_ExceptionCallBack callback, void* context);
    void RaiseException(int32_t type, int32_t loginHandle, int32_t streamHandle);

    void SetAudioOutput(const QVX_AudioOutput* output);
    bool AudioOutput(QVX_AudioOutput* out);

    // Handle tables; every lookup returns a shared pointer so a session outlives a racing close.
    std::mutex tableMutex;
    std::map<int32_t, std::shared_ptr<LoginSession>> logins;
    std::map<int32_t, std::shared_ptr<StreamSession>> streams;
    std::map<int32_t, std::shared_ptr<LoginSession>> eventStreams;
    struct AlarmChan {
        std::shared_ptr<LoginSession> login;
        int32_t channel;
    };
    std::map<int32_t, AlarmChan> alarmChans;
    std::map<int32_t, std::shared_ptr<TalkSession>> talks;
    std::map<int32_t, std::shared_ptr<QuerySession>> queries;
    std::map<int32_t, std::shared_ptr<FindSession>> finds;
    std::map<int32_t, std::shared_ptr<RecordedStream>> recorded;  // playbacks and downloads
    std::map<int32_t, std::shared_ptr<DiscoverySession>> discoveries;

    std::shared_ptr<LoginSession> FindLogin(int32_t handle);

private:
    void StopAll();

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::vector<std::thread> threads_;
    std::mutex callbackMutex_;
    QVX_ExceptionCallBack exceptionCallback_ = nullptr;
    void* exceptionContext_ = nullptr;
    bool hasAudioOutput_ = false;
    QVX_AudioOutput audioOutput_{};
};

// Maps a device result code of a reply to the library's result.
int DeviceResultToQvx(int32_t deviceResult);

}  // namespace ocv::sdk
