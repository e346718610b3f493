#pragma once
// What the client's windows share: the stored accounts and the operation log that the login
// dialogs work with (set once the core exists), and the operator's session.
#include <functional>
#include <string>

#include "widgets/user_session.h"

namespace ocv {

class ConfigStore;
class LogWriter;

struct SessionServices {
    ConfigStore* store = nullptr;
    LogWriter* log = nullptr;
    // Told the name of the operator logged in now ("" for nobody), for the core's log entries.
    std::function<void(const std::string& name)> operatorChanged;
};

// UI thread. Set when the core is built, cleared (default) before it goes.
void SetSessionServices(SessionServices services);
const SessionServices& CurrentSessionServices();

// Makes account the current user with the clock snapshot as its login time and tells the core
// whose name goes into the operation log.
void LogInAs(const UserInfo& account);
void LogOut();

}  // namespace ocv
