// The popup slots and the alarm picture taken from them, on a real device service against the
// simulator.
#include <gtest/gtest.h>

#include <filesystem>

#include "monitor/alarm_picture_capture.h"
#include "tests/device/device_test_support.h"

namespace ocv {
namespace {

using test::DevsimProcess;
using test::WaitUntil;

class PopupCaptureE2E : public test::DeviceServiceTest {
protected:
    DevsimProcess sim;
    void StartSim() {
        test::WriteText(sim.dir() / "site.ini",
                        "[site]\nloop_frames=50\n"
                        "[device]\nname=CAM\ntype=IPC\nuser=admin\npassword=pw\nchannels=2\nmain=160x96@200\n"
                        "sub=96x64@64\nkey_interval=25\n");
        std::string error;
        ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
    }
};

TEST_F(PopupCaptureE2E, APopupSlotShowsTheChannelAndTheAlarmPictureIsTakenFromIt) {
    StartSim();
    const int d = AddDevice("127.0.0.1", sim.device(0).port, 2, "pw");
    StartService();
    CopyText(service_->store().MutableSettingsForTesting().PHOTOPATH, app_.str() + "/photos/");
    SetRelaxed(service_->store().MutableSettingsForTesting().PHOTOTYPE, 0);
    PlayerChannelSet& players = service_->players();
    PopupPlayers& popups = players;
    test::CountingSurface& surface = *NewSurface(160, 96);
    const int id = ChannelIdOf(d, 0);

    // Only the popup slots, and only with a window.
    EXPECT_EQ(popups.CreatePopupPlayer(0, &surface), -1);
    EXPECT_EQ(popups.CreatePopupPlayer(39, &surface), -1);
    EXPECT_EQ(popups.CreatePopupPlayer(36, nullptr), -1);
    ASSERT_EQ(popups.CreatePopupPlayer(36, &surface), 0);
    // Nothing shows the channel yet: no picture to take.
    EXPECT_EQ(popups.PlayerShowing(id), 0);
    AlarmPicture picture;
    EXPECT_EQ(CaptureAlarmPicture(popups, service_->store(), id, &picture), -2);
    EXPECT_EQ(CaptureAlarmPicture(popups, service_->store(), ChannelIdOf(d + 1, 0), &picture), -1);
    EXPECT_EQ(CaptureAlarmPicture(popups, service_->store(), -1, &picture), -1);

    ASSERT_EQ(service_->connections().OpenChannel(d, 0), 0) << sim.log();
    ASSERT_EQ(popups.AttachChannelMain(36, id), 0);
    EXPECT_EQ(popups.GetSlotChannel(36), id);
    ASSERT_TRUE(WaitUntil([&] { return surface.pictures.load() > 3; }, 20000)) << sim.log();
    EXPECT_EQ(popups.PlayerShowing(id), players.slot(36).port.load());
    EXPECT_EQ(popups.PlayerShowing(ChannelIdOf(d, 1)), 0);

    ASSERT_EQ(CaptureAlarmPicture(popups, service_->store(), id, &picture), 0);
    ASSERT_GT(picture.picture.size(), 2u);
    EXPECT_EQ(picture.picture.substr(0, 2), "\xFF\xD8");  // a JPEG
    ASSERT_FALSE(picture.savedPath.empty());
    EXPECT_EQ(picture.savedPath.rfind(app_.str() + "/photos/", 0), 0u) << picture.savedPath;
    EXPECT_EQ(std::filesystem::file_size(picture.savedPath), picture.picture.size());

    // A photo folder that cannot be made loses the copy on disk, not the picture.
    CopyText(service_->store().MutableSettingsForTesting().PHOTOPATH, "/proc/no-such/");
    AlarmPicture unsaved;
    ASSERT_EQ(CaptureAlarmPicture(popups, service_->store(), id, &unsaved), 0);
    EXPECT_FALSE(unsaved.picture.empty());
    EXPECT_TRUE(unsaved.savedPath.empty());

    ASSERT_EQ(popups.DetachSlot(36), 0);
    EXPECT_EQ(popups.PlayerShowing(id), 0);
    EXPECT_EQ(popups.GetSlotChannel(36), -1);
    EXPECT_EQ(popups.DestroyPlayer(36), 0);
}

}  // namespace
}  // namespace ocv
