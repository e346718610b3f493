#pragma once
// Where the players' voice capture takes the microphone from. The application installs a
// factory once at start-up (Qt Multimedia in the client); without one there is no microphone
// and a capture cannot start.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace ocv::player {

class AudioInput {
public:
    // Interleaved 16-bit signed native-endian samples; count counts samples of all channels.
    // Called on the input's own thread; must return quickly.
    using SamplesFn = std::function<void(const int16_t* samples, size_t count)>;

    virtual ~AudioInput() = default;
    // Starts capturing at this rate and channel count. 0, or -1 when there is no microphone or
    // the format cannot be had (nothing is delivered then).
    virtual int Start(int sampleRate, int channels, SamplesFn sink) = 0;
    // No call of the sink runs once this returns.
    virtual void Stop() = 0;
};

using AudioInputFactory = std::function<std::unique_ptr<AudioInput>()>;

// Installs the factory for captures started from now on; an empty function removes it.
void SetAudioInputFactory(AudioInputFactory factory);
// nullptr when no factory is installed or it made nothing.
std::unique_ptr<AudioInput> MakeAudioInput();

}  // namespace ocv::player
