#include "sdk/login_session.h"

#include <cstring>
#include <future>

#include "sdk/sdk_core.h"
#include "sdk/wire_format.h"

namespace ocv::sdk {

LoginSession::LoginSession(Core& core, int32_t handle, Credentials credentials)
    : core_(core), handle_(handle), credentials_(std::move(credentials)), reconnectTimer_(core.io()) {}

LoginSession::~LoginSession() = default;

int LoginSession::Connect(QVX_DEVICE_INFO* info) {
    auto conn = std::make_shared<DeviceConnection>(core_.io(), core_.settings.Timing(true));
    auto promise = std::make_shared<std::promise<std::pair<int, std::vector<uint8_t>>>>();
    auto future = promise->get_future();
    std::weak_ptr<LoginSession> weak = weak_from_this();
    DeviceConnection::Handlers h;
    h.onReady = [promise](int result, const uint8_t* p, size_t n) {
        promise->set_value({result, std::vector<uint8_t>(p, p + n)});
    };
    h.onMessage = [weak](const wire::MessageView& m) {
        if (auto s = weak.lock()) s->OnMessage(m);
    };
    h.onClosed = [weak](int) {
        if (auto s = weak.lock()) s->OnLost();
    };
    conn->Start(credentials_, wire::kPurposeControl, std::move(h));
    // The connection's own handshake timer answers first; the margin only guards against a
    // stuck I/O thread.
    auto wait = std::chrono::milliseconds(core_.settings.requestTimeoutMs.load() + 2000);
    if (future.wait_for(wait) != std::future_status::ready) {
        conn->Close();
        return QVX_ERR_TIMEOUT;
    }
    auto [result, payload] = future.get();
    if (result != QVX_OK) return result;
    if (payload.size() != 4 + wire::kDeviceInfoBytes) {
        conn->Close();
        return QVX_ERR_PROTOCOL;
    }
    QVX_DEVICE_INFO parsed;
    std::memcpy(&parsed, payload.data() + 4, sizeof parsed);
    // Texts from the device must end inside their fields before anyone reads them as C strings.
    parsed.deviceType[sizeof parsed.deviceType - 1] = 0;
    parsed.deviceId[sizeof parsed.deviceId - 1] = 0;
    parsed.deviceName[sizeof parsed.deviceName - 1] = 0;
    parsed.macAddress[sizeof parsed.macAddress - 1] = 0;
    parsed.firmwareVersion[sizeof parsed.firmwareVersion - 1] = 0;
    if (parsed.channelCount < 1 || parsed.channelCount > 64) {
        conn->Close();
        return QVX_ERR_PROTOCOL;
    }
    webPort_ = parsed.webPort;
    if (info) *info = parsed;
    std::lock_guard<std::mutex> lock(mutex_);
    conn_ = conn;
    online_ = true;
    return QVX_OK;
}

void LoginSession::Close() {
    std::shared_ptr<DeviceConnection> conn, attempt;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        online_ = false;
        conn.swap(conn_);
        attempt.swap(attempt_);
        reconnectTimer_.cancel();
    }
    if (conn) conn->Close();
    // A reconnection under way would otherwise still log in after the logout.
    if (attempt) attempt->Close();
    FailPending(QVX_ERR_OFFLINE);
    StopEvents();
}

void LoginSession::OnMessage(const wire::MessageView& m) {
    if (m.header.kind == wire::kEvent) {
        const uint8_t* p = m.payload;
        int32_t channel = int32_t(wire::GetU32(p));
        int32_t type = int32_t(wire::GetU32(p + 4));
        int32_t state = int32_t(wire::GetU32(p + 8));
        int32_t length = int32_t(wire::GetU32(p + 16));
        std::lock_guard<std::recursive_mutex> lock(eventMutex_);
        if (eventCallback_) {
            eventCallback_(eventHandle_, channel, type, state, reinterpret_cast<const char*>(p + 20), length,
                           eventUser_);
        }
        return;
    }
    std::shared_ptr<Pending> pending;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = pending_.find(m.header.sequence);
        if (it == pending_.end()) return;  // a reply nobody waits for any more
        pending = it->second;
        pending_.erase(it);
    }
    std::lock_guard<std::mutex> lock(pending->mutex);
    pending->reply.kind = m.header.kind;
    pending->reply.payload.assign(m.payload, m.payload + m.payloadBytes);
    pending->reply.result = m.payloadBytes >= 4 ? DeviceResultToQvx(int32_t(wire::GetU32(m.payload))) : QVX_OK;
    pending->finished = true;
    pending->done.notify_all();
}

std::shared_ptr<LoginSession::Pending> LoginSession::Submit(uint16_t kind, std::vector<uint8_t> payload) {
    auto pending = std::make_shared<Pending>();
    std::shared_ptr<DeviceConnection> conn;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || !online_ || !conn_) return nullptr;
        pending->sequence = nextSequence_++;
        if (nextSequence_ == 0) nextSequence_ = 1;
        pending_[pending->sequence] = pending;
        conn = conn_;
    }
    conn->Send(kind, pending->sequence, std::move(payload));
    return pending;
}

void LoginSession::Abandon(uint32_t sequence) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.erase(sequence);
}

Reply LoginSession::Request(uint16_t kind, std::vector<uint8_t> payload) {
    auto pending = Submit(kind, std::move(payload));
    if (!pending) {
        Reply r;
        std::lock_guard<std::mutex> lock(mutex_);
        // A login the device refused for its password says so to every later request.
        r.result = refused_ ? QVX_ERR_PASSWORD : QVX_ERR_OFFLINE;
        return r;
    }
    std::unique_lock<std::mutex> lock(pending->mutex);
    bool done = pending->done.wait_for(lock, std::chrono::milliseconds(core_.settings.requestTimeoutMs.load()),
                                       [&] { return pending->finished; });
    if (!done) {
        lock.unlock();
        Abandon(pending->sequence);
        Reply r;
        r.result = QVX_ERR_TIMEOUT;
        return r;
    }
    return pending->reply;
}

