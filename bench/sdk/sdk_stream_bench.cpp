// Measures live stream delivery: N simulated streams (default 64 at 4 Mbit/s, 25 fps) from
// ocuvant-devsim, started as a child process, into library callbacks over loopback. Reports
// frames per second, per core, and the CPU each side spends per stream.
//
//   build/bench/sdk_stream_bench [--streams 64] [--kbps 4000] [--seconds 10] [--size 640x360]
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sdk/qvx_sdk.h"
#include "tests/sdk/devsim_process.h"

namespace {

std::atomic<uint64_t> gVideoFrames{0}, gFrames{0}, gBytes{0};

void OnData(QVX_HANDLE, int32_t kind, const uint8_t* data, int32_t length, intptr_t) {
    if (kind != QVX_DATA_FRAME) return;
    gFrames.fetch_add(1, std::memory_order_relaxed);
    gBytes.fetch_add(uint64_t(length), std::memory_order_relaxed);
    if (data[0] == 1) gVideoFrames.fetch_add(1, std::memory_order_relaxed);
}

double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// utime + stime of another process from /proc, in seconds.
double ChildCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string f;
    unsigned long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14) utime = std::stoul(f);
        if (i == 15) stime = std::stoul(f);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

}  // namespace

int main(int argc, char** argv) {
    int streams = 64, kbps = 4000, seconds = 10, channelsPerDevice = 16;
    std::string size = "640x360";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--streams") streams = std::atoi(argv[i + 1]);
        else if (a == "--kbps") kbps = std::atoi(argv[i + 1]);
        else if (a == "--seconds") seconds = std::atoi(argv[i + 1]);
        else if (a == "--size") size = argv[i + 1];
    }
    if (streams < 1 || streams > 1024 || seconds < 1) return 2;
    int devices = (streams + channelsPerDevice - 1) / channelsPerDevice;
    const char* home = std::getenv("HOME");
    std::string cache = std::string(home ? home : "/tmp") + "/.cache/ocuvant-devsim";

    ocv::test::DevsimProcess sim;
    std::string error;
    std::fprintf(stderr, "starting %d devices x %d channels (first run encodes the loops)...\n", devices,
                 channelsPerDevice);
    std::string cfg = size + "@" + std::to_string(kbps);
    if (!sim.Start({"--devices", std::to_string(devices), "--channels", std::to_string(channelsPerDevice), "--main",
                    cfg, "--sub", "off", "--loop-frames", "50", "--key-interval", "50", "--quiet", "--cache-dir",
                    cache},
                   &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    QVX_SDK_Init();
    std::vector<QVX_HANDLE> logins, handles;
    for (int d = 0; d < devices; ++d) {
        QVX_HANDLE h = 0;
        QVX_DEVICE_INFO info{};
        const auto& a = sim.device(size_t(d));
        if (QVX_SDK_Login(&h, "127.0.0.1", uint16_t(a.port), "admin", "admin", 0, 1, &info) != QVX_OK) {
            std::fprintf(stderr, "login failed\n");
            return 1;
        }
        logins.push_back(h);
    }
    for (int s = 0; s < streams; ++s) {
        uint32_t request[QVX_REQUEST_WORDS] = {};
        request[1] = uint32_t(s % channelsPerDevice);
        request[4] = 3;
        QVX_HANDLE h = 0;
        if (QVX_SDK_RealPlay(logins[size_t(s / channelsPerDevice)], request, &OnData, 0, &h) != QVX_OK) {
            std::fprintf(stderr, "stream %d failed\n", s);
            return 1;
        }
        handles.push_back(h);
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));  // settle
    pid_t child = sim.pid();
    uint64_t f0 = gFrames, v0 = gVideoFrames, b0 = gBytes;
    double lib0 = ProcessCpuSeconds(), sim0 = ChildCpuSeconds(child);
    auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    double libCpu = ProcessCpuSeconds() - lib0, simCpu = ChildCpuSeconds(child) - sim0;
    uint64_t frames = gFrames - f0, video = gVideoFrames - v0, bytes = gBytes - b0;
    for (auto h : handles) QVX_SDK_StopRealPlay(h);
    for (auto h : logins) QVX_SDK_Logout(h);
    QVX_SDK_Cleanup();

    double videoFps = double(video) / wall;
    double mbitPerStream = double(bytes) * 8 / wall / 1e6 / streams;
    std::printf("streams                     %d (%s, nominal %d kbit/s, 25 fps)\n", streams, size.c_str(), kbps);
    std::printf("measured                    %.1f s\n", wall);
    std::printf("video frames per second     %.0f (%.2f per stream)\n", videoFps, videoFps / streams);
    std::printf("frame records per second    %.0f (video + audio)\n", double(frames) / wall);
    std::printf("delivered                   %.2f Mbit/s per stream\n", mbitPerStream);
    std::printf("library  CPU                %.1f%% of one core, %.3f%% per stream, %.0f video fps per core\n",
                100 * libCpu / wall, 100 * libCpu / wall / streams, libCpu > 0 ? videoFps / (libCpu / wall) : 0.0);
    std::printf("simulator CPU               %.1f%% of one core, %.3f%% per stream, %.0f video fps per core\n",
                100 * simCpu / wall, 100 * simCpu / wall / streams, simCpu > 0 ? videoFps / (simCpu / wall) : 0.0);
    return 0;
}
