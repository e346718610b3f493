// Measuring program (not a test): the whole client -- device service, main window, live view
// page -- against ocuvant-devsim over TCP. Reports the process CPU use (cores), the picture
// rate every cell really paints and the delay from the simulator sending a frame to cell 0
// painting it (the simulator stamps frames with the shared monotonic clock).
//
//   client_grid [--scenario grid36|mix17|max17] [--seconds 10] [--warmup 4] [--cache DIR]
//
//   grid36  split 36, every cell a CIF sub-stream at 25 fps
//   mix17   split 17: cell 0 a 1080p main stream, cells 1..16 CIF sub-streams
//   max17   mix17 with cell 0 maximised (the other decoders paused)
//
// grid36 then measures its peer in the same run: the ffmpeg command line decoding the same 36
// sub streams (taken from the simulator) in one process in real time and converting them to the
// cell's size (grid_peer.h), and prints both figures and their ratio. --no-peer leaves it out.
//
// Run it under a display (xvfb-run -a bench/liveview/measure_client) or with -platform offscreen.
#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "device/device_service.h"
#include "liveview/realplay_dlg.h"
#include "videogrid/screen_pannel.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_wnd.h"
#include "videogrid/qt_video_surface.h"
#include "platform/app_dir.h"
#include "player/player_statistics.h"
#include "sdk/qvx_sdk.h"
#include "base/device_types.h"
#include "base/port_slots.h"
#include "shell/client_services.h"
#include "widgets/client_context.h"
#include "shell/main_dlg.h"
#include "store/relaxed.h"
#include "tests/sdk/devsim_process.h"
#include "tools/mkdb/mkdb.h"
#include "bench/liveview/grid_peer.h"

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

uint32_t MonotonicMs() {
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

// CPU seconds used so far by this process's threads, by kind of thread (the name without its
// number: "qvxplay", "qvx-io", ...; the UI thread goes by the program's name).
std::map<std::string, double> ThreadCpuByKind() {
    std::map<std::string, double> out;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(entry.path() / "comm"), sched(entry.path() / "schedstat");
        std::string name;
        unsigned long long runNs = 0;
        if (!std::getline(comm, name) || !(sched >> runNs)) continue;
        while (!name.empty() && (std::isdigit(static_cast<unsigned char>(name.back())) || name.back() == '-'))
            name.pop_back();
        out[name] += static_cast<double>(runNs) / 1e9;
    }
    return out;
}

