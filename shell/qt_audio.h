#pragma once
// Sound through Qt Multimedia (PulseAudio on Linux): alarm WAV files and the players' live
// sound. Without a sound device the client stays silent and says so once as a trace line.
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "events/alarm_sound.h"
#include "player/audio_output.h"

namespace ocv {

class QtWavPlayer : public WavPlayer {
public:
    ~QtWavPlayer() override;
    void PlayBlocking(const std::string& path) override;
    void PlayAsync(const std::string& path) override;

private:
    std::mutex asyncMutex_;
    std::thread async_;
};

// Installs the live-sound factory for the players.
void InstallQtAudioOutput();

// False (with the trace line, once per process) when there is no output device.
bool HaveAudioOutputDevice();

}  // namespace ocv
