#pragma once
// The window and view state the main window keeps in AppDir/config.ini, section CONFIG.
#include <cstdint>
#include <string>

namespace ocv {

constexpr const char* kConfigSection = "CONFIG";

// "RESOLUTION": 12 bytes. All zero (or missing) means 1024 x 720 with flag 1.
struct ResolutionBlock {
    int32_t width;
    int32_t height;
    int32_t flag;
};
static_assert(sizeof(ResolutionBlock) == 12);
ResolutionBlock LoadResolution(const std::string& configIni);
bool SaveResolution(const std::string& configIni, const ResolutionBlock& block);

// The window sizes of View items 0..6; false for any other item.
bool ViewItemSize(int item, int* width, int* height);

// "TOOLBAR": 8 bytes, the pages to open at start (bit per page index 1..9) and the page
// opened last, which ends up in front.
struct ToolbarBlock {
    uint32_t mask;
    int32_t last;
};
static_assert(sizeof(ToolbarBlock) == 8);
ToolbarBlock LoadToolbar(const std::string& configIni);
// Page indexes to open after "setup", in opening order: 9 down to 1 without the last, then it.
int PageOpenOrder(const ToolbarBlock& block, int out[10]);

// "SYSTEMINFO": 16 bytes about the runs of the client, so that a start after a crash or a power
// cut knows the previous run did not end through the exit procedure.
struct SystemInfoBlock {
    int32_t build;        // yymmdd of the build that wrote it
    int32_t runs;         // starts so far
    int32_t cleanExit;    // 1 once the run ended through the exit procedure, 0 while running
    int32_t startedTime;  // seconds since 1970 of the last start
};
static_assert(sizeof(SystemInfoBlock) == 16);
// Zero-filled when missing or damaged.
SystemInfoBlock LoadSystemInfo(const std::string& configIni);
bool SaveSystemInfo(const std::string& configIni, const SystemInfoBlock& block);

// "DRAWMODE": "ON" selects the players' drawing method 1, anything else method 0.
int LoadDrawMethod(const std::string& configIni);

}  // namespace ocv
