// The PTZ surfaces' commands without windows (codes, toggles, presets, the sending thread) and
// the temperature column's rows and query worker.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <set>

#include "base/clock.h"
#include "liveview/ptz_pad.h"
#include "liveview/temperature_column.h"
#include "tests/liveview/command_fakes.h"
#include "tests/liveview/live_view_fakes.h"

namespace ocv {
namespace {

TEST(PtzPad, EveryButtonHasItsCommandNumberAndTheLensPairsHold) {
    std::set<int> codes;
    for (const PtzButton& b : PtzButtons()) EXPECT_TRUE(codes.insert(b.code).second) << b.name << " twice";
    EXPECT_EQ(PtzButtons().size(), 20u);
    struct Want {
        const char* name;
        int code;
        PtzAction action;
    };
    for (const Want& w : {Want{"leftBtn", 23, PtzAction::kHold}, Want{"downrightBtn", 28, PtzAction::kHold},
                          Want{"irisCloseBtn", 16, PtzAction::kHold}, Want{"zoomInBtn", 11, PtzAction::kHold},
                          Want{"autoBtn", 29, PtzAction::kToggle}, Want{"wiperBtn", 3, PtzAction::kToggle},
                          Want{"lightBtn", 2, PtzAction::kToggle}, Want{"gotoBtn", 39, PtzAction::kPreset},
                          Want{"editBtn", 8, PtzAction::kPreset}, Want{"clearBtn", 9, PtzAction::kPreset}}) {
        const PtzButton* b = FindPtzButton(w.name);
        ASSERT_NE(b, nullptr) << w.name;
        EXPECT_EQ(b->code, w.code) << w.name;
        EXPECT_EQ(b->action, w.action) << w.name;
    }
    // The captions between the pairs send nothing.
    EXPECT_EQ(FindPtzButton("irisBtn"), nullptr);
    EXPECT_EQ(FindPtzButton("zoomBtn"), nullptr);
}

TEST(PtzPad, TogglesSendOneZeroOneAndPresetsAreTheRowPlusOne) {
    PtzToggles toggles;
    EXPECT_EQ(toggles.Click(2), 1);
    EXPECT_EQ(toggles.Click(2), 0);
    EXPECT_EQ(toggles.Click(2), 1);
    EXPECT_EQ(toggles.Click(3), 1) << "each toggle has its own flag";
    EXPECT_EQ(toggles.Click(29), 1);
    EXPECT_EQ(toggles.Click(23), -1) << "not a toggle";
    EXPECT_EQ(PresetNumberOfRow(10), 11);
    EXPECT_EQ(PresetNumberOfRow(0), 1);
    EXPECT_EQ(PresetNumberOfRow(127), 128);
    EXPECT_EQ(PresetNumberOfRow(-1), -1) << "no row selected sends nothing";
    EXPECT_EQ(PresetNumberOfRow(128), -1);
}

TEST(PtzPad, TheSenderKeepsTheOrderOfPressAndReleaseAndSendsWhatIsQueuedBeforeItEnds) {
    test::FakePtz ptz;
    {
        PtzSender sender(ptz);
        for (int i = 0; i < 20; ++i) {
            sender.Send(1, 2, 23, 0, i);
            sender.Send(1, 2, 23, 1, i);
        }
    }  // gone: what was queued went out first
    auto sent = ptz.Sent();
    ASSERT_EQ(sent.size(), 40u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(sent[2 * size_t(i)], std::make_tuple(1, 2, 23, 0, i));
        EXPECT_EQ(sent[2 * size_t(i) + 1], std::make_tuple(1, 2, 23, 1, i));
    }
}

class TemperatureColumnTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        SetClockForTesting(2020, 9, 13, 12, 0, 0);
        directoryDevice_ = directory_.AddDevice("127.0.0.1", 80, 2);
        connections_.capable.insert(directoryDevice_);
    }
    void TearDown() override { SetClockSourceForTesting(nullptr); }
    int Posts() {
        std::lock_guard lock(mutex_);
        return posts_;
    }

    test::FakeDirectory directory_;
    test::FakeConnections connections_;
    test::FakeTemperatureQueries queries_;
    int directoryDevice_ = 0;
    std::mutex mutex_;
    int posts_ = 0;
    TemperatureQueryWorker worker_{queries_, connections_, [this](int message, intptr_t, intptr_t) {
                                       std::lock_guard lock(mutex_);
                                       if (message == kMsgTemperatureReady) ++posts_;
                                   }};
};

