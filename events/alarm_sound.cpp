#include "events/alarm_sound.h"

#include <pthread.h>

#include <chrono>
#include <cstring>

#include "platform/profile.h"

namespace ocv {

const char* SoundFileName(SoundKind kind) {
    switch (kind) {
        case SoundKind::kMotion: return "AlarmMotionDetect.wav";
        case SoundKind::kInput: return "AlarmInput.wav";
        case SoundKind::kVideoLoss: return "AlarmVideoLoss.wav";
        case SoundKind::kDiskFull: return "AlarmHardFull.wav";
        case SoundKind::kTemperature: return "AlarmTemperature.wav";
    }
    return "";
}

SoundAttributes LoadSoundAttributes(const std::string& configIni) {
    SoundAttributes a;
    memset(&a, 0, sizeof a);
    if (!GetPrivateProfileStructA("CONFIG", "SNDATTR", &a, sizeof a, configIni.c_str()))
        memset(&a, 0, sizeof a);
    if (a.words[0] < 1) {
        a.words[0] = 1;
        a.words[6] = 1;
    }
    return a;
}

bool SaveSoundAttributes(const std::string& configIni, const SoundAttributes& attributes) {
    return WritePrivateProfileStructA("CONFIG", "SNDATTR", &attributes, sizeof attributes,
                                      configIni.c_str());
}

AlarmSoundPlayer::AlarmSoundPlayer(WavPlayer* player, std::string soundDirectory,
                                   QualifiesFn qualifies)
    : player_(player), soundDirectory_(std::move(soundDirectory)), qualifies_(std::move(qualifies)) {}

AlarmSoundPlayer::~AlarmSoundPlayer() { Stop(); }

std::string AlarmSoundPlayer::PathOf(SoundKind kind) const {
    return soundDirectory_ + "/" + SoundFileName(kind);
}

void AlarmSoundPlayer::Sleep(int ms) {
    if (sleep_) {
        sleep_(ms);
        return;
    }
    stop_.WaitFor(std::chrono::milliseconds(ms));
}

bool AlarmSoundPlayer::RunPass() {
    bool played = false;
    for (int k = 0; k < kSoundKindCount; ++k) {
        if (stop_.Requested()) break;
        SoundKind kind = static_cast<SoundKind>(k);
        if (!IsRaised(kind)) continue;
        if (soundOn_ && player_) player_->PlayBlocking(PathOf(kind));
        played = true;
        Sleep(100);
        switch (kind) {
            case SoundKind::kTemperature:
                if (++temperaturePlays_ >= temperatureRepeat_.load()) {
                    temperaturePlays_ = 0;
                    Lower(kind);
                }
                break;
            case SoundKind::kMotion:
            case SoundKind::kInput:
            case SoundKind::kVideoLoss:
                if (!qualifies_ || !qualifies_(kind)) Lower(kind);
                break;
            case SoundKind::kDiskFull:
                break;  // lowered by the hold pass once a disk is usable again
        }
    }
    return played;
}

void AlarmSoundPlayer::Start() {
    if (thread_.joinable()) return;
    stop_.Reset();
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "alarm-sound");
        while (!stop_.Requested()) {
            if (!RunPass()) Sleep(1000);
        }
    });
}

void AlarmSoundPlayer::Stop() {
    stop_.Request();
    if (thread_.joinable()) thread_.join();
}

void AlarmSoundPlayer::TestSound(int kind) {
    SoundKind k = SoundKind::kDiskFull;
    if (kind == 0 || kind == 1 || kind == 2 || kind == 4) k = static_cast<SoundKind>(kind);
    if (player_) player_->PlayAsync(PathOf(k));
}

}  // namespace ocv
