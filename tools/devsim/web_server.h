#pragma once
// The web port of a simulated device: the two CGI requests of temperature screening cameras,
// behind basic authentication.
#include <asio.hpp>

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

private:
    void Accept();
    std::string TemperatureLog(const std::string& query) const;

    asio::io_context& io_;
    SimDevice& device_;
    int tempIntervalSec_;
    asio::ip::tcp::acceptor acceptor_;
    int port_ = 0;
};

// The generated reading of a screening camera at a time: the code of the temperature log
// (hundredths of a degree in bits 0..14, bit 15 set when abnormal).
int TemperatureCodeAt(int64_t time);

}  // namespace ocv::devsim
