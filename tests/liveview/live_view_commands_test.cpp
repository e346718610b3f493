// The live view's menus and commands against fakes: which entries a cell or tree node offers,
// what each command asks of the services and writes to the log, and what tours refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "events/log_record.h"
#include "liveview/live_view_commands.h"
#include "liveview/live_view_menus.h"
#include "tests/liveview/command_fakes.h"
#include "tests/liveview/live_view_fakes.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

std::vector<std::string> Texts(const std::vector<MenuEntry>& entries) {
    std::vector<std::string> out;
    for (const MenuEntry& e : entries) out.push_back(e.text);
    return out;
}

TEST(LiveViewMenus, AnEmptyCellOffersNoRecordingTalkDisplayOrThermalEntries) {
    EXPECT_EQ(Texts(CellMenuEntries(CellMenuState{})),
              (std::vector<std::string>{"Capture", "PTZ control", "Enlarge", "Camera Settings", "Check time",
                                        "Stop view", "Stop all view", "Disconnect", "Full Screen"}));
}

TEST(LiveViewMenus, ACellsEntriesFollowItsStateAndStreamsOnlyForSingleStreamTypes) {
    CellMenuState s;
    s.showsChannel = true;
    s.recordingManually = true;
    s.talking = true;
    s.zoomMode = true;
    s.autoAdjust = true;
    s.thermalSupported = true;
    s.deviceType = 0;
    EXPECT_EQ(Texts(CellMenuEntries(s)),
              (std::vector<std::string>{"Capture", "Stop manual REC", "Stop talk", "PTZ control", "Close enlarge",
                                        "Camera Settings", "Check time", "Tile picture", "Open thermal imaging",
                                        "Stop view", "Stop all view", "Disconnect", "Full Screen"}));
    for (int type : {50, 102}) {
        s.deviceType = type;
        auto texts = Texts(CellMenuEntries(s));
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Main stream"), texts.end()) << type;
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Sub stream"), texts.end()) << type;
    }
    s = {};
    s.showsChannel = true;
    s.inTour = true;
    s.fullScreen = true;
    s.thermalSupported = true;
    s.insetOpen = true;
    s.deviceType = 51;
    EXPECT_EQ(Texts(CellMenuEntries(s)),
              (std::vector<std::string>{"Capture", "Manual REC", "Start talk", "PTZ control", "Enlarge", "Check time",
                                        "Original picture", "Close thermal imaging", "Exit full screen"}))
        << "a touring cell cannot be stopped; full screen has no camera settings";
    auto commands = CellMenuEntries(s);
    EXPECT_EQ(commands[7].command, kCellThermalClose);
    EXPECT_EQ(commands.back().command, kCellFullScreen);
}

TEST(LiveViewMenus, TreeChannelAndGroupMenusFollowTheStreamModeAndState) {
    TreeChannelState c;
    c.showMode = 1;
    EXPECT_EQ(Texts(TreeChannelMenuEntries(c)),
              (std::vector<std::string>{"Connected", "Manual REC", "Original picture", "Check time"}));
    c.hasStream = true;
    c.recordingManually = true;
    c.autoAdjust = true;
    c.deviceType = 102;
    auto entries = TreeChannelMenuEntries(c);
    EXPECT_EQ(Texts(entries), (std::vector<std::string>{"Disconnect", "Stop manual REC", "Main stream", "Sub stream",
                                                        "Tile picture", "Check time"}));
    EXPECT_EQ(entries[0].command, kTreeDisconnect);
    EXPECT_EQ(entries[4].command, kTreeTile);
    EXPECT_EQ(TreeGroupMenuEntries(0).size(), 12u);
    auto dual = Texts(TreeGroupMenuEntries(1));
    EXPECT_EQ(std::find(dual.begin(), dual.end(), "All main stream"), dual.end());
    EXPECT_EQ(dual.front(), "Collapse all groups");
    EXPECT_EQ(dual.back(), "All check timer");
}

class RecordingView : public CellView {
public:
    int selected = 0;
    std::set<int> deniedRights;
    int repaints = 0;
    int SelectedCell() const override { return selected; }
    void SetCellText(int, const std::string&, const CellStrip&) override {}
    void ShowInset(int cell, bool show) override { insets[cell] = show; }
    void* InsetHandle(int) override { return nullptr; }
    void RepaintCell(int) override { ++repaints; }
    bool HasRight(int right) override { return deniedRights.count(right) == 0; }
    std::map<int, bool> insets;
};

