#pragma once
// What pages read about devices and channels: the stored records (names, channel ids, the
// thermal flag), the channel groups, and the live state of the runtime table. Pages that show a
// tree or label cells hold this view; tests hand them one built in memory.
#include <string>
#include <vector>

#include "runtime/runtime_table.h"
#include "store/records.h"

namespace ocv {

class ConfigStore;

// A channel group as pages show it: its members whose device slot holds a device, in member
// order (at most 64).
struct GroupView {
    std::string name;
    struct Member {
        int device, channel;
    };
    std::vector<Member> members;
};

class ChannelDirectory {
public:
    virtual ~ChannelDirectory() = default;
    // The stored record of a device slot; nullptr when the slot is empty. UI thread (records
    // change on it only).
    virtual const DeviceInfo* Device(int device) const = 0;
    // The first 36 groups with their members. UI thread.
    virtual std::vector<GroupView> Groups() const = 0;
    // The live state; any thread.
    virtual const RuntimeTable& Runtime() const = 0;
};

// A channel index 0..63 of a slot that holds a device (ConfigStore::IsValidChannel's rule).
bool IsValidChannelOf(const DeviceInfo* device, int channel);

// The directory of the running client: the configuration store and the runtime table.
class StoreChannelDirectory : public ChannelDirectory {
public:
    StoreChannelDirectory(const ConfigStore& store, const RuntimeTable& runtime) : store_(store), runtime_(runtime) {}
    const DeviceInfo* Device(int device) const override;
    std::vector<GroupView> Groups() const override;
    const RuntimeTable& Runtime() const override { return runtime_; }

private:
    const ConfigStore& store_;
    const RuntimeTable& runtime_;
};

}  // namespace ocv
