#pragma once
// Answers LAN discovery for every simulated device: search probes of the device protocol and
// WS-Discovery probes (as ONVIF devices would), each on a UDP socket of its own, and the
// network-settings exchange that moves a device to a new address or port.
#include <asio.hpp>

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sdk/discovery_wire.h"

namespace ocv::devsim {

class SimDevice;

class DiscoveryResponder : public std::enable_shared_from_this<DiscoveryResponder> {
public:
    DiscoveryResponder(asio::io_context& io, std::vector<std::shared_ptr<SimDevice>> devices);

    // Ports 0: any free port; -1: that kind of discovery is off. false with a message.
    bool Listen(const std::string& address, int port, int onvifPort, std::string* error);
    int port() const { return port_; }
    int onvifPort() const { return onvifPort_; }
    void Stop();

private:
    struct Socket {
        explicit Socket(asio::io_context& io) : socket(io) {}
        asio::ip::udp::socket socket;
        std::array<uint8_t, 65536> rx{};
        asio::ip::udp::endpoint from;
    };
    struct Challenge {
        uint8_t nonce[32];
        std::chrono::steady_clock::time_point expires;
    };

    bool Bind(Socket& s, const std::string& address, int port, int* bound, std::string* error);
    void Receive(Socket& s, bool onvif);
    void OnProbe(const uint8_t* payload, uint32_t sequence, const asio::ip::udp::endpoint& to);
    void OnChallengeRequest(const uint8_t* payload, uint32_t sequence, const asio::ip::udp::endpoint& to);
    void OnNetConfig(const uint8_t* payload, uint32_t sequence, const asio::ip::udp::endpoint& to);
    void OnOnvifProbe(const char* xml, size_t size, const asio::ip::udp::endpoint& to);
    void Reply(uint16_t kind, uint32_t sequence, const std::vector<uint8_t>& payload, const asio::ip::udp::endpoint& to);
    std::shared_ptr<SimDevice> DeviceById(const std::string& id) const;

    asio::strand<asio::io_context::executor_type> strand_;
    std::vector<std::shared_ptr<SimDevice>> devices_;
    Socket ours_, onvif_;
    int port_ = -1, onvifPort_ = -1;
    std::map<std::string, Challenge> challenges_;  // by device id, strand only
};

}  // namespace ocv::devsim
