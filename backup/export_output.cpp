#include "backup/export_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "backup/avi_writer.h"
#include "backup/mp4_writer.h"
#include "backup/video_time_line.h"
#include "record/record_file_writer.h"
#include "base/trace.h"

namespace ocv::backup {
namespace {

int SyncFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    int rc = fsync(fd);
    ::close(fd);
    return rc == 0 ? 0 : -1;
}

// Recording files: the records go through the recording file writer, which puts them on the
// new file's time line and indexes the key frames. The file's start time is set so that the
// pictures keep the times of day they were recorded at.
class RecordFileOutput : public ExportOutput {
public:
    int Open(const std::string& path, const StreamInfo& info) override {
        path_ = path;
        error_.clear();
        started_ = false;
        // The temporary name is ours: a leftover of an interrupted job goes. The folder is tried
        // now so that an unwritable one fails before any work; the writer then creates the file
        // itself, exclusively, as it does every recording.
        ::unlink(path.c_str());
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640);
        if (fd < 0) return Fail("cannot create");
        ::close(fd);
        ::unlink(path.c_str());
        if (writer_.Create(path) != 0 || writer_.SetStreamInfo(info) != 0) {
            error_ = "recording file writer refused " + path;
            return -1;
        }
        return 0;
    }

    int Write(const FrameHeader& h, const uint8_t* data) override {
        if (!started_) {
            // The writer counts the first picture's step as up to a second from its start.
            uint32_t start = h.timestampMs >= 1000 ? h.timestampMs - 1000 : 0;
            if (writer_.Open(start) != 0) return Fail("cannot create");
            started_ = true;
        }
        record_.resize(kFrameHeaderBytes + h.dataLength);
        memcpy(record_.data(), &h, sizeof h);
        if (h.dataLength > 0) memcpy(record_.data() + kFrameHeaderBytes, data, h.dataLength);
        errno = 0;
        if (writer_.WriteFrame(record_.data(), static_cast<uint32_t>(record_.size())) != 0)
            return Fail("cannot write");
        return 0;
    }

    int Finish() override {
        if (!started_) {
            error_ = path_ + ": nothing was written";
            return -1;
        }
        started_ = false;
        if (writer_.Close() != 0) {
            error_ = path_ + ": was not open";
            return -1;
        }
        if (SyncFile(path_) != 0) return Fail("cannot sync");
        return 0;
    }

    void Abort() override {
        if (started_) writer_.Close();
        started_ = false;
    }

    const std::string& Error() const override { return error_; }

private:
    int Fail(const char* what) {
        error_ = std::string(what) + " " + path_ + ": " + strerror(errno ? errno : EIO);
        Trace("backup: %s\n", error_.c_str());
        return -1;
    }

    RecordFileWriter writer_;
    std::string path_;
    std::string error_;
    bool started_ = false;
    std::vector<uint8_t> record_;
};

class AviOutput : public ExportOutput {
public:
    int Open(const std::string& path, const StreamInfo& info) override {
        AviVideoFormat video{info.width, info.height, NominalStepMs(info.frameRate)};
        video.hevc = info.videoCodec == kVideoCodecH265;
        AviAudioFormat audio;
        bool hasAudio = AviAudioFormatFor(info.audioEncoding, &audio);
        return writer_.Open(path, video, hasAudio ? &audio : nullptr);
    }

    int Write(const FrameHeader& h, const uint8_t* data) override {
        if (IsVideoFrame(h)) {
            uint32_t picture = 0;
            if (!PictureBytes(h, &picture)) return 0;  // a damaged record is left out
            return writer_.WriteVideo(data, picture, IsKeyFrame(h), h.timestampMs);
        }
        if (h.dataLength <= kAudioHeaderBytes) return 0;
        return writer_.WriteAudio(data + kAudioHeaderBytes, h.dataLength - kAudioHeaderBytes);
    }

    int Finish() override { return writer_.Close(); }
    void Abort() override { writer_.Abort(); }
    const std::string& Error() const override { return writer_.Error(); }

private:
    AviWriter writer_;
};

class Mp4Output : public ExportOutput {
public:
    int Open(const std::string& path, const StreamInfo& info) override {
        return writer_.Open(path, info.width, info.height, info.audioEncoding,
                            NominalStepMs(info.frameRate), info.videoCodec);
    }

    int Write(const FrameHeader& h, const uint8_t* data) override {
        if (IsVideoFrame(h)) {
            uint32_t picture = 0;
            if (!PictureBytes(h, &picture)) return 0;
            return writer_.WriteVideo(data, picture, IsKeyFrame(h), h.timestampMs);
        }
        if (h.dataLength <= kAudioHeaderBytes) return 0;
        return writer_.WriteAudio(data + kAudioHeaderBytes, h.dataLength - kAudioHeaderBytes);
    }

    int Finish() override { return writer_.Close(); }
    void Abort() override { writer_.Abort(); }
    const std::string& Error() const override { return writer_.Error(); }

private:
    Mp4Writer writer_;
};

}  // namespace

bool PictureBytes(const FrameHeader& header, uint32_t* pictureSize) {
    uint32_t extension = ExtensionBlockCount(header.frameType) * kFrameExtensionBlockBytes;
    if (extension > header.dataLength) return false;
    *pictureSize = header.dataLength - extension;
    return true;
}

std::unique_ptr<ExportOutput> MakeExportOutput(ExportFormat format) {
    switch (format) {
        case ExportFormat::kRecordFile: return std::make_unique<RecordFileOutput>();
        case ExportFormat::kAvi: return std::make_unique<AviOutput>();
        case ExportFormat::kMp4: return std::make_unique<Mp4Output>();
    }
    return nullptr;
}

}  // namespace ocv::backup
