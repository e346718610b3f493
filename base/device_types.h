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
    // Protocol byte for QVX_SDK_Login: which driver of the device library speaks to such a
    // device (0 our protocol, 12 ONVIF, 13 a camera known by its RTSP stream URLs).
    uint8_t protocol;
};

// Type ids of standard cameras (beside slot 0, "Default", our own devices).
constexpr int kDeviceTypeOnvif = 12;
constexpr int kDeviceTypeRtspUrl = 13;

constexpr int kDeviceTypeSlots = 32;

// Clears the table and fills slot 0: "Default", admin / kestr, port 80.
void ResetDeviceTypeTable();
// Fills slot 1 "ONVIF" (type 12, admin, port 80, protocol 12) and slot 2 "RTSP URL" (type 13,
// admin, port 554, protocol 13): standard cameras, spoken to by the library's standard driver.
void AddStandardCameraTypes();
// The protocol byte for a device of that type: the matching slot's protocol, 0 when none.
uint8_t LoginProtocolOf(int typeId);
// The in-use slot for a type id, or nullptr.
const DeviceTypeRecord* FindDeviceType(int typeId);
// Slot access for the device lists; nullptr outside 0..31.
const DeviceTypeRecord* DeviceTypeSlot(int slot);

}  // namespace ocv
