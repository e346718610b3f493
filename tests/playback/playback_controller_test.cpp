// The playback page's rules against fakes of its players, a device's recordings and its
// windows: dropping channels, playing file after file, seeking from the time line, the
// transport and its speed levels, captures, remote mode, sync, zoom and the keyboard's jumps.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/clock.h"
#include "backup/snapshot.h"
#include "events/log_file_reader.h"
#include "events/log_writer.h"
#include "platform/app_dir.h"
#include "record/index_file.h"
#include "store/text_field.h"
#include "tests/playback/playback_fakes.h"
#include "tests/support/temp_dir.h"
#include "widgets/user_session.h"

namespace ocv::playback {
namespace {

namespace fs = std::filesystem;
using test::FakePlaybackView;
using test::FakeWindowPlayers;
using test::FakeRemote;

IndexRecord Index(int h, int m, int s, int type, uint32_t duration) {
    IndexRecord r{};
    r.startHour = static_cast<uint16_t>(h);
    r.startMinute = static_cast<uint16_t>(m);
    r.startSecond = static_cast<uint16_t>(s);
    r.recordType = static_cast<uint16_t>(type);
    r.durationSeconds = duration;
    return r;
}

constexpr Date kDay{2020, 7, 8};

class PlaybackControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetAppDir(dir_.str());
        fs::create_directories(dir_ / "D");
        fs::create_directories(dir_ / "E");
        fs::create_directories(dir_ / "Logx");
        test::WriteText(dir_ / "config.ini", "[DRIVES]\nD=" + (dir_ / "D") + "\nE=" + (dir_ / "E") + "\n");
        device_ = directory_.AddDevice("10.0.0.5", 5000, 4);
        CopyText(directory_.Stored(device_).name, "Gate");
        SetClockForTesting(2020, 7, 8, 12, 0, 0);
        controller_ = std::make_unique<PlaybackController>(
            PlaybackServices{players_, remote_, directory_, zoom_, &log_, [this] { return settings_; },
                             [this] { return Drives(); }},
            view_, [this](int m, intptr_t w, intptr_t l) { posted_.push_back({m, w, l}); },
            PlaybackOptions{true, 0, 0, 3});
    }
    void TearDown() override {
        controller_.reset();
        SetClockSourceForTesting(nullptr);
        RenewClockSnapshot();
        SetAppDir("");
    }
    std::vector<DriveDir> Drives() { return {DriveDir{1, dir_ / "D"}, DriveDir{2, dir_ / "E"}}; }
    std::string Folder(const std::string& drive, int channel = 1) {
        std::string f = dir_ / (drive + "/QVXFile/2020_07_08/10.0.0.5-5000-" + std::to_string(channel));
        fs::create_directories(f);
        return f;
    }
    void Record(const std::string& drive, const IndexRecord& r, int channel = 1) {
        ASSERT_GE(AppendIndexRecord(Folder(drive, channel) + "/images.fi", r), 0);
    }
    std::string FileOf(const std::string& drive, const char* name, int channel = 1) {
        return Folder(drive, channel) + "/" + name;
    }
    // A day of channel 1: 10:00 (600 s, plan, D), 10:20 (60 s, alarm, E), 11:00 (300 s, plan, D).
    void TypicalDay() {
        Record("D", Index(10, 0, 0, 3, 600));
        Record("E", Index(10, 20, 0, 2, 60));
        Record("D", Index(11, 0, 0, 3, 300));
    }
    void OpenWindow0() {
        controller_->ChooseDay(kDay);
        controller_->DropChannel(device_, 0, 0);
    }
    const FakeWindowPlayers::Open& LastOpen() { return players_.opens.back(); }

    test::TempDir dir_;
    test::FakeDirectory directory_;
    FakeWindowPlayers players_;
    FakeRemote remote_;
    FakePlaybackView view_;
    DigitalZoom zoom_;
    LogWriter log_{dir_ / "Logx"};
    SystemSettings settings_{};
    std::vector<std::tuple<int, intptr_t, intptr_t>> posted_;
    int device_ = 0;
    std::unique_ptr<PlaybackController> controller_;
};

