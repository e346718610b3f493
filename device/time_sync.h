#pragma once
// Which channels' device clocks are to be set from ours: every configured channel at the daily
// CHECKTIME, and a channel whose stream connects again. The time-sync worker takes the marks
// and sends. This class is the marks' one owner; any thread.
#include <atomic>
#include <memory>

#include "base/channel_id.h"

namespace ocv {

class ConfigStore;

class TimeSyncMarks {
public:
    void Mark(int channelId) {
        if (IsChannelId(channelId)) marks_[channelId].store(1);
    }
    // Every configured channel of every device; returns how many.
    int MarkAll(const ConfigStore& store);
    // Clears the channel's mark; true when it was set.
    bool Take(int channelId) { return IsChannelId(channelId) && marks_[channelId].exchange(0) != 0; }

private:
    std::unique_ptr<std::atomic<uint8_t>[]> marks_{new std::atomic<uint8_t>[kChannelIdCount]{}};
};

}  // namespace ocv
