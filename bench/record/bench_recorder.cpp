// Recording path measurements.
//   bench_recorder ingest [--channels 64] [--mb-per-channel 30] [--rounds 3] [--dir D]
//       64 recorders fed synthetic 4 Mbit/s streams as fast as they take them: MB/s reaching
//       the disk, against one thread writing the same bytes with the same write sizes (limit).
//       Both sides start after a sync and end with one, so neither inherits the other's
//       dirty pages nor leaves its own unwritten.
//   bench_recorder realtime [--channels 64] [--seconds 60] [--dir D]
//       channels at 4 Mbit/s, 25 fps in real time: CPU of the recording path per channel,
//       frames lost, resident memory per channel.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/app_dir.h"
#include "platform/file_util.h"
#include "record/record_file_reader.h"
#include "record/recorder.h"
#include "base/clock.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kFrameBytes = 20000;  // 4 Mbit/s at 25 fps
constexpr int kFps = 25;

struct Options {
    std::string mode = "realtime";
    int channels = 64;
    int seconds = 60;
    int mbPerChannel = 30;
    int rounds = 3;
    std::string dir = "/tmp/ocv-bench-recorder";
};

std::vector<uint8_t> MakeFrame(uint32_t number, uint32_t ts) {
    std::vector<uint8_t> f(ocv::kFrameHeaderBytes + kFrameBytes, static_cast<uint8_t>(number));
    ocv::FrameHeader h{1, kFrameBytes, ts, number % kFps == 0 ? 1u : 2u};
    memcpy(f.data(), &h, sizeof h);
    return f;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long RssKiB() {
    FILE* f = fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f && fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    if (f) fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::vector<std::unique_ptr<ocv::Recorder>> StartRecorders(int channels) {
    std::vector<std::unique_ptr<ocv::Recorder>> recs;
    ocv::ClockSnapshot now = ocv::clockSnapshot();
    for (int i = 0; i < channels; ++i) {
        auto r = std::make_unique<ocv::Recorder>(i / 64, i % 64, nullptr);
        r->Start(5);
        r->SetStreamInfo(ocv::StreamInfo{1, 1920, 1080, 0, 0, 0, 25});
        r->InitDisk(1);
        ocv::RecordStartInfo info{};
        info.year = now.year;
        info.month = now.month;
        info.day = now.day;
        info.hour = now.hour;
        info.minute = now.minute;
        info.second = now.second;
        info.disk = 1;
        info.recordType = 3;
        snprintf(info.folder, sizeof info.folder, "bench-%d-%d", 5000, i + 1);
        r->StartRecording(info, 3, false);
        recs.push_back(std::move(r));
    }
    return recs;
}

uint64_t FramesInFiles(const std::string& root) {
    uint64_t frames = 0;
    for (auto& e : std::filesystem::recursive_directory_iterator(root)) {
        if (e.path().extension() != ".qvx") continue;
        ocv::RecordFileReader reader;
        if (reader.Open(e.path()) != 0) continue;
        ocv::FrameHeader h;
        std::vector<uint8_t> data;
        while (reader.Next(&h, &data)) ++frames;
    }
    return frames;
}

void Setup(const Options& o) {
    std::filesystem::remove_all(o.dir);
    std::filesystem::create_directories(o.dir + "/d");
    ocv::SetAppDir(o.dir);
    FILE* ini = fopen((o.dir + "/config.ini").c_str(), "w");
    fprintf(ini, "[DRIVES]\nD=%s/d\n", o.dir.c_str());
    fclose(ini);
    ocv::RenewClockSnapshot();
}

int RealTime(const Options& o) {
    Setup(o);
    long rssBefore = RssKiB();
    auto recs = StartRecorders(o.channels);
    long rssAfter = RssKiB();
    std::vector<std::vector<uint8_t>> frames;
    for (int n = 0; n < kFps; ++n) frames.push_back(MakeFrame(n, 0));
    double cpu0 = CpuSeconds();
    auto start = Clock::now();
    uint64_t fed = 0, refused = 0;
    for (int tick = 0; tick < o.seconds * kFps; ++tick) {
        uint32_t ts = 1000 + tick * 40;
        auto& f = frames[tick % kFps];
        memcpy(f.data() + 8, &ts, 4);
        for (auto& r : recs) {
            if (r->AddFrame(f.data(), static_cast<uint32_t>(f.size()), ts, 1) != 0) ++refused;
            ++fed;
        }
        std::this_thread::sleep_until(start + std::chrono::milliseconds(40 * (tick + 1)));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long rssRunning = RssKiB();
    for (auto& r : recs) r->StopRecording();
    double cpu = CpuSeconds() - cpu0;
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    recs.clear();
    uint64_t written = FramesInFiles(o.dir + "/d");
    // Frames before each recorder's first key frame are never written by design: none here,
    // since the first frame fed is a key frame.
    printf("realtime: %d channels x 4 Mbit/s x %d s\n", o.channels, o.seconds);
    printf("  CPU of the recording path: %.3f s over %.1f s = %.3f%% of one core per channel\n", cpu, wall,
           100.0 * cpu / wall / o.channels);
    printf("  frames fed %llu, refused %llu, written %llu, lost %lld\n", (unsigned long long)fed,
           (unsigned long long)refused, (unsigned long long)written, (long long)fed - (long long)written);
    printf("  resident memory: %.2f MiB per channel after start, %.2f MiB per channel while recording\n",
           (rssAfter - rssBefore) / 1024.0 / o.channels, (rssRunning - rssBefore) / 1024.0 / o.channels);
    std::filesystem::remove_all(o.dir);
    return 0;
}

// The limit: one thread, the same bytes in the same write sizes (header, then data) to as
// many files. Seconds from a sync to a sync.
double LimitRun(const Options& o, const std::vector<std::vector<uint8_t>>& frames, uint64_t perChannel) {
    std::string limitDir = o.dir + "/limit";
    std::filesystem::create_directories(limitDir);
    std::vector<int> fds;
    for (int i = 0; i < o.channels; ++i)
        fds.push_back(open((limitDir + "/" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    sync();
    auto t0 = Clock::now();
    for (uint64_t n = 0; n < perChannel; ++n)
        for (int fd : fds) {
            if (write(fd, frames[n % kFps].data(), 16) != 16 ||
                write(fd, frames[n % kFps].data() + 16, kFrameBytes) != kFrameBytes)
                return -1;
        }
    for (int fd : fds) close(fd);
    sync();
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    std::filesystem::remove_all(limitDir);
    sync();
    return seconds;
}

// The recorders, fed by two threads (the library's I/O threads) as fast as they take the
// frames. Seconds from a sync to the sync after the last file was closed.
double RecorderRun(const Options& o, const std::vector<std::vector<uint8_t>>& frames, uint64_t perChannel,
                   uint64_t* lostOut) {
    auto recs = StartRecorders(o.channels);
    std::atomic<uint64_t> lost{0};
    sync();
    auto t0 = Clock::now();
    std::vector<std::thread> feeders;
    for (int t = 0; t < 2; ++t)
        feeders.emplace_back([&, t] {
            std::vector<uint8_t> f = frames[0];
            for (uint64_t n = 0; n < perChannel; ++n) {
                uint32_t ts = uint32_t(1000 + n * 40);
                const auto& src = frames[n % kFps];
                memcpy(f.data(), src.data(), src.size());
                memcpy(f.data() + 8, &ts, 4);
                for (int i = t; i < o.channels; i += 2) {
                    // As fast as the recorder takes them: wait while half of what its ring may
                    // hold is waiting for the disk.
                    for (;;) {
                        auto s = recs[i]->RingStats();
                        if (s.bytesWritten - s.bytesRead < std::max(recs[i]->RingCapacity(), 1u << 20) / 2) break;
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                    }
                    if (recs[i]->AddFrame(f.data(), uint32_t(f.size()), ts, 1) != 0) ++lost;
                }
            }
        });
    for (auto& f : feeders) f.join();
    for (;;) {  // until the writers have drained the rings
        bool empty = true;
        for (auto& r : recs) {
            auto s = r->RingStats();
            if (s.bytesWritten != s.bytesRead) empty = false;
        }
        if (empty) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (auto& r : recs) r->StopRecording();
    recs.clear();
    sync();
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    *lostOut += lost.load();
    std::filesystem::remove_all(o.dir + "/d/QVXFile");
    sync();
    return seconds;
}

int Ingest(const Options& o) {
    Setup(o);
    uint64_t perChannel = uint64_t(o.mbPerChannel) * 1000000 / (kFrameBytes + 16);
    std::vector<std::vector<uint8_t>> frames;
    for (int n = 0; n < kFps; ++n) frames.push_back(MakeFrame(n, 0));
    double mb = double(perChannel) * o.channels * (kFrameBytes + 16) / 1e6;
    printf("ingest: %d recorders, %.0f MB per side, %d rounds; each side from a sync to a sync\n", o.channels, mb,
           o.rounds);
    std::vector<double> shares;
    uint64_t lost = 0;
    for (int round = 0; round < o.rounds; ++round) {
        // The order alternates, so a machine that gets busier or quieter favours neither side.
        double limit = 0, recorders = 0, limitCpu = 0, recordersCpu = 0;
        auto limitSide = [&] {
            double c0 = CpuSeconds();
            limit = LimitRun(o, frames, perChannel);
            limitCpu = CpuSeconds() - c0;
        };
        auto recorderSide = [&] {
            double c0 = CpuSeconds();
            recorders = RecorderRun(o, frames, perChannel, &lost);
            recordersCpu = CpuSeconds() - c0;
        };
        if (round % 2 == 0) {
            limitSide();
            recorderSide();
        } else {
            recorderSide();
            limitSide();
        }
        if (limit <= 0) return 1;
        shares.push_back(limit / recorders);
        printf("  round %d: recorders %.0f MB/s (%.2f s, %.2f CPU s); limit %.0f MB/s (%.2f s, %.2f CPU s); "
               "%.0f%% of the limit\n",
               round + 1, mb / recorders, recorders, recordersCpu, mb / limit, limit, limitCpu,
               100 * limit / recorders);
    }
    std::sort(shares.begin(), shares.end());
    printf("  recorders reach %.0f%% of the limit (median; %.0f%% .. %.0f%%); frames lost %llu\n",
           100 * shares[shares.size() / 2], 100 * shares.front(), 100 * shares.back(), (unsigned long long)lost);
    std::filesystem::remove_all(o.dir);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (argc > 1) o.mode = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        std::string k = argv[i], v = argv[i + 1];
        if (k == "--channels") o.channels = std::stoi(v);
        else if (k == "--seconds") o.seconds = std::stoi(v);
        else if (k == "--mb-per-channel") o.mbPerChannel = std::stoi(v);
        else if (k == "--dir") o.dir = v;
        else if (k == "--rounds") o.rounds = std::stoi(v);
    }
    if (o.mode == "ingest") return Ingest(o);
    if (o.mode == "realtime") return RealTime(o);
    fprintf(stderr, "usage: %s ingest|realtime [--channels N] [--seconds S] [--mb-per-channel M] [--dir D]\n", argv[0]);
    return 2;
}
