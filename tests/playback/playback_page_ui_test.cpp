// The playback page and its backup window inside the main window, end to end on real recordings
// of two drives: the channel dragged from the tree, a click on the time line playing from there,
// the page going on with the next file, captures, the hover preview, the cell menu, the mode
// switch, and backups from the window with its checks, progress and the file it writes.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateTimeEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <thread>

#include "base/clock.h"
#include "events/log_file_reader.h"
#include "events/log_record.h"
#include "platform/drives.h"
#include "playback/backup_dlg.h"
#include "playback/playback_dlg.h"
#include "playback/preview_wnd.h"
#include "playback/timeline_wnd.h"
#include "shell/client_pages.h"
#include "shell/main_dlg.h"
#include "tests/backup/recording_maker.h"
#include "tests/shell/shell_fixture.h"
#include "ui_UIBackupDlg.h"
#include "videogrid/cell_messages.h"
#include "videogrid/screen_pannel.h"
#include "videogrid/video_play_bar.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_wnd.h"
#include "widgets/window_message.h"

namespace ocv::playback {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Nothing listens on port 9: the device never answers, the local recordings are what counts.
std::vector<mkdb::DemoDevice> Site() { return {{"127.0.0.1", 9, 4}}; }
constexpr const char* kFolder = "127.0.0.1-9-1";
constexpr int kFirstStart = 10 * 3600;       // 10:00:00 on drive D, 10 s
constexpr int kSecondStart = 10 * 3600 + 20;  // 10:00:20 on drive C, 10 s

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound = 10s) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (done()) return true;
        std::this_thread::sleep_for(5ms);
    }
    return done();
}

class PlaybackPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fixture_.ok);
        SetClockForTesting(2020, 7, 8, 12, 0, 0);
        for (auto [drive, start] : {std::pair{"D", kFirstStart}, std::pair{"C", kSecondStart}}) {
            test::TestRecording r;
            r.driveDir = drives::DriveDirectory(drive[0]);
            ASSERT_FALSE(r.driveDir.empty());
            r.channelFolder = kFolder;
            r.startSecond = start;
            r.seconds = 10;
            r.keyFrameKind = 1;
            r.recordType = kRecordPlan;
            paths_.push_back(test::WriteRecording(r));
        }
        const UserInfo& admin = fixture_.store().user(fixture_.SlotOf("admin"));
        fixture_.store().SaveLoginMemory(admin.id, admin.password, 1);
        SystemSettings s = fixture_.store().settings();
        std::snprintf(s.PHOTOPATH, sizeof s.PHOTOPATH, "%s", (fixture_.dir / "pics").c_str());
        s.PHOTOTYPE = 0;
        ASSERT_EQ(fixture_.store().SaveSettings(s, false), 0);

        window_ = std::make_unique<MainDlg>(*fixture_.service, nullptr, MainDlg::Options{false});
        ASSERT_TRUE(window_->Create());
        window_->resize(1280, 860);
        window_->show();
        window_->OpenPage("playback");
        PumpUntil([&] { return window_->findChild<UIPlaybackDlg*>() != nullptr; }, 2s);
        page_ = window_->findChild<UIPlaybackDlg*>();
        ASSERT_NE(page_, nullptr);
        PumpUntil([] { return false; }, 50ms);
    }
    void TearDown() override {
        window_.reset();
        SetClockSourceForTesting(nullptr);
        RenewClockSnapshot();
    }

    // Drags channel 1 of the device from the tree onto window w.
    void DropOn(int w) {
        QTreeWidgetItem* item = page_->ChannelItem(0, 0, 0);
        ASSERT_NE(item, nullptr) << "the site's group holds the channel";
        UIScreenWnd* cell = page_->panel()->Cell(w);
        page_->DropTreeItem(item, cell->mapTo(page_, cell->rect().center()));
    }
    // Clicks the time line in window w's row at second t (as close as its pixels allow);
    // returns the second the click stands for.
    int ClickTimeline(int w, int t) {
        TimelineModel& m = page_->controller().timeline();
        const int x = m.XOfSecond(t);
        const int y = (w + 1) * m.RowHeight() + m.RowHeight() / 2;
        QTest::mouseClick(page_->timeline(), Qt::LeftButton, {}, QPoint(x, y));
        int window = -1, second = -1;
        EXPECT_TRUE(m.Hit(x, y, &window, &second));
        EXPECT_EQ(window, w);
        return second;
    }

    test::ShellFixture fixture_{Site()};
    std::vector<std::string> paths_;
    std::unique_ptr<MainDlg> window_;
    UIPlaybackDlg* page_ = nullptr;
};

