// The hub carries every kind of the core's events to the readers that subscribed to that kind,
// and only to them.
#include "runtime/core_events.h"

#include <gtest/gtest.h>

#include <array>

#include "runtime/runtime_table.h"

namespace ocv {
namespace {

// One event of each kind, in the variant's order.
std::vector<CoreEvent> OneOfEachKind() {
    AlarmEvent alarm{1, 0, 5, kEventMotionStart, 1600000000, ""};
    return {ChannelStateChanged{1},
            DeviceStateChanged{2, kDeviceOnline},
            RecordStateChanged{3, kRecordAlarm},
            alarm,
            MapAlarmRaised{6, 0, 1600000000},
            TemperatureCountersChanged{7, 1},
            DiskStateChanged{1, false},
            LogWritten{2, 14, -1, 1600000000},
            ConfigChanged{ConfigPart::kGroups, 9}};
}

TEST(CoreEventsTest, EachKindWakesTheReadersSubscribedToItAndOnlyThose) {
    std::vector<CoreEvent> kinds = OneOfEachKind();
    ASSERT_EQ(kinds.size(), std::variant_size_v<CoreEvent>) << "a kind without a case here";
    CoreEventHub hub(64);
    constexpr size_t kKinds = std::variant_size_v<CoreEvent>;
    std::array<std::unique_ptr<CoreEventHub::Reader>, kKinds> readers;
    std::array<int, kKinds> wakes{};
    for (size_t k = 0; k < kKinds; ++k) {
        readers[k] = hub.Subscribe(uint64_t{1} << k);
        readers[k]->SetWakeHandler([&wakes, k] { ++wakes[k]; });
    }
    auto all = hub.Subscribe();
    int allWakes = 0;
    all->SetWakeHandler([&] { ++allWakes; });

    for (size_t k = 0; k < kKinds; ++k) {
        hub.Publish(kinds[k]);
        for (size_t r = 0; r < kKinds; ++r) EXPECT_EQ(wakes[r], r <= k ? 1 : 0) << "kind " << k << " reader " << r;
        std::vector<CoreEventHub::Event> got;
        readers[k]->Read(&got);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].payload.index(), k);
    }
    // A reader of every kind was woken once and sees them all in order.
    EXPECT_EQ(allWakes, 1);
    std::vector<CoreEventHub::Event> got;
    all->Read(&got);
    ASSERT_EQ(got.size(), kKinds);
    for (size_t k = 0; k < kKinds; ++k) EXPECT_EQ(got[k].payload.index(), k);
}

TEST(CoreEventsTest, TheAlarmRecordKeepsItsFixedLayout) {
    EXPECT_EQ(sizeof(AlarmEvent), 48u);
    EXPECT_EQ(offsetof(AlarmEvent, channelId), 4u);
    EXPECT_EQ(offsetof(AlarmEvent, code), 8u);
    EXPECT_EQ(offsetof(AlarmEvent, time), 12u);
    EXPECT_EQ(offsetof(AlarmEvent, text), 16u);
}

TEST(RuntimeTableTest, ResetsGiveEachOwnerItsFieldsBackAndLeaveTheOthers) {
    RuntimeTable table;
    ChannelRuntime& c = table.channel(ChannelIdOf(3, 7));
    EXPECT_EQ(&c, &table.device(3).channels[7]);
    c.connectState = kStreamOpen;
    c.mainStream = 9;
    c.recordType = kRecordPlan;
    c.recordStart = 100;
    c.alarmHold[kHoldInput] = 50;
    c.alarmActive = kAlarmInput;
    c.ResetConnection();
    EXPECT_EQ(c.connectState.load(), kStreamClosed);
    EXPECT_EQ(c.mainStream.load(), 0);
    EXPECT_EQ(c.recordType.load(), kRecordPlan);  // not the connection's to reset
    EXPECT_EQ(c.alarmActive.load(), kAlarmInput);
    c.ResetRecording();
    EXPECT_EQ(c.recordType.load(), kRecordNone);
    EXPECT_EQ(c.recordStart.load(), -1);
    c.ResetAlarms();
    EXPECT_EQ(c.alarmHold[kHoldInput].load(), -1);
    EXPECT_EQ(c.alarmActive.load(), kAlarmNone);
    DeviceRuntime& d = table.device(3);
    d.loginHandle = 4;
    d.deviceState = kDeviceWrongPassword;
    d.channels[1].channelOn = 1;
    d.ResetConnection();
    EXPECT_EQ(d.loginHandle.load(), 0);
    EXPECT_EQ(d.deviceState.load(), kDeviceOffline);
    EXPECT_EQ(d.channels[1].channelOn.load(), 0);
}

}  // namespace
}  // namespace ocv
