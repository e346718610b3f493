#include "backup/mp4_writer.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include "backup/aac_encoder.h"
#include "backup/h264_parameter_sets.h"
#include "backup/mp4_index_mover.h"
#include "backup/video_time_line.h"
#include "base/g711.h"
#include "base/media_types.h"
#include "base/trace.h"

namespace ocv::backup {
namespace {

constexpr int kSampleRate = AacEncoder::kSampleRate;
// Sound further than this from the pictures is brought back: half a second of samples.
constexpr uint64_t kSyncSlackSamples = kSampleRate / 2;
constexpr AVRational kMs{1, 1000};
// Writes reach the file in pieces this large (libavformat's own file output uses 32 KiB).
constexpr int kOutputBufferBytes = 1 << 20;

std::string AvError(int rc) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(rc, text, sizeof text);
    return text;
}

int WriteToFd(void* opaque, uint8_t* data, int size) {
    int fd = *static_cast<int*>(opaque);
    int left = size;
    while (left > 0) {
        ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return AVERROR(n < 0 ? errno : EIO);
        data += n;
        left -= static_cast<int>(n);
    }
    return size;
}

int64_t SeekFd(void* opaque, int64_t offset, int whence) {
    int fd = *static_cast<int*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        return fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
    }
    off_t at = lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

}  // namespace

struct Mp4Writer::Impl {
    std::string path;
    std::string error;
    int fd = -1;
    AVFormatContext* fmt = nullptr;
    AVStream* video = nullptr;
    AVStream* audio = nullptr;
    AVPacket* packet = nullptr;
    bool headerWritten = false;
    bool hevc = false;
    VideoTimeLine timeLine;
    // Pictures stamped on arrival come with jitter (one late, the next right behind it). A
    // player that assumes a steady rate would put two such pictures into one frame slot, so
    // every picture gets a slot of its own on a grid of the stream's step: the slot nearest its
    // time, or the next free one. The sound follows this grid too.
    uint32_t gridStepMs = 40;
    uint64_t lastSlot = 0;
    uint64_t GridMs() const { return lastSlot * gridStepMs; }
    uint32_t videoFrames = 0;
    std::vector<uint8_t> picture;  // the current picture with NAL lengths

    uint32_t audioEncoding = 0;
    std::unique_ptr<AacEncoder> encoder;
    AVCodecContext* g726 = nullptr;  // decoder for 2-bit G.726 sound
    AVFrame* decoded = nullptr;
    std::vector<int16_t> pcm;
    std::vector<float> samples;
    std::vector<AVPacket*> encoded;
    uint64_t samplesTaken = 0;  // samples on the sound time line so far

    bool Fail(const std::string& what) {
        error = what;
        Trace("backup: %s\n", error.c_str());
        return false;
    }
    bool FailAv(const char* what, int rc) { return Fail(std::string(what) + " " + path + ": " + AvError(rc)); }

    void Free() {
        if (encoder) encoder->Stop();
        encoder.reset();
        for (AVPacket*& p : encoded) av_packet_free(&p);
        encoded.clear();
        if (fmt) {
            if (fmt->pb) {
                av_freep(&fmt->pb->buffer);
                avio_context_free(&fmt->pb);
            }
            avformat_free_context(fmt);
            fmt = nullptr;
        }
        if (fd >= 0) ::close(fd);
        fd = -1;
        video = audio = nullptr;
        avcodec_free_context(&g726);
        av_frame_free(&decoded);
        av_packet_free(&packet);
        headerWritten = false;
    }

    bool OpenOutput() {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return Fail("cannot create " + path + ": " + strerror(errno));
        auto* buffer = static_cast<uint8_t*>(av_malloc(kOutputBufferBytes));
        fmt->pb = avio_alloc_context(buffer, kOutputBufferBytes, 1, &fd, nullptr, WriteToFd, SeekFd);
        if (!fmt->pb) {
            av_free(buffer);
            return Fail("cannot prepare " + path);
        }
        fmt->pb->seekable = AVIO_SEEKABLE_NORMAL;  // sizes and the index are written back
        fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
        return true;
    }

