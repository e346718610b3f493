#pragma once
// G.711 (ITU-T G.711), the sound of live streams, recordings and talk: 8-bit codes at 8000 Hz,
// A-law and mu-law, to and from 16-bit linear PCM.
#include <cstddef>
#include <cstdint>

namespace ocv::g711 {

uint8_t LinearToALaw(int16_t sample);
int16_t ALawToLinear(uint8_t code);
int16_t MuLawToLinear(uint8_t code);

// Expands count codes into out (count samples). encoding: kAudioG711ALaw or kAudioG711MuLaw
// (base/media_types.h). 0, or -1 for another encoding (nothing written).
int Decode(uint32_t encoding, const uint8_t* codes, size_t count, int16_t* out);

}  // namespace ocv::g711