class LiveViewCommandsTest : public ::testing::Test {
protected:
    LiveViewCommandsTest() {
        dev_ = directory_.AddDevice("10.0.0.5", 9000, 8);
        CopyText(directory_.Stored(dev_).name, "Gate");
        other_ = directory_.AddDevice("10.0.0.6", 9000, 4);
        CopyText(directory_.Stored(other_).name, "Yard");
        GroupView g;
        g.name = "Entrance";
        for (int c : {0, 1, 2}) g.members.push_back({dev_, c});
        directory_.groups.push_back(g);
        GroupView y;
        y.name = "Yard";
        y.members.push_back({other_, 0});
        directory_.groups.push_back(y);
        controller_.LoadGroups();
        tours_.SetRoundForTesting(std::chrono::milliseconds(1));
    }
    ~LiveViewCommandsTest() override { tours_.StopAll(); }
    LiveCommandHooks Hooks() {
        LiveCommandHooks h;
        h.settings = [this] { return settings_; };
        h.modifyChannel = [this](int d, int c, int kind, int value) {
            stored_.push_back({d, c, kind, value});
            if (kind == kChannelAutoAdjust) directory_.Stored(d).channels[c].autoAdjust = value;
            if (kind == kChannelStream) directory_.Stored(d).channels[c].stream = value;
            return 0;
        };
        h.setThermalFlag = [this](int d, int flag) {
            directory_.Stored(d).thermalFlag = flag;
            return 0;
        };
        h.log = [this](int subtype, int d, int c) { logs_.push_back({subtype, d, c}); };
        return h;
    }
    void Open(int channel, int cell) { ASSERT_EQ(controller_.OpenChannelInCell(dev_, channel, cell), 0); }
    void RunJobs() {
        jobs_.Flush();
        jobs_.RunCompletions();
    }

    test::TempDir dir_;
    test::FakeDirectory directory_;
    test::FakeConnections connections_;
    test::FakePlayers players_;
    test::FakeRecording recording_{directory_.runtime};
    test::FakeTalk talk_;
    test::FakeActions actions_;
    test::FakeDeviceConfig config_;
    RecordingView view_;
    LiveSettings settings_;
    std::vector<std::tuple<int, int, int, int>> stored_;
    std::vector<std::tuple<int, int, int>> logs_;
    int dev_ = 0, other_ = 0;
    LiveViewController controller_{LiveViewServices{connections_, players_, directory_}, view_, dir_ / "config.ini"};
    TourRunner tours_{connections_, [](int, intptr_t, intptr_t) {}};
    LiveViewJobs jobs_{[](int, intptr_t, intptr_t) {}};
    LiveViewCommands commands_{LiveCommandServices{controller_, tours_, connections_, players_, directory_, recording_,
                                                   talk_, actions_, config_, jobs_},
                               view_, Hooks()};
};

TEST_F(LiveViewCommandsTest, ASecondTalkNamesTheChannelHoldingItAndFailuresAreSaid) {
    Open(1, 0);
    Open(2, 1);
    CommandOutcome first = commands_.CellCommand(kCellTalk, 0);
    EXPECT_EQ(first.rc, 0);
    EXPECT_EQ(first.message, nullptr);
    EXPECT_EQ(talk_.holder, ChannelIdOf(dev_, 1));
    CommandOutcome second = commands_.CellCommand(kCellTalk, 1);
    EXPECT_EQ(second.rc, -1);
    EXPECT_STREQ(second.message, "Talk channel is being used, please try to stop:");
    EXPECT_EQ(second.detail, "Gate-C02");
    // The same menu entry on the talking cell stops it.
    EXPECT_EQ(commands_.CellCommand(kCellTalk, 0).rc, 0);
    EXPECT_EQ(talk_.holder, -1);
    EXPECT_EQ(logs_, (std::vector<std::tuple<int, int, int>>{{kLogTalk, dev_, 1}, {kLogCloseTalk, dev_, 1}}));
    talk_.startResult = -9;
    CommandOutcome refused = commands_.CellCommand(kCellTalk, 1);
    EXPECT_STREQ(refused.message, "Start talk failed!");
    EXPECT_EQ(refused.kind, 3);
    talk_.startResult = 0;
    ASSERT_EQ(commands_.CellCommand(kCellTalk, 1).rc, 0);
    talk_.stopResult = -1;
    EXPECT_STREQ(commands_.CellCommand(kCellTalk, 1).message, "Close talk failed!");
    EXPECT_EQ(commands_.CellCommand(kCellTalk, 5).rc, -1) << "an empty cell talks to nobody";
}