    bool OpenAudio() {
        encoder = std::make_unique<AacEncoder>();
        if (encoder->Start() != 0) return Fail(encoder->Error() + " for " + path);
        audio = avformat_new_stream(fmt, nullptr);
        if (!audio) return Fail("cannot add the sound track to " + path);
        int rc = avcodec_parameters_from_context(audio->codecpar, encoder->Context());
        if (rc < 0) return FailAv("cannot describe the sound track of", rc);
        audio->time_base = AVRational{1, kSampleRate};
        if (audioEncoding == kAudioAdpcm2Bit) {
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

    // Writes the sound the encoder thread has finished so far.
    bool WriteEncoded() {
        encoder->TakePackets(&encoded);
        bool ok = true;
        for (AVPacket*& p : encoded) {
            if (ok) {
                av_packet_rescale_ts(p, AVRational{1, kSampleRate}, audio->time_base);
                p->stream_index = audio->index;
                int rc = av_write_frame(fmt, p);
                if (rc < 0) ok = FailAv("cannot write", rc);
            }
            av_packet_free(&p);
        }
        encoded.clear();
        return ok;
    }

    void Push(size_t count, bool silence) {
        samples.resize(count);
        if (silence) {
            std::fill(samples.begin(), samples.end(), 0.0f);
        } else {
            for (size_t i = 0; i < count; ++i) samples[i] = static_cast<float>(pcm[i]) / 32768.0f;
        }
        encoder->Push(samples.data(), count);
        samplesTaken += count;
    }

    // The picture time line in samples: where the sound should be now.
    uint64_t PictureSamples(bool includingLastStep) const {
        uint64_t ms = GridMs() + (includingLastStep ? gridStepMs : 0);
        return ms * kSampleRate / 1000;
    }

    void DecodeSound(const uint8_t* codes, uint32_t size) {
        pcm.clear();
        if (audioEncoding == kAudioG711ALaw || audioEncoding == kAudioG711MuLaw) {
            pcm.resize(size);
            g711::Decode(audioEncoding, codes, size, pcm.data());
            return;
        }
        packet->data = const_cast<uint8_t*>(codes);
        packet->size = static_cast<int>(size);
        int rc = avcodec_send_packet(g726, packet);
        packet->data = nullptr;
        packet->size = 0;
        if (rc < 0) return;  // a damaged sound frame is left out
        while (avcodec_receive_frame(g726, decoded) == 0) {
            const auto* s = reinterpret_cast<const int16_t*>(decoded->data[0]);
            pcm.insert(pcm.end(), s, s + decoded->nb_samples);
            av_frame_unref(decoded);
        }
    }
};

Mp4Writer::Mp4Writer() : impl_(std::make_unique<Impl>()) {}

Mp4Writer::~Mp4Writer() { Abort(); }

bool Mp4Writer::IsOpen() const { return impl_->fmt != nullptr; }
bool Mp4Writer::HasAudio() const { return impl_->audio != nullptr; }
uint32_t Mp4Writer::VideoFrames() const { return impl_->videoFrames; }
const std::string& Mp4Writer::Error() const { return impl_->error; }

int Mp4Writer::Open(const std::string& path, uint32_t width, uint32_t height,
                    uint32_t audioEncoding, uint32_t nominalStepMs, uint32_t videoCodec) {
    Impl& m = *impl_;
    if (m.fmt || path.empty() || width == 0 || height == 0) {
        m.error = "MP4 writer: bad arguments";
        return -1;
    }
    if (videoCodec != 0 && videoCodec != kVideoCodecH264 && videoCodec != kVideoCodecH265) {
        m.Fail(path + ": video that is neither H.264 nor H.265 (codec " + std::to_string(videoCodec) + ")");
        return -1;
    }
    m.hevc = videoCodec == kVideoCodecH265;
    m.path = path;
    m.error.clear();
    m.audioEncoding = audioEncoding;
    m.timeLine = VideoTimeLine(nominalStepMs);
    m.gridStepMs = nominalStepMs == 0 || nominalStepMs > VideoTimeLine::kMaxStepMs ? 40 : nominalStepMs;
    m.lastSlot = 0;
    m.videoFrames = 0;
    m.samplesTaken = 0;

    int rc = avformat_alloc_output_context2(&m.fmt, nullptr, "mp4", path.c_str());
    if (rc < 0 || !m.fmt) {
        m.fmt = nullptr;
        m.FailAv("cannot prepare", rc);
        return -1;
    }
    m.packet = av_packet_alloc();
    m.video = avformat_new_stream(m.fmt, nullptr);
    bool ok = m.video && m.packet ? true : m.Fail("cannot prepare " + path);
    if (ok) {
        m.video->time_base = kMs;
        AVCodecParameters* p = m.video->codecpar;
        p->codec_type = AVMEDIA_TYPE_VIDEO;
        p->codec_id = m.hevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
        p->width = static_cast<int>(width);
        p->height = static_cast<int>(height);
        p->format = AV_PIX_FMT_YUV420P;
    }
    bool sound = audioEncoding == kAudioG711ALaw || audioEncoding == kAudioG711MuLaw ||
                 audioEncoding == kAudioAdpcm2Bit;
    if (ok && sound) ok = m.OpenAudio();
    if (ok) ok = m.OpenOutput();
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
        // MP4 keeps the parameter sets in the track header (avcC) and each NAL unit behind its
        // length; handing libavformat that form spares it a second pass over every picture.
        // H.265 goes in Annex-B form: given Annex-B parameter sets, the muxer builds the hvcC
        // record from them and puts each picture's NAL units behind their lengths itself.
        std::string sets = m.hevc ? HevcParameterSets(data, size) : AvcDecoderConfiguration(data, size);
        if (sets.empty()) return 0;
        AVCodecParameters* p = m.video->codecpar;
        p->extradata = static_cast<uint8_t*>(av_mallocz(sets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        memcpy(p->extradata, sets.data(), sets.size());
        p->extradata_size = static_cast<int>(sets.size());
        // The index is written at the end and moved to the front on Close (mp4_index_mover.h).
        int rc = avformat_write_header(m.fmt, nullptr);
        if (rc < 0) {
            m.FailAv("cannot write the header of", rc);
            return -1;
        }
        m.headerWritten = true;
    }
    const uint64_t own = m.timeLine.Add(timestampMs);
    const uint64_t nearest = (own + m.gridStepMs / 2) / m.gridStepMs;
    m.lastSlot = m.videoFrames == 0 ? 0 : std::max(nearest, m.lastSlot + 1);
    const uint64_t t = m.GridMs();
    if (m.hevc) m.picture.assign(data, data + size);
    else AnnexBToLengthPrefixed(data, size, &m.picture);
    AVPacket* pkt = m.packet;
    pkt->data = m.picture.data();
    pkt->size = static_cast<int>(m.picture.size());
    pkt->stream_index = m.video->index;
    pkt->pts = pkt->dts = av_rescale_q(static_cast<int64_t>(t), kMs, m.video->time_base);
    pkt->duration = av_rescale_q(m.gridStepMs, kMs, m.video->time_base);
    pkt->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
    int rc = av_write_frame(m.fmt, pkt);
    pkt->data = nullptr;
    pkt->size = 0;
    if (rc < 0) {
        m.FailAv("cannot write", rc);
        return -1;
    }
    ++m.videoFrames;
    if (m.encoder && !m.WriteEncoded()) return -1;
    return 0;
}

int Mp4Writer::WriteAudio(const uint8_t* codes, uint32_t size) {
    Impl& m = *impl_;
    if (!m.fmt) return -1;
    // Sound before the first picture has no place on the time line yet.
    if (!m.encoder || !m.headerWritten || size == 0) return 0;
    m.DecodeSound(codes, size);
    if (m.pcm.empty()) return 0;
    uint64_t expected = m.PictureSamples(false);
    if (m.samplesTaken + kSyncSlackSamples < expected) {
        m.Push(expected - m.samplesTaken, true);
    } else if (m.samplesTaken > expected + kSyncSlackSamples) {
        return 0;
    }
    m.Push(m.pcm.size(), false);
    return 0;
}

int Mp4Writer::Close() {
    Impl& m = *impl_;
    if (!m.fmt) return -1;
    bool ok = m.headerWritten ? true
                              : m.Fail(m.path + ": no key frame with the parameter sets to begin the file");
    if (ok && m.encoder) {
        // The sound track ends with the last picture.
        uint64_t end = m.PictureSamples(true);
        if (m.samplesTaken < end) m.Push(end - m.samplesTaken, true);
        if (m.encoder->Finish() != 0) ok = m.Fail(m.encoder->Error() + " of " + m.path);
        ok = ok && m.WriteEncoded();
    }
    if (ok) {
        int rc = av_write_trailer(m.fmt);
        if (rc < 0) ok = m.FailAv("cannot finish", rc);
    }
    if (ok) {
        avio_flush(m.fmt->pb);
        if (m.fmt->pb->error < 0) ok = m.FailAv("cannot write", m.fmt->pb->error);
    }
    if (ok) {
        std::string why;
        int rc = MoveMp4IndexToFront(m.fd, true, &why);
        if (rc == -2) Trace("backup: %s keeps its index at the end: %s\n", m.path.c_str(), why.c_str());
        if (rc == -1) ok = m.Fail(m.path + ": " + why);
    }
    if (ok && fsync(m.fd) != 0) ok = m.Fail("cannot sync " + m.path + ": " + strerror(errno));
    if (ok) {
        int fd = m.fd;
        m.fd = -1;
        if (::close(fd) != 0) ok = m.Fail("cannot close " + m.path + ": " + strerror(errno));
    }
    m.Free();
    return ok ? 0 : -1;
}

void Mp4Writer::Abort() { impl_->Free(); }

}  // namespace ocv::backup
