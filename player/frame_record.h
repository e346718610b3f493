#pragma once
// Checks a frame record from the device library and finds the part the decoders take.
#include <cstddef>
#include <cstdint>

#include "base/media_types.h"

namespace ocv::player {

struct FrameRecordView {
    FrameHeader header{};
    const uint8_t* payload = nullptr;  // video: the encoded picture; audio: the samples
    size_t payloadSize = 0;
};

// A video record: kind 1, data no longer than the record holds nor than the largest frame,
// extension blocks (tens digit of the frame type) cut off the end, a non-empty picture
// left. Bytes beyond the announced data length are ignored. 0, or -1 when malformed.
int ParseVideoRecord(const void* record, size_t length, FrameRecordView* out);

// An audio record: any kind but 1, at least the 4-byte audio header; the samples follow it.
int ParseAudioRecord(const void* record, size_t length, FrameRecordView* out);

}  // namespace ocv::player
