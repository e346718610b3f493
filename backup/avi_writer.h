#pragma once
// AVI files of H.264 (or H.265) pictures and G.711 or G.726 sound, as the published AVI format lays
// them out (all numbers little-endian):
//
//   RIFF "AVI "
//     LIST "hdrl"
//       "avih"  main header (56 bytes)
//       LIST "strl"  "strh" "vids" / handler "x264" (56)  "strf" BITMAPINFOHEADER "H264" (40)
//                    (H.265: handler and compression "HEVC", the four-character code players
//                    know it by)
//       LIST "strl"  "strh" "auds" / "g711" or "g726" (56) "strf" WAVEFORMATEX (18)  [with sound]
//     LIST "movi"  "00dc" picture chunks, "01wb" sound chunks, each padded to an even size
//     "idx1"  16 bytes per chunk: id, flags (0x10 key frame), offset of the chunk from the
//             "movi" tag, data size
//
// Open writes the headers with provisional values; Close appends the index and rewrites the
// headers with the frame count, stream lengths, list sizes and the frame rate measured from the
// pictures' timestamps. Until Close has succeeded the file is not a complete AVI.
#include <cstdint>
#include <string>
#include <vector>

#include "backup/video_time_line.h"

namespace ocv::backup {

// WAVE format tags of the sound encodings we carry.
constexpr uint16_t kWaveFormatALaw = 0x0006;
constexpr uint16_t kWaveFormatMuLaw = 0x0007;
constexpr uint16_t kWaveFormatG726 = 0x0045;

struct AviVideoFormat {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t nominalStepMs = 40;  // frame rate written until Close measures the real one
    bool hevc = false;            // H.265 pictures rather than H.264
};

struct AviAudioFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 1;
    uint32_t samplesPerSecond = 8000;
    uint32_t bytesPerSecond = 8000;
    uint16_t blockAlign = 1;
    uint16_t bitsPerSample = 8;
    char handler[4] = {0, 0, 0, 0};
};

// The sound of a stream's audio encoding (StreamInfo word 3): 1 A-law and 2 mu-law as 8-bit
// G.711 at 8000 bytes/s, 4 as 2-bit G.726 at 2000 bytes/s. false for no sound (or one we
// cannot describe); the file then has no sound stream.
bool AviAudioFormatFor(uint32_t audioEncoding, AviAudioFormat* out);

class AviWriter {
public:
    static constexpr uint32_t kIndexKeyFrame = 0x10;
    // The RIFF size field is 32 bits: the whole file, index included, must stay below this.
    static constexpr uint64_t kMaxFileBytes = 0xFFFFFFFFull;

    AviWriter() = default;
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Creates (or truncates) the file and writes the provisional headers. audio may be null.
    // 0 or -1 (Error() says why).
    int Open(const std::string& path, const AviVideoFormat& video, const AviAudioFormat* audio);
    // One access unit (Annex-B). 0 or -1.
    int WriteVideo(const uint8_t* data, uint32_t size, bool keyFrame, uint32_t timestampMs);
    // Encoded sound bytes; ignored (0) when the file has no sound stream. 0 or -1.
    int WriteAudio(const uint8_t* data, uint32_t size);
    // Index, final headers, fsync. 0 or -1; the file is closed either way.
    int Close();
    // Closes without completing the file.
    void Abort();

    bool IsOpen() const { return fd_ >= 0; }
    // Bytes written so far, headers and chunks (the index comes at Close).
    uint64_t FileBytes() const { return fileBytes_; }
    uint32_t VideoFrames() const { return videoFrames_; }
    // The frame rate of the headers, in thousandths of a frame per second.
    uint32_t RateMilliFps() const { return rateMilli_; }
    const std::string& Error() const { return error_; }

private:
    struct IndexEntry {
        uint32_t id;
        uint32_t flags;
        uint32_t offset;
        uint32_t size;
    };
    static_assert(sizeof(IndexEntry) == 16);

    // The headers up to the first chunk; withIndex once idx1 follows the last chunk.
    std::string BuildHeaders(bool withIndex) const;
    int AppendChunk(uint32_t id, const uint8_t* data, uint32_t size, uint32_t flags);
    bool Append(const void* data, size_t size);
    bool Flush();
    bool WriteAll(const void* data, size_t size);
    bool FailErrno(const char* what);
    void CloseFd();

    int fd_ = -1;
    std::string path_;
    std::string error_;
    AviVideoFormat video_;
    AviAudioFormat audio_;
    bool hasAudio_ = false;
    uint32_t headerBytes_ = 0;  // everything before the first chunk
    uint64_t fileBytes_ = 0;
    std::vector<uint8_t> buffer_;
    size_t buffered_ = 0;
    std::vector<IndexEntry> index_;
    uint32_t videoFrames_ = 0;
    uint64_t audioBytes_ = 0;
    uint64_t videoBytes_ = 0;
    uint32_t maxVideoChunk_ = 0;
    uint32_t maxAudioChunk_ = 0;
    uint32_t rateMilli_ = 25000;
    VideoTimeLine timeLine_;
};

}  // namespace ocv::backup
