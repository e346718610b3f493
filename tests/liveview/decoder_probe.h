#pragma once
// Whether a cell's decoder is paused, asked of the player port itself: a key frame handed to a
// running decoder is queued, a paused one drops it. The record, marked as a key frame, carries
// only an access unit delimiter: enough for the input side, and nothing the decoder complains
// about afterwards.
#include <cstdint>
#include <cstring>
#include <vector>

#include "player/player_statistics.h"
#include "player/qvx_player.h"
#include "base/media_types.h"

namespace ocv::test {

enum class Decoder { kRuns, kPaused, kNoInput };

inline Decoder ProbeDecoder(int port) {
    static const uint8_t kDelimiter[] = {0, 0, 0, 1, 0x09, 0xF0};
    FrameHeader header{kFrameKindVideo, sizeof kDelimiter, 0, kFrameTypeKeyFrameAlt};
    std::vector<uint8_t> record(sizeof header + sizeof kDelimiter);
    std::memcpy(record.data(), &header, sizeof header);
    std::memcpy(record.data() + sizeof header, kDelimiter, sizeof kDelimiter);
    player::PortStatistics before{}, after{};
    if (port == 0 || player::GetPortStatistics(port, &before) != 0) return Decoder::kNoInput;
    if (QVXPlay_InputVideoData(port, record.data(), static_cast<int>(record.size())) != 0) return Decoder::kNoInput;
    if (player::GetPortStatistics(port, &after) != 0) return Decoder::kNoInput;
    if (after.videoFramesTaken > before.videoFramesTaken) return Decoder::kRuns;
    return after.framesDiscarded > before.framesDiscarded ? Decoder::kPaused : Decoder::kNoInput;
}

}  // namespace ocv::test
