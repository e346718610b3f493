#pragma once
// Alarm sounds: a thread plays the sound of every raised kind, one after another, until the
// condition behind each kind has ended. The alarm engine raises the flags; this thread lowers
// them (the disk-full flag is lowered by the engine's hold pass).
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "base/stop_signal.h"

namespace ocv {

// Plays WAV files. PlayBlocking returns when the sound has finished (or at once when it cannot
// be played); PlayAsync starts the sound and returns.
class WavPlayer {
public:
    virtual ~WavPlayer() = default;
    virtual void PlayBlocking(const std::string& path) = 0;
    virtual void PlayAsync(const std::string& path) = 0;
};

enum class SoundKind : int { kMotion = 0, kInput = 1, kVideoLoss = 2, kDiskFull = 3, kTemperature = 4 };
constexpr int kSoundKindCount = 5;

// "Sound/AlarmMotionDetect.wav", ... relative to the application directory.
const char* SoundFileName(SoundKind kind);

// The 124-byte "SNDATTR" block of config.ini: word 0 is the sound switch of the block (below 1
// means never configured), word 6 the number of plays of the temperature sound.
struct SoundAttributes {
    int32_t words[31];
    int32_t TemperatureRepeat() const { return words[6]; }
};
static_assert(sizeof(SoundAttributes) == 124);
// Reads the block; a missing block or a first word below 1 sets words 0 and 6 to 1.
SoundAttributes LoadSoundAttributes(const std::string& configIni);
bool SaveSoundAttributes(const std::string& configIni, const SoundAttributes& attributes);

class AlarmSoundPlayer {
public:
    // Whether any channel still qualifies for the kind's sound (motion, input, video loss).
    using QualifiesFn = std::function<bool(SoundKind)>;
    using SleepFn = std::function<void(int milliseconds)>;

    AlarmSoundPlayer(WavPlayer* player, std::string soundDirectory, QualifiesFn qualifies);
    ~AlarmSoundPlayer();
    AlarmSoundPlayer(const AlarmSoundPlayer&) = delete;
    AlarmSoundPlayer& operator=(const AlarmSoundPlayer&) = delete;

    void Raise(SoundKind kind) { flags_[static_cast<int>(kind)].store(1); }
    void Lower(SoundKind kind) { flags_[static_cast<int>(kind)].store(0); }
    bool IsRaised(SoundKind kind) const { return flags_[static_cast<int>(kind)].load() > 0; }

    // The alarm window's "Audio alarm" option: off plays nothing but keeps the flag rules.
    void SetSoundOn(bool on) { soundOn_ = on; }
    void SetTemperatureRepeat(int count) { temperatureRepeat_ = count; }
    int TemperatureRepeat() const { return temperatureRepeat_.load(); }

    // One pass over the kinds; returns whether any kind was served.
    bool RunPass();
    void Start();
    void Stop();

    // Plays a kind's file once without waiting (0 motion, 1 input, 2 video loss,
    // 4 temperature, anything else disk full).
    void TestSound(int kind);

    void SetSleepForTesting(SleepFn sleep) { sleep_ = std::move(sleep); }

private:
    std::string PathOf(SoundKind kind) const;
    void Sleep(int ms);

    WavPlayer* player_;
    std::string soundDirectory_;
    QualifiesFn qualifies_;
    SleepFn sleep_;
    std::atomic<int> flags_[kSoundKindCount] = {};
    std::atomic<bool> soundOn_{true};
    std::atomic<int> temperatureRepeat_{1};
    int temperaturePlays_ = 0;

    std::thread thread_;
    StopSignal stop_;
};

}  // namespace ocv
