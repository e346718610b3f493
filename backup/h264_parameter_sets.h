#pragma once
// The parameter sets (SPS and PPS) that an H.264 access unit in Annex-B form carries; a file
// container needs them once in its header.
#include <cstddef>
#include <cstdint>
#include <string>

namespace ocv::backup {

// Every SPS (type 7) and PPS (type 8) NAL unit of the access unit, in order, each behind a
// 4-byte start code; "" when it has no SPS or no PPS.
std::string H264ParameterSets(const uint8_t* data, size_t size);

}  // namespace ocv::backup
