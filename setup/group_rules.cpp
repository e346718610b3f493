#include "setup/group_rules.h"

#include "liveview/channel_text.h"
#include "store/text_field.h"

namespace ocv {

std::vector<GroupChannel> ListGroupChannels(const ConfigStore& store) {
    std::vector<GroupChannel> out;
    for (int d = 0; d < kMaxDevices; ++d) {
        const DeviceInfo& dev = store.device(d);
        if (dev.IsEmpty()) continue;
        for (int c = 0; c < kMaxChannels; ++c) {
            if (dev.channels[c].id <= 0) continue;
            GroupChannel ch;
            ch.device = d;
            ch.channel = c;
            ch.label = CellChannelLabel(dev, c);
            if (const GroupInfo* g = GroupOfChannel(store, d, c)) ch.groupId = g->id;
            out.push_back(std::move(ch));
        }
    }
    return out;
}

const GroupInfo* GroupOfChannel(const ConfigStore& store, int device, int channel) {
    for (const GroupInfo& g : store.groups())
        for (const GroupMember& m : g.members)
            if (m.deviceIndex == device && m.channelIndex == channel) return &g;
    return nullptr;
}

const GroupInfo* FindGroup(const ConfigStore& store, int groupId) {
    for (const GroupInfo& g : store.groups())
        if (g.id == groupId && groupId > 0) return &g;
    return nullptr;
}

const char* GroupNameRefusal(const ConfigStore& store, const std::string& name, int renamedGroupId) {
    if (name.find_first_not_of(" \t") == std::string::npos) return "Group name can not be empty!";
    if (name.size() > static_cast<size_t>(kTextBytes) - 1) return "The group name is too long!";
    for (const GroupInfo& g : store.groups())
        if (g.id != renamedGroupId && FieldText(g.name) == name) return "The group name already exists!";
    return nullptr;
}

const char* NewGroupRefusal(const ConfigStore& store) {
    if (static_cast<int>(store.groups().size()) >= kMaxShownGroups) return "No more groups can be created!";
    return nullptr;
}

const char* AddMemberRefusal(const ConfigStore& store, int groupId, int device, int channel) {
    const GroupInfo* group = FindGroup(store, groupId);
    if (group == nullptr) return "Please select a group!";
    if (store.IsValidChannel(device, channel) != 0 || store.device(device).channels[channel].id <= 0)
        return "Please select a channel!";
    if (GroupOfChannel(store, device, channel) != nullptr) return "The channel already belongs to a group!";
    if (group->memberCount() >= kMaxGroupMembers) return "The group is full!";
    return nullptr;
}

}  // namespace ocv
