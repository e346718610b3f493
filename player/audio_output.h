#pragma once
// Where the players' sound goes. The application installs a factory once at start-up
// (Qt Multimedia in the client); without one, sound is decoded and thrown away.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace ocv::player {

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Prepares 16-bit signed native-endian PCM at this rate and channel count (called on
    // the decoding thread before the first Write and again when the format changes).
    // 0, or -1 when the format cannot be played (the port's sound then stays silent).
    virtual int Start(int sampleRate, int channels) = 0;
    // Interleaved samples; sampleCount counts samples of all channels. Called on the
    // decoding thread: must not block for long; an output that is behind drops samples.
    virtual void Write(const int16_t* samples, size_t sampleCount) = 0;
    // Called before destruction and before a restart with another format.
    virtual void Stop() = 0;
};

// Discards everything; what ports use when no factory is installed.
class NullAudioOutput final : public AudioOutput {
public:
    int Start(int, int) override { return 0; }
    void Write(const int16_t*, size_t) override {}
    void Stop() override {}
};

// Called by QVXPlay_OpenSound on the caller's thread; may return nullptr (open fails).
using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

// Installs the factory for sounds opened from now on; an empty function restores the
// null output.
void SetAudioOutputFactory(AudioOutputFactory factory);
std::unique_ptr<AudioOutput> MakeAudioOutput();

}  // namespace ocv::player
