#pragma once
// The live state of every device slot and channel: what is connected, recording and in alarm
// now. Nothing here is stored; the configuration lives in the store's records (ConfigStore).
//
// Every field has one writer, named beside it; any thread may read (fields are atomics, or
// behind their own small lock). Readers who show a field subscribe to the event its writer
// publishes when it changes (runtime/core_events.h) instead of rescanning the table.
//   connection fields  ConnectionService: device threads, connect workers, the device library's
//                      exception and stream callbacks
//   recording fields   RecordingService: the scheduler thread and record commands, under the
//                      recorder-table lock
//   alarm fields       AlarmEngine: the device library's event callback and the scheduler's
//                      hold pass
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "base/channel_id.h"
#include "base/media_types.h"
#include "runtime/state_codes.h"

namespace ocv {

// Size of the device library's login information block kept per device.
constexpr int kDeviceInfoBlockBytes = 512;

struct ChannelRuntime {
    // Connection (ConnectionService).
    std::atomic<ConnectState> connectState{kStreamClosed};
    std::atomic<int32_t> mainStream{0};     // stream handles, 0 = none
    std::atomic<int32_t> subStream{0};
    std::atomic<int32_t> displayStream{0};  // equal to mainStream or subStream
    std::atomic<int32_t> alarmChannel{0};
    std::atomic<int32_t> recordFromSub{0};
    std::atomic<int32_t> connectPending{0};  // a connect worker wants the channel open
    std::atomic<int32_t> channelOn{0};       // the device reports the channel on

    // Last stream headers received: written by the stream callback of that stream, read by the
    // user interface (sound attributes, popup windows).
    StreamInfo MainStreamInfo() const {
        std::lock_guard lock(streamInfoMutex_);
        return mainStreamInfo_;
    }
    StreamInfo SubStreamInfo() const {
        std::lock_guard lock(streamInfoMutex_);
        return subStreamInfo_;
    }
    void SetStreamInfo(bool main, const StreamInfo& info) {
        std::lock_guard lock(streamInfoMutex_);
        (main ? mainStreamInfo_ : subStreamInfo_) = info;
    }

    // Recording (RecordingService).
    std::atomic<RecordKind> recordType{kRecordNone};  // why the current file records
    std::atomic<int32_t> recordActive{0};   // the scheduler keeps the channel recording
    std::atomic<int32_t> recordStart{-1};   // second of day the file began; -1 none
    std::atomic<int32_t> manualRecord{0};   // the operator's record switch

    // Alarms (AlarmEngine): second of day of the latest message per kind, -1 when idle.
    std::atomic<int32_t> alarmHold[kHoldKinds]{-1, -1, -1};
    std::atomic<ActiveAlarm> alarmActive{kAlarmNone};
    std::atomic<int32_t> armedNow{0};

    ChannelRuntime() = default;
    ChannelRuntime(const ChannelRuntime&) = delete;
    ChannelRuntime& operator=(const ChannelRuntime&) = delete;

    // Back to a channel that is not open (its owner's fields only; see Reset*).
    void ResetConnection();
    void ResetRecording();
    void ResetAlarms();

private:
    mutable std::mutex streamInfoMutex_;
    StreamInfo mainStreamInfo_{};
    StreamInfo subStreamInfo_{};
};

struct DeviceRuntime {
    // Connection (ConnectionService).
    std::atomic<int32_t> loginHandle{0};  // 0 = not logged in
    std::atomic<int32_t> eventStream{0};
    std::atomic<DeviceState> deviceState{kDeviceOffline};
    std::atomic<int32_t> thermalStream{0};
    std::atomic<uint8_t> thermalCapable{0};
    std::atomic<uint8_t> stopFlag{0};
    uint8_t infoBlock[kDeviceInfoBlockBytes]{};  // written by the login under `lock`; firmware text at 232
    std::thread thread;  // the device connection thread (started and joined on the UI thread)
    std::mutex lock;     // serialises login and channel opening of this device

    ChannelRuntime channels[kMaxChannels];

    DeviceRuntime() = default;
    DeviceRuntime(const DeviceRuntime&) = delete;
    DeviceRuntime& operator=(const DeviceRuntime&) = delete;

    // The connection fields of the device and its channels; the thread must not be running.
    void ResetConnection();
};

class RuntimeTable {
public:
    RuntimeTable() : devices_(new DeviceRuntime[kMaxDevices]) {}
    DeviceRuntime& device(int index) { return devices_[index]; }
    const DeviceRuntime& device(int index) const { return devices_[index]; }
    ChannelRuntime& channel(int device, int channel) { return devices_[device].channels[channel]; }
    const ChannelRuntime& channel(int device, int channel) const { return devices_[device].channels[channel]; }
    ChannelRuntime& channel(int channelId) { return channel(DeviceIndexOf(channelId), ChannelIndexOf(channelId)); }
    const ChannelRuntime& channel(int channelId) const {
        return channel(DeviceIndexOf(channelId), ChannelIndexOf(channelId));
    }

private:
    std::unique_ptr<DeviceRuntime[]> devices_;
};

}  // namespace ocv