TEST_F(PlaybackControllerTest, DroppingAChannelListsItsDayAndPlaysTheFirstFile) {
    TypicalDay();
    OpenWindow0();
    EXPECT_EQ(controller_->WindowChannel(0), ChannelIdOf(device_, 0));
    ASSERT_EQ(controller_->WindowList(0).size(), 3u);
    EXPECT_EQ(view_.titles[0], "10.0.0.5:5000-1 Gate");
    ASSERT_EQ(players_.opens.size(), 1u);
    EXPECT_EQ(LastOpen().path, FileOf("D", "PREC200708_100000.qvx"));
    EXPECT_EQ(LastOpen().percent, 0);
    EXPECT_EQ(players_.state[LastOpen().port], QVXPLAY_STATE_PLAYING);
    EXPECT_FALSE(view_.paused[0]);
    EXPECT_TRUE(controller_->IsPlaying(0));
}

TEST_F(PlaybackControllerTest, AChannelPlaysInOneWindowOnly) {
    TypicalDay();
    OpenWindow0();
    const size_t opens = players_.opens.size();
    controller_->DropChannel(device_, 0, 2);
    ASSERT_EQ(view_.notices.size(), 1u);
    EXPECT_EQ(view_.notices[0], "Playback channel has been opened");
    EXPECT_EQ(controller_->WindowChannel(2), -1);
    EXPECT_EQ(players_.opens.size(), opens);
    // Dropped again on its own window, it starts again from the window's first recording.
    players_.opens.clear();
    controller_->DropChannel(device_, 0, 0);
    ASSERT_EQ(players_.opens.size(), 1u);
    EXPECT_EQ(LastOpen().path, FileOf("D", "PREC200708_100000.qvx"));
    // Without the right nothing happens.
    view_.refused.insert(kRightPlayback);
    controller_->DropChannel(device_, 1, 1);
    EXPECT_EQ(controller_->WindowChannel(1), -1);
}

TEST_F(PlaybackControllerTest, ADayPlaysFileAfterFileAndTheLastEndLeavesThePicturePaused) {
    TypicalDay();
    OpenWindow0();
    const int port = controller_->Port(0);
    controller_->OnFileEnded(0, port);
    EXPECT_EQ(LastOpen().path, FileOf("E", "AREC200708_102000.qvx"));
    EXPECT_EQ(controller_->Port(0), port) << "the window keeps its port from file to file";
    controller_->OnFileEnded(0, port + 1000);  // another port's end: old news
    EXPECT_EQ(players_.opens.size(), 2u);
    controller_->OnFileEnded(0, port);
    EXPECT_EQ(LastOpen().path, FileOf("D", "PREC200708_110000.qvx"));
    // The end of the last file: the player waits paused on its last picture.
    players_.state[port] = QVXPLAY_STATE_PAUSED;
    const int stops = players_.stops, closes = players_.closes, clears = view_.clears[0];
    controller_->OnFileEnded(0, port);
    EXPECT_EQ(players_.opens.size(), 3u);
    EXPECT_TRUE(view_.paused[0]);
    EXPECT_EQ(players_.stops, stops) << "the last picture stays";
    EXPECT_EQ(players_.closes, closes);
    EXPECT_EQ(view_.clears[0], clears);
    EXPECT_EQ(controller_->PlayState(0), QVXPLAY_STATE_PAUSED);
}

TEST_F(PlaybackControllerTest, AFileThatWillNotOpenIsSkippedForTheNext) {
    TypicalDay();
    players_.failPaths.insert(FileOf("D", "PREC200708_100000.qvx"));
    OpenWindow0();
    ASSERT_EQ(players_.opens.size(), 2u);
    EXPECT_EQ(LastOpen().path, FileOf("E", "AREC200708_102000.qvx"));
    EXPECT_EQ(players_.destroyed.size(), 1u) << "the port of the failed open went back to the pool";
    EXPECT_EQ(players_.created.size(), 2u);
    EXPECT_FALSE(view_.paused[0]);
    // Nothing opens at all: the window stays paused.
    controller_->Close(0);
    players_.failPaths.insert(FileOf("E", "AREC200708_102000.qvx"));
    players_.failPaths.insert(FileOf("D", "PREC200708_110000.qvx"));
    OpenWindow0();
    EXPECT_TRUE(view_.paused[0]);
    EXPECT_FALSE(controller_->IsPlaying(0));
}