TEST(PlaybackPageEntry, IsOfferedUnderItsRightOnTheToolbarAndInTheViewMenu) {
    const PageInfo* p = FindClientPage("playback");
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->title, "Playback");
    EXPECT_EQ(p->right, kRightPlayback);
    EXPECT_EQ(p->toolbarIndex, 3);
    EXPECT_EQ(p->menu.menuMessage, kMsgViewMenu);
    EXPECT_EQ(p->menu.item, 11);
}

TEST_F(PlaybackPageTest, ADroppedChannelPlaysFromTheClickedTimeAndGoesOnWithTheNextFile) {
    DropOn(1);
    PlaybackController& c = page_->controller();
    ASSERT_TRUE(PumpUntil([&] { return c.IsPlaying(1); }));
    ASSERT_EQ(c.WindowList(1).size(), 2u) << "the recordings of both drives";
    EXPECT_EQ(c.WindowList(1)[0].StartSecond(), kFirstStart);
    EXPECT_EQ(c.WindowList(1)[1].StartSecond(), kSecondStart);
    EXPECT_EQ(page_->panel()->Selected(), 1);
    EXPECT_EQ(page_->panel()->Cell(1)->Title().toStdString(), "Windows2: 127.0.0.1:9-1 " +
                                                                  std::string(fixture_.store().device(0).name));
    // Another window cannot take the same channel.
    DropOn(2);
    EXPECT_TRUE(fixture_.Texts().contains("Playback channel has been opened"));
    EXPECT_EQ(c.WindowChannel(2), -1);

    // An hour on the time line: a pixel is a few seconds.
    c.timeline().SetView(600, 5);
    const int clicked = ClickTimeline(1, kSecondStart + 5);
    ASSERT_GE(clicked, kSecondStart);
    ASSERT_TRUE(PumpUntil([&] { return c.CurrentSecond(1) >= clicked; }));
    EXPECT_LE(c.CurrentSecond(1), clicked + 3) << "played from the clicked time, not the file's start";
    const uint64_t painted = page_->panel()->PaintedPictures(1);
    ASSERT_TRUE(PumpUntil([&] { return page_->panel()->PaintedPictures(1) > painted; }));

    // From the first file (clicked near its end) the page goes on with the second by itself.
    ClickTimeline(1, kFirstStart + 7);
    ASSERT_TRUE(PumpUntil([&] { return c.CurrentSecond(1) >= kFirstStart && c.CurrentSecond(1) < kSecondStart; }));
    for (int i = 0; i < 4; ++i) QTest::keyClick(page_, Qt::Key_Plus);
    EXPECT_EQ(c.SpeedLevel(1), 4);
    ASSERT_TRUE(PumpUntil([&] { return c.CurrentSecond(1) >= kSecondStart; }, 20s));
    // The day ends paused on the last picture of the second file.
    ASSERT_TRUE(PumpUntil([&] { return c.PlayState(1) == QVXPLAY_STATE_PAUSED; }, 20s));
    EXPECT_TRUE(page_->panel()->Cell(1)->VideoWindow()->Bar()->IsPaused());
}

TEST_F(PlaybackPageTest, TheCaptureButtonWritesAPictureUnderQVXPhotoPBAndLogsIt) {
    DropOn(0);
    PlaybackController& c = page_->controller();
    ASSERT_TRUE(PumpUntil([&] { return c.IsPlaying(0) && page_->panel()->PaintedPictures(0) > 0; }));
    auto* snap = page_->findChild<QPushButton*>("snapBtn");
    ASSERT_NE(snap, nullptr);
    QTest::mouseClick(snap, Qt::LeftButton);
    const fs::path folder = fixture_.dir / "pics/QVXPhotoPB/2020_07_08/127.0.0.1-9-C1";
    ASSERT_TRUE(fs::exists(folder / "PB20070812000000.jpg")) << folder;
    QTest::mouseClick(snap, Qt::LeftButton);
    EXPECT_TRUE(fs::exists(folder / "PB20070812000001.jpg")) << "the next capture has the next number";
    LogFileReader reader(fixture_.service->log().Directory() + "/" + LogFileName(kLogOperate, clockSnapshot().time));
    ASSERT_TRUE(reader.IsOpen());
    int captures = 0;
    LogRecord r{};
    while (reader.Next(&r)) captures += r.subtype == kLogPlaybackCapture;
    EXPECT_EQ(captures, 2);
    // A closed window has nothing to capture.
    page_->RunCellCommand(kCmdClose);
    QTest::mouseClick(snap, Qt::LeftButton);
    EXPECT_FALSE(fs::exists(folder / "PB20070812000002.jpg"));
}

