#include "sdk/rtsp_stream.h"

#include <algorithm>
#include <pthread.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <chrono>
#include <cstring>
#include <vector>

#include "sdk/annexb.h"
#include "sdk/sdk_core.h"
#include "sdk/stream_time_line.h"
#include "base/media_types.h"
#include "base/trace.h"

namespace ocv::sdk {

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

// libavformat asks this between its blocking steps: a stopped stream, or one silent past its
// deadline, ends whatever it waits for.
struct Interrupt {
    const std::atomic<bool>* stopped = nullptr;
    std::atomic<int64_t> deadlineMs{0};
};

int OnInterrupt(void* opaque) {
    auto* i = static_cast<Interrupt*>(opaque);
    return (i->stopped && i->stopped->load()) || NowMs() > i->deadlineMs.load() ? 1 : 0;
}

int ResultOf(int averror, bool interrupted) {
    if (averror == AVERROR_HTTP_UNAUTHORIZED || averror == AVERROR(EACCES) || averror == AVERROR(EPERM))
        return QVX_ERR_PASSWORD;
    if (averror == AVERROR(ECONNREFUSED) || averror == AVERROR(EHOSTUNREACH) || averror == AVERROR(ENETUNREACH) ||
        averror == AVERROR(ECONNRESET) || averror == AVERROR(EPIPE))
        return QVX_ERR_CONNECT;
    if (averror == AVERROR(ETIMEDOUT) || averror == AVERROR(EAGAIN) || (averror == AVERROR_EXIT && interrupted))
        return QVX_ERR_TIMEOUT;
    if (averror == AVERROR_EXIT) return QVX_ERR_FAILED;
    return QVX_ERR_DEVICE;
}

struct InputFree {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
using Input = std::unique_ptr<AVFormatContext, InputFree>;

// Opens an RTSP URL with the library's settings. 0 with *out set, or a QVX_ERR_* value.
int OpenInput(Core& core, const std::string& url, Interrupt* interrupt, Input* out) {
    AVFormatContext* ctx = avformat_alloc_context();
    if (!ctx) return QVX_ERR_FAILED;
    ctx->interrupt_callback.callback = OnInterrupt;
    ctx->interrupt_callback.opaque = interrupt;
    AVDictionary* options = nullptr;
    int timeoutMs = core.settings.requestTimeoutMs.load();
    av_dict_set(&options, "rtsp_transport", core.settings.rtspTransport.load() == QVX_RTSP_UDP ? "udp" : "tcp", 0);
    av_dict_set_int(&options, "timeout", int64_t(timeoutMs) * 1000, 0);  // socket I/O, in µs
    // Start quickly: the parameter sets come with the session description or the first key
    // picture. Frames read while probing are kept and handed on afterwards (without buffering
    // they would be dropped, and with them the key picture a camera starts its stream with: the
    // picture would then wait for the next one, up to a whole key-frame interval).
    av_dict_set_int(&options, "probesize", 65536, 0);
    av_dict_set_int(&options, "analyzeduration", 200000, 0);
    interrupt->deadlineMs = NowMs() + 2 * timeoutMs;
    int rc = avformat_open_input(&ctx, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) return ResultOf(rc, interrupt->deadlineMs.load() < NowMs());
    Input input(ctx);
    interrupt->deadlineMs = NowMs() + 2 * timeoutMs;
    rc = avformat_find_stream_info(ctx, nullptr);
    if (rc < 0) return ResultOf(rc, interrupt->deadlineMs.load() < NowMs());
    *out = std::move(input);
    return QVX_OK;
}

}  // namespace

// One opening of the stream: the input, the streams chosen and their time lines.
struct RtspStream::Reader {
    Input input;
    int video = -1, audio = -1;
    VideoCodec codec = VideoCodec::kH264;
    StreamInfo info{};
    std::unique_ptr<ParameterSets> sets;
    std::unique_ptr<AccessUnitAssembler> assembler;
    bool keySeen = false;  // video goes on from the first key picture
    int64_t startMs = 0;
    StreamTimeLine timeLines[2];  // video, sound
    int64_t lastVideoMs = 0;      // pictures handed on never go back in time
    std::vector<uint8_t> record;