TEST_F(LiveViewCommandsTest, ManualRecordingStartsStopsAndLogsAndAPlanRecordingMakesWay) {
    Open(3, 2);
    ChannelRuntime& rt = directory_.runtime.channel(dev_, 3);
    rt.recordType = kRecordPlan;
    EXPECT_EQ(commands_.ToggleManualRecord(2).rc, 0);
    EXPECT_EQ(recording_.calls, (std::vector<std::string>{"stop 0/3", "start 0/3"}));
    EXPECT_EQ(rt.recordType.load(), kRecordManual);
    EXPECT_TRUE(commands_.MenuStateOf(2, false).recordingManually);
    EXPECT_EQ(commands_.CellCommand(kCellManualRecord, 2).rc, 0);
    EXPECT_EQ(rt.recordType.load(), kRecordNone);
    EXPECT_EQ(logs_, (std::vector<std::tuple<int, int, int>>{{kLogManualRecord, dev_, 3}, {kLogStopManualRecord, dev_, 3}}));
    // No disk: the start fails, nothing is logged (the toolbar sets its option back).
    recording_.startResult = -1;
    EXPECT_EQ(commands_.ToggleManualRecord(2).rc, -1);
    EXPECT_EQ(logs_.size(), 2u);
    // Without the right nothing is asked.
    recording_.calls.clear();
    view_.deniedRights = {kRightManualRecord};
    EXPECT_EQ(commands_.ToggleManualRecord(2).rc, -1);
    EXPECT_TRUE(recording_.calls.empty());
}

TEST_F(LiveViewCommandsTest, CaptureCheckTimeStreamAndDisplayCommandsReachTheirServices) {
    Open(4, 3);
    ASSERT_EQ(commands_.CellCommand(kCellCapture, 3).rc, 0);
    RunJobs();
    EXPECT_EQ(actions_.captures, (std::vector<int>{3}));
    EXPECT_EQ(logs_, (std::vector<std::tuple<int, int, int>>{{kLogCapture, dev_, 4}}));
    actions_.captureResult = -2;  // no picture yet: nothing logged
    commands_.CellCommand(kCellCapture, 3);
    RunJobs();
    EXPECT_EQ(logs_.size(), 1u);
    view_.deniedRights = {kRightCapture, kRightCheckTime};
    commands_.CellCommand(kCellCapture, 3);
    EXPECT_EQ(commands_.CellCommand(kCellCheckTime, 3).rc, -1);
    RunJobs();
    EXPECT_EQ(actions_.captures.size(), 2u);
    EXPECT_TRUE(actions_.timeMarks.empty());
    view_.deniedRights.clear();
    EXPECT_EQ(commands_.CellCommand(kCellCheckTime, 3).rc, 0);
    EXPECT_EQ(actions_.timeMarks, (std::vector<std::pair<int, int>>{{dev_, 4}}));

    commands_.CellCommand(kCellMainStream, 3);
    commands_.CellCommand(kCellSubStream, 3);
    RunJobs();
    EXPECT_EQ(config_.sent, (std::vector<std::tuple<int, int, uint32_t, uint32_t>>{{dev_, 4, 4113u, 6u},
                                                                                    {dev_, 4, 4113u, 0u}}));
    EXPECT_EQ(directory_.Stored(dev_).channels[4].stream, 1);

    directory_.Stored(dev_).channels[4].autoAdjust = 1;
    EXPECT_EQ(commands_.MenuStateOf(3, false).autoAdjust, true);
    commands_.CellCommand(kCellDisplayMode, 3);
    EXPECT_EQ(directory_.Stored(dev_).channels[4].autoAdjust, 0) << "Tile picture stretches it";
    EXPECT_GT(view_.repaints, 0);
}

