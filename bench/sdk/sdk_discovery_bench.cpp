// Measures LAN discovery: 64 simulated devices (distinct loopback addresses) from
// ocuvant-devsim, started as a child process, found by one search. Reports, per round, how many
// were listed and the time from the probe to the last device's record; fails (exit 1) when a
// round misses one.
//
//   build/bench/sdk_discovery_bench [--devices 64] [--rounds 10] [--protocol 0|12]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "sdk/qvx_sdk.h"
#include "tests/sdk/devsim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Round {
    std::mutex mutex;
    std::vector<Clock::time_point> arrivals;
    static void Callback(const void*, int32_t size, void* user) {
        if (size != QVX_FOUND_DEVICE_SIZE) return;
        auto* self = static_cast<Round*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->arrivals.push_back(Clock::now());
    }
};

}  // namespace

int main(int argc, char** argv) {
    int devices = 64, rounds = 10, protocol = QVX_SCH_PROTOCOL_ALL;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--devices") devices = std::atoi(argv[i + 1]);
        else if (a == "--rounds") rounds = std::atoi(argv[i + 1]);
        else if (a == "--protocol") protocol = std::atoi(argv[i + 1]);
    }
    if (devices < 1 || devices > 254 || rounds < 1 || (protocol != 0 && protocol != QVX_SCH_PROTOCOL_ONVIF)) return 2;
    const char* home = std::getenv("HOME");
    std::string cache = std::string(home ? home : "/tmp") + "/.cache/ocuvant-devsim";

    ocv::test::DevsimProcess sim;
    std::string error;
    std::fprintf(stderr, "starting %d devices...\n", devices);
    if (!sim.Start({"--devices", std::to_string(devices), "--spread-addresses", "--channels", "1", "--main",
                    "64x64@32", "--sub", "off", "--loop-frames", "25", "--key-interval", "25", "--quiet",
                    "--cache-dir", cache},
                   &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    int port = 0;
    std::istringstream ports(ocv::test::ReadText(sim.dir() / "ports"));
    std::string word;
    while (ports >> word) {
        if (word == (protocol == QVX_SCH_PROTOCOL_ONVIF ? "onvif" : "discovery")) ports >> port;
    }
    if (port <= 0) {
        std::fprintf(stderr, "the simulator reported no discovery port\n");
        return 1;
    }
    QVX_SDK_Init();
    std::vector<double> lastMs;
    bool complete = true;
    for (int r = 0; r < rounds; ++r) {
        QVX_HANDLE h = 0;
        if (QVX_SDK_SchInitEx(&h, 2000, protocol) != QVX_OK) return 1;
        QVX_SDK_SchLanSearch(h, 0);  // loopback only: never probe the real network
        QVX_SDK_SchAddTarget(h, "127.0.0.1", uint16_t(port));
        Round round;
        QVX_SDK_SchCallBack(h, &Round::Callback, &round);
        std::vector<uint8_t> buffer(66560);
        int32_t count = 0;
        auto start = Clock::now();
        QVX_SDK_SchSearch(h, buffer.data(), uint32_t(buffer.size()), &count);
        QVX_SDK_SchDestroy(h);
        double last = 0;
        {
            std::lock_guard<std::mutex> lock(round.mutex);
            for (auto t : round.arrivals) last = std::max(last, std::chrono::duration<double, std::milli>(t - start).count());
        }
        lastMs.push_back(last);
        complete = complete && count == devices;
        std::printf("round %2d   listed %3d of %d   last record after %7.2f ms\n", r + 1, count, devices, last);
    }
    QVX_SDK_Cleanup();
    std::sort(lastMs.begin(), lastMs.end());
    std::printf("time to the last record     min %.2f ms, median %.2f ms, max %.2f ms over %d rounds\n", lastMs.front(),
                lastMs[lastMs.size() / 2], lastMs.back(), rounds);
    std::printf("%s\n", complete ? "every round listed every device" : "A ROUND MISSED DEVICES");
    return complete ? 0 : 1;
}
