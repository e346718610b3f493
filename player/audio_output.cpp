#include "player/audio_output.h"

#include <mutex>

namespace ocv::player {
namespace {
std::mutex factoryMutex;
AudioOutputFactory& Factory() {
    static AudioOutputFactory factory;
    return factory;
}
}  // namespace

void SetAudioOutputFactory(AudioOutputFactory factory) {
    std::lock_guard lock(factoryMutex);
    Factory() = std::move(factory);
}

std::unique_ptr<AudioOutput> MakeAudioOutput() {
    AudioOutputFactory factory;
    {
        std::lock_guard lock(factoryMutex);
        factory = Factory();
    }
    if (!factory) return std::make_unique<NullAudioOutput>();
    return factory();
}

}  // namespace ocv::player
