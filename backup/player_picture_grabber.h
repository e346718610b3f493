#pragma once
// The picture of a player port as snapshot bytes (QVXPlay_CaptureToBuffer), so the snapshot
// module alone decides the final name and writes it.
#include <string>

#include "backup/snapshot.h"

namespace ocv::backup {

class PlayerPictureGrabber : public PictureGrabber {
public:
    explicit PlayerPictureGrabber(int port) : port_(port) {}
    // The player's result: 0, -2 no picture decoded yet, -1 failure.
    int Grab(bool bitmap, int quality, std::string* fileBytes) override;

private:
    int port_;
};

}  // namespace ocv::backup
