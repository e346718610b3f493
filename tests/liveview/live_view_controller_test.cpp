// The live view page's rules: where channels land, what the screen memory keeps, the zoom
// arithmetic, labels, what the core's events change, and the start-up restore, against fakes of
// the services they use; then, end to end on a real device service, the decoders they pause and
// resume and the pictures that reach the cells.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

#include "liveview/live_view_controller.h"
#include "liveview/live_view_events.h"
#include "liveview/restore_worker.h"
#include "tests/device/device_test_support.h"
#include "tests/liveview/decoder_probe.h"
#include "tests/liveview/live_view_fakes.h"

namespace ocv {
namespace {

class RecordingView : public CellView {
public:
    int selected = 0;
    bool rights = true;
    std::map<int, std::string> names;
    std::map<int, CellStrip> strips;
    std::map<int, bool> insets;
    int repaints = 0;
    test::CountingSurface inset{48, 36};  // every cell's inset draws here

    int SelectedCell() const override { return selected; }
    void SetCellText(int cell, const std::string& name, const CellStrip& strip) override {
        names[cell] = name;
        strips[cell] = strip;
    }
    void ShowInset(int cell, bool show) override { insets[cell] = show; }
    void* InsetHandle(int) override { return static_cast<player::VideoSurface*>(&inset); }
    void RepaintCell(int) override { ++repaints; }
    bool HasRight(int) override { return rights; }
};

// The rules against fakes: no database, no device, no player.
class LiveViewTest : public ::testing::Test {
protected:
    void MakeSite(int devices, int channels) {
        for (int i = 0; i < devices; ++i) directory_.AddDevice("127.0.0.1", 5000 + i, channels);
    }
    void Start() {
        for (int d = 0; d < kMaxDevices; ++d)
            if (directory_.Device(d) != nullptr) CopyText(directory_.Stored(d).name, "CAM");
        controller_ = std::make_unique<LiveViewController>(LiveViewServices{connections_, players_, directory_},
                                                           view_, dir_ / "config.ini");
        controller_->LoadGroups();
    }
    int RecordId(int d, int c) { return Relaxed(directory_.Stored(d).channels[c].id); }
    void AddGroupOfChannels(const char* name, int device, std::vector<int> channels) {
        GroupView g;
        g.name = name;
        for (int c : channels) g.members.push_back({device, c});
        directory_.groups.push_back(g);
    }