TEST_F(PlaybackPageTest, TheCellMenuFollowsThePlayerAndTheKeysDriveTheSelectedWindow) {
    DropOn(0);
    PlaybackController& c = page_->controller();
    ASSERT_TRUE(PumpUntil([&] { return c.PlayState(0) == QVXPLAY_STATE_PLAYING; }));
    auto texts = [&] {
        QStringList out;
        std::unique_ptr<QMenu> menu = page_->MakeCellMenu();
        for (QAction* a : menu->actions()) out << a->text();
        return out;
    };
    EXPECT_EQ(texts(), (QStringList{"Pause", "Stop", "Slow", "Normal speed", "Fast", "Frame", "Enlarge", "Capture",
                                    "Open sound", "Original picture", "Full Screen", "Close"}));
    QTest::keyClick(page_, Qt::Key_Space);
    EXPECT_EQ(c.PlayState(0), QVXPLAY_STATE_PAUSED);
    EXPECT_EQ(texts().front(), "Play");
    EXPECT_TRUE(page_->panel()->Cell(0)->VideoWindow()->Bar()->IsPaused());
    // A menu command arrives as 1430 and runs on the selected window.
    std::unique_ptr<QMenu> menu = page_->MakeCellMenu();
    menu->actions().front()->trigger();
    ASSERT_TRUE(PumpUntil([&] { return c.PlayState(0) == QVXPLAY_STATE_PLAYING; }, 2s));
    for (int i = 0; i < 5; ++i) QTest::keyClick(page_, Qt::Key_Minus);
    EXPECT_EQ(c.SpeedLevel(0), -3);
    page_->RunCellCommand(kCmdNormal);
    EXPECT_EQ(c.SpeedLevel(0), 0);
    // The bar's close button forgets the channel and resets the title.
    page_->RunCellCommand(kCmdClose);
    EXPECT_EQ(c.WindowChannel(0), -1);
    EXPECT_EQ(page_->panel()->Cell(0)->Title().toStdString(), "Windows1");
}

TEST_F(PlaybackPageTest, HoveringARecordingShowsThePreviewAndLeavingHidesIt) {
    DropOn(0);
    PlaybackController& c = page_->controller();
    ASSERT_TRUE(PumpUntil([&] { return c.IsPlaying(0); }));
    UIPreviewWnd* preview = page_->preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->size(), QSize(UIPreviewWnd::kWidth, UIPreviewWnd::kHeight));
    PostWindowMessage(page_, kMsgTimelineHover, 0, kFirstStart + 5);
    ASSERT_TRUE(PumpUntil([&] { return preview->isVisible(); }, 2s));
    ASSERT_TRUE(PumpUntil([&] { return preview->worker().Shots() >= 1; }, 5s));
    ASSERT_TRUE(PumpUntil([&] { return preview->VideoWindow()->PaintedPictures() > 0; }, 5s))
        << "the picture of the file at that time is drawn into the popup";
    PostWindowMessage(page_, kMsgTimelineHover, 0, kFirstStart + 15);  // the gap between the files
    ASSERT_TRUE(PumpUntil([&] { return !preview->isVisible(); }, 2s));
    PostWindowMessage(page_, kMsgTimelineHover, 0, kSecondStart + 1);
    ASSERT_TRUE(PumpUntil([&] { return preview->isVisible(); }, 2s));
    PostWindowMessage(page_, kMsgTimelineHover, -1, -1);
    ASSERT_TRUE(PumpUntil([&] { return !preview->isVisible(); }, 2s));
}