TEST_F(LiveViewCommandsTest, DisconnectAndStopViewCloseTheCellAndATouringCellRefusesThem) {
    Open(0, 0);
    Open(5, 4);
    EXPECT_EQ(commands_.CellCommand(kCellDisconnect, 4).rc, 0);
    RunJobs();
    EXPECT_EQ(controller_.CellChannel(4), -1);
    EXPECT_EQ(actions_.disconnects, (std::vector<std::pair<int, int>>{{dev_, 5}}));
    EXPECT_EQ(controller_.screenMemory().channelIds[4], 0);

    // Cell 0 shows member 0 of the group "Entrance": it tours.
    ASSERT_EQ(commands_.ToggleTour(0).rc, 0);
    EXPECT_TRUE(commands_.TourRunning(0));
    for (int command : {kCellStopView, kCellDisconnect, kCellTalk, kCellMainStream}) {
        CommandOutcome o = commands_.CellCommand(command, 0);
        EXPECT_EQ(o.rc, -1) << command;
        EXPECT_STREQ(o.message, "Channel is rota, can not operate!") << command;
    }
    EXPECT_NE(controller_.CellChannel(0), -1);
    EXPECT_STREQ(commands_.SwapCells(0, 1).message, "Channel is rota, can not operate!");
    // The tree refuses the touring group, and a drop onto the touring cell.
    EXPECT_STREQ(commands_.ChannelCommand(kTreeDisconnect, dev_, 1, 0).message, "Group is rota, can not operate!");
    EXPECT_STREQ(commands_.OpenFromTree(dev_, 2, 0).message, "Group is rota, can not operate!");
    EXPECT_STREQ(commands_.DropChannel(other_, 0, 1, 0).message, "Channel is rota, can not operate!");
    EXPECT_STREQ(commands_.DropChannel(dev_, 2, 0, 7).message, "Group is rota, can not operate!");
    EXPECT_EQ(commands_.OpenFromTree(other_, 0, 1).rc, 0) << "another group opens";
    EXPECT_TRUE(commands_.MenuStateOf(0, false).inTour);
    ASSERT_EQ(commands_.ToggleTour(0).rc, -1) << "the same button stops it";
    EXPECT_FALSE(commands_.TourRunning(0));
    EXPECT_EQ(commands_.CellCommand(kCellStopView, 0).rc, 0);
    EXPECT_EQ(std::count_if(logs_.begin(), logs_.end(), [](auto& l) { return std::get<0>(l) == kLogStartRota; }), 1);
    EXPECT_EQ(std::count_if(logs_.begin(), logs_.end(), [](auto& l) { return std::get<0>(l) == kLogStopRota; }), 1);
}

TEST_F(LiveViewCommandsTest, ToursRefuseAnEmptyCellAChannelInNoGroupAndASecondMultiScreenTour) {
    CommandOutcome empty = commands_.ToggleTour(6);
    EXPECT_STREQ(empty.message, "Please drag the window to any channel, try!");
    Open(7, 6);  // channel 8 is in no group
    EXPECT_STREQ(commands_.ToggleTour(6).message, "Start rota failed!");
    EXPECT_FALSE(tours_.AnyRunning());
    // A single-screen tour closes the other cells showing members of its group.
    Open(1, 8);
    Open(2, 9);
    ASSERT_EQ(commands_.ToggleTour(8).rc, 0);
    EXPECT_EQ(controller_.CellChannel(9), -1);
    EXPECT_EQ(controller_.CellChannel(6), ChannelIdOf(dev_, 7));
    commands_.ToggleTour(8);

    settings_.rotaType = 1;
    ASSERT_EQ(commands_.ToggleTour(6).rc, 0);
    EXPECT_EQ(controller_.CellChannel(6), -1) << "a multi-screen tour empties the panel";
    EXPECT_TRUE(tours_.MultiRunning());
    EXPECT_TRUE(commands_.TourRunning(20));
    EXPECT_STREQ(commands_.GroupCommand(kTreeGroupDisplay, 1).message, "Group is rota, can not operate!");
    ASSERT_EQ(commands_.ToggleTour(3).rc, -1) << "any cell's button stops the multi-screen tour";
    EXPECT_FALSE(tours_.AnyRunning());
}

