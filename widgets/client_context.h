#pragma once
// What the windows of the client share: the device service created by the loading splash and
// the operator's session.
#include "widgets/user_session.h"

namespace ocv {

class DeviceService;

DeviceService* Service();
void SetService(DeviceService* service);

// Makes account the current user with the clock snapshot as its login time and tells the
// device service whose name goes into the operation log.
void LogInAs(const UserInfo& account);
void LogOut();

}  // namespace ocv
