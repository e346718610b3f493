// Recording files through a player port, end to end: written by the recorder's own file
// writer, played through the C interface into memory surfaces, paced by a test clock.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "player/audio_output.h"
#include "player/playback_pacer.h"
#include "player/player_statistics.h"
#include "player/port_options.h"
#include "player/video_decoder.h"
#include "player/qvx_player.h"
#include "base/port_slots.h"
#include "tests/player/test_recording.h"
#include "tests/support/temp_dir.h"

namespace ocv::player {
namespace {

using test::EncodedPicture;
using test::MemorySurface;
using test::WaitFor;

constexpr uint32_t kStart = 10 * 3600 * 1000;
constexpr uint32_t kLastTime = 99 * 40;  // the 100-picture clip's last picture

// 100 pictures, a key frame every 10.
const std::vector<EncodedPicture>& Clip() {
    static const auto clip = test::MakeH264Clip(64, 48, 100, 10);
    return clip;
}

PortStatistics Stats(int port) {
    PortStatistics s;
    EXPECT_EQ(GetPortStatistics(port, &s), 0);
    return s;
}

// Time moves only when the player waits, and then at once to the end of the wait: a
// whole file plays in no time, and the pacing is exact.
class JumpingClock final : public PlaybackClock {
public:
    int64_t NowUs() override { return now_.load(); }
    void WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, int64_t deadlineUs) override {
        int64_t now = now_.load();
        while (now < deadlineUs && !now_.compare_exchange_weak(now, deadlineUs)) {
        }
    }

private:
    std::atomic<int64_t> now_{1'000'000'000};
};

// Time stands still: a playing port waits for its next picture until told otherwise.
class StoppedClock final : public PlaybackClock {
public:
    int64_t NowUs() override { return 0; }
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, int64_t) override {
        wake.wait_for(lock, std::chrono::milliseconds(5));
    }
};

// Notes the clock's time of every picture.
class ClockedSurface final : public MemorySurface {
public:
    ClockedSurface(int w, int h, std::shared_ptr<PlaybackClock> clock)
        : MemorySurface(w, h), clock_(std::move(clock)) {}
    void PictureReady() override {
        {
            std::lock_guard lock(mutex_);
            times_.push_back(clock_->NowUs());
        }
        MemorySurface::PictureReady();
    }
    std::vector<int64_t> Times() const {
        std::lock_guard lock(mutex_);
        return times_;
    }

private:
    std::shared_ptr<PlaybackClock> clock_;
    mutable std::mutex mutex_;
    std::vector<int64_t> times_;
};

struct StateLog {
    std::atomic<int> ends{0};
    std::atomic<int> other{0};
};

void OnState(int, int state, intptr_t user) {
    auto* log = reinterpret_cast<StateLog*>(user);
    if (state == QVXPLAY_STATE_END) ++log->ends;
    else ++log->other;
}

std::vector<uint32_t> Timestamps(const MemorySurface& surface) {
    std::vector<uint32_t> out;
    for (const auto& p : surface.Pictures()) out.push_back(p->timestampMs - kStart);
    return out;
}

// Times from..to (inclusive) in steps of 40 ms.
std::vector<uint32_t> TimesFrom(uint32_t from, uint32_t to) {
    std::vector<uint32_t> out;
    for (uint32_t t = from; t <= to; t += 40) out.push_back(t);
    return out;
}

class FilePortTest : public ::testing::Test {
protected:
    void SetUp() override {
        portNumber_ = TakePort();
        ASSERT_GE(portNumber_, 0);
        ASSERT_EQ(QVXPlay_InitV2(&port_, portNumber_), 0);
        clock_ = std::make_shared<JumpingClock>();
        ASSERT_EQ(SetPlaybackClock(port_, clock_), 0);
        surface_ = std::make_shared<ClockedSurface>(32, 24, clock_);
        ASSERT_EQ(QVXPlay_SetDrawWnd(port_, surface_.get()), 0);
        ASSERT_EQ(QVXPlay_SetStateCallBack(port_, &OnState, reinterpret_cast<intptr_t>(&log_)), 0);
    }
    void TearDown() override {
        EXPECT_EQ(QVXPlay_DeInit(port_), 0);
        ReleasePort(portNumber_);
    }
    std::string Write(const std::string& name, const test::RecordingShape& shape = {},
                      test::WrittenRecording* written = nullptr) {
        std::string path = dir_ / name;
        auto w = test::WriteRecording(path, Clip(), shape);
        if (written) *written = w;
        return path;
    }
    bool WaitEnds(int n) {
        return WaitFor([&] { return log_.ends.load() >= n; });
    }
    bool WaitPictures(size_t n) {
        return WaitFor([&] { return surface_->PictureCount() >= n; });
    }
    // Plays the whole file from percent and waits for its end.
    void PlayToEnd(const std::string& path, int percent) {
        int ends = log_.ends.load();
        ASSERT_EQ(QVXPlay_OpenFile(port_, path.c_str(), percent), 0);
        ASSERT_EQ(QVXPlay_Play(port_), 0);
        ASSERT_TRUE(WaitEnds(ends + 1));
    }

