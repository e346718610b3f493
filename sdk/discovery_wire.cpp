#include "sdk/discovery_wire.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstring>

#include "sdk/wire_format.h"

namespace ocv::wire {

namespace {

struct TextField {
    size_t offset, bytes;
};
constexpr TextField kAddress{4, 32}, kMask{36, 16}, kGateway{52, 16}, kDns1{68, 16}, kDns2{84, 16},
    kId{116, kDeviceIdField}, kMac{156, 20}, kFirmware{176, 40}, kType{216, 12}, kPath{228, 32};

void Put(uint8_t* record, TextField f, const std::string& text) {
    size_t n = text.size() < f.bytes ? text.size() : f.bytes - 1;
    std::memcpy(record + f.offset, text.data(), n);
}

bool Get(const uint8_t* record, TextField f, std::string* out) {
    if (!std::memchr(record + f.offset, 0, f.bytes)) return false;
    *out = ReadFixedText(record + f.offset, f.bytes);
    return true;
}

bool ValidId(const uint8_t* field) {
    const void* zero = std::memchr(field, 0, kDeviceIdField);
    if (!zero) return false;
    size_t n = size_t(static_cast<const uint8_t*>(zero) - field);
    return n > 0 && n <= kMaxDeviceIdChars;
}

const char* Exact(size_t bytes, size_t want) { return bytes == want ? nullptr : "payload size wrong for its kind"; }

}  // namespace

void EncodeFoundDevice(const FoundDevice& d, uint8_t out[kFoundRecordBytes]) {
    std::memset(out, 0, kFoundRecordBytes);
    PutU32(out, d.port);
    Put(out, kAddress, d.address);
    Put(out, kMask, d.mask);
    Put(out, kGateway, d.gateway);
    Put(out, kDns1, d.dns1);
    Put(out, kDns2, d.dns2);
    PutU32(out + 100, d.channels);
    PutU32(out + 104, d.webPort);
    PutU32(out + 108, d.protocol);
    Put(out, kId, d.deviceId.substr(0, kMaxDeviceIdChars));
    Put(out, kMac, d.mac);
    Put(out, kFirmware, d.firmware);
    Put(out, kType, d.type);
    Put(out, kPath, d.servicePath);
}

bool DecodeFoundDevice(const uint8_t in[kFoundRecordBytes], FoundDevice* out) {
    FoundDevice d;
    d.port = GetU32(in);
    d.channels = GetU32(in + 100);
    d.webPort = GetU32(in + 104);
    d.protocol = GetU32(in + 108);
    bool ok = Get(in, kAddress, &d.address) && Get(in, kMask, &d.mask) && Get(in, kGateway, &d.gateway) &&
              Get(in, kDns1, &d.dns1) && Get(in, kDns2, &d.dns2) && Get(in, kId, &d.deviceId) &&
              Get(in, kMac, &d.mac) && Get(in, kFirmware, &d.firmware) && Get(in, kType, &d.type) &&
              Get(in, kPath, &d.servicePath);
    if (!ok || d.deviceId.empty() || d.deviceId.size() > kMaxDeviceIdChars) return false;
    if (out) *out = std::move(d);
    return true;
}

void NetConfigProof(const std::string& password, const uint8_t nonce[32], const uint8_t record[kFoundRecordBytes],
                    uint8_t proof[32]) {
    uint8_t message[32 + kFoundRecordBytes];
    std::memcpy(message, nonce, 32);
    std::memcpy(message + 32, record, kFoundRecordBytes);
    unsigned int n = 32;
    HMAC(EVP_sha256(), password.data(), int(password.size()), message, sizeof message, proof, &n);
}

const char* ValidateDiscoveryPayload(uint16_t kind, const uint8_t* p, size_t bytes) {
    switch (kind) {
    case kSearchProbe: return Exact(bytes, 8 + kSearchIdBytes);
    case kSearchAnswer:
        if (bytes != kSearchIdBytes + kFoundRecordBytes) return "payload size wrong for its kind";
        return DecodeFoundDevice(p + kSearchIdBytes, nullptr) ? nullptr : "malformed found-device record";
    case kNetChallengeRequest:
        if (bytes != kDeviceIdField) return "payload size wrong for its kind";
        return ValidId(p) ? nullptr : "bad device id";
    case kNetChallenge:
        if (bytes != kDeviceIdField + 32) return "payload size wrong for its kind";
        return ValidId(p) ? nullptr : "bad device id";
    case kNetConfig:
        if (bytes != kFoundRecordBytes + 32 + 32) return "payload size wrong for its kind";
        if (!DecodeFoundDevice(p, nullptr)) return "malformed found-device record";
        return std::memchr(p + kFoundRecordBytes, 0, 32) ? nullptr : "user name not terminated";
    case kNetConfigReply:
        if (bytes != kDeviceIdField + 4) return "payload size wrong for its kind";
        return ValidId(p) ? nullptr : "bad device id";
    default: return nullptr;
    }
}

bool ParseDiscoveryDatagram(const uint8_t* data, size_t size, uint16_t* kind, const uint8_t** payload,
                            size_t* payloadBytes, uint32_t* sequence) {
    if (size > kMaxDiscoveryDatagram) return false;
    MessageView m;
    ParseResult r = ParseMessage(data, size, &m);
    // One whole message per datagram; a truncated one is as good as none.
    if (r.status != ParseStatus::kComplete || r.consumed != size) return false;
    if ((m.header.kind & 0xFF00) != 0x0400) return false;
    *kind = m.header.kind;
    *payload = m.payload;
    *payloadBytes = m.payloadBytes;
    *sequence = m.header.sequence;
    return true;
}

}  // namespace ocv::wire
