#pragma once
// G.711 A-law, the audio of live streams and talk: 8-bit samples at 8000 Hz.
#include <cstdint>

namespace ocv::g711 {

uint8_t LinearToALaw(int16_t sample);
int16_t ALawToLinear(uint8_t code);

}  // namespace ocv::g711