    test::TempDir dir_;
    test::FakeDirectory directory_;
    test::FakeConnections connections_;
    test::FakePlayers players_;
    RecordingView view_;
    std::unique_ptr<LiveViewController> controller_;
};

TEST_F(LiveViewTest, DoubleClickReopensTheCellThatShowsTheChannelElseFillsTheSelectedOrFirstEmpty) {
    MakeSite(1, 16);
    Start();
    ASSERT_EQ(controller_->OpenChannelInCell(0, 5, 7), 0);
    view_.selected = 2;  // empty
    EXPECT_EQ(controller_->OpenFromTree(0, 5), 7);
    EXPECT_EQ(controller_->CellChannel(2), -1);
    // A new channel goes to the selected cell while it is empty...
    EXPECT_EQ(controller_->OpenFromTree(0, 6), 2);
    // ...and to the first empty cell once it is busy.
    EXPECT_EQ(controller_->OpenFromTree(0, 7), 0);
    EXPECT_EQ(controller_->screenMemory().channelIds[2], RecordId(0, 6));
    EXPECT_EQ(controller_->screenMemory().channelIds[0], RecordId(0, 7));
    EXPECT_EQ(view_.names[2], "CAM-C7") << "default device names follow the cell label rule";
}

TEST_F(LiveViewTest, AllCellsBusyOpensNothingAndWithoutTheRightNothingHappens) {
    MakeSite(1, 64);
    Start();
    for (int k = 0; k < kMaxCells; ++k) ASSERT_EQ(controller_->OpenChannelInCell(0, k, k), 0);
    EXPECT_EQ(controller_->OpenFromTree(0, 40), -1);
    EXPECT_EQ(controller_->CellOfChannel(0, 40), -1);
    view_.rights = false;
    controller_->CloseCell(-1);
    EXPECT_EQ(controller_->CellChannel(3), 3);
    EXPECT_EQ(controller_->OpenChannelInCell(0, 50, -1), -1);
}

TEST_F(LiveViewTest, GroupOfFortyFillsThirtySixCellsAndStepsSkipEmptyGroups) {
    MakeSite(1, 64);
    std::vector<int> forty;
    for (int c = 0; c < 40; ++c) forty.push_back(c);
    AddGroupOfChannels("Forty", 0, forty);
    AddGroupOfChannels("Empty", 0, {});
    AddGroupOfChannels("Two", 0, {60, 61});
    Start();
    ASSERT_EQ(controller_->groups().size(), 3u);
    ASSERT_TRUE(controller_->ShowGroup(0));
    for (int k = 0; k < kMaxCells; ++k) EXPECT_EQ(controller_->CellChannel(k), ChannelIdOf(0, k));
    EXPECT_EQ(controller_->CellOfChannel(0, 36), -1);
    EXPECT_FALSE(controller_->ShowGroup(1));
    EXPECT_EQ(controller_->currentGroup(), 0);
    // Next skips the empty group; the cells of the bigger group are closed.
    ASSERT_TRUE(controller_->StepGroup(+1));
    EXPECT_EQ(controller_->currentGroup(), 2);
    EXPECT_EQ(controller_->CellChannel(0), ChannelIdOf(0, 60));
    EXPECT_EQ(controller_->CellChannel(1), ChannelIdOf(0, 61));
    EXPECT_EQ(controller_->CellChannel(2), -1);
    EXPECT_FALSE(controller_->StepGroup(+1));
    ASSERT_TRUE(controller_->StepGroup(-1));
    EXPECT_EQ(controller_->currentGroup(), 0);
    // What a group showed comes back after a restart.
    EXPECT_EQ(LoadScreenMemory(dir_ / "config.ini").channelIds[35], RecordId(0, 35));
}

TEST_F(LiveViewTest, DropMovesAShownChannelAndSwapExchangesCellsAndTheMemoryFollows) {
    MakeSite(1, 16);
    Start();
    ASSERT_EQ(controller_->OpenFromTree(0, 1), 0);
    view_.selected = 5;
    ASSERT_EQ(controller_->OpenFromTree(0, 2), 5);
    // Dropped on the cell that already shows it: nothing.
    controller_->DropChannel(0, 2, 5);
    EXPECT_EQ(controller_->CellChannel(5), ChannelIdOf(0, 2));
    // Dropped on another cell: moved there, the old cell is empty.
    controller_->DropChannel(0, 2, 9);
    EXPECT_EQ(controller_->CellChannel(9), ChannelIdOf(0, 2));
    EXPECT_EQ(controller_->CellChannel(5), -1);
    ScreenMemory saved = LoadScreenMemory(dir_ / "config.ini");
    EXPECT_EQ(saved.channelIds[5], 0);
    EXPECT_EQ(saved.channelIds[9], RecordId(0, 2));
    EXPECT_EQ(view_.names[5], "");
    EXPECT_EQ(view_.strips[5].argb, kStripDefaultArgb);
    // Dropping an unshown channel onto a busy cell replaces it.
    controller_->DropChannel(0, 3, 0);
    EXPECT_EQ(controller_->CellChannel(0), ChannelIdOf(0, 3));
    EXPECT_EQ(controller_->CellOfChannel(0, 1), -1);
    // Swap with an empty cell.
    controller_->SwapCells(9, 4);
    EXPECT_EQ(controller_->CellChannel(4), ChannelIdOf(0, 2));
    EXPECT_EQ(controller_->CellChannel(9), -1);
    saved = LoadScreenMemory(dir_ / "config.ini");
    EXPECT_EQ(saved.channelIds[4], RecordId(0, 2));
    EXPECT_EQ(saved.channelIds[9], 0);
    controller_->DropChannel(0, 3, -1);  // outside the panel
    EXPECT_EQ(controller_->CellChannel(0), ChannelIdOf(0, 3));
}

TEST_F(LiveViewTest, RestoreReopensRememberedCellsEvenBeyondTheSplitAndClearsVanishedChannels) {
    MakeSite(2, 4);
    ScreenMemory memory{};
    memory.splitMode = 4;
    Start();
    memory.channelIds[30] = RecordId(1, 3);
    memory.channelIds[2] = 99999;  // a channel deleted since
    ASSERT_TRUE(SaveScreenMemory(dir_ / "config.ini", memory));
    EXPECT_EQ(controller_->LoadScreenMemory(), 4);
    controller_->RestoreCells();
    EXPECT_EQ(controller_->CellChannel(30), ChannelIdOf(1, 3));
    EXPECT_EQ(controller_->CellChannel(2), -1);
    EXPECT_EQ(LoadScreenMemory(dir_ / "config.ini").channelIds[2], 0);
    EXPECT_EQ(LoadScreenMemory(dir_ / "config.ini").channelIds[30], RecordId(1, 3));
}

TEST_F(LiveViewTest, UnknownRememberedSplitModeIsIgnored) {
    MakeSite(1, 1);
    Start();
    ScreenMemory memory{};
    memory.splitMode = 7;
    ASSERT_TRUE(SaveScreenMemory(dir_ / "config.ini", memory));
    EXPECT_EQ(controller_->LoadScreenMemory(), 0);
    controller_->OnSplitChosen(25);
    EXPECT_EQ(controller_->LoadScreenMemory(), 25);
}

TEST(DigitalZoomMath, DragsMapToPicturePixelsAndSmallDragsDoNotZoom) {
    // A 704 x 576 picture drawn into 400 x 300 with 20-pixel side margins.
    ZoomGeometry g{704, 576, 400, 300, 20, 0};
    QVXPlayRect r{};
    ASSERT_TRUE(ZoomRectInPicture(200, 100, 60, 250, g, &r));
    EXPECT_EQ(r.left, 40 * 704 / 360);
    EXPECT_EQ(r.right, 180 * 704 / 360);
    EXPECT_EQ(r.top, 100 * 576 / 300);
    EXPECT_EQ(r.bottom, 250 * 576 / 300);
    // Points in the margins and beyond the window are clipped to the picture.
    ASSERT_TRUE(ZoomRectInPicture(5, -40, 395, 900, g, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 704);
    EXPECT_EQ(r.bottom, 576);
    // A surface with no drawn width draws nothing.
    EXPECT_FALSE(ZoomRectInPicture(0, 0, 10, 10, ZoomGeometry{704, 576, 40, 30, 20, 0}, &r));
    EXPECT_FALSE(IsZoomDrag(0, 0, 10, 50));
    EXPECT_FALSE(IsZoomDrag(0, 0, 50, 10));
    EXPECT_TRUE(IsZoomDrag(50, 50, 39, 39));
}

TEST(DigitalZoomMath, FrameIsDrawnRedAndClippedToThePicture) {
    constexpr int w = 40, h = 30;
    std::vector<uint32_t> pixels(w * h, 0);
    QVXPlayDrawContext ctx{};
    ctx.planes[0] = reinterpret_cast<uint8_t*>(pixels.data());
    ctx.strides[0] = w * 4;
    ctx.pixelFormat = QVXPLAY_PIXEL_BGRA32;
    ctx.width = w;
    ctx.height = h;
    DrawZoomFrame(&ctx, 2, 5, 100, 20);  // the right edge lies beyond the picture
    EXPECT_EQ(pixels[5 * w + 2], 0xFFFF0000u);
    EXPECT_EQ(pixels[8 * w + 9], 0xFFFF0000u);  // 4-pixel pen, 8-pixel dashes
    EXPECT_EQ(pixels[5 * w + 12], 0u);          // the gap between two dashes
    EXPECT_EQ(pixels[9 * w + 6], 0u);
    EXPECT_EQ(pixels[12 * w + 20], 0u);         // no fill
    EXPECT_EQ(pixels[20 * w + 2], 0xFFFF0000u);
    EXPECT_EQ(pixels[17 * w + 3], 0xFFFF0000u);
    for (int y = 9; y < 17; ++y) EXPECT_EQ(pixels[y * w + w - 1], 0u) << "no right edge inside, row " << y;
}

TEST_F(LiveViewTest, ZoomReleaseOfATenByFiftyDragResetsTheRegion) {
    MakeSite(1, 1);
    Start();
    ASSERT_EQ(controller_->OpenChannelInCell(0, 0, 0), 0);
    controller_->SetZoomMode(true);
    view_.selected = 0;
    controller_->ZoomPress(0, 100, 100);
    EXPECT_EQ(controller_->zoom().ArmedCell(), 0);
    controller_->ZoomMove(1, 105, 105);  // from another cell: disarmed
    EXPECT_EQ(controller_->zoom().ArmedCell(), -1);
    controller_->ZoomPress(3, 10, 10);   // not the selected cell
    EXPECT_EQ(controller_->zoom().ArmedCell(), -1);
    controller_->ZoomPress(0, 100, 100);
    controller_->ZoomRelease(0, 110, 150);
    EXPECT_EQ(controller_->zoom().ArmedCell(), -1);
}

TEST_F(LiveViewTest, TemperatureMarksColourTheStripAndOtherCodesKeepIt) {
    MakeSite(1, 2);
    Start();
    controller_->SetTexts("Temperature normal", "Temperature abnormal");
    ASSERT_EQ(controller_->OpenChannelInCell(0, 1, 3), 0);
    EXPECT_EQ(view_.strips[3].text, "CAM-C2");
    controller_->SetTemperatureMark(ChannelIdOf(0, 1), TemperatureMark{19, 1594195200});
    controller_->RelabelChannel(0, 1);
    EXPECT_EQ(view_.strips[3].text, "CAM-C2 Temperature abnormal 2020-07-08 08:00:00");
    EXPECT_EQ(view_.strips[3].argb, kStripAbnormalArgb);
    controller_->SetTemperatureMark(ChannelIdOf(0, 1), TemperatureMark{2, 1594195300});  // not temperature
    controller_->RelabelChannel(0, 1);
    EXPECT_EQ(view_.strips[3].argb, kStripAbnormalArgb);
    controller_->SetTemperatureMark(ChannelIdOf(0, 1), TemperatureMark{18, 1594195260});
    controller_->RelabelChannel(0, 1);
    EXPECT_EQ(view_.strips[3].text, "CAM-C2 Temperature normal 2020-07-08 08:01:00");
    EXPECT_EQ(view_.strips[3].argb, kStripNormalArgb);
}

// What the core's events change on the page: the channels they name, the whole device, the
// temperature strips, the day counters and the tree.
class RecordingSink : public LiveViewEventSink {
public:
    void ChannelChanged(int device, int channel) override { calls.push_back("channel " + Pair(device, channel)); }
    void DeviceChanged(int device) override { calls.push_back("device " + std::to_string(device)); }
    void TemperatureRead(int channelId, const TemperatureMark& mark) override {
        calls.push_back("temperature " + std::to_string(channelId) + " " + std::to_string(mark.code) + " " +
                        std::to_string(mark.time));
    }
    void DayCountersChanged(int readings, int abnormal) override { calls.push_back("counters " + Pair(readings, abnormal)); }
    void ConfigurationChanged() override { calls.push_back("configuration"); }
    static std::string Pair(int a, int b) { return std::to_string(a) + "/" + std::to_string(b); }
    std::vector<std::string> calls;
};

TEST(LiveViewEvents, EachKindTheLiveViewSubscribesToReachesThePageAndOthersDoNot) {
    CoreEventHub hub;
    auto reader = hub.Subscribe(kLiveViewEventKinds);
    hub.Publish(ChannelStateChanged{ChannelIdOf(2, 5)});
    hub.Publish(RecordStateChanged{ChannelIdOf(0, 1), kRecordPlan});
    hub.Publish(DeviceStateChanged{3, kDeviceWrongPassword});
    AlarmEvent motion{1, 0, ChannelIdOf(1, 0), kEventMotionStart, 1594195200, ""};
    hub.Publish(motion);
    AlarmEvent reading{1, 0, ChannelIdOf(0, 0), kEventTemperatureAbnormal, 1594195200, "38.00"};
    hub.Publish(reading);
    hub.Publish(TemperatureCountersChanged{3, 1});
    hub.Publish(LogWritten{2, 14, -1, 0});          // not the live view's
    hub.Publish(DiskStateChanged{1, false});         // not the live view's
    hub.Publish(ConfigChanged{ConfigPart::kUsers, -1});   // accounts: nothing in the tree
    hub.Publish(ConfigChanged{ConfigPart::kGroups, 4});
    hub.Publish(ChannelStateChanged{-1});            // no channel: nothing
    std::vector<CoreEventHub::Event> events;
    EXPECT_EQ(reader->Read(&events), 0u);
    RecordingSink sink;
    for (const auto& e : events) RouteLiveViewEvent(e.payload, sink);
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"channel 2/5", "channel 0/1", "device 3", "channel 1/0",
                                                   "temperature 0 19 1594195200", "counters 3/1",
                                                   "configuration"}));
}

