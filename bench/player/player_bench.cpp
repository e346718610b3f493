// Live decoding throughput on one decoding thread, against libavcodec decoding alone
// (the limit) and the ffmpeg command line doing the same work (the peer): the same clip,
// the same single decoding thread, the same scaler as the player's drawing method (fast
// bilinear by default) to the same size and BGRA:
//   ffmpeg -threads 1 -filter_threads 1 -i clip -vf scale=W:H:flags=fast_bilinear,format=bgra -f null -
// CIF is drawn into 320 x 240, 1080p into 960 x 540. The peer's start-up (process start,
// probing) is measured with a one-picture run and taken off.
// The clips are made with the ffmpeg command line (libx264, camera-like bit rates) under
// $TMPDIR/ocv-player-bench. Run: build/bench/player_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "bench/player/bench_clip.h"
#include "player/av_ptr.h"
#include "player/display_geometry.h"
#include "player/video_decoder.h"
#include "player/picture_converter.h"
#include "player/player_statistics.h"
#include "player/qvx_player.h"
#include "player/video_surface.h"
#include "base/media_types.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace ocv;
using namespace ocv::player;
using ocv::bench::BenchClip;
using ocv::bench::MakeClip;

const BenchClip& Clip(int which) {
    static const BenchClip cif = MakeClip(352, 288, 1000, "512k", 320, 240);
    static const BenchClip hd = MakeClip(1920, 1080, 200, "4M", 960, 540);
    return which == 0 ? cif : hd;
}

void SetRate(benchmark::State& state, size_t frames) {
    state.counters["fps"] = benchmark::Counter(static_cast<double>(frames) * state.iterations(),
                                               benchmark::Counter::kIsRate);
}

// The limit: libavcodec alone, one thread, pictures thrown away.
void DecodeOnly(const BenchClip& clip) {
    {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        AvCodecContextPtr ctx(avcodec_alloc_context3(codec));
        ctx->thread_count = 1;
        avcodec_open2(ctx.get(), codec, nullptr);
        AvPacketPtr packet(av_packet_alloc());
        AvFramePtr frame(av_frame_alloc());
        size_t pictures = 0;
        for (const auto& unit : clip.units) {
            packet->data = const_cast<uint8_t*>(unit.data());
            packet->size = static_cast<int>(unit.size() - AV_INPUT_BUFFER_PADDING_SIZE);
            avcodec_send_packet(ctx.get(), packet.get());
            while (avcodec_receive_frame(ctx.get(), frame.get()) == 0) ++pictures;
        }
        benchmark::DoNotOptimize(pictures);
    }
}

void BM_DecodeOnly(benchmark::State& state) {
    const BenchClip& clip = Clip(static_cast<int>(state.range(0)));
    for (auto _ : state) DecodeOnly(clip);
    SetRate(state, clip.units.size());
}

class TakingSurface : public VideoSurface {
public:
    TakingSurface(int w, int h, PixelFormat f = PixelFormat::kBgra32) : format_{w, h, f} {}
    SurfaceFormat CurrentFormat() const override { return format_; }
    void PictureReady() override {
        auto picture = TakePicture();
        benchmark::DoNotOptimize(picture.get());
        ++taken;
    }
    std::atomic<uint64_t> taken{0};

private:
    SurfaceFormat format_;
};

// The player's picture path on the calling thread: decode, convert, post, take.
void DecodeConvert(const BenchClip& clip, int method, PixelFormat format,
                   FastConverter fast = FastConverter::kPlaneScaler) {
    TakingSurface surface(clip.surfaceWidth, clip.surfaceHeight, format);
    {
        VideoDecoder decoder;
        decoder.Open(QVXPLAY_CODEC_H264);
        PictureConverter converter(fast);
        std::vector<AvFramePtr> pictures;
        for (const auto& unit : clip.units) {
            pictures.clear();
            decoder.Decode(unit.data(), unit.size() - AV_INPUT_BUFFER_PADDING_SIZE, 0, &pictures);
            for (const auto& p : pictures) {
                DisplayRequest request;
                request.pictureWidth = p->width;
                request.pictureHeight = p->height;
                request.surfaceWidth = clip.surfaceWidth;
                request.surfaceHeight = clip.surfaceHeight;
                DisplayLayout layout;
                ComputeDisplayLayout(request, &layout);
                surface.PostPicture(converter.Convert(*p, layout, format, method));
                surface.PictureReady();
            }
        }
    }
}

