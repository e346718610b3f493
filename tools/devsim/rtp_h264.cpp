#include "tools/devsim/rtp_h264.h"

#include <cstdio>
#include <cstring>

#include "sdk/onvif_soap.h"

namespace ocv::devsim::rtp {

namespace {

constexpr uint8_t kNalSei = 6;
constexpr uint8_t kNalSps = 7;
constexpr uint8_t kNalPps = 8;
constexpr uint8_t kNalFuA = 28;
constexpr uint8_t kSeiUserDataUnregistered = 5;
// Names the stamp among other user data: fixed, drawn once for this purpose.
constexpr uint8_t kStampUuid[16] = {0x6f, 0x63, 0x75, 0x76, 0x2d, 0x63, 0x6c, 0x6b,
                                    0x9b, 0x1e, 0x4a, 0x27, 0xd3, 0x58, 0xc0, 0x11};
constexpr size_t kStampPayloadBytes = sizeof kStampUuid + 8;

// The emulation prevention bytes a NAL unit's payload needs (00 00 0x, x <= 3, gets an 03).
std::vector<uint8_t> Escape(const std::vector<uint8_t>& rbsp) {
    std::vector<uint8_t> out;
    int zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

std::vector<uint8_t> Unescape(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    out.reserve(size);
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        if (zeros >= 2 && data[i] == 3) {
            zeros = 0;
            continue;
        }
        out.push_back(data[i]);
        zeros = data[i] == 0 ? zeros + 1 : 0;
    }
    return out;
}

}  // namespace

std::vector<NalUnit> SplitAnnexB(const uint8_t* data, size_t size) {
    std::vector<NalUnit> out;
    size_t i = 0, start = SIZE_MAX;
    while (i + 3 <= size) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (start != SIZE_MAX) {
                size_t end = i;
                while (end > start && data[end - 1] == 0) --end;  // a 4-byte start code's zero
                if (end > start) out.push_back({data + start, end - start});
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start != SIZE_MAX && start < size) out.push_back({data + start, size - start});
    return out;
}

void Packetize(const NalUnit& nal, size_t maxPayload, std::vector<Piece>* out) {
    if (nal.size == 0 || maxPayload < 3) return;
    if (nal.size <= maxPayload) {
        Piece p;
        p.body = nal.data;
        p.bodyBytes = nal.size;
        out->push_back(p);
        return;
    }
    const uint8_t header = nal.data[0];
    const uint8_t indicator = uint8_t((header & 0xE0) | kNalFuA);  // F and NRI of the unit
    const uint8_t type = header & 0x1F;
    size_t at = 1;  // the NAL header travels in the FU header
    const size_t chunk = maxPayload - 2;
    while (at < nal.size) {
        size_t n = nal.size - at < chunk ? nal.size - at : chunk;
        Piece p;
        p.prefix[0] = indicator;
        p.prefix[1] = uint8_t(type | (at == 1 ? 0x80 : 0) | (at + n == nal.size ? 0x40 : 0));
        p.prefixBytes = 2;
        p.body = nal.data + at;
        p.bodyBytes = n;
        out->push_back(p);
        at += n;
    }
}

void WriteRtpHeader(uint8_t* out, uint8_t payloadType, bool marker, uint16_t sequence, uint32_t timestamp,
                    uint32_t ssrc) {
    out[0] = 0x80;
    out[1] = uint8_t((marker ? 0x80 : 0) | (payloadType & 0x7F));
    out[2] = uint8_t(sequence >> 8);
    out[3] = uint8_t(sequence);
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = uint8_t(timestamp >> (24 - 8 * i));
        out[8 + i] = uint8_t(ssrc >> (24 - 8 * i));
    }
}

std::string H264FormatParameters(const uint8_t* keyUnit, size_t size) {
    const NalUnit* sps = nullptr;
    const NalUnit* pps = nullptr;
    std::vector<NalUnit> nals = SplitAnnexB(keyUnit, size);
    for (const NalUnit& n : nals) {
        uint8_t type = n.data[0] & 0x1F;
        if (type == kNalSps && !sps && n.size >= 4) sps = &n;
        if (type == kNalPps && !pps) pps = &n;
    }
    if (!sps || !pps) return {};
    char profile[8];
    std::snprintf(profile, sizeof profile, "%02x%02x%02x", sps->data[1], sps->data[2], sps->data[3]);
    return std::string("packetization-mode=1;profile-level-id=") + profile + ";sprop-parameter-sets=" +
           onvif::Base64(std::string(reinterpret_cast<const char*>(sps->data), sps->size)) + "," +
           onvif::Base64(std::string(reinterpret_cast<const char*>(pps->data), pps->size));
}

std::vector<uint8_t> ClockStampSei(uint64_t monotonicUs) {
    std::vector<uint8_t> rbsp = {kSeiUserDataUnregistered, uint8_t(kStampPayloadBytes)};
    rbsp.insert(rbsp.end(), kStampUuid, kStampUuid + sizeof kStampUuid);
    for (int i = 7; i >= 0; --i) rbsp.push_back(uint8_t(monotonicUs >> (8 * i)));
    rbsp.push_back(0x80);  // rbsp_trailing_bits
    std::vector<uint8_t> nal = {kNalSei};
    std::vector<uint8_t> escaped = Escape(rbsp);
    nal.insert(nal.end(), escaped.begin(), escaped.end());
    return nal;
}

bool FindClockStamp(const uint8_t* unit, size_t size, uint64_t* monotonicUs) {
    for (const NalUnit& n : SplitAnnexB(unit, size)) {
        if ((n.data[0] & 0x1F) != kNalSei || n.size > 256) continue;
        std::vector<uint8_t> rbsp = Unescape(n.data + 1, n.size - 1);
        // SEI messages: type and size (each a run of 0xFF bytes plus a last byte), then the payload.
        size_t at = 0;
        while (at < rbsp.size() && rbsp[at] != 0x80) {
            size_t type = 0, bytes = 0;
            while (at < rbsp.size() && rbsp[at] == 0xFF) type += 255, ++at;
            if (at >= rbsp.size()) break;
            type += rbsp[at++];
            while (at < rbsp.size() && rbsp[at] == 0xFF) bytes += 255, ++at;
            if (at >= rbsp.size()) break;
            bytes += rbsp[at++];
            if (at + bytes > rbsp.size()) break;
            if (type == kSeiUserDataUnregistered && bytes == kStampPayloadBytes &&
                std::memcmp(&rbsp[at], kStampUuid, sizeof kStampUuid) == 0) {
                uint64_t v = 0;
                for (size_t i = 0; i < 8; ++i) v = (v << 8) | rbsp[at + sizeof kStampUuid + i];
                *monotonicUs = v;
                return true;
            }
            at += bytes;
        }
    }
    return false;
}

}  // namespace ocv::devsim::rtp
