#include "liveview/channel_text.h"

#include <cstdio>
#include <ctime>

#include "base/lang.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

std::string Text(const char (&field)[kTextBytes]) {
    char copy[kTextBytes];
    ReadTextRelaxed(field, copy);
    return copy;
}

std::string Label(const DeviceInfo& device, int channelIndex, bool padded) {
    if (channelIndex < 0 || channelIndex >= kMaxChannels) return {};
    std::string name = Text(device.channels[channelIndex].name);
    if (!name.empty()) return name;
    char out[96];
    std::string deviceName = Text(device.name);
    int number = channelIndex + 1;
    if (!deviceName.empty())
        std::snprintf(out, sizeof out, padded ? "%s-C%02d" : "%s-C%d", deviceName.c_str(), number);
    else
        std::snprintf(out, sizeof out, padded ? "%s:%d-%02d" : "%s:%d-C%d", Text(device.host).c_str(),
                      Relaxed(device.port), number);
    return out;
}

}  // namespace

std::string TreeChannelLabel(const DeviceInfo& device, int channelIndex, DeviceState state) {
    std::string label = Label(device, channelIndex, true);
    if (!label.empty() && state == kDeviceWrongPassword)
        label += " (" + GetLangString("wrong password") + ")";
    return label;
}

std::string CellChannelLabel(const DeviceInfo& device, int channelIndex) {
    return Label(device, channelIndex, false);
}

std::vector<int> ChannelStateIcons(const ChannelRuntime& c, ChannelStateView extra) {
    std::vector<int> icons;
    if (c.displayStream.load() == 0 && c.mainStream.load() == 0) {
        icons.push_back(c.channelOn.load() == 1 ? kIconChannelOn : kIconChannelOff);
        return icons;
    }
    if (c.connectState.load() != kStreamOpen) {
        icons.push_back(kIconConnecting);
        return icons;
    }
    icons.push_back(kIconConnected);
    if (c.recordActive.load() != 0) {
        switch (c.recordType.load()) {
            case kRecordManual: icons.push_back(kIconRecordManual); break;
            case kRecordAlarm: icons.push_back(kIconRecordAlarm); break;
            case kRecordPlan: icons.push_back(kIconRecordPlan); break;
            case kRecordNone: break;
        }
    }
    if (c.alarmActive.load() != kAlarmNone) icons.push_back(kIconAlarm);
    if (extra.soundOn) icons.push_back(kIconSound);
    if (extra.talking) icons.push_back(kIconTalk);
    return icons;
}

std::vector<int> ChannelStateIcons(const DeviceRuntime& device, int channelIndex, ChannelStateView extra) {
    if (channelIndex < 0 || channelIndex >= kMaxChannels) return {};
    if (device.deviceState.load() == kDeviceWrongPassword) return {kIconWrongPassword};
    return ChannelStateIcons(device.channels[channelIndex], extra);
}

CellStrip TemperatureStrip(const std::string& label, const TemperatureMark& mark, const CellStrip& previous,
                           const std::string& normalText, const std::string& abnormalText) {
    if (mark.code != kEventTemperatureNormal && mark.code != kEventTemperatureAbnormal) {
        if (mark.code == 0) return CellStrip{label, kStripDefaultArgb};
        return previous;
    }
    time_t t = static_cast<time_t>(mark.time);
    struct tm local {};
    localtime_r(&t, &local);
    char out[256];
    std::snprintf(out, sizeof out, "%s %s %04d-%02d-%02d %02d:%02d:%02d", label.c_str(),
                  mark.code == kEventTemperatureNormal ? normalText.c_str() : abnormalText.c_str(), local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return CellStrip{out, mark.code == kEventTemperatureNormal ? kStripNormalArgb : kStripAbnormalArgb};
}

}  // namespace ocv
