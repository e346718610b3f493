// Measuring program (not a test): a screen panel on the offscreen platform with one player
// port per cell, fed at a steady rate from one thread with the device simulator's own
// H.264 loops (labelled moving test pictures at a camera's bit rate). Reports the
// process CPU use (cores), the picture rate every cell really paints, and the delay from
// feeding a frame to cell 0 painting its picture.
//
//   liveview_paint_rate [--cells 36] [--mode 36] [--clip 352x288] [--main 1920x1080]
//                       [--maximise] [--fps 25] [--seconds 10] [--panel 1600x900]
//                       [--kbps 256] [--main-kbps 4096]
//
// --main gives cell 0 a clip of its own size (a main stream); --maximise double-clicks
// cell 0 and pauses the other decoders as the live view page does.
#include <pthread.h>
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "videogrid/cell_messages.h"
#include "videogrid/screen_pannel.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_wnd.h"
#include "player/player_statistics.h"
#include "player/qvx_player.h"
#include "base/port_slots.h"
#include "widgets/window_message.h"
#include "tests/player/test_clip.h"
#include "tools/devsim/video_loop.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int cells = 36, mode = 36, fps = 25, seconds = 10;
    int clipW = 352, clipH = 288, mainW = 0, mainH = 0, panelW = 1600, panelH = 900;
    int kbps = 256, mainKbps = 4096;
    bool maximise = false;
};

bool ParseSize(const char* text, int* w, int* h) {
    return std::sscanf(text, "%dx%d", w, h) == 2 && *w > 0 && *h > 0 && *w <= 4096 && *h <= 4096;
}

bool Parse(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--maximise") { o->maximise = true; continue; }
        if (v == nullptr) return false;
        ++i;
        if (a == "--cells") o->cells = std::clamp(std::atoi(v), 1, 36);
        else if (a == "--mode") o->mode = std::atoi(v);
        else if (a == "--fps") o->fps = std::clamp(std::atoi(v), 1, 100);
        else if (a == "--kbps") o->kbps = std::clamp(std::atoi(v), 16, 20000);
        else if (a == "--main-kbps") o->mainKbps = std::clamp(std::atoi(v), 16, 20000);
        else if (a == "--seconds") o->seconds = std::clamp(std::atoi(v), 1, 600);
        else if (a == "--clip") { if (!ParseSize(v, &o->clipW, &o->clipH)) return false; }
        else if (a == "--main") { if (!ParseSize(v, &o->mainW, &o->mainH)) return false; }
        else if (a == "--panel") { if (!ParseSize(v, &o->panelW, &o->panelH)) return false; }
        else return false;
    }
    return true;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

