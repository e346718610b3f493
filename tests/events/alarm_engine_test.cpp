#include "events/alarm_engine.h"

#include <gtest/gtest.h>

#include <map>

#include "events/log_search.h"
#include "base/clock.h"
#include "store/relaxed.h"
#include "tests/store/store_fixture.h"

namespace ocv {
namespace {

class SilentPlayer : public WavPlayer {
public:
    void PlayBlocking(const std::string&) override {}
    void PlayAsync(const std::string&) override {}
};

class AlarmEngineTest : public test::StoreTest {
protected:
    test::TempDir logs;
    LogWriter log{logs.str()};
    SilentPlayer player;
    AlarmSoundPlayer sounds{&player, "/nowhere", nullptr};
    int recordDisk = 1;
    RuntimeTable runtime;
    CoreEventHub hub;
    std::unique_ptr<CoreEventHub::Reader> reader = hub.Subscribe(CoreEventHub::MaskOf<AlarmEvent>());
    std::unique_ptr<CoreEventHub::Reader> everything = hub.Subscribe();
    std::unique_ptr<AlarmEngine> engine;
    int dev = -1;

    void SetUp() override {
        test::StoreTest::SetUp();
        setenv("TZ", "UTC", 1);
        tzset();
        store_.LoadSettings();
        SetRelaxed(store_.MutableSettingsForTesting().ALARMLEN, 10);
        SetRelaxed(store_.MutableSettingsForTesting().ARMFLAG, 1);
        dev = AddDevice("cam01", 5000, 4);
        ASSERT_GE(dev, 0);
        log.SetDeviceAddressResolver([this](int d, std::string* host, int* port) {
            if (store_.IsValidChannel(d, 0) != 0) return false;
            *host = std::string(FieldText(store_.device(d).host));
            *port = store_.device(d).port;
            return true;
        });
        engine = std::make_unique<AlarmEngine>(store_, runtime, log, &sounds, [this] { return recordDisk; }, &hub);
        ChannelRuntime& c = Channel(0);
        c.connectState = kStreamOpen;
        c.mainStream = 11;
        runtime.device(dev).loginHandle = 7;
        ArmAllDay(Config(0));
        Config(0).alarmMd = kLinkRecord | kLinkSound | kLinkMap;
        SetClockForTesting(2020, 7, 8, 10, 0, 0);  // a Wednesday
    }
    void TearDown() override {
        engine.reset();
        SetClockSourceForTesting(nullptr);
    }
    ChannelRuntime& Channel(int ch) { return runtime.channel(dev, ch); }
    ChannelInfo& Config(int ch) { return store_.device(dev).channels[ch]; }
    static void ArmAllDay(ChannelInfo& c) {
        c.armAlarm = 1;
        for (uint32_t& w : c.armSchedule) w = 0xFFFFFF;
    }
    static std::vector<AlarmEvent> AlarmEventsOf(CoreEventHub::Reader& r) {
        std::vector<CoreEventHub::Event> events;
        r.Read(&events);
        std::vector<AlarmEvent> out;
        for (const auto& e : events)
            if (auto* a = std::get_if<AlarmEvent>(&e.payload)) out.push_back(*a);
        return out;
    }
    std::vector<AlarmEvent> NewEvents() { return AlarmEventsOf(*reader); }
    void Tick(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            AdvanceClockForTesting(1);
            engine->HoldPass(dev, 0);
        }
    }
};

TEST_F(AlarmEngineTest, RepeatedMotionGivesOneStartAndOneStopAfterTheHoldTime) {
    engine->HoldPass(dev, 0);
    int64_t start = clockSnapshot().time;
    int64_t stopAt = 0;
    for (int t = 0; t <= 25; ++t) {
        if (t == 0 || t == 4 || t == 8) {
            ASSERT_EQ(engine->OnDeviceAlarm(dev, 0, 0, nullptr, 0), 0);
        }
        for (const AlarmEvent& e : NewEvents())
            if (e.code == kEventMotionStop) stopAt = e.time - start;
        if (t < 25) Tick(1);
    }
    std::vector<AlarmEvent> events = AlarmEventsOf(*everything);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].code, kEventMotionStart);
    EXPECT_EQ(events[0].channelId, dev * 64);
    EXPECT_EQ(events[1].code, kEventMotionStop);
    EXPECT_EQ(stopAt, 19);
    EXPECT_EQ(Channel(0).alarmActive.load(), 0);
    EXPECT_TRUE(sounds.IsRaised(SoundKind::kMotion));
}

TEST_F(AlarmEngineTest, DisconnectedOrInvalidChannelsChangeNothing) {
    Channel(1).connectState = kStreamClosed;
    EXPECT_EQ(engine->OnDeviceAlarm(dev, 1, 0, nullptr, 0), -1);
    EXPECT_EQ(engine->OnDeviceAlarm(dev + 1, 0, 0, nullptr, 0), -1);
    EXPECT_EQ(engine->OnDeviceAlarm(dev, 64, 1, nullptr, 0), -1);
    EXPECT_EQ(engine->OnDeviceAlarm(dev, 0, 2, nullptr, 0), 0);  // unknown type: ignored
    EXPECT_EQ(Channel(1).alarmActive.load(), 0);
    EXPECT_EQ(Channel(1).alarmHold[0].load(), -1);
    EXPECT_TRUE(NewEvents().empty());
}

