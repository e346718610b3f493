#pragma once
// Recording files for the player's tests, written by the recorder's own RecordFileWriter,
// and the damage a crash or a bad disk does to them.
#include <cstdint>
#include <string>
#include <vector>

#include "record/record_file_writer.h"
#include "tests/player/test_clip.h"

namespace ocv::test {

struct RecordingShape {
    uint32_t startTimeMs = 10 * 3600 * 1000;  // the file was created at 10:00:00
    uint32_t stepMs = 40;                     // between pictures
    uint32_t keyKind = 1;                     // 1: every key frame indexed; 3: every 50th
    uint32_t codec = kVideoCodecH264;
    int width = 64, height = 48;
    uint32_t audioEncoding = kAudioNone;      // with G.711: one 160-sample record per picture
};

// What went into the file, in order.
struct WrittenRecording {
    std::vector<uint64_t> videoOffsets;
    std::vector<uint32_t> videoTimes;  // ms since the file's start
    std::vector<bool> keyFrames;
    std::vector<uint32_t> videoTimestamps;  // as stored: start time + video time
    uint64_t size = 0;
};

// Writes the pictures as a recording the way the recorder does; picture i has input
// timestamp i * stepMs, so its time in the file is i * stepMs too.
class TestRecorder {
public:
    TestRecorder(const std::string& path, const RecordingShape& shape);
    void Add(const EncodedPicture& picture);
    void Close();
    const WrittenRecording& Written() const { return written_; }

private:
    RecordingShape shape_;
    RecordFileWriter writer_;
    WrittenRecording written_;
    uint32_t count_ = 0;
};

WrittenRecording WriteRecording(const std::string& path, const std::vector<EncodedPicture>& clip,
                                const RecordingShape& shape = {});

// Sets the file's modification time an hour back: a finished recording, which the player
// does not wait on at its end.
void AgeFile(const std::string& path);
// Cuts the file to size bytes, as a crash does to a file being written.
void CutFile(const std::string& path, uint64_t size);
// Overwrites bytes at offset.
void Overwrite(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes);
// Appends bytes.
void Append(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace ocv::test
