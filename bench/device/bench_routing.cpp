// Routing of live frames: 128 simulated devices with 2 dual-stream channels each, all open,
// the first 36 channels shown in grid cells.
//
// The routing callback's CPU is thread CPU time (CLOCK_THREAD_CPUTIME_ID around each call of
// the stream callback), never wall time inside it, which also counts the time a callback thread
// waits for a core on a loaded machine. To put the clock around the callback, the bench lets the
// device service open every channel (recorder, stream handles, player routing), then stops the
// service's library streams and opens the same streams itself with a callback that calls the
// service's stream callback under the thread clock, with the service's handle and channel id;
// so the routing work is the product's, call for call. The cost of reading the clock is measured
// and taken off. The recorder writers' and the decoders' thread CPU (/proc/self/task) are shown
// beside it: a callback that wakes a writer per frame moves CPU there too.
// Channels opened only to be watched have no recorder; --may-record 1 arms every channel with its
// motion alarm linked to recording, so each keeps a pre-record ring that the callback feeds.
//   bench_routing [--seconds 10] [--rounds 2] [--devices 128] [--may-record 0|1]
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "device/device_service.h"
#include "device/routing_stats.h"
#include "platform/app_dir.h"
#include "player/video_surface.h"
#include "sdk/qvx_sdk.h"
#include "base/clock.h"
#include "base/device_types.h"
#include "base/port_slots.h"
#include "store/relaxed.h"
#include "store/text_field.h"
#include "tests/sdk/devsim_process.h"
#include "tools/mkdb/mkdb.h"

namespace {

class NullSurface : public ocv::player::VideoSurface {
public:
    ocv::player::SurfaceFormat CurrentFormat() const override { return {160, 120, ocv::player::PixelFormat::kBgra32}; }
    void PictureReady() override { TakePicture(); }
};

// CPU seconds used so far by the threads of this process, by the kind of thread (the name up
// to its last '-' and number: "qvx-io", "rec", "qvxplay", ...).
std::map<std::string, double> ThreadCpuByKind() {
    std::map<std::string, double> out;
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return out;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        std::string base = std::string("/proc/self/task/") + e->d_name;
        std::ifstream comm(base + "/comm"), sched(base + "/schedstat");
        std::string name;
        unsigned long long runNs = 0;
        if (!std::getline(comm, name) || !(sched >> runNs)) continue;
        std::string kind = name;
        size_t dash = kind.find('-');
        if (kind.rfind("qvx-io", 0) == 0) kind = "qvx-io";
        else if (dash != std::string::npos) kind = kind.substr(0, dash);
        out[kind] += static_cast<double>(runNs) / 1e9;
    }
    closedir(dir);
    return out;
}

std::map<std::string, double> Minus(std::map<std::string, double> a, const std::map<std::string, double>& b) {
    for (auto& [k, v] : a) {
        auto it = b.find(k);
        if (it != b.end()) v -= it->second;
    }
    return a;
}

int ThreadCount() {
    int n = 0;
    for (auto& e : std::filesystem::directory_iterator("/proc/self/task")) n += e.is_directory();
    return n;
}

double ThreadCpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// One stream opened by the bench in place of the service's.
struct Relay {
    ocv::ConnectionService* service = nullptr;
    int serviceHandle = 0;
    int channelId = -1;
};

struct CallbackClock {
    std::atomic<bool> on{false};
    ocv::RoutingStats wall;  // wall durations, for the delay a frame sees
    std::atomic<uint64_t> calls{0};
    std::atomic<uint64_t> nanoseconds{0};
};
CallbackClock gClock;

void TimedCallback(QVX_HANDLE, int32_t kind, const uint8_t* data, int32_t length, intptr_t user) {
    const Relay* r = reinterpret_cast<const Relay*>(user);
    if (!gClock.on.load(std::memory_order_relaxed)) {
        r->service->OnStreamData(r->serviceHandle, kind, data, length, r->channelId);
        return;
    }
    auto w0 = std::chrono::steady_clock::now();
    double t0 = ThreadCpuNow();
    r->service->OnStreamData(r->serviceHandle, kind, data, length, r->channelId);
    double t1 = ThreadCpuNow();
    gClock.wall.Record(static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - w0).count()));
    gClock.nanoseconds.fetch_add(static_cast<uint64_t>((t1 - t0) * 1e9), std::memory_order_relaxed);
    gClock.calls.fetch_add(1, std::memory_order_relaxed);
}

