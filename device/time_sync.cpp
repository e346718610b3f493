#include "device/time_sync.h"

#include <algorithm>

#include "store/config_store.h"
#include "store/relaxed.h"

namespace ocv {

int TimeSyncMarks::MarkAll(const ConfigStore& store) {
    int marked = 0;
    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo& dev = store.device(d);
        if (dev.IsEmpty()) continue;
        int channels = std::clamp(Relaxed(dev.channelCount), 0, kMaxChannels);
        for (int c = 0; c < channels; ++c) {
            Mark(ChannelIdOf(d, c));
            ++marked;
        }
    }
    return marked;
}

}  // namespace ocv
