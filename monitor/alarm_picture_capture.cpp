#include "monitor/alarm_picture_capture.h"

#include "backup/player_picture_grabber.h"
#include "backup/snapshot.h"
#include "base/trace.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

// Hands the snapshot module a picture taken already, so a folder that cannot be made loses the
// copy on disk but not the picture the operator is shown.
class TakenPicture : public backup::PictureGrabber {
public:
    explicit TakenPicture(const std::string& bytes) : bytes_(bytes) {}
    int Grab(bool, int, std::string* fileBytes) override {
        *fileBytes = bytes_;
        return 0;
    }

private:
    const std::string& bytes_;
};

}  // namespace

int CaptureAlarmPicture(const PopupPlayers& players, const ConfigStore& store, int channelId, AlarmPicture* out) {
    if (!IsChannelId(channelId) || store.IsValidChannel(DeviceIndexOf(channelId), ChannelIndexOf(channelId)) != 0)
        return -1;
    int player = players.PlayerShowing(channelId);
    if (player == 0) return -2;
    // The settings and the device are read as the other threads read them: field by field.
    SystemSettings settings{};
    ReadTextRelaxed(store.settings().PHOTOPATH, settings.PHOTOPATH);
    settings.PHOTOTYPE = Relaxed(store.settings().PHOTOTYPE);
    const bool bitmap = settings.PHOTOTYPE != 0;
    backup::PlayerPictureGrabber grabber(player);
    int rc = grabber.Grab(bitmap, 100, &out->picture);
    if (rc != 0) return rc;
    const DeviceInfo& device = store.device(DeviceIndexOf(channelId));
    char host[kTextBytes];
    ReadTextRelaxed(device.host, host);
    TakenPicture taken(out->picture);
    if (backup::CaptureLive(settings, host, Relaxed(device.port), ChannelIndexOf(channelId) + 1, taken,
                            &out->savedPath) != 0) {
        Trace("alarm picture of channel %d: not kept with the snapshots (photo path \"%s\")\n", channelId,
              settings.PHOTOPATH);
        out->savedPath.clear();
    }
    return 0;
}

}  // namespace ocv
