#pragma once
// LAN discovery in the device protocol's own framing (UDP datagrams, kinds 0x04xx): the search
// probe and answer with the 260-byte found-device record, and the network-settings exchange
// (challenge, settings with an HMAC proof, reply). Shared by the library, the simulator and
// the fuzz target.
#include <cstddef>
#include <cstdint>
#include <string>

namespace ocv::wire {

constexpr uint16_t kDiscoveryPort = 37020;  // where devices listen for search probes
constexpr uint16_t kWsDiscoveryPort = 3702;
constexpr const char* kWsDiscoveryGroup = "239.255.255.250";
// Larger datagrams are no discovery traffic and are dropped unread.
constexpr size_t kMaxDiscoveryDatagram = 2048;

enum DiscoveryKind : uint16_t {
    kSearchProbe = 0x0400,          // u32 protocol, u32 reserved, 16-byte search id
    kSearchAnswer = 0x0401,         // 16-byte search id, 260-byte record
    kNetChallengeRequest = 0x0402,  // 40-byte device id field
    kNetChallenge = 0x0403,         // 40-byte device id field, 32-byte nonce
    kNetConfig = 0x0404,            // 260-byte record, 32-byte user field, 32-byte proof
    kNetConfigReply = 0x0405,       // 40-byte device id field, i32 result
};

constexpr size_t kSearchIdBytes = 16;
constexpr size_t kFoundRecordBytes = 260;
constexpr size_t kDeviceIdField = 40;
constexpr size_t kMaxDeviceIdChars = 36;

// Search protocols of QVX_SDK_SchInitEx.
enum SearchProtocol : uint32_t {
    kSearchAll = 0,       // every device of ours
    kSearchStorage = 5,   // recorders (NVR, DVR)
    kSearchDecoders = 6,  // decoders
    kSearchOnvif = 12,    // ONVIF devices through WS-Discovery
};

// The found-device record (QVX_FOUND_DEVICE). Texts are terminated inside their fields.
struct FoundDevice {
    uint32_t port = 0;          // 0: device port (ONVIF: the service address's port)
    std::string address;        // 4, 32
    std::string mask;           // 36, 16
    std::string gateway;        // 52, 16
    std::string dns1;           // 68, 16
    std::string dns2;           // 84, 16
    uint32_t channels = 0;      // 100
    uint32_t webPort = 0;       // 104
    uint32_t protocol = 0;      // 108: 0 ours, 12 ONVIF
    std::string deviceId;       // 116, 40: at most 36 characters, never empty
    std::string mac;            // 156, 20
    std::string firmware;       // 176, 40
    std::string type;           // 216, 12
    std::string servicePath;    // 228, 32: the ONVIF device service's path
};

void EncodeFoundDevice(const FoundDevice& d, uint8_t out[kFoundRecordBytes]);
// false when a text is not terminated inside its field or the device id is empty or too long.
bool DecodeFoundDevice(const uint8_t in[kFoundRecordBytes], FoundDevice* out);

// Proof of a network-settings request: HMAC-SHA256 keyed with the password over the nonce
// followed by the record, so the settings cannot be changed on the way.
void NetConfigProof(const std::string& password, const uint8_t nonce[32], const uint8_t record[kFoundRecordBytes],
                    uint8_t proof[32]);

// Payload checks of the discovery kinds (called by ValidatePayload). nullptr when good.
const char* ValidateDiscoveryPayload(uint16_t kind, const uint8_t* payload, size_t bytes);

// A datagram that is exactly one valid message of a discovery kind: its kind and payload.
bool ParseDiscoveryDatagram(const uint8_t* data, size_t size, uint16_t* kind, const uint8_t** payload,
                            size_t* payloadBytes, uint32_t* sequence);

}  // namespace ocv::wire