// The counters under the tree follow the engine's day totals: every change is announced once,
// the reset at midnight included, with no reading needed to bring it to the page.
TEST(LiveViewEvents, DayCountersFollowEveryReadingAndTheMidnightReset) {
    test::TempDir dir;
    ConfigStore store;  // no database: the engine reads no channel for a posted event
    RuntimeTable runtime;
    CoreEventHub hub;
    LogWriter log(dir.str());
    AlarmEngine alarms(store, runtime, log, nullptr, nullptr, &hub);
    auto reader = hub.Subscribe(kLiveViewEventKinds);
    RecordingSink sink;
    auto deliver = [&] {
        std::vector<CoreEventHub::Event> events;
        reader->Read(&events);
        for (const auto& e : events) RouteLiveViewEvent(e.payload, sink);
    };
    alarms.PostAlarmEvent(ChannelIdOf(0, 0), kEventTemperatureNormal, "36.50", 100, 0);
    alarms.PostAlarmEvent(ChannelIdOf(0, 1), kEventTemperatureAbnormal, "38.10", 101, 0);
    deliver();
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"temperature 0 18 100", "counters 1/0", "temperature 1 19 101",
                                                   "counters 2/1"}));
    sink.calls.clear();
    alarms.ResetDayCounters();  // what the status worker does when the date changes
    deliver();
    EXPECT_EQ(sink.calls, std::vector<std::string>{"counters 0/0"});
}

