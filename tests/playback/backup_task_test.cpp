// The backup window's job: local spans over two drives into AVI and recording files, split
// files, an empty span, a cancelled job, and downloads from the simulator as a recording file
// and as AVI, refused for a day without recordings.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "base/clock.h"
#include "platform/app_dir.h"
#include "playback/backup_task.h"
#include "tests/backup/recording_maker.h"
#include "tests/playback/playback_fakes.h"
#include "tests/player/test_clip.h"
#include "tests/sdk/remote_site.h"
#include "tests/support/temp_dir.h"

namespace ocv::playback {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// What a task posted.
class Posts {
public:
    PostFn Poster() {
        return [this](int m, intptr_t w, intptr_t) {
            std::lock_guard lock(mutex_);
            if (m == kMsgBackupProgress) progress_.push_back(static_cast<int>(w));
            if (m == kMsgBackupDone) done_ = static_cast<int>(w);
        };
    }
    bool WaitDone() {
        return test::WaitFor([this] {
            std::lock_guard lock(mutex_);
            return done_ >= 0;
        }, 60s);
    }
    std::vector<int> Progress() {
        std::lock_guard lock(mutex_);
        return progress_;
    }

private:
    std::mutex mutex_;
    std::vector<int> progress_;
    int done_ = -1;
};

backup::LocalDateTime At(int y, int mo, int d, int h, int mi, int s) { return {y, mo, d, h, mi, s}; }

TEST(BackupForm, MessagesComeInTheWindowsOrder) {
    test::FakeDirectory directory;
    const int device = directory.AddDevice("10.0.0.5", 5000, 2);
    BackupForm f;
    f.start = At(2020, 7, 8, 10, 0, 0);
    f.end = At(2020, 7, 8, 10, 30, 0);
    EXPECT_STREQ(CheckBackupForm(f, directory), "Please select a device!");
    f.channelId = ChannelIdOf(device + 1, 0);  // an empty device slot
    EXPECT_STREQ(CheckBackupForm(f, directory), "Please select a device!");
    f.channelId = ChannelIdOf(device, 1);
    EXPECT_EQ(CheckBackupForm(f, directory), nullptr);
    f.download = true;
    EXPECT_STREQ(CheckBackupForm(f, directory), "Disconnects from the server");
    directory.runtime.device(device).loginHandle = 3;
    directory.runtime.device(device).deviceState = kDeviceOnline;
    EXPECT_EQ(CheckBackupForm(f, directory), nullptr);
    f.end = f.start;
    EXPECT_STREQ(CheckBackupForm(f, directory), "Start time can not exceed the end time!");
    f.end = At(2020, 7, 9, 0, 10, 0);
    EXPECT_STREQ(CheckBackupForm(f, directory), "Not cross day backup!");
    f.start = At(2020, 7, 8, 23, 50, 0);
    EXPECT_STREQ(CheckBackupForm(f, directory), "Not cross day backup!") << "a span across midnight";
    f.channelId = -1;
    EXPECT_STREQ(CheckBackupForm(f, directory), "Please select a device!") << "the device is asked for first";
}

class LocalBackupTask : public ::testing::Test {
protected:
    void SetUp() override {
        SetAppDir(dir_.str());
        fs::create_directories(dir_ / "D");
        fs::create_directories(dir_ / "E");
        test::WriteText(dir_ / "config.ini", "[DRIVES]\nD=" + (dir_ / "D") + "\nE=" + (dir_ / "E") + "\n");
        started_ = MakeClockSnapshot(SetClockForTesting(2020, 7, 9, 14, 5, 6));
        // Two recordings the index lists for 600 s each: from 09:59:58 on D (its pictures reach
        // into the span) and from 10:25 on E.
        for (auto [drive, start] : {std::pair{"D", 9 * 3600 + 59 * 60 + 58}, std::pair{"E", 10 * 3600 + 25 * 60}}) {
            test::TestRecording r;
            r.driveDir = dir_ / drive;
            r.channelFolder = "10.0.0.5-5000-1";
            r.startSecond = start;
            r.seconds = 6;
            r.indexedSeconds = 600;
            r.keyFrameKind = 1;
            test::WriteRecording(r);
        }
        form_.channelId = 0;
        form_.disk = 1;  // D
        form_.start = At(2020, 7, 8, 10, 0, 0);
        form_.end = At(2020, 7, 8, 10, 30, 0);
    }
    void TearDown() override {
        SetClockSourceForTesting(nullptr);
        RenewClockSnapshot();
        SetAppDir("");
    }
    std::vector<std::string> Drives() { return {dir_ / "D", dir_ / "E"}; }
    std::vector<std::string> BackupFolderFiles() {
        std::vector<std::string> names;
        std::string folder = dir_ / "D/QVXFile/backup/2020_07_09";
        if (!fs::exists(folder)) return names;
        for (auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir dir_;
    ClockSnapshot started_;
    BackupForm form_;
    BackupTarget target_{"10.0.0.5", 5000, 0, 0};
};

TEST_F(LocalBackupTask, BothFilesOfTheSpanOnTwoDrivesGoIntoOneAvi) {
    Posts posts;
    BackupTask task(form_, target_, started_, posts.Poster(), [this] { return Drives(); });
    ASSERT_EQ(task.Start(), 0);
    ASSERT_TRUE(posts.WaitDone());
    BackupTaskResult r = task.Result();
    ASSERT_EQ(r.outcome, BackupOutcome::kComplete) << r.error;
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(BackupFolderFiles(), std::vector<std::string>{"BACKUP200709_14050600.avi"});
    EXPECT_EQ(test::ReadText(r.files[0]).substr(0, 4), "RIFF");
    // Both sources: 12 seconds of pictures at 25 per second.
    EXPECT_EQ(test::ProbeValue(test::Probe(r.files[0], "v:0", "nb_frames"), "nb_frames"), "300");
    std::vector<int> progress = posts.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_FALSE(task.Running());
}

TEST_F(LocalBackupTask, AnOutputOverTheSplitSizeGoesOnInTheNextNumberedFile) {
    form_.format = backup::ExportFormat::kRecordFile;
    Posts posts;
    BackupTask task(form_, target_, started_, posts.Poster(), [this] { return Drives(); });
    task.SetSplitBytes(64 * 1024);
    ASSERT_EQ(task.Start(), 0);
    ASSERT_TRUE(posts.WaitDone());
    BackupTaskResult r = task.Result();
    ASSERT_EQ(r.outcome, BackupOutcome::kComplete) << r.error;
    ASSERT_GE(r.files.size(), 2u);
    std::vector<std::string> names = BackupFolderFiles();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], "BACKUP20070914050600.qvx");
    EXPECT_EQ(names[1], "BACKUP20070914050601.qvx");
}

TEST_F(LocalBackupTask, ASpanWithoutRecordingsEndsWithNoFiles) {
    form_.start = At(2020, 7, 8, 18, 0, 0);
    form_.end = At(2020, 7, 8, 19, 0, 0);
    Posts posts;
    BackupTask task(form_, target_, started_, posts.Poster(), [this] { return Drives(); });
    ASSERT_EQ(task.Start(), 0);
    ASSERT_TRUE(posts.WaitDone());
    EXPECT_EQ(task.Result().outcome, BackupOutcome::kNoFiles);
    EXPECT_TRUE(BackupFolderFiles().empty());
    // A span across midnight never starts.
    form_.end = At(2020, 7, 9, 1, 0, 0);
    BackupTask crossing(form_, target_, started_, posts.Poster(), [this] { return Drives(); });
    EXPECT_EQ(crossing.Start(), -1);
}

TEST_F(LocalBackupTask, ACancelledJobLeavesNoFileThatClaimsToBeComplete) {
    form_.format = backup::ExportFormat::kMp4;
    Posts posts;
    BackupTask* running = nullptr;
    PostFn poster = posts.Poster();
    // The job is cancelled from its own progress report, half-way through its records.
    BackupTask task(
        form_, target_, started_,
        [&](int m, intptr_t w, intptr_t l) {
            if (m == kMsgBackupProgress && w >= 1 && running) running->Cancel();
            poster(m, w, l);
        },
        [this] { return Drives(); });
    running = &task;
    ASSERT_EQ(task.Start(), 0);
    ASSERT_TRUE(posts.WaitDone());
    EXPECT_EQ(task.Result().outcome, BackupOutcome::kCancelled);
    EXPECT_TRUE(task.Result().files.empty());
    for (const std::string& name : BackupFolderFiles()) ADD_FAILURE() << "left behind: " << name;
}

// Downloads from the simulator's recordings of January 2025.
class DownloadTask : public test::RemoteSite {
protected:
    void SetUp() override {
        SetAppDir(dir_.str());
        fs::create_directories(dir_ / "D");
        test::WriteText(dir_ / "config.ini", "[DRIVES]\nD=" + (dir_ / "D") + "\n");
        started_ = MakeClockSnapshot(SetClockForTesting(2025, 2, 1, 9, 0, 0));
        login_ = Login();
        form_.channelId = 0;
        form_.disk = 1;
        form_.download = true;
        form_.start = At(2025, 1, 10, 8, 0, 0);
        form_.end = At(2025, 1, 10, 8, 0, 8);
    }
    void TearDown() override {
        QVX_SDK_Logout(login_);
        SetClockSourceForTesting(nullptr);
        RenewClockSnapshot();
        SetAppDir("");
    }
    std::vector<std::string> DownloadFiles() {
        std::vector<std::string> names;
        std::string folder = dir_ / "D/QVXFile/download/2025_02_01";
        if (!fs::exists(folder)) return names;
        for (auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
        return names;
    }
    BackupTaskResult Run() {
        Posts posts;
        BackupTask task(form_, BackupTarget{"127.0.0.1", 0, 0, login_}, started_, posts.Poster());
        task.SetPollMs(50);
        EXPECT_EQ(task.Start(), 0);
        EXPECT_TRUE(posts.WaitDone());
        return task.Result();
    }

    test::TempDir dir_;
    ClockSnapshot started_;
    BackupForm form_;
    int login_ = 0;
};

TEST_F(DownloadTask, ASpanBecomesARecordingFileOrAnAviUnderTheDownloadName) {
    form_.format = backup::ExportFormat::kRecordFile;
    BackupTaskResult r = Run();
    ASSERT_EQ(r.outcome, BackupOutcome::kComplete) << r.error;
    EXPECT_EQ(DownloadFiles(), std::vector<std::string>{"DOWN250201_090000.qvx"});
    EXPECT_EQ(test::ReadText(r.files.at(0)).substr(0, 4), "QVXF");
    fs::remove(r.files[0]);
    form_.format = backup::ExportFormat::kAvi;
    r = Run();
    ASSERT_EQ(r.outcome, BackupOutcome::kComplete) << r.error;
    EXPECT_EQ(DownloadFiles(), std::vector<std::string>{"DOWN250201_090000.avi"}) << "no temporary file is left";
    EXPECT_EQ(test::DecodeErrors(r.files.at(0)), "");
}

TEST_F(DownloadTask, ADayWithoutRecordingsIsRefusedAndLeavesNothing) {
    form_.start = At(2025, 1, 8, 8, 0, 0);  // every eighth day is a gap for channel 0
    form_.end = At(2025, 1, 8, 9, 0, 0);
    EXPECT_EQ(Run().outcome, BackupOutcome::kRefused);
    EXPECT_TRUE(DownloadFiles().empty());
}

}  // namespace
}  // namespace ocv::playback
