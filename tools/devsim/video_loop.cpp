#include "tools/devsim/video_loop.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <cstdio>
#include <cstring>

#include "platform/file_util.h"
#include "tools/devsim/test_picture.h"

namespace ocv::devsim {

namespace {

constexpr char kCacheMagic[8] = {'O', 'C', 'V', 'L', 'O', 'O', 'P', '1'};
constexpr size_t kMaxCacheBytes = 512u * 1024 * 1024;
constexpr uint32_t kMaxFrameBytes = 0xFFFF0;

std::string Key(const LoopParams& p) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "v2|%dx%d|%d|%d|%d|%d|", p.width, p.height, p.bitrateKbps, p.fps, p.keyInterval,
                  p.frames);
    return buf + p.label + (p.thermal ? "|thermal" : "");
}

uint64_t Fnv1a(const std::string& s) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

void PutU32(std::string& out, uint32_t v) {
    char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.append(b, 4);
}

uint32_t GetU32(const std::string& in, size_t at) {
    auto* p = reinterpret_cast<const uint8_t*>(in.data() + at);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Cache file: magic, key length + key (guards against hash collisions), frame count, then per
// frame a flags word (1 = key frame), a length word and the bytes.
std::shared_ptr<VideoLoop> LoadCached(const std::string& path, const LoopParams& p) {
    std::string data;
    if (ReadFileBounded(path, kMaxCacheBytes, &data) != 0) return nullptr;
    std::string key = Key(p);
    size_t at = 0;
    if (data.size() < 16 || std::memcmp(data.data(), kCacheMagic, 8) != 0) return nullptr;
    at = 8;
    uint32_t keyLen = GetU32(data, at);
    at += 4;
    if (keyLen != key.size() || data.size() < at + keyLen + 4 || data.compare(at, keyLen, key) != 0) return nullptr;
    at += keyLen;
    uint32_t count = GetU32(data, at);
    at += 4;
    if (count == 0 || count > 1500) return nullptr;
    auto loop = std::make_shared<VideoLoop>();
    loop->width = p.width;
    loop->height = p.height;
    loop->fps = p.fps;
    for (uint32_t i = 0; i < count; ++i) {
        if (data.size() < at + 8) return nullptr;
        uint32_t flags = GetU32(data, at), len = GetU32(data, at + 4);
        at += 8;
        if (len == 0 || len > kMaxFrameBytes || data.size() - at < len) return nullptr;
        EncodedFrame f;
        f.key = flags & 1;
        f.data.assign(data.begin() + long(at), data.begin() + long(at + len));
        at += len;
        loop->frames.push_back(std::move(f));
    }
    if (loop->frames.empty() || !loop->frames[0].key) return nullptr;
    return loop;
}

void SaveCached(const std::string& path, const LoopParams& p, const VideoLoop& loop) {
    std::string out(kCacheMagic, 8);
    std::string key = Key(p);
    PutU32(out, uint32_t(key.size()));
    out += key;
    PutU32(out, uint32_t(loop.frames.size()));
    for (const auto& f : loop.frames) {
        PutU32(out, f.key ? 1 : 0);
        PutU32(out, uint32_t(f.data.size()));
        out.append(reinterpret_cast<const char*>(f.data.data()), f.data.size());
    }
    ReplaceFileAtomically(path, out);
}

struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

bool Drain(AVCodecContext* ctx, AVPacket* pkt, VideoLoop* loop, std::string* error) {
    for (;;) {
        int rc = avcodec_receive_packet(ctx, pkt);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) {
            *error = "encoder failed";
            return false;
        }
        if (pkt->size > 0 && uint32_t(pkt->size) <= kMaxFrameBytes) {
            EncodedFrame f;
            f.key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
            f.data.assign(pkt->data, pkt->data + pkt->size);
            loop->frames.push_back(std::move(f));
        }
        av_packet_unref(pkt);
    }
}

