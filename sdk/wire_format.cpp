#include "sdk/wire_format.h"

#include <cstring>

#include "sdk/discovery_wire.h"
#include "sdk/wire_recorded.h"

namespace ocv::wire {

namespace {

// Largest configuration buffer any command uses (the channel status reply is 81,932 bytes).
constexpr uint32_t kMaxConfigBytes = 128 * 1024;
// A read request carries the head of the caller's buffer, where selectors such as the
// stream index of the quality record sit.
constexpr uint32_t kMaxConfigSelectorBytes = 64;

const char* ExactSize(size_t bytes, size_t want) { return bytes == want ? nullptr : "payload size wrong for its kind"; }

// Payloads of the form: fixed words, then a length word at lengthOffset, then that many bytes.
const char* LengthPrefixed(const uint8_t* p, size_t bytes, size_t lengthOffset, uint32_t maxLength) {
    if (bytes < lengthOffset + 4) return "payload too short";
    uint32_t length = GetU32(p + lengthOffset);
    if (length > maxLength) return "embedded length too large";
    if (bytes != lengthOffset + 4 + size_t(length)) return "embedded length disagrees with payload";
    return nullptr;
}

}  // namespace

void EncodeHeader(const Header& h, uint8_t out[kHeaderBytes]) {
    PutU32(out, h.magic);
    PutU16(out + 4, h.version);
    PutU16(out + 6, h.kind);
    PutU32(out + 8, h.sequence);
    PutU32(out + 12, h.payloadBytes);
}

const char* ValidatePayload(uint16_t kind, const uint8_t* p, size_t bytes) {
    switch (kind) {
    case kHello: return ExactSize(bytes, 8);
    case kChallenge: return ExactSize(bytes, kNonceBytes);
    case kAuth: return ExactSize(bytes, kUserBytes + kMacBytes);
    case kAuthReply:
        if (bytes == 4 || bytes == 4 + kDeviceInfoBytes) return nullptr;
        return "auth reply size wrong";
    case kHeartbeat:
    case kHeartbeatAck:
    case kReboot: return ExactSize(bytes, 0);
    case kGetConfig: return LengthPrefixed(p, bytes, 12, kMaxConfigSelectorBytes);
    case kSetConfig: return LengthPrefixed(p, bytes, 8, kMaxConfigBytes);
    case kConfigReply: return LengthPrefixed(p, bytes, 4, kMaxConfigBytes);
    case kResult:
    case kEventSubscribe:
    case kAlarmChanOpen:
    case kAlarmChanClose:
    case kStreamOpenReply:
    case kStreamEnd: return ExactSize(bytes, 4);
    case kPtzControl:
    case kStreamOpen: return ExactSize(bytes, 16);
    case kPtzPreset: return ExactSize(bytes, 12);
    case kCapture: return ExactSize(bytes, 56);
    case kCaptureReply: return LengthPrefixed(p, bytes, 4, kMaxPayloadBytes - 8);
    case kEvent: return LengthPrefixed(p, bytes, 16, kMaxEventTextBytes);
    case kStreamHeader: return ExactSize(bytes, kStreamInfoBytes);
    case kFrame: {
        if (bytes < kFrameHeaderBytes) return "frame shorter than its header";
        uint32_t frameKind = GetU32(p);
        uint32_t dataLength = GetU32(p + 4);
        if (frameKind != 1 && frameKind != 2) return "unknown frame kind";
        if (dataLength > kMaxFrameDataBytes) return "frame data too long";
        if (bytes != kFrameHeaderBytes + size_t(dataLength)) return "frame length disagrees with payload";
        return nullptr;
    }
    case kTalkOpen: return ExactSize(bytes, 8);
    case kFindFile:
    case kFindFileReply:
    case kPlaybackOpen:
    case kPlaybackOpenReply:
    case kPlaybackControl:
    case kPlaybackEnd:
    case kPlaybackSeeked:
    case kDownloadOpen:
    case kDownloadOpenReply:
    case kDownloadStart:
    case kDownloadEnd: return ValidateRecordedPayload(kind, p, bytes);
    case kSearchProbe:
    case kSearchAnswer:
    case kNetChallengeRequest:
    case kNetChallenge:
    case kNetConfig:
    case kNetConfigReply: return ValidateDiscoveryPayload(kind, p, bytes);
    case kTalkAudio: {
        const char* e = LengthPrefixed(p, bytes, 4, kMaxTalkAudioBytes);
        if (e) return e;
        return GetU32(p + 4) == 0 ? "empty talk audio" : nullptr;
    }
    default: return nullptr;  // kinds of later versions pass through opaque
    }
}

ParseResult ParseMessage(const uint8_t* data, size_t size, MessageView* out) {
    ParseResult r;
    // Check what is already there even before the header is complete, so garbage is refused
    // at its first bytes instead of after waiting for more.
    uint8_t magic[4];
    PutU32(magic, kMagic);
    for (size_t i = 0; i < size && i < 4; ++i) {
        if (data[i] != magic[i]) {
            r.status = ParseStatus::kError;
            r.error = "bad magic";
            return r;
        }
    }
    if (size < kHeaderBytes) return r;
    Header h;
    h.magic = GetU32(data);
    h.version = GetU16(data + 4);
    h.kind = GetU16(data + 6);
    h.sequence = GetU32(data + 8);
    h.payloadBytes = GetU32(data + 12);
    if (h.version != kProtocolVersion) {
        r.status = ParseStatus::kError;
        r.error = "unsupported protocol version";
        return r;
    }
    if (h.payloadBytes > kMaxPayloadBytes) {
        r.status = ParseStatus::kError;
        r.error = "payload length over the bound";
        return r;
    }
    if (size - kHeaderBytes < h.payloadBytes) return r;
    const uint8_t* payload = data + kHeaderBytes;
    if (const char* e = ValidatePayload(h.kind, payload, h.payloadBytes)) {
        r.status = ParseStatus::kError;
        r.error = e;
        return r;
    }
    r.status = ParseStatus::kComplete;
    r.consumed = kHeaderBytes + h.payloadBytes;
    if (out) {
        out->header = h;
        out->payload = payload;
        out->payloadBytes = h.payloadBytes;
    }
    return r;
}

std::vector<uint8_t> BuildMessage(uint16_t kind, uint32_t sequence, const void* payload, size_t bytes) {
    std::vector<uint8_t> m(kHeaderBytes + bytes);
    Header h;
    h.kind = kind;
    h.sequence = sequence;
    h.payloadBytes = uint32_t(bytes);
    EncodeHeader(h, m.data());
    if (bytes) std::memcpy(m.data() + kHeaderBytes, payload, bytes);
    return m;
}

PayloadWriter& PayloadWriter::FixedText(const std::string& text, size_t fieldBytes) {
    size_t n = text.size() < fieldBytes ? text.size() : fieldBytes - 1;
    size_t start = bytes_.size();
    bytes_.resize(start + fieldBytes, 0);
    std::memcpy(bytes_.data() + start, text.data(), n);
    return *this;
}

std::string ReadFixedText(const uint8_t* field, size_t fieldBytes) {
    const void* zero = std::memchr(field, 0, fieldBytes);
    if (!zero) return {};
    return std::string(reinterpret_cast<const char*>(field), static_cast<const uint8_t*>(zero) - field);
}

}  // namespace ocv::wire