TEST_F(AlarmEngineTest, StreamDropDuringAlarmStopsAtTheNextPass) {
    engine->HoldPass(dev, 0);
    ASSERT_EQ(engine->OnDeviceAlarm(dev, 0, 1, nullptr, 0), 0);
    EXPECT_EQ(Channel(0).alarmActive.load(), 2);
    Channel(0).connectState = kStreamClosed;
    Tick(1);
    std::vector<AlarmEvent> e = NewEvents();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[1].code, kEventInputStop);
    EXPECT_EQ(Channel(0).alarmActive.load(), 0);
}

TEST_F(AlarmEngineTest, MidnightMovesTheHoldSlotToTheNewDay) {
    SetClockForTesting(2020, 7, 8, 23, 59, 58);
    engine->HoldPass(dev, 0);
    ASSERT_EQ(engine->OnDeviceAlarm(dev, 0, 0, nullptr, 0), 0);
    NewEvents();
    int stoppedAt = -1;
    for (int i = 0; i < 20 && stoppedAt < 0; ++i) {
        Tick(1);
        for (const AlarmEvent& e : NewEvents())
            if (e.code == kEventMotionStop) stoppedAt = clockSnapshot().SecondOfDay();
    }
    EXPECT_EQ(stoppedAt, 11);  // 00:00:11
}

TEST_F(AlarmEngineTest, ArmingFollowsTheHalfHourOfTheWeekday) {
    ChannelRuntime& c = Channel(0);
    for (uint32_t& w : Config(0).armSchedule) w = 0;
    Config(0).armSchedule[0] = 1;  // ASUN1 = 1: Sunday 00:00-00:29
    struct Case {
        int day, hour, minute;
        bool armed;
    } cases[] = {{12, 0, 0, true}, {12, 0, 29, true}, {12, 0, 30, false}, {13, 0, 0, false},
                 {11, 23, 59, false}};  // 2020-07-12 is a Sunday
    for (const Case& k : cases) {
        SetClockForTesting(2020, 7, k.day, k.hour, k.minute, 0);
        engine->HoldPass(dev, 0);
        EXPECT_EQ(c.armedNow.load() != 0, k.armed) << k.day << " " << k.hour << ":" << k.minute;
    }
    SetClockForTesting(2020, 7, 12, 0, 10, 0);
    SetRelaxed(store_.MutableSettingsForTesting().ARMFLAG, 0);
    engine->HoldPass(dev, 0);
    EXPECT_EQ(c.armedNow.load(), 0);
}

TEST_F(AlarmEngineTest, TemperatureReportsBecomeEventsLogsAndCounters) {
    const char abnormal[] = "HeartBeat:tmp|36418|1594195200|x";
    const char normal[] = "xxHeartBeat:tmp|3650|1594195200";
    sounds.SetTemperatureRepeat(1);
    Channel(2).connectState = kStreamClosed;  // no connection check for temperatures
    ASSERT_EQ(engine->OnDeviceAlarm(dev, 2, 14, abnormal, sizeof abnormal - 1), 0);
    ASSERT_EQ(engine->OnDeviceAlarm(dev, 2, 14, normal, sizeof normal - 1), 0);
    ASSERT_EQ(engine->OnDeviceAlarm(dev, 2, 14, "no prefix", 9), 0);
    std::vector<AlarmEvent> e = NewEvents();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].code, kEventTemperatureAbnormal);
    EXPECT_STREQ(e[0].text, "36.50");
    EXPECT_EQ(e[0].time, 1594195200u);
    EXPECT_EQ(e[1].code, kEventTemperatureNormal);
    EXPECT_STREQ(e[1].text, "36.50");
    EXPECT_EQ(engine->TemperatureReadings(), 2);
    EXPECT_EQ(engine->AbnormalReadings(), 1);
    // The counters are announced with each reading, and with the reset when the date changes.
    std::vector<CoreEventHub::Event> all;
    everything->Read(&all);
    std::vector<std::pair<int, int>> counters;
    for (const auto& ev : all)
        if (auto* t = std::get_if<TemperatureCountersChanged>(&ev.payload)) counters.push_back({t->readings, t->abnormal});
    EXPECT_EQ(counters, (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}}));
    engine->ResetDayCounters();
    all.clear();
    everything->Read(&all);
    ASSERT_EQ(all.size(), 1u);
    ASSERT_TRUE(std::holds_alternative<TemperatureCountersChanged>(all[0].payload));
    EXPECT_EQ(std::get<TemperatureCountersChanged>(all[0].payload).readings, 0);
    EXPECT_TRUE(sounds.IsRaised(SoundKind::kTemperature));
    // The log holds both, and a restart posts them again.
    SetClockForTesting(2020, 7, 8, 12, 0, 0);
    CoreEventHub restartHub;
    auto restartReader = restartHub.Subscribe(CoreEventHub::MaskOf<AlarmEvent>());
    AlarmEngine restarted(store_, runtime, log, nullptr, nullptr, &restartHub);
    EXPECT_EQ(restarted.ReloadTodaysTemperatures(), 2);
    std::vector<AlarmEvent> again = AlarmEventsOf(*restartReader);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].channelId, dev * 64 + 2);
    EXPECT_EQ(again[0].code, kEventTemperatureAbnormal);
    EXPECT_EQ(restarted.AbnormalReadings(), 1);
    // A truncated report without its terminating zero is read within its length only.
    TemperatureReading r;
    const char cut[] = "HeartBeat:tmp|1234";
    EXPECT_TRUE(ParseTemperatureReport(cut, 16, &r));
    EXPECT_EQ(r.hundredths, 12);
}