    test::TempDir dir_;
    int portNumber_ = -1;
    int port_ = 0;
    std::shared_ptr<JumpingClock> clock_;
    std::shared_ptr<ClockedSurface> surface_;
    StateLog log_;
};

class OpenAtPercent : public FilePortTest, public ::testing::WithParamInterface<uint32_t> {};

// With every key frame indexed (kind 1), and with only every 50th (kind 3: none of this
// file's ten), which makes the player walk the records.
TEST_P(OpenAtPercent, StartsAtTheKeyFrameAtOrBeforeThePlaceAndPlaysToTheEnd) {
    test::RecordingShape shape;
    shape.keyKind = GetParam();
    std::string path = Write("open.qvx", shape);
    // duration 3960 ms: 0 % is the start, 50 % (1980 ms) plays from the key frame at
    // 1600 ms, 100 % from the last key frame, at 3600 ms.
    for (auto [percent, first] : {std::pair{0, 0u}, std::pair{50, 1600u}, std::pair{100, 3600u}}) {
        SCOPED_TRACE(percent);
        size_t before = surface_->PictureCount();
        PlayToEnd(path, percent);
        auto all = Timestamps(*surface_);
        std::vector<uint32_t> shown(all.begin() + static_cast<ptrdiff_t>(before), all.end());
        EXPECT_EQ(shown, TimesFrom(first, kLastTime));
        EXPECT_EQ(QVXPlay_GetFileTime(port_), static_cast<int>(kLastTime));
        EXPECT_EQ(QVXPlay_GetPlayedTime(port_), static_cast<int>(kLastTime));
        EXPECT_EQ(QVXPlay_GetPlayPos(port_), 100);
    }
    EXPECT_EQ(Stats(port_).decodeErrors, 0u);
}

INSTANTIATE_TEST_SUITE_P(KeyFrameKinds, OpenAtPercent, ::testing::Values(1u, 3u));

// The playback page's arithmetic: a click at time t of an entry that starts at its file's
// start time opens the file at p = (t - start) * 100 / duration, with the duration in
// seconds from images.fi.
TEST_F(FilePortTest, ATimeLinePositionOpensThePictureAtThatTime) {
    test::RecordingShape shape;
    shape.stepMs = 400;  // 39.6 s, a key frame every 4 s
    std::string path = Write("long.qvx", shape);
    const uint32_t durationSeconds = 39;
    const uint32_t clickSeconds = 25;
    const int p = static_cast<int>(clickSeconds * 100 / durationSeconds);  // 64
    ASSERT_EQ(QVXPlay_OpenFile(port_, path.c_str(), p), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_STOPPED);
    // From stopped, one step shows the picture where playing starts.
    ASSERT_EQ(QVXPlay_OneByOne(port_), 0);
    ASSERT_TRUE(WaitPictures(1));
    EXPECT_EQ(Timestamps(*surface_).back(), 24000u);  // the key frame before 25.34 s
    EXPECT_EQ(QVXPlay_GetPlayedTime(port_), 24000);
    EXPECT_EQ(QVXPlay_GetFileTime(port_), 39600);
    EXPECT_EQ(QVXPlay_GetPlayPos(port_), 60);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PAUSED);

