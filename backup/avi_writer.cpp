#include "backup/avi_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "base/trace.h"

namespace ocv::backup {
namespace {

constexpr uint32_t FourCc(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

constexpr uint32_t kVideoChunk = FourCc("00dc");
constexpr uint32_t kAudioChunk = FourCc("01wb");
constexpr size_t kBufferBytes = 1 << 20;
constexpr size_t kDirectWriteBytes = 256 << 10;

// Main header flags: the file has an index, and sound lies next to its pictures.
constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
// Frame rates outside this band (in thousandths of a frame per second) are measurement noise.
constexpr uint32_t kMinRateMilli = 1000;
constexpr uint32_t kMaxRateMilli = 240000;

class Bytes {
public:
    void U16(uint32_t v) {
        s_ += static_cast<char>(v & 0xFF);
        s_ += static_cast<char>((v >> 8) & 0xFF);
    }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) s_ += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void Tag(const char (&t)[5]) { s_.append(t, 4); }
    void Raw(const char* p, size_t n) { s_.append(p, n); }
    size_t Size() const { return s_.size(); }
    // Writes a 32-bit size at a position reserved earlier.
    void PatchU32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) s_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    std::string Take() { return std::move(s_); }

private:
    std::string s_;
};

uint32_t Clamp32(uint64_t v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

}  // namespace

bool AviAudioFormatFor(uint32_t audioEncoding, AviAudioFormat* out) {
    AviAudioFormat f;
    switch (audioEncoding) {
        case 1:  // G.711 A-law
        case 2:  // G.711 mu-law
            f.formatTag = audioEncoding == 1 ? kWaveFormatALaw : kWaveFormatMuLaw;
            f.bytesPerSecond = 8000;
            f.bitsPerSample = 8;
            memcpy(f.handler, "g711", 4);
            break;
        case 4:  // G.726, 2 bits a sample
            f.formatTag = kWaveFormatG726;
            f.bytesPerSecond = 2000;
            f.bitsPerSample = 2;
            memcpy(f.handler, "g726", 4);
            break;
        default:
            return false;
    }
    *out = f;
    return true;
}

AviWriter::~AviWriter() { Abort(); }

std::string AviWriter::BuildHeaders(bool withIndex) const {
    uint32_t frames = videoFrames_;
    uint32_t usPerFrame = static_cast<uint32_t>(std::lround(1e9 / rateMilli_));
    double seconds = rateMilli_ ? frames * 1000.0 / rateMilli_ : 0;
    uint64_t moviBytes = fileBytes_ > headerBytes_ ? fileBytes_ - headerBytes_ : 0;
    uint32_t maxBytesPerSec = seconds > 0 ? Clamp32(static_cast<uint64_t>(moviBytes / seconds)) : 0;
    uint32_t maxChunk = std::max(maxVideoChunk_, maxAudioChunk_);

    Bytes b;
    b.Tag("RIFF");
    b.U32(0);  // patched below
    b.Tag("AVI ");
    b.Tag("LIST");
    size_t hdrlSizeAt = b.Size();
    b.U32(0);
    b.Tag("hdrl");

    b.Tag("avih");
    b.U32(56);
    b.U32(usPerFrame);
    b.U32(maxBytesPerSec);
    b.U32(0);  // padding granularity
    b.U32(kAvifHasIndex | (hasAudio_ ? kAvifIsInterleaved : 0));
    b.U32(frames);
    b.U32(0);  // initial frames
    b.U32(hasAudio_ ? 2 : 1);
    b.U32(maxChunk + 8);
    b.U32(video_.width);
    b.U32(video_.height);
    for (int i = 0; i < 4; ++i) b.U32(0);

    // Picture stream.
    b.Tag("LIST");
    size_t strlSizeAt = b.Size();
    b.U32(0);
    b.Tag("strl");
    b.Tag("strh");
    b.U32(56);
    b.Tag("vids");
    b.Tag(video_.hevc ? "HEVC" : "x264");
    b.U32(0);  // flags
    b.U16(0);  // priority
    b.U16(0);  // language
    b.U32(0);  // initial frames
    b.U32(1000);  // scale: the rate is in thousandths
    b.U32(rateMilli_);
    b.U32(0);  // start
    b.U32(frames);
    b.U32(maxVideoChunk_);
    b.U32(0xFFFFFFFFu);  // quality: default
    b.U32(0);            // sample size: varies
    b.U16(0);
    b.U16(0);
    b.U16(video_.width & 0xFFFF);
    b.U16(video_.height & 0xFFFF);
    b.Tag("strf");
    b.U32(40);
    b.U32(40);  // BITMAPINFOHEADER size
    b.U32(video_.width);
    b.U32(video_.height);
    b.U16(1);   // planes
    b.U16(24);  // bits per pixel of the decoded picture
    b.Tag(video_.hevc ? "HEVC" : "H264");
    b.U32(Clamp32(static_cast<uint64_t>(video_.width) * video_.height * 3));
    b.U32(0);
    b.U32(0);
    b.U32(0);
    b.U32(0);
    b.PatchU32(strlSizeAt, static_cast<uint32_t>(b.Size() - strlSizeAt - 4));

    if (hasAudio_) {
        b.Tag("LIST");
        size_t at = b.Size();
        b.U32(0);
        b.Tag("strl");
        b.Tag("strh");
        b.U32(56);
        b.Tag("auds");
        b.Raw(audio_.handler, 4);
        b.U32(0);
        b.U16(0);
        b.U16(0);
        b.U32(0);
        b.U32(audio_.blockAlign);      // scale
        b.U32(audio_.bytesPerSecond);  // rate: blocks per second with one-byte blocks
        b.U32(0);
        b.U32(Clamp32(audioBytes_ / audio_.blockAlign));
        b.U32(maxAudioChunk_);
        b.U32(0xFFFFFFFFu);
        b.U32(audio_.blockAlign);
        for (int i = 0; i < 4; ++i) b.U16(0);
        b.Tag("strf");
        b.U32(18);
        b.U16(audio_.formatTag);
        b.U16(audio_.channels);
        b.U32(audio_.samplesPerSecond);
        b.U32(audio_.bytesPerSecond);
        b.U16(audio_.blockAlign);
        b.U16(audio_.bitsPerSample);
        b.U16(0);  // no extra format bytes
        b.PatchU32(at, static_cast<uint32_t>(b.Size() - at - 4));
    }
    b.PatchU32(hdrlSizeAt, static_cast<uint32_t>(b.Size() - hdrlSizeAt - 4));

    b.Tag("LIST");
    size_t moviSizeAt = b.Size();
    b.U32(0);
    b.Tag("movi");
    // movi runs from its tag to the end of the last chunk; RIFF covers the whole file.
    uint64_t headerEnd = b.Size();
    uint64_t moviEnd = std::max<uint64_t>(fileBytes_, headerEnd);
    b.PatchU32(moviSizeAt, Clamp32(moviEnd - (moviSizeAt + 4)));
    uint64_t indexBytes = withIndex ? 8 + 16ull * index_.size() : 0;
    b.PatchU32(4, Clamp32(moviEnd + indexBytes - 8));
    return b.Take();
}

bool AviWriter::FailErrno(const char* what) {
    error_ = std::string(what) + " " + path_ + ": " + strerror(errno);
    Trace("backup: %s\n", error_.c_str());
    return false;
}

bool AviWriter::WriteAll(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return FailErrno("cannot write");
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool AviWriter::Flush() {
    if (buffered_ == 0) return true;
    bool ok = WriteAll(buffer_.data(), buffered_);
    buffered_ = 0;
    return ok;
}

bool AviWriter::Append(const void* data, size_t size) {
    if (size >= kDirectWriteBytes) {
        if (!Flush()) return false;
        return WriteAll(data, size);
    }
    if (buffered_ + size > buffer_.size() && !Flush()) return false;
    memcpy(buffer_.data() + buffered_, data, size);
    buffered_ += size;
    return true;
}

void AviWriter::CloseFd() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffered_ = 0;
}

int AviWriter::Open(const std::string& path, const AviVideoFormat& video,
                    const AviAudioFormat* audio) {
    if (fd_ >= 0 || path.empty() || video.width == 0 || video.height == 0) {
        error_ = "AVI writer: bad arguments";
        return -1;
    }
    path_ = path;
    error_.clear();
    video_ = video;
    hasAudio_ = audio != nullptr && audio->blockAlign > 0;
    if (hasAudio_) audio_ = *audio;
    index_.clear();
    videoFrames_ = 0;
    audioBytes_ = videoBytes_ = 0;
    maxVideoChunk_ = maxAudioChunk_ = 0;
    timeLine_ = VideoTimeLine(video.nominalStepMs);
    rateMilli_ = 1000000 / timeLine_.LastStepMs();
    fileBytes_ = 0;
    buffer_.resize(kBufferBytes);
    buffered_ = 0;

    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        FailErrno("cannot create");
        return -1;
    }
    std::string headers = BuildHeaders(false);
    headerBytes_ = static_cast<uint32_t>(headers.size());
    if (!Append(headers.data(), headers.size())) {
        CloseFd();
        return -1;
    }
    fileBytes_ = headerBytes_;
    return 0;
}

