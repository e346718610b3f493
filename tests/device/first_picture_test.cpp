// A cell shows a stream from its first picture group: the device starts a stream with a key
// frame right after its reply, often before the open call has returned the stream's handle, and
// that key frame must not be lost (the next one comes a whole picture group later).
#include <gtest/gtest.h>

#include <mutex>

#include "tests/device/device_test_support.h"

namespace ocv {
namespace {

using test::WaitUntil;

// Remembers the first picture it is given after a reset of a stream's picture width.
class FirstPictureSurface : public player::VideoSurface {
public:
    player::SurfaceFormat CurrentFormat() const override { return {176, 144, player::PixelFormat::kBgra32}; }
    void PictureReady() override {
        auto p = TakePicture();
        std::lock_guard lock(mutex_);
        if (p && p->sourceWidth == width_ && !first_) first_ = p;
    }
    void Reset(int width) {
        std::lock_guard lock(mutex_);
        first_.reset();
        width_ = width;
    }
    std::shared_ptr<const player::VideoPicture> First() {
        std::lock_guard lock(mutex_);
        return first_;
    }

private:
    std::mutex mutex_;
    int width_ = 0;
    std::shared_ptr<const player::VideoPicture> first_;
};

class FirstPicture : public test::DeviceServiceTest {
protected:
    test::DevsimProcess sim;
    int d = -1;
    FirstPictureSurface surface;

    // A key frame every 2 s: a lost first key frame shows as a first picture 2 s into the stream.
    void StartDevice(const char* sub, int showMode) {
        test::WriteText(sim.dir() / "site.ini",
                        std::string("[site]\nloop_frames=50\n[device]\nname=CAM\ntype=NVR\nuser=admin\npassword=pw\n"
                                    "channels=1\nmain=176x144@128\nsub=") +
                            sub + "\nkey_interval=50\n");
        std::string error;
        ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
        d = AddDevice("127.0.0.1", sim.device(0).port, 1, "pw");
        StartService(showMode);
        service_->connections().DeviceTick(d, 0);
        ASSERT_NE(service_->runtime().device(d).loginHandle.load(), 0);
        auto& players = service_->players();
        ASSERT_EQ(players.CreatePlayer(0, &surface), 0);
        players.SetVisibleSplit(36);  // a small cell: it wants the sub stream where there is one
        players.SetStreamPolicy(-1, 36);
    }
    void TearDown() override {
        if (service_) service_->players().DestroyPlayer(0);
        test::DeviceServiceTest::TearDown();
    }
    // Opens the channel into cell 0 again and again; every time, the first picture the cell
    // shows of the stream whose pictures are `width` wide is from that stream's first picture
    // group (stream time under 2 s).
    void EveryOpenShowsTheFirstPictureGroup(int width) {
        for (int round = 0; round < 8; ++round) {
            surface.Reset(width);
            ASSERT_EQ(service_->players().AttachChannel(0, ChannelIdOf(d, 0), 0), 0);
            ASSERT_EQ(service_->connections().OpenChannel(d, 0), 0);
            ASSERT_TRUE(WaitUntil([&] { return surface.First() != nullptr; }, 10000)) << "round " << round;
            auto first = surface.First();
            EXPECT_LT(first->timestampMs, 1500u) << "round " << round << ": the first key frame was lost";
            ASSERT_EQ(service_->connections().CloseChannel(d, 0), 0);
            service_->players().DetachSlot(0);
        }
    }
};

TEST_F(FirstPicture, SingleStreamChannelShowsItsFirstKeyFrame) {
    StartDevice("off", 0);
    EveryOpenShowsTheFirstPictureGroup(176);
}

// The cell shows the main stream until the sub stream it wants sends a key frame: that is the
// sub stream's first.
TEST_F(FirstPicture, DualStreamCellSwitchesToTheSubStreamAtItsFirstKeyFrame) {
    StartDevice("96x64@64", 1);
    EveryOpenShowsTheFirstPictureGroup(96);
}

}  // namespace
}  // namespace ocv
