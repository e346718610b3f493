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

// Work a live port leaves out while it draws a picture at less than half its size in both
// directions (a 1080p stream in a grid cell), where the detail it would buy cannot be seen:
// the in-loop deblocking filter of
//   kNone          no picture;
//   kNonReference  pictures no other picture refers to (no error can spread; the default);
//   kAllButKey     every picture but key pictures: about 18% less decoding, at a cost that
//                  drifts until the next key picture (bench/player: 1080p in 320 x 180, mean
//                  57 dB, worst 50 dB; CIF in 160 x 120, mean 46 dB, worst 36 dB PSNR, with
//                  a key picture every 2 s).
// Captures take the decoded picture as it is. Takes effect from the next picture.
enum class SmallPictureShortcut { kNone = 0, kNonReference = 1, kAllButKey = 2 };
// 0, or -1 for an invalid handle or value.
int SetSmallPictureShortcut(int port, SmallPictureShortcut shortcut);
// For ports initialised from now on.
void SetDefaultSmallPictureShortcut(SmallPictureShortcut shortcut);

}  // namespace ocv::player