std::shared_ptr<VideoLoop> Encode(const LoopParams& p, std::string* error) {
    av_log_set_level(AV_LOG_ERROR);  // the encoder's statistics would drown the device log
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        *error = "libx264 encoder not available";
        return nullptr;
    }
    std::unique_ptr<AVCodecContext, CodecFree> ctx(avcodec_alloc_context3(codec));
    ctx->width = p.width;
    ctx->height = p.height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, p.fps};
    ctx->framerate = AVRational{p.fps, 1};
    ctx->gop_size = p.keyInterval;
    ctx->keyint_min = p.keyInterval;
    ctx->max_b_frames = 0;
    ctx->bit_rate = int64_t(p.bitrateKbps) * 1000;
    ctx->rc_max_rate = ctx->bit_rate;
    ctx->rc_buffer_size = int(ctx->bit_rate / 2);
    ctx->thread_count = 1;
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
    // Constant bit rate with filler so a simulated stream really costs its nominal bandwidth;
    // headers repeated so every key frame can start decoding.
    av_opt_set(ctx->priv_data, "x264-params", "scenecut=0:repeat-headers=1:nal-hrd=cbr:filler=1:force-cfr=1", 0);
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) {
        *error = "cannot open libx264";
        return nullptr;
    }
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = p.width;
    frame->height = p.height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        *error = "out of memory";
        return nullptr;
    }
    auto loop = std::make_shared<VideoLoop>();
    loop->width = p.width;
    loop->height = p.height;
    loop->fps = p.fps;
    I420Picture pic;
    for (int i = 0; i < p.frames; ++i) {
        if (p.thermal)
            DrawThermalPicture(&pic, p.width, p.height, p.label, i, p.fps);
        else
            DrawTestPicture(&pic, p.width, p.height, p.label, i, p.fps);
        av_frame_make_writable(frame.get());
        for (int y = 0; y < p.height; ++y) std::memcpy(frame->data[0] + y * frame->linesize[0], &pic.y[size_t(y) * p.width], p.width);
        for (int y = 0; y < p.height / 2; ++y) {
            std::memcpy(frame->data[1] + y * frame->linesize[1], &pic.u[size_t(y) * (p.width / 2)], p.width / 2);
            std::memcpy(frame->data[2] + y * frame->linesize[2], &pic.v[size_t(y) * (p.width / 2)], p.width / 2);
        }
        frame->pts = i;
        // The first frame of every interval is forced to IDR so the loop restarts cleanly.
        frame->pict_type = (i % p.keyInterval == 0) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(ctx.get(), frame.get()) < 0) {
            *error = "encoder refused a frame";
            return nullptr;
        }
        if (!Drain(ctx.get(), pkt.get(), loop.get(), error)) return nullptr;
    }
    avcodec_send_frame(ctx.get(), nullptr);
    if (!Drain(ctx.get(), pkt.get(), loop.get(), error)) return nullptr;
    if (loop->frames.empty() || !loop->frames[0].key) {
        *error = "encoder produced no key frame";
        return nullptr;
    }
    return loop;
}

}  // namespace

std::string LoopCacheName(const LoopParams& params) {
    char name[64];
    std::snprintf(name, sizeof name, "loop-%016llx.h264loop", static_cast<unsigned long long>(Fnv1a(Key(params))));
    return name;
}

std::shared_ptr<const VideoLoop> MakeVideoLoop(const LoopParams& params, const std::string& cacheDir,
                                               std::string* error) {
    std::string path = cacheDir + "/" + LoopCacheName(params);
    if (auto cached = LoadCached(path, params)) return cached;
    auto loop = Encode(params, error);
    if (!loop) return nullptr;
    if (MakeDirectories(cacheDir) == 0) SaveCached(path, params, *loop);
    return loop;
}

std::shared_ptr<const VideoLoop> VideoLoopCache::Get(const LoopParams& params, std::string* error) {
    std::string key = Key(params);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = loops_.find(key);
        if (it != loops_.end()) return it->second;
    }
    auto loop = MakeVideoLoop(params, cacheDir_, error);
    if (loop) {
        std::lock_guard<std::mutex> lock(mutex_);
        loops_[key] = loop;
    }
    return loop;
}

}  // namespace ocv::devsim
