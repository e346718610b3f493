#include "shell/startup_gate.h"

#include "platform/single_instance.h"
#include "shell/base/lang.h"

namespace ocv {

int SecureSingleInstance(SingleInstance& instance, const std::function<void(const std::string&)>& showError) {
    int acquired = instance.Acquire("VMS QVX");
    if (acquired == 0) return 0;
    showError(GetLangString(acquired == -2 ? "Running!" : "Initialize failed! "));
    return acquired == -2 ? -2 : -1;
}

}  // namespace ocv
