// The playback page's figures, on its own rules (PlaybackController) and the real player library:
//   - BM_TimelineClickToPicture: from a click on the time line (a second inside one of the day's
//     four 30 s 1080p recordings, GOP 50, key frames indexed) to the first picture handed to the
//     window's surface (target: under 100 ms);
//   - BM_HighestSpeed: a window playing the day at level 4 (16 x): pictures shown per second of
//     wall time against 25 x 16, and how fast the window's time went (x normal speed);
//   - BM_LocalSearchMonth: every day of a month searched for each of 64 channels on two drives
//     (images.fi of 48 half-hour recordings per channel and day), plus the month's day marks,
//     warm (target: under 100 ms for the month);
//   - BM_FourWindowsCpu / BM_FourLiveCellsCpu: process CPU seconds per second of wall time for
//     four windows playing the 1080p recording at normal speed, and for four live ports fed the
//     same records at 25 per second as the live grid's players are.
// The 1080p clip is player_bench's (camera-like noise, 4 Mbit/s), written once as recordings
// under $TMPDIR/ocv-playback-bench. Run: build/bench/playback_bench
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "bench/player/bench_clip.h"
#include "player/qvx_player.h"
#include "player/video_surface.h"
#include "playback/local_recordings.h"
#include "playback/playback_controller.h"
#include "playback/qvx_playback_players.h"
#include "record/index_file.h"
#include "record/record_file_writer.h"
#include "tests/playback/playback_fakes.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace ocv;
using namespace ocv::playback;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kDayFiles = 4;
constexpr int kFileSeconds = 30;
constexpr int kFirstStart = 10 * 3600;  // the files follow each other from 10:00:00
const Date kDay{2020, 7, 8};

// A window that paints at once: takes every picture and counts it.
class CountingSurface final : public player::VideoSurface {
public:
    player::SurfaceFormat CurrentFormat() const override { return {960, 540, player::PixelFormat::kBgra32}; }
    void PictureReady() override {
        auto picture = TakePicture();
        benchmark::DoNotOptimize(picture.get());
        {
            std::lock_guard lock(mutex_);
            ++count_;
        }
        changed_.notify_all();
    }
    uint64_t Count() {
        std::lock_guard lock(mutex_);
        return count_;
    }
    bool WaitBeyond(uint64_t count, std::chrono::milliseconds bound) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, bound, [&] { return count_ > count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t count_ = 0;
};

class BenchView : public test::FakePlaybackView {
public:
    void* SurfaceOf(int window) override { return static_cast<player::VideoSurface*>(&surface[window]); }
    CountingSurface surface[4];
};

fs::path BenchDir() {
    const char* tmp = std::getenv("TMPDIR");
    return fs::path(tmp && *tmp ? tmp : "/tmp") / "ocv-playback-bench";
}

const bench::BenchClip& Clip() {
    static const bench::BenchClip clip = bench::MakeClip(1920, 1080, 750, "4M", 960, 540);
    return clip;
}

// Four recordings of the clip on drive D, one after another from 10:00:00, with their index.
const std::vector<DriveDir>& DayDrives() {
    static const std::vector<DriveDir> drives = [] {
        const fs::path drive = BenchDir() / "D";
        const fs::path folder = drive / "QVXFile/2020_07_08/cam01-5000-1";
        if (!fs::exists(folder / kIndexFileName)) {
            fs::create_directories(folder);
            const bench::BenchClip& clip = Clip();
            for (int f = 0; f < kDayFiles; ++f) {
                const int start = kFirstStart + f * kFileSeconds;
                char name[64];
                std::snprintf(name, sizeof name, "PREC200708_%02d%02d%02d.qvx", start / 3600, start / 60 % 60, start % 60);
                const std::string path = (folder / name).string();
                StreamInfo info{kVideoCodecH264, 1920, 1080, kAudioNone, 0, 0, 25};
                RecordFileWriter writer;
                writer.Create(path);
                writer.SetStreamInfo(info);
                writer.Open(static_cast<uint32_t>(start) * 1000);
                for (auto record : clip.records) {
                    FrameHeader h;
                    std::memcpy(&h, record.data(), sizeof h);
                    if (h.frameType % 10 == 3) h.frameType -= 2;  // key frames of kind 1: all indexed
                    std::memcpy(record.data(), &h, sizeof h);
                    writer.WriteFrame(record.data(), static_cast<uint32_t>(record.size()));
                }
                writer.Close();
                // Finished recordings: the player does not wait for them to grow at their end.
                timespec old[2];
                clock_gettime(CLOCK_REALTIME, &old[0]);
                old[0].tv_sec -= 3600;
                old[1] = old[0];
                utimensat(AT_FDCWD, path.c_str(), old, 0);
                IndexRecord r{};
                r.startHour = static_cast<uint16_t>(start / 3600);
                r.startMinute = static_cast<uint16_t>(start / 60 % 60);
                r.startSecond = static_cast<uint16_t>(start % 60);
                r.recordType = 3;
                r.durationSeconds = kFileSeconds;
                AppendIndexRecord((folder / kIndexFileName).string(), r);
            }
        }
        // Channels 2..4 show the same recordings (the four-window figure).
        for (int c = 2; c <= 4; ++c) {
            const fs::path other = drive / ("QVXFile/2020_07_08/cam01-5000-" + std::to_string(c));
            std::error_code ec;
            if (!fs::exists(other)) fs::create_directory_symlink(folder, other, ec);
        }
        return std::vector<DriveDir>{DriveDir{1, drive.string()}};
    }();
    return drives;
}

// The page's rules on real players: a window per test, its list searched and the file opened.
struct Page {
    Page()
        : players(zoom, [](int, intptr_t, intptr_t) {}, QVXPLAY_DRAW_FAST),
          controller(PlaybackServices{players, remote, directory, zoom, nullptr, {}, [] { return DayDrives(); }}, view,
                     [this](int m, intptr_t w, intptr_t l) { Deliver(m, w, l); }, PlaybackOptions{true, 0, 0, 3}) {
        device = directory.AddDevice("cam01", 5000, 4);
        controller.ChooseDay(kDay);
    }
    // Inline worker: results come back at once on this thread.
    void Deliver(int message, intptr_t w, intptr_t l) {
        if (message == kMsgFileEnded) ended = true;
        else pending.push_back(l);
        (void)w;
    }
    void Pump() {
        while (!pending.empty()) {
            const intptr_t ticket = pending.front();
            pending.erase(pending.begin());
            controller.OnWorkerResult(ticket);
        }
    }