void BM_DecodeConvertInline(benchmark::State& state) {
    const BenchClip& clip = Clip(static_cast<int>(state.range(0)));
    int method = static_cast<int>(state.range(1));
    // A surface that converts to RGB itself (on the GPU) may ask for I420 instead.
    auto format = static_cast<PixelFormat>(state.range(2));
    auto fast = static_cast<FastConverter>(state.range(3));
    for (auto _ : state) DecodeConvert(clip, method, format, fast);
    SetRate(state, clip.units.size());
}

// The first pictures of a clip, decoded once, for the conversion alone.
const std::vector<AvFramePtr>& DecodedPictures(int which) {
    static std::vector<AvFramePtr> pictures[2];
    if (pictures[which].empty()) {
        const BenchClip& clip = Clip(which);
        VideoDecoder decoder;
        decoder.Open(QVXPLAY_CODEC_H264);
        for (size_t i = 0; i < clip.units.size() && pictures[which].size() < 25; ++i)
            decoder.Decode(clip.units[i].data(), clip.units[i].size() - AV_INPUT_BUFFER_PADDING_SIZE, 0,
                           &pictures[which]);
    }
    return pictures[which];
}

// Drawing alone, same pictures, same size, BGRA: the player's (PlaneScaler and libyuv's colour
// conversion), libyuv alone, libswscale's fast bilinear.
void BM_ConvertOnly(benchmark::State& state) {
    int which = static_cast<int>(state.range(0));
    const BenchClip& clip = Clip(which);
    const auto& pictures = DecodedPictures(which);
    PictureConverter converter(static_cast<FastConverter>(state.range(1)));
    DisplayRequest request;
    request.pictureWidth = clip.width;
    request.pictureHeight = clip.height;
    request.surfaceWidth = clip.surfaceWidth;
    request.surfaceHeight = clip.surfaceHeight;
    DisplayLayout layout;
    ComputeDisplayLayout(request, &layout);
    for (auto _ : state)
        for (const auto& p : pictures) {
            auto picture = converter.Convert(*p, layout, PixelFormat::kBgra32, QVXPLAY_DRAW_FAST);
            benchmark::DoNotOptimize(picture.get());
        }
    SetRate(state, pictures.size());
}

// What the OpenGL surface takes off the decoding thread: the same pictures drawn to the cell's
// size as BGRA (what the decoder does for a surface without a GPU) against handing the surface
// the decoder's own planes (a frame reference; the GPU scales and converts). Thread CPU time.
double ThreadCpuSeconds();

struct HandOverRow {
    double convert = 0, handOver = 0;
    size_t pictures = 0;
};
HandOverRow gHandOver[2];

void BM_GpuHandOver(benchmark::State& state) {
    int which = static_cast<int>(state.range(0));
    const BenchClip& clip = Clip(which);
    const auto& pictures = DecodedPictures(which);
    PictureConverter converter;
    DisplayRequest request;
    request.pictureWidth = clip.width;
    request.pictureHeight = clip.height;
    request.surfaceWidth = clip.surfaceWidth;
    request.surfaceHeight = clip.surfaceHeight;
    DisplayLayout layout;
    ComputeDisplayLayout(request, &layout);
    HandOverRow& row = gHandOver[which];
    for (auto _ : state) {
        double t0 = ThreadCpuSeconds();
        for (const auto& p : pictures) {
            auto picture = converter.Convert(*p, layout, PixelFormat::kBgra32, QVXPLAY_DRAW_FAST);
            benchmark::DoNotOptimize(picture.get());
        }
        double t1 = ThreadCpuSeconds();
        for (const auto& p : pictures) {
            auto picture = converter.Convert(*p, layout, PixelFormat::kDecodedYuv, QVXPLAY_DRAW_FAST);
            benchmark::DoNotOptimize(picture.get());
        }
        double t2 = ThreadCpuSeconds();
        row.convert += t1 - t0;
        row.handOver += t2 - t1;
        row.pictures += pictures.size();
    }
    state.counters["bgra_us"] = 1e6 * row.convert / static_cast<double>(row.pictures);
    state.counters["handover_us"] = 1e6 * row.handOver / static_cast<double>(row.pictures);
}

