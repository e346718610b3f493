#pragma once
// What the device page does to the device list, without the window: every change goes to the
// store first and, once the store took it, to the device connections, and is written to the
// operation log. Tested against a fake of the connections and a real store.
#include <string>
#include <vector>

#include "device/channel_connections.h"
#include "events/log_writer.h"
#include "sdk/qvx_sdk.h"
#include "store/config_store.h"

namespace ocv {

// Operation log subtypes of the device page.
constexpr int kLogDeviceAdded = 0x10;
constexpr int kLogDeviceModified = 0x11;
constexpr int kLogDeviceDeleted = 0x12;

class DeviceListEditor {
public:
    DeviceListEditor(ConfigStore& store, ChannelConnections& connections, LogWriter& log)
        : store_(store), connections_(connections), log_(log) {}

    // UI thread. user: the operator's name for the log. The store's result (0, -1, -2); on 0
    // the device's thread runs and *slot (may be null) names its slot (-1 when the table was
    // full: stored, and connected after the next start).
    int Add(const DeviceRecord& rec, const std::string& user, int* slot = nullptr);
    // UI thread. A change of the connection settings stops the device before the write and
    // starts it again after it, reopening the channels that were in use; a changed password
    // alone is tried at once. The store's result; on -1 or -2 nothing changed.
    int Modify(int slot, const DeviceRecord& edited, const std::string& user);
    // Whether a channel of the device is in use (a cell, a recording, a stream being opened).
    bool InUse(int slot) const { return !connections_.ChannelsInUse(slot).empty(); }
    // The delete worker: stops the device's thread (logs it out). The page keeps every other
    // change of devices away while it runs.
    int StopForDelete(int slot) { return connections_.StopDeviceThread(slot); }
    // UI thread, after StopForDelete: the log entry, then the store forgets the device.
    int Forget(int slot, const std::string& user);
    // UI thread: a found device into the list. 0 added and started, -2 already known (host and
    // port), -1 refused.
    int Import(const QVX_FOUND_DEVICE& found, const std::string& user);
    // UI thread: a device's address or port changed through discovery. Every stored device at
    // the old host and port moves to the new ones and reconnects there; the number moved.
    int MoveDevice(const std::string& oldHost, int oldPort, const std::string& newHost, int newPort,
                   const std::string& user);

private:
    void Log(int subtype, const DeviceRecord& rec, const std::string& user);

    ConfigStore& store_;
    ChannelConnections& connections_;
    LogWriter& log_;
};

}  // namespace ocv
