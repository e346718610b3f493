#pragma once
// One live stream: its own TCP connection, delivery of the stream header and frame records to
// the application's callback, and automatic re-opening after a failure under the same handle.
#include <asio.hpp>

#include <atomic>
#include <memory>
#include <mutex>

#include "sdk/device_connection.h"
#include "sdk/device_driver.h"
#include "sdk/qvx_sdk.h"

namespace ocv::sdk {

class Core;

class StreamSession : public LiveStream, public std::enable_shared_from_this<StreamSession> {
public:
    StreamSession(Core& core, int32_t handle, int32_t loginHandle, Credentials credentials, StreamRequest request,
                  QVX_RealDataCallBack callback, intptr_t user);

    int Open();
    // Returns once no callback of this stream runs or will run.
    void Stop() override;

    int32_t handle() const override { return handle_; }
    int32_t loginHandle() const override { return loginHandle_; }

private:
    void Connect();
    void OnReady(const std::shared_ptr<DeviceConnection>& conn, int result);
    void OnMessage(const wire::MessageView& m);
    void OnLost();
    void ScheduleReconnect();
    void Deliver(int32_t kind, const uint8_t* data, size_t bytes);
    void Raise(int32_t type);
    void SettleOpen(int result);

    Core& core_;
    const int32_t handle_;
    const int32_t loginHandle_;
    const Credentials credentials_;
    const StreamRequest request_;
    const QVX_RealDataCallBack callback_;
    const intptr_t user_;

    // Held around every data callback; Stop takes it after setting stopped_, so once Stop
    // returns no callback is running. Recursive so the callback may stop its own stream.
    std::recursive_mutex deliverMutex_;
    std::atomic<bool> stopped_{false};

    std::mutex mutex_;
    std::shared_ptr<DeviceConnection> conn_;
    asio::steady_timer reconnectTimer_;
    bool everOpened_ = false;  // the first open succeeded: failures from now on reconnect
    bool restoring_ = false;   // re-opened; type 3 is raised with the first frame
    bool lost_ = false;
    bool closedByDevice_ = false;
    bool refused_ = false;  // a re-opening was refused for the credentials: no more tries
    std::mutex openMutex_;
    std::condition_variable openDone_;
    bool openSettled_ = false;
    int openResult_ = QVX_ERR_TIMEOUT;
};

}  // namespace ocv::sdk
