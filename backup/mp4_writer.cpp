#include "backup/mp4_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include "backup/h264_parameter_sets.h"
#include "backup/video_time_line.h"
#include "player/g711.h"
#include "shell/base/trace.h"

namespace ocv::backup {
namespace {

constexpr int kSampleRate = 8000;
constexpr int64_t kAacBitRate = 32000;
// Sound further than this from the pictures is brought back: half a second of samples.
constexpr uint64_t kSyncSlackSamples = kSampleRate / 2;
constexpr AVRational kMs{1, 1000};

std::string AvError(int rc) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(rc, text, sizeof text);
    return text;
}

}  // namespace

struct Mp4Writer::Impl {
    std::string path;
    std::string error;
    AVFormatContext* fmt = nullptr;
    AVStream* video = nullptr;
    AVStream* audio = nullptr;
    AVCodecContext* aac = nullptr;
    AVCodecContext* g726 = nullptr;  // decoder for 2-bit G.726 sound
    AVFrame* aacFrame = nullptr;
    AVFrame* decoded = nullptr;
    AVPacket* packet = nullptr;
    uint32_t audioEncoding = 0;
    bool headerWritten = false;
    VideoTimeLine timeLine;
    uint32_t videoFrames = 0;
    std::vector<float> pending;   // samples not yet given to the encoder
    uint64_t samplesTaken = 0;    // samples on the sound time line (given or pending)
    int64_t samplesEncoded = 0;   // pts of the next encoder frame
    std::vector<int16_t> pcm;

    bool Fail(const std::string& what) {
        error = what;
        Trace("backup: %s\n", error.c_str());
        return false;
    }
    bool FailAv(const char* what, int rc) { return Fail(std::string(what) + " " + path + ": " + AvError(rc)); }

    void Free() {
        if (fmt) {
            if (fmt->pb) avio_closep(&fmt->pb);
            avformat_free_context(fmt);
            fmt = nullptr;
        }
        video = audio = nullptr;
        avcodec_free_context(&aac);
        avcodec_free_context(&g726);
        av_frame_free(&aacFrame);
        av_frame_free(&decoded);
        av_packet_free(&packet);
        headerWritten = false;
    }