    // 0 or QVX_ERR_CODEC.
    int Choose() {
        AVFormatContext* ctx = input.get();
        video = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (video < 0) return QVX_ERR_CODEC;
        AVCodecParameters* v = ctx->streams[video]->codecpar;
        if (v->codec_id == AV_CODEC_ID_H264) codec = VideoCodec::kH264;
        else if (v->codec_id == AV_CODEC_ID_HEVC) codec = VideoCodec::kH265;
        else return QVX_ERR_CODEC;
        sets = std::make_unique<ParameterSets>(codec);
        assembler = std::make_unique<AccessUnitAssembler>(codec);
        if (v->extradata && v->extradata_size > 0) sets->Learn(v->extradata, size_t(v->extradata_size));
        info.videoCodec = codec == VideoCodec::kH264 ? kVideoCodecH264 : kVideoCodecH265;
        info.width = uint32_t(v->width > 0 ? v->width : 0);
        info.height = uint32_t(v->height > 0 ? v->height : 0);
        AVRational rate = ctx->streams[video]->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = ctx->streams[video]->r_frame_rate;
        int fps = rate.num > 0 && rate.den > 0 ? int(av_q2d(rate) + 0.5) : 0;
        info.frameRate = uint32_t(fps > 0 && fps <= 120 ? fps : 25);
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            AVCodecParameters* a = ctx->streams[i]->codecpar;
            if (a->codec_type != AVMEDIA_TYPE_AUDIO) continue;
            if (a->codec_id == AV_CODEC_ID_PCM_ALAW || a->codec_id == AV_CODEC_ID_PCM_MULAW) {
                audio = int(i);
                info.audioEncoding = a->codec_id == AV_CODEC_ID_PCM_ALAW ? kAudioG711ALaw : kAudioG711MuLaw;
                info.audioSampleRate = uint32_t(a->sample_rate > 0 ? a->sample_rate : 8000);
                info.audioChannels = 1;
                break;
            }
        }
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            AVCodecParameters* a = ctx->streams[i]->codecpar;
            if (a->codec_type == AVMEDIA_TYPE_AUDIO && int(i) != audio) {
                Trace("rtsp: sound \"%s\" of a stream is left out (only G.711 is handed on)\n",
                      avcodec_get_name(a->codec_id));
            }
        }
        // Other streams are not read at all.
        for (unsigned i = 0; i < ctx->nb_streams; ++i)
            if (int(i) != video && int(i) != audio) ctx->streams[i]->discard = AVDISCARD_ALL;
        startMs = NowMs();
        return 0;
    }

    // Milliseconds since the stream started, on the packet's own time line (stream_time_line.h);
    // -1 when the packet has no time.
    int64_t TimestampMs(const AVPacket* p, int slot) {
        int64_t pts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
        if (pts == AV_NOPTS_VALUE) return -1;
        AVRational tb = input->streams[p->stream_index]->time_base;
        return timeLines[slot].Ms(pts, tb.num, tb.den, NowMs() - startMs);
    }
};

RtspStream::RtspStream(Core& core, int32_t handle, int32_t loginHandle, std::string url, std::string printable,
                       QVX_RealDataCallBack callback, intptr_t user)
    : core_(core),
      handle_(handle),
      loginHandle_(loginHandle),
      url_(std::move(url)),
      printable_(std::move(printable)),
      callback_(callback),
      user_(user) {}

RtspStream::~RtspStream() {
    stopped_ = true;
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
        else thread_.join();
    }
}

int RtspStream::Probe(Core& core, const std::string& url) {
    std::atomic<bool> never{false};
    Interrupt interrupt;
    interrupt.stopped = &never;
    Input input;
    int rc = OpenInput(core, url, &interrupt, &input);
    if (rc != QVX_OK) return rc;
    Reader r;
    r.input = std::move(input);
    return r.Choose();
}

int RtspStream::Open() {
    thread_ = std::thread([self = shared_from_this()] { self->Run(); });
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return settled_; });
    int result = openResult_;
    lock.unlock();
    if (result != QVX_OK) Stop();
    return result;
}

void RtspStream::Settle(int result) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (settled_) return;
    settled_ = true;
    openResult_ = result;
    wake_.notify_all();
}

void RtspStream::Raise(int32_t type) {
    if (!stopped_) core_.RaiseException(type, loginHandle_, handle_);
}

void RtspStream::Deliver(int32_t kind, const uint8_t* data, size_t bytes) {
    std::lock_guard<std::recursive_mutex> lock(deliverMutex_);
    if (stopped_) return;
    callback_(handle_, kind, data, int32_t(bytes), user_);
}

bool RtspStream::WaitReconnect() {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(core_.settings.reconnectIntervalMs.load()),
                   [this] { return stopped_.load(); });
    return !stopped_;
}

void RtspStream::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        wake_.notify_all();
    }
    Settle(QVX_ERR_FAILED);
    if (thread_.joinable()) {
        // From the stream's own callback the thread cannot wait for itself; it ends after the
        // callback returns and delivers nothing more (stopped_ is checked under the lock).
        if (thread_.get_id() == std::this_thread::get_id()) return;
        thread_.join();
    }
    std::lock_guard<std::recursive_mutex> lock(deliverMutex_);
}

