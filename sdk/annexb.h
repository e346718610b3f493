#pragma once
// H.264 and H.265 access units in Annex-B (start-code) form as the library hands them on: the
// NAL units of one picture, told apart as key pictures (IDR: kind 1; other random-access
// pictures: kind 3) or predicted ones, with the parameter sets a decoder needs put in front of
// every key picture. Pure functions over byte ranges; no allocation beyond the output.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ocv::sdk {

enum class VideoCodec { kH264, kH265 };

struct NalUnit {
    size_t offset = 0;  // of the NAL header (after the start code)
    size_t size = 0;
    int type = 0;
};

// The NAL units of an Annex-B byte stream (3- or 4-byte start codes). A stream without a start
// code at its head gives nothing.
std::vector<NalUnit> SplitAnnexB(const uint8_t* data, size_t size, VideoCodec codec);

// Picture kind of an access unit: 1 IDR, 3 other random-access picture (H.265 CRA/BLA), 2 any
// other picture, 0 no picture at all (parameter sets or SEI alone).
int PictureKind(const std::vector<NalUnit>& nals, VideoCodec codec);

// The parameter sets of a stream (VPS for H.265, SPS, PPS), kept as the last ones seen.
class ParameterSets {
public:
    explicit ParameterSets(VideoCodec codec) : codec_(codec) {}
    // Takes the parameter sets found in an Annex-B range (extradata or an access unit).
    void Learn(const uint8_t* data, size_t size);
    // All of them are known.
    bool Complete() const;
    // The access unit as handed on: a key picture that lacks any parameter set gets all known
    // ones put in front, in decoding order.
    std::vector<uint8_t> Prefix(const uint8_t* au, size_t size, const std::vector<NalUnit>& nals) const;

private:
    VideoCodec codec_;
    std::string vps_, sps_, pps_;  // NAL units without start codes
};

}  // namespace ocv::sdk
