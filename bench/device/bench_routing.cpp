// Routing of live frames: 128 simulated devices with 2 dual-stream channels each, all open,
// the first 36 channels shown in grid cells. Reports the CPU the stream callback spends per
// stream and the 99th percentile of its duration (the delay from the library's callback to a
// player's input is at most that).
//   bench_routing [--seconds 20] [--devices 128]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

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

}  // namespace

int main(int argc, char** argv) {
    int seconds = 20, devices = 128;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i];
        if (k == "--seconds") seconds = std::stoi(argv[i + 1]);
        if (k == "--devices") devices = std::stoi(argv[i + 1]);
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
        std::vector<std::unique_ptr<NullSurface>> surfaces;
        auto& players = service.players();
        for (int cell = 0; cell < 36; ++cell) {
            surfaces.push_back(std::make_unique<NullSurface>());
            players.CreatePlayer(cell, surfaces.back().get());
            players.AttachChannel(cell, ocv::ChannelIdOf(cell / 2, cell % 2), 0);
        }
        players.SetVisibleSplit(36);
        players.SetStreamPolicy(-1, 36);
        int open = 0;
        for (int d = 0; d < devices; ++d)
            for (int ch = 0; ch < 2; ++ch) open += service.connections().OpenChannel(d, ch) == 0;
        std::this_thread::sleep_for(std::chrono::seconds(2));
        ocv::RoutingStats stats;
        ocv::SetRoutingStats(&stats);
        auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ocv::SetRoutingStats(nullptr);
        int streams = open * 2;
        double busy = stats.TotalNanoseconds() / 1e9;
        printf("routing: %d channels open (%d streams, dual stream), 36 shown, %.1f s\n", open, streams, wall);
        printf("  callbacks %llu (%.0f per second)\n", (unsigned long long)stats.Calls(), stats.Calls() / wall);
        printf("  routing CPU %.3f%% of one core per stream (%.1f%% in all)\n", 100.0 * busy / wall / streams,
               100.0 * busy / wall);
        printf("  callback duration: p50 %.0f us, p99 %.0f us, p99.9 %.0f us\n", stats.PercentileMicroseconds(0.5),
               stats.PercentileMicroseconds(0.99), stats.PercentileMicroseconds(0.999));
        for (int cell = 0; cell < 36; ++cell) players.DestroyPlayer(cell);
    }
    QVX_SDK_Cleanup();
    return 0;
}
