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

struct KindInfo {
    int hold;          // hold slot
    int activeValue;   // alarmActive value
    int startCode, stopCode;
    int logStart, logStop;
    SoundKind sound;
};

bool KindOfType(int type, KindInfo* k) {
    switch (type) {
        case 0:
            *k = {kHoldMotion, 1, kEventMotionStart, kEventMotionStop, kLogMotionStart,
                  kLogMotionStop, SoundKind::kMotion};
            return true;
        case 1:
            *k = {kHoldInput, 2, kEventInputStart, kEventInputStop, kLogInputStart, kLogInputStop,
                  SoundKind::kInput};
            return true;
        case 3:
            *k = {kHoldAudio, 3, kEventAudioStart, kEventAudioStop, kLogAudioStart, kLogAudioStop,
                  SoundKind::kDiskFull};
            return true;
    }
    return false;
}

// The linkage word a device alarm of a type uses: motion, input, and (audio alarm) disk full.
int32_t LinkageOf(const ChannelInfo& c, int type) {
    switch (type) {
        case 0: return Relaxed(c.alarmMd);
        case 1: return Relaxed(c.alarmInput);
        case 3: return Relaxed(c.alarmDiskFull);
    }
    return 0;
}

const KindInfo& KindOfHold(int hold) {
    static const KindInfo kinds[kHoldKinds] = {
        {kHoldMotion, 1, kEventMotionStart, kEventMotionStop, kLogMotionStart, kLogMotionStop,
         SoundKind::kMotion},
        {kHoldInput, 2, kEventInputStart, kEventInputStop, kLogInputStart, kLogInputStop,
         SoundKind::kInput},
        {kHoldAudio, 3, kEventAudioStart, kEventAudioStop, kLogAudioStart, kLogAudioStop,
         SoundKind::kDiskFull}};
    return kinds[hold];
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

AlarmEngine::AlarmEngine(ConfigStore& store, LogWriter& log, AlarmSoundPlayer* sounds,
                         RecordDiskFn recordDisk)
    : store_(store), log_(log), sounds_(sounds), recordDisk_(std::move(recordDisk)) {}

uint32_t AlarmEngine::Now() const { return static_cast<uint32_t>(clockSnapshot().time); }

void AlarmEngine::PostAlarmEvent(int channelId, int code, const char* text, uint32_t time, int extra) {
    if (time == 0) time = Now();
    events_.Post(channelId, code, text, time, extra);
    if (code == kEventTemperatureNormal || code == kEventTemperatureAbnormal) {
        temperatureReadings_.fetch_add(1);
        if (code == kEventTemperatureAbnormal) abnormalReadings_.fetch_add(1);
    }
}

void AlarmEngine::QueueRecordStateEvent(int channelId) {
    recordStates_.Append(channelId, 0, Now());
}

void AlarmEngine::ResetDayCounters() {
    temperatureReadings_ = 0;
    abnormalReadings_ = 0;
}

int AlarmEngine::OnDeviceAlarm(int deviceIndex, int channelIndex, int type, const char* buffer,
                               int length) {
    if (store_.IsValidChannel(deviceIndex, channelIndex) != 0) return -1;
    if (type == 14) return OnTemperature(deviceIndex, channelIndex, buffer, length);
    KindInfo kind;
    if (!KindOfType(type, &kind)) return 0;
    ChannelInfo& c = store_.device(deviceIndex).channels[channelIndex];
    if (c.connectState.load() != 2) return -1;
    int channelId = ChannelIdOf(deviceIndex, channelIndex);
    c.alarmActive = kind.activeValue;
    int32_t linkage = LinkageOf(c, type);
    bool armed = c.armedNow.load() != 0;
    if (c.alarmHold[kind.hold].load() == -1) {
        QueueRecordStateEvent(channelId);
        PostAlarmEvent(channelId, kind.startCode, "", 0, 0);
        log_.LogWrite(kLogAlarm, kind.logStart, deviceIndex, channelIndex, "", "");
        if ((linkage & kLinkMap) && armed) mapAlarms_.Append(channelId, type, Now());
    }
    c.alarmHold[kind.hold] = clockSnapshot().SecondOfDay();
    if (armed && (linkage & kLinkSound) && sounds_) sounds_->Raise(kind.sound);
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
    ChannelInfo& c = store_.device(deviceIndex).channels[channelIndex];
    const SystemSettings& s = store_.settings();
    ClockSnapshot clock = clockSnapshot();
    int now = clock.SecondOfDay();
    bool armed = Relaxed(s.ARMFLAG) != 0 && Relaxed(c.armAlarm) != 0 &&
                 IsScheduleActive(c.armSchedule, clock.weekday, HalfHourOf(clock.hour, clock.minute));
    c.armedNow = armed ? 1 : 0;
    int channelId = ChannelIdOf(deviceIndex, channelIndex);
    int holdSeconds = Relaxed(s.ALARMLEN);
    bool connected = c.connectState.load() == 2;
    for (int k = 0; k < kHoldKinds; ++k) {
        int slot = c.alarmHold[k].load();
        if (slot == -1) continue;
        if (slot > now) {
            slot = now;  // the clock went back, or midnight passed
            c.alarmHold[k] = slot;
        }
        if (slot + holdSeconds < now || !connected) {
            c.alarmHold[k] = -1;
            const KindInfo& kind = KindOfHold(k);
            PostAlarmEvent(channelId, kind.stopCode, "", 0, 0);
            log_.LogWrite(kLogAlarm, kind.logStop, deviceIndex, channelIndex, "", "");
        }
    }
    if (c.alarmActive.load() != 0 && c.alarmHold[0].load() == -1 && c.alarmHold[1].load() == -1 &&
        c.alarmHold[2].load() == -1) {
        c.alarmActive = 0;
        QueueRecordStateEvent(channelId);
    }
    if (!sounds_) return;
    if (recordDisk_ && recordDisk_() == -1) {
        if (!sounds_->IsRaised(SoundKind::kDiskFull) && armed && (Relaxed(c.alarmDiskFull) & kLinkSound))
            sounds_->Raise(SoundKind::kDiskFull);
    } else {
        sounds_->Lower(SoundKind::kDiskFull);
    }
}

void AlarmEngine::OnConnectionEvent(int event, int loginHandle, int streamHandle) {
    if (loginHandle == 0) return;
    int deviceIndex = -1;
    for (int d = 0; d < kMaxDevices; ++d) {
        if (store_.device(d).loginHandle.load() == loginHandle) {
            deviceIndex = d;
            break;
        }
    }
    if (deviceIndex < 0) return;
    DeviceInfo& dev = store_.device(deviceIndex);
    int channelCount = std::min<int>(Relaxed(dev.channelCount), kMaxChannels);
    if (event == 1 || event == 2) {
        int want = event == 1 ? 0 : 2;
        if (dev.deviceState.exchange(want) == want) return;
        for (int ch = 0; ch < channelCount; ++ch)
            if (store_.IsValidChannel(deviceIndex, ch) == 0) QueueRecordStateEvent(ChannelIdOf(deviceIndex, ch));
        return;
    }
    if (event < 3 || event > 5 || shuttingDown_) return;
    for (int ch = 0; ch < channelCount; ++ch) {
        ChannelInfo& c = dev.channels[ch];
        if (streamHandle == 0 || c.mainStream.load() != streamHandle) continue;
        int channelId = ChannelIdOf(deviceIndex, ch);
        if (event == 3) {
            if (streamUp_) streamUp_(deviceIndex, ch);
            c.connectState = 2;
            QueueRecordStateEvent(channelId);
            log_.LogWrite(kLogSystem, kLogConnected, deviceIndex, ch, "", "");
        } else if (event == 4) {
            c.connectState = 0;
            if (c.armedNow.load() && (Relaxed(c.alarmDisconnect) & kLinkSound) && sounds_)
                sounds_->Raise(SoundKind::kVideoLoss);
            QueueRecordStateEvent(channelId);
            log_.LogWrite(kLogSystem, kLogDisconnected, deviceIndex, ch, "", "");
        } else {
            c.connectState = 0;
        }
        return;
    }
}

bool AlarmEngine::SoundQualifies(SoundKind kind) {
    for (int d = 0; d < kMaxDevices; ++d) {
        DeviceInfo& dev = store_.device(d);
        int channelCount = std::min<int>(Relaxed(dev.channelCount), kMaxChannels);
        for (int ch = 0; ch < channelCount; ++ch) {
            if (store_.IsValidChannel(d, ch) != 0) continue;
            const ChannelInfo& c = dev.channels[ch];
            if (c.mainStream.load() == 0) continue;
            switch (kind) {
                case SoundKind::kMotion:
                case SoundKind::kInput: {
                    int32_t word = kind == SoundKind::kMotion ? Relaxed(c.alarmMd) : Relaxed(c.alarmInput);
                    if (c.armedNow.load() && (word & kLinkSound) && c.alarmActive.load() != 0) return true;
                    break;
                }
                case SoundKind::kVideoLoss:
                    if ((Relaxed(c.alarmDisconnect) & kLinkSound) && c.connectState.load() != 2) return true;
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