// What two readings of the thread clock cost by themselves, in seconds.
double ClockOverhead() {
    constexpr int kReadings = 200000;
    double start = ThreadCpuNow(), sum = 0;
    for (int i = 0; i < kReadings; ++i) {
        double a = ThreadCpuNow();
        sum += ThreadCpuNow() - a;
    }
    (void)start;
    return sum / kReadings;
}

struct Round {
    double wall = 0;
    std::map<std::string, double> threads;
    uint64_t calls = 0;
    double callbackSeconds = 0;
};

double Share(const Round& r, const char* kind) {
    auto it = r.threads.find(kind);
    return it == r.threads.end() ? 0 : it->second / r.wall;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 10, devices = 128, rounds = 2;
    bool mayRecord = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i];
        if (k == "--seconds") seconds = std::stoi(argv[i + 1]);
        if (k == "--devices") devices = std::stoi(argv[i + 1]);
        if (k == "--rounds") rounds = std::stoi(argv[i + 1]);
        if (k == "--may-record") mayRecord = std::stoi(argv[i + 1]) != 0;
    }
    ocv::test::DevsimProcess sim;
    std::string site = "[site]\nloop_frames=50\n[device]\nname=D\ntype=IPC\nuser=admin\npassword=pw\ncount=" +
                       std::to_string(devices) + "\nchannels=2\nmain=176x144@256\nsub=96x64@64\nkey_interval=25\n";
    ocv::test::WriteText(sim.dir() / "site.ini", site);
    std::string error;
    if (!sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    ocv::test::TempDir app;
    ocv::SetAppDir(app.str());
    ocv::ResetDeviceTypeTable();
    ocv::AddStandardCameraTypes();  // as the client does
    ocv::ResetPortSlots();
    ocv::RenewClockSnapshot();
    ocv::mkdb::CreateEmptyDatabase(app / "QVXVMS.dat");
    {
        ocv::ConfigStore store;
        store.Open(app / "QVXVMS.dat");
        store.LoadDevices();
        for (int i = 0; i < devices; ++i) {
            ocv::DeviceRecord r{};
            ocv::CopyText(r.host, sim.device(i).address);
            r.port = sim.device(i).port;
            r.channelCount = 2;
            ocv::CopyText(r.user, "admin");
            ocv::CopyText(r.password, "pw");
            int slot = -1;
            store.AddDevice(r, &slot);
        }
    }
    QVX_SDK_Init();
    {
        ocv::DeviceService service(app / "QVXVMS.dat", app / "Logx");
        ocv::SetRelaxed(service.store().MutableSettingsForTesting().SHOWMODE, 1);
        if (mayRecord) {
            ocv::SetRelaxed(service.store().MutableSettingsForTesting().DISK, 2);
            ocv::SetRelaxed(service.store().MutableSettingsForTesting().ARMFLAG, 1);
            for (int d = 0; d < devices; ++d)
                for (int ch = 0; ch < 2; ++ch) {
                    ocv::ChannelInfo& c = service.store().device(d).channels[ch];
                    ocv::SetRelaxed(c.armAlarm, 1);
                    ocv::SetRelaxed(c.alarmMd, ocv::kLinkRecord);
                    for (uint32_t& w : c.armSchedule) ocv::SetRelaxed(w, 0xFFFFFFu);
                }
        }
        std::vector<std::unique_ptr<NullSurface>> surfaces;
        auto& players = service.players();
        for (int cell = 0; cell < 36; ++cell) {
            surfaces.push_back(std::make_unique<NullSurface>());
            players.CreatePlayer(cell, surfaces.back().get());
            players.AttachChannel(cell, ocv::ChannelIdOf(cell / 2, cell % 2), 0);
        }
        players.SetVisibleSplit(36);
        players.SetStreamPolicy(-1, 36);

        const double overhead = ClockOverhead();
        std::vector<Round> rounds_;
        int open = 0, threads = 0;
        for (int round = 0; round < rounds; ++round) {
            open = 0;
            for (int d = 0; d < devices; ++d)
                for (int ch = 0; ch < 2; ++ch) open += service.connections().OpenChannel(d, ch) == 0;
            // The service's streams make way for the bench's, which carry the same requests.
            std::vector<std::unique_ptr<Relay>> relays;
            std::vector<QVX_HANDLE> handles;
            for (int d = 0; d < devices; ++d) {
                auto& dev = service.runtime().device(d);
                int login = dev.loginHandle.load();
                for (int ch = 0; ch < 2 && login != 0; ++ch) {
                    auto& c = dev.channels[ch];
                    int serviceHandles[2] = {c.mainStream.load(), c.subStream.load()};
                    for (uint32_t sub = 0; sub < 2; ++sub) {
                        if (serviceHandles[sub] == 0) continue;
                        QVX_SDK_StopRealPlay(serviceHandles[sub]);
                        auto relay = std::make_unique<Relay>();
                        relay->service = &service.connections();
                        relay->serviceHandle = serviceHandles[sub];
                        relay->channelId = ocv::ChannelIdOf(d, ch);
                        uint32_t request[QVX_REQUEST_WORDS] = {};
                        request[1] = static_cast<uint32_t>(ch);
                        request[2] = sub;
                        request[4] = sub ? 1 : 3;
                        QVX_HANDLE h = 0;
                        if (QVX_SDK_RealPlay(login, request, TimedCallback, reinterpret_cast<intptr_t>(relay.get()),
                                             &h) == 0)
                            handles.push_back(h);
                        relays.push_back(std::move(relay));
                    }
                }
            }
            std::this_thread::sleep_for(std::chrono::seconds(2));
            threads = ThreadCount();
            Round r;
            uint64_t calls0 = gClock.calls.load(), ns0 = gClock.nanoseconds.load();
            auto cpu0 = ThreadCpuByKind();
            auto start = std::chrono::steady_clock::now();
            gClock.on = true;
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            gClock.on = false;
            r.threads = Minus(ThreadCpuByKind(), cpu0);
            r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            r.calls = gClock.calls.load() - calls0;
            r.callbackSeconds = static_cast<double>(gClock.nanoseconds.load() - ns0) / 1e9 -
                                static_cast<double>(r.calls) * overhead;
            rounds_.push_back(r);
            // No callback of a stopped stream runs after its stop returns: then the recorders go.
            for (QVX_HANDLE h : handles) QVX_SDK_StopRealPlay(h);
            for (int d = 0; d < devices; ++d)
                for (int ch = 0; ch < 2; ++ch) service.connections().CloseChannel(d, ch);
        }

        int streams = open * 2;
        printf("routing: %d channels open (%d streams, dual stream), 36 shown, %s, %d rounds of %d s\n", open,
               streams, mayRecord ? "every channel pre-recording (its main stream)" : "no recorder (only watched)",
               rounds, seconds);
        printf("  threads: %d; reading the thread clock twice costs %.2f us (taken off)\n", threads, overhead * 1e6);
        printf("  round  callbacks/s  callback CPU %% of a core: all  per stream  per call (us) | "
               "I/O threads  writers  decoders (%% of a core)\n");
        std::vector<double> perStream;
        for (int i = 0; i < rounds; ++i) {
            const Round& r = rounds_[i];
            double share = r.callbackSeconds / r.wall;
            perStream.push_back(share / streams);
            printf("  %5d  %11.0f  %29.2f  %10.4f  %13.2f | %11.1f  %7.1f  %8.1f\n", i + 1, r.calls / r.wall,
                   100 * share, 100 * share / streams, r.callbackSeconds / static_cast<double>(r.calls) * 1e6,
                   100 * Share(r, "qvx-io"), 100 * Share(r, "rec"), 100 * Share(r, "qvxplay"));
        }
        double lo = *std::min_element(perStream.begin(), perStream.end());
        double hi = *std::max_element(perStream.begin(), perStream.end());
        double writers = 0;
        for (const Round& r : rounds_) writers += Share(r, "rec") / rounds;
        printf("  routing callback CPU per stream: %.4f%% .. %.4f%% of a core (thread CPU time)\n", 100 * lo, 100 * hi);
        printf("  recorder writers' CPU per stream: %.4f%% of a core\n", 100 * writers / streams);
        printf("  callback wall duration (includes waiting for a core): p50 %.0f us, p99 %.0f us, p99.9 %.0f us\n",
               gClock.wall.PercentileMicroseconds(0.5), gClock.wall.PercentileMicroseconds(0.99),
               gClock.wall.PercentileMicroseconds(0.999));
        for (int cell = 0; cell < 36; ++cell) players.DestroyPlayer(cell);
    }
    QVX_SDK_Cleanup();
    return 0;
}
