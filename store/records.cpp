#include "store/records.h"

#include <cstring>

#include "store/relaxed.h"

namespace ocv {

bool IsScheduleActive(const uint32_t (&schedule)[kScheduleWords], int weekday, int halfHour) {
    if (weekday < 0 || weekday > 6 || halfHour < 0 || halfHour > 47) return false;
    uint32_t word = Relaxed(schedule[weekday * 2 + halfHour / 24]);
    return (word >> (halfHour % 24)) & 1u;
}

void ChannelInfo::ResetRuntime() {
    for (auto* f : {&connectState, &mainStream, &subStream, &displayStream, &alarmChannel,
                    &recordFromSub, &connectPending, &channelOn, &timeSyncPending, &recordType,
                    &recordActive, &manualRecord, &alarmActive, &armedNow}) {
        f->store(0, std::memory_order_relaxed);
    }
    recordStart.store(-1, std::memory_order_relaxed);
    for (auto& hold : alarmHold) hold.store(-1, std::memory_order_relaxed);
    SetStreamInfo(true, StreamInfo{});
    SetStreamInfo(false, StreamInfo{});
}

bool DeviceInfo::IsEmpty() const { return Relaxed(host[0]) == '\0'; }

void DeviceInfo::ResetRuntime() {
    for (auto* f : {&loginHandle, &eventStream, &deviceState, &thermalStream}) {
        f->store(0, std::memory_order_relaxed);
    }
    thermalCapable.store(0, std::memory_order_relaxed);
    stopFlag.store(0, std::memory_order_relaxed);
    std::memset(infoBlock, 0, sizeof infoBlock);
    for (auto& ch : channels) ch.ResetRuntime();
}

}  // namespace ocv
