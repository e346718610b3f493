#include "monitor/alarm_rows.h"

#include <time.h>

#include <cstdio>

#include "device/channel_directory.h"
#include "store/relaxed.h"

namespace ocv {

int ListsFor(const AlarmEvent& e, const AlarmDialogOptions& o) {
    switch (e.code) {
        case kEventTemperatureNormal: return kInEventList;
        case kEventTemperatureAbnormal: return kInAlarmList | kInEventList;
        case kEventMotionStart:
        case kEventMotionStop: return o.motion ? kInEventList : 0;
        case kEventInputStart:
        case kEventInputStop: return o.input ? kInEventList : 0;
        case kEventAudioStart:
        case kEventAudioStop: return o.other ? kInEventList : 0;
        default: return 0;
    }
}

const char* AlarmEventName(int code) {
    switch (code) {
        case kEventMotionStart: return "Motion detection occurs";
        case kEventMotionStop: return "Stop Motion detection";
        case kEventInputStart: return "Input alarm occurs";
        case kEventInputStop: return "Stop Input alarm";
        case kEventAudioStart: return "Audio alarm occurs";
        case kEventAudioStop: return "Stop Audio alarm";
        case kEventTemperatureNormal: return "Temperature normal";
        case kEventTemperatureAbnormal: return "Temperature abnormal";
        default: return "Unkown";
    }
}

std::string AlarmTimeText(uint32_t time) {
    time_t t = static_cast<time_t>(time);
    struct tm local {};
    localtime_r(&t, &local);
    char text[64];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
             local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

int DeviceAlarmTypeOfStart(int code) {
    switch (code) {
        case kEventMotionStart: return 0;
        case kEventInputStart: return 1;
        case kEventAudioStart: return 3;
        default: return -1;
    }
}

bool PopupWanted(const ChannelDirectory& directory, int channelId, int type, bool popupOption) {
    if (!popupOption || type == 100 || type < 0 || type > 4) return false;
    if (!IsChannelId(channelId)) return false;
    const DeviceInfo* device = directory.Device(DeviceIndexOf(channelId));
    int channel = ChannelIndexOf(channelId);
    if (!IsValidChannelOf(device, channel)) return false;
    const ChannelInfo& c = device->channels[channel];
    const int32_t words[5] = {Relaxed(c.alarmMd), Relaxed(c.alarmInput), Relaxed(c.alarmDisconnect),
                              Relaxed(c.alarmDiskFull), Relaxed(c.alarmDiskErr)};
    if (!(words[type] & kLinkPopupVideo)) return false;
    return directory.Runtime().channel(channelId).armedNow.load() != 0;
}

bool AlarmRowList::Add(const AlarmEvent& event) {
    rows_.push_front(event);
    if (rows_.size() <= capacity_) return false;
    rows_.pop_back();
    return true;
}

}  // namespace ocv