    bool OpenAudio() {
        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!encoder) return Fail("no AAC encoder in this libavcodec");
        aac = avcodec_alloc_context3(encoder);
        aac->sample_fmt = AV_SAMPLE_FMT_FLTP;
        aac->sample_rate = kSampleRate;
        av_channel_layout_default(&aac->ch_layout, 1);
        aac->bit_rate = kAacBitRate;
        aac->time_base = AVRational{1, kSampleRate};
        aac->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int rc = avcodec_open2(aac, encoder, nullptr);
        if (rc < 0) return FailAv("cannot start the AAC encoder for", rc);
        audio = avformat_new_stream(fmt, nullptr);
        if (!audio) return Fail("cannot add the sound track to " + path);
        rc = avcodec_parameters_from_context(audio->codecpar, aac);
        if (rc < 0) return FailAv("cannot describe the sound track of", rc);
        audio->time_base = aac->time_base;
        aacFrame = av_frame_alloc();
        aacFrame->format = AV_SAMPLE_FMT_FLTP;
        aacFrame->sample_rate = kSampleRate;
        av_channel_layout_default(&aacFrame->ch_layout, 1);
        aacFrame->nb_samples = aac->frame_size;
        rc = av_frame_get_buffer(aacFrame, 0);
        if (rc < 0) return FailAv("cannot allocate sound for", rc);
        if (audioEncoding == 4) {
            const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_ADPCM_G726);
            if (!decoder) return Fail("no G.726 decoder in this libavcodec");
            g726 = avcodec_alloc_context3(decoder);
            g726->sample_rate = kSampleRate;
            av_channel_layout_default(&g726->ch_layout, 1);
            g726->bits_per_coded_sample = 2;
            rc = avcodec_open2(g726, decoder, nullptr);
            if (rc < 0) return FailAv("cannot start the G.726 decoder for", rc);
            decoded = av_frame_alloc();
        }
        return true;
    }

    // Writes what the encoder has ready; flush drains it at the end.
    bool DrainEncoder() {
        for (;;) {
            int rc = avcodec_receive_packet(aac, packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            if (rc < 0) return FailAv("cannot encode the sound of", rc);
            av_packet_rescale_ts(packet, aac->time_base, audio->time_base);
            packet->stream_index = audio->index;
            rc = av_write_frame(fmt, packet);
            av_packet_unref(packet);
            if (rc < 0) return FailAv("cannot write", rc);
        }
    }

    bool EncodePending(bool final) {
        size_t frameSize = static_cast<size_t>(aac->frame_size);
        size_t used = 0;
        while (pending.size() - used >= frameSize || (final && pending.size() > used)) {
            size_t n = std::min(frameSize, pending.size() - used);
            int rc = av_frame_make_writable(aacFrame);
            if (rc < 0) return FailAv("cannot encode the sound of", rc);
            aacFrame->nb_samples = static_cast<int>(n);
            memcpy(aacFrame->data[0], pending.data() + used, n * sizeof(float));
            aacFrame->pts = samplesEncoded;
            samplesEncoded += static_cast<int64_t>(n);
            used += n;
            rc = avcodec_send_frame(aac, aacFrame);
            if (rc < 0) return FailAv("cannot encode the sound of", rc);
            if (!DrainEncoder()) return false;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(used));
        if (final) {
            int rc = avcodec_send_frame(aac, nullptr);
            if (rc < 0 && rc != AVERROR_EOF) return FailAv("cannot encode the sound of", rc);
            if (!DrainEncoder()) return false;
        }
        return true;
    }

    void Silence(uint64_t samples) {
        pending.insert(pending.end(), samples, 0.0f);
        samplesTaken += samples;
    }

    // The picture time line in samples: where the sound should be now.
    uint64_t PictureSamples(bool includingLastStep) const {
        uint64_t ms = timeLine.NowMs() + (includingLastStep ? timeLine.LastStepMs() : 0);
        return ms * kSampleRate / 1000;
    }

    bool DecodeSound(const uint8_t* codes, uint32_t size) {
        pcm.clear();
        if (audioEncoding == 1 || audioEncoding == 2) {
            pcm.resize(size);
            return player::DecodeG711(audioEncoding, codes, size, pcm.data()) == 0;
        }
        packet->data = const_cast<uint8_t*>(codes);
        packet->size = static_cast<int>(size);
        int rc = avcodec_send_packet(g726, packet);
        packet->data = nullptr;
        packet->size = 0;
        if (rc < 0) return true;  // a damaged sound frame is left out, not fatal
        while (avcodec_receive_frame(g726, decoded) == 0) {
            const int16_t* s = reinterpret_cast<const int16_t*>(decoded->data[0]);
            pcm.insert(pcm.end(), s, s + decoded->nb_samples);
            av_frame_unref(decoded);
        }
        return true;
    }
};

Mp4Writer::Mp4Writer() : impl_(std::make_unique<Impl>()) {}

Mp4Writer::~Mp4Writer() { Abort(); }

bool Mp4Writer::IsOpen() const { return impl_->fmt != nullptr; }
bool Mp4Writer::HasAudio() const { return impl_->audio != nullptr; }
uint32_t Mp4Writer::VideoFrames() const { return impl_->videoFrames; }
const std::string& Mp4Writer::Error() const { return impl_->error; }

int Mp4Writer::Open(const std::string& path, uint32_t width, uint32_t height,
                    uint32_t audioEncoding, uint32_t nominalStepMs) {
    Impl& m = *impl_;
    if (m.fmt || path.empty() || width == 0 || height == 0) {
        m.error = "MP4 writer: bad arguments";
        return -1;
    }
    m.path = path;
    m.error.clear();
    m.audioEncoding = audioEncoding;
    m.timeLine = VideoTimeLine(nominalStepMs);
    m.videoFrames = 0;
    m.pending.clear();
    m.samplesTaken = 0;
    m.samplesEncoded = 0;

    int rc = avformat_alloc_output_context2(&m.fmt, nullptr, "mp4", path.c_str());
    if (rc < 0 || !m.fmt) {
        m.FailAv("cannot prepare", rc);
        m.fmt = nullptr;
        return -1;
    }
    m.packet = av_packet_alloc();
    m.video = avformat_new_stream(m.fmt, nullptr);
    bool ok = m.video != nullptr && m.packet != nullptr;
    if (ok) {
        m.video->time_base = kMs;
        AVCodecParameters* p = m.video->codecpar;
        p->codec_type = AVMEDIA_TYPE_VIDEO;
        p->codec_id = AV_CODEC_ID_H264;
        p->width = static_cast<int>(width);
        p->height = static_cast<int>(height);
        p->format = AV_PIX_FMT_YUV420P;
    } else {
        m.Fail("cannot prepare " + path);
    }
    if (ok && (audioEncoding == 1 || audioEncoding == 2 || audioEncoding == 4)) ok = m.OpenAudio();
    if (ok) {
        rc = avio_open(&m.fmt->pb, path.c_str(), AVIO_FLAG_WRITE);
        if (rc < 0) ok = m.FailAv("cannot create", rc);
    }
    if (!ok) {
        m.Free();
        return -1;
    }
    return 0;
}

