// What a cell's letting go of a channel sets off in the device service.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "tests/device/device_test_support.h"

namespace ocv {
namespace {

class PlayerRelease : public test::DeviceServiceTest {};

TEST_F(PlayerRelease, DetachingOrClearingACellAnnouncesTheChannelAndEndsItsTalk) {
    int d = AddDevice("127.0.0.1", test::FreePort(), 2, "pw");
    StartService();
    std::mutex mutex;
    std::vector<int> talkEnded;
    service_->SetTalkStopHandler([&](int id) {
        std::lock_guard lock(mutex);
        talkEnded.push_back(id);
    });
    test::HubWatch states(service_->hub());
    PlayerChannelSet& players = service_->players();
    ASSERT_EQ(players.CreatePlayer(0, NewSurface(32, 24)), 0);
    ASSERT_EQ(players.CreatePlayer(1, NewSurface(32, 24)), 0);
    int first = ChannelIdOf(d, 0), second = ChannelIdOf(d, 1);
    ASSERT_EQ(players.AttachChannel(0, first, 0), 0);
    ASSERT_EQ(players.AttachChannel(1, second, 0), 0);
    EXPECT_TRUE(states.ChannelStates().empty());  // showing a channel announces nothing

    ASSERT_EQ(players.DetachSlot(0), 0);
    EXPECT_EQ(states.ChannelStates(), std::vector<int>{first});
    ASSERT_EQ(players.AttachChannel(1, -1, 0), 0);  // the cell is cleared but keeps playing
    EXPECT_EQ(states.ChannelStates(), std::vector<int>{second});
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(talkEnded, (std::vector<int>{first, second}));
    }
    // A cell that shows nothing lets nothing go.
    ASSERT_EQ(players.DetachSlot(0), 0);
    ASSERT_EQ(players.DetachSlot(1), 0);
    EXPECT_TRUE(states.ChannelStates().empty());
    std::lock_guard lock(mutex);
    EXPECT_EQ(talkEnded.size(), 2u);
}

}  // namespace
}  // namespace ocv
