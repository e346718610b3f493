#pragma once
// What the playback page asks of the player library for its four windows: a port per window
// bound to the window's surface, file playback and the transport, sound, display, zoom and the
// picture for a capture. QvxPlaybackPlayers (qvx_playback_players.h) does it with the QVXPlay_*
// calls; the page's rules hold this interface and tests hand them a fake. UI thread.
#include <string>

#include "player/qvx_player.h"

namespace ocv::playback {

class PlaybackPlayers {
public:
    virtual ~PlaybackPlayers() = default;

    // A port of its own for window w (0..3) drawing into surface: taken from the port pool,
    // drawing method set, overlay (zoom frame) and end-of-file report registered, bound to the
    // surface, sound closed. The handle, or a negative value (nothing is kept then).
    virtual int CreatePort(int window, void* surface) = 0;
    // The same set-up for a port the device library feeds (remote playback); the library frees
    // it. 0 or -1.
    virtual int AdoptPort(int window, int port, void* surface) = 0;
    // Unbinds a port that was adopted (before the library frees it).
    virtual void ReleaseAdopted(int port) = 0;
    // Stops, de-initialises and gives the port number back.
    virtual void DestroyPort(int port) = 0;

    virtual int OpenFile(int port, const std::string& path, int percent) = 0;
    virtual int CloseFile(int port) = 0;
    virtual int Play(int port) = 0;
    virtual int Pause(int port) = 0;
    virtual int Stop(int port) = 0;
    virtual int SetRate(int port, int level) = 0;
    virtual int OneByOne(int port) = 0;
    virtual int ShowFrame(int port) = 0;
    // QVXPLAY_STATE_*; -1 for an invalid handle.
    virtual int PlayState(int port) = 0;
    // Position of the picture shown last, ms since the file's start; -1 without a file.
    virtual int PlayedMs(int port) = 0;

    virtual int OpenSound(int port) = 0;
    virtual int CloseSound(int port) = 0;
    virtual int SoundState(int port) = 0;  // QVXPLAY_SOUND_*
    virtual int SetDisplayMode(int port, int mode) = 0;
    virtual int DisplayMode(int port) = 0;
    virtual int SetDisplayRegion(int port, const QVXPlayRect* region) = 0;

    // The picture shown now, encoded (JPEG of the quality, or a bitmap). 0, -2 none yet, -1.
    virtual int Capture(int port, bool bitmap, int quality, std::string* bytes) = 0;
};

}  // namespace ocv::playback
