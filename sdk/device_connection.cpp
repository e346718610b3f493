#include "sdk/device_connection.h"

#include <cstring>

#include "sdk/qvx_sdk.h"
#include "sdk/wire_auth.h"

namespace ocv::sdk {

DeviceConnection::DeviceConnection(asio::io_context& io, ConnectionTiming timing)
    : strand_(asio::make_strand(io)),
      resolver_(strand_),
      socket_(strand_),
      handshakeTimer_(strand_),
      silenceTimer_(strand_),
      heartbeatTimer_(strand_),
      timing_(timing) {}

DeviceConnection::~DeviceConnection() = default;

void DeviceConnection::Start(const Credentials& credentials, uint32_t purpose, Handlers handlers) {
    asio::post(strand_, [self = shared_from_this(), credentials, purpose, handlers = std::move(handlers)]() mutable {
        if (self->phase_ != Phase::kIdle) return;
        self->credentials_ = credentials;
        self->purpose_ = purpose;
        self->handlers_ = std::move(handlers);
        self->phase_ = Phase::kConnecting;
        self->handshakeTimer_.expires_after(std::chrono::milliseconds(self->timing_.handshakeTimeoutMs));
        self->handshakeTimer_.async_wait([w = std::weak_ptr<DeviceConnection>(self)](const asio::error_code& ec) {
            auto s = w.lock();
            if (!ec && s && s->phase_ != Phase::kReady && s->phase_ != Phase::kClosed) s->Fail(QVX_ERR_TIMEOUT);
        });
        self->resolver_.async_resolve(
            credentials.host, std::to_string(credentials.port),
            asio::ip::resolver_base::numeric_service,
            [self](const asio::error_code& ec, asio::ip::tcp::resolver::results_type r) { self->OnResolved(ec, r); });
    });
}

void DeviceConnection::OnResolved(const asio::error_code& ec, asio::ip::tcp::resolver::results_type results) {
    if (phase_ != Phase::kConnecting) return;
    if (ec) return Fail(QVX_ERR_CONNECT);
    asio::async_connect(socket_, results,
                        [self = shared_from_this()](const asio::error_code& e, const asio::ip::tcp::endpoint&) {
                            self->OnConnected(e);
                        });
}

void DeviceConnection::OnConnected(const asio::error_code& ec) {
    if (phase_ != Phase::kConnecting) return;
    if (ec) return Fail(QVX_ERR_CONNECT);
    asio::error_code ignored;
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
    phase_ = Phase::kChallenge;
    Send(wire::kHello, 0, wire::PayloadWriter().U32(purpose_).U32(0).bytes());
    ReadMore();
}

void DeviceConnection::ReadMore() {
    auto space = assembler_.Space();
    socket_.async_read_some(asio::buffer(space.first, space.second),
                            [self = shared_from_this()](const asio::error_code& ec, size_t n) { self->OnRead(ec, n); });
}

void DeviceConnection::OnRead(const asio::error_code& ec, size_t n) {
    if (phase_ == Phase::kClosed || phase_ == Phase::kIdle) return;
    if (ec) return Fail(QVX_ERR_CONNECT);
    assembler_.Commit(n);
    lastReceive_ = std::chrono::steady_clock::now();
    for (;;) {
        wire::MessageView m;
        wire::ParseResult r = assembler_.Next(&m);
        if (r.status == wire::ParseStatus::kNeedMore) break;
        if (r.status == wire::ParseStatus::kError) return Fail(QVX_ERR_PROTOCOL);
        if (!Dispatch(m)) return;
    }
    ReadMore();
}

bool DeviceConnection::Dispatch(const wire::MessageView& m) {
    switch (phase_) {
    case Phase::kChallenge: {
        if (m.header.kind != wire::kChallenge) {
            Fail(QVX_ERR_PROTOCOL);
            return false;
        }
        uint8_t mac[wire::kMacBytes];
        wire::ComputeAuthMac(credentials_.password, m.payload, mac);
        auto payload = wire::PayloadWriter().FixedText(credentials_.user, wire::kUserBytes).Bytes(mac, sizeof mac).bytes();
        Send(wire::kAuth, 0, payload);
        phase_ = Phase::kAuthReply;
        return true;
    }
    case Phase::kAuthReply: {
        if (m.header.kind != wire::kAuthReply) {
            Fail(QVX_ERR_PROTOCOL);
            return false;
        }
        int32_t result = int32_t(wire::GetU32(m.payload));
        if (result != wire::kDeviceOk) {
            Fail(result == wire::kDeviceBadCredentials ? QVX_ERR_PASSWORD : QVX_ERR_DEVICE);
            return false;
        }
        handshakeTimer_.cancel();
        phase_ = Phase::kReady;
        lastReceive_ = std::chrono::steady_clock::now();
        ArmSilenceTimer();
        ArmHeartbeat();
        auto onReady = std::move(handlers_.onReady);
        handlers_.onReady = nullptr;
        if (onReady) onReady(QVX_OK, m.payload, m.payloadBytes);
        return phase_ == Phase::kReady;
    }
    case Phase::kReady:
        if (m.header.kind == wire::kHeartbeatAck) return true;
        if (handlers_.onMessage) handlers_.onMessage(m);
        return phase_ == Phase::kReady;
    default: return false;
    }
}

void DeviceConnection::Fail(int reason) {
    Phase was = phase_;
    Shutdown();
    if (was == Phase::kReady) {
        auto onClosed = std::move(handlers_.onClosed);
        handlers_ = {};
        if (onClosed) onClosed(reason);
    } else if (was != Phase::kClosed && was != Phase::kIdle) {
        auto onReady = std::move(handlers_.onReady);
        handlers_ = {};
        if (onReady) onReady(reason, nullptr, 0);
    }
}

void DeviceConnection::Shutdown() {
    phase_ = Phase::kClosed;
    asio::error_code ignored;
    resolver_.cancel();
    handshakeTimer_.cancel();
    silenceTimer_.cancel();
    heartbeatTimer_.cancel();
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    writeQueue_.clear();
}

void DeviceConnection::Close() {
    auto self = shared_from_this();
    if (strand_.running_in_this_thread()) {
        Shutdown();
        handlers_ = {};
        return;
    }
    asio::post(strand_, [self] {
        self->Shutdown();
        self->handlers_ = {};
    });
}

void DeviceConnection::Send(uint16_t kind, uint32_t sequence, std::vector<uint8_t> payload) {
    auto message = wire::BuildMessage(kind, sequence, payload.data(), payload.size());
    auto push = [self = shared_from_this(), message = std::move(message)]() mutable {
        if (self->phase_ == Phase::kClosed || self->phase_ == Phase::kIdle) return;
        self->writeQueue_.push_back(std::move(message));
        if (!self->writing_) self->WriteNext();
    };
    if (strand_.running_in_this_thread()) {
        push();
    } else {
        asio::post(strand_, std::move(push));
    }
}

void DeviceConnection::WriteNext() {
    if (writeQueue_.empty() || phase_ == Phase::kClosed) {
        writing_ = false;
        return;
    }
    writing_ = true;
    asio::async_write(socket_, asio::buffer(writeQueue_.front()),
                      [self = shared_from_this()](const asio::error_code& ec, size_t) {
                          self->writing_ = false;
                          if (self->phase_ == Phase::kClosed) return;
                          if (ec) return self->Fail(QVX_ERR_CONNECT);
                          self->writeQueue_.pop_front();
                          self->WriteNext();
                      });
}

// A periodic check of the last receive time instead of re-arming a timer per read: a stream
// delivers hundreds of reads a second.
void DeviceConnection::ArmSilenceTimer() {
    int checkMs = timing_.silenceTimeoutMs / 4;
    if (checkMs < 20) checkMs = 20;
    silenceTimer_.expires_after(std::chrono::milliseconds(checkMs));
    silenceTimer_.async_wait([w = weak_from_this()](const asio::error_code& ec) {
        auto s = w.lock();
        if (ec || !s || s->phase_ != Phase::kReady) return;
        auto silent = std::chrono::steady_clock::now() - s->lastReceive_;
        if (silent >= std::chrono::milliseconds(s->timing_.silenceTimeoutMs)) return s->Fail(QVX_ERR_TIMEOUT);
        s->ArmSilenceTimer();
    });
}

void DeviceConnection::ArmHeartbeat() {
    if (timing_.heartbeatIntervalMs <= 0) return;
    heartbeatTimer_.expires_after(std::chrono::milliseconds(timing_.heartbeatIntervalMs));
    heartbeatTimer_.async_wait([w = weak_from_this()](const asio::error_code& ec) {
        auto s = w.lock();
        if (ec || !s || s->phase_ != Phase::kReady) return;
        s->Send(wire::kHeartbeat, 0, {});
        s->ArmHeartbeat();
    });
}

}  // namespace ocv::sdk
