#pragma once
// The web port of a simulated device: the two CGI requests of temperature screening cameras,
// behind Digest (RFC 7616, qop "auth") or Basic authentication as the device is configured.
#include <asio.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace ocv::devsim {

class SimDevice;

class WebServer : public std::enable_shared_from_this<WebServer> {
public:
    WebServer(asio::io_context& io, SimDevice& device, int tempIntervalSec);
    bool Listen(const std::string& address, int port, std::string* error);
    int port() const { return port_; }
    void Stop();

    // The reply body for a request path (exposed for tests); status 200 or 404.
    std::string Respond(const std::string& path, int* status) const;

    enum class Auth { kMissing, kGood, kStale };
    // Checks the credentials of a request head for GET of target (the request-target as sent).
    Auth Authorize(const std::string& head, const std::string& target) const;
    // The WWW-Authenticate lines of a 401 reply (each ending in CR LF).
    std::string Challenges(bool stale) const;

private:
    void Accept();
    std::string TemperatureLog(const std::string& query) const;
    // A nonce carries the second it was made and a MAC of it under this server's secret, so it
    // needs no table and cannot be forged; it is good for a few minutes.
    std::string MakeNonce() const;
    Auth CheckNonce(const std::string& nonce) const;
    Auth CheckDigest(const std::string& value, const std::string& target) const;
    bool Offers(const std::string& algorithm) const;

    asio::io_context& io_;
    SimDevice& device_;
    int tempIntervalSec_;
    asio::ip::tcp::acceptor acceptor_;
    int port_ = 0;
    uint8_t secret_[32] = {};
};

// The generated reading of a screening camera at a time: the code of the temperature log
// (hundredths of a degree in bits 0..14, bit 15 set when abnormal).
int TemperatureCodeAt(int64_t time);

}  // namespace ocv::devsim
