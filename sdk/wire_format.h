#pragma once
// The device protocol's framing: every message is a 16-byte little-endian header followed by
// a payload of bounded length. ParseMessage is the single entry point for bytes that came off
// the network; the library, the simulator and the fuzz target all go through it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ocv::wire {

constexpr uint32_t kMagic = 0x50585651;  // "QVXP" as it appears on the wire
constexpr uint16_t kProtocolVersion = 1;
constexpr size_t kHeaderBytes = 16;
// A frame record (16-byte frame header + at most 0xFFFF0 bytes) fills exactly 1 MiB, the
// largest payload any message may carry.
constexpr uint32_t kMaxPayloadBytes = 0x100000;

// Message kinds. Ranges are reserved per purpose so later features slot in without
// renumbering: 0x01xx file search, 0x02xx remote playback, 0x03xx download by time,
// 0x04xx LAN discovery (UDP), 0x05xx reserved (the thermal picture is a StreamOpen with mode 8).
enum Kind : uint16_t {
    kHello = 0x0001,
    kChallenge = 0x0002,
    kAuth = 0x0003,
    kAuthReply = 0x0004,
    kHeartbeat = 0x0010,
    kHeartbeatAck = 0x0011,
    kGetConfig = 0x0020,
    kConfigReply = 0x0021,
    kSetConfig = 0x0022,
    kResult = 0x0023,
    kPtzControl = 0x0030,
    kPtzPreset = 0x0031,
    kReboot = 0x0032,
    kCapture = 0x0033,
    kCaptureReply = 0x0034,
    kEventSubscribe = 0x0040,
    kEvent = 0x0041,
    kAlarmChanOpen = 0x0042,
    kAlarmChanClose = 0x0043,
    kStreamOpen = 0x0050,
    kStreamOpenReply = 0x0051,
    kStreamHeader = 0x0052,
    kFrame = 0x0053,
    kStreamEnd = 0x0054,
    kTalkOpen = 0x0060,
    kTalkAudio = 0x0061,
    // Recordings on the device (sdk/wire_recorded.h has the record layouts).
    kFindFile = 0x0100,
    kFindFileReply = 0x0101,
    kPlaybackOpen = 0x0200,
    kPlaybackOpenReply = 0x0201,
    kPlaybackControl = 0x0202,
    kPlaybackEnd = 0x0203,
    kPlaybackSeeked = 0x0204,
    kDownloadOpen = 0x0300,
    kDownloadOpenReply = 0x0301,
    kDownloadStart = 0x0302,
    kDownloadEnd = 0x0303,
};

// What a connection is for, sent in Hello. Searches travel on the control connection.
enum Purpose : uint32_t {
    kPurposeControl = 1,
    kPurposeLiveStream = 2,
    kPurposeTalk = 3,
    kPurposePlayback = 4,  // one recording file, paced like a live stream
    kPurposeDownload = 5,  // a time span of recordings, as fast as the client reads
};

// Results carried in AuthReply, Result and the other reply messages.
enum DeviceResult : int32_t {
    kDeviceOk = 0,
    kDeviceBadCredentials = 1,
    kDeviceRefused = 2,       // unknown command, bad channel, channel off, busy
    kDeviceWrongSize = 3,     // configuration buffer of the wrong length
    kDeviceUnsupported = 4,   // purpose or command not offered by this device
};

constexpr size_t kNonceBytes = 32;
constexpr size_t kMacBytes = 32;
constexpr size_t kUserBytes = 32;
constexpr size_t kDeviceInfoBytes = 512;
constexpr size_t kStreamInfoBytes = 28;
constexpr size_t kFrameHeaderBytes = 16;
constexpr uint32_t kMaxFrameDataBytes = 0xFFFF0;
constexpr uint32_t kMaxEventTextBytes = 1024;
constexpr uint32_t kMaxTalkAudioBytes = 8192;

struct Header {
    uint32_t magic = kMagic;
    uint16_t version = kProtocolVersion;
    uint16_t kind = 0;
    uint32_t sequence = 0;  // request number echoed by the reply; 0 for unsolicited messages
    uint32_t payloadBytes = 0;
};

// A complete message inside a caller's buffer (payload points into it).
struct MessageView {
    Header header;
    const uint8_t* payload = nullptr;
    size_t payloadBytes = 0;
};

enum class ParseStatus { kNeedMore, kComplete, kError };

struct ParseResult {
    ParseStatus status = ParseStatus::kNeedMore;
    size_t consumed = 0;        // bytes of this message when complete
    const char* error = nullptr;  // static text when status is kError
};

// Looks at the start of data: a complete, well-formed message, a prefix of one (kNeedMore,
// with no allocation whatever the announced length) or bytes that cannot be one (kError:
// wrong magic or version, oversized length, or a payload invalid for its kind).
ParseResult ParseMessage(const uint8_t* data, size_t size, MessageView* out);

// Checks the payload of a known kind against that kind's layout (exact sizes, embedded
// length fields, text termination). Unknown kinds are accepted as opaque. nullptr when good.
const char* ValidatePayload(uint16_t kind, const uint8_t* payload, size_t bytes);

// ---- little-endian helpers ----
inline uint32_t GetU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline void PutU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void EncodeHeader(const Header& h, uint8_t out[kHeaderBytes]);

// Builds a whole message (header + payload) in one byte string.
std::vector<uint8_t> BuildMessage(uint16_t kind, uint32_t sequence, const void* payload, size_t bytes);

// Appends 32-bit little-endian words to a payload under construction.
class PayloadWriter {
public:
    PayloadWriter& U32(uint32_t v) {
        uint8_t b[4];
        PutU32(b, v);
        bytes_.insert(bytes_.end(), b, b + 4);
        return *this;
    }
    PayloadWriter& I32(int32_t v) { return U32(uint32_t(v)); }
    PayloadWriter& Bytes(const void* p, size_t n) {
        auto* c = static_cast<const uint8_t*>(p);
        bytes_.insert(bytes_.end(), c, c + n);
        return *this;
    }
    // A text in a fixed-size zero-padded field, always terminated.
    PayloadWriter& FixedText(const std::string& text, size_t fieldBytes);
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Reads a fixed-size text field: up to the first zero byte; "" when not terminated.
std::string ReadFixedText(const uint8_t* field, size_t fieldBytes);

}  // namespace ocv::wire