TEST(ChannelText, LabelsFollowTheNameDeviceNameAddressOrder) {
    auto dev = std::make_unique<DeviceInfo>();
    std::strcpy(dev->host, "10.0.0.9");
    dev->port = 8000;
    EXPECT_EQ(TreeChannelLabel(*dev, 2, kDeviceOnline), "10.0.0.9:8000-03");
    EXPECT_EQ(CellChannelLabel(*dev, 2), "10.0.0.9:8000-C3");
    std::strcpy(dev->name, "Lobby");
    EXPECT_EQ(TreeChannelLabel(*dev, 11, kDeviceOnline), "Lobby-C12");
    EXPECT_EQ(CellChannelLabel(*dev, 11), "Lobby-C12");
    EXPECT_EQ(CellChannelLabel(*dev, 0), "Lobby-C1");
    std::strcpy(dev->channels[0].name, "Gate");
    EXPECT_EQ(TreeChannelLabel(*dev, 0, kDeviceOnline), "Gate");
    EXPECT_EQ(TreeChannelLabel(*dev, 64, kDeviceOnline), "");
}

TEST(ChannelText, StateIconsFollowTheStreamRecordAlarmAndSound) {
    auto dev = std::make_unique<DeviceRuntime>();
    ChannelRuntime& c = dev->channels[0];
    EXPECT_EQ(ChannelStateIcons(c, {}), std::vector<int>{kIconChannelOff});
    c.channelOn = 1;
    EXPECT_EQ(ChannelStateIcons(c, {}), std::vector<int>{kIconChannelOn});
    c.mainStream = 7;
    EXPECT_EQ(ChannelStateIcons(c, {}), std::vector<int>{kIconConnecting});
    c.connectState = kStreamOpen;
    c.recordActive = 1;
    c.recordType = kRecordAlarm;
    c.alarmActive = kAlarmMotion;
    EXPECT_EQ(ChannelStateIcons(c, {true, true}),
              (std::vector<int>{kIconConnected, kIconRecordAlarm, kIconAlarm, kIconSound, kIconTalk}));
}

}  // namespace
}  // namespace ocv