void RtspStream::Hand(Reader& r, bool video, const uint8_t* body, size_t bodyBytes, int64_t ts, int kind) {
    FrameHeader h = video ? FrameHeader{kFrameKindVideo, uint32_t(bodyBytes), uint32_t(ts), uint32_t(kind)}
                          : FrameHeader{kFrameKindAudio, uint32_t(kAudioHeaderBytes + bodyBytes), uint32_t(ts), 0};
    if (bodyBytes > kMaxFrameDataLength - kAudioHeaderBytes) {
        Trace("rtsp %s: a frame of %zu bytes is dropped\n", printable_.c_str(), bodyBytes);
        if (video) r.keySeen = false;  // what follows refers to it
        return;
    }
    r.record.resize(sizeof h + h.dataLength);
    std::memcpy(r.record.data(), &h, sizeof h);
    uint8_t* out = r.record.data() + sizeof h;
    if (!video) {
        uint16_t audioHead[2] = {uint16_t(r.info.audioEncoding), uint16_t(bodyBytes)};
        std::memcpy(out, audioHead, sizeof audioHead);
        out += kAudioHeaderBytes;
    }
    std::memcpy(out, body, bodyBytes);
    Deliver(QVX_DATA_FRAME, r.record.data(), r.record.size());
}

void RtspStream::Run() {
    std::string name = "rtsp-" + std::to_string(handle_ % 100000000);
    pthread_setname_np(pthread_self(), name.c_str());
    bool opened = false;  // the first opening succeeded
    bool lost = false;    // reported lost, not yet restored
    Interrupt interrupt;
    interrupt.stopped = &stopped_;
    while (!stopped_) {
        Reader r;
        int rc = OpenInput(core_, url_, &interrupt, &r.input);
        if (rc == QVX_OK) rc = r.Choose();
        if (rc != QVX_OK) {
            if (stopped_) break;
            if (!opened) {
                Trace("rtsp %s: cannot open (%d)\n", printable_.c_str(), rc);
                Settle(rc);
                return;
            }
            if (rc == QVX_ERR_PASSWORD) {
                // Trying a refused password again could lock the account on the camera.
                Trace("rtsp %s: the camera refused the user name or password\n", printable_.c_str());
                Raise(QVX_EXCEPTION_LOGIN_REFUSED);
                return;
            }
            if (!WaitReconnect()) break;
            continue;
        }
        Deliver(QVX_DATA_STREAM_INFO, reinterpret_cast<const uint8_t*>(&r.info), sizeof r.info);
        if (!opened) {
            opened = true;
            Settle(QVX_OK);
        }
        bool restoring = lost;
        AVPacket* packet = av_packet_alloc();
        int silenceMs = core_.settings.silenceTimeoutMs.load();
        while (!stopped_ && packet) {
            interrupt.deadlineMs = NowMs() + silenceMs;
            if (av_read_frame(r.input.get(), packet) < 0) break;
            bool isVideo = packet->stream_index == r.video;
            bool isAudio = packet->stream_index == r.audio;
            if ((!isVideo && !isAudio) || packet->size <= 0) {
                av_packet_unref(packet);
                continue;
            }
            int64_t ts = r.TimestampMs(packet, isVideo ? 0 : 1);
            if (isAudio) {
                if (r.keySeen) {  // sound starts with the picture
                    Hand(r, false, packet->data, size_t(packet->size), ts < 0 ? NowMs() - r.startMs : ts, 0);
                }
                av_packet_unref(packet);
                continue;
            }
            std::vector<AccessUnitAssembler::Unit> units;
            r.assembler->Add(packet->data, size_t(packet->size), ts, &units);
            av_packet_unref(packet);
            for (AccessUnitAssembler::Unit& u : units) {
                std::vector<NalUnit> nals = SplitAnnexB(u.data.data(), u.data.size(), r.codec);
                r.sets->Learn(u.data.data(), u.data.size());
                int kind = PictureKind(nals, r.codec);
                if (kind == 1 || kind == 3) r.keySeen = true;
                if (kind == 0 || !r.keySeen) continue;
                if (restoring) {
                    restoring = false;
                    lost = false;
                    Raise(QVX_EXCEPTION_STREAM_RESTORED);
                }
                // A picture without a time of its own takes the wall clock, which may lag the
                // packets' time line; and a unit carries the time of its first piece. Neither may
                // take the stream back in time: the recorder's index and the players rely on it.
                int64_t at = std::max(u.timestamp < 0 ? NowMs() - r.startMs : u.timestamp, r.lastVideoMs);
                r.lastVideoMs = at;
                if (kind != 2) {
                    std::vector<uint8_t> prefixed = r.sets->Prefix(u.data.data(), u.data.size(), nals);
                    Hand(r, true, prefixed.data(), prefixed.size(), at, kind);
                } else {
                    Hand(r, true, u.data.data(), u.data.size(), at, kind);
                }
            }
        }
        av_packet_free(&packet);
        r.input.reset();
        if (stopped_) break;
        if (!lost) {
            lost = true;
            Trace("rtsp %s: stream lost\n", printable_.c_str());
            Raise(QVX_EXCEPTION_STREAM_LOST);
        }
        if (!WaitReconnect()) break;
    }
    Settle(QVX_ERR_FAILED);
}

}  // namespace ocv::sdk
