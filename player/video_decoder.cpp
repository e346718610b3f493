#include "player/video_decoder.h"

#include <algorithm>

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

// Parameter sets lead a key frame; the SEI of some encoders before them is under 1 KiB.
constexpr size_t kSniffBytes = 4096;

}  // namespace

bool IsSupportedVideoCodec(uint32_t codecWord) { return CodecId(codecWord) != AV_CODEC_ID_NONE; }

uint32_t SniffVideoCodec(const uint8_t* data, size_t size) {
    if (!data) return 0;
    size = std::min(size, kSniffBytes);
    for (size_t i = 0; i + 4 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
        const uint8_t first = data[i + 3], second = data[i + 4];
        // HEVC: two-byte NAL header, type in bits 1..6, layer 0, temporal id 1. A VPS (32)
        // or SPS (33) header is no valid H.264 NAL header (type 0, or a partition).
        if ((first == 0x40 || first == 0x42) && second == 0x01) return QVXPLAY_CODEC_H265;
        // H.264: forbidden bit clear, type 7 (SPS), a non-zero reference indication.
        if ((first & 0x9F) == 0x07 && (first & 0x60) != 0) return QVXPLAY_CODEC_H264;
        i += 2;
    }
    return 0;
}

int VideoDecoder::Open(uint32_t codecWord) {
    if (CodecId(codecWord) == AV_CODEC_ID_NONE) return -1;
    codecWord_ = codecWord;
    return OpenContext(codecWord == 0 ? QVXPLAY_CODEC_H264 : codecWord);
}

int VideoDecoder::OpenContext(uint32_t codecNumber) {
    context_.reset();
    AVCodecID id = CodecId(codecNumber);
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
    context->skip_loop_filter = skipLoopFilter_;
    context->flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
    context->flags2 &= ~AV_CODEC_FLAG2_SHOW_ALL;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return -1;
    context_ = std::move(context);
    packet_ = std::move(packet);
    frame_ = std::move(frame);
    codec_ = codecNumber;
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
    if (codecWord_ == 0 && data) {
        uint32_t seen = SniffVideoCodec(data, size);
        if (seen != 0 && seen != codec_ && OpenContext(seen) != 0) return -1;
    }
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

void VideoDecoder::SetSkipLoopFilter(AVDiscard which) {
    skipLoopFilter_ = which;
    if (context_) context_->skip_loop_filter = which;
}

void VideoDecoder::Flush() {
    if (context_) avcodec_flush_buffers(context_.get());
}

}  // namespace ocv::player