int AviWriter::AppendChunk(uint32_t id, const uint8_t* data, uint32_t size, uint32_t flags) {
    uint64_t padded = size + (size & 1u);
    uint64_t after = fileBytes_ + 8 + padded;
    if (after + 8 + 16ull * (index_.size() + 1) > kMaxFileBytes) {
        error_ = "the AVI file " + path_ + " would pass the 4 GiB the format allows";
        Trace("backup: %s\n", error_.c_str());
        return -1;
    }
    uint32_t header[2] = {id, size};
    static const uint8_t kPad = 0;
    if (!Append(header, sizeof header) || (size > 0 && !Append(data, size)) ||
        ((size & 1u) && !Append(&kPad, 1)))
        return -1;
    // Offsets count from the "movi" tag, which lies 4 bytes before the first chunk.
    index_.push_back(IndexEntry{id, flags, static_cast<uint32_t>(fileBytes_ - (headerBytes_ - 4)), size});
    fileBytes_ = after;
    return 0;
}

int AviWriter::WriteVideo(const uint8_t* data, uint32_t size, bool keyFrame, uint32_t timestampMs) {
    if (fd_ < 0) return -1;
    if (AppendChunk(kVideoChunk, data, size, keyFrame ? kIndexKeyFrame : 0) != 0) return -1;
    timeLine_.Add(timestampMs);
    ++videoFrames_;
    videoBytes_ += size;
    maxVideoChunk_ = std::max(maxVideoChunk_, size);
    return 0;
}

