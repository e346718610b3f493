// The playback page's threads: the worker that waits on devices and disks, the hover preview's
// worker, a remote playback that opens after its window moved on, a day of real recordings
// played by the player library to its last picture, and a device's recordings searched and
// played from the simulator.
#include <gtest/gtest.h>

#include <pthread.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "base/clock.h"
#include "platform/app_dir.h"
#include "playback/preview_worker.h"
#include "playback/qvx_playback_players.h"
#include "playback/task_worker.h"
#include "tests/backup/recording_maker.h"
#include "tests/playback/playback_fakes.h"
#include "tests/player/test_clip.h"
#include "tests/player/test_recording.h"
#include "tests/sdk/remote_site.h"
#include "tests/support/temp_dir.h"

namespace ocv::playback {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(TaskWorker, RunsTasksInOrderOnItsThreadAndStopDropsTheRest) {
    TaskWorker worker("pb-search");
    std::mutex m;
    std::vector<int> order;
    std::string name;
    std::atomic<bool> sawStop{false};
    std::atomic<bool> inSecond{false};
    worker.Post([&](const std::atomic<bool>&) {
        char n[16] = {};
        pthread_getname_np(pthread_self(), n, sizeof n);
        std::lock_guard lock(m);
        name = n;
        order.push_back(1);
    });
    worker.Post([&](const std::atomic<bool>& stopping) {
        {
            std::lock_guard lock(m);
            order.push_back(2);
        }
        inSecond = true;
        while (!stopping.load()) std::this_thread::sleep_for(1ms);
        sawStop = true;
    });
    worker.Post([&](const std::atomic<bool>&) {
        std::lock_guard lock(m);
        order.push_back(3);
    });
    ASSERT_TRUE(test::WaitFor([&] { return inSecond.load(); }));
    worker.Stop();
    EXPECT_TRUE(sawStop) << "the running task was told to end";
    EXPECT_EQ(order, (std::vector<int>{1, 2})) << "the queued task was dropped";
    EXPECT_EQ(name, "pb-search");
    EXPECT_FALSE(worker.Post([](const std::atomic<bool>&) {}));
    EXPECT_EQ(worker.Pending(), 0u);
}

TEST(PreviewWorker, DrawsTheNewestRequestOnceAndNothingAfterCancel) {
    std::mutex m;
    std::vector<std::pair<std::string, int>> shots;
    PreviewWorker worker(
        [&](const std::string& path, int percent) {
            std::lock_guard lock(m);
            shots.emplace_back(path, percent);
            return 0;
        },
        20ms);
    worker.Request("a.qvx", 10);
    worker.Request("a.qvx", 20);
    worker.Request("b.qvx", 30);  // replaces both before the worker runs
    worker.Start();
    ASSERT_TRUE(test::WaitFor([&] { return worker.Shots() == 1; }));
    std::this_thread::sleep_for(80ms);
    {
        std::lock_guard lock(m);
        ASSERT_EQ(shots.size(), 1u) << "a drawn request is not drawn again";
        EXPECT_EQ(shots[0], (std::pair<std::string, int>{"b.qvx", 30}));
    }
    EXPECT_FALSE(worker.HasPending());
    worker.Request("c.qvx", 40);
    worker.Cancel();
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(worker.Shots(), 1);
    worker.Stop();
    worker.Stop();  // twice is harmless
}

// Messages the controller's threads posted, handed back on the test's thread.
class Mailbox {
public:
    PostFn Poster() {
        return [this](int m, intptr_t w, intptr_t l) {
            std::lock_guard lock(mutex_);
            messages_.push_back({m, w, l});
        };
    }
    // Delivers what arrived until pred() holds; false after the bound.
    bool PumpUntil(PlaybackController& c, const std::function<bool()>& pred, std::chrono::milliseconds bound = 10s) {
        auto end = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < end) {
            std::vector<std::tuple<int, intptr_t, intptr_t>> batch;
            {
                std::lock_guard lock(mutex_);
                batch.swap(messages_);
            }
            for (auto [m, w, l] : batch) {
                if (m == kMsgFileEnded) c.OnFileEnded(static_cast<int>(w), static_cast<int>(l));
                else c.OnWorkerResult(l);
            }
            if (pred()) return true;
            std::this_thread::sleep_for(5ms);
        }
        return pred();
    }

private:
    std::mutex mutex_;
    std::vector<std::tuple<int, intptr_t, intptr_t>> messages_;
};

