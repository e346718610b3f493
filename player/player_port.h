#pragma once
// One player instance: a live stream's input queue and its decoding thread, or a recording
// file played by FilePlayback; drawing settings, sound and the last picture for captures.
// The C functions of qvx_player.h forward here. Both sources end in the same drawing and
// sound side (Present, PlayAudio).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "player/audio_output.h"
#include "player/av_ptr.h"
#include "player/file_playback.h"
#include "player/frame_queue.h"
#include "player/picture_converter.h"
#include "player/player_statistics.h"
#include "player/port_options.h"
#include "player/preview_shot.h"
#include "player/qvx_player.h"
#include "player/video_surface.h"
#include "base/media_types.h"

namespace ocv::player {

class PlayerPort final : private FileOutput {
public:
    // Input queue bounds: about four seconds of a busy main stream.
    static constexpr size_t kMaxQueuedFrames = 250;
    static constexpr size_t kMaxQueuedBytes = 16u << 20;

    PlayerPort(int handle, int portNumber);
    ~PlayerPort();
    PlayerPort(const PlayerPort&) = delete;
    PlayerPort& operator=(const PlayerPort&) = delete;

    // Stops decoding, closes the file and the sound and unbinds the surface and callbacks.
    void Shutdown();

    int SetDrawWnd(VideoSurface* surface);
    int SetDrawMode(int method);
    int SetDrawEnable(int enable);
    int RegisterDrawFun(QVXPlayDrawFun fun, intptr_t user);
    int SetPlayerBufNumber(int frameCount);

    int OpenStream(const StreamInfo& info);
    int Play();
    int Stop();
    int ResetSourceBuffer();
    int InputVideoData(const void* record, size_t length);
    int InputAudioData(const void* record, size_t length);
    int PauseDecoder();
    int ResumeDecoder();

    int SetAudioAttr(const QVXPlayAudioAttr& attr);
    int OpenSound();
    int CloseSound();
    int GetSoundState();

    int SetDisplayMode(int mode);
    int GetDisplayMode();
    int SetDisplayRegion(const QVXPlayRect* region);

    int Capture(const char* path, int bitmapFlag, int quality);
    PortStatistics Statistics();

    // Recording files (see qvx_player.h).
    int OpenFile(const char* path, int startPercent);
    int CloseFile();
    int Pause();
    int Fast();
    int Slow();
    int SetRate(int level);
    int GetPlaySpeed();
    int OneByOne();
    int ShowFrame();
    int GetPlayState();
    int SetStateCallBack(QVXPlayStateFun fun, intptr_t user);
    int ShotImage(const char* path, int percent);
    int GetFileTime();
    int GetPlayedTime();
    int GetPlayPos();
    int SetPlayPos(int percent);
    void SetPlaybackClock(std::shared_ptr<PlaybackClock> clock) { file_.SetClock(std::move(clock)); }
    void SetFollowWindow(int ms) { file_.SetFollowWindow(ms); }
    void SetSmallPictureShortcut(SmallPictureShortcut shortcut) { smallPictureShortcut_ = shortcut; }

private:
    struct DrawSettings {
        int displayMode = QVXPLAY_DISPLAY_STRETCH;
        int drawMethod = QVXPLAY_DRAW_FAST;
        bool drawEnabled = true;
        bool hasRegion = false;
        QVXPlayRect region{};
        QVXPlayDrawFun drawFun = nullptr;
        intptr_t drawUser = 0;
        QVXPlayStateFun stateFun = nullptr;
        intptr_t stateUser = 0;
    };
    struct ScheduledPicture {
        AvFramePtr frame;
        uint32_t timestampMs = 0;
        uint64_t sequence = 0;
        uint64_t epoch = 0;
    };

    void Run();
    // The loop filter the decoder skips for the next picture: by the shortcut, when the
    // surface draws pictures of this size at less than half of it in both directions.
    AVDiscard LoopFilterSkipFor(int pictureWidth, int pictureHeight);
    void DecodeVideo(VideoDecoder& decoder, const QueuedFrame& item, uint64_t epoch,
                     bool* needKeyFrame, std::vector<ScheduledPicture>* decoded);
    void PlayAudio(const uint8_t* samples, size_t size);
    void Present(const AVFrame& frame, uint32_t timestampMs, uint64_t sequence, uint64_t epoch);
    void DropBufferedPictures();
    int StopLocked();

    // FileOutput: the file thread's pictures, sound and end.
    uint64_t CountDecoded(bool damaged, const std::vector<AvFramePtr>& pictures) override;
    void ShowPicture(const AVFrame& picture, uint32_t timestampMs, uint64_t sequence) override;
    void PlaySound(const uint8_t* samples, size_t size) override { PlayAudio(samples, size); }
    void EndOfFile() override;

    const int handle_;
    const int portNumber_;

    std::mutex controlMutex_;  // Play, Stop, Shutdown: thread start and join
    std::thread thread_;

    std::mutex inputMutex_;
    std::condition_variable inputReady_;
    FrameQueue queue_{kMaxQueuedFrames, kMaxQueuedBytes};
    bool streamOpen_ = false;
    bool playing_ = false;
    bool stopRequested_ = false;
    bool flushRequested_ = false;
    size_t bufferedPictures_ = 0;  // SetPlayerBufNumber
    StreamInfo streamInfo_{};
    std::atomic<bool> paused_{false};
    std::atomic<SmallPictureShortcut> smallPictureShortcut_;
    // Bumped by reset, pause and stop: work begun before is thrown away.
    std::atomic<uint64_t> epoch_{0};

    std::mutex settingsMutex_;
    DrawSettings settings_;

    std::mutex surfaceMutex_;  // held while a picture is made and posted
    // A surface owned by a shared_ptr is held here, so it lives while it is bound even if
    // its window is gone; any other surface is borrowed and must outlive its binding.
    std::shared_ptr<VideoSurface> surface_;
    PictureConverter converter_;  // decoding thread, under surfaceMutex_

    std::mutex lastPictureMutex_;
    AvFramePtr lastPicture_;  // for Capture and ShowFrame
    uint64_t lastPictureSequence_ = 0;

    std::mutex audioMutex_;
    QVXPlayAudioAttr audioAttr_{};
    std::unique_ptr<AudioOutput> audioOutput_;
    int audioStartedRate_ = 0, audioStartedChannels_ = 0;  // 0: not started
    bool audioFailed_ = false;
    std::vector<int16_t> pcm_;

    std::mutex statsMutex_;
    PortStatistics stats_;

    FilePlayback file_{*this, portNumber_};  // after everything its thread reaches
    std::mutex shotMutex_;
    PreviewShot shot_;
};

}  // namespace ocv::player
