#pragma once
// Counters of one player port, for diagnostics and tests.
#include <cstdint>

namespace ocv::player {

struct PortStatistics {
    uint64_t videoFramesTaken = 0;      // records accepted into the input queue
    uint64_t framesDiscarded = 0;       // input dropped: paused, overflow, waiting for a key frame
    uint64_t decodedPictures = 0;       // clean pictures out of the decoder
    uint64_t presentedPictures = 0;     // pictures handed to the surface
    uint64_t decodeErrors = 0;          // damaged or refused access units
    uint64_t shortcutDecodes = 0;       // access units decoded with a small-picture shortcut
    uint64_t audioFramesPlayed = 0;     // audio records given to the audio output
    uint64_t audioFramesDiscarded = 0;  // sound closed or an encoding that is not played
    int pictureWidth = 0;               // of the last decoded picture
    int pictureHeight = 0;
    int queuedFrames = 0;               // input waiting for the decoder
    int scheduledPictures = 0;          // decoded pictures waiting for their time
};

// 0, or -1 for an invalid handle.
int GetPortStatistics(int port, PortStatistics* out);

}  // namespace ocv::player
