#include "tests/player/test_recording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace ocv::test {

TestRecorder::TestRecorder(const std::string& path, const RecordingShape& shape) : shape_(shape) {
    // A test may write a path again; the writer never replaces an existing recording.
    unlink(path.c_str());
    StreamInfo info = MakeStreamInfo(shape.width, shape.height, shape.audioEncoding, shape.codec);
    if (writer_.Create(path) != 0 || writer_.SetStreamInfo(info) != 0 ||
        writer_.Open(shape.startTimeMs) != 0)
        throw std::runtime_error("cannot write " + path);
}

void TestRecorder::Add(const EncodedPicture& picture) {
    const uint32_t ts = count_ * shape_.stepMs;
    auto record = MakeVideoRecord(picture, ts, 0, shape_.keyKind);
    bool waiting = writer_.WaitingForKeyFrame();
    uint64_t offset = writer_.ByteCount();
    if (writer_.WriteFrame(record.data(), static_cast<uint32_t>(record.size())) != 0)
        throw std::runtime_error("write failed");
    if (!waiting || picture.keyFrame) {
        written_.videoOffsets.push_back(offset);
        written_.videoTimes.push_back(ts);
        written_.keyFrames.push_back(picture.keyFrame);
        written_.videoTimestamps.push_back(shape_.startTimeMs + ts);
    }
    if (shape_.audioEncoding != kAudioNone) {
        std::vector<uint8_t> samples(160);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(count_ + i);
        auto audio = MakeAudioRecord(samples, ts);
        writer_.WriteFrame(audio.data(), static_cast<uint32_t>(audio.size()));
    }
    written_.size = writer_.ByteCount();
    ++count_;
}

void TestRecorder::Close() { writer_.Close(); }

WrittenRecording WriteRecording(const std::string& path, const std::vector<EncodedPicture>& clip,
                                const RecordingShape& shape) {
    TestRecorder recorder(path, shape);
    for (const EncodedPicture& p : clip) recorder.Add(p);
    recorder.Close();
    AgeFile(path);
    return recorder.Written();
}

void AgeFile(const std::string& path) {
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("utimensat");
}

void CutFile(const std::string& path, uint64_t size) {
    if (truncate(path.c_str(), static_cast<off_t>(size)) != 0) throw std::runtime_error("truncate");
    AgeFile(path);
}

void Overwrite(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 || pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
                      static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("overwrite");
    close(fd);
    AgeFile(path);
}

void Append(const std::string& path, const std::vector<uint8_t>& bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("append");
    close(fd);
    AgeFile(path);
}

}  // namespace ocv::test
