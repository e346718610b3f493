#pragma once
// The web port of a simulated device: the two CGI requests of temperature screening cameras,
// behind Digest (RFC 7616, qop "auth") or Basic authentication as the device is configured;
// with the ONVIF face on, also SOAP POSTs to /onvif/... (WS-UsernameToken, onvif_service.h) and
// snapshots at /onvif/snapshot?channel=N (behind the same HTTP authentication as the CGIs).
// CGI answers close the connection, as the cameras imitated do; ONVIF and snapshot answers keep
// it for the next request. A frozen device reads requests but answers none.
#include <asio.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/devsim/digest_server.h"

namespace ocv::devsim {

class SimDevice;
class OnvifService;
struct HttpRequestHead;

class WebServer : public std::enable_shared_from_this<WebServer> {
public:
    // onvif: the device's ONVIF face, nullptr without it.
    WebServer(asio::io_context& io, SimDevice& device, int tempIntervalSec, OnvifService* onvif);
    bool Listen(const std::string& address, int port, std::string* error);
    int port() const { return port_; }
    void Stop();

    struct Reply {
        int status = 200;
        std::string contentType = "text/html";
        std::string body;
        bool stale = false;      // a 401 for an outdated nonce
        bool keepAlive = false;  // the connection serves the next request
    };
    using ReplyDone = std::function<void(Reply)>;
    // Answers one request (exposed for tests): done runs once, maybe later, on an I/O thread.
    void Answer(const HttpRequestHead& request, const std::string& head, const std::string& body, ReplyDone done);

    enum class Auth { kMissing, kGood, kStale };
    // Checks the credentials of a request head for GET of target (the request-target as sent).
    Auth Authorize(const std::string& head, const std::string& target) const;
    // The WWW-Authenticate lines of a 401 reply (each ending in CR LF).
    std::string Challenges(bool stale) const;

private:
    void Accept();
    std::string Cgi(const std::string& path, int* status) const;
    std::string TemperatureLog(const std::string& query) const;
    DigestPolicy Policy() const;

    asio::io_context& io_;
    SimDevice& device_;
    int tempIntervalSec_;
    OnvifService* onvif_;
    asio::ip::tcp::acceptor acceptor_;
    int port_ = 0;
    DigestServer digest_;
    std::atomic<uint32_t> snapshots_{0};
};

// The generated reading of a screening camera at a time: the code of the temperature log
// (hundredths of a degree in bits 0..14, bit 15 set when abnormal).
int TemperatureCodeAt(int64_t time);

}  // namespace ocv::devsim
