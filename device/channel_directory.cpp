#include "device/channel_directory.h"

#include "store/config_store.h"
#include "store/text_field.h"

namespace ocv {
namespace {
constexpr size_t kMaxGroups = 36;  // the groups pages list
}

bool IsValidChannelOf(const DeviceInfo* device, int channel) {
    return device != nullptr && !device->IsEmpty() && channel >= 0 && channel < kMaxChannels;
}

const DeviceInfo* StoreChannelDirectory::Device(int device) const {
    if (device < 0 || device >= kMaxDevices || store_.device(device).IsEmpty()) return nullptr;
    return &store_.device(device);
}

std::vector<GroupView> StoreChannelDirectory::Groups() const {
    std::vector<GroupView> out;
    for (const GroupInfo& g : store_.groups()) {
        if (out.size() == kMaxGroups) break;
        GroupView group;
        group.name = FieldText(g.name);
        for (const GroupMember& m : g.members) {
            if (group.members.size() == static_cast<size_t>(kMaxChannels)) break;
            if (store_.IsValidChannel(m.deviceIndex, m.channelIndex) != 0) continue;
            group.members.push_back({m.deviceIndex, m.channelIndex});
        }
        out.push_back(std::move(group));
    }
    return out;
}

}  // namespace ocv