TEST_F(PlaybackControllerTest, ATimelineClickOpensTheFileAtTheClickedTime) {
    TypicalDay();
    OpenWindow0();
    // 10:04:10 lies 250 s into the 600 s file at 10:00: p = 250 x 100 / 600 = 41.
    controller_->TimelineClick(0, 10 * 3600 + 250);
    EXPECT_EQ(LastOpen().path, FileOf("D", "PREC200708_100000.qvx"));
    EXPECT_EQ(LastOpen().percent, 41);
    EXPECT_EQ(players_.state[LastOpen().port], QVXPLAY_STATE_PLAYING);
    EXPECT_EQ(controller_->timeline().cursor(), 10 * 3600 + 250);
    // In the gap after 10:21 the next recording plays from its start.
    controller_->TimelineClick(0, 10 * 3600 + 30 * 60);
    EXPECT_EQ(LastOpen().path, FileOf("D", "PREC200708_110000.qvx"));
    EXPECT_EQ(LastOpen().percent, 0);
    // The next file after a seek is the one after the seeked one.
    controller_->TimelineClick(0, 10 * 3600 + 20 * 60 + 30);
    EXPECT_EQ(LastOpen().percent, 50);
    controller_->OnFileEnded(0, controller_->Port(0));
    EXPECT_EQ(LastOpen().path, FileOf("D", "PREC200708_110000.qvx"));
    // After the day's last recording: nothing, the window is cleared and paused.
    const size_t opens = players_.opens.size();
    const int clears = view_.clears[0];
    controller_->TimelineClick(0, 12 * 3600);
    EXPECT_EQ(players_.opens.size(), opens);
    EXPECT_EQ(view_.clears[0], clears + 1);
    EXPECT_TRUE(view_.paused[0]);
    // Out-of-range windows and times are ignored.
    controller_->TimelineClick(4, 100);
    controller_->TimelineClick(0, 86401);
    controller_->TimelineClick(0, -5);
    EXPECT_EQ(players_.opens.size(), opens);
}

TEST_F(PlaybackControllerTest, SpeedLevelsStopAtFourAndMinusThree) {
    TypicalDay();
    OpenWindow0();
    const int port = controller_->Port(0);
    for (int i = 0; i < 6; ++i) controller_->Fast(0);
    EXPECT_EQ(controller_->SpeedLevel(0), 4);
    EXPECT_EQ(players_.rate[port], 4);
    controller_->Normal(0);
    EXPECT_EQ(controller_->SpeedLevel(0), 0);
    EXPECT_EQ(players_.rate[port], 0);
    for (int i = 0; i < 5; ++i) controller_->Slow(0);
    EXPECT_EQ(controller_->SpeedLevel(0), -3);
    EXPECT_EQ(players_.rate[port], -3);
    // The level goes on with the next file of the day.
    controller_->OnFileEnded(0, port);
    EXPECT_EQ(players_.rate[port], -3);
    // A window that plays nothing ignores speed requests.
    controller_->Fast(1);
    EXPECT_EQ(controller_->SpeedLevel(1), 0);
    controller_->Stop(0);
    controller_->Fast(0);
    EXPECT_EQ(controller_->SpeedLevel(0), -3);
}

TEST_F(PlaybackControllerTest, TransportPausesResumesStepsStopsAndCloses) {
    TypicalDay();
    OpenWindow0();
    const int port = controller_->Port(0);
    controller_->Pause(-1);  // the selected window
    EXPECT_EQ(players_.state[port], QVXPLAY_STATE_PAUSED);
    EXPECT_TRUE(view_.paused[0]);
    controller_->Play(0);
    EXPECT_EQ(players_.state[port], QVXPLAY_STATE_PLAYING);
    EXPECT_FALSE(view_.paused[0]);
    EXPECT_EQ(players_.opens.size(), 1u) << "a paused window resumes, it does not open again";
    controller_->Frame(0);
    controller_->Frame(0);
    EXPECT_EQ(players_.steps, 2);
    EXPECT_EQ(players_.state[port], QVXPLAY_STATE_PAUSED);
    controller_->Stop(0);
    EXPECT_EQ(players_.state[port], QVXPLAY_STATE_NONE);
    EXPECT_FALSE(controller_->IsPlaying(0));
    controller_->Frame(0);
    EXPECT_EQ(players_.steps, 2) << "no file, no step";
    // Play after a stop opens the next recording of the list.
    controller_->Play(0);
    EXPECT_EQ(LastOpen().path, FileOf("E", "AREC200708_102000.qvx"));
    controller_->ToggleSound(0);
    EXPECT_TRUE(players_.sound[port]);
    controller_->ToggleDisplay(0);
    EXPECT_EQ(players_.display[port], QVXPLAY_DISPLAY_KEEP);
    controller_->Close(0);
    EXPECT_EQ(controller_->WindowChannel(0), -1);
    EXPECT_EQ(controller_->Port(0), 0);
    EXPECT_EQ(players_.destroyed.back(), port);
    EXPECT_EQ(view_.titles[0], "");
}

