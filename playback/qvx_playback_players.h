#pragma once
// The playback windows' players on the player library (QVXPlay_*): ports from the shared pool,
// the zoom frame drawn by the overlay, and a file's end posted to the page as kMsgFileEnded
// (wParam window, lParam port) from the player's thread.
#include <array>

#include "playback/playback_messages.h"
#include "playback/playback_players.h"
#include "videogrid/digital_zoom.h"

namespace ocv::playback {

class QvxPlaybackPlayers : public PlaybackPlayers {
public:
    // zoom outlives every port (the overlay reads it on the decoding threads); post is called on
    // the players' threads. drawMethod: QVXPLAY_DRAW_FAST or _SMOOTH.
    QvxPlaybackPlayers(DigitalZoom& zoom, PostFn post, int drawMethod);

    int CreatePort(int window, void* surface) override;
    int AdoptPort(int window, int port, void* surface) override;
    void ReleaseAdopted(int port) override;
    void DestroyPort(int port) override;

    int OpenFile(int port, const std::string& path, int percent) override;
    int CloseFile(int port) override { return QVXPlay_CloseFile(port); }
    int Play(int port) override { return QVXPlay_Play(port); }
    int Pause(int port) override { return QVXPlay_Pause(port); }
    int Stop(int port) override { return QVXPlay_Stop(port); }
    int SetRate(int port, int level) override { return QVXPlay_SetRate(port, level); }
    int OneByOne(int port) override { return QVXPlay_OneByOne(port); }
    int ShowFrame(int port) override { return QVXPlay_ShowFrame(port); }
    int PlayState(int port) override { return QVXPlay_GetPlayState(port); }
    int PlayedMs(int port) override { return QVXPlay_GetPlayedTime(port); }
    int OpenSound(int port) override { return QVXPlay_OpenSound(port); }
    int CloseSound(int port) override { return QVXPlay_CloseSound(port); }
    int SoundState(int port) override { return QVXPlay_GetSoundState(port); }
    int SetDisplayMode(int port, int mode) override { return QVXPlay_SetDisplayMode(port, mode); }
    int DisplayMode(int port) override { return QVXPlay_GetDisplayMode(port); }
    int SetDisplayRegion(int port, const QVXPlayRect* region) override { return QVXPlay_SetDisplayRegion(port, region); }
    int Capture(int port, bool bitmap, int quality, std::string* bytes) override;

private:
    struct Target {
        QvxPlaybackPlayers* self = nullptr;
        int window = 0;
    };
    static void OnDraw(int port, QVXPlayDrawContext* context, int pictureWidth, int pictureHeight, int windowWidth,
                       int windowHeight, int marginX, int marginY, intptr_t user);
    static void OnState(int port, int state, intptr_t user);
    int SetUp(int window, int port, void* surface);

    DigitalZoom& zoom_;
    PostFn post_;
    int drawMethod_;
    std::array<Target, 4> targets_{};
};

}  // namespace ocv::playback
