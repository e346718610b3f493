#pragma once
// Turns what devices report (motion, alarm inputs, audio alarms, temperature readings, stream
// connection changes) and what the system notices (no usable recording disk) into the alarm
// state of each channel: hold times, arming, sounds, the alarm window's events and the alarm log.
//
// Writes the alarm fields of the runtime table (alarmHold, alarmActive, armedNow) and nothing
// else of it; publishes AlarmEvent, MapAlarmRaised and TemperatureCountersChanged on the hub.
// OnDeviceAlarm, OnStreamConnected and OnStreamLost run on the device library's callback
// threads, HoldPass on the scheduler thread, ResetDayCounters on the status worker.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "events/alarm_sound.h"
#include "events/log_writer.h"
#include "runtime/core_events.h"
#include "runtime/runtime_table.h"
#include "store/config_store.h"

namespace ocv {

class AlarmEngine {
public:
    // Index of the disk recordings go to, -1 when none is usable.
    using RecordDiskFn = std::function<int()>;

    AlarmEngine(ConfigStore& store, RuntimeTable& runtime, LogWriter& log, AlarmSoundPlayer* sounds,
                RecordDiskFn recordDisk, CoreEventHub* hub = nullptr);

    // Types 0 motion, 1 input, 3 audio alarm, 14 temperature message; others are ignored.
    // 0, or -1 for an invalid channel or (0, 1, 3) a channel whose stream is not connected.
    int OnDeviceAlarm(int deviceIndex, int channelIndex, int type, const char* buffer, int length);
    // A channel's main stream connected again, or was lost: the system log and, for a lost
    // stream of an armed channel linked to sound, the video-loss sound. (The connection state
    // itself is the connection service's.)
    void OnStreamConnected(int deviceIndex, int channelIndex);
    void OnStreamLost(int deviceIndex, int channelIndex);
    // Once a second for every valid channel, before the recording decisions of the sweep.
    void HoldPass(int deviceIndex, int channelIndex);

    // Publishes an entry of the alarm window's list (time 0 = now).
    void PostAlarmEvent(int channelId, int code, const char* text, uint32_t time, int extra);

    // Whether a channel still qualifies for a kind's sound (the sound thread asks).
    bool SoundQualifies(SoundKind kind);

    // Posts today's temperature readings of the alarm log again (after a restart).
    int ReloadTodaysTemperatures();

    // The day's temperature readings and abnormal ones; reset when the date changes.
    int TemperatureReadings() const { return temperatureReadings_.load(); }
    int AbnormalReadings() const { return abnormalReadings_.load(); }
    void ResetDayCounters();

private:
    int OnTemperature(int deviceIndex, int channelIndex, const char* buffer, int length);
    void PublishCounters();
    uint32_t Now() const;

    ConfigStore& store_;
    RuntimeTable& runtime_;
    LogWriter& log_;
    AlarmSoundPlayer* sounds_;
    RecordDiskFn recordDisk_;
    CoreEventHub* hub_;
    std::atomic<int> temperatureReadings_{0};
    std::atomic<int> abnormalReadings_{0};
};

// The temperature report "HeartBeat:tmp|<code>|<time>|...": code bit 15 marks an abnormal
// reading, the rest is hundredths of a degree. false when the prefix is missing.
struct TemperatureReading {
    bool abnormal;
    int hundredths;
    uint32_t time;
    char text[16];  // "36.50"
};
bool ParseTemperatureReport(const char* buffer, int length, TemperatureReading* out);

}  // namespace ocv