namespace ocv {
namespace {

// The same rules on a real device service: real player ports, and a simulator where a test
// needs pictures.
class LiveViewE2E : public test::DeviceServiceTest {
protected:
    // Devices nobody answers: cells only attach players, nothing connects.
    void MakeSite(int devices, int channels) {
        for (int i = 0; i < devices; ++i) AddDevice("127.0.0.1", test::FreePort(), channels, "pw");
    }
    void Start() {
        StartService();
        for (int k = 0; k < kMaxCells; ++k)
            ASSERT_EQ(service_->players().CreatePlayer(k, NewSurface(32, 24)), 0);
        MakeController();
    }
    void MakeController(ThermalOpener::PostFn post = {}) {
        controller_ = std::make_unique<LiveViewController>(
            LiveViewServices{service_->connections(), service_->players(), service_->directory()}, view_,
            app_ / "config.ini", std::move(post));
        controller_->LoadGroups();
    }
    void TearDown() override {
        controller_.reset();
        test::DeviceServiceTest::TearDown();
    }
    // The decoders of cells 0..n-1: R runs, P paused, - takes no input.
    std::string Decoders(int n) {
        std::string out;
        for (int k = 0; k < n; ++k) {
            test::Decoder d = test::ProbeDecoder(service_->players().slot(k).port.load());
            out += d == test::Decoder::kRuns ? 'R' : d == test::Decoder::kPaused ? 'P' : '-';
        }
        return out;
    }
    // A group of channels first..first+count-1 of a device, written before Start.
    bool AddGroupOfChannels(const char* name, int device, int first, int count) {
        ConfigStore store;
        if (store.Open(app_ / "QVXVMS.dat") != 0) return false;
        store.LoadSettings();
        store.LoadDevices();
        store.LoadGroups();
        int groupId = 0;
        if (store.AddGroup(name, &groupId) != 0) return false;
        for (int c = first; c < first + count; ++c) {
            GroupMember m{0, 0, device, c};
            if (store.AddGroupMember(groupId, &m) != 0) return false;
        }
        return true;
    }

