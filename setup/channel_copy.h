#pragma once
// The local (store-kept) settings of the remote configuration page's motion, alarm-input, plan
// and arming pages, and their copy to other channels of the same device.
#include <cstdint>
#include <vector>

#include "store/records.h"

namespace ocv {

class ConfigStore;

enum class LocalPage { kMotion, kAlarmInput, kPlan, kArming };

// What one of those pages edits: a linkage word (motion and alarm input) or a flag with its
// weekly schedule (plan recording and arming).
struct LocalSettings {
    int32_t linkage = 0;  // kLink* bits
    int32_t enabled = 0;  // PLANREC or ALARMARM
    uint32_t schedule[kScheduleWords] = {};
};

// The page's settings of a stored channel.
LocalSettings LocalSettingsOf(const ChannelRecord& channel, LocalPage page);

// Writes the page's settings to one channel through the store: 0, or -1 when any write failed.
int WriteLocalSettings(ConfigStore& store, int device, int channel, LocalPage page, const LocalSettings& settings);

struct CopyCount {
    int written = 0;
    int failed = 0;
};
// Writes the settings to each target channel of the device, one channel at a time.
CopyCount CopyLocalSettings(ConfigStore& store, int device, const std::vector<int>& targets, LocalPage page,
                            const LocalSettings& settings);

}  // namespace ocv