TEST_F(PlaybackPageTest, TheButtonsZoomAndPageTheTimeLineAndFullScreenEndsWithEscape) {
    TimelineModel& m = page_->controller().timeline();
    ASSERT_EQ(m.minutesPerDivision(), 120);
    auto click = [&](const char* name) {
        auto* b = page_->findChild<QPushButton*>(name);
        ASSERT_NE(b, nullptr) << name;
        QTest::mouseClick(b, Qt::LeftButton);
    };
    click("zoomInBtn");
    EXPECT_EQ(m.minutesPerDivision(), 60);
    click("nextPageBtn");
    EXPECT_EQ(m.viewStart(), 720);
    click("nextBtn");
    EXPECT_EQ(m.viewStart(), 720) << "the last page of the day";
    click("prevBtn");
    EXPECT_EQ(m.viewStart(), 660);
    click("zoomOutBtn");
    EXPECT_EQ(m.minutesPerDivision(), 120);
    EXPECT_EQ(m.viewStart(), 0);

    // The zoom option arms the digital zoom; the menu's full screen leaves with Escape.
    auto* zoom = page_->findChild<QPushButton*>("zoomOption");
    QTest::mouseClick(zoom, Qt::LeftButton);
    EXPECT_TRUE(page_->controller().zoomMode());
    page_->RunCellCommand(kCmdZoom);
    EXPECT_FALSE(page_->controller().zoomMode());
    EXPECT_FALSE(zoom->isChecked());
    page_->RunCellCommand(kCmdFullScreen);
    EXPECT_TRUE(page_->IsFullScreen());
    EXPECT_TRUE(page_->panel()->IsFullScreen());
    PostWindowMessage(page_, CellKey, kEscapeKeyCode, 0);
    ASSERT_TRUE(PumpUntil([&] { return !page_->IsFullScreen(); }, 2s));
    EXPECT_FALSE(page_->panel()->IsFullScreen());
    EXPECT_EQ(page_->panel()->parentWidget(), page_->findChild<QWidget*>("viewVertical"));
}

TEST_F(PlaybackPageTest, RemoteModeClosesTheWindowsAndOffersNoLocalBackup) {
    DropOn(0);
    PlaybackController& c = page_->controller();
    ASSERT_TRUE(PumpUntil([&] { return c.IsPlaying(0); }));
    auto* remote = page_->findChild<QPushButton*>("remoteOption");
    auto* backup = page_->findChild<QPushButton*>("backupBtn");
    ASSERT_NE(remote, nullptr);
    ASSERT_NE(backup, nullptr);
    EXPECT_TRUE(backup->isVisible());
    QTest::mouseClick(remote, Qt::LeftButton);
    EXPECT_TRUE(c.remote());
    EXPECT_EQ(c.WindowChannel(0), -1);
    EXPECT_FALSE(backup->isVisible());
    EXPECT_EQ(page_->tree()->topLevelItem(0)->text(0).toStdString(), "Remote");
    // The device is not logged in: dropping its channel searches nothing and plays nothing.
    DropOn(0);
    PumpUntil([] { return false; }, 200ms);
    EXPECT_FALSE(c.IsPlaying(0));
}