TEST_F(TemperatureColumnTest, RowsShowLocalTimeHundredthsOrFahrenheitAndAbnormalInRed) {
    TemperatureRow normal = FormatTemperatureRow({3650, 1600000000}, 0);
    EXPECT_EQ(normal.time, "2020-09-13 12:26:40");
    EXPECT_EQ(normal.temperature, "36.50");
    EXPECT_EQ(normal.rgb, 0x00FF00u);
    EXPECT_EQ(normal.recordTime, 1600000000);
    TemperatureRow abnormal = FormatTemperatureRow({32768 + 3810, 1600000001}, 0);
    EXPECT_EQ(abnormal.temperature, "38.10");
    EXPECT_EQ(abnormal.rgb, 0xFF0000u);
    EXPECT_EQ(FormatTemperatureRow({3650, 0}, 1).temperature, "97.70");
    EXPECT_EQ(FormatTemperatureRow({32768 + 3810, 0}, 1).temperature, "100.58");
    EXPECT_EQ(FormatTemperatureRow({3605, 0}, 0).temperature, "36.05") << "hundredths keep their zero";
    EXPECT_EQ(FormatCalendarDate({2026, 1, 5}), "2026-01-05");
}

TEST_F(TemperatureColumnTest, TheWorkerQueriesOnAChangeAndEveryTwentyRoundsForTheWholeFilterDay) {
    queries_.answer = {{13650, 1600000000}, {32768 + 3810, 1600000100}};
    worker_.SetChannel(ChannelIdOf(directoryDevice_, 1));
    worker_.Round();
    ASSERT_EQ(worker_.Queries(), 1) << "a new channel is queried at once";
    EXPECT_EQ(Posts(), 1);
    EXPECT_EQ(worker_.Records().size(), 2u);
    {
        auto q = queries_.asked.back();
        EXPECT_EQ(q.device, directoryDevice_);
        EXPECT_EQ(q.channel, 1);
        EXPECT_EQ(std::make_tuple(q.start.year, q.start.month, q.start.day, q.start.hour, q.start.minute, q.start.second),
                  std::make_tuple(2020, 9, 13, 0, 0, 0));
        EXPECT_EQ(std::make_tuple(q.end.year, q.end.month, q.end.day, q.end.hour, q.end.minute, q.end.second),
                  std::make_tuple(2020, 9, 13, 23, 59, 59));
        EXPECT_EQ(q.filter, 0);
    }
    for (int r = 0; r < 19; ++r) worker_.Round();
    EXPECT_EQ(worker_.Queries(), 1);
    worker_.Round();
    EXPECT_EQ(worker_.Queries(), 2) << "the twentieth round queries again";
    // The filter, the date and Refresh each query at the next round.
    worker_.SetFilter(2);
    worker_.Round();
    EXPECT_EQ(worker_.Queries(), 3);
    EXPECT_EQ(queries_.asked.back().filter, 2);
    ASSERT_EQ(worker_.Records().size(), 1u);
    EXPECT_EQ(worker_.Records()[0].code, 32768 + 3810);
    worker_.SetFilter(7);  // not a filter: nothing changes
    worker_.Round();
    EXPECT_EQ(worker_.Queries(), 3);
    worker_.SetDate({2020, 9, 1});
    worker_.Round();
    EXPECT_EQ(queries_.asked.back().start.day, 1);
    worker_.Refresh();
    worker_.Round();
    EXPECT_EQ(worker_.Queries(), 5);
}

TEST_F(TemperatureColumnTest, AChannelWithoutATemperatureLogShowsAnEmptyColumnWithoutAsking) {
    queries_.answer = {{13650, 1600000000}};
    worker_.SetChannel(ChannelIdOf(directoryDevice_, 0));
    worker_.Round();
    ASSERT_EQ(worker_.Records().size(), 1u);
    connections_.capable.clear();
    worker_.SetChannel(-1);
    worker_.Round();
    EXPECT_TRUE(worker_.Records().empty()) << "an empty cell empties the column";
    worker_.SetChannel(ChannelIdOf(directoryDevice_, 0));
    worker_.Round();
    EXPECT_EQ(worker_.Queries(), 1) << "a camera without temperature support is not asked";
    EXPECT_EQ(Posts(), 3) << "the page is told each time";
}

TEST_F(TemperatureColumnTest, TheFilterDateFollowsTheDayUntilOneIsChosen) {
    EXPECT_EQ(worker_.Date(), (CalendarDate{2020, 9, 13}));
    SetClockForTesting(2020, 9, 14, 0, 0, 1);
    EXPECT_EQ(worker_.Date(), (CalendarDate{2020, 9, 14}));
    worker_.SetDate({2020, 8, 31});
    SetClockForTesting(2020, 9, 15, 0, 0, 1);
    EXPECT_EQ(worker_.Date(), (CalendarDate{2020, 8, 31}));
}

TEST_F(TemperatureColumnTest, TheWorkerThreadRunsRoundsUntilStopped) {
    queries_.answer = {{13650, 1600000000}};
    worker_.SetChannel(ChannelIdOf(directoryDevice_, 0));
    worker_.Start(std::chrono::milliseconds(1));
    for (int i = 0; i < 5000 && worker_.Queries() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    worker_.Stop();
    EXPECT_GE(worker_.Queries(), 3);
    int after = worker_.Queries();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(worker_.Queries(), after);
}

}  // namespace
}  // namespace ocv