TEST_F(PlaybackControllerTest, CapturesAreNumberedAcrossTheSecondAndWrapAfter99) {
    TypicalDay();
    OpenWindow0();
    std::snprintf(settings_.PHOTOPATH, sizeof settings_.PHOTOPATH, "D:\\pics");
    settings_.PHOTOTYPE = 0;
    backup::ResetSnapshotSequenceForTesting();
    const std::string folder = dir_ / "D/pics/QVXPhotoPB/2020_07_08/10.0.0.5-5000-C1";
    for (int i = 0; i < 100; ++i) ASSERT_EQ(controller_->Capture(0), 0) << i;
    EXPECT_TRUE(fs::exists(folder + "/PB20070812000000.jpg"));
    EXPECT_TRUE(fs::exists(folder + "/PB20070812000099.jpg"));
    fs::remove(folder + "/PB20070812000000.jpg");
    ASSERT_EQ(controller_->Capture(0), 0);
    EXPECT_TRUE(fs::exists(folder + "/PB20070812000000.jpg")) << "the 101st capture is numbered 00 again";
    size_t files = 0;
    for (auto& e : fs::directory_iterator(folder)) files += e.is_regular_file();
    EXPECT_EQ(files, 100u);
    // Each capture wrote "Playback capture" to the operation log.
    LogFileReader reader(log_.Directory() + "/" + LogFileName(kLogOperate, clockSnapshot().time));
    ASSERT_TRUE(reader.IsOpen());
    int entries = 0;
    LogRecord r{};
    while (reader.Next(&r)) {
        EXPECT_EQ(r.subtype, kLogPlaybackCapture);
        EXPECT_STREQ(r.user, "admin");
        ++entries;
    }
    EXPECT_EQ(entries, 101);
}

TEST_F(PlaybackControllerTest, CaptureNeedsAPictureAndAPhotoPath) {
    TypicalDay();
    std::snprintf(settings_.PHOTOPATH, sizeof settings_.PHOTOPATH, "D:\\pics\\");
    EXPECT_EQ(controller_->Capture(0), -1) << "an empty window";
    OpenWindow0();
    controller_->Stop(0);
    EXPECT_EQ(controller_->Capture(0), -1) << "a stopped window";
    controller_->Play(0);
    settings_.PHOTOPATH[0] = '\0';
    EXPECT_EQ(controller_->Capture(0), -1) << "no photo path";
    std::snprintf(settings_.PHOTOPATH, sizeof settings_.PHOTOPATH, "D:\\pics\\");
    settings_.PHOTOTYPE = 2;
    EXPECT_EQ(controller_->Capture(0), 0);
    bool bitmap = false;
    for (auto& e : fs::recursive_directory_iterator(dir_ / "D/pics")) bitmap |= e.path().extension() == ".bmp";
    EXPECT_TRUE(bitmap);
}

TEST_F(PlaybackControllerTest, TheTypeFilterSearchesAgainAndKeepsTheFilePlaying) {
    TypicalDay();
    OpenWindow0();
    controller_->OnFileEnded(0, controller_->Port(0));  // the alarm file at 10:20 plays
    const size_t opens = players_.opens.size();
    controller_->SetTypeFilter(3);
    ASSERT_EQ(controller_->WindowList(0).size(), 2u);
    for (const RecordEntry& e : controller_->WindowList(0)) EXPECT_EQ(e.type, 3);
    EXPECT_EQ(players_.opens.size(), opens) << "the file playing goes on";
    controller_->OnFileEnded(0, controller_->Port(0));
    EXPECT_EQ(LastOpen().path, FileOf("D", "PREC200708_110000.qvx"));
}

