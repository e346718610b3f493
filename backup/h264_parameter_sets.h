#pragma once
// H.264 access units as devices send them (Annex-B: NAL units behind 00 00 01 start codes) and
// the forms file containers want: the parameter sets (SPS, PPS) once in a header, and for MP4
// each NAL unit behind its 4-byte length. H.265 units likewise have their parameter sets (VPS,
// SPS, PPS) taken out for a container's header.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ocv::backup {

// Every SPS (type 7) and PPS (type 8) NAL unit of the access unit, in order, each behind a
// 4-byte start code; "" when it has no SPS or no PPS.
std::string H264ParameterSets(const uint8_t* data, size_t size);

// Every VPS (type 32), SPS (33) and PPS (34) NAL unit of an H.265 access unit, in order, each
// behind a 4-byte start code; "" when one of the three is missing.
std::string HevcParameterSets(const uint8_t* data, size_t size);

// The AVC decoder configuration record ("avcC", ISO/IEC 14496-15) of the access unit's SPS and
// PPS, with 4-byte NAL lengths; the chroma format and bit depths follow for every profile but
// Baseline, Main and Extended. "" without SPS and PPS or for an SPS that cannot be read.
std::string AvcDecoderConfiguration(const uint8_t* data, size_t size);

// The access unit with a 4-byte big-endian length in place of each start code.
void AnnexBToLengthPrefixed(const uint8_t* data, size_t size, std::vector<uint8_t>* out);

}  // namespace ocv::backup
