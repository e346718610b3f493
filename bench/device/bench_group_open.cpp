// Time from dropping a device group on a 36-cell grid to every cell playing: one simulated NVR
// with 36 dual-stream channels (main 704x576, sub CIF), already logged in, 36 player cells
// showing the sub streams. Two ways are measured in the same run, round after round:
//   one after the other  a single thread opens the channels in turn (what the drop cost while
//                        each open held the device lock for its main and sub stream requests)
//   group drop           a connect worker per channel, started together, as the live view's
//                        drop does; the device lock covers the login only
// For each: when every channel's streams are open, and when every cell painted its first
// picture (a surface counts its pictures).
// The simulator begins every stream with a key frame; a cell that lost it would wait a whole
// picture group (--key-interval pictures at 25/s, 25 to 50) for the next one.
//   bench_group_open [--rounds 3] [--channels 36] [--key-interval 25]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/device_types.h"
#include "base/port_slots.h"
#include "device/device_service.h"
#include "platform/app_dir.h"
#include "player/video_surface.h"
#include "sdk/qvx_sdk.h"
#include "store/relaxed.h"
#include "store/text_field.h"
#include "tests/sdk/devsim_process.h"
#include "tools/mkdb/mkdb.h"

namespace {

using Clock = std::chrono::steady_clock;

class CountingSurface : public ocv::player::VideoSurface {
public:
    ocv::player::SurfaceFormat CurrentFormat() const override {
        return {176, 144, ocv::player::PixelFormat::kBgra32};
    }
    void PictureReady() override {
        TakePicture();
        pictures.fetch_add(1);
    }
    std::atomic<int> pictures{0};
};

struct Timing {
    double open = -1;  // seconds until every channel's streams were open
    double play = -1;  // seconds until every cell painted a picture
};

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

template <typename Done>
bool WaitFor(Done&& done, double limitSeconds) {
    auto until = Clock::now() + std::chrono::duration<double>(limitSeconds);
    while (!done()) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class Bench {
public:
    Bench(ocv::DeviceService& service, int channels) : service_(service), channels_(channels) {
        for (int cell = 0; cell < channels; ++cell) {
            surfaces_.push_back(std::make_shared<CountingSurface>());
            service.players().CreatePlayer(cell, surfaces_.back().get());
        }
        service.players().SetVisibleSplit(36);
        service.players().SetStreamPolicy(-1, 36);
    }
    ~Bench() {
        for (int cell = 0; cell < channels_; ++cell) service_.players().DestroyPlayer(cell);
    }

    // Opens the group either way; every cell's player is attached before the streams come, as
    // the live view binds the cells first.
    Timing Run(bool parallel) {
        for (int cell = 0; cell < channels_; ++cell) {
            surfaces_[cell]->pictures = 0;
            service_.players().AttachChannel(cell, ocv::ChannelIdOf(0, cell), 0);
        }
        Timing t;
        auto t0 = Clock::now();
        std::thread watcher([&] {
            if (WaitFor([&] { return AllOpen(); }, 20)) t.open = Since(t0);
        });
        if (parallel) {
            for (int ch = 0; ch < channels_; ++ch) service_.connections().StartConnectWorker(0, ch);
        } else {
            for (int ch = 0; ch < channels_; ++ch) service_.connections().OpenChannel(0, ch);
        }
        if (WaitFor([&] { return AllPlaying(); }, 20)) t.play = Since(t0);
        watcher.join();
        for (int ch = 0; ch < channels_; ++ch) {
            service_.connections().SetConnectPending(0, ch, 0);
            service_.connections().CloseChannel(0, ch);
        }
        for (int cell = 0; cell < channels_; ++cell) service_.players().DetachSlot(cell);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return t;
    }

private:
    bool AllOpen() {
        for (int ch = 0; ch < channels_; ++ch) {
            const ocv::ChannelRuntime& c = service_.runtime().channel(0, ch);
            if (c.connectState.load() != ocv::kStreamOpen || c.subStream.load() == 0) return false;
        }
        return true;
    }
    bool AllPlaying() {
        for (auto& s : surfaces_)
            if (s->pictures.load() == 0) return false;
        return true;
    }

    ocv::DeviceService& service_;
    int channels_;
    std::vector<std::shared_ptr<CountingSurface>> surfaces_;
};

void Print(const char* name, const std::vector<Timing>& runs) {
    printf("  %-20s", name);
    for (const Timing& t : runs) printf("  open %5.0f ms, playing %5.0f ms |", t.open * 1e3, t.play * 1e3);
    printf("\n");
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3, channels = 36, keyInterval = 25;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i];
        if (k == "--rounds") rounds = std::max(1, std::stoi(argv[i + 1]));
        if (k == "--channels") channels = std::clamp(std::stoi(argv[i + 1]), 1, 36);
        if (k == "--key-interval") keyInterval = std::clamp(std::stoi(argv[i + 1]), 25, 50);
    }
    ocv::test::DevsimProcess sim;
    ocv::test::WriteText(sim.dir() / "site.ini",
                         "[site]\nloop_frames=50\n[device]\nname=NVR\ntype=NVR\nuser=admin\npassword=pw\n"
                         "channels=" + std::to_string(channels) +
                             "\nmain=704x576@1024\nsub=352x288@256\nkey_interval=" + std::to_string(keyInterval) + "\n");
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
        ocv::DeviceRecord r{};
        ocv::CopyText(r.host, sim.device(0).address);
        r.port = sim.device(0).port;
        r.channelCount = channels;
        ocv::CopyText(r.user, "admin");
        ocv::CopyText(r.password, "pw");
        int slot = -1;
        store.AddDevice(r, &slot);
    }
    QVX_SDK_Init();
    {
        ocv::DeviceService service(app / "QVXVMS.dat", app / "Logx");
        ocv::SetRelaxed(service.store().MutableSettingsForTesting().SHOWMODE, 1);
        service.connections().DeviceTick(0, 0);  // logged in before the drop, as a device online is
        if (service.runtime().device(0).loginHandle.load() == 0) {
            fprintf(stderr, "the simulated NVR refused the login\n");
            return 1;
        }
        std::vector<Timing> serial, parallel;
        {
            Bench bench(service, channels);
            for (int round = 0; round < rounds; ++round) {
                serial.push_back(bench.Run(false));
                parallel.push_back(bench.Run(true));
            }
        }
        printf("group open: %d channels of one NVR (main 704x576 + sub CIF each), %d cells, a key frame every %d "
               "pictures, %d rounds\n", channels, channels, keyInterval, rounds);
        Print("one after the other", serial);
        Print("group drop", parallel);
        std::vector<double> s, p;
        for (const Timing& t : serial) s.push_back(t.play);
        for (const Timing& t : parallel) p.push_back(t.play);
        double ms = Median(s), mp = Median(p);
        printf("  median until all %d cells play: one after the other %.0f ms, group drop %.0f ms (%.2fx)\n",
               channels, ms * 1e3, mp * 1e3, ms > 0 ? mp / ms : 0.0);
        service.connections().LogoutDevice(0);
    }
    QVX_SDK_Cleanup();
    return 0;
}
