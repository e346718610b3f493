// Resident memory and threads per open channel on the recording side of the stream callback:
// 256 channels fed synthetic streams in real time (25 pictures/s, a key frame every second
// five times the size of the others) through Recorder::AddFrame, as the routing callback
// feeds them. Each case runs in a child process of its own, so none inherits another's heap:
//   watched      channels only watched: no recorder (the device side creates one when the
//                channel can record)
//   created      a recorder constructed for each channel, never started
//   prerecord    recorders keeping PREREC seconds, not recording
//   recording    recorders keeping PREREC seconds for the first seconds, then recording to disk
// Resident memory is read from /proc/self/statm before the channels and after the stream ran;
// the difference per channel is printed with the number of threads of the process.
//   bench_channel_memory [--channels 256] [--kbps 4096] [--prerec 5] [--seconds 10] [--dir D]
//                        [--case watched|created|prerecord|recording|all]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/app_dir.h"
#include "record/recorder.h"
#include "base/clock.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kFps = 25;

struct Options {
    int channels = 256;
    int kbps = 4096;
    int prerec = 5;
    int seconds = 10;
    std::string which = "all";
    std::string dir = "/tmp/ocv-bench-channel-memory";
};

long RssKiB() {
    FILE* f = fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f && fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    if (f) fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int ThreadCount() {
    int n = 0;
    for (auto& e : std::filesystem::directory_iterator("/proc/self/task")) n += e.is_directory();
    return n;
}

// One second of a stream at the bit rate: a key frame five times the size of the others.
std::vector<std::vector<uint8_t>> SecondOfStream(int kbps) {
    uint32_t perSecond = static_cast<uint32_t>(kbps) * 1024 / 8;
    uint32_t predicted = perSecond / (kFps - 1 + 5);
    std::vector<std::vector<uint8_t>> frames;
    for (int n = 0; n < kFps; ++n) {
        uint32_t size = n == 0 ? 5 * predicted : predicted;
        std::vector<uint8_t> f(ocv::kFrameHeaderBytes + size, static_cast<uint8_t>(n));
        ocv::FrameHeader h{1, size, 0, n == 0 ? 1u : 2u};
        memcpy(f.data(), &h, sizeof h);
        frames.push_back(std::move(f));
    }
    return frames;
}

ocv::RecordStartInfo StartInfo(int channel) {
    ocv::ClockSnapshot now = ocv::clockSnapshot();
    ocv::RecordStartInfo info{};
    info.year = now.year;
    info.month = now.month;
    info.day = now.day;
    info.hour = now.hour;
    info.minute = now.minute;
    info.second = now.second;
    info.disk = 1;
    info.recordType = 3;
    snprintf(info.folder, sizeof info.folder, "bench-%d-%d", 5000, channel + 1);
    return info;
}

int RunCase(const Options& o, const std::string& which) {
    std::filesystem::remove_all(o.dir);
    std::filesystem::create_directories(o.dir + "/d");
    ocv::SetAppDir(o.dir);
    FILE* ini = fopen((o.dir + "/config.ini").c_str(), "w");
    fprintf(ini, "[DRIVES]\nD=%s/d\n", o.dir.c_str());
    fclose(ini);
    ocv::RenewClockSnapshot();
    auto second = SecondOfStream(o.kbps);
    int threadsBefore = ThreadCount();
    long before = RssKiB();

    std::vector<std::unique_ptr<ocv::Recorder>> recs;
    if (which != "watched") {
        for (int i = 0; i < o.channels; ++i) {
            auto r = std::make_unique<ocv::Recorder>(i / 64, i % 64, nullptr);
            if (which != "created") {
                r->Start(o.prerec);
                r->SetStreamInfo(ocv::StreamInfo{1, 1920, 1080, 0, 0, 0, 25});
                r->InitDisk(1);
            }
            recs.push_back(std::move(r));
        }
    }
    long afterCreate = RssKiB();
    // Recording begins once the pre-record seconds are full, so both show in the figure.
    int recordAt = which == "recording" ? (o.prerec + 1) * kFps : -1;
    int ticks = o.seconds * kFps + (recordAt > 0 ? recordAt : 0);
    auto start = SteadyClock::now();
    uint64_t refused = 0;
    for (int tick = 0; tick < ticks; ++tick) {
        if (tick == recordAt)
            for (int i = 0; i < o.channels; ++i) recs[i]->StartRecording(StartInfo(i), 3, false);
        uint32_t ts = 1000 + static_cast<uint32_t>(tick) * 40;
        auto& f = second[tick % kFps];
        memcpy(f.data() + 8, &ts, 4);
        for (auto& r : recs)
            if (r->AddFrame(f.data(), static_cast<uint32_t>(f.size()), ts, 1) != 0) ++refused;
        std::this_thread::sleep_until(start + std::chrono::milliseconds(40 * (tick + 1)));
    }
    long running = RssKiB();
    int threads = ThreadCount() - threadsBefore;
    uint64_t ring = 0;
    for (auto& r : recs) ring += r->RingCapacity();
    for (auto& r : recs) r->StopRecording();
    recs.clear();
    printf("%-10s %3d ch x %5d kbit/s, PREREC %2d: %7.3f MiB/ch created, %7.3f MiB/ch after %3d s; "
           "ring %6.3f MiB/ch; threads +%d; frames refused %llu\n",
           which.c_str(), o.channels, o.kbps, o.prerec, (afterCreate - before) / 1024.0 / o.channels,
           (running - before) / 1024.0 / o.channels, ticks / kFps,
           ring / 1048576.0 / o.channels, threads,
           static_cast<unsigned long long>(refused));
    fflush(stdout);
    std::filesystem::remove_all(o.dir);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i], v = argv[i + 1];
        if (k == "--channels") o.channels = std::stoi(v);
        else if (k == "--kbps") o.kbps = std::stoi(v);
        else if (k == "--prerec") o.prerec = std::stoi(v);
        else if (k == "--seconds") o.seconds = std::stoi(v);
        else if (k == "--case") o.which = v;
        else if (k == "--dir") o.dir = v;
        else {
            fprintf(stderr, "unknown option %s\n", k.c_str());
            return 2;
        }
    }
    std::vector<std::string> cases = {"watched", "created", "prerecord", "recording"};
    if (o.which != "all") cases = {o.which};
    for (const std::string& c : cases) {
        // A fresh process per case: no heap or thread of one case counts in the next.
        pid_t pid = fork();
        if (pid == 0) _exit(RunCase(o, c));
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
    }
    return 0;
}