TEST_F(PlaybackPageTest, TheBackupWindowChecksItsFormThenWritesTheClipAsAviWithProgress) {
    DropOn(0);
    PlaybackController& c = page_->controller();
    ASSERT_TRUE(PumpUntil([&] { return c.IsPlaying(0); }));
    // A clip over both files, then the backup button.
    auto* clip = page_->findChild<QPushButton*>("clipOption");
    auto* down = page_->findChild<QPushButton*>("downBtn");
    ASSERT_NE(clip, nullptr);
    EXPECT_FALSE(down->isVisible());
    QTest::mouseClick(clip, Qt::LeftButton);
    EXPECT_TRUE(down->isVisible());
    c.TimelineClick(0, kFirstStart + 2);
    c.TimelineClick(0, kSecondStart + 8);
    QTest::mouseClick(page_->findChild<QPushButton*>("backupBtn"), Qt::LeftButton);
    UIBackupDlg* dlg = page_->backupWindow();
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(dlg->isVisible());
    BackupForm form = dlg->Form();
    EXPECT_EQ(form.channelId, ChannelIdOf(0, 0));
    EXPECT_EQ(form.start.hour * 3600 + form.start.minute * 60 + form.start.second, kFirstStart + 2);
    EXPECT_EQ(form.end.hour * 3600 + form.end.minute * 60 + form.end.second, kSecondStart + 8);
    EXPECT_FALSE(form.download);
    // The disk list shows each drive's free space.
    ASSERT_GE(dlg->ui().diskCombo->count(), 2);
    EXPECT_TRUE(dlg->ui().diskCombo->itemText(0).startsWith("C:"));
    EXPECT_TRUE(dlg->ui().diskCombo->itemText(0).endsWith("(GB)"));

    // The checks, in the window's order.
    fixture_.messages.clear();
    QDateTimeEdit* start = dlg->ui().sTimeBtn;
    QDateTimeEdit* end = dlg->ui().eTimeBtn;
    const QDateTime goodStart = start->dateTime(), goodEnd = end->dateTime();
    end->setDateTime(goodStart.addSecs(-1));
    QTest::mouseClick(dlg->ui().okBtn, Qt::LeftButton);
    end->setDateTime(goodStart.addDays(1));
    QTest::mouseClick(dlg->ui().okBtn, Qt::LeftButton);
    end->setDateTime(goodEnd);
    dlg->ui().downloadOption->setChecked(true);
    QTest::mouseClick(dlg->ui().okBtn, Qt::LeftButton);
    dlg->ui().backupOption->setChecked(true);
    EXPECT_EQ(fixture_.Texts(), (QStringList{"Start time can not exceed the end time!", "Not cross day backup!",
                                             "Disconnects from the server"}));
    EXPECT_FALSE(dlg->Running());

    // A span without recordings.
    fixture_.messages.clear();
    start->setDateTime(goodStart.addSecs(3600));
    end->setDateTime(goodEnd.addSecs(3600));
    QTest::mouseClick(dlg->ui().okBtn, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return !fixture_.messages.empty(); }));
    EXPECT_EQ(fixture_.Texts(), QStringList{"No file backup!"});

    // The clip as AVI onto drive D.
    fixture_.messages.clear();
    start->setDateTime(goodStart);
    end->setDateTime(goodEnd);
    dlg->ui().diskCombo->setCurrentIndex(1);
    dlg->ui().formatCombo->setCurrentIndex(0);
    QTest::mouseClick(dlg->ui().okBtn, Qt::LeftButton);
    EXPECT_FALSE(dlg->ui().okBtn->isEnabled()) << "the inputs wait for the job";
    ASSERT_TRUE(PumpUntil([&] { return !fixture_.messages.empty(); }, 30s));
    EXPECT_EQ(fixture_.Texts(), QStringList{"Backup is complete"});
    EXPECT_EQ(dlg->ui().backupProgress->value(), 100);
    EXPECT_TRUE(dlg->ui().okBtn->isEnabled());
    const fs::path avi = drives::DriveDirectory('D') + "/QVXFile/backup/2020_07_08/BACKUP200708_12000000.avi";
    ASSERT_TRUE(fs::exists(avi)) << avi;
    EXPECT_GT(fs::file_size(avi), 10000u);
}

TEST_F(PlaybackPageTest, ClosingTheBackupWindowDuringAJobAsksAndCancelsIt) {
    DropOn(0);
    PlaybackController& c = page_->controller();
    ASSERT_TRUE(PumpUntil([&] { return c.IsPlaying(0); }));
    // Two minutes of channel 2: a job that takes a while.
    test::TestRecording r;
    r.driveDir = drives::DriveDirectory('C');
    r.channelFolder = "127.0.0.1-9-2";
    r.startSecond = 11 * 3600;
    r.seconds = 120;
    r.keyFrameKind = 1;
    test::WriteRecording(r);
    page_->OpenBackupWindow(false);
    UIBackupDlg* dlg = page_->backupWindow();
    ASSERT_NE(dlg, nullptr);
    dlg->ui().devCombo->setCurrentIndex(dlg->ui().devCombo->findData(ChannelIdOf(0, 1)));
    dlg->ui().formatCombo->setCurrentIndex(2);  // MP4
    dlg->Start();
    ASSERT_TRUE(dlg->Running());
    fixture_.answer = false;  // "no": the job goes on
    dlg->close();
    EXPECT_TRUE(fixture_.Texts().contains("Video is being backed up, if you want to cancel?"));
    EXPECT_TRUE(dlg->isVisible());
    fixture_.answer = true;
    dlg->close();
    ASSERT_TRUE(PumpUntil([&] { return !dlg->Running() && !dlg->isVisible(); }, 30s));
    EXPECT_FALSE(fixture_.Texts().contains("Backup is complete")) << "a cancelled job says nothing more";
    // Nothing under a final name claims to be the whole span, unless the job had finished.
    const fs::path folder = drives::DriveDirectory('C') + "/QVXFile/backup/2020_07_08";
    if (fs::exists(folder)) {
        for (auto& e : fs::directory_iterator(folder)) EXPECT_NE(e.path().extension(), ".mp4") << e.path();
    }
}

}  // namespace
}  // namespace ocv::playback
