// Channel groups and maps: the one-group rule, per-map duplicates, removal and reloads.
#include "tests/store/store_fixture.h"

namespace ocv::test {
namespace {

using GroupsMapsTest = StoreTest;

GroupMember Member(int device, int channel) {
    GroupMember m{};
    m.deviceIndex = device;
    m.channelIndex = channel;
    return m;
}

MapItem ChannelItem(int device, int channel, int x = 10, int y = 20) {
    MapItem item{};
    item.type = kMapItemChannel;
    item.deviceIndex = device;
    item.channelIndex = channel;
    item.x = x;
    item.y = y;
    item.color = 3;
    return item;
}

TEST_F(GroupsMapsTest, AChannelBelongsToOneGroupAtATime) {
    int slot = AddDevice("10.0.0.1", 80, 4);
    int first = 0, second = 0;
    ASSERT_EQ(store_.AddGroup("first", &first), 0);
    ASSERT_EQ(store_.AddGroup("second", &second), 0);
    GroupMember m = Member(slot, 2);
    ASSERT_EQ(store_.AddGroupMember(first, &m), 0);
    EXPECT_GT(m.memberId, 0);
    EXPECT_EQ(m.channelId, store_.device(slot).channels[2].id);
    GroupMember again = Member(slot, 2);
    EXPECT_EQ(store_.AddGroupMember(second, &again), -2);
    EXPECT_EQ(store_.AddGroupMember(first, &again), -2);
    EXPECT_EQ(Count("SUBGROUP"), 1);

    ASSERT_EQ(store_.DeleteGroupMember(m.memberId), 0);
    EXPECT_EQ(store_.groups()[0].memberCount(), 0);
    EXPECT_EQ(store_.AddGroupMember(second, &again), 0);
    EXPECT_EQ(store_.groups()[1].memberCount(), 1);

    GroupMember bad = Member(slot, 4);  // beyond the device's channels
    EXPECT_EQ(store_.AddGroupMember(second, &bad), -1);
    bad = Member(slot + 1, 0);
    EXPECT_EQ(store_.AddGroupMember(second, &bad), -1);
    EXPECT_EQ(store_.AddGroupMember(-1, &again), -1);
    EXPECT_EQ(store_.AddGroupMember(second, nullptr), -1);
}

TEST_F(GroupsMapsTest, GroupsRenameDeleteAndReload) {
    int a = AddDevice("10.0.0.1", 80, 2);
    int b = AddDevice("10.0.0.2", 80, 2);
    int g1 = 0, g2 = 0;
    ASSERT_EQ(store_.AddGroup("entrance", &g1), 0);
    ASSERT_EQ(store_.AddGroup("a name much longer than thirty-one characters", &g2), 0);
    EXPECT_STREQ(store_.groups()[1].name, "a name much longer than thirty-");
    GroupMember m = Member(a, 1);
    ASSERT_EQ(store_.AddGroupMember(g1, &m), 0);
    m = Member(b, 0);
    ASSERT_EQ(store_.AddGroupMember(g1, &m), 0);
    ASSERT_EQ(store_.RenameGroup(g1, "main entrance"), 0);

    // A member whose device was deleted is not loaded again although its row stays.
    ASSERT_EQ(store_.DeleteDevice(b), 0);
    Sql(path_, "insert into SUBGROUP (GROUPID, CHNID) values (" + std::to_string(g1) + ", 99999)");
    auto again = Reload();
    ASSERT_EQ(again->groups().size(), 2u);
    EXPECT_STREQ(again->groups()[0].name, "main entrance");
    ASSERT_EQ(again->groups()[0].memberCount(), 1);
    EXPECT_EQ(again->groups()[0].members[0].deviceIndex, a);
    EXPECT_EQ(again->groups()[0].members[0].channelIndex, 1);

    ASSERT_EQ(store_.DeleteGroup(g1), 0);
    ASSERT_EQ(store_.groups().size(), 1u);
    EXPECT_EQ(store_.groups()[0].id, g2);
    EXPECT_EQ(Count("MAINGROUP"), 1);
}

TEST_F(GroupsMapsTest, DeletingAMapRemovesLinksToItEverywhere) {
    int target = 0, a = 0, b = 0;
    ASSERT_EQ(store_.AddMap("target", "/maps/t.png", &target), 0);
    ASSERT_EQ(store_.AddMap("a", "/maps/a.png", &a), 0);
    ASSERT_EQ(store_.AddMap("b", "/maps/b.png", &b), 0);
    MapItem link{};
    link.type = kMapItemLink;
    link.url = target;
    ASSERT_EQ(store_.AddMapItem(a, &link), 0);
    EXPECT_EQ(link.channelId, -1);
    EXPECT_EQ(store_.AddMapItem(a, &link), -2);  // one link to a map per map
    ASSERT_EQ(store_.AddMapItem(b, &link), 0);
    MapItem toB{};
    toB.type = kMapItemLink;
    toB.url = b;
    ASSERT_EQ(store_.AddMapItem(a, &toB), 0);
    MapItem back{};
    back.type = kMapItemLink;
    back.url = a;
    ASSERT_EQ(store_.AddMapItem(target, &back), 0);

    ASSERT_EQ(store_.DeleteMap(target), 0);
    ASSERT_EQ(store_.maps().size(), 2u);
    ASSERT_EQ(store_.maps()[0].itemCount(), 1);
    EXPECT_EQ(store_.maps()[0].items[0].url, b);
    EXPECT_EQ(store_.maps()[1].itemCount(), 0);
    EXPECT_EQ(Count("SUBMAP", "URL = " + std::to_string(target)), 0);
    EXPECT_EQ(Count("MAINMAP"), 2);
    EXPECT_EQ(store_.DeleteMap(0), -1);

    auto again = Reload();
    ASSERT_EQ(again->maps().size(), 2u);
    EXPECT_EQ(again->maps()[0].itemCount(), 1);
    EXPECT_EQ(again->maps()[1].itemCount(), 0);
}

TEST_F(GroupsMapsTest, ACameraOncePerMapAndAGoneChannelStaysOnTheMap) {
    int slot = AddDevice("10.0.0.1", 80, 2);
    int m1 = 0, m2 = 0;
    ASSERT_EQ(store_.AddMap("one", "/maps/1.png", &m1), 0);
    ASSERT_EQ(store_.AddMap("two", "/maps/2.png", &m2), 0);
    MapItem item = ChannelItem(slot, 1);
    ASSERT_EQ(store_.AddMapItem(m1, &item), 0);
    EXPECT_EQ(item.url, -1);
    MapItem twice = ChannelItem(slot, 1, 50, 60);
    EXPECT_EQ(store_.AddMapItem(m1, &twice), -2);
    EXPECT_EQ(store_.AddMapItem(m2, &twice), 0);
    MapItem invalid = ChannelItem(slot + 1, 0);
    EXPECT_EQ(store_.AddMapItem(m1, &invalid), -1);

    item.x = 300;
    item.y = 400;
    ASSERT_EQ(store_.ModifyMapItem(item), 0);
    EXPECT_EQ(store_.maps()[0].items[0].x, 300);
    EXPECT_EQ(Query(path_, "select X || ',' || Y || ',' || COLOR || ',' || TYPE from SUBMAP where ID = " +
                               std::to_string(item.itemId)),
              "300,400,3,1");

    // Another program removed the channel row's device; the item loads without indices.
    Sql(path_, "update SUBMAP set CHNID = 99999 where ID = " + std::to_string(twice.itemId));
    auto again = Reload();
    ASSERT_EQ(again->maps()[1].itemCount(), 1);
    EXPECT_EQ(again->maps()[1].items[0].deviceIndex, -1);
    EXPECT_EQ(again->maps()[1].items[0].channelIndex, -1);
    EXPECT_EQ(again->maps()[0].items[0].deviceIndex, slot);
    EXPECT_EQ(again->maps()[0].items[0].channelIndex, 1);
    EXPECT_EQ(again->maps()[0].items[0].x, 300);

    ASSERT_EQ(store_.DeleteMapItem(item.itemId), 0);
    EXPECT_EQ(store_.maps()[0].itemCount(), 0);
    ASSERT_EQ(store_.ModifyMap(m2, "renamed", "/maps/new.png"), 0);
    auto third = Reload();
    EXPECT_EQ(third->maps()[0].itemCount(), 0);
    EXPECT_STREQ(third->maps()[1].name, "renamed");
    EXPECT_STREQ(third->maps()[1].path, "/maps/new.png");
}

TEST_F(GroupsMapsTest, IdentifiersBeyondSixteenBitsKeepTheirLinks) {
    // Identifiers keep growing over the years (rows of deleted devices are never reused).
    Sql(path_, "insert into sqlite_sequence (name, seq) values ('CHANNEL', 40000), ('MAINGROUP', 70000), "
               "('MAINMAP', 33000)");
    int slot = AddDevice("10.0.0.1", 80, 1);
    ASSERT_GT(store_.device(slot).channels[0].id, 40000);
    int group = 0, map = 0;
    ASSERT_EQ(store_.AddGroup("g", &group), 0);
    ASSERT_EQ(store_.AddMap("m", "/m.png", &map), 0);
    GroupMember m = Member(slot, 0);
    ASSERT_EQ(store_.AddGroupMember(group, &m), 0);
    MapItem item = ChannelItem(slot, 0);
    ASSERT_EQ(store_.AddMapItem(map, &item), 0);
    auto again = Reload();
    ASSERT_EQ(again->groups()[0].memberCount(), 1);
    ASSERT_EQ(again->maps()[0].itemCount(), 1);
    EXPECT_EQ(again->maps()[0].items[0].deviceIndex, slot);
}

}  // namespace
}  // namespace ocv::test
