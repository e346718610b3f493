#include "sdk/recorded_sinks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "player/qvx_player.h"
#include "base/port_slots.h"
#include "base/trace.h"

namespace ocv::sdk {

namespace {

class PlayerSink : public RecordedSink {
public:
    PlayerSink(int portNumber, int handle) : portNumber_(portNumber), handle_(handle) {}
    ~PlayerSink() override { Release(); }

    bool Begin(const StreamInfo& info, uint32_t) override {
        // Playing from the first frame on, so the key frame that opens the file is not lost
        // before the caller has bound its window; QVXPlay_Play from the caller is harmless.
        return QVXPlay_OpenStream(handle_, &info, int(sizeof info)) == QVXPLAY_OK && QVXPlay_Play(handle_) == QVXPLAY_OK;
    }
    bool Frame(const uint8_t* record, size_t bytes) override {
        FrameHeader h;
        std::memcpy(&h, record, sizeof h);  // records sit unaligned in the receive buffer
        // A port the caller stopped refuses input; the playback itself goes on.
        if (IsVideoFrame(h)) {
            QVXPlay_InputVideoData(handle_, record, int(bytes));
        } else {
            QVXPlay_InputAudioData(handle_, record, int(bytes));
        }
        return true;
    }
    void Seeked() override { QVXPlay_ResetSourceBuffer(handle_); }
    void End(bool) override {}  // the last picture stays in the caller's window
    void Release() override {
        if (handle_ <= 0) return;
        QVXPlay_DeInit(handle_);
        ReleasePort(portNumber_);
        handle_ = 0;
    }

private:
    int portNumber_;
    int handle_;
};

}  // namespace

std::unique_ptr<RecordedSink> MakePlayerSink(int32_t* outPlayerHandle) {
    int number = TakePort();
    if (number < 0) {
        Trace("remote playback: no free player port\n");
        return nullptr;
    }
    int handle = 0;
    if (QVXPlay_InitV2(&handle, number) != QVXPLAY_OK || handle <= 0) {
        ReleasePort(number);
        Trace("remote playback: player port %d cannot be created\n", number);
        return nullptr;
    }
    *outPlayerHandle = handle;
    return std::make_unique<PlayerSink>(number, handle);
}

bool FileSink::Begin(const StreamInfo& info, uint32_t startOfDayMs) {
    if (writer_.Create(partPath_) != 0 || writer_.SetStreamInfo(info) != 0 || writer_.Open(startOfDayMs) != 0) {
        Trace("download: cannot create %s\n", partPath_.c_str());
        return false;
    }
    open_ = true;
    return true;
}

bool FileSink::Frame(const uint8_t* record, size_t bytes) {
    if (!open_) return false;
    if (writer_.WriteFrame(record, uint32_t(bytes)) == 0) return true;
    Trace("download: writing %s failed\n", path_.c_str());
    return false;
}

void FileSink::End(bool) {
    if (!open_) return;
    writer_.Close();
    open_ = false;
    int fd = open(partPath_.c_str(), O_RDONLY | O_CLOEXEC);
    bool synced = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0) close(fd);
    if (!synced || rename(partPath_.c_str(), path_.c_str()) != 0) {
        Trace("download: cannot move %s to its name\n", partPath_.c_str());
    }
}

}  // namespace ocv::sdk