    BenchView view;  // outlives the controller's ports
    DigitalZoom zoom;
    QvxPlaybackPlayers players;
    test::FakeRemote remote;
    test::FakeDirectory directory;
    std::vector<intptr_t> pending;
    bool ended = false;
    int device = 0;
    PlaybackController controller;
};

void BM_TimelineClickToPicture(benchmark::State& state) {
    DayDrives();
    Page page;
    page.controller.DropChannel(page.device, 0, 0);
    page.Pump();
    page.controller.Pause(0);
    if (page.controller.WindowList(0).size() != kDayFiles) {
        state.SkipWithError("the day's recordings were not found");
        return;
    }
    CountingSurface& surface = page.view.surface[0];
    double worstMs = 0;
    int i = 0;
    for (auto _ : state) {
        // Spread over the day's files and into their GOPs.
        const int second = kFirstStart + (i++ * 37 + 5) % (kDayFiles * kFileSeconds);
        const uint64_t before = surface.Count();
        const auto t0 = Clock::now();
        page.controller.TimelineClick(0, second);
        page.Pump();
        if (!surface.WaitBeyond(before, std::chrono::seconds(10))) {
            state.SkipWithError("no picture");
            break;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(seconds);
        worstMs = std::max(worstMs, seconds * 1000);
    }
    state.counters["worst_ms"] = worstMs;
}

void BM_HighestSpeed(benchmark::State& state) {
    DayDrives();
    double wall = 0, dayTime = 0;
    uint64_t shown = 0;
    for (auto _ : state) {
        Page page;
        page.controller.DropChannel(page.device, 0, 0);
        page.Pump();
        for (int k = 0; k < 4; ++k) page.controller.Fast(0);
        page.controller.TimelineClick(0, kFirstStart);
        page.Pump();
        const int from = kFirstStart;
        const uint64_t before = page.view.surface[0].Count();
        const auto t0 = Clock::now();
        // One file at 16 x: about two seconds.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const int reached = page.controller.CurrentSecond(0);
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(seconds);
        wall += seconds;
        dayTime += std::max(0, reached - from);
        shown += page.view.surface[0].Count() - before;
    }
    state.counters["shown_per_s"] = static_cast<double>(shown) / wall;
    state.counters["target_per_s"] = 25 * 16;
    state.counters["speed_x"] = dayTime / wall;
    state.counters["target_x"] = 16;
}

// 64 channels of one device on drives C and D, every day of July 2020, 48 half-hour
// recordings per channel and day (24 on each drive).
const std::vector<DriveDir>& MonthDrives() {
    static const std::vector<DriveDir> drives = [] {
        std::vector<DriveDir> out;
        for (int d = 0; d < 2; ++d) {
            const fs::path drive = BenchDir() / (d == 0 ? "monthC" : "monthD");
            out.push_back(DriveDir{d, drive.string()});
            if (fs::exists(drive / "done")) continue;
            for (int day = 1; day <= 31; ++day)
                for (int c = 1; c <= 64; ++c) {
                    char folder[96];
                    std::snprintf(folder, sizeof folder, "QVXFile/2020_07_%02d/nvr01-6000-%d", day, c);
                    fs::create_directories(drive / folder);
                    std::vector<IndexRecord> records;
                    for (int k = d; k < 48; k += 2) {
                        IndexRecord r{};
                        r.startHour = static_cast<uint16_t>(k / 2);
                        r.startMinute = static_cast<uint16_t>(k % 2 * 30);
                        r.recordType = static_cast<uint16_t>(k % 3 + 1);
                        r.durationSeconds = 1800;
                        records.push_back(r);
                    }
                    ReplaceIndexFile((drive / folder / kIndexFileName).string(), records);
                }
            std::FILE* f = std::fopen((drive / "done").c_str(), "w");
            if (f) std::fclose(f);
        }
        return out;
    }();
    return drives;
}

void BM_LocalSearchMonth(benchmark::State& state) {
    const std::vector<DriveDir>& drives = MonthDrives();
    size_t entries = 0;
    for (auto _ : state) {
        entries = 0;
        DayMarks marks = LocalDayMarks(drives, 2020, 7);
        benchmark::DoNotOptimize(marks);
        for (int day = 1; day <= 31; ++day)
            for (int c = 1; c <= 64; ++c) {
                RecordList list;
                SearchLocalDay(drives, Date{2020, 7, day}, "nvr01-6000-" + std::to_string(c), kTypeAll, &list);
                entries += list.size();
            }
    }
    if (entries != 31u * 64u * 48u) state.SkipWithError("the month was not found whole");
    state.counters["searches"] = 31 * 64;
    state.counters["entries"] = static_cast<double>(entries);
}

double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

constexpr auto kCpuWindow = std::chrono::seconds(6);

void BM_FourWindowsCpu(benchmark::State& state) {
    DayDrives();
    for (auto _ : state) {
        Page page;
        for (int w = 0; w < 4; ++w) {
            page.controller.DropChannel(page.device, w, w);
            page.Pump();
        }
        // Four channels, one recording folder: every window plays the same day.
        const auto start = Clock::now();
        const double cpu0 = ProcessCpuSeconds();
        uint64_t before = 0;
        for (auto& s : page.view.surface) before += s.Count();
        std::this_thread::sleep_for(kCpuWindow);
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        uint64_t after = 0;
        for (auto& s : page.view.surface) after += s.Count();
        state.SetIterationTime(wall);
        state.counters["cpu_per_s"] = cpu / wall;
        state.counters["pictures_per_s"] = static_cast<double>(after - before) / wall;
    }
}

void BM_FourLiveCellsCpu(benchmark::State& state) {
    const bench::BenchClip& clip = Clip();
    for (auto _ : state) {
        CountingSurface surfaces[4];
        int ports[4] = {};
        for (int k = 0; k < 4; ++k) {
            QVXPlay_InitV2(&ports[k], 240 + k);
            QVXPlay_SetDrawWnd(ports[k], static_cast<player::VideoSurface*>(&surfaces[k]));
            QVXPlay_SetDrawMode(ports[k], QVXPLAY_DRAW_FAST);
            StreamInfo info{};
            QVXPlay_OpenStream(ports[k], &info, sizeof info);
            QVXPlay_Play(ports[k]);
        }
        const auto start = Clock::now();
        const double cpu0 = ProcessCpuSeconds();
        // A device's pace: one record per 40 ms to each port.
        size_t i = 0;
        auto next = start;
        while (Clock::now() - start < kCpuWindow) {
            const auto& record = clip.records[i++ % clip.records.size()];
            for (int port : ports) QVXPlay_InputVideoData(port, record.data(), static_cast<int>(record.size()));
            next += std::chrono::milliseconds(40);
            std::this_thread::sleep_until(next);
        }
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        uint64_t shown = 0;
        for (auto& s : surfaces) shown += s.Count();
        for (int port : ports) QVXPlay_DeInit(port);
        state.SetIterationTime(wall);
        state.counters["cpu_per_s"] = cpu / wall;
        state.counters["pictures_per_s"] = static_cast<double>(shown) / wall;
    }
}

}  // namespace

BENCHMARK(BM_TimelineClickToPicture)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_HighestSpeed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LocalSearchMonth)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_FourWindowsCpu)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FourLiveCellsCpu)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
