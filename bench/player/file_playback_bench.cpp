// Recording-file playback on a player port, in wall time (what the operator waits for):
//   - from QVXPlay_OpenFile at a percentage to the first picture in the surface, for a
//     30 s 1080p recording with a key frame every 50 pictures (target: under 100 ms);
//   - playing at the fastest levels: pictures shown per second of wall time against the
//     level's rate (25 pictures per second x the speed), and how fast the file's time
//     line went (x normal speed). Above what decoding can keep up with, only key frames
//     are shown while the time line keeps its pace.
// The recording is written once with the recorder's file writer, from the clip that
// player_bench uses, under $TMPDIR/ocv-player-bench; the page cache holds it after the
// first run (warm figures). Run: build/bench/player_file_bench
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "bench/player/bench_clip.h"
#include "player/player_statistics.h"
#include "player/qvx_player.h"
#include "player/video_surface.h"
#include "record/record_file_writer.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace ocv;
using namespace ocv::player;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 251;

// A window that paints at once: takes every picture and counts it.
class CountingSurface final : public VideoSurface {
public:
    SurfaceFormat CurrentFormat() const override { return {960, 540, PixelFormat::kBgra32}; }
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

struct EndFlag {
    std::mutex mutex;
    std::condition_variable cv;
    bool ended = false;
};

void OnState(int, int state, intptr_t user) {
    auto* flag = reinterpret_cast<EndFlag*>(user);
    if (state != QVXPLAY_STATE_END) return;
    std::lock_guard lock(flag->mutex);
    flag->ended = true;
    flag->cv.notify_all();
}

// The 1080p clip as a recording: key frames of kind 1 (every one indexed), 40 ms apart.
const std::string& Recording() {
    static const std::string path = [] {
        bench::BenchClip clip = bench::MakeClip(1920, 1080, 750, "4M", 960, 540);
        std::string file = std::filesystem::path(clip.path).replace_extension(".qvx").string();
        if (!std::filesystem::exists(file)) {
            StreamInfo info{kVideoCodecH264, 1920, 1080, kAudioNone, 0, 0, 25};
            RecordFileWriter writer;
            writer.Create(file);
            writer.SetStreamInfo(info);
            writer.Open(10 * 3600 * 1000);
            for (auto record : clip.records) {
                FrameHeader h;
                std::memcpy(&h, record.data(), sizeof h);
                if (h.frameType % 10 == 3) h.frameType -= 2;
                std::memcpy(record.data(), &h, sizeof h);
                writer.WriteFrame(record.data(), static_cast<uint32_t>(record.size()));
            }
            writer.Close();
            // A finished recording: the port does not wait for it to grow at its end.
            timespec old[2];
            clock_gettime(CLOCK_REALTIME, &old[0]);
            old[0].tv_sec -= 3600;
            old[1] = old[0];
            utimensat(AT_FDCWD, file.c_str(), old, 0);
        }
        return file;
    }();
    return path;
}

void BM_OpenToFirstPicture(benchmark::State& state) {
    const std::string& path = Recording();
    const int percent = static_cast<int>(state.range(0));
    auto surface = std::make_shared<CountingSurface>();
    int port = 0;
    QVXPlay_InitV2(&port, kPort);
    QVXPlay_SetDrawWnd(port, surface.get());
    double worstMs = 0;
    for (auto _ : state) {
        uint64_t before = surface->Count();
        auto t0 = Clock::now();
        if (QVXPlay_OpenFile(port, path.c_str(), percent) != 0 || QVXPlay_Play(port) != 0) {
            state.SkipWithError("open failed");
            break;
        }
        if (!surface->WaitBeyond(before, std::chrono::seconds(10))) {
            state.SkipWithError("no picture");
            break;
        }
        double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(seconds);
        worstMs = std::max(worstMs, seconds * 1000);
        QVXPlay_CloseFile(port);
    }
    state.counters["worst_ms"] = worstMs;
    QVXPlay_DeInit(port);
}

void BM_FastestSpeeds(benchmark::State& state) {
    const std::string& path = Recording();
    const int level = static_cast<int>(state.range(0));
    auto surface = std::make_shared<CountingSurface>();
    EndFlag end;
    int port = 0;
    QVXPlay_InitV2(&port, kPort);
    QVXPlay_SetDrawWnd(port, surface.get());
    QVXPlay_SetStateCallBack(port, &OnState, reinterpret_cast<intptr_t>(&end));
    QVXPlay_SetRate(port, level);
    double wall = 0, fileSeconds = 0;
    uint64_t shown = 0;
    for (auto _ : state) {
        {
            std::lock_guard lock(end.mutex);
            end.ended = false;
        }
        uint64_t before = surface->Count();
        auto t0 = Clock::now();
        QVXPlay_OpenFile(port, path.c_str(), 0);
        QVXPlay_Play(port);
        {
            std::unique_lock lock(end.mutex);
            if (!end.cv.wait_for(lock, std::chrono::seconds(120), [&] { return end.ended; })) {
                state.SkipWithError("no end");
                break;
            }
        }
        double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(seconds);
        wall += seconds;
        shown += surface->Count() - before;
        fileSeconds += QVXPlay_GetFileTime(port) / 1000.0;
        QVXPlay_CloseFile(port);
    }
    const double rate = 1 << level;
    state.counters["shown_per_s"] = static_cast<double>(shown) / wall;
    state.counters["target_per_s"] = 25 * rate;
    state.counters["speed_x"] = fileSeconds / wall;
    state.counters["target_x"] = rate;
    QVXPlay_DeInit(port);
}

}  // namespace

BENCHMARK(BM_OpenToFirstPicture)->ArgName("percent")->Arg(0)->Arg(37)->Arg(50)->Arg(93)->Arg(100)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_FastestSpeeds)->ArgName("level")->Arg(2)->Arg(3)->Arg(4)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
