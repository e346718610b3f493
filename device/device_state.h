#pragma once
// The values of DeviceInfo::deviceState. The device service writes them; the live view shows
// them.
#include <cstdint>

namespace ocv {

constexpr int32_t kDeviceOffline = 0;
constexpr int32_t kDeviceOnline = 2;  // logged in with the event stream open
// The device refused the stored user name or password. Not logged in; the device thread tries
// again after a growing pause (a camera may lock the account after failed logins), and at once
// when the operator edits the device.
constexpr int32_t kDeviceWrongPassword = 3;

}  // namespace ocv
