#include "sdk/stream_session.h"

#include "sdk/sdk_core.h"
#include "sdk/wire_format.h"

namespace ocv::sdk {

StreamSession::StreamSession(Core& core, int32_t handle, int32_t loginHandle, Credentials credentials,
                             StreamRequest request, QVX_RealDataCallBack callback, intptr_t user)
    : core_(core),
      handle_(handle),
      loginHandle_(loginHandle),
      credentials_(std::move(credentials)),
      request_(request),
      callback_(callback),
      user_(user),
      reconnectTimer_(core.io()) {}

int StreamSession::Open() {
    Connect();
    std::unique_lock<std::mutex> lock(openMutex_);
    auto wait = std::chrono::milliseconds(2 * core_.settings.requestTimeoutMs.load() + 2000);
    if (!openDone_.wait_for(lock, wait, [this] { return openSettled_; })) {
        lock.unlock();
        Stop();
        return QVX_ERR_TIMEOUT;
    }
    int result = openResult_;
    lock.unlock();
    if (result != QVX_OK) Stop();
    return result;
}

void StreamSession::SettleOpen(int result) {
    std::lock_guard<std::mutex> lock(openMutex_);
    if (openSettled_) return;
    openSettled_ = true;
    openResult_ = result;
    openDone_.notify_all();
}

void StreamSession::Connect() {
    if (stopped_) return;
    auto conn = std::make_shared<DeviceConnection>(core_.io(), core_.settings.Timing(false));
    std::weak_ptr<StreamSession> weak = weak_from_this();
    DeviceConnection::Handlers h;
    h.onReady = [weak, conn](int result, const uint8_t*, size_t) {
        if (auto s = weak.lock()) {
            s->OnReady(conn, result);
        } else {
            conn->Close();
        }
    };
    h.onMessage = [weak](const wire::MessageView& m) {
        if (auto s = weak.lock()) s->OnMessage(m);
    };
    h.onClosed = [weak](int) {
        if (auto s = weak.lock()) s->OnLost();
    };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) return;
        conn_ = conn;
    }
    conn->Start(credentials_, wire::kPurposeLiveStream, std::move(h));
}

void StreamSession::OnReady(const std::shared_ptr<DeviceConnection>& conn, int result) {
    if (stopped_) return;
    if (result != QVX_OK) {
        bool reopen;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            reopen = everOpened_;
            // Retrying a refused password could lock the account on the device.
            if (reopen && result == QVX_ERR_PASSWORD) refused_ = true;
        }
        if (!reopen) return SettleOpen(result);
        if (result == QVX_ERR_PASSWORD) return Raise(QVX_EXCEPTION_LOGIN_REFUSED);
        return ScheduleReconnect();
    }
    conn->Send(wire::kStreamOpen, 1,
               wire::PayloadWriter().U32(request_.channel).U32(request_.streamType).U32(request_.mode).U32(0).bytes());
}

void StreamSession::OnMessage(const wire::MessageView& m) {
    switch (m.header.kind) {
    case wire::kStreamOpenReply: {
        int result = DeviceResultToQvx(int32_t(wire::GetU32(m.payload)));
        bool reopening;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            reopening = everOpened_;
            if (result == QVX_OK) {
                if (reopening) restoring_ = true;
                everOpened_ = true;
            }
        }
        if (!reopening) return SettleOpen(result);
        if (result != QVX_OK) {
            // The device refuses for now (channel switched off, busy): keep trying.
            std::shared_ptr<DeviceConnection> conn;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                conn.swap(conn_);
            }
            if (conn) conn->Close();
            ScheduleReconnect();
        }
        return;
    }
    case wire::kStreamHeader: return Deliver(QVX_DATA_STREAM_INFO, m.payload, m.payloadBytes);
    case wire::kFrame: {
        bool restored = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (restoring_) {
                restoring_ = false;
                lost_ = false;
                restored = true;
            }
        }
        if (restored) Raise(QVX_EXCEPTION_STREAM_RESTORED);
        return Deliver(QVX_DATA_FRAME, m.payload, m.payloadBytes);
    }
    case wire::kStreamEnd: {
        std::shared_ptr<DeviceConnection> conn;
        bool opened;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closedByDevice_ = true;
            opened = everOpened_;
            conn.swap(conn_);
        }
        if (conn) conn->Close();
        // Before the first open completed there is no handle yet to report on.
        if (!opened) return SettleOpen(QVX_ERR_DEVICE);
        SettleOpen(QVX_ERR_DEVICE);
        Raise(QVX_EXCEPTION_STREAM_CLOSED);
        return;
    }
    default: return;
    }
}

void StreamSession::OnLost() {
    bool report;
    bool opened;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        conn_.reset();
        opened = everOpened_;
        report = opened && !lost_ && !closedByDevice_;
        if (opened) lost_ = true;
        restoring_ = false;
    }
    if (!opened) return SettleOpen(QVX_ERR_CONNECT);
    if (report) Raise(QVX_EXCEPTION_STREAM_LOST);
    ScheduleReconnect();
}

void StreamSession::ScheduleReconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_ || closedByDevice_ || refused_) return;
    reconnectTimer_.expires_after(std::chrono::milliseconds(core_.settings.reconnectIntervalMs.load()));
    reconnectTimer_.async_wait([weak = weak_from_this()](const asio::error_code& ec) {
        auto s = weak.lock();
        if (!ec && s) s->Connect();
    });
}

void StreamSession::Deliver(int32_t kind, const uint8_t* data, size_t bytes) {
    std::lock_guard<std::recursive_mutex> lock(deliverMutex_);
    if (stopped_) return;
    callback_(handle_, kind, data, int32_t(bytes), user_);
}

void StreamSession::Raise(int32_t type) {
    if (stopped_) return;
    core_.RaiseException(type, loginHandle_, handle_);
}

void StreamSession::Stop() {
    std::shared_ptr<DeviceConnection> conn;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        conn.swap(conn_);
        reconnectTimer_.cancel();
    }
    if (conn) conn->Close();
    SettleOpen(QVX_ERR_FAILED);
    // Wait for a callback that is running right now; later ones see stopped_.
    std::lock_guard<std::recursive_mutex> lock(deliverMutex_);
}

}  // namespace ocv::sdk