int AviWriter::WriteAudio(const uint8_t* data, uint32_t size) {
    if (fd_ < 0) return -1;
    if (!hasAudio_ || size == 0) return 0;
    // Every sound chunk can be started on its own.
    if (AppendChunk(kAudioChunk, data, size, kIndexKeyFrame) != 0) return -1;
    audioBytes_ += size;
    maxAudioChunk_ = std::max(maxAudioChunk_, size);
    return 0;
}

int AviWriter::Close() {
    if (fd_ < 0) return -1;
    // The measured rate: pictures over the time they span on the export's time line.
    if (videoFrames_ >= 2 && timeLine_.NowMs() > 0) {
        double rate = (videoFrames_ - 1) * 1e6 / static_cast<double>(timeLine_.NowMs());
        rateMilli_ = static_cast<uint32_t>(
            std::clamp<double>(std::round(rate), kMinRateMilli, kMaxRateMilli));
    }
    bool ok = true;
    uint32_t idxHeader[2] = {FourCc("idx1"), static_cast<uint32_t>(16 * index_.size())};
    ok = Append(idxHeader, sizeof idxHeader);
    if (ok && !index_.empty()) ok = Append(index_.data(), index_.size() * sizeof(IndexEntry));
    ok = ok && Flush();
    if (ok) {
        std::string headers = BuildHeaders(true);
        if (headers.size() != headerBytes_) {
            error_ = "AVI writer: header size changed";
            ok = false;
        } else if (pwrite(fd_, headers.data(), headers.size(), 0) != static_cast<ssize_t>(headers.size())) {
            ok = FailErrno("cannot write the headers of");
        }
    }
    if (ok && fsync(fd_) != 0) ok = FailErrno("cannot sync");
    if (::close(fd_) != 0 && ok) ok = FailErrno("cannot close");
    fd_ = -1;
    buffered_ = 0;
    return ok ? 0 : -1;
}

void AviWriter::Abort() { CloseFd(); }

}  // namespace ocv::backup
