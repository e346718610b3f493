#include "events/alarm_engine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "events/log_record.h"
#include "base/clock.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

constexpr std::string_view kTemperaturePrefix = "HeartBeat:tmp|";
// A report is a short line; anything longer is not read past this.
constexpr int kMaxReportBytes = 4096;

// The device alarm kinds: type code of the device library, hold slot, alarmActive value, the
// alarm window's start and stop events, the alarm log's start and stop subtypes, the sound.
struct AlarmKind {
    int type;
    HoldKind hold;
    ActiveAlarm active;
    AlarmEventCode startCode, stopCode;
    int logStart, logStop;
    SoundKind sound;
};

constexpr AlarmKind kAlarmKinds[kHoldKinds] = {
    {0, kHoldMotion, kAlarmMotion, kEventMotionStart, kEventMotionStop, kLogMotionStart, kLogMotionStop,
     SoundKind::kMotion},
    {1, kHoldInput, kAlarmInput, kEventInputStart, kEventInputStop, kLogInputStart, kLogInputStop,
     SoundKind::kInput},
    // The audio alarm sounds the disk-full sound, as devices have always been configured.
    {3, kHoldAudio, kAlarmAudio, kEventAudioStart, kEventAudioStop, kLogAudioStart, kLogAudioStop,
     SoundKind::kDiskFull},
};

const AlarmKind* KindOfType(int type) {
    for (const AlarmKind& k : kAlarmKinds)
        if (k.type == type) return &k;
    return nullptr;
}

// The linkage word a device alarm kind uses: motion, input, and (audio alarm) disk full.
int32_t LinkageOf(const ChannelInfo& c, HoldKind hold) {
    switch (hold) {
        case kHoldMotion: return Relaxed(c.alarmMd);
        case kHoldInput: return Relaxed(c.alarmInput);
        case kHoldAudio: return Relaxed(c.alarmDiskFull);
    }
    return 0;
}

bool AllIdle(const ChannelRuntime& rt) {
    for (const auto& hold : rt.alarmHold)
        if (hold.load() != -1) return false;
    return true;
}

}  // namespace

bool ParseTemperatureReport(const char* buffer, int length, TemperatureReading* out) {
    if (buffer == nullptr || length <= 0) return false;
    std::string_view text(buffer, static_cast<size_t>(std::min(length, kMaxReportBytes)));
    size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    size_t at = text.find(kTemperaturePrefix);
    if (at == std::string_view::npos) return false;
    std::string fields(text.substr(at + kTemperaturePrefix.size()));
    size_t bar = fields.find('|');
    std::string codeText = fields.substr(0, bar);
    std::string timeText = bar == std::string::npos ? "" : fields.substr(bar + 1);
    long code = strtol(codeText.c_str(), nullptr, 10);
    unsigned long long time = strtoull(timeText.c_str(), nullptr, 10);
    out->abnormal = (code & 0x8000) != 0;
    out->hundredths = static_cast<int>(code & 0x7FFF);
    out->time = static_cast<uint32_t>(time);
    snprintf(out->text, sizeof out->text, "%d.%02d", out->hundredths / 100, out->hundredths % 100);
    return true;
}

AlarmEngine::AlarmEngine(ConfigStore& store, RuntimeTable& runtime, LogWriter& log, AlarmSoundPlayer* sounds,
                         RecordDiskFn recordDisk, CoreEventHub* hub)
    : store_(store), runtime_(runtime), log_(log), sounds_(sounds), recordDisk_(std::move(recordDisk)), hub_(hub) {}

uint32_t AlarmEngine::Now() const { return static_cast<uint32_t>(clockSnapshot().time); }

void AlarmEngine::PostAlarmEvent(int channelId, int code, const char* text, uint32_t time, int extra) {
    AlarmEvent e{};
    e.valid = 1;
    e.extra = static_cast<uint16_t>(extra);
    e.channelId = channelId;
    e.code = code;
    e.time = time == 0 ? Now() : time;
    snprintf(e.text, sizeof e.text, "%s", text ? text : "");
    if (code == kEventTemperatureNormal || code == kEventTemperatureAbnormal) {
        temperatureReadings_.fetch_add(1);
        if (code == kEventTemperatureAbnormal) abnormalReadings_.fetch_add(1);
    }
    PublishTo(hub_, e);
    if (code == kEventTemperatureNormal || code == kEventTemperatureAbnormal) PublishCounters();
}