    // Seeking while paused shows the picture of the new place at once.
    ASSERT_EQ(QVXPlay_SetPlayPos(port_, 30), 0);  // 11.88 s
    ASSERT_TRUE(WaitPictures(2));
    EXPECT_EQ(Timestamps(*surface_).back(), 8000u);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PAUSED);
    EXPECT_EQ(QVXPlay_SetPlayPos(port_, 101), -1);
    EXPECT_EQ(QVXPlay_SetPlayPos(port_, -1), -1);

    // And while playing it jumps there and plays on to the end.
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    ASSERT_EQ(QVXPlay_SetPlayPos(port_, 90), 0);  // 35.64 s: the key frame at 32 s
    ASSERT_TRUE(WaitEnds(1));
    auto shown = Timestamps(*surface_);
    auto jump = std::find(shown.begin() + 2, shown.end(), 32000u);
    ASSERT_NE(jump, shown.end());
    EXPECT_EQ(std::vector<uint32_t>(jump, shown.end()).size(), 20u);  // 32.0 .. 39.6 s
    for (auto it = shown.begin() + 3; it != shown.end(); ++it)
        if (it != jump) {
            EXPECT_EQ(*it, *(it - 1) + 400) << "at " << *it;
        }
}

TEST_F(FilePortTest, SpeedLevelsStayInTheirRangeAndScaleThePacing) {
    for (int i = 0; i < 6; ++i) EXPECT_EQ(QVXPlay_Fast(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlaySpeed(port_), QVXPLAY_SPEED_FASTEST);
    ASSERT_EQ(QVXPlay_SetRate(port_, QVXPLAY_SPEED_NORMAL), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(QVXPlay_Slow(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlaySpeed(port_), QVXPLAY_SPEED_SLOWEST);
    EXPECT_EQ(QVXPlay_SetRate(port_, 5), -1);
    EXPECT_EQ(QVXPlay_SetRate(port_, -4), -1);
    EXPECT_EQ(QVXPlay_GetPlaySpeed(port_), QVXPLAY_SPEED_SLOWEST);

    std::string path = Write("speed.qvx");
    for (int level : {-3, -1, 0, 1, 4}) {
        SCOPED_TRACE(level);
        ASSERT_EQ(QVXPlay_SetRate(port_, level), 0);
        size_t before = surface_->Times().size();
        PlayToEnd(path, 0);
        auto times = surface_->Times();
        ASSERT_EQ(times.size(), before + 100);
        for (size_t i = before + 1; i < times.size(); ++i)
            ASSERT_EQ(times[i] - times[i - 1], PlaybackPacer::ScaleMs(40, level)) << "picture " << i - before;
    }
}

TEST_F(FilePortTest, TheEndIsReportedOnceAndTheLastPictureStays) {
    test::TempDir shots;
    surface_->Hold(true);  // a window that has not painted yet: the picture stays waiting
    PlayToEnd(Write("end.qvx"), 0);
    ASSERT_TRUE(WaitFor([&] { return Stats(port_).presentedPictures == 100; }));
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PAUSED);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(log_.ends.load(), 1);
    EXPECT_EQ(log_.other.load(), 0);
    EXPECT_EQ(Stats(port_).presentedPictures, 100u);
    auto last = surface_->TakePicture();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->timestampMs, kStart + kLastTime);
    EXPECT_EQ(QVXPlay_Capture(port_, (shots / "end.bmp").c_str(), 1, 100), 0);
    // Play again at the end: nothing more to show, the end is reported again.
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    ASSERT_TRUE(WaitEnds(2));
    EXPECT_EQ(Stats(port_).presentedPictures, 100u);
    // Stop keeps the file open and goes back to its beginning.
    ASSERT_EQ(QVXPlay_Stop(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_STOPPED);
    EXPECT_EQ(QVXPlay_Capture(port_, (shots / "stopped.bmp").c_str(), 1, 100), -2);
    EXPECT_EQ(QVXPlay_GetPlayedTime(port_), 0);
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    ASSERT_TRUE(WaitEnds(3));
    EXPECT_EQ(Stats(port_).presentedPictures, 200u);
    ASSERT_EQ(QVXPlay_CloseFile(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_NONE);
    EXPECT_EQ(QVXPlay_GetFileTime(port_), -1);
}

TEST_F(FilePortTest, OneByOneShowsExactlyOnePicturePerCall) {
    ASSERT_EQ(QVXPlay_OpenFile(port_, Write("step.qvx").c_str(), 0), 0);
    ASSERT_EQ(QVXPlay_OneByOne(port_), 0);
    ASSERT_TRUE(WaitPictures(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(surface_->PictureCount(), 1u);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PAUSED);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(QVXPlay_OneByOne(port_), 0);
    ASSERT_TRUE(WaitPictures(4));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Timestamps(*surface_), TimesFrom(0, 120));
    // Playing on shows the rest once each; a step while playing pauses after one more.
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    ASSERT_TRUE(WaitEnds(1));
    EXPECT_EQ(Timestamps(*surface_), TimesFrom(0, kLastTime));
    ASSERT_EQ(QVXPlay_OneByOne(port_), 0);  // at the end: nothing more, the end again
    ASSERT_TRUE(WaitEnds(2));
    EXPECT_EQ(surface_->PictureCount(), 100u);
}

struct Damage {
    const char* name;
    uint32_t lastTime;  // of the last picture that must be shown
    void (*apply)(const std::string& path, const test::WrittenRecording& w);
};

class DamagedFile : public FilePortTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedFile, PlaysToItsLastWholeFrame) {
    test::WrittenRecording w;
    std::string path = Write("damaged.qvx", {}, &w);
    GetParam().apply(path, w);
    for (int percent : {0, 60}) {
        SCOPED_TRACE(percent);
        PlayToEnd(path, percent);
        EXPECT_EQ(Timestamps(*surface_).back(), GetParam().lastTime);
        EXPECT_EQ(QVXPlay_GetFileTime(port_), static_cast<int>(GetParam().lastTime));
    }
    EXPECT_EQ(Stats(port_).decodeErrors, 0u);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PAUSED);
}

void Truncate(const std::string& path, const test::WrittenRecording& w) {
    test::CutFile(path, w.videoOffsets[99] + 16 + 100);
}
void ZeroIndex(const std::string& path, const test::WrittenRecording&) {
    test::Overwrite(path, kKeyFrameIndexOffset, std::vector<uint8_t>(8 * kKeyFrameIndexEntries, 0));
}
void GarbageAfter(const std::string& path, const test::WrittenRecording&) {
    std::mt19937 rng(3);
    std::vector<uint8_t> garbage(20000);
    for (auto& b : garbage) b = static_cast<uint8_t>(rng());
    // A header that fits the file but not the time line, as a stale sector would hold.
    FrameHeader h{kFrameKindVideo, 5000, kStart + 7000, 2};
    std::memcpy(garbage.data(), &h, sizeof h);
    test::Append(path, garbage);
}
void ZeroTail(const std::string& path, const test::WrittenRecording& w) {
    // A crash on a file system that extends before it writes: zeros after the last record.
    test::CutFile(path, w.size + 65536);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFile,
    ::testing::Values(Damage{"cut", 98 * 40, &Truncate}, Damage{"zeroedIndex", kLastTime, &ZeroIndex},
                      Damage{"garbageAfterTheLastRecord", kLastTime, &GarbageAfter},
                      Damage{"zerosAfterTheLastRecord", kLastTime, &ZeroTail}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilePortTest, ADamagedRecordInTheMiddleIsSkippedToTheNextIndexedKeyFrame) {
    test::WrittenRecording w;
    std::string path = Write("middle.qvx", {}, &w);
    FrameHeader broken{kFrameKindVideo, 0x7FFFFFFF, 0, 2};
    test::Overwrite(path, w.videoOffsets[33],
                    std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&broken),
                                         reinterpret_cast<uint8_t*>(&broken) + 16));
    PlayToEnd(path, 0);
    std::vector<uint32_t> expected = TimesFrom(0, 32 * 40);
    for (uint32_t t : TimesFrom(40 * 40, kLastTime)) expected.push_back(t);
    EXPECT_EQ(Timestamps(*surface_), expected);
    EXPECT_EQ(Stats(port_).decodeErrors, 0u);
}

