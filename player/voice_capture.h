#pragma once
// One voice capture of the player library (QVXPlay_Vo*): 16-bit microphone samples from the
// application's audio input, cut into blocks of 20 ms and encoded as G.711 A-law, handed to
// the caller's callback on the input's thread with the capture time of the block.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "player/qvx_player.h"
#include "player/voice_input.h"

namespace ocv::player {

class VoiceCapture {
public:
    // Samples per block: 20 ms at 8000 Hz.
    static constexpr int kBlockSamples = 160;

    ~VoiceCapture() { Stop(); }

    // Only 8 (A-law), 8000 Hz, 16 bits, mono are taken; -1 for anything else, or while running.
    int SetAttributes(const QVXPlayVoiceAttr& attr);
    // -1 without attributes, when running, or when the audio input cannot start.
    int Start(QVXPlayVoiceFun fun, void* context);
    // No callback runs once this returns. 0 also when not running.
    int Stop();

    // Feeds samples as the input would (the input's sink; tests call it directly).
    void OnSamples(const int16_t* samples, size_t count);

private:
    std::mutex controlMutex_;  // Start against Stop
    std::mutex mutex_;  // attributes, the input, the callback and the partial block
    bool haveAttributes_ = false;
    int channels_ = 1;
    std::unique_ptr<AudioInput> input_;
    QVXPlayVoiceFun fun_ = nullptr;
    void* context_ = nullptr;
    std::vector<uint8_t> block_;
};

// Milliseconds of the monotonic clock, as the callbacks report capture times (wraps after
// about 24 days; compare differences).
uint32_t VoiceClockMs();

}  // namespace ocv::player
