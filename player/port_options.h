#pragma once
// C++ settings of a port beyond the C interface, for tests and benchmarks.
#include <memory>

#include "player/playback_clock.h"

namespace ocv::player {

// The clock that paces the port's file playback; nullptr restores the steady clock.
// Takes effect when playing (re)starts. 0, or -1 for an invalid handle.
int SetPlaybackClock(int port, std::shared_ptr<PlaybackClock> clock);

// How recently a file must have been written to for the port to wait for more at its end
// (default 3000 ms; 0 never waits). Takes effect when playing (re)starts.
int SetFileFollowWindow(int port, int ms);

}  // namespace ocv::player
