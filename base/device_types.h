#pragma once
// The device-type table: default login and port for each kind of device.
#include <cstdint>
#include <string>

namespace ocv {

struct DeviceTypeRecord {
    uint8_t id;
    uint8_t inUse;  // 1 = in use
    char name[32];
    char user[24];
    char password[24];
    int32_t port;
};

constexpr int kDeviceTypeSlots = 32;

// Clears the table and fills slot 0: "Default", admin / kestr, port 80.
void ResetDeviceTypeTable();
// The in-use slot for a type id, or nullptr.
const DeviceTypeRecord* FindDeviceType(int typeId);
// Slot access for the device lists; nullptr outside 0..31.
const DeviceTypeRecord* DeviceTypeSlot(int slot);

}  // namespace ocv