TEST_F(FilePortTest, FollowsARecordingThatIsStillBeingWritten) {
    ASSERT_EQ(SetFileFollowWindow(port_, 2000), 0);
    const std::string path = dir_ / "growing.qvx";
    test::TestRecorder recorder(path, test::RecordingShape{});
    for (size_t i = 0; i < 20; ++i) recorder.Add(Clip()[i]);
    ASSERT_EQ(QVXPlay_OpenFile(port_, path.c_str(), 0), 0);
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    // It plays what is written, waits at the end, and goes on as the file grows.
    for (size_t written = 20; written < 100; written += 20) {
        ASSERT_TRUE(WaitPictures(written));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        EXPECT_EQ(surface_->PictureCount(), written);
        EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PLAYING);
        EXPECT_EQ(log_.ends.load(), 0);
        for (size_t i = written; i < written + 20; ++i) recorder.Add(Clip()[i]);
    }
    ASSERT_TRUE(WaitPictures(100));
    recorder.Close();
    // No more writing: the end comes once the file has been quiet for the window.
    ASSERT_TRUE(WaitEnds(1));
    EXPECT_EQ(Timestamps(*surface_), TimesFrom(0, kLastTime));
    EXPECT_EQ(QVXPlay_GetFileTime(port_), static_cast<int>(kLastTime));
}

