#pragma once
// The microphone through Qt Multimedia (PulseAudio on Linux) for the players' voice capture
// (talk and broadcast). Each capture runs its own thread (`mic-in`) with an event loop that
// reads the source as it fills, so neither the UI thread nor the caller waits on the device.
// Without an input device a capture cannot start, and the client says so once as a trace line.
#include "player/voice_input.h"

namespace ocv {

// Installs the microphone factory for the players' voice captures.
void InstallQtAudioInput();

// False (with the trace line, once per process) when there is no input device.
bool HaveAudioInputDevice();

}  // namespace ocv