void PrintHandOver() {
    const char* names[2] = {"CIF -> 320x240", "1080p -> 960x540"};
    bool any = false;
    for (int i = 0; i < 2; ++i) {
        const HandOverRow& r = gHandOver[i];
        if (r.pictures == 0) continue;
        if (!any) {
            std::printf("\nthe decoding thread's drawing work per picture (thread CPU): converting to BGRA at the "
                        "cell's size, against handing the OpenGL surface the decoded planes\n");
            std::printf("%-18s %12s %12s | %s\n", "clip", "BGRA (us)", "hand-over", "saved at 36 x 25 pictures/s");
            any = true;
        }
        double convert = 1e6 * r.convert / static_cast<double>(r.pictures);
        double handOver = 1e6 * r.handOver / static_cast<double>(r.pictures);
        std::printf("%-18s %12.1f %12.2f | %.3f core\n", names[i], convert, handOver, (convert - handOver) * 900 / 1e6);
    }
}

// Feeds the clip through QVXPlay_InputVideoData as a device stream would, only faster: in
// bursts that keep the port's input queue between 40 and 200 frames (it holds 250), so
// nothing is dropped and the feeder's own waiting costs next to nothing.
void FeedPort(int port, const BenchClip& clip, uint64_t* presented) {
    size_t next = 0;
    while (next < clip.records.size()) {
        PortStatistics s;
        GetPortStatistics(port, &s);
        if (s.queuedFrames > 40) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        for (size_t n = 0; n < 160 && next < clip.records.size(); ++n, ++next) {
            const auto& record = clip.records[next];
            QVXPlay_InputVideoData(port, record.data(), static_cast<int>(record.size()));
        }
    }
    *presented += clip.records.size();
    PortStatistics s;
    while (GetPortStatistics(port, &s) == 0 && s.presentedPictures < *presented)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

int OpenBenchPort(const BenchClip& clip, int method, TakingSurface* surface) {
    (void)clip;
    int port = 0;
    QVXPlay_InitV2(&port, 250);
    QVXPlay_SetDrawWnd(port, surface);
    QVXPlay_SetDrawMode(port, method);
    StreamInfo info{};
    QVXPlay_OpenStream(port, &info, sizeof info);
    QVXPlay_Play(port);
    return port;
}

// The whole port: records in through QVXPlay_InputVideoData, decoded on the port's one
// decoding thread, converted and handed to the surface.
void BM_PlayerPort(benchmark::State& state) {
    const BenchClip& clip = Clip(static_cast<int>(state.range(0)));
    int method = static_cast<int>(state.range(1));
    TakingSurface surface(clip.surfaceWidth, clip.surfaceHeight);
    int port = OpenBenchPort(clip, method, &surface);
    uint64_t presented = 0;
    for (auto _ : state) FeedPort(port, clip, &presented);
    PortStatistics s;
    GetPortStatistics(port, &s);
    state.counters["dropped"] = static_cast<double>(s.framesDiscarded);
    QVXPlay_DeInit(port);
    SetRate(state, clip.units.size());
}

// A cell much smaller than its stream: CIF into 160 x 120, 1080p into 320 x 180 (a 6 x 6 grid
// on a 1920 x 1080 screen), decoded with the loop filter skipped for some pictures or none.
// The quality cost is the PSNR of the drawn luma against the same cell drawn from the full
// decode, over every picture of the clip (the error of a skipped filter drifts until the next
// key picture): mean and worst picture.
constexpr int kSmallCell[2][2] = {{160, 120}, {320, 180}};
constexpr AVDiscard kSkipLevels[3] = {AVDISCARD_DEFAULT, AVDISCARD_NONREF, AVDISCARD_NONKEY};

std::vector<std::vector<uint8_t>> DrawSmallCell(const BenchClip& clip, int which, AVDiscard skip, PixelFormat format) {
    std::vector<std::vector<uint8_t>> drawn;
    VideoDecoder decoder;
    decoder.Open(QVXPLAY_CODEC_H264);
    decoder.SetSkipLoopFilter(skip);
    PictureConverter converter;
    std::vector<AvFramePtr> pictures;
    DisplayRequest request;
    request.pictureWidth = clip.width;
    request.pictureHeight = clip.height;
    request.surfaceWidth = kSmallCell[which][0];
    request.surfaceHeight = kSmallCell[which][1];
    DisplayLayout layout;
    ComputeDisplayLayout(request, &layout);
    for (const auto& unit : clip.units) {
        pictures.clear();
        decoder.Decode(unit.data(), unit.size() - AV_INPUT_BUFFER_PADDING_SIZE, 0, &pictures);
        for (const auto& p : pictures) {
            auto picture = converter.Convert(*p, layout, format, QVXPLAY_DRAW_FAST);
            if (format != PixelFormat::kI420 || !picture) continue;
            std::vector<uint8_t> luma;
            for (int y = 0; y < picture->height; ++y)
                luma.insert(luma.end(), picture->planes[0] + y * picture->strides[0],
                            picture->planes[0] + y * picture->strides[0] + picture->width);
            drawn.push_back(std::move(luma));
        }
    }
    return drawn;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    double mse = sum / static_cast<double>(std::max<size_t>(a.size(), 1));
    return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

double ThreadCpuSeconds();

// The three levels run one after another in every iteration, so the machine's load weighs on
// them alike; rates from thread CPU time.
void BM_SmallCell(benchmark::State& state) {
    int which = static_cast<int>(state.range(0));
    const BenchClip& clip = Clip(which);
    double seconds[3] = {0, 0, 0};
    for (auto _ : state)
        for (int level = 0; level < 3; ++level) {
            double t0 = ThreadCpuSeconds();
            DrawSmallCell(clip, which, kSkipLevels[level], PixelFormat::kBgra32);
            seconds[level] += ThreadCpuSeconds() - t0;
        }
    const char* names[3] = {"none", "nonref", "nonkey"};
    auto reference = DrawSmallCell(clip, which, AVDISCARD_DEFAULT, PixelFormat::kI420);
    for (int level = 0; level < 3; ++level) {
        double fps = static_cast<double>(clip.units.size()) * state.iterations() / seconds[level];
        state.counters[std::string(names[level]) + "_fps"] = fps;
        if (level == 0) continue;
        state.counters[std::string(names[level]) + "_gain"] = seconds[0] / seconds[level];
        // The quality, once, outside the timing.
        auto drawn = DrawSmallCell(clip, which, kSkipLevels[level], PixelFormat::kI420);
        double mean = 0, worst = 99;
        for (size_t i = 0; i < drawn.size() && i < reference.size(); ++i) {
            double p = Psnr(drawn[i], reference[i]);
            mean += p / static_cast<double>(drawn.size());
            worst = std::min(worst, p);
        }
        state.counters[std::string(names[level]) + "_psnr_db"] = mean;
        state.counters[std::string(names[level]) + "_worst_db"] = worst;
    }
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds the ffmpeg run used (user + system), like the process CPU time of the
// other benchmarks; wall time on this shared machine depends on the neighbours.
// The clip's file `loops` times over (an Annex-B stream may simply be repeated: each round
// begins at a key frame with its parameter sets), made once beside the clip.
std::string LoopedClip(const BenchClip& clip, int loops) {
    if (loops <= 1) return clip.path;
    std::string path = clip.path + ".x" + std::to_string(loops) + ".h264";
    if (!std::filesystem::exists(path)) {
        std::ifstream in(clip.path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::ofstream out(path + ".part", std::ios::binary);
        for (int i = 0; i < loops; ++i) out << bytes;
        out.close();
        std::filesystem::rename(path + ".part", path);
    }
    return path;
}

// The clip is read `loops` times over, so that the start-up weighs less.
double RunFfmpeg(const std::string& input, const BenchClip& clip, int frames, int loops = 1) {
    // The player's default drawing method is fast bilinear (QVXPLAY_DRAW_FAST).
    std::string cmd = "ffmpeg -v error -threads 1 -filter_threads 1 -i " +
                      (loops > 1 ? LoopedClip(clip, loops) : input) + " -frames:v " +
                      std::to_string(frames) + " -an -vf scale=" + std::to_string(clip.surfaceWidth) +
                      ":" + std::to_string(clip.surfaceHeight) +
                      ":flags=fast_bilinear,format=bgra -f null -";
    double before = ChildrenCpuSeconds();
    int rc = std::system(cmd.c_str());
    double seconds = ChildrenCpuSeconds() - before;
    return rc == 0 ? seconds : -1;
}

// The peer. The process start and probing time is measured with a one-picture run and
// taken off, so the figure is the peer's steady per-picture rate.
constexpr int kPeerLoops = 3;
void BM_FfmpegPeer(benchmark::State& state) {
    const BenchClip& clip = Clip(static_cast<int>(state.range(0)));
    int frames = kPeerLoops * static_cast<int>(clip.units.size());
    double startup = RunFfmpeg(clip.path, clip, 1);
    for (auto _ : state) {
        double whole = RunFfmpeg(clip.path, clip, frames, kPeerLoops);
        if (whole < 0 || startup < 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
        state.SetIterationTime(std::max(whole - startup, 1e-6));
    }
    state.counters["fps"] = benchmark::Counter(
        static_cast<double>(frames - 1) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["startup_ms"] = startup * 1000;
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The report: the contenders run one after another in every iteration, so that the load of
// a shared machine weighs on all of them alike, and the rates are taken from the CPU seconds
// each used: thread CPU time for the work on this thread, process CPU time for the port
// (decoding thread and feeder), children CPU time for ffmpeg. Printed side by side with the
// ratios at the end of the run.
struct ComparisonRow {
    double decode = 0, inlined = 0, inlinedSwscale = 0, port = 0, peer = 0;
    int iterations = 0;
};
ComparisonRow gRows[2];

void BM_Comparison(benchmark::State& state) {
    int which = static_cast<int>(state.range(0));
    const BenchClip& clip = Clip(which);
    ComparisonRow& row = gRows[which];
    TakingSurface surface(clip.surfaceWidth, clip.surfaceHeight);
    int port = OpenBenchPort(clip, QVXPLAY_DRAW_FAST, &surface);
    uint64_t presented = 0;
    for (auto _ : state) {
        double t0 = ThreadCpuSeconds();
        DecodeOnly(clip);
        double t1 = ThreadCpuSeconds();
        DecodeConvert(clip, QVXPLAY_DRAW_FAST, PixelFormat::kBgra32, FastConverter::kPlaneScaler);
        double t2 = ThreadCpuSeconds();
        DecodeConvert(clip, QVXPLAY_DRAW_FAST, PixelFormat::kBgra32, FastConverter::kSwscale);
        double t3 = ThreadCpuSeconds();
        double p0 = ProcessCpuSeconds();
        FeedPort(port, clip, &presented);
        double p1 = ProcessCpuSeconds();
        // The peer reads the clip three times over and its start-up is measured next to it.
        double startup = RunFfmpeg(clip.path, clip, 1);
        double peer = RunFfmpeg(clip.path, clip, kPeerLoops * static_cast<int>(clip.units.size()), kPeerLoops);
        row.decode += t1 - t0;
        row.inlined += t2 - t1;
        row.inlinedSwscale += t3 - t2;
        row.port += p1 - p0;
        row.peer += std::max(peer - startup, 1e-6);
        ++row.iterations;
    }
    QVXPlay_DeInit(port);
    double frames = static_cast<double>(clip.units.size()) * row.iterations;
    double peerFrames = static_cast<double>(kPeerLoops * clip.units.size() - 1) * row.iterations;
    state.counters["decode_fps"] = frames / row.decode;
    state.counters["inline_fps"] = frames / row.inlined;
    state.counters["port_fps"] = frames / row.port;
    state.counters["peer_fps"] = peerFrames / row.peer;
    state.counters["port_vs_peer"] = (frames / row.port) / (peerFrames / row.peer);
    state.counters["port_vs_decode"] = row.decode / row.port;
}

void PrintComparison() {
    const char* names[2] = {"CIF -> 320x240", "1080p -> 960x540"};
    bool any = false;
    for (int i = 0; i < 2; ++i) {
        const ComparisonRow& r = gRows[i];
        if (r.iterations == 0) continue;
        if (!any) {
            std::printf("\npictures per CPU second (fast bilinear, BGRA, one decoding thread); inline and port "
                        "draw as the player does (PlaneScaler, libyuv colours), 'swscale' is the inline path "
                        "drawing with libswscale\n");
            std::printf("%-18s %9s %9s %9s %9s %9s | %12s %12s %14s\n", "clip", "decode", "inline", "swscale",
                        "port", "ffmpeg", "port/ffmpeg", "port/decode", "inline/ffmpeg");
            any = true;
        }
        const BenchClip& clip = Clip(i);
        double frames = static_cast<double>(clip.units.size()) * r.iterations;
        double peerFrames = static_cast<double>(kPeerLoops * clip.units.size() - 1) * r.iterations;
        double decode = frames / r.decode, inlined = frames / r.inlined, swscale = frames / r.inlinedSwscale,
               port = frames / r.port, peer = peerFrames / r.peer;
        std::printf("%-18s %9.0f %9.0f %9.0f %9.0f %9.0f | %11.2fx %11.0f%% %13.2fx\n", names[i], decode, inlined,
                    swscale, port, peer, port / peer, 100 * port / decode, inlined / peer);
    }
}

void Sizes(benchmark::internal::Benchmark* b) { b->ArgNames({"cif0_1080p1"}); }

}  // namespace

// Rates are per CPU second of the whole process (decoding thread included).
BENCHMARK(BM_DecodeOnly)->Apply(Sizes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)->MeasureProcessCPUTime();
// fast drawing by 0 PlaneScaler + libyuv colours (the player's), 1 libyuv alone, 2 libswscale;
// smooth drawing is always libswscale.
BENCHMARK(BM_DecodeConvertInline)
    ->ArgNames({"cif0_1080p1", "smooth", "format", "converter"})
    ->Args({0, 0, 0, 0})->Args({1, 0, 0, 0})->Args({0, 0, 0, 2})->Args({1, 0, 0, 2})
    ->Args({0, 1, 0, 0})->Args({1, 1, 0, 0})
    ->Args({0, 0, 3, 0})->Args({1, 0, 3, 0})
    ->Unit(benchmark::kMillisecond)->MinTime(2.0)->MeasureProcessCPUTime();
BENCHMARK(BM_ConvertOnly)
    ->ArgNames({"cif0_1080p1", "converter"})
    ->Args({0, 0})->Args({0, 1})->Args({0, 2})->Args({1, 0})->Args({1, 1})->Args({1, 2})
    ->Unit(benchmark::kMicrosecond)->MinTime(1.0)->MeasureProcessCPUTime();
BENCHMARK(BM_PlayerPort)
    ->ArgNames({"cif0_1080p1", "smooth"})
    ->Args({0, 0})->Args({1, 0})
    ->Unit(benchmark::kMillisecond)->MinTime(2.0)->MeasureProcessCPUTime();
// Loop filter skipped for no picture, non-reference pictures, all but key pictures.
BENCHMARK(BM_SmallCell)->Apply(Sizes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_FfmpegPeer)->Apply(Sizes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)
    ->UseManualTime()->Iterations(3);

BENCHMARK(BM_GpuHandOver)->Apply(Sizes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Comparison)->Apply(Sizes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)
    ->Iterations(8);

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    PrintComparison();
    PrintHandOver();
    benchmark::Shutdown();
    return 0;
}