    RecordingView view_;
    std::unique_ptr<LiveViewController> controller_;
};

// Sixteen channels of a simulated NVR opened into cells whose surfaces all differ in size.
TEST_F(LiveViewE2E, SixteenCellsPlayAtTheirOwnSizeAndSplitFourStopsTheRest) {
    test::DevsimProcess sim;
    test::WriteText(sim.dir() / "site.ini",
                    "[site]\nloop_frames=50\n[device]\nname=NVR\ntype=NVR\nuser=admin\npassword=pw\n"
                    "channels=16\nmain=96x64@32\nsub=off\nkey_interval=25\n");
    std::string error;
    ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
    AddDevice("127.0.0.1", sim.device(0).port, 16, "pw");
    StartService();
    std::vector<test::CountingSurface*> surfaces;
    for (int k = 0; k < 16; ++k) {
        surfaces.push_back(NewSurface(40 + 2 * k, 30 + k));
        ASSERT_EQ(service_->players().CreatePlayer(k, surfaces.back()), 0);
    }
    MakeController();
    service_->connections().StartDeviceThread(0);
    controller_->SetPageHidden(false, 16);
    controller_->OnSplitChosen(16);
    for (int k = 0; k < 16; ++k) ASSERT_EQ(controller_->OpenChannelInCell(0, k, k), 0);
    auto all = [&](int from, int to, int atLeast) {
        for (int i = from; i < to; ++i)
            if (surfaces[i]->pictures.load() < atLeast) return false;
        return true;
    };
    ASSERT_TRUE(test::WaitUntil([&] { return all(0, 16, 3); }, 30000)) << sim.log();
    for (int k = 0; k < 16; ++k) EXPECT_EQ(surfaces[k]->lastWidth.load(), 40 + 2 * k) << "cell " << k;

    controller_->OnSplitChosen(4);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // pictures already decoding drain
    std::vector<int> before;
    for (auto* s : surfaces) before.push_back(s->pictures.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    for (int k = 4; k < 16; ++k) EXPECT_EQ(surfaces[k]->pictures.load(), before[k]) << "cell " << k;
    for (int k = 0; k < 4; ++k) EXPECT_GT(surfaces[k]->pictures.load(), before[k]) << "cell " << k;
    // A hidden page decodes nothing at all.
    controller_->SetPageHidden(true, 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int k = 0; k < 16; ++k) before[k] = surfaces[k]->pictures.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    for (int k = 0; k < 4; ++k) EXPECT_EQ(surfaces[k]->pictures.load(), before[k]) << "cell " << k;
    service_->connections().StopDeviceThread(0);
}

}  // namespace
}  // namespace ocv

namespace ocv {
namespace {

// A screening camera with the thermal flag shows its thermal picture in the cell's inset once it
// is logged in, even when the cell was opened before; closing the cell stops it.
TEST_F(LiveViewE2E, ThermalInsetOpensOnceTheDeviceIsUpAndClosesWithTheCell) {
    test::DevsimProcess sim;
    test::WriteText(sim.dir() / "site.ini",
                    "[site]\nloop_frames=50\n[device]\nname=SCREEN\ntype=IPC\nfirmware=V27.1.0 build 20260101\n"
                    "user=admin\npassword=pw\nchannels=1\nmain=160x96@200\nsub=96x64@64\nkey_interval=25\n");
    std::string error;
    ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
    AddDevice("127.0.0.1", sim.device(0).port, 1, "pw");
    Start();
    std::vector<std::tuple<int, intptr_t, intptr_t>> posts;
    std::mutex postsMutex;
    MakeController([&](int m, intptr_t w, intptr_t l) {
        std::lock_guard lock(postsMutex);
        posts.emplace_back(m, w, l);
    });
    SetRelaxed(service_->store().device(0).thermalFlag, 1);
    ASSERT_EQ(controller_->OpenChannelInCell(0, 0, 5), 0);
    EXPECT_FALSE(view_.insets[5]) << "support not known yet: no inset";
    // Known to support it but not logged in: the open fails on the opener's thread and the
    // page is told, which takes the empty inset away again.
    service_->runtime().device(0).thermalCapable = 1;
    controller_->OpenInset(5);
    EXPECT_TRUE(view_.insets[5]);
    controller_->thermal().Flush();
    {
        std::lock_guard lock(postsMutex);
        ASSERT_EQ(posts.size(), 1u);
        EXPECT_EQ(posts[0], std::make_tuple(kMsgInsetFailed, intptr_t{5}, intptr_t{0}));
    }
    controller_->OnInsetOpenFailed(5, 0);
    EXPECT_FALSE(view_.insets[5]);
    service_->runtime().device(0).thermalCapable = 0;
    service_->connections().StartDeviceThread(0);
    // The page retries when the device is announced online; support is known by then (the
    // probe runs during the login). Retrying on support alone raced the end of the login.
    const DeviceRuntime& rt = service_->runtime().device(0);
    ASSERT_TRUE(test::WaitUntil(
        [&] { return rt.deviceState.load() == kDeviceOnline && rt.thermalCapable.load() == 1; }, 20000));
    controller_->RetryInsets(0);
    EXPECT_TRUE(view_.insets[5]);
    // A loaded machine may see the login lost and made again meanwhile, which ends the thermal
    // stream; the page opens it again when the device is announced online, and so does this.
    ASSERT_TRUE(test::WaitUntil([&] {
        if (rt.thermalStream.load() == 0 && rt.deviceState.load() == kDeviceOnline) controller_->RetryInsets(0);
        return view_.inset.pictures.load() >= 2;
    }, 20000))
        << "pictures " << view_.inset.pictures.load() << ", stream " << rt.thermalStream.load() << ", state "
        << rt.deviceState.load() << ", page messages " << [&] {
               std::lock_guard lock(postsMutex);
               return posts.size();
           }() << "\n" << sim.log();
    controller_->CloseCell(5);
    EXPECT_FALSE(view_.insets[5]);
    controller_->thermal().Flush();
    EXPECT_EQ(service_->runtime().device(0).thermalStream.load(), 0);
    service_->connections().StopDeviceThread(0);
}

}  // namespace
}  // namespace ocv

namespace ocv {
namespace {

// With CONNECT on, every configured channel is connected at start, none beyond a device's
// channels; with it off, none.
TEST_F(LiveViewTest, ConnectAtStartTakesEveryConfiguredChannelOnlyWhenAsked) {
    MakeSite(2, 3);
    EXPECT_TRUE(ChannelsToConnectAtStart(directory_, false).empty());
    std::vector<std::pair<int, int>> got;
    for (const auto& c : ChannelsToConnectAtStart(directory_, true)) got.push_back({c.device, c.channel});
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}}));
}