// Runs the event loop as the client does (sleeping while idle) for a while.
void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::string scenario = "grid36", cache;
    int seconds = 10, warmup = 6;
    bool peer = true;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--no-peer") peer = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i], v = argv[i + 1];
        if (a == "--scenario") scenario = v;
        else if (a == "--seconds") seconds = std::max(1, std::atoi(v.c_str()));
        else if (a == "--warmup") warmup = std::max(0, std::atoi(v.c_str()));
        else if (a == "--cache") cache = v;
    }
    const bool mix = scenario != "grid36";
    const int cells = mix ? 17 : 36;

    ocv::test::DevsimProcess sim;
    std::string site =
        "[site]\nloop_frames=100\n"
        "[device]\nname=NVR\ntype=NVR\nuser=admin\npassword=kestr\nchannels=36\nmain=704x576@1024\n"
        "sub=352x288@256\nkey_interval=50\n"
        "[device]\nname=CAM\ntype=IPC\nuser=admin\npassword=kestr\nchannels=1\nmain=1920x1080@4096\n"
        "sub=352x288@256\nkey_interval=50\n";
    ocv::test::WriteText(sim.dir() / "site.ini", site);
    std::vector<std::string> args = {"--site", sim.dir() / "site.ini", "--quiet", "--clock-timestamps"};
    if (!cache.empty()) args.insert(args.end(), {"--cache-dir", cache});
    std::string error;
    if (!sim.Start(args, &error)) {
        std::fprintf(stderr, "client_grid: %s\n", error.c_str());
        return 1;
    }

    ocv::test::TempDir appDir;
    ocv::SetAppDir(appDir.str());
    std::vector<ocv::mkdb::DemoDevice> devices = {{"127.0.0.1", sim.device(0).port, 36},
                                                  {"127.0.0.1", sim.device(1).port, 1}};
    if (ocv::mkdb::WriteLiveDatabase(appDir / "QVXVMS.dat", devices, &error) != 0 ||
        ocv::mkdb::WriteTemplate(appDir / "QVXVMS.bak", &error) != 0) {
        std::fprintf(stderr, "client_grid: %s\n", error.c_str());
        return 1;
    }
    ocv::ResetDeviceTypeTable();
    ocv::AddStandardCameraTypes();  // as the client does
    ocv::ResetPortSlots();
    QVX_SDK_Init();
    {
        ocv::DeviceService service;
        ocv::SetService(&service);
        ocv::SetRelaxed(service.store().MutableSettingsForTesting().SHOWMODE, 1);  // sub-streams in small cells
        // No recording here: the figure is the live view's.
        ocv::SetRelaxed(service.store().MutableSettingsForTesting().PLANREC, 0);
        const ocv::UserInfo& admin = service.store().user(0);
        service.store().SaveLoginMemory(admin.id, admin.password, 1);
        ocv::MainDlg window(service, nullptr, ocv::MainDlg::Options{false});
        if (!window.Create()) return 1;
        window.resize(1920, 1080);
        window.show();
        auto* page = window.findChild<ocv::UIRealPlayDlg*>();
        if (!page) return 1;
        service.connections().StartAllDeviceThreads();
        page->SetSplitMode(mix ? 17 : 36);
        if (mix) {
            page->OpenChannelInCell(1, 0, 0);
            for (int c = 1; c < cells; ++c) page->OpenChannelInCell(0, c - 1, c);
        } else {
            for (int c = 0; c < cells; ++c) page->OpenChannelInCell(0, c, c);
        }
        Pump(warmup * 1000 + 2000);
        if (scenario == "max17") {
            QWidget* video = page->panel()->Cell(0)->VideoWindow();
            QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(10, 10), video->mapToGlobal(QPointF(10, 10)),
                              Qt::LeftButton, Qt::LeftButton, {});
            QCoreApplication::sendEvent(video, &click);
            Pump(1500);
        }

        ocv::UIScreenPannel* panel = page->panel();
        std::vector<uint64_t> before(cells), droppedBefore(cells);
        auto dropped = [&](int c) { return panel->Cell(c)->VideoWindow()->PictureArea()->Surface().DroppedPictureCount(); };
        for (int c = 0; c < cells; ++c) {
            before[c] = panel->PaintedPictures(c);
            droppedBefore[c] = dropped(c);
        }
        std::vector<double> delays;
        uint64_t lastSequence = 0;
        QTimer sampler;
        sampler.setInterval(2);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            auto picture = panel->Cell(0)->VideoWindow()->PictureArea()->LastPicture();
            if (!picture || picture->sequence == lastSequence) return;
            lastSequence = picture->sequence;
            delays.push_back(static_cast<double>(static_cast<int32_t>(MonotonicMs() - picture->timestampMs)));
        });
        auto Totals = [&] {
            ocv::player::PortStatistics sum{};
            for (int c = 0; c < cells; ++c) {
                ocv::player::PortStatistics st{};
                if (ocv::player::GetPortStatistics(service.players().slot(c).port.load(), &st) != 0) continue;
                sum.videoFramesTaken += st.videoFramesTaken;
                sum.framesDiscarded += st.framesDiscarded;
                sum.decodedPictures += st.decodedPictures;
                sum.decodeErrors += st.decodeErrors;
            }
            return sum;
        };
        ocv::player::PortStatistics start = Totals();
        const std::map<std::string, double> threads0 = ThreadCpuByKind();
        double cpu0 = CpuSeconds();
        auto t0 = std::chrono::steady_clock::now();
        sampler.start();
        Pump(seconds * 1000);
        sampler.stop();
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        double cores = (CpuSeconds() - cpu0) / wall;

        std::printf("scenario %s, %d cells, panel %dx%d, %.1f s\n", scenario.c_str(), cells, panel->width(),
                    panel->height(), wall);
        std::printf("client CPU: %.2f cores; by thread:", cores);
        std::vector<std::pair<double, std::string>> byKind;
        for (const auto& [kind, seconds] : ThreadCpuByKind()) {
            auto it = threads0.find(kind);
            double used = seconds - (it == threads0.end() ? 0.0 : it->second);
            if (used / wall >= 0.005) byKind.push_back({used / wall, kind});
        }
        std::sort(byKind.rbegin(), byKind.rend());
        for (const auto& [share, kind] : byKind) std::printf(" %s %.3f", kind.c_str(), share);
        std::printf("\n");
        double minRate = 1e9, sum = 0;
        for (int c = 0; c < cells; ++c) {
            double rate = static_cast<double>(panel->PaintedPictures(c) - before[c]) / wall;
            minRate = std::min(minRate, rate);
            sum += rate;
            std::printf("%s%2d:%5.1f", c % 9 == 0 ? "\n  " : "  ", c, rate);
        }
        ocv::player::PortStatistics after = Totals();
        std::printf("\nplayers in the window: %.1f frames taken, %.1f discarded, %.1f decoded per second over all "
                    "cells, %llu decode errors\n",
                    static_cast<double>(after.videoFramesTaken - start.videoFramesTaken) / wall,
                    static_cast<double>(after.framesDiscarded - start.framesDiscarded) / wall,
                    static_cast<double>(after.decodedPictures - start.decodedPictures) / wall,
                    static_cast<unsigned long long>(after.decodeErrors - start.decodeErrors));
        uint64_t droppedTotal = 0;
        for (int c = 0; c < cells; ++c) droppedTotal += dropped(c) - droppedBefore[c];
        std::printf("painted pictures per second: mean %.1f, lowest cell %.1f; pictures replaced before painting: "
                    "%.1f per second over all cells\n",
                    sum / cells, minRate, static_cast<double>(droppedTotal) / wall);
        std::sort(delays.begin(), delays.end());
        auto pct = [&](double q) {
            return delays.empty() ? 0.0 : delays[static_cast<size_t>(q * static_cast<double>(delays.size() - 1))];
        };
        std::printf("cell 0 send-to-paint delay: median %.0f ms, p95 %.0f ms, max %.0f ms (%zu samples)\n", pct(0.5),
                    pct(0.95), pct(1.0), delays.size());
        const QSize cellSize = panel->Cell(0)->VideoWindow()->PictureArea()->size();
        service.connections().StopAllDevices();
        if (peer && !mix) {
            // The same streams, the same cell size, the same run.
            ocv::test::TempDir peerDir;
            std::vector<std::string> files =
                ocv::bench::CaptureSubStreams("127.0.0.1", sim.device(0).port, "admin", "kestr", cells, 100,
                                              peerDir.str(), &error);
            if (files.empty()) {
                std::fprintf(stderr, "client_grid: %s\n", error.c_str());
            } else {
                ocv::bench::PeerFigure convert =
                    ocv::bench::RunFfmpegPeer(files, cellSize.width(), cellSize.height(), true, seconds);
                ocv::bench::PeerFigure decode =
                    ocv::bench::RunFfmpegPeer(files, cellSize.width(), cellSize.height(), false, seconds);
                std::printf("peer, ffmpeg in one process, the same %d sub streams in real time (%d pictures/s): "
                            "decode + convert to %dx%d BGRA (fast bilinear) %.2f cores, decode alone %.2f cores "
                            "(start-up %.2f / %.2f CPU s taken off)\n",
                            cells, cells * 25, cellSize.width(), cellSize.height(), convert.cores, decode.cores,
                            convert.startup, decode.startup);
                if (convert.cores > 0)
                    std::printf("client / peer (decode + convert): %.2f cores / %.2f cores = %.2fx\n", cores,
                                convert.cores, cores / convert.cores);
            }
        }
        ocv::SetService(nullptr);
    }
    QVX_SDK_Cleanup();
    return 0;
}
