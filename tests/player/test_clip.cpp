#include "tests/player/test_clip.h"

#include <cstring>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

// libx265 leaks a few of its own blocks at every encoder it closes (its parameter strings
// and frame filters); LeakSanitizer is told so here, for that library only.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }

namespace ocv::test {

namespace {

std::vector<EncodedPicture> MakeClip(const char* encoder, int width, int height, int count,
                                     int gop) {
    av_log_set_level(AV_LOG_FATAL);  // the decoders complain loudly about damaged input
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (!codec) throw std::runtime_error(std::string(encoder) + " missing");
    const bool hevc = std::string(encoder) == "libx265";
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, 25};
    ctx->framerate = AVRational{25, 1};
    ctx->gop_size = gop;
    ctx->max_b_frames = 0;
    ctx->thread_count = 1;
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
    // Every key frame an IDR with its parameter sets, as cameras send them. x265 works on
    // this thread alone: no pools, one frame at a time.
    if (hevc) {
        std::string params = "keyint=" + std::to_string(gop) + ":min-keyint=" + std::to_string(gop) +
                             ":scenecut=0:bframes=0:repeat-headers=1:log-level=none:pools=none:"
                             "frame-threads=1:lookahead-slices=0";
        av_opt_set(ctx->priv_data, "x265-params", params.c_str(), 0);
    } else {
        av_opt_set(ctx->priv_data, "x264-params", "keyint_min=1:scenecut=0:repeat-headers=1", 0);
    }
    if (avcodec_open2(ctx, codec, nullptr) < 0)
        throw std::runtime_error(std::string(encoder) + " open failed");
    AVFrame* frame = av_frame_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    AVPacket* packet = av_packet_alloc();
    std::vector<EncodedPicture> clip;
    auto drain = [&] {
        while (avcodec_receive_packet(ctx, packet) == 0) {
            EncodedPicture p;
            p.bytes.assign(packet->data, packet->data + packet->size);
            p.keyFrame = (packet->flags & AV_PKT_FLAG_KEY) != 0;
            clip.push_back(std::move(p));
            av_packet_unref(packet);
        }
    };
    for (int i = 0; i < count; ++i) {
        av_frame_make_writable(frame);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(x * 3 + y + i * 5);
        for (int y = 0; y < (height + 1) / 2; ++y)
            for (int x = 0; x < (width + 1) / 2; ++x) {
                frame->data[1][y * frame->linesize[1] + x] = static_cast<uint8_t>(128 + y - i);
                frame->data[2][y * frame->linesize[2] + x] = static_cast<uint8_t>(64 + x + i);
            }
        frame->pts = i;
        avcodec_send_frame(ctx, frame);
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return clip;
}

}  // namespace

std::vector<EncodedPicture> MakeH264Clip(int width, int height, int count, int gop) {
    return MakeClip("libx264", width, height, count, gop);
}

std::vector<EncodedPicture> MakeH265Clip(int width, int height, int count, int gop) {
    return MakeClip("libx265", width, height, count, gop);
}

std::vector<uint8_t> MakeVideoRecord(const EncodedPicture& picture, uint32_t timestampMs,
                                     int extensionBlocks, uint32_t keyKind) {
    size_t extensionBytes = static_cast<size_t>(extensionBlocks) * kFrameExtensionBlockBytes;
    FrameHeader h{};
    h.kind = kFrameKindVideo;
    h.dataLength = static_cast<uint32_t>(picture.bytes.size() + extensionBytes);
    h.timestampMs = timestampMs;
    h.frameType = static_cast<uint32_t>(extensionBlocks * 10) + (picture.keyFrame ? keyKind : 2u);
    std::vector<uint8_t> record(sizeof h + h.dataLength, 0xA5);
    std::memcpy(record.data(), &h, sizeof h);
    std::memcpy(record.data() + sizeof h, picture.bytes.data(), picture.bytes.size());
    return record;
}

std::vector<uint8_t> MakeAudioRecord(const std::vector<uint8_t>& samples, uint32_t timestampMs) {
    FrameHeader h{};
    h.kind = kFrameKindAudio;
    h.dataLength = static_cast<uint32_t>(kAudioHeaderBytes + samples.size());
    h.timestampMs = timestampMs;
    std::vector<uint8_t> record(sizeof h + h.dataLength, 0);
    std::memcpy(record.data(), &h, sizeof h);
    std::memcpy(record.data() + sizeof h + kAudioHeaderBytes, samples.data(), samples.size());
    return record;
}

StreamInfo MakeStreamInfo(int width, int height, uint32_t audioEncoding, uint32_t codec) {
    StreamInfo info{};
    info.videoCodec = codec;
    info.width = static_cast<uint32_t>(width);
    info.height = static_cast<uint32_t>(height);
    info.audioEncoding = audioEncoding;
    info.audioSampleRate = audioEncoding ? 8000 : 0;
    info.audioChannels = audioEncoding ? 1 : 0;
    info.frameRate = 25;
    return info;
}

bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds bound) {
    auto end = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace ocv::test
