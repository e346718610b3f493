#include "sdk/g711.h"

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
    code ^= 0x55;
    int t = (code & 0x0F) << 4;
    int segment = (code & 0x70) >> 4;
    switch (segment) {
    case 0: t += 8; break;
    case 1: t += 0x108; break;
    default: t += 0x108; t <<= segment - 1; break;
    }
    return int16_t((code & 0x80) ? t : -t);
}

}  // namespace ocv::g711
