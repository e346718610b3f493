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

// Puts whole access units together from pieces of a stream (a demuxer may hand one picture on
// in several packets, a slice or a parameter set at a time). A unit ends where the next one
// begins: at an access unit delimiter, or at a slice that is the first of its picture (with
// the parameter sets and SEI that came before it). So a unit is complete one piece later.
class AccessUnitAssembler {
public:
    explicit AccessUnitAssembler(VideoCodec codec) : codec_(codec) {}
    struct Unit {
        std::vector<uint8_t> data;  // Annex-B
        int64_t timestamp = -1;     // of the first piece that had one
    };
    // Adds an Annex-B piece with its timestamp (-1: none); completed units go to out.
    void Add(const uint8_t* data, size_t size, int64_t timestamp, std::vector<Unit>* out);

private:
    VideoCodec codec_;
    Unit pending_;
    bool pendingHasSlice_ = false;
    std::vector<uint8_t> held_;  // non-picture units after a slice, not placed yet
};

// The parameter sets of a stream (VPS for H.265, SPS, PPS), kept as the last ones seen.
class ParameterSets {
public:
    explicit ParameterSets(VideoCodec codec) : codec_(codec) {}
    // Takes the parameter sets found in an Annex-B range (extradata or an access unit).
    void Learn(const uint8_t* data, size_t size);
    // All of them are known.
    bool Complete() const;
    // The access unit as handed on: a key picture that lacks any parameter set gets all known
    // ones put in front, in decoding order (VPS, SPS, PPS).
    std::vector<uint8_t> Prefix(const uint8_t* au, size_t size, const std::vector<NalUnit>& nals) const;

private:
    VideoCodec codec_;
    std::string vps_, sps_, pps_;  // NAL units without start codes
};

}  // namespace ocv::sdk