TEST_F(PlaybackControllerTest, ChoosingADaySearchesEveryWindowAndMarksTheMonth) {
    TypicalDay();
    OpenWindow0();
    fs::create_directories(dir_ / "E/QVXFile/2020_07_31");
    fs::create_directories(dir_ / "D/QVXFile/2020_08_02");
    controller_->ChooseDay(Date{2020, 7, 9});
    EXPECT_TRUE(controller_->WindowList(0).empty());
    EXPECT_EQ(controller_->WindowChannel(0), ChannelIdOf(device_, 0)) << "the window keeps its channel";
    EXPECT_TRUE(view_.paused[0]);
    EXPECT_TRUE(controller_->dayMarks()[8]);
    EXPECT_TRUE(controller_->dayMarks()[31]);
    EXPECT_FALSE(controller_->dayMarks()[2]);
    controller_->ChooseDay(kDay);
    EXPECT_EQ(controller_->WindowList(0).size(), 3u);
    EXPECT_FALSE(view_.paused[0]);
}

TEST_F(PlaybackControllerTest, SyncSeeksAndPausesEveryWindowTogether) {
    TypicalDay();
    Record("D", Index(10, 0, 0, 3, 600), 2);
    OpenWindow0();
    controller_->DropChannel(device_, 1, 1);
    controller_->SetSync(true);
    players_.opens.clear();
    controller_->TimelineClick(1, 10 * 3600 + 300);
    ASSERT_EQ(players_.opens.size(), 2u);
    EXPECT_EQ(players_.opens[0].percent, 50);
    EXPECT_EQ(players_.opens[1].percent, 50);
    controller_->Pause(0);
    EXPECT_EQ(controller_->PlayState(0), QVXPLAY_STATE_PAUSED);
    EXPECT_EQ(controller_->PlayState(1), QVXPLAY_STATE_PAUSED);
    controller_->Play(0);
    // Window 1 drifted 20 s behind window 0: the next tick brings it back.
    players_.playedMs[controller_->Port(0)] = 320 * 1000;
    players_.playedMs[controller_->Port(1)] = 300 * 1000;
    players_.opens.clear();
    controller_->Tick();
    ASSERT_EQ(players_.opens.size(), 1u);
    EXPECT_EQ(players_.opens[0].path, FileOf("D", "PREC200708_100000.qvx", 2));
    EXPECT_EQ(players_.opens[0].percent, 53);
    // Without sync a click moves only its own window.
    controller_->SetSync(false);
    players_.opens.clear();
    controller_->TimelineClick(1, 10 * 3600 + 60);
    EXPECT_EQ(players_.opens.size(), 1u);
}

TEST_F(PlaybackControllerTest, TheCursorFollowsTheSelectedWindowsTime) {
    TypicalDay();
    OpenWindow0();
    players_.playedMs[controller_->Port(0)] = 125 * 1000;
    controller_->Tick();
    EXPECT_EQ(controller_->timeline().cursor(), 10 * 3600 + 125);
    // Zoomed to the hour before: the view follows the cursor once it was in view.
    controller_->timeline().SetView(540, 5);
    controller_->timeline().SetCursor(9 * 3600 + 59 * 60);
    controller_->Tick();
    EXPECT_LE(controller_->timeline().viewStart() * 60, 10 * 3600 + 125);
    EXPECT_GT((controller_->timeline().viewStart() + 60) * 60, 10 * 3600 + 125);
}

TEST_F(PlaybackControllerTest, ArrowsJumpTenSecondsOrStepWhilePaused) {
    TypicalDay();
    OpenWindow0();
    players_.playedMs[controller_->Port(0)] = 100 * 1000;
    controller_->Jump(0, +kJumpSeconds);
    EXPECT_EQ(LastOpen().percent, 18);  // 110 of 600 s
    players_.playedMs[controller_->Port(0)] = 110 * 1000;
    controller_->Jump(0, -kJumpSeconds);
    EXPECT_EQ(LastOpen().percent, 16);  // 100 s
    controller_->Pause(0);
    const size_t opens = players_.opens.size();
    controller_->Jump(0, +kJumpSeconds);
    EXPECT_EQ(players_.steps, 1);
    EXPECT_EQ(players_.opens.size(), opens);
}

