#pragma once
// One TCP connection of the library to a device: connect, challenge-response login, then
// framed messages in both directions, supervised by a silence timer (and, for the control
// connection, heartbeats). All handlers run on the connection's strand; after Close() none runs.
#include <asio.hpp>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sdk/message_assembler.h"
#include "sdk/wire_format.h"

namespace ocv::sdk {

struct ConnectionTiming {
    int heartbeatIntervalMs = 0;  // 0: no heartbeats on this connection
    int silenceTimeoutMs = 15000;
    int handshakeTimeoutMs = 5000;
};

struct Credentials {
    std::string host;
    uint16_t port = 0;
    std::string user;
    std::string password;
};

class DeviceConnection : public std::enable_shared_from_this<DeviceConnection> {
public:
    struct Handlers {
        // Once: QVX_OK with the AuthReply payload, or the QVX_ERR_* of the failed attempt.
        std::function<void(int result, const uint8_t* authPayload, size_t bytes)> onReady;
        std::function<void(const wire::MessageView& message)> onMessage;
        // Once, after a successful onReady, when the connection fails (QVX_ERR_*).
        std::function<void(int reason)> onClosed;
    };

    DeviceConnection(asio::io_context& io, ConnectionTiming timing);
    ~DeviceConnection();

    void Start(const Credentials& credentials, uint32_t purpose, Handlers handlers);
    // Queues a message; dropped when the connection is closed.
    void Send(uint16_t kind, uint32_t sequence, std::vector<uint8_t> payload);
    // Ends the connection from any thread; handlers are not called any more once this returns
    // to a handler of this connection, or once the strand has run the close.
    void Close();

private:
    enum class Phase { kIdle, kConnecting, kChallenge, kAuthReply, kReady, kClosed };

    void OnResolved(const asio::error_code& ec, asio::ip::tcp::resolver::results_type results);
    void OnConnected(const asio::error_code& ec);
    void ReadMore();
    void OnRead(const asio::error_code& ec, size_t n);
    bool Dispatch(const wire::MessageView& m);  // false when the connection ended
    void Fail(int reason);
    void WriteNext();
    void ArmSilenceTimer();
    void ArmHeartbeat();
    void Shutdown();

    asio::strand<asio::io_context::executor_type> strand_;
    asio::ip::tcp::resolver resolver_;
    asio::ip::tcp::socket socket_;
    asio::steady_timer handshakeTimer_;
    asio::steady_timer silenceTimer_;
    asio::steady_timer heartbeatTimer_;
    ConnectionTiming timing_;
    Credentials credentials_;
    uint32_t purpose_ = 0;
    Handlers handlers_;
    Phase phase_ = Phase::kIdle;
    wire::MessageAssembler assembler_;
    std::deque<std::vector<uint8_t>> writeQueue_;
    bool writing_ = false;
    std::chrono::steady_clock::time_point lastReceive_;
};

}  // namespace ocv::sdk
