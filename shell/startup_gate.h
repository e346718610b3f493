#pragma once
// The single-instance step of the start-up: a second client is refused with "Running!".
#include <functional>
#include <string>

namespace ocv {

class SingleInstance;

// 0 when this process may run; otherwise the error was shown through showError (caption
// "ERR") and the process is to end: -2 another client runs, -1 the lock could not be made.
int SecureSingleInstance(SingleInstance& instance, const std::function<void(const std::string&)>& showError);

}  // namespace ocv
