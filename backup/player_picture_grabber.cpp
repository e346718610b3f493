#include "backup/player_picture_grabber.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/file_util.h"
#include "player/qvx_player.h"
#include "base/trace.h"

namespace ocv::backup {
namespace {

// A full-size bitmap of the largest picture the player decodes is about 106 MB.
constexpr size_t kMaxPictureFileBytes = 128u << 20;

}  // namespace

int PlayerPictureGrabber::Grab(bool bitmap, int quality, std::string* fileBytes) {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "ocv-capture-XXXXXX").string();
    if (ec) pattern = "/tmp/ocv-capture-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) {
        Trace("snapshot: no temporary file for the capture\n");
        return -1;
    }
    close(fd);
    int rc = QVXPlay_Capture(port_, pattern.c_str(), bitmap ? 1 : 0, quality);
    if (rc == 0 && ReadFileBounded(pattern, kMaxPictureFileBytes, fileBytes) != 0) {
        Trace("snapshot: the captured picture could not be read back\n");
        rc = -1;
    }
    unlink(pattern.c_str());
    return rc;
}

}  // namespace ocv::backup
