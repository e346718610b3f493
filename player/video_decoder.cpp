#include "player/video_decoder.h"

#include "player/qvx_player.h"

namespace ocv::player {
namespace {

// Checks the size before the default allocator takes memory for it.
int GetBufferWithinLimits(AVCodecContext* context, AVFrame* frame, int flags) {
    if (frame->width > QVXPLAY_MAX_PICTURE_SIDE || frame->height > QVXPLAY_MAX_PICTURE_SIDE ||
        frame->width <= 0 || frame->height <= 0 ||
        int64_t{frame->width} * frame->height > QVXPLAY_MAX_PICTURE_PIXELS)
        return AVERROR(EINVAL);
    return avcodec_default_get_buffer2(context, frame, flags);
}

AVCodecID CodecId(uint32_t codecWord) {
    switch (codecWord) {
        case 0:
        case QVXPLAY_CODEC_H264: return AV_CODEC_ID_H264;
        case QVXPLAY_CODEC_H265: return AV_CODEC_ID_HEVC;
        default: return AV_CODEC_ID_NONE;
    }
}

}  // namespace

bool IsSupportedVideoCodec(uint32_t codecWord) { return CodecId(codecWord) != AV_CODEC_ID_NONE; }

int VideoDecoder::Open(uint32_t codecWord) {
    AVCodecID id = CodecId(codecWord);
    if (id == AV_CODEC_ID_NONE) return -1;
    const AVCodec* codec = avcodec_find_decoder(id);
    if (!codec) return -1;
    AvCodecContextPtr context(avcodec_alloc_context3(codec));
    AvPacketPtr packet(av_packet_alloc());
    AvFramePtr frame(av_frame_alloc());
    if (!context || !packet || !frame) return -1;
    context->thread_count = 1;
    context->thread_type = 0;
    // The per-block tables are sized when the stream's parameters arrive; this bound makes
    // a hostile parameter set fail there instead of allocating for it, and caps the
    // reference pictures a stream can make the decoder hold.
    context->max_pixels = QVXPLAY_MAX_PICTURE_PIXELS;
    context->get_buffer2 = GetBufferWithinLimits;
    context->flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
    context->flags2 &= ~AV_CODEC_FLAG2_SHOW_ALL;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return -1;
    context_ = std::move(context);
    packet_ = std::move(packet);
    frame_ = std::move(frame);
    codecWord_ = codecWord;
    return 0;
}

int VideoDecoder::Receive(std::vector<AvFramePtr>* pictures) {
    int result = 0;
    for (;;) {
        int received = avcodec_receive_frame(context_.get(), frame_.get());
        if (received < 0) break;
        bool damaged = frame_->decode_error_flags != 0 || (frame_->flags & AV_FRAME_FLAG_CORRUPT);
        if (damaged) {
            result = -1;
        } else if (AvFramePtr picture = RefFrame(frame_.get())) {
            pictures->push_back(std::move(picture));
        }
        av_frame_unref(frame_.get());
    }
    return result;
}

int VideoDecoder::Decode(const uint8_t* data, size_t size, int64_t pts,
                         std::vector<AvFramePtr>* pictures) {
    if (!context_ || !data || size == 0 || size > INT32_MAX) return -1;
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = static_cast<int>(size);
    packet_->pts = pts;
    packet_->dts = pts;
    int result = 0;
    int sent = avcodec_send_packet(context_.get(), packet_.get());
    av_packet_unref(packet_.get());
    if (sent < 0 && sent != AVERROR(EAGAIN)) result = -1;
    if (Receive(pictures) != 0) result = -1;
    return result;
}

void VideoDecoder::Drain(std::vector<AvFramePtr>* pictures) {
    if (!context_) return;
    if (avcodec_send_packet(context_.get(), nullptr) >= 0) Receive(pictures);
    // A drained decoder takes no more input until it is flushed.
    avcodec_flush_buffers(context_.get());
}

void VideoDecoder::Flush() {
    if (context_) avcodec_flush_buffers(context_.get());
}

}  // namespace ocv::player
