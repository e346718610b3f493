#include "backup/player_picture_grabber.h"

#include "base/trace.h"
#include "player/player_statistics.h"
#include "player/qvx_player.h"

namespace ocv::backup {
namespace {

// Room for a picture of the port's size as a bitmap (a JPEG of it is smaller); a picture that
// grew meanwhile is fetched once more with the size the player asks for.
size_t FirstGuess(int port) {
    player::PortStatistics stats;
    if (player::GetPortStatistics(port, &stats) != 0 || stats.pictureWidth <= 0 || stats.pictureHeight <= 0)
        return 1u << 20;
    return static_cast<size_t>(stats.pictureWidth) * static_cast<size_t>(stats.pictureHeight) * 3 + 4096;
}

}  // namespace

int PlayerPictureGrabber::Grab(bool bitmap, int quality, std::string* fileBytes) {
    size_t room = FirstGuess(port_);
    for (int attempt = 0; attempt < 3; ++attempt) {
        fileBytes->resize(room);
        int length = static_cast<int>(room);
        int rc = QVXPlay_CaptureToBuffer(port_, bitmap ? 1 : 0, quality, fileBytes->data(), &length);
        if (rc == 0) {
            fileBytes->resize(static_cast<size_t>(length));
            return 0;
        }
        if (rc != -2 || length <= 0) {
            fileBytes->clear();
            return rc;
        }
        room = static_cast<size_t>(length);
    }
    fileBytes->clear();
    Trace("snapshot: the picture of port %d kept growing while it was captured\n", port_);
    return -1;
}

}  // namespace ocv::backup