TEST_F(PlaybackControllerTest, TheHoverPreviewPicksTheCoveringFileAndPercentage) {
    TypicalDay();
    OpenWindow0();
    std::string path;
    int percent = -1;
    ASSERT_TRUE(controller_->PreviewTarget(0, 11 * 3600 + 150, &path, &percent));
    EXPECT_EQ(path, FileOf("D", "PREC200708_110000.qvx"));
    EXPECT_EQ(percent, 50);
    EXPECT_FALSE(controller_->PreviewTarget(0, 10 * 3600 + 30 * 60, &path, &percent)) << "a gap";
    EXPECT_FALSE(controller_->PreviewTarget(1, 11 * 3600, &path, &percent)) << "an empty window";
    EXPECT_FALSE(controller_->PreviewTarget(-1, 11 * 3600, &path, &percent));
}

TEST_F(PlaybackControllerTest, ClipModeEditsTheRangeAndTheBackupTakesIt) {
    TypicalDay();
    OpenWindow0();
    controller_->SetClipMode(true);
    const size_t opens = players_.opens.size();
    controller_->TimelineClick(0, 36100);
    controller_->TimelineClick(0, 36500);
    EXPECT_EQ(players_.opens.size(), opens) << "clicks in clip mode do not seek";
    BackupRequest r = controller_->MakeBackupRequest(false);
    EXPECT_EQ(r.channelId, ChannelIdOf(device_, 0));
    EXPECT_EQ(r.startSecond, 36100);
    EXPECT_EQ(r.endSecond, 36500);
    EXPECT_EQ(r.date, kDay);
    controller_->TimelineClick(2, 40000);  // a row without a channel
    EXPECT_FALSE(controller_->clip().IsSet());
    r = controller_->MakeBackupRequest(true);
    EXPECT_EQ(r.startSecond, 0);
    EXPECT_EQ(r.endSecond, kSecondsPerDay - 1);
    EXPECT_TRUE(r.download);
}

TEST_F(PlaybackControllerTest, ZoomDragBecomesTheRegionInPicturePixels) {
    TypicalDay();
    OpenWindow0();
    const int port = controller_->Port(0);
    // The player drew a 1920 x 1080 picture stretched over a 480 x 270 window.
    uint32_t pixels[4] = {};
    QVXPlayDrawContext ctx{{reinterpret_cast<uint8_t*>(pixels), nullptr, nullptr}, {8, 0, 0}, QVXPLAY_PIXEL_BGRA32, 2, 2};
    zoom_.Overlay(0, &ctx, ZoomGeometry{1920, 1080, 480, 270, 0, 0});
    controller_->SetZoomMode(true);
    controller_->ZoomPress(0, 120, 60);
    controller_->ZoomMove(0, 240, 135);
    controller_->ZoomRelease(0, 240, 135);
    EXPECT_EQ(players_.regions[port].left, 480);
    EXPECT_EQ(players_.regions[port].top, 240);
    EXPECT_EQ(players_.regions[port].right, 960);
    EXPECT_EQ(players_.regions[port].bottom, 540);
    // A click without a drag shows the whole picture again.
    controller_->ZoomPress(0, 10, 10);
    controller_->ZoomRelease(0, 12, 12);
    EXPECT_EQ(players_.regions[port].right, 0);
    controller_->SetZoomMode(false);
    EXPECT_EQ(players_.regions[port].right, 0);
}

// ---- remote mode

class RemotePlaybackTest : public PlaybackControllerTest {
protected:
    void SetUp() override {
        PlaybackControllerTest::SetUp();
        directory_.runtime.device(device_).loginHandle = 77;
        remote_.answer.status = 0;
        remote_.answer.list = {Entry(8, 0, 0, 1800, "CH01_20200708_080000_P.rec"),
                               Entry(8, 30, 0, 1800, "CH01_20200708_083000_P.rec")};
        remote_.answer.marks[3] = remote_.answer.marks[8] = true;
        remote_.answer.marksRead = true;
        controller_->SetMode(true);
        controller_->ChooseDay(Date{2020, 7, 3});
    }
    static RecordEntry Entry(int h, int m, int s, int duration, const char* name) {
        RecordEntry e;
        e.hour = static_cast<uint16_t>(h);
        e.minute = static_cast<uint16_t>(m);
        e.second = static_cast<uint16_t>(s);
        e.durationSeconds = duration;
        e.type = 3;
        e.remoteName = name;
        return e;
    }
};

