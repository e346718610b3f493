#include "tools/devsim/discovery_responder.h"

#include <cstdio>
#include <cstring>

#include "sdk/wire_auth.h"
#include "sdk/wire_format.h"
#include "sdk/ws_discovery.h"
#include "tools/devsim/sim_device.h"

namespace ocv::devsim {

using asio::ip::udp;
using namespace ocv::wire;

namespace {

constexpr auto kChallengeLife = std::chrono::seconds(10);

// Which devices answer a probe of that protocol.
bool Answers(uint32_t protocol, const std::string& type) {
    switch (protocol) {
    case kSearchAll: return true;
    case kSearchStorage: return type == "NVR" || type == "DVR";
    case kSearchDecoders: return type == "DECODER";
    default: return false;
    }
}

uint64_t Fnv1a(const std::string& s) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// Scopes are space-separated URIs: a space inside a value is written %20.
std::string ScopeValue(const std::string& text) {
    std::string out;
    for (char c : text) out += c == ' ' ? std::string("%20") : std::string(1, c);
    return out;
}

bool IsIpv4(const std::string& text) {
    asio::error_code ec;
    asio::ip::make_address_v4(text, ec);
    return !ec;
}

}  // namespace

DiscoveryResponder::DiscoveryResponder(asio::io_context& io, std::vector<std::shared_ptr<SimDevice>> devices)
    : strand_(asio::make_strand(io)), devices_(std::move(devices)), ours_(io), onvif_(io) {}

bool DiscoveryResponder::Bind(Socket& s, const std::string& address, int port, int* bound, std::string* error) {
    asio::error_code ec;
    auto a = asio::ip::make_address_v4(address, ec);
    if (!ec) s.socket.open(udp::v4(), ec);
    if (!ec) s.socket.bind(udp::endpoint(a, uint16_t(port)), ec);
    if (ec) {
        *error = "discovery: cannot bind " + address + ":" + std::to_string(port) + ": " + ec.message();
        return false;
    }
    *bound = s.socket.local_endpoint().port();
    return true;
}

bool DiscoveryResponder::Listen(const std::string& address, int port, int onvifPort, std::string* error) {
    if (port >= 0) {
        if (!Bind(ours_, address, port, &port_, error)) return false;
        asio::post(strand_, [self = shared_from_this()] { self->Receive(self->ours_, false); });
    }
    if (onvifPort >= 0) {
        if (!Bind(onvif_, address, onvifPort, &onvifPort_, error)) return false;
        asio::post(strand_, [self = shared_from_this()] { self->Receive(self->onvif_, true); });
    }
    return true;
}

void DiscoveryResponder::Stop() {
    asio::post(strand_, [self = shared_from_this()] {
        asio::error_code ignored;
        self->ours_.socket.close(ignored);
        self->onvif_.socket.close(ignored);
    });
}

void DiscoveryResponder::Receive(Socket& s, bool onvif) {
    s.socket.async_receive_from(
        asio::buffer(s.rx), s.from,
        asio::bind_executor(strand_, [self = shared_from_this(), &s, onvif](const asio::error_code& ec, size_t n) {
            if (ec == asio::error::operation_aborted || !s.socket.is_open()) return;
            if (!ec && onvif) {
                self->OnOnvifProbe(reinterpret_cast<const char*>(s.rx.data()), n, s.from);
            } else if (!ec) {
                uint16_t kind;
                const uint8_t* p;
                size_t bytes;
                uint32_t sequence;
                // Anything malformed, truncated or oversized is dropped without an answer.
                if (ParseDiscoveryDatagram(s.rx.data(), n, &kind, &p, &bytes, &sequence)) {
                    if (kind == kSearchProbe) self->OnProbe(p, sequence, s.from);
                    if (kind == kNetChallengeRequest) self->OnChallengeRequest(p, sequence, s.from);
                    if (kind == kNetConfig) self->OnNetConfig(p, sequence, s.from);
                }
            }
            self->Receive(s, onvif);
        }));
}

void DiscoveryResponder::Reply(uint16_t kind, uint32_t sequence, const std::vector<uint8_t>& payload,
                               const udp::endpoint& to) {
    auto datagram = BuildMessage(kind, sequence, payload.data(), payload.size());
    asio::error_code ignored;
    ours_.socket.send_to(asio::buffer(datagram), to, 0, ignored);
}

std::shared_ptr<SimDevice> DiscoveryResponder::DeviceById(const std::string& id) const {
    for (const auto& d : devices_) {
        if (d->config().deviceId == id) return d;
    }
    return nullptr;
}

void DiscoveryResponder::OnProbe(const uint8_t* p, uint32_t sequence, const udp::endpoint& to) {
    uint32_t protocol = GetU32(p);
    for (const auto& d : devices_) {
        if (!Answers(protocol, d->config().type)) continue;
        NetSettings n = d->Network();
        FoundDevice f;
        f.port = uint32_t(n.port);
        f.address = n.address;
        f.mask = n.mask;
        f.gateway = n.gateway;
        f.dns1 = n.dns1;
        f.dns2 = n.dns2;
        f.channels = uint32_t(d->config().channels);
        f.webPort = uint32_t(d->webPort());
        f.protocol = kSearchAll;
        f.deviceId = d->config().deviceId.substr(0, kMaxDeviceIdChars);
        f.mac = d->Mac();
        f.firmware = d->config().firmware;
        f.type = d->config().type;
        std::vector<uint8_t> payload(kSearchIdBytes + kFoundRecordBytes);
        std::memcpy(payload.data(), p + 8, kSearchIdBytes);
        EncodeFoundDevice(f, payload.data() + kSearchIdBytes);
        Reply(kSearchAnswer, sequence, payload, to);
    }
}

void DiscoveryResponder::OnChallengeRequest(const uint8_t* p, uint32_t sequence, const udp::endpoint& to) {
    std::string id = ReadFixedText(p, kDeviceIdField);
    if (!DeviceById(id)) return;
    Challenge c;
    uint8_t nonce[kNonceBytes];
    if (RandomNonce(nonce) != 0) return;
    std::memcpy(c.nonce, nonce, sizeof c.nonce);
    c.expires = std::chrono::steady_clock::now() + kChallengeLife;
    challenges_[id] = c;  // a new challenge replaces the device's previous one
    Reply(kNetChallenge, sequence, PayloadWriter().FixedText(id, kDeviceIdField).Bytes(c.nonce, 32).bytes(), to);
}

void DiscoveryResponder::OnNetConfig(const uint8_t* p, uint32_t sequence, const udp::endpoint& to) {
    FoundDevice f;
    if (!DecodeFoundDevice(p, &f)) return;
    auto device = DeviceById(f.deviceId);
    if (!device) return;
    auto reply = [self = shared_from_this(), id = f.deviceId, sequence, to](int32_t result) {
        asio::post(self->strand_, [self, id, sequence, to, result] {
            self->Reply(kNetConfigReply, sequence, PayloadWriter().FixedText(id, kDeviceIdField).I32(result).bytes(), to);
        });
    };
    auto it = challenges_.find(f.deviceId);
    bool fresh = it != challenges_.end() && std::chrono::steady_clock::now() < it->second.expires;
    uint8_t expected[32];
    if (fresh) NetConfigProof(device->config().password, it->second.nonce, p, expected);
    std::string user = ReadFixedText(p + kFoundRecordBytes, kUserBytes);
    bool good = fresh && user == device->config().user && MacEqual(expected, p + kFoundRecordBytes + kUserBytes);
    if (it != challenges_.end()) challenges_.erase(it);  // a challenge proves one request
    if (!good) {
        device->Log("network settings refused: wrong user or password");
        return reply(kDeviceBadCredentials);
    }
    if (!IsIpv4(f.mask) || !IsIpv4(f.gateway) || !IsIpv4(f.dns1) || !IsIpv4(f.dns2)) return reply(kDeviceRefused);
    NetSettings n{f.address, f.mask, f.gateway, f.dns1, f.dns2, int(f.port)};
    device->ApplyNetwork(n, reply);
}

void DiscoveryResponder::OnOnvifProbe(const char* xml, size_t size, const udp::endpoint& to) {
    ProbeRequest probe;
    if (!ParseProbe(xml, size, &probe)) return;
    // Types "" asks for any device; otherwise only video transmitters answer.
    if (!probe.types.empty() && probe.types.find("NetworkVideoTransmitter") == std::string::npos &&
        probe.types.find("Device") == std::string::npos) {
        return;
    }
    for (const auto& d : devices_) {
        NetSettings n = d->Network();
        ProbeMatch m;
        // A stable endpoint reference per device: its id in the UUID's last group.
        char uuid[64];
        std::snprintf(uuid, sizeof uuid, "urn:uuid:6f637676-0000-4000-8000-%012llx",
                      static_cast<unsigned long long>(Fnv1a(d->config().deviceId) & 0xFFFFFFFFFFFFull));
        m.endpoint = uuid;
        m.types = "dn:NetworkVideoTransmitter tds:Device";
        m.scopes = "onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/hardware/" +
                   ScopeValue(d->config().type) + " onvif://www.onvif.org/name/" + ScopeValue(d->config().name);
        m.xaddrs = "http://" + n.address + ":" + std::to_string(d->webPort()) + "/onvif/device_service";
        std::string answer = BuildProbeMatches("urn:uuid:" + NewUuid(), probe.messageId, {m});
        asio::error_code ignored;
        onvif_.socket.send_to(asio::buffer(answer), to, 0, ignored);
    }
}

}  // namespace ocv::devsim
