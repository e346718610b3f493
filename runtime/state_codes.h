#pragma once
// The named values of the runtime state and of the events that announce its changes. Stored
// files and the device library carry the same numbers, so each value is fixed.
#include <cstdint>

namespace ocv {

// ChannelRuntime::connectState.
enum ConnectState : int32_t {
    kStreamClosed = 0,
    kStreamOpen = 2,  // the channel's live stream is connected
};

// DeviceRuntime::deviceState.
enum DeviceState : int32_t {
    kDeviceOffline = 0,
    kDeviceOnline = 2,  // logged in with the event stream open
    // The device refused the stored user name or password. Not logged in; the device thread
    // tries again after a growing pause (a camera may lock the account after failed logins),
    // and at once when the operator edits the device.
    kDeviceWrongPassword = 3,
};

// ChannelRuntime::recordType: why the channel records now. The number is also the recording
// file's type (file name prefix NREC, AREC, PREC).
enum RecordKind : int32_t {
    kRecordNone = 0,
    kRecordManual = 1,
    kRecordAlarm = 2,
    kRecordPlan = 3,
};

// ChannelRuntime::alarmActive: the kind whose message came last while any kind is held.
enum ActiveAlarm : int32_t {
    kAlarmNone = 0,
    kAlarmMotion = 1,
    kAlarmInput = 2,
    kAlarmAudio = 3,
};

// Hold slots of ChannelRuntime::alarmHold, one per device alarm kind.
enum HoldKind : int {
    kHoldMotion = 0,
    kHoldInput = 1,
    kHoldAudio = 2,
};
constexpr int kHoldKinds = 3;

// Codes of the alarm window's events (AlarmEvent::code).
enum AlarmEventCode : int32_t {
    kEventMotionStart = 2,
    kEventMotionStop = 3,
    kEventInputStart = 4,
    kEventInputStop = 5,
    kEventAudioStart = 6,
    kEventAudioStop = 7,
    kEventTemperatureNormal = 18,
    kEventTemperatureAbnormal = 19,
};

}  // namespace ocv