TEST_F(FilePortTest, ThePreviewPictureIsTheKeyFrameAtAPercentage) {
    std::string path = Write("preview.qvx");
    ASSERT_EQ(QVXPlay_ShotImage(port_, path.c_str(), 50), 0);
    ASSERT_EQ(surface_->PictureCount(), 1u);  // drawn before the call returns
    EXPECT_EQ(Timestamps(*surface_).back(), 1600u);
    EXPECT_EQ(surface_->Pictures().back()->width, 32);
    ASSERT_EQ(QVXPlay_ShotImage(port_, path.c_str(), 100), 0);
    EXPECT_EQ(Timestamps(*surface_).back(), 3600u);
    ASSERT_EQ(QVXPlay_ShotImage(port_, path.c_str(), 0), 0);
    EXPECT_EQ(Timestamps(*surface_).back(), 0u);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_NONE);  // nothing was opened
    test::TempDir shots;
    EXPECT_EQ(QVXPlay_Capture(port_, (shots / "preview.jpg").c_str(), 0, 90), 0);

    EXPECT_EQ(QVXPlay_ShotImage(port_, path.c_str(), 101), -1);
    EXPECT_EQ(QVXPlay_ShotImage(port_, path.c_str(), -1), -1);
    EXPECT_EQ(QVXPlay_ShotImage(port_, nullptr, 5), -1);
    EXPECT_EQ(QVXPlay_ShotImage(port_, (dir_ / "missing.qvx").c_str(), 5), -1);
    // Another file of the same name (the pointer moved to the next recording).
    std::string other = dir_ / "other.qvx";
    test::RecordingShape shape;
    shape.stepMs = 400;
    test::WriteRecording(other, Clip(), shape);
    ASSERT_EQ(QVXPlay_ShotImage(port_, other.c_str(), 50), 0);
    EXPECT_EQ(Timestamps(*surface_).back(), 16000u);
    EXPECT_EQ(surface_->PictureCount(), 4u);
}

TEST_F(FilePortTest, ShowFrameRedrawsThePausedPictureAsTheSurfaceIsNow) {
    EXPECT_EQ(QVXPlay_ShowFrame(port_), -2);
    ASSERT_EQ(QVXPlay_OpenFile(port_, Write("frame.qvx").c_str(), 0), 0);
    ASSERT_EQ(QVXPlay_OneByOne(port_), 0);
    ASSERT_EQ(QVXPlay_OneByOne(port_), 0);
    ASSERT_TRUE(WaitPictures(2));
    auto shown = surface_->Pictures().back();
    surface_->Resize(48, 36);
    ASSERT_EQ(QVXPlay_ShowFrame(port_), 0);
    ASSERT_EQ(surface_->PictureCount(), 3u);
    auto redrawn = surface_->Pictures().back();
    EXPECT_EQ(redrawn->width, 48);
    EXPECT_EQ(redrawn->height, 36);
    EXPECT_EQ(redrawn->timestampMs, shown->timestampMs);
    EXPECT_EQ(redrawn->sequence, shown->sequence);
    // The picture is the same: its middle pixel matches the one drawn before.
    const uint8_t* a = shown->planes[0] + 12 * shown->strides[0] + 16 * 4;
    const uint8_t* b = redrawn->planes[0] + 18 * redrawn->strides[0] + 24 * 4;
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 24);
}

class SampleLog final : public AudioOutput {
public:
    explicit SampleLog(std::shared_ptr<std::atomic<size_t>> count) : count_(std::move(count)) {}
    int Start(int, int) override { return 0; }
    void Write(const int16_t*, size_t n) override { *count_ += n; }
    void Stop() override {}

private:
    std::shared_ptr<std::atomic<size_t>> count_;
};

