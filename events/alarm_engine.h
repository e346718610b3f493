#pragma once
// Turns what devices report (motion, alarm inputs, audio alarms, temperature readings, stream
// connection changes) and what the system notices (no usable recording disk) into the alarm
// state of each channel: hold times, arming, sounds, the event queue and the alarm log.
//
// OnDeviceAlarm and OnConnectionEvent run on the device library's callback threads, HoldPass on
// the scheduler thread. The per-channel state is atomics in ChannelInfo.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "events/alarm_event_queue.h"
#include "events/alarm_sound.h"
#include "events/log_writer.h"
#include "store/config_store.h"

namespace ocv {

class AlarmEngine {
public:
    // Index of the disk recordings go to, -1 when none is usable.
    using RecordDiskFn = std::function<int()>;
    // Called when a stream reports itself connected again (the device service's reconnect
    // bookkeeping).
    using StreamUpFn = std::function<void(int deviceIndex, int channelIndex)>;

    AlarmEngine(ConfigStore& store, LogWriter& log, AlarmSoundPlayer* sounds, RecordDiskFn recordDisk);

    void SetStreamUpHandler(StreamUpFn fn) { streamUp_ = std::move(fn); }
    void SetShuttingDown(bool shuttingDown) { shuttingDown_ = shuttingDown; }

    // Types 0 motion, 1 input, 3 audio alarm, 14 temperature message; others are ignored.
    // 0, or -1 for an invalid channel or (0, 1, 3) a channel whose stream is not connected.
    int OnDeviceAlarm(int deviceIndex, int channelIndex, int type, const char* buffer, int length);
    // Events 1 device offline, 2 device back, 3 stream connected, 4 stream lost, 5 stream closed.
    void OnConnectionEvent(int event, int loginHandle, int streamHandle);
    // Once a second for every valid channel, before the recording decisions of the sweep.
    void HoldPass(int deviceIndex, int channelIndex);

    void PostAlarmEvent(int channelId, int code, const char* text, uint32_t time, int extra);
    void QueueRecordStateEvent(int channelId);

    // Whether a channel still qualifies for a kind's sound (the sound thread asks).
    bool SoundQualifies(SoundKind kind);

    // Posts today's temperature readings of the alarm log again (after a restart).
    int ReloadTodaysTemperatures();

    AlarmEventQueue& events() { return events_; }
    NotifyList& recordStates() { return recordStates_; }
    NotifyList& mapAlarms() { return mapAlarms_; }

    // The day's temperature readings and abnormal ones; reset when the date changes.
    int TemperatureReadings() const { return temperatureReadings_.load(); }
    int AbnormalReadings() const { return abnormalReadings_.load(); }
    void ResetDayCounters();

private:
    int OnTemperature(int deviceIndex, int channelIndex, const char* buffer, int length);
    uint32_t Now() const;

    ConfigStore& store_;
    LogWriter& log_;
    AlarmSoundPlayer* sounds_;
    RecordDiskFn recordDisk_;
    StreamUpFn streamUp_;
    std::atomic<bool> shuttingDown_{false};
    AlarmEventQueue events_;
    NotifyList recordStates_;
    NotifyList mapAlarms_;
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
