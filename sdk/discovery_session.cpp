#include "sdk/discovery_session.h"

#include <cstring>

#include "sdk/sdk_core.h"
#include "sdk/wire_auth.h"
#include "sdk/wire_format.h"
#include "sdk/ws_discovery.h"

namespace ocv::sdk {

using asio::ip::udp;

namespace {
constexpr int kRepeatAfterMs = 300;  // one repeat of the probe, as datagrams get lost
}

DiscoverySession::DiscoverySession(Core& core, int timeoutMs, uint32_t protocol)
    : core_(core),
      timeoutMs_(timeoutMs),
      protocol_(protocol),
      strand_(asio::make_strand(core.io())),
      socket_(strand_) {}

DiscoverySession::~DiscoverySession() = default;

int DiscoverySession::Open() {
    asio::error_code ec;
    socket_.open(udp::v4(), ec);
    if (!ec) socket_.set_option(asio::socket_base::broadcast(true), ec);
    if (!ec) socket_.bind(udp::endpoint(asio::ip::address_v4::any(), 0), ec);
    if (ec) return QVX_ERR_FAILED;
    asio::post(strand_, [self = shared_from_this()] { self->Receive(); });
    return QVX_OK;
}

void DiscoverySession::SetCallback(QVX_SchCallBack callback, void* user) {
    std::lock_guard<std::recursive_mutex> lock(deliverMutex_);
    callback_ = callback;
    user_ = user;
}

int DiscoverySession::AddTarget(const std::string& host, uint16_t port) {
    asio::error_code ec;
    auto address = asio::ip::make_address_v4(host, ec);
    if (ec || address.is_unspecified()) return QVX_ERR_FAILED;
    if (port == 0) port = protocol_ == wire::kSearchOnvif ? wire::kWsDiscoveryPort : wire::kDiscoveryPort;
    std::lock_guard<std::mutex> lock(mutex_);
    if (targets_.size() >= 256) return QVX_ERR_NO_ROOM;
    targets_.emplace_back(address, port);
    return QVX_OK;
}

void DiscoverySession::SetLanSearch(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    lan_ = on;
}

std::vector<udp::endpoint> DiscoverySession::Destinations() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<udp::endpoint> out = targets_;
    if (lan_) {
        if (protocol_ == wire::kSearchOnvif) {
            out.emplace_back(asio::ip::make_address_v4(wire::kWsDiscoveryGroup), wire::kWsDiscoveryPort);
        } else {
            out.emplace_back(asio::ip::address_v4::broadcast(), wire::kDiscoveryPort);
        }
    }
    return out;
}

void DiscoverySession::SendTo(std::vector<uint8_t> datagram, const udp::endpoint& to) {
    asio::post(strand_, [self = shared_from_this(), datagram = std::move(datagram), to] {
        asio::error_code ignored;  // an unreachable network is no reason to stop the others
        if (self->socket_.is_open()) self->socket_.send_to(asio::buffer(datagram), to, 0, ignored);
    });
}

int DiscoverySession::Search(uint8_t* buffer, uint32_t bytes, int32_t* count) {
    std::vector<uint8_t> probe;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return QVX_ERR_FAILED;
        found_.clear();
        byId_.clear();
        uint8_t random[wire::kNonceBytes];
        if (wire::RandomNonce(random) != 0) return QVX_ERR_FAILED;
        std::memcpy(searchId_, random, sizeof searchId_);
        probeId_ = "urn:uuid:" + wire::NewUuid();
        if (protocol_ == wire::kSearchOnvif) {
            std::string xml = wire::BuildProbe(probeId_);
            probe.assign(xml.begin(), xml.end());
        } else {
            auto payload = wire::PayloadWriter().U32(protocol_).U32(0).Bytes(searchId_, sizeof searchId_).bytes();
            probe = wire::BuildMessage(wire::kSearchProbe, 0, payload.data(), payload.size());
        }
    }
    auto destinations = Destinations();
    for (const auto& d : destinations) SendTo(probe, d);
    auto start = std::chrono::steady_clock::now();
    auto deadline = start + std::chrono::milliseconds(timeoutMs_);
    auto repeatAt = start + std::chrono::milliseconds(std::min(kRepeatAfterMs, timeoutMs_ / 3));
    bool repeated = false;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!closed_) {
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        if (!repeated && now >= repeatAt) {
            repeated = true;
            lock.unlock();
            for (const auto& d : destinations) SendTo(probe, d);
            lock.lock();
            continue;
        }
        changed_.wait_until(lock, repeated ? deadline : repeatAt);
    }
    size_t room = bytes / wire::kFoundRecordBytes;
    size_t n = std::min(room, found_.size());
    for (size_t i = 0; i < n; ++i) {
        std::memcpy(buffer + i * wire::kFoundRecordBytes, found_[i].record.data(), wire::kFoundRecordBytes);
    }
    *count = int32_t(n);
    return QVX_OK;
}

void DiscoverySession::Receive() {
    socket_.async_receive_from(asio::buffer(rx_), from_,
                               asio::bind_executor(strand_, [self = shared_from_this()](const asio::error_code& ec, size_t n) {
                                   if (ec == asio::error::operation_aborted || !self->socket_.is_open()) return;
                                   if (!ec) self->OnDatagram(n);
                                   self->Receive();
                               }));
}