TEST_F(FilePortTest, TheFilesSoundPlaysAtNormalSpeedOnly) {
    auto samples = std::make_shared<std::atomic<size_t>>(0);
    SetAudioOutputFactory([samples] { return std::make_unique<SampleLog>(samples); });
    test::RecordingShape shape;
    shape.audioEncoding = kAudioG711ALaw;
    std::string path = Write("sound.qvx", shape);
    ASSERT_EQ(QVXPlay_OpenSound(port_), 0);
    PlayToEnd(path, 0);
    EXPECT_EQ(samples->load(), 100u * 160);
    ASSERT_EQ(QVXPlay_Fast(port_), 0);
    PlayToEnd(path, 0);
    EXPECT_EQ(samples->load(), 100u * 160);
    ASSERT_EQ(QVXPlay_CloseSound(port_), 0);
    ASSERT_EQ(QVXPlay_SetRate(port_, 0), 0);
    PlayToEnd(path, 0);
    EXPECT_EQ(samples->load(), 100u * 160);
    SetAudioOutputFactory(nullptr);
}

TEST_F(FilePortTest, StatesAndCallsInTheWrongOrder) {
    ASSERT_EQ(SetPlaybackClock(port_, std::make_shared<StoppedClock>()), 0);
    std::string path = Write("order.qvx");
    EXPECT_EQ(QVXPlay_OpenFile(0, path.c_str(), 0), -1);
    EXPECT_EQ(QVXPlay_OpenFile(port_, nullptr, 0), -1);
    EXPECT_EQ(QVXPlay_OpenFile(port_, "", 0), -1);
    EXPECT_EQ(QVXPlay_OpenFile(port_, path.c_str(), -1), -1);
    EXPECT_EQ(QVXPlay_OpenFile(port_, path.c_str(), 101), -1);
    EXPECT_EQ(QVXPlay_OpenFile(port_, (dir_ / "missing.qvx").c_str(), 0), -1);
    // Nothing open: nothing to play, pause, step or seek.
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_NONE);
    EXPECT_EQ(QVXPlay_Play(port_), -1);
    EXPECT_EQ(QVXPlay_Pause(port_), -1);
    EXPECT_EQ(QVXPlay_OneByOne(port_), -1);
    EXPECT_EQ(QVXPlay_SetPlayPos(port_, 10), -1);
    EXPECT_EQ(QVXPlay_GetFileTime(port_), -1);
    EXPECT_EQ(QVXPlay_GetPlayPos(port_), -1);
    EXPECT_EQ(QVXPlay_CloseFile(port_), 0);

    ASSERT_EQ(QVXPlay_OpenFile(port_, path.c_str(), 0), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_STOPPED);
    EXPECT_EQ(QVXPlay_Pause(port_), -1);  // not playing
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PLAYING);
    ASSERT_TRUE(WaitPictures(1));  // the first picture at once, the second never (no time passes)
    ASSERT_EQ(QVXPlay_Pause(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PAUSED);
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PLAYING);
    // A file that fails to open leaves the port without a file.
    EXPECT_EQ(QVXPlay_OpenFile(port_, (dir_ / "missing.qvx").c_str(), 0), -1);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_NONE);
    ASSERT_EQ(QVXPlay_OpenFile(port_, path.c_str(), 0), 0);
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    ASSERT_EQ(QVXPlay_Stop(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_STOPPED);
    ASSERT_EQ(QVXPlay_CloseFile(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_NONE);

    // A live stream on the same port: the same states; a file opened later replaces it,
    // and live input is refused while the file is open.
    StreamInfo info = test::MakeStreamInfo(64, 48);
    ASSERT_EQ(QVXPlay_OpenStream(port_, &info, sizeof info), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_STOPPED);
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PLAYING);
    ASSERT_EQ(QVXPlay_Pause(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PAUSED);
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_PLAYING);
    ASSERT_EQ(QVXPlay_OpenFile(port_, path.c_str(), 0), 0);
    auto record = test::MakeVideoRecord(Clip()[0], 0);
    EXPECT_EQ(QVXPlay_InputVideoData(port_, record.data(), static_cast<int>(record.size())), -1);
    ASSERT_EQ(QVXPlay_CloseFile(port_), 0);
    EXPECT_EQ(QVXPlay_GetPlayState(port_), QVXPLAY_STATE_STOPPED);  // the stream's header stayed
}