void LoginSession::FailPending(int result) {
    std::map<uint32_t, std::shared_ptr<Pending>> failed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failed.swap(pending_);
    }
    for (auto& [seq, p] : failed) {
        std::lock_guard<std::mutex> lock(p->mutex);
        p->reply.result = result;
        p->finished = true;
        p->done.notify_all();
    }
}

void LoginSession::OnLost() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        online_ = false;
        conn_.reset();
    }
    FailPending(QVX_ERR_OFFLINE);
    core_.RaiseException(QVX_EXCEPTION_LOGIN_LOST, handle_, 0);
    ScheduleReconnect();
}

void LoginSession::ScheduleReconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || refused_) return;
    reconnectTimer_.expires_after(std::chrono::milliseconds(core_.settings.reconnectIntervalMs.load()));
    reconnectTimer_.async_wait([weak = weak_from_this()](const asio::error_code& ec) {
        auto s = weak.lock();
        if (!ec && s) s->TryReconnect();
    });
}

void LoginSession::TryReconnect() {
    auto conn = std::make_shared<DeviceConnection>(core_.io(), core_.settings.Timing(true));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || refused_) return;
        attempt_ = conn;
    }
    std::weak_ptr<LoginSession> weak = weak_from_this();
    DeviceConnection::Handlers h;
    h.onReady = [weak, conn](int result, const uint8_t*, size_t) {
        auto s = weak.lock();
        if (!s) {
            conn->Close();
            return;
        }
        {
            std::lock_guard<std::mutex> lock(s->mutex_);
            if (s->attempt_ == conn) s->attempt_.reset();
        }
        if (result == QVX_ERR_PASSWORD) return s->OnReconnectRefused();
        if (result != QVX_OK) return s->ScheduleReconnect();
        {
            std::lock_guard<std::mutex> lock(s->mutex_);
            if (s->closed_) {
                conn->Close();
                return;
            }
            s->conn_ = conn;
            s->online_ = true;
        }
        s->Resubscribe();
        s->core_.RaiseException(QVX_EXCEPTION_LOGIN_RESTORED, s->handle_, 0);
    };
    h.onMessage = [weak](const wire::MessageView& m) {
        if (auto s = weak.lock()) s->OnMessage(m);
    };
    h.onClosed = [weak](int) {
        if (auto s = weak.lock()) s->OnLost();
    };
    conn->Start(credentials_, wire::kPurposeControl, std::move(h));
}

void LoginSession::OnReconnectRefused() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || refused_) return;
        refused_ = true;
    }
    core_.RaiseException(QVX_EXCEPTION_LOGIN_REFUSED, handle_, 0);
}

// After a reconnection the device knows nothing of the old session: ask again for what the
// application had open. Replies carry sequence 0 and are not waited for.
void LoginSession::Resubscribe() {
    // Lock order is event lock before session lock (an event callback may stop its stream).
    bool wantEvents;
    {
        std::lock_guard<std::recursive_mutex> eventLock(eventMutex_);
        wantEvents = eventCallback_ != nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!conn_) return;
    if (wantEvents) conn_->Send(wire::kEventSubscribe, 0, wire::PayloadWriter().U32(1).bytes());
    for (int32_t channel : alarmChannels_) {
        conn_->Send(wire::kAlarmChanOpen, 0, wire::PayloadWriter().U32(uint32_t(channel)).bytes());
    }
}

int LoginSession::StartEvents(int32_t eventHandle, QVX_EventCallBack callback, intptr_t user) {
    {
        std::lock_guard<std::recursive_mutex> lock(eventMutex_);
        if (eventHandle_ != 0) return QVX_ERR_FAILED;  // one event stream per login
        eventHandle_ = eventHandle;
        eventCallback_ = callback;
        eventUser_ = user;
    }
    Reply r = Request(wire::kEventSubscribe, wire::PayloadWriter().U32(1).bytes());
    if (r.result != QVX_OK) {
        std::lock_guard<std::recursive_mutex> lock(eventMutex_);
        eventHandle_ = 0;
        eventCallback_ = nullptr;
    }
    return r.result;
}

void LoginSession::StopEvents() {
    bool had;
    {
        std::lock_guard<std::recursive_mutex> lock(eventMutex_);
        had = eventHandle_ != 0;
        eventHandle_ = 0;
        eventCallback_ = nullptr;
        eventUser_ = 0;
    }
    // Not waited for: the stop may come from an event callback, which runs on the strand
    // that would have to deliver the reply.
    std::lock_guard<std::mutex> lock(mutex_);
    if (had && online_ && !closed_ && conn_) conn_->Send(wire::kEventSubscribe, 0, wire::PayloadWriter().U32(0).bytes());
}

int LoginSession::OpenAlarmChannel(int32_t channel) {
    Reply r = Request(wire::kAlarmChanOpen, wire::PayloadWriter().U32(uint32_t(channel)).bytes());
    if (r.result == QVX_OK) {
        std::lock_guard<std::mutex> lock(mutex_);
        alarmChannels_.insert(channel);
    }
    return r.result;
}

int LoginSession::CloseAlarmChannel(int32_t channel) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        alarmChannels_.erase(channel);
    }
    Reply r = Request(wire::kAlarmChanClose, wire::PayloadWriter().U32(uint32_t(channel)).bytes());
    // Closing while the device is away still forgets the channel locally.
    return r.result == QVX_ERR_OFFLINE ? QVX_OK : r.result;
}

}  // namespace ocv::sdk
