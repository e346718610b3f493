#pragma once
// The library's process-wide state between QVX_SDK_Init and QVX_SDK_Cleanup: one I/O context
// run by a small thread pool, the supervision timing, the handle tables and the callbacks the
// application registered.
#include <asio.hpp>

#include <atomic>
#include <map>
#include <string>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "sdk/device_connection.h"
#include "sdk/device_driver.h"
#include "sdk/qvx_sdk.h"

namespace ocv::sdk {

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
    std::atomic<int> rtspTransport{QVX_RTSP_TCP};

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

    void SetStreamUrlCallback(QVX_StreamUrlCallBack callback, void* context);
    // The application's stored URL of a channel's stream, "" when it has none.
    std::string StoredStreamUrl(const std::string& host, uint16_t port, int32_t channel, int32_t streamType);

    // Handle tables; every lookup returns a shared pointer so a session outlives a racing close.
    std::mutex tableMutex;
    std::map<int32_t, std::shared_ptr<DeviceLogin>> logins;
    std::map<int32_t, std::shared_ptr<LiveStream>> streams;
    std::map<int32_t, std::shared_ptr<DeviceLogin>> eventStreams;
    struct AlarmChan {
        std::shared_ptr<DeviceLogin> login;
        int32_t channel;
    };
    std::map<int32_t, AlarmChan> alarmChans;
    std::map<int32_t, std::shared_ptr<TalkSession>> talks;
    std::map<int32_t, std::shared_ptr<QuerySession>> queries;
    std::map<int32_t, std::shared_ptr<FindSession>> finds;
    std::map<int32_t, std::shared_ptr<RecordedStream>> recorded;  // playbacks and downloads
    std::map<int32_t, std::shared_ptr<DiscoverySession>> discoveries;

    // The entry of a handle table under the table lock; an empty value when there is none.
    template <class Table>
    typename Table::mapped_type Lookup(Table& table, int32_t handle) {
        std::lock_guard<std::mutex> lock(tableMutex);
        auto it = table.find(handle);
        return it == table.end() ? typename Table::mapped_type{} : it->second;
    }
    // Removes and returns the entry; an empty value when there is none.
    template <class Table>
    typename Table::mapped_type Take(Table& table, int32_t handle) {
        std::lock_guard<std::mutex> lock(tableMutex);
        auto it = table.find(handle);
        if (it == table.end()) return typename Table::mapped_type{};
        auto value = std::move(it->second);
        table.erase(it);
        return value;
    }
    template <class Table, class Value>
    void Insert(Table& table, int32_t handle, Value value) {
        std::lock_guard<std::mutex> lock(tableMutex);
        table[handle] = std::move(value);
    }

    std::shared_ptr<DeviceLogin> FindLogin(int32_t handle) { return Lookup(logins, handle); }

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
    QVX_StreamUrlCallBack streamUrlCallback_ = nullptr;
    void* streamUrlContext_ = nullptr;
};

// Maps a device result code of a reply to the library's result.
int DeviceResultToQvx(int32_t deviceResult);

}  // namespace ocv::sdk
