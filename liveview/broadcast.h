#pragma once
// A voice broadcast as the broadcast window runs it, free of Qt: the microphone capture first,
// then a one-way talk to every chosen channel; and the end, which stops the capture and every
// talk, two-way talks included.
#include <vector>

#include "device/talk_control.h"

namespace ocv {

// Starts the capture and the members. -1 (nothing started) when the microphone cannot be
// captured; else 0 with *started holding the channels that now receive the broadcast.
int BeginBroadcast(TalkControl& talk, const std::vector<int>& channelIds, std::vector<int>* started);
// Stops the capture and the talk of every channel that has one; returns how many ended.
int EndBroadcast(TalkControl& talk);

}  // namespace ocv
