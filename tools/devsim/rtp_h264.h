#pragma once
// H.264 over RTP as the simulator's RTSP server sends it (RFC 6184, packetization mode 1):
// access units split into NAL units, each sent whole or in FU-A fragments; the SDP format
// parameters; and a clock stamp carried in an SEI message (user data unregistered), so that a
// measuring program on the same machine can tell when a picture left the server.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ocv::devsim::rtp {

constexpr size_t kRtpHeaderBytes = 12;
// Payload bytes per packet: with the RTP header and a 4-byte interleave prefix well within an
// Ethernet frame, as cameras send them.
constexpr size_t kMaxPayloadBytes = 1400;

struct NalUnit {
    const uint8_t* data = nullptr;  // from the NAL header on, without the start code
    size_t size = 0;
};
// The NAL units of an Annex-B access unit (3- and 4-byte start codes); empty units are skipped.
std::vector<NalUnit> SplitAnnexB(const uint8_t* data, size_t size);

// One RTP payload: a prefix of 0 or 2 bytes (the FU indicator and FU header) and a slice of the
// NAL unit.
struct Piece {
    uint8_t prefix[2] = {};
    size_t prefixBytes = 0;
    const uint8_t* body = nullptr;
    size_t bodyBytes = 0;
};
// A NAL unit of at most maxPayload bytes goes whole; a longer one in FU-A fragments whose
// payload (prefix and slice) is at most maxPayload bytes. Appends to out.
void Packetize(const NalUnit& nal, size_t maxPayload, std::vector<Piece>* out);

// The 12-byte RTP header (version 2, no padding, extension or CSRC).
void WriteRtpHeader(uint8_t* out, uint8_t payloadType, bool marker, uint16_t sequence, uint32_t timestamp,
                     uint32_t ssrc);

// "packetization-mode=1;profile-level-id=42c01e;sprop-parameter-sets=<SPS>,<PPS>" from the parameter
// sets of a key access unit. "" when it has no SPS and PPS.
std::string H264FormatParameters(const uint8_t* keyUnit, size_t size);

// An SEI NAL unit (without start code) carrying a 64-bit microsecond stamp of the monotonic clock.
std::vector<uint8_t> ClockStampSei(uint64_t monotonicUs);
// The stamp of such an SEI in an Annex-B access unit; false when it carries none.
bool FindClockStamp(const uint8_t* unit, size_t size, uint64_t* monotonicUs);

}  // namespace ocv::devsim::rtp