void AlarmEngine::PublishCounters() {
    PublishTo(hub_, TemperatureCountersChanged{temperatureReadings_.load(), abnormalReadings_.load()});
}

void AlarmEngine::ResetDayCounters() {
    temperatureReadings_ = 0;
    abnormalReadings_ = 0;
    PublishCounters();
}

int AlarmEngine::OnDeviceAlarm(int deviceIndex, int channelIndex, int type, const char* buffer,
                               int length) {
    if (store_.IsValidChannel(deviceIndex, channelIndex) != 0) return -1;
    if (type == 14) return OnTemperature(deviceIndex, channelIndex, buffer, length);
    const AlarmKind* kind = KindOfType(type);
    if (kind == nullptr) return 0;
    ChannelRuntime& rt = runtime_.channel(deviceIndex, channelIndex);
    if (rt.connectState.load() != kStreamOpen) return -1;
    const ChannelInfo& c = store_.device(deviceIndex).channels[channelIndex];
    int channelId = ChannelIdOf(deviceIndex, channelIndex);
    rt.alarmActive = kind->active;
    int32_t linkage = LinkageOf(c, kind->hold);
    bool armed = rt.armedNow.load() != 0;
    if (rt.alarmHold[kind->hold].load() == -1) {
        PostAlarmEvent(channelId, kind->startCode, "", 0, 0);
        log_.LogWrite(kLogAlarm, kind->logStart, deviceIndex, channelIndex, "", "");
        if ((linkage & kLinkMap) && armed) PublishTo(hub_, MapAlarmRaised{channelId, type, Now()});
    }
    rt.alarmHold[kind->hold] = clockSnapshot().SecondOfDay();
    if (armed && (linkage & kLinkSound) && sounds_) sounds_->Raise(kind->sound);
    return 0;
}

int AlarmEngine::OnTemperature(int deviceIndex, int channelIndex, const char* buffer, int length) {
    TemperatureReading r;
    if (!ParseTemperatureReport(buffer, length, &r)) return 0;
    int code = r.abnormal ? kEventTemperatureAbnormal : kEventTemperatureNormal;
    if (r.abnormal && sounds_ && sounds_->TemperatureRepeat() > 0) sounds_->Raise(SoundKind::kTemperature);
    PostAlarmEvent(ChannelIdOf(deviceIndex, channelIndex), code, r.text, r.time, 0);
    log_.LogWrite(kLogAlarm, r.abnormal ? kLogTemperatureAbnormal : kLogTemperatureNormal,
                  deviceIndex, channelIndex, r.text, "", r.time);
    return 0;
}

