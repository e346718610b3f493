#pragma once
// Owning pointers for the FFmpeg objects the player keeps.
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace ocv::player {

struct AvFrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct AvCodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct AvPacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsContextDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

using AvFramePtr = std::unique_ptr<AVFrame, AvFrameDeleter>;
using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextDeleter>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;

// A new reference to the same picture, or nullptr when out of memory.
inline AvFramePtr RefFrame(const AVFrame* source) {
    AvFramePtr copy(av_frame_alloc());
    if (!copy || av_frame_ref(copy.get(), source) < 0) return nullptr;
    return copy;
}

}  // namespace ocv::player
