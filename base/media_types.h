#pragma once
// The stream description and frame record that the device library delivers, the player
// library takes and the recording files keep unchanged. Little-endian, fixed layout.
#include <cstdint>

namespace ocv {

// Seven 32-bit words. Words 1..3 are what the rest of the system interprets; the others
// are carried unchanged from the device to the recording file and the player.
struct StreamInfo {
    uint32_t videoCodec;       // word 0: 1 = H.264, 2 = H.265 (Annex-B); 0 = not said: players follow the stream
    uint32_t width;            // word 1: picture width
    uint32_t height;           // word 2: picture height
    uint32_t audioEncoding;    // word 3: kAudio* below; the audio attributes start here
    uint32_t audioSampleRate;  // word 4: samples per second (8000)
    uint32_t audioChannels;    // word 5: 1
    uint32_t frameRate;        // word 6: pictures per second as the device announces it
};
static_assert(sizeof(StreamInfo) == 28);

constexpr uint32_t kVideoCodecH264 = 1;
constexpr uint32_t kVideoCodecH265 = 2;
constexpr uint32_t kAudioNone = 0;
constexpr uint32_t kAudioG711ALaw = 1;   // 8-bit samples, 8000 bytes per second
constexpr uint32_t kAudioG711MuLaw = 2;  // 8-bit samples, 8000 bytes per second
constexpr uint32_t kAudioAdpcm2Bit = 4;  // 2-bit samples, 2000 bytes per second

// 16-byte header of a frame record; dataLength bytes follow.
struct FrameHeader {
    uint32_t kind;         // 1 video, anything else audio (the device library sends 2)
    uint32_t dataLength;   // bytes after this header
    uint32_t timestampMs;  // device time line; rewritten onto the file's time line on recording
    uint32_t frameType;    // video: units digit = picture kind (1, 3 key frames);
                           // tens digit = number of 72-byte extension blocks ending the data
};
static_assert(sizeof(FrameHeader) == 16);

constexpr uint32_t kFrameKindVideo = 1;
constexpr uint32_t kFrameKindAudio = 2;
constexpr uint32_t kFrameHeaderBytes = 16;
// Readers stop at a record whose data is longer than this; no frame may exceed it.
constexpr uint32_t kMaxFrameDataLength = 0xFFFF0;
constexpr uint32_t kFrameExtensionBlockBytes = 72;
// Audio data starts with this many bytes of audio header before the samples.
constexpr uint32_t kAudioHeaderBytes = 4;

// Picture kinds of the units digit.
constexpr uint32_t kFrameTypeKeyFrame = 1;       // I picture
constexpr uint32_t kFrameTypePredicted = 2;      // P picture
constexpr uint32_t kFrameTypeKeyFrameAlt = 3;    // key picture of a second kind (IDR with SPS/PPS)

inline bool IsVideoFrame(const FrameHeader& h) { return h.kind == kFrameKindVideo; }
inline bool IsKeyFrameType(uint32_t frameType) {
    uint32_t kind = frameType % 10;
    return kind == kFrameTypeKeyFrame || kind == kFrameTypeKeyFrameAlt;
}
inline bool IsKeyFrame(const FrameHeader& h) { return IsVideoFrame(h) && IsKeyFrameType(h.frameType); }
inline uint32_t ExtensionBlockCount(uint32_t frameType) { return (frameType / 10) % 10; }

}  // namespace ocv
