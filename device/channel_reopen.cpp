// Which channels of a device are in use, and opening them again after the device's thread was
// restarted (an operator's edit of the device stops it: its streams end and its connect
// workers leave, and nothing else would bring the cells and recordings back).
#include <algorithm>

#include "base/trace.h"
#include "device/connection_service.h"
#include "store/relaxed.h"

namespace ocv {

std::vector<int> ConnectionService::ChannelsInUse(int device) const {
    std::vector<int> used;
    if (IsValidChannel(device, 0) != 0) return used;
    bool shown[kMaxChannels] = {};
    for (int slot = 0; slot < kPlayerSlots; ++slot) {
        int id = players_.GetSlotChannel(slot);
        if (IsChannelId(id) && DeviceIndexOf(id) == device) shown[ChannelIndexOf(id)] = true;
    }
    const DeviceInfo& rec = store_.device(device);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        if (Relaxed(rec.channels[ch].id) <= 0) continue;
        const ChannelRuntime& c = runtime_.channel(device, ch);
        bool streaming = c.mainStream.load() != 0 || c.subStream.load() != 0 || c.connectPending.load() != 0;
        if (streaming || shown[ch] || c.manualRecord.load() != 0) used.push_back(ch);
    }
    return used;
}

int ConnectionService::ReopenChannels(int device, const std::vector<int>& channels) {
    if (IsValidChannel(device, 0) != 0) {
        Trace("reopen channels of device %d: no device in this slot\n", device);
        return -1;
    }
    int started = 0;
    for (int ch : channels) {
        // The edit may have taken channels away; those stay closed.
        if (IsValidChannel(device, ch) != 0 || Relaxed(store_.device(device).channels[ch].id) <= 0) continue;
        if (StartConnectWorker(device, ch) == 0) ++started;
    }
    return started;
}

}  // namespace ocv
