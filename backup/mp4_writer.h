#pragma once
// MP4 files for browsers and phones, made with libavformat's muxer: the H.264 or H.265 pictures
// are copied as they are (no re-encoding; H.265 as "hev1" with its hvcC record, the parameter
// sets also staying in front of key pictures); the index (moov) is moved to the front when the file
// is closed (fast start, see mp4_index_mover.h), so a player can start before it has the whole
// file.
//
// Sound: the MP4 muxer does not take G.711 (no sample entry for it in an MP4 file), and
// browsers could not play it there anyway. G.711 and G.726 sound is therefore decoded and
// encoded again as AAC-LC, mono, 8000 samples per second, on a thread of its own
// (aac_encoder.h). The sound is placed on the picture
// time line by where it lies in the stream (the sound of a period follows its picture): it is
// padded with silence when it falls behind the pictures and dropped when it runs ahead.
#include <cstdint>
#include <memory>
#include <string>

#include "base/media_types.h"

namespace ocv::backup {

class Mp4Writer {
public:
    Mp4Writer();
    ~Mp4Writer();
    Mp4Writer(const Mp4Writer&) = delete;
    Mp4Writer& operator=(const Mp4Writer&) = delete;

    // Creates the file. audioEncoding is StreamInfo word 3 (1 A-law, 2 mu-law, 4 G.726 2-bit;
    // anything else: no sound track). nominalStepMs: picture step until timestamps tell.
    // videoCodec is StreamInfo word 0 (0 or 1 H.264, 2 H.265; others are refused).
    // 0 or -1 (Error() says why).
    int Open(const std::string& path, uint32_t width, uint32_t height, uint32_t audioEncoding,
             uint32_t nominalStepMs, uint32_t videoCodec = kVideoCodecH264);
    // One access unit (Annex-B). Pictures before the first key frame that carries the
    // parameter sets (SPS and PPS; for H.265 also the VPS) are dropped (0), since the file
    // header needs them. 0 or -1.
    int WriteVideo(const uint8_t* data, uint32_t size, bool keyFrame, uint32_t timestampMs);
    // Encoded sound bytes of the stream's audio encoding (after the 4-byte audio header).
    // 0 or -1.
    int WriteAudio(const uint8_t* codes, uint32_t size);
    // Ends the sound with the pictures, writes the index at the front, syncs the file.
    // 0 or -1; the file is closed either way.
    int Close();
    // Closes without completing the file.
    void Abort();

    bool IsOpen() const;
    bool HasAudio() const;
    uint32_t VideoFrames() const;
    const std::string& Error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ocv::backup
