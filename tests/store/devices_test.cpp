// The device and channel table: slots, duplicates, channel count changes, channel settings.
#include <cstring>

#include "tests/store/store_fixture.h"

namespace ocv::test {
namespace {

using DevicesTest = StoreTest;

TEST_F(DevicesTest, AddStoresOneDeviceRowAndStreamOneChannelsInTheLowestEmptySlot) {
    ASSERT_EQ(AddDevice("10.0.0.1", 80, 2), 0);
    ASSERT_EQ(AddDevice("10.0.0.2", 80, 2), 1);
    ASSERT_EQ(store_.DeleteDevice(0), 0);
    int slot = -1;
    ASSERT_EQ(store_.AddDevice(MakeDevice("10.0.0.3", 8000, 4, "Gate"), &slot), 0);
    EXPECT_EQ(slot, 0);

    const DeviceInfo& d = store_.device(0);
    EXPECT_STREQ(d.host, "10.0.0.3");
    EXPECT_EQ(d.channelCount, 4);
    EXPECT_EQ(Count("DEVICE", "ID = " + std::to_string(d.id)), 1);
    EXPECT_EQ(Count("CHANNEL", "DEVID = " + std::to_string(d.id) + " and STREAM = 1"), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_GT(d.channels[c].id, 0);
        EXPECT_EQ(d.channels[c].stream, 1);
        EXPECT_EQ(Count("CHANNEL", "ID = " + std::to_string(d.channels[c].id) +
                                       " and DEVID = " + std::to_string(d.id)),
                  1);
    }
    EXPECT_EQ(d.channels[4].id, 0);
    // Identifiers are not reused: rows of deleted devices stay in the file.
    EXPECT_GT(d.id, store_.device(1).id);
}

TEST_F(DevicesTest, DuplicateHostAndPortIsRefusedBeforeAnythingIsWritten) {
    ASSERT_EQ(AddDevice("cam.local", 80, 4), 0);
    int slot = 5;
    EXPECT_EQ(store_.AddDevice(MakeDevice("cam.local", 80, 8, "other name"), &slot), -2);
    EXPECT_EQ(Count("DEVICE"), 1);
    EXPECT_EQ(Count("CHANNEL"), 4);
    EXPECT_EQ(AddDevice("cam.local", 81, 1), 1);  // another port
    EXPECT_EQ(AddDevice("CAM.local", 80, 1), 2);  // letter case makes another device

    // Modifying without changing host and port is no duplicate of itself...
    DeviceRecord same = MakeDevice("cam.local", 80, 4, "renamed");
    EXPECT_EQ(store_.ModifyDevice(same, 0), 0);
    EXPECT_STREQ(store_.device(0).name, "renamed");
    // ...but taking another device's host and port is.
    EXPECT_EQ(store_.ModifyDevice(MakeDevice("cam.local", 81, 4), 0), -2);
    EXPECT_EQ(store_.device(0).port, 80);
    EXPECT_EQ(Query(path_, "select PORT from DEVICE where ID = " + std::to_string(store_.device(0).id)), "80");
}

TEST_F(DevicesTest, InvalidAddsAndModifiesAreRefused) {
    int slot = 3;
    EXPECT_EQ(store_.AddDevice(MakeDevice("10.0.0.1", 80, 0), &slot), -1);
    EXPECT_EQ(slot, -1);
    EXPECT_EQ(store_.AddDevice(MakeDevice("10.0.0.1", 80, 65), &slot), -1);
    EXPECT_EQ(store_.AddDevice(MakeDevice("", 80, 4), &slot), -1);
    EXPECT_EQ(Count("DEVICE"), 0);
    ASSERT_EQ(AddDevice("10.0.0.1", 80, 4), 0);
    EXPECT_EQ(store_.ModifyDevice(MakeDevice("10.0.0.1", 80, 0), 0), -1);
    EXPECT_EQ(store_.ModifyDevice(MakeDevice("10.0.0.1", 80, 4), 1), -1);  // empty slot
    EXPECT_EQ(store_.ModifyDevice(MakeDevice("10.0.0.1", 80, 4), 128), -1);
    EXPECT_EQ(store_.DeleteDevice(-1), -1);
    EXPECT_EQ(store_.IsValidChannel(0, 63), 0);
    EXPECT_EQ(store_.IsValidChannel(0, 64), -1);
    EXPECT_EQ(store_.IsValidChannel(1, 0), -1);
    EXPECT_EQ(store_.IsValidChannel(128, 0), -1);
}

TEST_F(DevicesTest, ChannelCountEightToFourToEightTakesGroupMembersAndMapItemsAlong) {
    int slot = AddDevice("10.0.0.9", 80, 8);
    const DeviceInfo& d = store_.device(slot);
    int group = 0, map = 0, otherMap = 0;
    ASSERT_EQ(store_.AddGroup("yard", &group), 0);
    for (int c : {1, 5, 6}) {
        GroupMember m{};
        m.deviceIndex = slot;
        m.channelIndex = c;
        ASSERT_EQ(store_.AddGroupMember(group, &m), 0);
    }
    ASSERT_EQ(store_.AddMap("plan", "/maps/plan.png", &map), 0);
    ASSERT_EQ(store_.AddMap("floor", "/maps/floor.png", &otherMap), 0);
    for (int c : {0, 4, 7}) {
        MapItem item{};
        item.type = kMapItemChannel;
        item.deviceIndex = slot;
        item.channelIndex = c;
        ASSERT_EQ(store_.AddMapItem(map, &item), 0);
    }
    MapItem link{};
    link.type = kMapItemLink;
    link.url = otherMap;
    ASSERT_EQ(store_.AddMapItem(map, &link), 0);
    int removedIds[4];
    for (int c = 4; c < 8; ++c) removedIds[c - 4] = d.channels[c].id;
    int keptId = d.channels[3].id;

    ASSERT_EQ(store_.ModifyDevice(MakeDevice("10.0.0.9", 80, 4), slot), 0);
    EXPECT_EQ(d.channelCount, 4);
    EXPECT_EQ(Count("CHANNEL", "DEVID = " + std::to_string(d.id)), 4);
    for (int id : removedIds) {
        EXPECT_EQ(Count("CHANNEL", "ID = " + std::to_string(id)), 0);
        EXPECT_EQ(Count("SUBMAP", "CHNID = " + std::to_string(id)), 0);
    }
    for (int c = 4; c < 8; ++c) {
        EXPECT_EQ(d.channels[c].id, 0);
        EXPECT_EQ(d.channels[c].stream, 0);
    }
    EXPECT_EQ(d.channels[3].id, keptId);
    ASSERT_EQ(store_.groups().size(), 1u);
    ASSERT_EQ(store_.groups()[0].memberCount(), 1);
    EXPECT_EQ(store_.groups()[0].members[0].channelIndex, 1);
    ASSERT_EQ(store_.maps()[0].itemCount(), 2);  // channel 0 and the link
    EXPECT_EQ(store_.maps()[0].items[0].channelIndex, 0);
    EXPECT_EQ(store_.maps()[0].items[1].type, kMapItemLink);

    ASSERT_EQ(store_.ModifyDevice(MakeDevice("10.0.0.9", 80, 8), slot), 0);
    EXPECT_EQ(Count("CHANNEL", "DEVID = " + std::to_string(d.id)), 8);
    EXPECT_EQ(Count("CHANNEL", "DEVID = " + std::to_string(d.id) + " and STREAM = 1"), 8);
    for (int c = 4; c < 8; ++c) {
        EXPECT_GT(d.channels[c].id, removedIds[3]);
        EXPECT_EQ(d.channels[c].stream, 1);
    }

    auto again = Reload();
    const DeviceInfo& r = again->device(0);
    EXPECT_EQ(r.channelCount, 8);
    for (int c = 0; c < 8; ++c) EXPECT_EQ(r.channels[c].id, d.channels[c].id);
    ASSERT_EQ(again->groups().size(), 1u);
    EXPECT_EQ(again->groups()[0].memberCount(), 1);
    EXPECT_EQ(again->maps()[0].itemCount(), 2);
}

TEST_F(DevicesTest, DeletingSlotThreeLeavesEveryOtherSlotAlone) {
    for (int i = 0; i < 6; ++i) AddDevice("10.0.3." + std::to_string(i), 80, 2);
    int group = 0;
    ASSERT_EQ(store_.AddGroup("g", &group), 0);
    GroupMember m{};
    m.deviceIndex = 3;
    m.channelIndex = 1;
    ASSERT_EQ(store_.AddGroupMember(group, &m), 0);
    int before[6];
    for (int s = 0; s < 6; ++s) before[s] = store_.device(s).id;

    ASSERT_EQ(store_.DeleteDevice(3), 0);
    EXPECT_TRUE(store_.device(3).IsEmpty());
    EXPECT_EQ(store_.device(3).id, 0);
    EXPECT_EQ(store_.device(3).channels[0].id, 0);
    for (int s : {0, 1, 2, 4, 5}) {
        EXPECT_EQ(store_.device(s).id, before[s]);
        EXPECT_EQ(store_.device(s).channelCount, 2);
    }
    EXPECT_EQ(store_.groups()[0].memberCount(), 0);
    EXPECT_EQ(Count("DEVICE"), 5);
    // Its channel and member rows stay in the file, but no load reaches them.
    EXPECT_EQ(Count("CHANNEL", "DEVID = " + std::to_string(before[3])), 2);
    auto again = Reload();
    EXPECT_EQ(again->groups()[0].memberCount(), 0);
}

TEST_F(DevicesTest, ScheduleKindsNeedFiftySixBytesAndBitsMapToHalfHours) {
    int slot = AddDevice("10.0.0.7", 80, 2);
    const ChannelInfo& c = store_.device(slot).channels[1];
    uint32_t words[kScheduleWords] = {};
    words[3] = 1;  // MON2 bit 0
    EXPECT_EQ(store_.ModifyChannel(slot, 1, kChannelPlanSchedule, 0, words, 52), -1);
    EXPECT_EQ(store_.ModifyChannel(slot, 1, kChannelPlanSchedule, 0, nullptr, 56), -1);
    EXPECT_EQ(store_.ModifyChannel(0, -1, kChannelArmSchedule, 0, words, 52), -1);
    EXPECT_EQ(c.planSchedule[3], 0u);
    EXPECT_EQ(Count("CHANNEL", "MON2 <> 0 or AMON2 <> 0"), 0);

    ASSERT_EQ(store_.ModifyChannel(slot, 1, kChannelPlanSchedule, 0, words, 56), 0);
    EXPECT_EQ(QueryInt(path_, "select MON2 from CHANNEL where ID = " + std::to_string(c.id)), 1);
    EXPECT_TRUE(IsScheduleActive(c.planSchedule, 1, HalfHourOf(12, 0)));
    EXPECT_TRUE(IsScheduleActive(c.planSchedule, 1, HalfHourOf(12, 29)));
    EXPECT_FALSE(IsScheduleActive(c.planSchedule, 1, HalfHourOf(12, 30)));
    EXPECT_FALSE(IsScheduleActive(c.planSchedule, 1, HalfHourOf(0, 0)));
    EXPECT_FALSE(IsScheduleActive(c.planSchedule, 0, HalfHourOf(12, 0)));
    // A word with bit 31 set keeps all its bits through the file.
    words[13] = 0x80000001u;
    ASSERT_EQ(store_.ModifyChannel(slot, 1, kChannelArmSchedule, 0, words, 56), 0);
    auto again = Reload();
    EXPECT_EQ(again->device(slot).channels[1].armSchedule[13], 0x80000001u);
    EXPECT_EQ(again->device(slot).channels[1].planSchedule[3], 1u);
}

TEST_F(DevicesTest, SingleChannelKindsWriteTheirColumnOnly) {
    int slot = AddDevice("10.0.0.8", 80, 2);
    const ChannelInfo& c = store_.device(slot).channels[0];
    EXPECT_EQ(store_.ModifyChannel(slot, 0, kChannelAlarmMd, 12, nullptr, 0), 0);
    EXPECT_EQ(store_.ModifyChannel(slot, 0, kChannelAlarmDisconnect, 8, nullptr, 0), 0);
    EXPECT_EQ(store_.ModifyChannel(slot, 0, kChannelName, 0, "Front door camera with a long name", 0), 0);
    EXPECT_EQ(store_.ModifyChannel(slot, 0, kChannelName, 0, nullptr, 0), 0);  // ignored
    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(store_.ModifyChannel(slot, 1, kChannelName, 0, unterminated, 3), 0);
    EXPECT_STREQ(store_.device(slot).channels[1].name, "abc");
    EXPECT_EQ(store_.ModifyChannel(slot, 0, 9, 5, nullptr, 0), 0);             // unknown kind
    EXPECT_EQ(store_.ModifyChannel(slot, 2, kChannelAlarmMd, 1, nullptr, 0), -1);  // not configured
    EXPECT_EQ(store_.ModifyChannel(slot + 1, 0, kChannelAlarmMd, 1, nullptr, 0), -1);
    EXPECT_EQ(c.alarmMd, 12);
    EXPECT_EQ(c.alarmDisconnect, 8);
    EXPECT_STREQ(c.name, "Front door camera with a long n");
    std::string id = std::to_string(c.id);
    EXPECT_EQ(Query(path_, "select ALARMMD || ',' || ALARMDISCONN || ',' || ALARMINPUT || ',' || NAME from CHANNEL "
                           "where ID = " + id),
              "12,8,0,Front door camera with a long n");
    EXPECT_EQ(Query(path_, "select ALARMMD from CHANNEL where ID = " + std::to_string(store_.device(slot).channels[1].id)),
              "0");
}

TEST_F(DevicesTest, AllChannelsKindTenReachesEveryRowAndEveryLoadedChannel) {
    int a = AddDevice("10.0.1.1", 80, 3);
    int b = AddDevice("10.0.1.2", 80, 2);
    int gone = AddDevice("10.0.1.3", 80, 4);
    ASSERT_EQ(store_.DeleteDevice(gone), 0);
    ASSERT_EQ(Count("CHANNEL"), 9);

    ASSERT_EQ(store_.ModifyChannel(0, -1, kChannelPlanRecord, 1, nullptr, 0), 0);
    EXPECT_EQ(Count("CHANNEL", "PLANREC = 1"), 9);  // rows of the deleted device too
    for (int c = 0; c < 3; ++c) EXPECT_EQ(store_.device(a).channels[c].planRecord, 1);
    for (int c = 0; c < 2; ++c) EXPECT_EQ(store_.device(b).channels[c].planRecord, 1);
    EXPECT_EQ(store_.device(a).channels[3].planRecord, 0);  // free entries stay free

    // The name is not changed in the all-channels form; schedules need their 56 bytes.
    ASSERT_EQ(store_.ModifyChannel(0, 64, kChannelName, 0, "all", 0), 0);
    EXPECT_EQ(Count("CHANNEL", "NAME = 'all'"), 0);
    EXPECT_STREQ(store_.device(a).channels[0].name, "");
    uint32_t words[kScheduleWords];
    for (auto& w : words) w = 0xFFFFFF;
    EXPECT_EQ(store_.ModifyChannel(0, -1, kChannelPlanSchedule, 0, words, 52), -1);
    EXPECT_EQ(Count("CHANNEL", "SUN1 <> 0"), 0);
    ASSERT_EQ(store_.ModifyChannel(0, -1, kChannelPlanSchedule, 0, words, 56), 0);
    EXPECT_EQ(Count("CHANNEL", "SUN1 = 16777215 and SAT2 = 16777215"), 9);
    EXPECT_EQ(store_.device(b).channels[1].planSchedule[13], 0xFFFFFFu);

    auto again = Reload();
    EXPECT_EQ(again->device(1).channels[1].planRecord, 1);
}

TEST_F(DevicesTest, LoadTakesWhatAnotherProgramWroteWithinTheFields) {
    int slot = AddDevice("10.0.2.1", 80, 3);
    std::string devId = std::to_string(store_.device(slot).id);
    std::string ch0 = std::to_string(store_.device(slot).channels[0].id);
    std::string ch1 = std::to_string(store_.device(slot).channels[1].id);
    std::string ch2 = std::to_string(store_.device(slot).channels[2].id);
    Sql(path_, "update CHANNEL set AUTOADJUST = 2 where ID = " + ch0);
    Sql(path_, "update CHANNEL set AUTOADJUST = 1 where ID = " + ch1);
    Sql(path_, "update CHANNEL set AUTOADJUST = -1, NAME = 42 where ID = " + ch2);
    Sql(path_, "update DEVICE set NAME = '" + std::string(100, 'n') + "', USER = 'abcdefghijklmnopqrstuvwxyz01234\xC3\xA9' where ID = " + devId);

    auto again = Reload();
    const DeviceInfo& d = again->device(0);
    EXPECT_EQ(d.channels[0].autoAdjust, 0);
    EXPECT_EQ(d.channels[1].autoAdjust, 1);
    EXPECT_EQ(d.channels[2].autoAdjust, 0);
    EXPECT_STREQ(d.channels[2].name, "42");
    EXPECT_EQ(std::string(d.name), std::string(31, 'n'));
    EXPECT_STREQ(d.user, "abcdefghijklmnopqrstuvwxyz01234");  // no half character

    // A channel count beyond 64 in the file is held to the table's 64 entries.
    Sql(path_, "update DEVICE set CHNM = 300 where ID = " + devId);
    auto third = Reload();
    EXPECT_EQ(third->device(0).channelCount, 64);
    EXPECT_EQ(third->device(0).channels[3].id, 0);  // only three rows exist
}

TEST_F(DevicesTest, FullTableStillStoresTheDeviceButReportsNoSlot) {
    for (int i = 0; i < kMaxDevices; ++i) {
        ASSERT_EQ(AddDevice("10.9." + std::to_string(i / 250) + "." + std::to_string(i % 250), 80, 1), i);
    }
    int slot = 0;
    ASSERT_EQ(store_.AddDevice(MakeDevice("10.10.10.10", 80, 2), &slot), 0);
    EXPECT_EQ(slot, -1);
    EXPECT_EQ(Count("DEVICE"), 129);
    EXPECT_EQ(Count("CHANNEL"), 130);
    auto again = Reload();  // the 129th row is ignored by the load
    EXPECT_STREQ(again->device(127).host, "10.9.0.127");
}

TEST_F(DevicesTest, ReloadShowsWhatWasSaved) {
    int slot = AddDevice("nvr.site", 37777, 4);
    DeviceRecord changed = MakeDevice("nvr2.site", 37778, 4, "Hall NVR");
    changed.type = 9;
    changed.thermalFlag = 1;
    CopyText(changed.user, "operator");
    CopyText(changed.password, "p@ss'w\"rd");
    ASSERT_EQ(store_.ModifyDevice(changed, slot), 0);
    ASSERT_EQ(store_.ModifyChannel(slot, 2, kChannelStream, 0, nullptr, 0), 0);
    ASSERT_EQ(store_.ModifyChannel(slot, 2, kChannelAlarmInput, 5, nullptr, 0), 0);
    ASSERT_EQ(store_.ModifyChannel(slot, 2, kChannelAlarmDiskFull, 8, nullptr, 0), 0);
    ASSERT_EQ(store_.ModifyChannel(slot, 2, kChannelAutoAdjust, 1, nullptr, 0), 0);
    ASSERT_EQ(store_.ModifyChannel(slot, 2, kChannelArmAlarm, 1, nullptr, 0), 0);
    ASSERT_EQ(store_.ModifyChannel(slot, 2, kChannelName, 0, "Lobby", 0), 0);

    auto again = Reload();
    const DeviceInfo& d = again->device(0);
    EXPECT_STREQ(d.host, "nvr2.site");
    EXPECT_EQ(d.port, 37778);
    EXPECT_EQ(d.type, 9);
    EXPECT_EQ(d.thermalFlag, 1);
    EXPECT_STREQ(d.user, "operator");
    EXPECT_STREQ(d.password, "p@ss'w\"rd");
    EXPECT_STREQ(d.name, "Hall NVR");
    const ChannelInfo& c = d.channels[2];
    EXPECT_EQ(c.stream, 0);
    EXPECT_EQ(c.alarmInput, 5);
    EXPECT_EQ(c.alarmDiskFull, 8);
    EXPECT_EQ(c.autoAdjust, 1);
    EXPECT_EQ(c.armAlarm, 1);
    EXPECT_STREQ(c.name, "Lobby");
    EXPECT_EQ(d.channels[1].stream, 1);
}

}  // namespace
}  // namespace ocv::test
