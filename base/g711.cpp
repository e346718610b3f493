#include "base/g711.h"

#include <array>

#include "base/media_types.h"

namespace ocv::g711 {

uint8_t LinearToALaw(int16_t sample) {
    int pcm = sample >> 3;  // A-law works on 13-bit magnitudes
    uint8_t mask;
    if (pcm >= 0) {
        mask = 0xD5;
    } else {
        mask = 0x55;
        pcm = -pcm - 1;
    }
    static const int kSegmentEnds[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
    int segment = 0;
    while (segment < 8 && pcm > kSegmentEnds[segment]) ++segment;
    if (segment >= 8) return uint8_t(0x7F ^ mask);
    uint8_t code = uint8_t(segment << 4);
    code |= segment < 2 ? uint8_t((pcm >> 1) & 0x0F) : uint8_t((pcm >> segment) & 0x0F);
    return uint8_t(code ^ mask);
}

int16_t ALawToLinear(uint8_t code) {
    // Even bits are inverted on the line; sign bit set means positive.
    code ^= 0x55;
    int exponent = (code >> 4) & 0x07;
    int mantissa = code & 0x0F;
    int magnitude = (mantissa << 4) + 8;
    if (exponent != 0) magnitude = (magnitude + 0x100) << (exponent - 1);
    return static_cast<int16_t>((code & 0x80) ? magnitude : -magnitude);
}

int16_t MuLawToLinear(uint8_t code) {
    code = static_cast<uint8_t>(~code);
    int exponent = (code >> 4) & 0x07;
    int mantissa = code & 0x0F;
    int magnitude = (((mantissa << 3) + 0x84) << exponent) - 0x84;
    return static_cast<int16_t>((code & 0x80) ? -magnitude : magnitude);
}

namespace {
template <int16_t (*Expand)(uint8_t)>
const std::array<int16_t, 256>& Table() {
    static const std::array<int16_t, 256> table = [] {
        std::array<int16_t, 256> t{};
        for (int i = 0; i < 256; ++i) t[i] = Expand(static_cast<uint8_t>(i));
        return t;
    }();
    return table;
}
}  // namespace

int Decode(uint32_t encoding, const uint8_t* codes, size_t count, int16_t* out) {
    const std::array<int16_t, 256>* table = nullptr;
    if (encoding == kAudioG711ALaw) table = &Table<ALawToLinear>();
    else if (encoding == kAudioG711MuLaw) table = &Table<MuLawToLinear>();
    else return -1;
    for (size_t i = 0; i < count; ++i) out[i] = (*table)[codes[i]];
    return 0;
}

}  // namespace ocv::g711