void AlarmEngine::HoldPass(int deviceIndex, int channelIndex) {
    if (store_.IsValidChannel(deviceIndex, channelIndex) != 0) return;
    const ChannelInfo& c = store_.device(deviceIndex).channels[channelIndex];
    ChannelRuntime& rt = runtime_.channel(deviceIndex, channelIndex);
    const SystemSettings& s = store_.settings();
    ClockSnapshot clock = clockSnapshot();
    int now = clock.SecondOfDay();
    bool armed = Relaxed(s.ARMFLAG) != 0 && Relaxed(c.armAlarm) != 0 &&
                 IsScheduleActive(c.armSchedule, clock.weekday, HalfHourOf(clock.hour, clock.minute));
    rt.armedNow = armed ? 1 : 0;
    int channelId = ChannelIdOf(deviceIndex, channelIndex);
    int holdSeconds = Relaxed(s.ALARMLEN);
    bool connected = rt.connectState.load() == kStreamOpen;
    for (const AlarmKind& kind : kAlarmKinds) {
        int slot = rt.alarmHold[kind.hold].load();
        if (slot == -1) continue;
        if (slot > now) {
            slot = now;  // the clock went back, or midnight passed
            rt.alarmHold[kind.hold] = slot;
        }
        if (slot + holdSeconds < now || !connected) {
            rt.alarmHold[kind.hold] = -1;
            // Cleared before the stop is published, so that a reader woken by the last stop
            // already sees the channel out of alarm.
            if (AllIdle(rt)) rt.alarmActive = kAlarmNone;
            PostAlarmEvent(channelId, kind.stopCode, "", 0, 0);
            log_.LogWrite(kLogAlarm, kind.logStop, deviceIndex, channelIndex, "", "");
        }
    }
    if (rt.alarmActive.load() != kAlarmNone && AllIdle(rt)) rt.alarmActive = kAlarmNone;
    if (!sounds_) return;
    if (recordDisk_ && recordDisk_() == -1) {
        if (!sounds_->IsRaised(SoundKind::kDiskFull) && armed && (Relaxed(c.alarmDiskFull) & kLinkSound))
            sounds_->Raise(SoundKind::kDiskFull);
    } else {
        sounds_->Lower(SoundKind::kDiskFull);
    }
}

void AlarmEngine::OnStreamConnected(int deviceIndex, int channelIndex) {
    log_.LogWrite(kLogSystem, kLogConnected, deviceIndex, channelIndex, "", "");
}

void AlarmEngine::OnStreamLost(int deviceIndex, int channelIndex) {
    if (store_.IsValidChannel(deviceIndex, channelIndex) != 0) return;
    const ChannelInfo& c = store_.device(deviceIndex).channels[channelIndex];
    if (runtime_.channel(deviceIndex, channelIndex).armedNow.load() && (Relaxed(c.alarmDisconnect) & kLinkSound) &&
        sounds_)
        sounds_->Raise(SoundKind::kVideoLoss);
    log_.LogWrite(kLogSystem, kLogDisconnected, deviceIndex, channelIndex, "", "");
}

bool AlarmEngine::SoundQualifies(SoundKind kind) {
    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo& dev = store_.device(d);
        int channelCount = std::min<int>(Relaxed(dev.channelCount), kMaxChannels);
        for (int ch = 0; ch < channelCount; ++ch) {
            if (store_.IsValidChannel(d, ch) != 0) continue;
            const ChannelInfo& c = dev.channels[ch];
            const ChannelRuntime& rt = runtime_.channel(d, ch);
            if (rt.mainStream.load() == 0) continue;
            switch (kind) {
                case SoundKind::kMotion:
                case SoundKind::kInput: {
                    int32_t word = kind == SoundKind::kMotion ? Relaxed(c.alarmMd) : Relaxed(c.alarmInput);
                    if (rt.armedNow.load() && (word & kLinkSound) && rt.alarmActive.load() != kAlarmNone) return true;
                    break;
                }
                case SoundKind::kVideoLoss:
                    if ((Relaxed(c.alarmDisconnect) & kLinkSound) && rt.connectState.load() != kStreamOpen) return true;
                    break;
                default:
                    return false;
            }
        }
    }
    return false;
}

int AlarmEngine::ReloadTodaysTemperatures() {
    return ocv::ReloadTodaysTemperatures(
        log_.Directory(),
        [this](const std::string& deviceText) {
            for (int d = 0; d < kMaxDevices; ++d) {
                const DeviceInfo& dev = store_.device(d);
                char host[kTextBytes];
                ReadTextRelaxed(dev.host, host);
                if (host[0] == '\0') continue;
                int port = Relaxed(dev.port);
                int channelCount = std::min<int>(Relaxed(dev.channelCount), kMaxChannels);
                for (int ch = 0; ch < channelCount; ++ch)
                    if (FormatLogDeviceText(host, port, ch + 1) == deviceText) return ChannelIdOf(d, ch);
            }
            return -1;
        },
        [this](int channelId, int code, const char* note, uint32_t time) {
            PostAlarmEvent(channelId, code, note, time, 0);
        });
}

}  // namespace ocv