TEST_F(RemotePlaybackTest, ADroppedChannelIsSearchedOnTheDeviceAndPlayed) {
    controller_->DropChannel(device_, 0, 1);
    ASSERT_EQ(remote_.searches.size(), 1u);
    EXPECT_EQ(remote_.searches[0].login, 77);
    EXPECT_EQ(remote_.searches[0].channel, 0);
    EXPECT_EQ(remote_.searches[0].date, (Date{2020, 7, 3}));
    EXPECT_EQ(view_.searchNotices, 1);
    EXPECT_FALSE(view_.searching);
    EXPECT_TRUE(controller_->dayMarks()[3]);
    EXPECT_TRUE(controller_->dayMarks()[8]);
    ASSERT_EQ(remote_.OpenedNames(), (std::vector<std::string>{"CH01_20200708_080000_P.rec"}));
    ASSERT_EQ(players_.adopted.size(), 1u);
    EXPECT_EQ(players_.adopted[0].first, 1);
    EXPECT_EQ(controller_->Port(1), 5001);
    EXPECT_TRUE(remote_.positions.empty()) << "a file from its start is not positioned";
    EXPECT_TRUE(players_.created.empty()) << "remote windows use the library's port";
    EXPECT_EQ(view_.titles[1], "10.0.0.5:5000-1 Gate");
}

TEST_F(RemotePlaybackTest, SeeksPositionTheDeviceAndEndsGoOnWithTheNextFile) {
    controller_->DropChannel(device_, 0, 0);
    controller_->TimelineClick(0, 8 * 3600 + 45 * 60);  // half of the second file
    ASSERT_EQ(remote_.OpenedNames().back(), "CH01_20200708_083000_P.rec");
    ASSERT_EQ(remote_.positions.size(), 1u);
    EXPECT_EQ(remote_.positions[0].second, 50);
    EXPECT_EQ(remote_.stopped.size(), 1u) << "the first playback ended before the seek opened";
    const int handle = remote_.positions[0].first;
    // Pause and resume go to the device.
    controller_->Pause(0);
    EXPECT_EQ(remote_.paused.back(), handle);
    controller_->Play(0);
    EXPECT_EQ(remote_.resumed.back(), handle);
    controller_->Fast(0);
    EXPECT_EQ(remote_.speeds.back(), (std::pair<int, int>{handle, 1}));
    // The device finished the last file: the window stays paused.
    remote_.finished[handle] = 1;
    controller_->Tick();
    EXPECT_EQ(remote_.stopped.back(), handle);
    EXPECT_TRUE(view_.paused[0]);
}

TEST_F(RemotePlaybackTest, ANotLoggedInDeviceIsNotAsked) {
    directory_.runtime.device(device_).loginHandle = 0;
    controller_->DropChannel(device_, 0, 0);
    EXPECT_TRUE(remote_.searches.empty());
    EXPECT_TRUE(remote_.opened.empty());
    EXPECT_EQ(view_.searchNotices, 0);
}

TEST_F(RemotePlaybackTest, AFileTheDeviceRefusesIsSkipped) {
    remote_.refuse.insert("CH01_20200708_080000_P.rec");
    controller_->DropChannel(device_, 0, 0);
    EXPECT_EQ(remote_.OpenedNames(),
              (std::vector<std::string>{"CH01_20200708_080000_P.rec", "CH01_20200708_083000_P.rec"}));
    EXPECT_EQ(players_.adopted.size(), 1u);
    EXPECT_FALSE(view_.paused[0]);
}

TEST_F(RemotePlaybackTest, SwitchingModesClosesEveryWindow) {
    controller_->DropChannel(device_, 0, 0);
    const int handle = remote_.positions.empty() ? 1 : remote_.positions[0].first;
    controller_->SetMode(false);
    EXPECT_EQ(controller_->WindowChannel(0), -1);
    EXPECT_EQ(remote_.Stopped().back(), handle);
    EXPECT_EQ(players_.releasedAdopted.back(), 5000 + handle);
    EXPECT_FALSE(controller_->remote());
    EXPECT_EQ(controller_->date(), kDay) << "back to today";
}

}  // namespace
}  // namespace ocv::playback