// The restore worker connects the channels it is given before it lets the page reopen the
// remembered cells; given none, only the page's message comes.
TEST_F(LiveViewTest, RestoreWorkerConnectsTheChannelsItIsGivenAndThenLetsThePageRestore) {
    std::atomic<int> restores{0};
    auto post = [&](int message, intptr_t, intptr_t) {
        if (message == kMsgRestoreCells) ++restores;
    };
    {
        RestoreWorker worker(connections_, post);
        worker.Start({}, std::chrono::milliseconds(0));
        ASSERT_TRUE(test::WaitUntil([&] { return restores.load() == 1; }, 5000));
        worker.Stop();
        EXPECT_TRUE(connections_.Connects().empty());
    }
    RestoreWorker worker(connections_, post);
    worker.Start({{0, 0}, {0, 2}, {1, 1}}, std::chrono::milliseconds(0));
    ASSERT_TRUE(test::WaitUntil([&] { return restores.load() == 2; }, 5000));
    EXPECT_EQ(connections_.Connects(), (std::vector<std::pair<int, int>>{{0, 0}, {0, 2}, {1, 1}}));
    worker.Stop();
    // Stopping twice, and a worker stopped before its delay, are both quiet.
    worker.Stop();
    RestoreWorker early(connections_, post);
    early.Start({{5, 5}}, std::chrono::milliseconds(60000));
    early.Stop();
    EXPECT_EQ(restores.load(), 2);
    EXPECT_EQ(connections_.Connects().size(), 3u);
}

}  // namespace
}  // namespace ocv