TEST_F(FilePortTest, H265FromAStreamFromAFileAndAsAPreview) {
    const auto clip = test::MakeH265Clip(64, 48, 30, 10);
    ASSERT_EQ(clip.size(), 30u);
    ASSERT_TRUE(clip[0].keyFrame);
    EXPECT_EQ(SniffVideoCodec(clip[0].bytes.data(), clip[0].bytes.size()), QVXPLAY_CODEC_H265);
    EXPECT_EQ(SniffVideoCodec(clip[1].bytes.data(), clip[1].bytes.size()), 0u);
    EXPECT_EQ(SniffVideoCodec(Clip()[0].bytes.data(), Clip()[0].bytes.size()), QVXPLAY_CODEC_H264);
    EXPECT_EQ(SniffVideoCodec(Clip()[1].bytes.data(), Clip()[1].bytes.size()), 0u);
    StreamInfo info = test::MakeStreamInfo(64, 48, kAudioNone, QVXPLAY_CODEC_H265);
    ASSERT_EQ(QVXPlay_OpenStream(port_, &info, sizeof info), 0);
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    for (size_t i = 0; i < clip.size(); ++i) {
        auto record = test::MakeVideoRecord(clip[i], static_cast<uint32_t>(i * 40), 1);
        ASSERT_EQ(QVXPlay_InputVideoData(port_, record.data(), static_cast<int>(record.size())), 0);
    }
    ASSERT_TRUE(WaitFor([&] { return Stats(port_).decodedPictures == 30; }));
    EXPECT_EQ(Stats(port_).pictureWidth, 64);
    test::TempDir shots;
    EXPECT_EQ(QVXPlay_Capture(port_, (shots / "hevc.jpg").c_str(), 0, 100), 0);

    // A cell's default header says no codec: the port follows the stream, from H.264 to
    // H.265 and back, each from its key frame on.
    StreamInfo unsaid = test::MakeStreamInfo(352, 288, kAudioNone, 0);
    ASSERT_EQ(QVXPlay_OpenStream(port_, &unsaid, sizeof unsaid), 0);
    ASSERT_EQ(QVXPlay_ResetSourceBuffer(port_), 0);
    auto feed = [&](const std::vector<EncodedPicture>& pictures, size_t count, uint32_t from) {
        for (size_t i = 0; i < count; ++i) {
            auto record = test::MakeVideoRecord(pictures[i], from + static_cast<uint32_t>(i * 40));
            ASSERT_EQ(QVXPlay_InputVideoData(port_, record.data(), static_cast<int>(record.size())), 0);
        }
    };
    feed(Clip(), 10, 10000);
    feed(clip, 10, 20000);
    feed(Clip(), 10, 30000);
    ASSERT_TRUE(WaitFor([&] { return Stats(port_).decodedPictures == 60; }));
    EXPECT_EQ(Stats(port_).decodeErrors, 0u);
    ASSERT_EQ(QVXPlay_Stop(port_), 0);

    test::RecordingShape shape;
    shape.codec = QVXPLAY_CODEC_H265;
    std::string path = dir_ / "hevc.qvx";
    test::WriteRecording(path, clip, shape);
    size_t before = surface_->PictureCount();
    PlayToEnd(path, 50);  // 580 ms of 1160: from the key frame at 400 ms
    auto all = Timestamps(*surface_);
    EXPECT_EQ(std::vector<uint32_t>(all.begin() + static_cast<ptrdiff_t>(before), all.end()),
              TimesFrom(400, 29 * 40));
    ASSERT_EQ(QVXPlay_ShotImage(port_, path.c_str(), 100), 0);
    EXPECT_EQ(Timestamps(*surface_).back(), 800u);
    EXPECT_EQ(Stats(port_).decodeErrors, 0u);
    // The same pictures as the H.264 path would draw: a real 32 x 24 picture.
    EXPECT_EQ(surface_->Pictures().back()->width, 32);
    EXPECT_EQ(surface_->Pictures().back()->sourceWidth, 64);
}

