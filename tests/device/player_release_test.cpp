// What a cell's letting go of a channel sets off in the device service.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "tests/device/device_test_support.h"

namespace ocv {
namespace {

class PlayerRelease : public test::DeviceServiceTest {};

std::vector<int> DrainIds(NotifyList& list) {
    std::vector<NotifyItem> items;
    list.Drain(&items);
    std::vector<int> ids;
    for (const NotifyItem& n : items) ids.push_back(n.channelId);
    return ids;
}

TEST_F(PlayerRelease, DetachingOrClearingACellQueuesItsRecordStateAndEndsItsTalk) {
    int d = AddDevice("127.0.0.1", test::FreePort(), 2, "pw");
    StartService();
    std::mutex mutex;
    std::vector<int> talkEnded;
    service_->SetTalkStopHandler([&](int id) {
        std::lock_guard lock(mutex);
        talkEnded.push_back(id);
    });
    NotifyList& states = service_->alarms().recordStates();
    states.SetConsumerOpen(true);
    PlayerChannelSet& players = service_->players();
    ASSERT_EQ(players.CreatePlayer(0, NewSurface(32, 24)), 0);
    ASSERT_EQ(players.CreatePlayer(1, NewSurface(32, 24)), 0);
    int first = ChannelIdOf(d, 0), second = ChannelIdOf(d, 1);
    ASSERT_EQ(players.AttachChannel(0, first, 0), 0);
    ASSERT_EQ(players.AttachChannel(1, second, 0), 0);
    EXPECT_TRUE(DrainIds(states).empty());  // showing a channel queues nothing

    ASSERT_EQ(players.DetachSlot(0), 0);
    EXPECT_EQ(DrainIds(states), std::vector<int>{first});
    ASSERT_EQ(players.AttachChannel(1, -1, 0), 0);  // the cell is cleared but keeps playing
    EXPECT_EQ(DrainIds(states), std::vector<int>{second});
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(talkEnded, (std::vector<int>{first, second}));
    }
    // A cell that shows nothing lets nothing go.
    ASSERT_EQ(players.DetachSlot(0), 0);
    ASSERT_EQ(players.DetachSlot(1), 0);
    EXPECT_TRUE(DrainIds(states).empty());
    std::lock_guard lock(mutex);
    EXPECT_EQ(talkEnded.size(), 2u);
}

}  // namespace
}  // namespace ocv
