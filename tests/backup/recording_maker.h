#pragma once
// Recordings for the backup tests: real H.264 from libx264 (or H.265 from libx265) (tests/player/test_clip) written
// by the recording file writer into a drive's day folder, with their images.fi records.
#include <cstdint>
#include <string>
#include <vector>

#include "record/record_format.h"

namespace ocv::test {

constexpr int kClipFps = 25;
constexpr int kClipGop = 50;  // a key frame every 2 s

struct TestRecording {
    std::string driveDir;
    int year = 2020, month = 7, day = 8;
    std::string channelFolder = "cam01-5000-1";
    int startSecond = 0;  // of the day: the file name, index record and file start time
    int seconds = 10;     // of pictures at 25 per second
    uint16_t recordType = kRecordPlan;
    uint32_t audioEncoding = kAudioG711ALaw;  // 320 bytes after every picture when set
    int width = 320, height = 240;
    uint32_t videoCodec = kVideoCodecH264;
    uint32_t keyFrameKind = 3;   // units digit written for key frames
    uint32_t indexedSeconds = 0; // duration in images.fi; 0 = seconds
};

// Writes the file and appends its index record; returns the file's path.
std::string WriteRecording(const TestRecording& recording);

// Picture time (ms of the day) of frame i of a recording made by WriteRecording: the writer
// puts the first picture one second after the file's start.
inline uint32_t PictureMs(const TestRecording& s, int i) {
    return static_cast<uint32_t>(s.startSecond) * 1000 + 1000 + static_cast<uint32_t>(i) * 40;
}

// ffprobe / ffmpeg helpers: the command's standard output (and its exit status).
std::string RunCommand(const std::string& command, int* status = nullptr);
// "key=value" lines of ffprobe for one stream ("v:0", "a:0") or the format ("").
std::string Probe(const std::string& path, const std::string& stream, const std::string& entries);
// The value of key in ffprobe's key=value output; "" when absent.
std::string ProbeValue(const std::string& probeOutput, const std::string& key);
// What ffmpeg reports while decoding the whole file (empty when it decodes cleanly).
std::string DecodeErrors(const std::string& path);

}  // namespace ocv::test
