#include "shell/window_config.h"

#include <cstring>
#include <strings.h>

#include "platform/profile.h"

namespace ocv {

ResolutionBlock LoadResolution(const std::string& configIni) {
    ResolutionBlock block{};
    if (!GetPrivateProfileStructA(kConfigSection, "RESOLUTION", &block, sizeof(block), configIni.c_str()))
        block = ResolutionBlock{};
    // Also refuse sizes no screen has, so a damaged block cannot open an unusable window.
    bool bad = block.width < 320 || block.height < 240 || block.width > 16384 || block.height > 16384;
    if ((block.width == 0 && block.height == 0 && block.flag == 0) || bad) block = ResolutionBlock{1024, 720, 1};
    return block;
}

bool SaveResolution(const std::string& configIni, const ResolutionBlock& block) {
    return WritePrivateProfileStructA(kConfigSection, "RESOLUTION", &block, sizeof(block), configIni.c_str());
}

SystemInfoBlock LoadSystemInfo(const std::string& configIni) {
    SystemInfoBlock block{};
    if (!GetPrivateProfileStructA(kConfigSection, "SYSTEMINFO", &block, sizeof(block), configIni.c_str()))
        block = SystemInfoBlock{};
    return block;
}

bool SaveSystemInfo(const std::string& configIni, const SystemInfoBlock& block) {
    return WritePrivateProfileStructA(kConfigSection, "SYSTEMINFO", &block, sizeof(block), configIni.c_str());
}

bool ViewItemSize(int item, int* width, int* height) {
    static const int kSizes[7][2] = {{1024, 720}, {1024, 768}, {1280, 1024}, {1360, 768},
                                     {1366, 768}, {1440, 900}, {1920, 1080}};
    if (item < 0 || item > 6) return false;
    *width = kSizes[item][0];
    *height = kSizes[item][1];
    return true;
}

ToolbarBlock LoadToolbar(const std::string& configIni) {
    ToolbarBlock block{};
    if (!GetPrivateProfileStructA(kConfigSection, "TOOLBAR", &block, sizeof(block), configIni.c_str()))
        block = ToolbarBlock{};
    return block;
}

int PageOpenOrder(const ToolbarBlock& block, int out[10]) {
    int count = 0;
    for (int index = 9; index >= 1; --index)
        if (((block.mask >> index) & 1u) && index != block.last) out[count++] = index;
    if (block.last >= 1 && block.last <= 9 && ((block.mask >> block.last) & 1u)) out[count++] = block.last;
    return count;
}

int LoadDrawMethod(const std::string& configIni) {
    char value[16] = {};
    GetPrivateProfileStringA(kConfigSection, "DRAWMODE", "", value, sizeof(value), configIni.c_str());
    return strcasecmp(value, "ON") == 0 ? 1 : 0;
}

}  // namespace ocv
