// Remote playback end to end: the library feeds a player port of its own with a file on the
// device; positions, pause and resume, speed, the end of the file, and the port's release.
#include <algorithm>
#include <mutex>
#include <vector>

#include "player/qvx_player.h"
#include "player/video_surface.h"
#include "base/port_slots.h"
#include "tests/sdk/remote_site.h"

namespace ocv::test {
namespace {

class RemotePlayback : public RemoteSite {};

// Keeps the timestamp of every picture the player draws.
class StampSurface : public player::VideoSurface {
public:
    player::SurfaceFormat CurrentFormat() const override { return {64, 36, player::PixelFormat::kBgra32}; }
    void PictureReady() override {
        auto picture = TakePicture();
        if (!picture) return;
        std::lock_guard<std::mutex> lock(mutex_);
        stamps_.push_back(picture->timestampMs);
    }
    std::vector<uint32_t> Stamps() {
        std::lock_guard<std::mutex> lock(mutex_);
        return stamps_;
    }
    size_t Count() { return Stamps().size(); }

private:
    std::mutex mutex_;
    std::vector<uint32_t> stamps_;
};

constexpr const char* kPlanFile = "CH01_20250110_080000_P.rec";   // 1800 s
constexpr const char* kAlarmFile = "CH01_20250110_021000_A.rec";  // 60 s

TEST_F(RemotePlayback, PicturesFollowPositionPauseAndResume) {
    QVX_HANDLE login = Login();
    int portsBefore = PortsInUse();
    QVX_HANDLE play = 0;
    ASSERT_EQ(QVX_SDK_PlayBackByName(login, 0, kPlanFile, &play), QVX_OK);
    int32_t port = 0;
    ASSERT_EQ(QVX_SDK_GetPBPlayIndex(play, &port), QVX_OK);
    ASSERT_GT(port, 0);
    EXPECT_EQ(PortsInUse(), portsBefore + 1);
    StampSurface surface;
    ASSERT_EQ(QVXPlay_SetDrawWnd(port, &surface), QVXPLAY_OK);
    EXPECT_EQ(QVXPlay_Play(port), QVXPLAY_OK) << "already playing: harmless";
    EXPECT_EQ(Control(play, QVX_PLAYCTRL_STATE), QVX_PLAYSTATE_RUNNING);

    ASSERT_TRUE(WaitUntil([&] { return surface.Count() >= 5; }, 10000));
    EXPECT_LT(surface.Stamps().front(), 10000u) << "the file plays from its beginning";

    // Half way into the 30-minute file: pictures from 15:00 on (the key frame at or before it).
    ASSERT_EQ(QVX_SDK_PlayBackControl(play, QVX_PLAYCTRL_SETPOS, 50, nullptr), QVX_OK);
    ASSERT_TRUE(WaitUntil(
        [&] {
            auto s = surface.Stamps();
            return std::count_if(s.begin(), s.end(), [](uint32_t t) { return t >= 899000; }) >= 10;
        },
        10000));
    {
        auto s = surface.Stamps();
        auto firstLate = std::find_if(s.begin(), s.end(), [](uint32_t t) { return t >= 899000; });
        for (auto it = firstLate; it != s.end(); ++it) {
            EXPECT_GE(*it, 899000u);
            EXPECT_LT(*it, 915000u);
        }
    }
    int32_t position = Control(play, QVX_PLAYCTRL_GETPOS);
    EXPECT_GE(position, 49);
    EXPECT_LE(position, 51);

    // Paused, the device sends nothing: the picture count settles.
    ASSERT_EQ(QVX_SDK_PlayBackControl(play, QVX_PLAYCTRL_PAUSE, 0, nullptr), QVX_OK);
    EXPECT_EQ(Control(play, QVX_PLAYCTRL_STATE), QVX_PLAYSTATE_PAUSED);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    size_t paused = surface.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(surface.Count(), paused);
    ASSERT_EQ(QVX_SDK_PlayBackControl(play, QVX_PLAYCTRL_START, 0, nullptr), QVX_OK);
    EXPECT_EQ(Control(play, QVX_PLAYCTRL_STATE), QVX_PLAYSTATE_RUNNING);
    ASSERT_TRUE(WaitUntil([&] { return surface.Count() >= paused + 10; }, 10000));
    EXPECT_GE(surface.Stamps().back(), 899000u) << "resumes where it paused";

    // Values outside their ranges are refused before anything is sent.
    EXPECT_EQ(QVX_SDK_PlayBackControl(play, QVX_PLAYCTRL_SETPOS, 101, nullptr), QVX_ERR_FAILED);
    EXPECT_EQ(QVX_SDK_PlayBackControl(play, QVX_PLAYCTRL_SPEED, 5, nullptr), QVX_ERR_FAILED);
    EXPECT_EQ(QVX_SDK_PlayBackControl(play, QVX_PLAYCTRL_STATE, 0, nullptr), QVX_ERR_FAILED) << "no out value";
    EXPECT_EQ(QVX_SDK_PlayBackControl(play, 77, 0, nullptr), QVX_ERR_FAILED);

    // Stopped: the handle and the player port are gone, the port number is free again.
    ASSERT_EQ(QVX_SDK_StopPlayBack(play), QVX_OK);
    size_t afterStop = surface.Count();
    EXPECT_EQ(QVX_SDK_GetPBPlayIndex(play, &port), QVX_ERR_HANDLE);
    EXPECT_EQ(QVX_SDK_StopPlayBack(play), QVX_ERR_HANDLE);
    EXPECT_EQ(QVXPlay_SetDrawWnd(port, nullptr), QVXPLAY_ERROR);
    EXPECT_EQ(PortsInUse(), portsBefore);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(surface.Count(), afterStop) << "no picture after the stop";
    QVX_SDK_Logout(login);
}

TEST_F(RemotePlayback, FastPlaybackReachesTheEndOfTheFile) {
    QVX_HANDLE login = Login();
    QVX_HANDLE play = 0;
    ASSERT_EQ(QVX_SDK_PlayBackByName(login, 0, kAlarmFile, &play), QVX_OK);
    // Sixteen times normal speed: the 60-second file ends in about four seconds.
    ASSERT_EQ(QVX_SDK_PlayBackControl(play, QVX_PLAYCTRL_SPEED, 4, nullptr), QVX_OK);
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] { return Control(play, QVX_PLAYCTRL_STATE) == QVX_PLAYSTATE_FINISHED; }, 30000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(Control(play, QVX_PLAYCTRL_GETPOS), 100);
    EXPECT_EQ(QVX_SDK_PlayBackControl(play, QVX_PLAYCTRL_START, 0, nullptr), QVX_ERR_FAILED) << "nothing left";
    int32_t port = 0;
    EXPECT_EQ(QVX_SDK_GetPBPlayIndex(play, &port), QVX_OK) << "the port keeps the last picture until the stop";
    EXPECT_EQ(QVX_SDK_StopPlayBack(play), QVX_OK);
    QVX_SDK_Logout(login);
}

TEST_F(RemotePlayback, UnknownFilesAreRefusedAndLogoutEndsPlaybacks) {
    QVX_HANDLE login = Login();
    int portsBefore = PortsInUse();
    QVX_HANDLE play = 0;
    EXPECT_EQ(QVX_SDK_PlayBackByName(login, 0, "CH01_20250108_080000_P.rec", &play), QVX_ERR_DEVICE) << "a gap day";
    EXPECT_EQ(QVX_SDK_PlayBackByName(login, 1, kPlanFile, &play), QVX_ERR_DEVICE) << "another channel's file";
    EXPECT_EQ(play, 0);
    EXPECT_EQ(PortsInUse(), portsBefore) << "a refused playback gives its port back";
    EXPECT_EQ(QVX_SDK_PlayBackByName(login, 0, "", &play), QVX_ERR_FAILED);
    EXPECT_EQ(QVX_SDK_PlayBackByName(login, 64, kPlanFile, &play), QVX_ERR_FAILED);
    EXPECT_EQ(QVX_SDK_PlayBackByName(login, 0, std::string(200, 'x').c_str(), &play), QVX_ERR_FAILED);

    ASSERT_EQ(QVX_SDK_PlayBackByName(login, 0, kPlanFile, &play), QVX_OK);
    EXPECT_EQ(PortsInUse(), portsBefore + 1);
    ASSERT_EQ(QVX_SDK_Logout(login), QVX_OK);
    int32_t port = 0;
    EXPECT_EQ(QVX_SDK_GetPBPlayIndex(play, &port), QVX_ERR_HANDLE);
    EXPECT_EQ(QVX_SDK_PlayBackControl(play, QVX_PLAYCTRL_STATE, 0, &port), QVX_ERR_HANDLE);
    EXPECT_EQ(PortsInUse(), portsBefore);
}

}  // namespace
}  // namespace ocv::test