namespace ocv {
namespace {

// Nine cells play; maximising one pauses the rest. Choosing a split ends the maximised state
// (the panel does that), and every cell of the new split decodes again, also those below the
// old split's count and those a group opens afterwards.
TEST_F(LiveViewE2E, ChoosingASplitWhileMaximisedResumesEveryVisibleCell) {
    MakeSite(1, 16);
    ASSERT_TRUE(AddGroupOfChannels("Nine", 0, 7, 9));
    Start();
    controller_->SetPageHidden(false, 9);
    controller_->OnSplitChosen(9);
    for (int k = 0; k < 9; ++k) ASSERT_EQ(controller_->OpenChannelInCell(0, k, k), 0);
    EXPECT_EQ(Decoders(9), "RRRRRRRRR");
    controller_->OnMaximizeChanged(4, true, 9);
    EXPECT_EQ(controller_->maximizedCell(), 4);
    EXPECT_EQ(Decoders(9), "PPPPRPPPP");
    // To fewer cells.
    controller_->OnSplitChosen(4);
    EXPECT_EQ(controller_->maximizedCell(), -1);
    EXPECT_EQ(Decoders(4), "RRRR");
    // To more cells: those below the old count come back too, not only the added ones.
    controller_->OnMaximizeChanged(1, true, 4);
    EXPECT_EQ(Decoders(4), "PRPP");
    controller_->OnSplitChosen(9);
    EXPECT_EQ(Decoders(9), "RRRRRRRRR");
    // A group shown after a maximise and a split choice plays in every cell.
    controller_->OnMaximizeChanged(2, true, 9);
    controller_->OnSplitChosen(16);
    ASSERT_TRUE(controller_->ShowGroup(0));
    EXPECT_EQ(controller_->CellChannel(8), ChannelIdOf(0, 15));
    EXPECT_EQ(Decoders(9), "RRRRRRRRR");
}

// Showing the page again resumes the whole grid; a cell that is still maximised keeps the
// others paused until it is restored.
TEST_F(LiveViewE2E, PageShownAgainWhileMaximisedKeepsTheOtherCellsPaused) {
    MakeSite(1, 4);
    Start();
    controller_->SetPageHidden(false, 4);
    controller_->OnSplitChosen(4);
    for (int k = 0; k < 4; ++k) ASSERT_EQ(controller_->OpenChannelInCell(0, k, k), 0);
    controller_->OnMaximizeChanged(2, true, 4);
    EXPECT_EQ(Decoders(4), "PPRP");
    controller_->SetPageHidden(true, 4);
    controller_->SetPageHidden(false, 4);
    EXPECT_EQ(Decoders(4), "PPRP");
    controller_->OnMaximizeChanged(2, false, 4);
    EXPECT_EQ(controller_->maximizedCell(), -1);
    EXPECT_EQ(Decoders(4), "RRRR");
    controller_->SetPageHidden(true, 4);
    controller_->SetPageHidden(false, 4);
    EXPECT_EQ(Decoders(4), "RRRR");
}

}  // namespace
}  // namespace ocv