// The window of a surface goes while its port plays: the port holds the surface, so it
// keeps drawing into a valid object until it is unbound. Under AddressSanitizer a port
// that held a bare pointer would draw into freed memory here.
TEST_F(FilePortTest, ASurfaceMayGoWhileItsPortPlays) {
    ASSERT_EQ(SetPlaybackClock(port_, nullptr), 0);  // real time: playing while we watch
    ASSERT_EQ(QVXPlay_SetRate(port_, QVXPLAY_SPEED_FASTEST), 0);
    std::string path = Write("lifetime.qvx");
    ASSERT_EQ(QVXPlay_OpenFile(port_, path.c_str(), 0), 0);
    auto own = std::make_shared<MemorySurface>(24, 16);
    std::weak_ptr<MemorySurface> watch = own;
    ASSERT_EQ(QVXPlay_SetDrawWnd(port_, own.get()), 0);
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    ASSERT_TRUE(WaitFor([&] { return own->PictureCount() > 0; }));
    own.reset();  // the window is destroyed
    ASSERT_FALSE(watch.expired()) << "the port holds the surface";
    uint64_t presented = Stats(port_).presentedPictures;
    ASSERT_TRUE(WaitFor([&] { return Stats(port_).presentedPictures > presented + 5 || log_.ends > 0; }));
    ASSERT_EQ(QVXPlay_SetDrawWnd(port_, nullptr), 0);
    EXPECT_TRUE(watch.expired()) << "unbinding lets it go";

    // Many windows come and go on another thread while a port plays into them.
    std::atomic<bool> running{true};
    std::thread windows([&] {
        while (running) {
            auto s = std::make_shared<MemorySurface>(16 + std::rand() % 16, 16);
            QVXPlay_SetDrawWnd(port_, s.get());
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    for (int round = 0; round < 6; ++round) {
        ASSERT_EQ(QVXPlay_OpenFile(port_, path.c_str(), round * 15), 0);
        ASSERT_EQ(QVXPlay_Play(port_), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    running = false;
    windows.join();
    EXPECT_EQ(QVXPlay_DeInit(port_), 0);
    ASSERT_EQ(QVXPlay_InitV2(&port_, portNumber_), 0);  // for TearDown
}

TEST_F(FilePortTest, ControlCallsRaceWithPlaybackAndTeardown) {
    ASSERT_EQ(SetPlaybackClock(port_, nullptr), 0);
    std::string path = Write("race.qvx");
    ASSERT_EQ(QVXPlay_OpenFile(port_, path.c_str(), 0), 0);
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    std::atomic<bool> running{true};
    std::thread reader([&] {
        while (running) {
            QVXPlay_GetPlayState(port_);
            QVXPlay_GetPlayPos(port_);
            QVXPlay_GetPlayedTime(port_);
            QVXPlay_GetFileTime(port_);
            QVXPlay_ShowFrame(port_);
        }
    });
    std::mt19937 rng(9);
    for (int i = 0; i < 300; ++i) {
        switch (rng() % 9) {
            case 0: QVXPlay_Pause(port_); break;
            case 1: QVXPlay_Play(port_); break;
            case 2: QVXPlay_OneByOne(port_); break;
            case 3: QVXPlay_SetPlayPos(port_, static_cast<int>(rng() % 101)); break;
            case 4: QVXPlay_Fast(port_); break;
            case 5: QVXPlay_Slow(port_); break;
            case 6: QVXPlay_Stop(port_); break;
            case 7: QVXPlay_OpenFile(port_, path.c_str(), static_cast<int>(rng() % 101)); break;
            case 8: QVXPlay_ShotImage(port_, path.c_str(), static_cast<int>(rng() % 101)); break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    ASSERT_EQ(QVXPlay_SetRate(port_, 0), 0);
    ASSERT_EQ(QVXPlay_OpenFile(port_, path.c_str(), 90), 0);
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    int ends = log_.ends.load();
    EXPECT_TRUE(WaitEnds(ends + 1));  // still playing properly after all that
    EXPECT_EQ(Timestamps(*surface_).back(), kLastTime);
    // Torn down while the reader is still asking.
    EXPECT_EQ(QVXPlay_DeInit(port_), 0);
    running = false;
    reader.join();
    ASSERT_EQ(QVXPlay_InitV2(&port_, portNumber_), 0);  // for TearDown
}

}  // namespace
}  // namespace ocv::player
