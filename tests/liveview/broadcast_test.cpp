// A broadcast without its window: the capture comes first and nothing starts without it; the
// members that could be reached are the ones reported; the end stops the capture and every
// talk, a two-way talk included.
#include <gtest/gtest.h>

#include "base/channel_id.h"
#include "liveview/broadcast.h"
#include "tests/liveview/command_fakes.h"

namespace ocv {
namespace {

TEST(Broadcast, WithoutAMicrophoneNoMemberStarts) {
    test::FakeTalk talk;
    talk.microphone = false;
    std::vector<int> started{99};
    EXPECT_EQ(BeginBroadcast(talk, {ChannelIdOf(0, 0), ChannelIdOf(1, 2)}, &started), -1);
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(talk.members.empty());
}

TEST(Broadcast, ReachedMembersAreReportedAndTheEndStopsEveryTalk) {
    test::FakeTalk talk;
    talk.holder = ChannelIdOf(3, 1);  // a two-way talk already runs
    talk.refusedMember = ChannelIdOf(1, 2);
    std::vector<int> started;
    // Ids outside the channel range are skipped, a refused member is left out.
    ASSERT_EQ(BeginBroadcast(talk, {ChannelIdOf(0, 0), -1, ChannelIdOf(1, 2), kChannelIdCount, ChannelIdOf(127, 63)},
                             &started),
              0);
    EXPECT_TRUE(talk.capture);
    EXPECT_EQ(started, (std::vector<int>{ChannelIdOf(0, 0), ChannelIdOf(127, 63)}));
    EXPECT_EQ(talk.members, started);

    EXPECT_EQ(EndBroadcast(talk), 3);
    EXPECT_FALSE(talk.capture);
    EXPECT_TRUE(talk.members.empty());
    EXPECT_EQ(talk.holder, -1);
    EXPECT_EQ(EndBroadcast(talk), 0) << "nothing left to end";
}

}  // namespace
}  // namespace ocv