TEST_F(LiveViewCommandsTest, StepsMoveTheRunningTourElseTheGroups) {
    commands_.Step(0, +1);
    EXPECT_EQ(controller_.currentGroup(), 0);
    EXPECT_EQ(controller_.CellChannel(0), ChannelIdOf(dev_, 0));
    commands_.Step(0, +1);
    EXPECT_EQ(controller_.currentGroup(), 1);
    // The tour's own messages show and empty cells.
    commands_.OnTourShow(5, ChannelIdOf(dev_, 6));
    EXPECT_EQ(controller_.CellChannel(5), ChannelIdOf(dev_, 6));
    commands_.OnTourShow(5, -1);
    EXPECT_EQ(controller_.CellChannel(5), -1);
    commands_.OnTourClearAll();
    EXPECT_EQ(controller_.CellChannel(0), -1);
}

TEST_F(LiveViewCommandsTest, GroupCommandsActOnEveryMemberAndTheirCells) {
    Open(1, 3);
    CommandOutcome o = commands_.GroupCommand(kTreeDisconnect, 0);
    EXPECT_EQ(o.rc, 0);
    RunJobs();
    EXPECT_EQ(actions_.disconnects, (std::vector<std::pair<int, int>>{{dev_, 0}, {dev_, 1}, {dev_, 2}}));
    EXPECT_EQ(controller_.CellChannel(3), -1);
    connections_.connects.clear();
    commands_.GroupCommand(kTreeConnect, 0);
    EXPECT_EQ(connections_.Connects().size(), 3u) << "connected without a cell";
    EXPECT_EQ(controller_.CellChannel(0), -1);
    commands_.GroupCommand(kTreeManualRecord, 0);
    for (int c : {0, 1, 2}) EXPECT_EQ(directory_.runtime.channel(dev_, c).recordType.load(), kRecordManual);
    commands_.GroupCommand(kTreeStopManualRecord, 0);
    for (int c : {0, 1, 2}) EXPECT_EQ(directory_.runtime.channel(dev_, c).recordType.load(), kRecordNone);
    commands_.GroupCommand(kTreeOriginal, 0);
    for (int c : {0, 1, 2}) EXPECT_EQ(directory_.Stored(dev_).channels[c].autoAdjust, 1);
    commands_.ChannelCommand(kTreeTile, dev_, 1, 0);
    EXPECT_EQ(directory_.Stored(dev_).channels[1].autoAdjust, 0);
    commands_.GroupCommand(kTreeCheckTime, 1);
    EXPECT_EQ(actions_.timeMarks, (std::vector<std::pair<int, int>>{{other_, 0}}));
    commands_.GroupCommand(kTreeSubStream, 1);
    RunJobs();
    EXPECT_EQ(config_.sent.size(), 1u);
    EXPECT_EQ(commands_.TreeStateOf(dev_, 1).hasStream, false);
    directory_.runtime.channel(dev_, 1).mainStream = 7;
    EXPECT_EQ(commands_.TreeStateOf(dev_, 1).hasStream, true);
}

TEST_F(LiveViewCommandsTest, TheThermalEntryNeedsSupportAndStoresTheDevicesChoice) {
    Open(0, 0);
    EXPECT_FALSE(commands_.MenuStateOf(0, false).thermalSupported);
    EXPECT_EQ(commands_.CellCommand(kCellThermalOpen, 0).rc, -1);
    connections_.capable.insert(dev_);
    EXPECT_TRUE(commands_.MenuStateOf(0, false).thermalSupported);
    EXPECT_EQ(commands_.CellCommand(kCellThermalOpen, 0).rc, 0);
    EXPECT_EQ(directory_.Stored(dev_).thermalFlag, 1);
    EXPECT_TRUE(view_.insets[0]);
    EXPECT_TRUE(commands_.MenuStateOf(0, false).insetOpen);
    EXPECT_EQ(commands_.CellCommand(kCellThermalClose, 0).rc, 0);
    EXPECT_EQ(directory_.Stored(dev_).thermalFlag, 0);
    EXPECT_FALSE(view_.insets[0]);
    controller_.thermal().Flush();
}

TEST_F(LiveViewCommandsTest, TheSoundToggleReportsTheResultingState) {
    EXPECT_EQ(commands_.ToggleSound(0), -1) << "an empty cell has no sound";
    Open(0, 0);
    EXPECT_EQ(commands_.ToggleSound(0), 1);
}

}  // namespace
}  // namespace ocv
