#include "backup/aac_encoder.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include "base/trace.h"

namespace ocv::backup {
namespace {

constexpr int64_t kBitRate = 32000;
// The thread wakes for this much sound at a time (about a second), not for every frame.
constexpr size_t kWakeSamples = 8 * 1024;

std::string AvError(int rc) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(rc, text, sizeof text);
    return text;
}

}  // namespace

AacEncoder::~AacEncoder() { Stop(); }

int AacEncoder::Start() {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) {
        error_ = "no AAC encoder in this libavcodec";
        return -1;
    }
    context_ = avcodec_alloc_context3(codec);
    context_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context_->sample_rate = kSampleRate;
    av_channel_layout_default(&context_->ch_layout, 1);
    context_->bit_rate = kBitRate;
    context_->time_base = AVRational{1, kSampleRate};
    context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // the MP4 sample entry carries the config
    // The default search for the best coding costs several times more; the fast coder is ample
    // for 8 kHz speech and room sound.
    av_opt_set(context_->priv_data, "aac_coder", "fast", 0);
    int rc = avcodec_open2(context_, codec, nullptr);
    if (rc < 0) {
        error_ = "cannot start the AAC encoder: " + AvError(rc);
        avcodec_free_context(&context_);
        return -1;
    }
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "backup-aac");
        Run();
    });
    return 0;
}

void AacEncoder::Push(const float* samples, size_t count) {
    bool wake;
    {
        std::lock_guard lock(mutex_);
        if (!error_.empty()) return;  // the thread has ended; nothing would take the sound
        incoming_.insert(incoming_.end(), samples, samples + count);
        wake = incoming_.size() >= kWakeSamples;
    }
    if (wake) wake_.notify_one();
}

void AacEncoder::TakePackets(std::vector<AVPacket*>* out) {
    std::lock_guard lock(mutex_);
    out->insert(out->end(), ready_.begin(), ready_.end());
    ready_.clear();
}

std::string AacEncoder::Error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

int AacEncoder::Finish() {
    if (!thread_.joinable()) return -1;
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_one();
    thread_.join();
    std::lock_guard lock(mutex_);
    return error_.empty() ? 0 : -1;
}

void AacEncoder::Stop() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    std::lock_guard lock(mutex_);
    for (AVPacket*& p : ready_) av_packet_free(&p);
    ready_.clear();
    avcodec_free_context(&context_);
}

bool AacEncoder::Drain() {
    AVPacket* packet = av_packet_alloc();
    for (;;) {
        int rc = avcodec_receive_packet(context_, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
        if (rc < 0) {
            av_packet_free(&packet);
            std::lock_guard lock(mutex_);
            error_ = "cannot encode the sound: " + AvError(rc);
            return false;
        }
        AVPacket* done = av_packet_alloc();
        av_packet_move_ref(done, packet);
        std::lock_guard lock(mutex_);
        ready_.push_back(done);
    }
    av_packet_free(&packet);
    return true;
}

bool AacEncoder::EncodeFrames(std::vector<float>* pending, bool final) {
    size_t frameSize = static_cast<size_t>(context_->frame_size);
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->sample_rate = kSampleRate;
    av_channel_layout_default(&frame->ch_layout, 1);
    size_t used = 0;
    bool ok = true;
    // Every frame but the last holds exactly frameSize samples.
    while (ok && (pending->size() - used >= frameSize || (final && pending->size() > used))) {
        size_t n = std::min(frameSize, pending->size() - used);
        frame->nb_samples = static_cast<int>(n);
        int rc = av_frame_get_buffer(frame, 0);
        if (rc >= 0) {
            memcpy(frame->data[0], pending->data() + used, n * sizeof(float));
            frame->pts = nextPts_;
            nextPts_ += static_cast<int64_t>(n);
            rc = avcodec_send_frame(context_, frame);
        }
        av_frame_unref(frame);
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = kSampleRate;
        av_channel_layout_default(&frame->ch_layout, 1);
        if (rc < 0) {
            std::lock_guard lock(mutex_);
            error_ = "cannot encode the sound: " + AvError(rc);
            ok = false;
        }
        used += n;
        ok = ok && Drain();
    }
    av_frame_free(&frame);
    pending->erase(pending->begin(), pending->begin() + static_cast<ptrdiff_t>(used));
    if (ok && final) {
        avcodec_send_frame(context_, nullptr);
        ok = Drain();
    }
    return ok;
}

void AacEncoder::Run() {
    std::vector<float> pending;
    for (;;) {
        bool final;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || finishing_ || incoming_.size() >= kWakeSamples; });
            if (stopping_) return;
            final = finishing_;
            pending.insert(pending.end(), incoming_.begin(), incoming_.end());
            incoming_.clear();
        }
        if (!EncodeFrames(&pending, final) || final) return;
    }
}

}  // namespace ocv::backup
