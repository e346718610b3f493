#pragma once
// G.711 sample expansion (ITU-T G.711) to 16-bit linear PCM.
#include <cstddef>
#include <cstdint>

namespace ocv::player {

int16_t ALawToLinear(uint8_t code);
int16_t MuLawToLinear(uint8_t code);

// Expands count codes into out (count samples). encoding: 1 A-law, 2 mu-law.
// 0, or -1 for another encoding (nothing written).
int DecodeG711(uint32_t encoding, const uint8_t* codes, size_t count, int16_t* out);

}  // namespace ocv::player