TEST(PlaybackWorker, ARemoteFileThatOpensAfterItsWindowClosedIsStopped) {
    test::FakeDirectory directory;
    int device = directory.AddDevice("10.0.0.9", 5000, 1);
    directory.runtime.device(device).loginHandle = 5;
    test::FakeWindowPlayers players;
    test::FakeRemote remote;
    test::FakePlaybackView view;
    DigitalZoom zoom;
    Mailbox mail;
    RecordEntry e;
    e.hour = 8;
    e.durationSeconds = 60;
    e.type = 3;
    e.remoteName = "CH01_A.rec";
    remote.answer.list = {e};
    remote.holdOpens = true;
    PlaybackController c(PlaybackServices{players, remote, directory, zoom, nullptr, {}, {}}, view, mail.Poster(),
                         PlaybackOptions{false, 0, 0, 3});
    c.SetMode(true);
    c.DropChannel(device, 0, 0);
    ASSERT_TRUE(mail.PumpUntil(c, [&] { return remote.OpenedNames().size() == 1; }));
    c.Close(0);  // while the device is still being asked
    remote.Release();
    ASSERT_TRUE(mail.PumpUntil(c, [&] { return !remote.Stopped().empty(); }));
    EXPECT_EQ(remote.Stopped(), std::vector<int>{1});
    EXPECT_TRUE(players.adopted.empty()) << "the closed window shows nothing";
    EXPECT_EQ(c.Port(0), 0);
}

// A day of two short recordings played by the real player into memory surfaces.
class RealPlayersTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetAppDir(dir_.str());
        SetClockForTesting(2020, 7, 8, 12, 0, 0);
        device_ = directory_.AddDevice("cam01", 5000, 1);
        for (int start : {36000, 36002}) {
            test::TestRecording r;
            r.driveDir = dir_ / "D";
            r.channelFolder = "cam01-5000-1";
            r.startSecond = start;
            r.seconds = 2;
            r.keyFrameKind = 1;
            r.audioEncoding = kAudioNone;
            paths_.push_back(test::WriteRecording(r));
            test::AgeFile(paths_.back());  // finished files end at once
        }
    }
    void TearDown() override {
        SetClockSourceForTesting(nullptr);
        RenewClockSnapshot();
        SetAppDir("");
    }

    test::TempDir dir_;
    test::FakeDirectory directory_;
    int device_ = 0;
    std::vector<std::string> paths_;
};

class SurfaceView : public test::FakePlaybackView {
public:
    void* SurfaceOf(int window) override { return static_cast<player::VideoSurface*>(&memory[window]); }
    test::MemorySurface memory[4] = {{160, 120}, {160, 120}, {160, 120}, {160, 120}};
};

TEST_F(RealPlayersTest, ADayPlaysFileAfterFileAndStopsPausedOnItsLastPicture) {
    SurfaceView view;  // outlives the controller's ports
    DigitalZoom zoom;
    Mailbox mail;
    QvxPlaybackPlayers players(zoom, mail.Poster(), QVXPLAY_DRAW_FAST);
    test::FakeRemote remote;
    PlaybackController c(
        PlaybackServices{players, remote, directory_, zoom, nullptr, {},
                         [this] { return std::vector<DriveDir>{DriveDir{1, dir_ / "D"}}; }},
        view, mail.Poster(), PlaybackOptions{false, 0, 0, 3});
    c.ChooseDay(Date{2020, 7, 8});
    c.DropChannel(device_, 0, 0);
    ASSERT_TRUE(mail.PumpUntil(c, [&] { return c.IsPlaying(0); }));
    ASSERT_EQ(c.WindowList(0).size(), 2u);
    for (int i = 0; i < 4; ++i) c.Fast(0);  // 16x: the two seconds pass in a moment
    // The first file ends and the second follows in the same port; then the day is over.
    ASSERT_TRUE(mail.PumpUntil(c, [&] { return view.paused[0] && c.PlayState(0) == QVXPLAY_STATE_PAUSED; }));
    EXPECT_TRUE(c.IsPlaying(0)) << "the last file stays open on its last picture";
    EXPECT_GT(view.memory[0].PictureCount(), 2u);
    const int second = c.CurrentSecond(0);
    EXPECT_GE(second, 36002);
    EXPECT_LE(second, 36005);
    // The picture it stopped on can be captured as bytes.
    std::string jpeg;
    ASSERT_EQ(players.Capture(c.Port(0), false, 90, &jpeg), 0);
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(static_cast<uint8_t>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(jpeg[1]), 0xD8);
    std::string bmp;
    ASSERT_EQ(players.Capture(c.Port(0), true, 0, &bmp), 0);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(bmp.size(), 54u + 320 * 3 * 240) << "a full-size picture of the 320 x 240 recording";
}

