#pragma once
// One video decoder (libavcodec, single-threaded: a port has its own thread already) for
// the codecs a stream header can announce: H.264 and H.265, both Annex-B byte streams.
// It refuses pictures above QVXPLAY_MAX_PICTURE_SIDE in either direction or above
// QVXPLAY_MAX_PICTURE_PIXELS before any picture memory is taken, and never hands out a
// picture that the decoder had to patch.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/av_ptr.h"

namespace ocv::player {

// Word 0 of the stream header: 1 is H.264, 2 is H.265, and 0 (a cell's default header,
// which says nothing) follows the stream: H.264 until a key frame's parameter sets show
// otherwise.
bool IsSupportedVideoCodec(uint32_t codecWord);

// The codec whose parameter sets an access unit carries: QVXPLAY_CODEC_H265 for an HEVC
// VPS or SPS, QVXPLAY_CODEC_H264 for an H.264 SPS, 0 when it shows none (within its
// first bytes, where encoders put them).
uint32_t SniffVideoCodec(const uint8_t* data, size_t size);

class VideoDecoder {
public:
    VideoDecoder() = default;
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // 0, or -1 for a codec word we do not decode, a libavcodec without that decoder, or
    // no memory. Opening again replaces the previous decoder. With word 0 the decoder
    // changes to the codec of the parameter sets it meets.
    int Open(uint32_t codecWord);
    bool IsOpen() const { return context_ != nullptr; }
    uint32_t CodecWord() const { return codecWord_; }

    // Decodes one access unit. data must be followed by AV_INPUT_BUFFER_PADDING_SIZE
    // readable bytes. Whole, clean pictures are appended to pictures. Returns 0, or -1
    // when the data was damaged or refused (the caller then waits for a key frame).
    int Decode(const uint8_t* data, size_t size, int64_t pts, std::vector<AvFramePtr>* pictures);

    // Hands out the pictures the decoder still holds back (reordering) at the end of a
    // stream, then forgets everything, so the next input must start at a key frame.
    void Drain(std::vector<AvFramePtr>* pictures);

    // Forgets reference pictures and delayed output (a new stream follows).
    void Flush();

    // Which pictures are decoded without the in-loop deblocking filter (AVDISCARD_DEFAULT:
    // none; AVDISCARD_NONREF: pictures no other refers to, whose missing filter goes nowhere
    // else; AVDISCARD_NONKEY: all but key pictures, whose error then drifts to the next key
    // picture). Applies from the next access unit on, also to a decoder the stream changes to.
    void SetSkipLoopFilter(AVDiscard which);
    AVDiscard SkipLoopFilter() const { return skipLoopFilter_; }

private:
    int OpenContext(uint32_t codec);
    int Receive(std::vector<AvFramePtr>* pictures);

    AvCodecContextPtr context_;
    AvPacketPtr packet_;
    AvFramePtr frame_;
    uint32_t codecWord_ = 0;
    uint32_t codec_ = 0;  // what the context decodes
    AVDiscard skipLoopFilter_ = AVDISCARD_DEFAULT;
};

}  // namespace ocv::player
