#pragma once
// The events of the core's hub: each announces a change of something a window shows, published
// once by the module that owns it (see the writers in runtime/runtime_table.h). Windows read
// them through the client's bridge on the user-interface thread; a worker may read them with
// a reader of its own. A reader told it missed events re-reads what it shows.
#include <cstdint>
#include <variant>

#include "base/event_hub.h"
#include "runtime/state_codes.h"

namespace ocv {

// A channel's connection changed: its stream opened or closed, the device reported it on or off,
// or a connect worker started or ended. Publisher: ConnectionService.
struct ChannelStateChanged {
    int32_t channelId;
};

// A device logged in, went offline or refused the password. Publisher: ConnectionService.
struct DeviceStateChanged {
    int32_t deviceIndex;
    DeviceState state;
};

// A channel's recording changed: it began or ended, or its kind changed. Publisher:
// RecordingService.
struct RecordStateChanged {
    int32_t channelId;
    RecordKind kind;
};

// An entry of the alarm window's list: an alarm kind started or stopped on a channel, or a body
// temperature was read. The record keeps the 48-byte layout of the alarm event list. Publisher:
// AlarmEngine.
struct AlarmEvent {
    uint16_t valid;     // 1 once written
    uint16_t extra;
    int32_t channelId;
    int32_t code;       // AlarmEventCode
    uint32_t time;      // seconds since 1970
    char text[32];      // at most 31 characters
};
static_assert(sizeof(AlarmEvent) == 48);

// An alarm of an armed channel linked to the map (linkage bit 2). Publisher: AlarmEngine.
struct MapAlarmRaised {
    int32_t channelId;
    int32_t type;  // device alarm type: 0 motion, 1 input, 3 audio
    uint32_t time;
};

// The day's body-temperature counters changed: a reading, or the reset when the date changes.
// Publisher: AlarmEngine.
struct TemperatureCountersChanged {
    int32_t readings;
    int32_t abnormal;
};

// The disk recordings go to changed, or no selected disk is usable any more (or again).
// Publisher: DiskManager (the disk monitor thread).
struct DiskStateChanged {
    int32_t recordDisk;  // -1 when none is usable
    bool full;
};

// A log record was written. Publisher: LogWriter.
struct LogWritten {
    int32_t type;
    int32_t subtype;
    int32_t channelId;  // -1 when the record names no channel
    uint32_t time;
};

// Stored configuration changed. Publisher: ConfigStore (on the user-interface thread).
enum class ConfigPart : int32_t { kSettings, kDevices, kGroups, kMaps, kUsers, kAll };
struct ConfigChanged {
    ConfigPart part;
    int32_t index;  // the device slot, group or map id concerned; -1 for all of them
};

using CoreEvent = std::variant<ChannelStateChanged, DeviceStateChanged, RecordStateChanged, AlarmEvent,
                               MapAlarmRaised, TemperatureCountersChanged, DiskStateChanged, LogWritten,
                               ConfigChanged>;
using CoreEventHub = EventHub<CoreEvent>;

// Publishes when a hub is attached; modules built without one (tools, some tests) publish
// nothing.
inline void PublishTo(CoreEventHub* hub, const CoreEvent& event) {
    if (hub != nullptr) hub->Publish(event);
}

}  // namespace ocv