// The capture the snapshot code uses: the picture file's bytes into the caller's buffer, with
// the size needed when the buffer is short and nothing before the first picture.
TEST_F(RealPlayersTest, CaptureToBufferReportsTheSizeItNeedsAndWritesOnlyWhatFits) {
    test::MemorySurface surface(160, 120);
    int port = 0;
    ASSERT_EQ(QVXPlay_InitV2(&port, 200), 0);
    ASSERT_EQ(QVXPlay_SetDrawWnd(port, static_cast<player::VideoSurface*>(&surface)), 0);
    std::vector<char> buffer(4u << 20, 'x');
    int length = static_cast<int>(buffer.size());
    EXPECT_EQ(QVXPlay_CaptureToBuffer(port, 0, 90, buffer.data(), &length), QVXPLAY_EMPTY);
    EXPECT_EQ(length, 0) << "no picture decoded yet";

    ASSERT_EQ(QVXPlay_OpenFile(port, paths_[0].c_str(), 50), 0);
    ASSERT_EQ(QVXPlay_Play(port), 0);
    ASSERT_TRUE(test::WaitFor([&] { return surface.PictureCount() > 0; }));
    QVXPlay_Pause(port);

    int needed = 0;
    EXPECT_EQ(QVXPlay_CaptureToBuffer(port, 1, 0, nullptr, &needed), QVXPLAY_EMPTY) << "asking for the size";
    ASSERT_EQ(needed, 54 + 320 * 3 * 240) << "a full-size bitmap of the 320 x 240 recording";
    int shortBy1 = needed - 1;
    std::fill(buffer.begin(), buffer.end(), 'x');
    EXPECT_EQ(QVXPlay_CaptureToBuffer(port, 1, 0, buffer.data(), &shortBy1), QVXPLAY_EMPTY);
    EXPECT_EQ(shortBy1, needed);
    EXPECT_EQ(buffer[0], 'x') << "nothing written into a short buffer";
    int exact = needed;
    ASSERT_EQ(QVXPlay_CaptureToBuffer(port, 1, 0, buffer.data(), &exact), QVXPLAY_OK);
    EXPECT_EQ(exact, needed);
    EXPECT_EQ(std::string(buffer.data(), 2), "BM");
    EXPECT_EQ(buffer[static_cast<size_t>(needed)], 'x') << "not a byte beyond the picture";
    int jpeg = static_cast<int>(buffer.size());
    ASSERT_EQ(QVXPlay_CaptureToBuffer(port, 0, 90, buffer.data(), &jpeg), QVXPLAY_OK);
    EXPECT_EQ(static_cast<uint8_t>(buffer[0]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(buffer[1]), 0xD8);
    EXPECT_LT(jpeg, needed);
    // Bad arguments.
    int negative = -1;
    EXPECT_EQ(QVXPlay_CaptureToBuffer(port, 0, 90, buffer.data(), &negative), QVXPLAY_ERROR);
    int some = 100;
    EXPECT_EQ(QVXPlay_CaptureToBuffer(port, 0, 90, nullptr, &some), QVXPLAY_ERROR);
    EXPECT_EQ(QVXPlay_CaptureToBuffer(port, 0, 90, buffer.data(), nullptr), QVXPLAY_ERROR);
    QVXPlay_SetDrawWnd(port, nullptr);
    QVXPlay_DeInit(port);
}

// The device's own recordings through the device library, as the page searches and plays them.
class SdkRemoteRecordingsTest : public test::RemoteSite {};

TEST_F(SdkRemoteRecordingsTest, ADaysSearchIsListedInStartOrderWithItsMonthsMarks) {
    QVX_HANDLE login = Login();
    SdkRemoteRecordings remote;
    std::atomic<bool> stop{false};
    RemoteSearchResult r = remote.Search(login, 0, kTypeAll, Date{2025, 1, 10}, stop);
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.list.size(), 23u);
    EXPECT_EQ(r.list[0].remoteName, "CH01_20250110_021000_A.rec");
    EXPECT_EQ(r.list[0].type, 2);
    EXPECT_EQ(r.list[0].durationSeconds, 60);
    EXPECT_EQ(r.list.back().type, 1);
    for (size_t i = 1; i < r.list.size(); ++i) EXPECT_LE(r.list[i - 1].StartSecond(), r.list[i].StartSecond());
    ASSERT_TRUE(r.marksRead);
    EXPECT_TRUE(r.marks[31]);
    EXPECT_FALSE(r.marks[8]) << "every eighth day is a gap for channel 0";
    RemoteSearchResult alarms = remote.Search(login, 0, 2, Date{2025, 1, 10}, stop);
    ASSERT_EQ(alarms.list.size(), 2u);
    for (const RecordEntry& e : alarms.list) EXPECT_EQ(e.type, 2);
    // The first alarm file plays into the library's port until the device has sent it all.
    int handle = 0, port = 0;
    ASSERT_EQ(remote.Open(login, 0, r.list[0].remoteName, &handle, &port), 0);
    EXPECT_GT(port, 0);
    test::MemorySurface surface(160, 96);
    ASSERT_EQ(QVXPlay_SetDrawWnd(port, static_cast<player::VideoSurface*>(&surface)), 0);
    EXPECT_EQ(remote.SetSpeed(handle, 4), 0);
    ASSERT_TRUE(test::WaitFor([&] { return surface.PictureCount() > 0; }));
    ASSERT_TRUE(test::WaitFor([&] { return remote.Finished(handle) != 0; }, 20s));
    EXPECT_EQ(remote.Finished(handle), 1);
    EXPECT_EQ(remote.Position(handle), 100);
    QVXPlay_SetDrawWnd(port, nullptr);
    remote.Stop(handle);
    // Not logged in: nothing is asked.
    EXPECT_EQ(remote.Search(0, 0, kTypeAll, Date{2025, 1, 10}, stop).status, -1);
    QVX_SDK_Logout(login);
}

}  // namespace
}  // namespace ocv::playback
