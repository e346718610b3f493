#pragma once
// One login: the control connection to a device, its heartbeats, requests with replies, the
// event stream and alarm channels, and background reconnection that keeps the handle valid.
#include <asio.hpp>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "sdk/device_connection.h"
#include "sdk/qvx_sdk.h"

namespace ocv::sdk {

class Core;

struct Reply {
    int result = QVX_ERR_TIMEOUT;  // QVX_* from the transport or the device's result word
    uint16_t kind = 0;
    std::vector<uint8_t> payload;
};

class LoginSession : public std::enable_shared_from_this<LoginSession> {
public:
    LoginSession(Core& core, int32_t handle, Credentials credentials);
    ~LoginSession();

    // First connection; fills the information block on success.
    int Connect(QVX_DEVICE_INFO* info);
    // Logout: no more callbacks or reconnections.
    void Close();

    // A request in flight; finished (under mutex) once its reply or a failure is in.
    struct Pending {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        uint32_t sequence = 0;
        Reply reply;
    };

    // Sends a request and waits for its reply within the request time-out.
    Reply Request(uint16_t kind, std::vector<uint8_t> payload);
    // Sends a request without waiting; nullptr when offline. A caller that gives up on the
    // reply calls Abandon so the entry does not wait for ever.
    std::shared_ptr<Pending> Submit(uint16_t kind, std::vector<uint8_t> payload);
    void Abandon(uint32_t sequence);

    int StartEvents(int32_t eventHandle, QVX_EventCallBack callback, intptr_t user);
    void StopEvents();
    int OpenAlarmChannel(int32_t channel);
    int CloseAlarmChannel(int32_t channel);

    int32_t handle() const { return handle_; }
    const Credentials& credentials() const { return credentials_; }
    uint32_t webPort() const { return webPort_; }

private:
    void Attach(std::shared_ptr<DeviceConnection> conn);
    void OnMessage(const wire::MessageView& m);
    void OnLost();
    void ScheduleReconnect();
    void TryReconnect();
    void OnReconnectRefused();
    void FailPending(int result);
    void Resubscribe();

    Core& core_;
    const int32_t handle_;
    const Credentials credentials_;
    uint32_t webPort_ = 0;

    std::mutex mutex_;
    std::shared_ptr<DeviceConnection> conn_;
    std::shared_ptr<DeviceConnection> attempt_;  // a reconnection not logged in yet
    bool online_ = false;
    bool closed_ = false;
    // The device refused the credentials on a reconnection. Trying again every few seconds
    // would lock the account on devices that count failed logins: the login stays down.
    bool refused_ = false;
    uint32_t nextSequence_ = 1;
    std::map<uint32_t, std::shared_ptr<Pending>> pending_;
    asio::steady_timer reconnectTimer_;
    std::set<int32_t> alarmChannels_;

    // Event delivery: taken around every event callback so StopEvents can promise none after it.
    std::recursive_mutex eventMutex_;
    QVX_EventCallBack eventCallback_ = nullptr;
    intptr_t eventUser_ = 0;
    int32_t eventHandle_ = 0;
};

}  // namespace ocv::sdk
