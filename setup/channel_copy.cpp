#include "setup/channel_copy.h"

#include <cstring>

#include "store/config_store.h"

namespace ocv {

LocalSettings LocalSettingsOf(const ChannelRecord& c, LocalPage page) {
    LocalSettings s;
    switch (page) {
    case LocalPage::kMotion: s.linkage = c.alarmMd; break;
    case LocalPage::kAlarmInput: s.linkage = c.alarmInput; break;
    case LocalPage::kPlan:
        s.enabled = c.planRecord;
        std::memcpy(s.schedule, c.planSchedule, sizeof s.schedule);
        break;
    case LocalPage::kArming:
        s.enabled = c.armAlarm;
        std::memcpy(s.schedule, c.armSchedule, sizeof s.schedule);
        break;
    }
    return s;
}

int WriteLocalSettings(ConfigStore& store, int device, int channel, LocalPage page, const LocalSettings& s) {
    switch (page) {
    case LocalPage::kMotion: return store.ModifyChannel(device, channel, kChannelAlarmMd, s.linkage, nullptr, 0);
    case LocalPage::kAlarmInput:
        return store.ModifyChannel(device, channel, kChannelAlarmInput, s.linkage, nullptr, 0);
    case LocalPage::kPlan:
        if (store.ModifyChannel(device, channel, kChannelPlanRecord, s.enabled, nullptr, 0) != 0) return -1;
        return store.ModifyChannel(device, channel, kChannelPlanSchedule, 0, s.schedule, kScheduleBytes);
    case LocalPage::kArming:
        if (store.ModifyChannel(device, channel, kChannelArmAlarm, s.enabled, nullptr, 0) != 0) return -1;
        return store.ModifyChannel(device, channel, kChannelArmSchedule, 0, s.schedule, kScheduleBytes);
    }
    return -1;
}

CopyCount CopyLocalSettings(ConfigStore& store, int device, const std::vector<int>& targets, LocalPage page,
                            const LocalSettings& settings) {
    CopyCount count;
    for (int channel : targets) {
        if (WriteLocalSettings(store, device, channel, page, settings) == 0) ++count.written;
        else ++count.failed;
    }
    return count;
}

}  // namespace ocv
