#pragma once
// One LAN discovery: a UDP socket, search probes to the LAN (broadcast for our devices, the
// WS-Discovery group for ONVIF devices) and to addresses the caller adds, the answers as
// found-device records (each device once), and the network-settings exchange with a device
// that answered.
#include <asio.hpp>

#include <array>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/discovery_wire.h"
#include "sdk/qvx_sdk.h"

namespace ocv::sdk {

class Core;

class DiscoverySession : public std::enable_shared_from_this<DiscoverySession> {
public:
    DiscoverySession(Core& core, int timeoutMs, uint32_t protocol);
    ~DiscoverySession();

    // Opens the socket and starts receiving. QVX_OK or QVX_ERR_FAILED.
    int Open();
    void SetCallback(QVX_SchCallBack callback, void* user);
    int AddTarget(const std::string& host, uint16_t port);
    void SetLanSearch(bool on);
    // Probes, then collects answers for the time-out; copies up to bytes / 260 records.
    int Search(uint8_t* buffer, uint32_t bytes, int32_t* count);
    // Sends new network settings to the device the record names (by its id). QVX_OK,
    // QVX_SCH_REFUSED, or a failure (unknown device, no answer).
    int Command(const uint8_t* record, const std::string& user, const std::string& password);
    // Closes the socket; no callback runs once it returns.
    void Close();

private:
    struct Found {
        std::array<uint8_t, wire::kFoundRecordBytes> record;
        asio::ip::udp::endpoint source;
    };
    struct Exchange {
        uint32_t sequence = 0;
        std::string deviceId;
        asio::ip::udp::endpoint peer;  // answers count only from where the request went
        bool challenged = false;
        uint8_t nonce[32] = {};
        bool answered = false;
        int32_t result = 0;
    };

    void Receive();
    void OnDatagram(size_t bytes);
    void OnFound(const wire::FoundDevice& device, const uint8_t* record);
    void SendTo(std::vector<uint8_t> datagram, const asio::ip::udp::endpoint& to);
    std::vector<asio::ip::udp::endpoint> Destinations();

    Core& core_;
    const int timeoutMs_;
    const uint32_t protocol_;
    asio::strand<asio::io_context::executor_type> strand_;
    asio::ip::udp::socket socket_;
    std::array<uint8_t, 65536> rx_{};
    asio::ip::udp::endpoint from_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    bool lan_ = true;
    std::vector<asio::ip::udp::endpoint> targets_;
    uint8_t searchId_[wire::kSearchIdBytes] = {};
    std::string probeId_;  // message id of the WS-Discovery probe
    std::vector<Found> found_;
    std::map<std::string, size_t> byId_;
    Exchange exchange_;
    uint32_t nextSequence_ = 1;
    std::mutex commandMutex_;  // one settings exchange at a time

    // Held around the callback; Close takes it after closed_ is set.
    std::recursive_mutex deliverMutex_;
    QVX_SchCallBack callback_ = nullptr;
    void* user_ = nullptr;
};

}  // namespace ocv::sdk
