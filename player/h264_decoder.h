#pragma once
// One H.264 decoder (libavcodec, single-threaded: a port has its own thread already).
// It refuses pictures above QVXPLAY_MAX_PICTURE_SIDE in either direction or above
// QVXPLAY_MAX_PICTURE_PIXELS before any picture memory is taken, and never hands out a
// picture that the decoder had to patch.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/av_ptr.h"

namespace ocv::player {

class H264Decoder {
public:
    H264Decoder() = default;
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    // 0, or -1 when libavcodec has no H.264 decoder or runs out of memory.
    int Open();
    bool IsOpen() const { return context_ != nullptr; }

    // Decodes one access unit. data must be followed by AV_INPUT_BUFFER_PADDING_SIZE
    // readable bytes. Whole, clean pictures are appended to pictures. Returns 0, or -1
    // when the data was damaged or refused (the caller then waits for a key frame).
    int Decode(const uint8_t* data, size_t size, int64_t pts, std::vector<AvFramePtr>* pictures);

    // Forgets reference pictures and delayed output (a new stream follows).
    void Flush();

private:
    AvCodecContextPtr context_;
    AvPacketPtr packet_;
    AvFramePtr frame_;
};

}  // namespace ocv::player
