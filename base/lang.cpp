#include "base/lang.h"

#include "platform/app_dir.h"
#include "platform/profile.h"

namespace ocv {
namespace {
SharedTexts gShared = {"Modify", "Delete", "Import", "Setup", "OK", "Cancel",
                       "Insufficient permissions to operate!",
                       "BODY TEMPERATURESCREENING SYSTEM"};
}

std::string GetLangString(const std::string& english) {
    std::string file = AppPath("lang.lang");
    char value[kMaxLangValue + 1];
    uint32_t n = GetPrivateProfileStringA("LANGUAGE", english.c_str(), "", value, sizeof value,
                                          file.c_str());
    if (n == 0) return english;
    return std::string(value, n);
}

void LoadSharedTexts() {
    gShared.modify = GetLangString("Modify");
    gShared.remove = GetLangString("Delete");
    gShared.import = GetLangString("Import");
    gShared.setup = GetLangString("Setup");
    gShared.ok = GetLangString("OK");
    gShared.cancel = GetLangString("Cancel");
    gShared.noPermission = GetLangString("Insufficient permissions to operate!");
    gShared.title = GetLangString("BODY TEMPERATURESCREENING SYSTEM");
}

const SharedTexts& Shared() { return gShared; }

}  // namespace ocv
