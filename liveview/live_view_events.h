#pragma once
// What the live view does with the core's events, free of Qt so the rules are tested without
// windows: the page subscribes to the kinds in kLiveViewEventKinds through the client's event
// bridge and hands each event to RouteLiveViewEvent, which tells the page what to show again.
#include <cstdint>

#include "liveview/channel_text.h"
#include "runtime/core_events.h"

namespace ocv {

class LiveViewEventSink {
public:
    virtual ~LiveViewEventSink() = default;
    // A channel's tree icons and cell labels are to be shown again.
    virtual void ChannelChanged(int device, int channel) = 0;
    // Every channel of a device, and its thermal insets may open now.
    virtual void DeviceChanged(int device) = 0;
    // A body-temperature reading of a channel.
    virtual void TemperatureRead(int channelId, const TemperatureMark& mark) = 0;
    virtual void DayCountersChanged(int readings, int abnormal) = 0;
    // Devices or groups changed: the tree is to be built again.
    virtual void ConfigurationChanged() = 0;
};

constexpr uint64_t kLiveViewEventKinds =
    CoreEventHub::MaskOf<ChannelStateChanged>() | CoreEventHub::MaskOf<DeviceStateChanged>() |
    CoreEventHub::MaskOf<RecordStateChanged>() | CoreEventHub::MaskOf<AlarmEvent>() |
    CoreEventHub::MaskOf<TemperatureCountersChanged>() | CoreEventHub::MaskOf<ConfigChanged>();

void RouteLiveViewEvent(const CoreEvent& event, LiveViewEventSink& sink);

}  // namespace ocv