int Mp4Writer::WriteVideo(const uint8_t* data, uint32_t size, bool keyFrame, uint32_t timestampMs) {
    Impl& m = *impl_;
    if (!m.fmt) return -1;
    if (!m.headerWritten) {
        if (!keyFrame) return 0;
        std::string sets = H264ParameterSets(data, size);
        if (sets.empty()) return 0;
        AVCodecParameters* p = m.video->codecpar;
        p->extradata = static_cast<uint8_t*>(av_mallocz(sets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        memcpy(p->extradata, sets.data(), sets.size());
        p->extradata_size = static_cast<int>(sets.size());
        AVDictionary* options = nullptr;
        av_dict_set(&options, "movflags", "+faststart", 0);
        int rc = avformat_write_header(m.fmt, &options);
        av_dict_free(&options);
        if (rc < 0) {
            m.FailAv("cannot write the header of", rc);
            return -1;
        }
        m.headerWritten = true;
    }
    uint64_t t = m.timeLine.Add(timestampMs);
    AVPacket* pkt = m.packet;
    pkt->data = const_cast<uint8_t*>(data);
    pkt->size = static_cast<int>(size);
    pkt->stream_index = m.video->index;
    pkt->pts = pkt->dts = av_rescale_q(static_cast<int64_t>(t), kMs, m.video->time_base);
    pkt->duration = av_rescale_q(m.timeLine.LastStepMs(), kMs, m.video->time_base);
    pkt->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
    int rc = av_write_frame(m.fmt, pkt);
    pkt->data = nullptr;
    pkt->size = 0;
    if (rc < 0) {
        m.FailAv("cannot write", rc);
        return -1;
    }
    ++m.videoFrames;
    return 0;
}

int Mp4Writer::WriteAudio(const uint8_t* codes, uint32_t size) {
    Impl& m = *impl_;
    if (!m.fmt) return -1;
    // Sound before the first picture has no place on the time line yet.
    if (!m.audio || !m.headerWritten || size == 0) return 0;
    if (!m.DecodeSound(codes, size) || m.pcm.empty()) return 0;
    uint64_t expected = m.PictureSamples(false);
    if (m.samplesTaken + kSyncSlackSamples < expected) {
        m.Silence(expected - m.samplesTaken);
    } else if (m.samplesTaken > expected + kSyncSlackSamples) {
        return 0;
    }
    for (int16_t s : m.pcm) m.pending.push_back(static_cast<float>(s) / 32768.0f);
    m.samplesTaken += m.pcm.size();
    return m.EncodePending(false) ? 0 : -1;
}

int Mp4Writer::Close() {
    Impl& m = *impl_;
    if (!m.fmt) return -1;
    bool ok = true;
    if (!m.headerWritten) ok = m.Fail(m.path + ": no key frame with H.264 parameter sets to begin the file");
    if (ok && m.audio) {
        // The sound track ends with the last picture.
        uint64_t end = m.PictureSamples(true);
        if (m.samplesTaken < end) m.Silence(end - m.samplesTaken);
        ok = m.EncodePending(true);
    }
    if (ok) {
        int rc = av_write_trailer(m.fmt);
        if (rc < 0) ok = m.FailAv("cannot finish", rc);
    }
    if (ok && m.fmt->pb->error < 0) ok = m.FailAv("cannot write", m.fmt->pb->error);
    if (m.fmt->pb) {
        int rc = avio_closep(&m.fmt->pb);
        if (rc < 0 && ok) ok = m.FailAv("cannot close", rc);
    }
    if (ok) {
        int fd = ::open(m.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || fsync(fd) != 0) ok = m.Fail("cannot sync " + m.path + ": " + strerror(errno));
        if (fd >= 0) ::close(fd);
    }
    m.Free();
    return ok ? 0 : -1;
}

void Mp4Writer::Abort() { impl_->Free(); }

}  // namespace ocv::backup
