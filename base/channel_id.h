#pragma once
// Channel ids: device index x 64 + channel index, the one name of a channel between the live
// view, the player channels, the device side, the recorders, the event hub and the logs. -1 is
// no channel.
namespace ocv {

constexpr int kMaxDevices = 128;
constexpr int kMaxChannels = 64;
constexpr int kChannelIdCount = kMaxDevices * kMaxChannels;

inline int ChannelIdOf(int deviceIndex, int channelIndex) { return deviceIndex * kMaxChannels + channelIndex; }
inline int DeviceIndexOf(int channelId) { return channelId / kMaxChannels; }
inline int ChannelIndexOf(int channelId) { return channelId % kMaxChannels; }
inline bool IsChannelId(int channelId) { return channelId >= 0 && channelId < kChannelIdCount; }

}  // namespace ocv
