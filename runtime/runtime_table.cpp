#include "runtime/runtime_table.h"

#include <cstring>

namespace ocv {

void ChannelRuntime::ResetConnection() {
    connectState.store(kStreamClosed, std::memory_order_relaxed);
    for (auto* f : {&mainStream, &subStream, &displayStream, &alarmChannel, &recordFromSub, &connectPending,
                    &channelOn})
        f->store(0, std::memory_order_relaxed);
    SetStreamInfo(true, StreamInfo{});
    SetStreamInfo(false, StreamInfo{});
}

void ChannelRuntime::ResetRecording() {
    recordType.store(kRecordNone, std::memory_order_relaxed);
    recordActive.store(0, std::memory_order_relaxed);
    recordStart.store(-1, std::memory_order_relaxed);
    manualRecord.store(0, std::memory_order_relaxed);
}

void ChannelRuntime::ResetAlarms() {
    for (auto& hold : alarmHold) hold.store(-1, std::memory_order_relaxed);
    alarmActive.store(kAlarmNone, std::memory_order_relaxed);
    armedNow.store(0, std::memory_order_relaxed);
}

void DeviceRuntime::ResetConnection() {
    for (auto* f : {&loginHandle, &eventStream, &thermalStream}) f->store(0, std::memory_order_relaxed);
    deviceState.store(kDeviceOffline, std::memory_order_relaxed);
    thermalCapable.store(0, std::memory_order_relaxed);
    stopFlag.store(0, std::memory_order_relaxed);
    std::memset(infoBlock, 0, sizeof infoBlock);
    for (auto& c : channels) c.ResetConnection();
}

}  // namespace ocv
