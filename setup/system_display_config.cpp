#include "setup/system_display_config.h"

#include <strings.h>

#include "platform/profile.h"

namespace ocv {
namespace {

constexpr const char* kSection = "CONFIG";

// The 12-byte RESOLUTION block the main window sizes itself from.
struct ResolutionWords {
    int32_t width;
    int32_t height;
    int32_t flag;
};
static_assert(sizeof(ResolutionWords) == 12);

bool PlausibleSize(int32_t width, int32_t height) {
    return width >= 320 && height >= 240 && width <= 16384 && height <= 16384;
}

}  // namespace

int LoadDisplayMode(const std::string& configIni) {
    char value[16] = {};
    GetPrivateProfileStringA(kSection, "DRAWMODE", "", value, sizeof value, configIni.c_str());
    return strcasecmp(value, "ON") == 0 ? 1 : 0;
}

bool SaveDisplayMode(const std::string& configIni, int mode) {
    return WritePrivateProfileStringA(kSection, "DRAWMODE", mode == 1 ? "ON" : "OFF", configIni.c_str());
}

WindowSizeLock LoadWindowSizeLock(const std::string& configIni) {
    WindowSizeLock lock;
    ResolutionWords block{};
    if (!GetPrivateProfileStructA(kSection, "RESOLUTION", &block, sizeof block, configIni.c_str())) return lock;
    // A block that gives no usable size locks nothing (the window falls back to 1024 x 720).
    if (!PlausibleSize(block.width, block.height)) return lock;
    lock.width = block.width;
    lock.height = block.height;
    lock.locked = block.flag == 0;
    return lock;
}

bool SaveWindowSizeLock(const std::string& configIni, const WindowSizeLock& lock) {
    if (!PlausibleSize(lock.width, lock.height)) return false;
    ResolutionWords block{lock.width, lock.height, lock.locked ? 0 : 1};
    return WritePrivateProfileStructA(kSection, "RESOLUTION", &block, sizeof block, configIni.c_str());
}

}  // namespace ocv