void DiscoverySession::OnDatagram(size_t bytes) {
    if (protocol_ == wire::kSearchOnvif) {
        std::string probeId;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            probeId = probeId_;
        }
        std::vector<wire::ProbeMatch> matches;
        if (probeId.empty() || !wire::ParseProbeMatches(reinterpret_cast<const char*>(rx_.data()), bytes, probeId, &matches))
            return;
        for (const auto& m : matches) {
            wire::FoundDevice d;
            if (!wire::FoundDeviceFromMatch(m, &d)) continue;
            uint8_t record[wire::kFoundRecordBytes];
            wire::EncodeFoundDevice(d, record);
            OnFound(d, record);
        }
        return;
    }
    uint16_t kind = 0;
    const uint8_t* p = nullptr;
    size_t payloadBytes = 0;
    uint32_t sequence = 0;
    if (!wire::ParseDiscoveryDatagram(rx_.data(), bytes, &kind, &p, &payloadBytes, &sequence)) return;
    switch (kind) {
    case wire::kSearchAnswer: {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (std::memcmp(p, searchId_, sizeof searchId_) != 0) return;  // an earlier search's answer
        }
        wire::FoundDevice d;
        if (wire::DecodeFoundDevice(p + wire::kSearchIdBytes, &d)) OnFound(d, p + wire::kSearchIdBytes);
        return;
    }
    case wire::kNetChallenge:
    case wire::kNetConfigReply: {
        std::lock_guard<std::mutex> lock(mutex_);
        Exchange& x = exchange_;
        if (x.sequence == 0 || sequence != x.sequence || from_ != x.peer ||
            wire::ReadFixedText(p, wire::kDeviceIdField) != x.deviceId) {
            return;
        }
        if (kind == wire::kNetChallenge && !x.challenged) {
            std::memcpy(x.nonce, p + wire::kDeviceIdField, sizeof x.nonce);
            x.challenged = true;
        } else if (kind == wire::kNetConfigReply && x.challenged && !x.answered) {
            x.result = int32_t(wire::GetU32(p + wire::kDeviceIdField));
            x.answered = true;
        }
        changed_.notify_all();
        return;
    }
    default: return;  // probes of other clients, and kinds of later versions
    }
}

void DiscoverySession::OnFound(const wire::FoundDevice& device, const uint8_t* record) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        auto it = byId_.find(device.deviceId);
        if (it != byId_.end()) {
            // Reported again (the probe went out twice, or by several ways): the first report
            // is the device's entry; settings go to where it answered last.
            found_[it->second].source = from_;
            return;
        }
        if (found_.size() >= 4096) return;
        Found f;
        std::memcpy(f.record.data(), record, wire::kFoundRecordBytes);
        f.source = from_;
        byId_[device.deviceId] = found_.size();
        found_.push_back(f);
        changed_.notify_all();
    }
    std::lock_guard<std::recursive_mutex> deliver(deliverMutex_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
    }
    if (callback_) callback_(record, int32_t(wire::kFoundRecordBytes), user_);
}

int DiscoverySession::Command(const uint8_t* record, const std::string& user, const std::string& password) {
    std::lock_guard<std::mutex> one(commandMutex_);
    wire::FoundDevice d;
    if (!wire::DecodeFoundDevice(record, &d) || user.size() >= wire::kUserBytes) return QVX_ERR_FAILED;
    if (protocol_ == wire::kSearchOnvif || d.protocol != wire::kSearchAll) return QVX_ERR_FAILED;
    udp::endpoint to;
    uint32_t sequence;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = byId_.find(d.deviceId);
        if (closed_ || it == byId_.end()) return QVX_ERR_FAILED;
        to = found_[it->second].source;
        sequence = nextSequence_++;
        exchange_ = Exchange{};
        exchange_.sequence = sequence;
        exchange_.deviceId = d.deviceId;
        exchange_.peer = to;
    }
    auto id = wire::PayloadWriter().FixedText(d.deviceId, wire::kDeviceIdField).bytes();
    SendTo(wire::BuildMessage(wire::kNetChallengeRequest, sequence, id.data(), id.size()), to);
    auto wait = [&](bool Exchange::*flag) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs_),
                                 [&] { return closed_ || exchange_.*flag; }) &&
               !closed_;
    };
    if (!wait(&Exchange::challenged)) return QVX_ERR_TIMEOUT;
    uint8_t nonce[32];
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::memcpy(nonce, exchange_.nonce, sizeof nonce);
    }
    uint8_t proof[32];
    wire::NetConfigProof(password, nonce, record, proof);
    auto payload = wire::PayloadWriter()
                       .Bytes(record, wire::kFoundRecordBytes)
                       .FixedText(user, wire::kUserBytes)
                       .Bytes(proof, sizeof proof)
                       .bytes();
    SendTo(wire::BuildMessage(wire::kNetConfig, sequence, payload.data(), payload.size()), to);
    if (!wait(&Exchange::answered)) return QVX_ERR_TIMEOUT;
    std::lock_guard<std::mutex> lock(mutex_);
    return exchange_.result == wire::kDeviceOk ? QVX_OK : QVX_SCH_REFUSED;
}

void DiscoverySession::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        closed_ = true;
        changed_.notify_all();
    }
    asio::post(strand_, [self = shared_from_this()] {
        asio::error_code ignored;
        self->socket_.close(ignored);
    });
    // A callback under way finishes first; later ones see closed_.
    std::lock_guard<std::recursive_mutex> deliver(deliverMutex_);
}

}  // namespace ocv::sdk
