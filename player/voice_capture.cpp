#include "player/voice_capture.h"

#include <chrono>
#include <map>

#include "base/g711.h"
#include "base/trace.h"

namespace ocv::player {
namespace {

std::mutex factoryMutex;
AudioInputFactory& Factory() {
    static AudioInputFactory factory;
    return factory;
}

}  // namespace

void SetAudioInputFactory(AudioInputFactory factory) {
    std::lock_guard lock(factoryMutex);
    Factory() = std::move(factory);
}

std::unique_ptr<AudioInput> MakeAudioInput() {
    AudioInputFactory factory;
    {
        std::lock_guard lock(factoryMutex);
        factory = Factory();
    }
    return factory ? factory() : nullptr;
}

uint32_t VoiceClockMs() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

int VoiceCapture::SetAttributes(const QVXPlayVoiceAttr& a) {
    std::lock_guard lock(mutex_);
    if (fun_ != nullptr) return -1;
    if (a.encoding != QVXPLAY_VOICE_ALAW || a.sampleRate != 8000 || a.bitsPerSample != 16 || a.channels != 1) {
        Trace("voice capture: format %d/%d Hz/%d bits/%d channels is not offered\n", a.encoding, a.sampleRate,
              a.bitsPerSample, a.channels);
        return -1;
    }
    channels_ = a.channels;
    haveAttributes_ = true;
    return 0;
}

int VoiceCapture::Start(QVXPlayVoiceFun fun, void* context) {
    if (fun == nullptr) return -1;
    std::lock_guard control(controlMutex_);
    std::unique_ptr<AudioInput> input;
    {
        std::lock_guard lock(mutex_);
        if (!haveAttributes_ || fun_ != nullptr || input_) return -1;
    }
    input = MakeAudioInput();
    if (!input) {
        Trace("voice capture: no microphone\n");
        return -1;
    }
    {
        std::lock_guard lock(mutex_);
        fun_ = fun;
        context_ = context;
        block_.clear();
    }
    if (input->Start(8000, channels_, [this](const int16_t* s, size_t n) { OnSamples(s, n); }) != 0) {
        std::lock_guard lock(mutex_);
        fun_ = nullptr;
        Trace("voice capture: the microphone cannot be opened\n");
        return -1;
    }
    std::lock_guard lock(mutex_);
    input_ = std::move(input);
    return 0;
}

int VoiceCapture::Stop() {
    std::lock_guard control(controlMutex_);
    std::unique_ptr<AudioInput> input;
    {
        // Callbacks run under the lock: none is running once it is taken, and later samples
        // find no callback.
        std::lock_guard lock(mutex_);
        fun_ = nullptr;
        context_ = nullptr;
        input = std::move(input_);
        block_.clear();
    }
    if (input) input->Stop();
    return 0;
}

void VoiceCapture::OnSamples(const int16_t* samples, size_t count) {
    std::lock_guard lock(mutex_);
    if (fun_ == nullptr || samples == nullptr) return;
    for (size_t i = 0; i < count; i += static_cast<size_t>(channels_)) {
        block_.push_back(g711::LinearToALaw(samples[i]));
        if (block_.size() == kBlockSamples) {
            fun_(block_.data(), static_cast<int>(block_.size()), VoiceClockMs(), context_);
            block_.clear();
        }
    }
}

}  // namespace ocv::player

// ---- The C interface ------------------------------------------------------------------

namespace {

std::mutex gVoiceMutex;
std::map<int, std::shared_ptr<ocv::player::VoiceCapture>>& Voices() {
    static std::map<int, std::shared_ptr<ocv::player::VoiceCapture>> voices;
    return voices;
}
int gNextVoice = 1;

std::shared_ptr<ocv::player::VoiceCapture> FindVoice(int handle) {
    std::lock_guard lock(gVoiceMutex);
    auto it = Voices().find(handle);
    return it == Voices().end() ? nullptr : it->second;
}

}  // namespace

extern "C" {

int QVXPlay_VoInit(int* handle) {
    if (handle == nullptr) return QVXPLAY_ERROR;
    std::lock_guard lock(gVoiceMutex);
    int h = gNextVoice++;
    if (gNextVoice <= 0) gNextVoice = 1;
    Voices()[h] = std::make_shared<ocv::player::VoiceCapture>();
    *handle = h;
    return QVXPLAY_OK;
}

int QVXPlay_VoSetVAttr(int handle, const QVXPlayVoiceAttr* attr) {
    auto voice = FindVoice(handle);
    if (!voice || attr == nullptr) return QVXPLAY_ERROR;
    return voice->SetAttributes(*attr) == 0 ? QVXPLAY_OK : QVXPLAY_ERROR;
}

int QVXPlay_VoStart(int handle, QVXPlayVoiceFun fun, void* context) {
    auto voice = FindVoice(handle);
    if (!voice) return QVXPLAY_ERROR;
    return voice->Start(fun, context) == 0 ? QVXPLAY_OK : QVXPLAY_ERROR;
}

int QVXPlay_VoStop(int handle) {
    auto voice = FindVoice(handle);
    if (!voice) return QVXPLAY_ERROR;
    return voice->Stop() == 0 ? QVXPLAY_OK : QVXPLAY_ERROR;
}

int QVXPlay_VoDeInit(int handle) {
    std::shared_ptr<ocv::player::VoiceCapture> voice;
    {
        std::lock_guard lock(gVoiceMutex);
        auto it = Voices().find(handle);
        if (it == Voices().end()) return QVXPLAY_ERROR;
        voice = std::move(it->second);
        Voices().erase(it);
    }
    voice->Stop();
    return QVXPLAY_OK;
}

}  // extern "C"