TEST_F(AlarmEngineTest, StreamLossLogsAndSoundsVideoLossOnlyForLinkedArmedChannels) {
    Config(0).alarmDisconnect = kLinkSound;
    engine->HoldPass(dev, 0);
    Channel(0).connectState = kStreamClosed;  // the connection service's part, before it tells
    engine->OnStreamLost(dev, 0);
    EXPECT_TRUE(sounds.IsRaised(SoundKind::kVideoLoss));
    EXPECT_TRUE(engine->SoundQualifies(SoundKind::kVideoLoss));
    Channel(0).connectState = kStreamOpen;
    engine->OnStreamConnected(dev, 0);
    EXPECT_FALSE(engine->SoundQualifies(SoundKind::kVideoLoss));
    // A channel without the sound linkage, or not armed, stays silent.
    sounds.Lower(SoundKind::kVideoLoss);
    engine->OnStreamLost(dev, 1);
    EXPECT_FALSE(sounds.IsRaised(SoundKind::kVideoLoss));
    // The system log has the connection records.
    std::vector<LogRecord> records;
    LogQuery q;
    q.logType = kLogSystem;
    q.startTime = clockSnapshot().time - 10;
    q.endTime = clockSnapshot().time + 10;
    ASSERT_EQ(SearchLogs(logs.str(), q, &records), 0);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].subtype, kLogDisconnected);
    EXPECT_STREQ(records[0].device, "cam01:5000-1");
    EXPECT_EQ(records[1].subtype, kLogConnected);
}

TEST_F(AlarmEngineTest, DiskFullSoundFollowsTheRecordDisk) {
    ChannelRuntime& c = Channel(0);
    Config(0).alarmDiskFull = kLinkSound;
    recordDisk = -1;
    engine->HoldPass(dev, 0);
    EXPECT_TRUE(sounds.IsRaised(SoundKind::kDiskFull));
    recordDisk = 1;
    engine->HoldPass(dev, 0);
    EXPECT_FALSE(sounds.IsRaised(SoundKind::kDiskFull));
    // An audio alarm uses the disk-full linkage and sound.
    ASSERT_EQ(engine->OnDeviceAlarm(dev, 0, 3, nullptr, 0), 0);
    EXPECT_TRUE(sounds.IsRaised(SoundKind::kDiskFull));
    EXPECT_EQ(c.alarmActive.load(), 3);
}

TEST_F(AlarmEngineTest, MapAlarmsOnlyForNewAlarmsOfArmedLinkedChannels) {
    auto maps = hub.Subscribe(CoreEventHub::MaskOf<MapAlarmRaised>());
    auto drain = [&] {
        std::vector<CoreEventHub::Event> events;
        maps->Read(&events);
        std::vector<MapAlarmRaised> out;
        for (const auto& e : events) out.push_back(std::get<MapAlarmRaised>(e.payload));
        return out;
    };
    // Not armed yet (no hold pass has run): no map alarm.
    ASSERT_EQ(engine->OnDeviceAlarm(dev, 0, 0, nullptr, 0), 0);
    EXPECT_TRUE(drain().empty());
    Tick(12);  // armed now; the first alarm has ended
    ASSERT_EQ(engine->OnDeviceAlarm(dev, 0, 0, nullptr, 0), 0);
    ASSERT_EQ(engine->OnDeviceAlarm(dev, 0, 0, nullptr, 0), 0);  // repeated: not a new alarm
    std::vector<MapAlarmRaised> items = drain();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].channelId, dev * 64);
    EXPECT_EQ(items[0].type, 0);
    // Without the map linkage the alarm stays off the map.
    Config(0).alarmInput = kLinkSound;
    ASSERT_EQ(engine->OnDeviceAlarm(dev, 0, 1, nullptr, 0), 0);
    EXPECT_TRUE(drain().empty());
}

}  // namespace
}  // namespace ocv
