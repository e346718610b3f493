#pragma once
// What the channel group page allows, without a window: group names, how many groups and
// members the windows that show them can hold, and which channels are still free (a channel
// belongs to one group at most).
#include <string>
#include <vector>

#include "store/config_store.h"

namespace ocv {

// The live view and playback trees show this many groups with this many channels each.
constexpr int kMaxShownGroups = 36;
constexpr int kMaxGroupMembers = 64;

// A configured channel as the page lists it.
struct GroupChannel {
    int device = 0;
    int channel = 0;
    std::string label;   // as the live view labels its cells
    int groupId = -1;    // the group holding it, -1 when free
};

// Every configured channel (a channel entry with an id) of every device, in slot order.
std::vector<GroupChannel> ListGroupChannels(const ConfigStore& store);

// The group of a channel, or nullptr.
const GroupInfo* GroupOfChannel(const ConfigStore& store, int device, int channel);
const GroupInfo* FindGroup(const ConfigStore& store, int groupId);

// Checks before a change: nullptr when it may go ahead, else the English refusal.
// A name: not empty, at most 31 bytes, no other group of that name (renaming a group to its own
// name is no change and is accepted).
const char* GroupNameRefusal(const ConfigStore& store, const std::string& name, int renamedGroupId = -1);
const char* NewGroupRefusal(const ConfigStore& store);
// Adding a channel: the group exists and has room, the channel is configured and in no group.
const char* AddMemberRefusal(const ConfigStore& store, int groupId, int device, int channel);

}  // namespace ocv
