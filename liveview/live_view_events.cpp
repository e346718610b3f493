#include "liveview/live_view_events.h"

#include <type_traits>

namespace ocv {
namespace {

void Channel(int channelId, LiveViewEventSink& sink) {
    if (IsChannelId(channelId)) sink.ChannelChanged(DeviceIndexOf(channelId), ChannelIndexOf(channelId));
}

}  // namespace

void RouteLiveViewEvent(const CoreEvent& event, LiveViewEventSink& sink) {
    std::visit(
        [&sink](const auto& e) {
            using T = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<T, ChannelStateChanged> || std::is_same_v<T, RecordStateChanged>) {
                Channel(e.channelId, sink);
            } else if constexpr (std::is_same_v<T, DeviceStateChanged>) {
                if (e.deviceIndex >= 0 && e.deviceIndex < kMaxDevices) sink.DeviceChanged(e.deviceIndex);
            } else if constexpr (std::is_same_v<T, AlarmEvent>) {
                if (e.code == kEventTemperatureNormal || e.code == kEventTemperatureAbnormal) {
                    if (IsChannelId(e.channelId)) sink.TemperatureRead(e.channelId, TemperatureMark{e.code, e.time});
                } else {
                    Channel(e.channelId, sink);  // the alarm icon comes or goes
                }
            } else if constexpr (std::is_same_v<T, TemperatureCountersChanged>) {
                sink.DayCountersChanged(e.readings, e.abnormal);
            } else if constexpr (std::is_same_v<T, ConfigChanged>) {
                if (e.part == ConfigPart::kDevices || e.part == ConfigPart::kGroups || e.part == ConfigPart::kAll)
                    sink.ConfigurationChanged();
            }
        },
        event);
}

}  // namespace ocv