uint32_t NowMs(Clock::time_point start) {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Options o;
    if (!Parse(argc, argv, &o)) {
        std::fprintf(stderr, "usage: %s [--cells N] [--mode M] [--clip WxH] [--main WxH] [--maximise] "
                             "[--fps F] [--seconds S] [--panel WxH]\n", argv[0]);
        return 2;
    }
    const int clipLength = 4 * o.fps;
    std::fprintf(stderr, "encoding (or loading) the loops...\n");
    const char* tmp = std::getenv("TMPDIR");
    const std::string cacheDir = std::string(tmp != nullptr ? tmp : "/tmp") + "/ocv-paint-rate";
    auto makeLoop = [&](int w, int h, int kbps, const char* label) {
        ocv::devsim::LoopParams p;
        p.width = w;
        p.height = h;
        p.bitrateKbps = kbps;
        p.fps = o.fps;
        p.keyInterval = 2 * o.fps;
        p.frames = clipLength;
        p.label = label;
        std::string error;
        auto loop = ocv::devsim::MakeVideoLoop(p, cacheDir, &error);
        if (!loop) std::fprintf(stderr, "loop %dx%d: %s\n", w, h, error.c_str());
        std::vector<ocv::test::EncodedPicture> clip;
        if (loop) {
            for (const auto& f : loop->frames) clip.push_back({f.data, f.key});
        }
        return clip;
    };
    const auto subClip = makeLoop(o.clipW, o.clipH, o.kbps, "CELL SUB");
    const auto mainClip = o.mainW > 0 ? makeLoop(o.mainW, o.mainH, o.mainKbps, "CELL MAIN") : subClip;
    if (subClip.size() != static_cast<size_t>(clipLength) || mainClip.size() != static_cast<size_t>(clipLength))
        return 1;

    QWidget page;
    page.resize(o.panelW, o.panelH);
    auto* panel = new ocv::UIScreenPannel(&page, {o.cells, 255, false}, &page);
    panel->setGeometry(0, 0, o.panelW, o.panelH);
    panel->SetSplitMode(o.mode);
    page.show();
    QCoreApplication::processEvents();
    if (o.maximise) {
        ocv::WindowMessage activate(ocv::CellActivate, 0, 0);
        QCoreApplication::sendEvent(panel, &activate);
    }

    std::vector<int> ports(static_cast<size_t>(o.cells), 0), numbers(static_cast<size_t>(o.cells), -1);
    for (int i = 0; i < o.cells; ++i) {
        auto k = static_cast<size_t>(i);
        numbers[k] = ocv::TakePort();
        if (numbers[k] < 0 || QVXPlay_InitV2(&ports[k], numbers[k]) != 0) return 1;
        QVXPlay_SetDrawWnd(ports[k], panel->VideoSurfaceOf(i));
        ocv::StreamInfo info = ocv::test::MakeStreamInfo(352, 288);
        QVXPlay_OpenStream(ports[k], &info, sizeof info);
        QVXPlay_Play(ports[k]);
        if (o.maximise && i != 0) QVXPlay_PauseDecoder(ports[k]);
    }

    const Clock::time_point start = Clock::now();
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        pthread_setname_np(pthread_self(), "paint-rate-feed");
        auto next = Clock::now();
        for (uint64_t tick = 0; !stop.load(); ++tick) {
            const size_t frame = tick % static_cast<size_t>(clipLength);
            const uint32_t ts = NowMs(start);
            for (int i = 0; i < o.cells; ++i) {
                const auto& clip = i == 0 ? mainClip : subClip;
                auto record = ocv::test::MakeVideoRecord(clip[frame], ts);
                QVXPlay_InputVideoData(ports[static_cast<size_t>(i)], record.data(), static_cast<int>(record.size()));
            }
            next += std::chrono::microseconds(1000000 / o.fps);
            std::this_thread::sleep_until(next);
        }
    });

    // Delay of cell 0: the frame's timestamp is its feeding time; sampled every 2 ms.
    std::vector<double> delaysMs;
    uint64_t lastSequence = 0;
    ocv::VideoPictureArea* area0 = panel->Cell(0)->VideoWindow()->PictureArea();
    QTimer sampler;
    sampler.setTimerType(Qt::PreciseTimer);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        auto p = area0->LastPicture();
        if (p && p->sequence != lastSequence) {
            lastSequence = p->sequence;
            delaysMs.push_back(static_cast<double>(NowMs(start)) - p->timestampMs);
        }
    });
    sampler.start(2);

    // Warm up two seconds, then measure.
    std::vector<uint64_t> paintedBefore(static_cast<size_t>(o.cells));
    double cpuBefore = 0;
    Clock::time_point measureStart;
    QTimer::singleShot(2000, [&] {
        for (int i = 0; i < o.cells; ++i) paintedBefore[static_cast<size_t>(i)] = panel->PaintedPictures(i);
        cpuBefore = CpuSeconds();
        measureStart = Clock::now();
        delaysMs.clear();
    });
    QTimer::singleShot(2000 + o.seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double wall = std::chrono::duration<double>(Clock::now() - measureStart).count();
    const double cpu = CpuSeconds() - cpuBefore;
    stop = true;
    feeder.join();

    double minRate = 1e9, sumRate = 0;
    int shown = 0;
    for (int i = 0; i < o.cells; ++i) {
        if (panel->Layout().Cell(i).IsEmpty()) continue;  // not shown by the layout
        const double rate = static_cast<double>(panel->PaintedPictures(i) - paintedBefore[static_cast<size_t>(i)]) / wall;
        minRate = std::min(minRate, rate);
        sumRate += rate;
        ++shown;
    }
    std::sort(delaysMs.begin(), delaysMs.end());
    auto pct = [&](double q) {
        return delaysMs.empty() ? 0.0 : delaysMs[static_cast<size_t>(q * static_cast<double>(delaysMs.size() - 1))];
    };
    const QSize cell0 = panel->Cell(0)->VideoWindow()->size();
    std::printf("cells %d mode %d clip %dx%d@%dk%s%s at %d fps, panel %dx%d, cell 0 video %dx%d\n", o.cells, o.mode,
                o.clipW, o.clipH, o.kbps, o.mainW > 0 ? " + main " : "",
                o.mainW > 0 ? (std::to_string(o.mainW) + "x" + std::to_string(o.mainH)).c_str() : "", o.fps,
                o.panelW, o.panelH, cell0.width(), cell0.height());
    std::printf("cpu %.2f cores over %.1f s\n", cpu / wall, wall);
    std::printf("painted per shown cell: min %.1f avg %.1f pictures/s (%d cells shown)\n", minRate,
                shown ? sumRate / shown : 0.0, shown);
    std::printf("cell 0 feed-to-paint delay: median %.1f ms, p95 %.1f ms, max %.1f ms (%zu samples)\n", pct(0.5),
                pct(0.95), pct(1.0), delaysMs.size());

    for (int i = 0; i < o.cells; ++i) {
        auto k = static_cast<size_t>(i);
        QVXPlay_SetDrawWnd(ports[k], nullptr);
        QVXPlay_DeInit(ports[k]);
        ocv::ReleasePort(numbers[k]);
    }
    return 0;
}
