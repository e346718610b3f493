// playback_walkthrough APPDIR OUTDIR [RECORD_SECONDS]
// The playback page tried the way an operator would, on the demo site (scripts/demo's simulator
// must be running and APPDIR must hold the demo database, as scripts/demo makes them): the
// client runs with its workers and records for RECORD_SECONDS (default 120), then the page is
// opened; today is chosen, the first camera dragged into window 1, a click into the middle of a
// recording, fast and slow, single frames, the crossing into the next file, the hover preview,
// an AVI and an MP4 backup of a clip, then remote mode with an earlier day of a recorder's
// channel played and downloaded. Every step prints what it saw and saves a picture of the page
// (OUTDIR/*.png); message boxes are printed instead of shown. Run under xvfb-run; not a test.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <memory>

#include "base/clock.h"
#include "base/lang.h"
#include "device/device_service.h"
#include "liveview/realplay_dlg.h"
#include "platform/app_dir.h"
#include "platform/drives.h"
#include "playback/backup_dlg.h"
#include "playback/playback_dlg.h"
#include "playback/preview_wnd.h"
#include "sdk/qvx_sdk.h"
#include "shell/main_dlg.h"
#include "ui_UIBackupDlg.h"
#include "playback/timeline_wnd.h"
#include "shell/client_services.h"
#include "videogrid/screen_pannel.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_wnd.h"
#include "widgets/client_context.h"
#include "widgets/message_box.h"
#include "widgets/window_message.h"

namespace {

using namespace ocv;
using namespace ocv::playback;

QString g_out;
QStringList g_messages;

void Pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

bool PumpUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (done()) return true;
        QThread::msleep(10);
    }
    return done();
}

void Shot(QWidget* w, const char* name) {
    Pump(300);
    const QString path = g_out + "/" + name;
    std::printf("  picture %s: %s\n", name, w->grab().save(path, "PNG") ? "saved" : "FAILED");
    std::fflush(stdout);
}

std::string Hms(int t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
    return text;
}

void ListWindow(PlaybackController& c, int w) {
    const RecordList& list = c.WindowList(w);
    std::printf("  window %d: %zu recordings", w + 1, list.size());
    int shown = 0;
    for (const RecordEntry& e : list) {
        if (shown++ == 6) {
            std::printf(" ...");
            break;
        }
        std::printf(" [%s %ds type %d]", Hms(e.StartSecond()).c_str(), e.durationSeconds, e.type);
    }
    std::printf("\n");
}

// Runs the backup window on the selected window's clip; prints the message and the file.
void Backup(UIPlaybackDlg& page, bool download, int formatIndex, const char* label) {
    page.OpenBackupWindow(download);
    UIBackupDlg* dlg = page.backupWindow();
    if (!dlg) return;
    dlg->ui().formatCombo->setCurrentIndex(formatIndex);
    const int disk = dlg->ui().diskCombo->findData(1);  // D, the demo's recording drive
    if (disk >= 0) dlg->ui().diskCombo->setCurrentIndex(disk);
    g_messages.clear();
    const auto t0 = std::chrono::steady_clock::now();
    dlg->Start();
    int lastProgress = -1;
    PumpUntil([&] {
        const int p = dlg->ui().backupProgress->value();
        if (p != lastProgress && p % 25 == 0) std::printf("  %s progress %d\n", label, p);
        lastProgress = p;
        return !g_messages.isEmpty() || (!dlg->Running() && dlg->ui().okBtn->isEnabled() &&
                                         std::chrono::steady_clock::now() - t0 > std::chrono::seconds(1));
    }, 120000);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("  %s: \"%s\" after %.1f s %s\n", label, g_messages.isEmpty() ? "" : qPrintable(g_messages.last()), s,
                qPrintable(dlg->ui().msgLabel->text()));
    Shot(dlg, download ? "backup-download.png" : "backup-window.png");
    dlg->hide();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc < 3) {
        std::fprintf(stderr, "usage: playback_walkthrough APPDIR OUTDIR [RECORD_SECONDS]\n");
        return 2;
    }
    SetAppDir(argv[1]);
    g_out = argv[2];
    const int recordSeconds = argc > 3 ? std::atoi(argv[3]) : 120;
    QDir().mkpath(g_out);
    QFile style(QString::fromStdString(AppPath("skin/ocuvant.qss")));
    if (style.open(QIODevice::ReadOnly)) app.setStyleSheet(QString::fromUtf8(style.readAll()));
    LoadSharedTexts();
    QVX_CPU_Init();
    QVX_NET_Init();
    QVX_SDK_Init();
    SetMessageHookForTesting([](const QString& text, int) {
        std::printf("  message box: \"%s\"\n", qPrintable(text));
        g_messages << text;
        return true;
    });

    auto service = std::make_unique<DeviceService>();
    SetService(service.get());
    if (!service->IsOpen()) {
        std::fprintf(stderr, "playback_walkthrough: no database in %s\n", argv[1]);
        return 1;
    }
    // One-minute recording files, so that a few minutes of recording make several files.
    SystemSettings settings = service->store().settings();
    settings.RECLEN = 1;
    service->store().SaveSettings(settings, false);
    const UserInfo& admin = service->store().user(0);
    service->store().SaveLoginMemory(admin.id, admin.password, 1);
    {
        MainDlg window(*service, nullptr, MainDlg::Options{true});
        if (!window.Create()) return 1;
        window.resize(1500, 950);
        window.show();
        // The demo database does not connect channels at start: a channel records while its
        // stream is open, so the operator first shows the group in the live view.
        window.OpenPage("realPlay");
        if (auto* live = window.findChild<UIRealPlayDlg*>()) {
            live->SetSplitMode(25);
            live->ShowGroup(0);
        }
        std::printf("the demo group shown in the live view; recording for %d s ...\n", recordSeconds);
        Pump(recordSeconds * 1000);

        for (int d = 0; d < 4; ++d) {
            const DeviceRuntime& rt = service->runtime().device(d);
            const ChannelRuntime& ch = rt.channels[0];
            std::printf("  device %d: state %d, channel 1 stream %d (main %d, sub %d), recording %d\n", d,
                        static_cast<int>(rt.deviceState.load()), static_cast<int>(ch.connectState.load()),
                        ch.mainStream.load(), ch.subStream.load(), static_cast<int>(ch.recordType.load()));
        }
        Shot(&window, "0-live.png");
        window.OpenPage("playback");
        Pump(300);
        auto* page = window.findChild<UIPlaybackDlg*>();
        if (!page) {
            std::fprintf(stderr, "no playback page\n");
            return 1;
        }
        PlaybackController& c = page->controller();
        const ClockSnapshot now = clockSnapshot();
        std::printf("1. today (%04d-%02d-%02d) in local mode; day marks of the month:", now.year, now.month, now.day);
        c.ChooseDay(Date{now.year, now.month, now.day});
        Pump(500);
        for (int d = 1; d <= 31; ++d)
            if (c.dayMarks()[static_cast<size_t>(d)]) std::printf(" %d", d);
        std::printf("\n");

        std::printf("2. the first camera dragged into window 1\n");
        QTreeWidgetItem* item = page->ChannelItem(0, 0, 0);
        if (!item) {
            std::fprintf(stderr, "the demo group has no first camera\n");
            return 1;
        }
        UIScreenWnd* cell = page->panel()->Cell(0);
        page->DropTreeItem(item, cell->mapTo(page, cell->rect().center()));
        PumpUntil([&] { return c.IsPlaying(0); }, 5000);
        ListWindow(c, 0);
        const RecordList& list = c.WindowList(0);
        if (list.empty()) {
            std::printf("  nothing recorded: is the simulator running, and the demo database in APPDIR?\n");
            return 1;
        }
        // Show the hour around the recordings.
        const int firstMinute = list.front().StartSecond() / 60;
        c.timeline().SetView(std::max(0, firstMinute / 5 * 5 - 5), 5);
        page->timeline()->update();
        Shot(&window, "1-local-day.png");

        const RecordEntry first = list.front();
        const int middle = first.StartSecond() + first.durationSeconds / 2;
        std::printf("3. a click at %s, the middle of the first recording\n", Hms(middle).c_str());
        PostWindowMessage(page, kMsgTimelineClick, 0, middle);
        const uint64_t painted = page->panel()->PaintedPictures(0);
        const auto t0 = std::chrono::steady_clock::now();
        PumpUntil([&] { return page->panel()->PaintedPictures(0) > painted; }, 5000);
        std::printf("  first picture after %.0f ms; the window is at %s\n",
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count(),
                    Hms(c.CurrentSecond(0)).c_str());
        Pump(1000);
        Shot(&window, "2-seek.png");

        std::printf("4. fast twice (x4), then slow three times\n");
        const int before = c.CurrentSecond(0);
        page->RunCellCommand(kCmdFast);
        page->RunCellCommand(kCmdFast);
        Pump(2000);
        std::printf("  level %d: 2 s of wall time moved the window %d s\n", c.SpeedLevel(0), c.CurrentSecond(0) - before);
        for (int i = 0; i < 3; ++i) page->RunCellCommand(kCmdSlow);
        const int slowFrom = c.CurrentSecond(0);
        Pump(2000);
        std::printf("  level %d: 2 s of wall time moved the window %d s\n", c.SpeedLevel(0), c.CurrentSecond(0) - slowFrom);
        page->RunCellCommand(kCmdNormal);

        std::printf("5. single frames\n");
        const uint64_t framesBefore = page->panel()->PaintedPictures(0);
        for (int i = 0; i < 5; ++i) {
            page->RunCellCommand(kCmdFrame);
            Pump(150);
        }
        std::printf("  5 steps painted %llu pictures; state %d (3 paused)\n",
                    static_cast<unsigned long long>(page->panel()->PaintedPictures(0) - framesBefore), c.PlayState(0));

        if (list.size() > 1) {
            const int nearEnd = first.StartSecond() + std::max(0, first.durationSeconds - 3);
            std::printf("6. across the file boundary: from %s, the next file starts at %s\n", Hms(nearEnd).c_str(),
                        Hms(list[1].StartSecond()).c_str());
            PostWindowMessage(page, kMsgTimelineClick, 0, nearEnd);
            const bool crossed = PumpUntil([&] { return c.CurrentSecond(0) >= list[1].StartSecond(); }, 15000);
            std::printf("  %s; the window is at %s\n", crossed ? "went on into the next file" : "DID NOT cross",
                        Hms(c.CurrentSecond(0)).c_str());
        }

        std::printf("7. hover at %s\n", Hms(middle).c_str());
        PostWindowMessage(page, kMsgTimelineHover, 0, middle);
        PumpUntil([&] { return page->preview()->VideoWindow()->PaintedPictures() > 0; }, 3000);
        std::printf("  preview %s, %llu pictures drawn\n", page->preview()->isVisible() ? "shown" : "hidden",
                    static_cast<unsigned long long>(page->preview()->VideoWindow()->PaintedPictures()));
        Shot(page->preview(), "3-preview.png");
        PostWindowMessage(page, kMsgTimelineHover, -1, -1);
        Pump(200);

        std::printf("8. a clip of the first recording backed up as AVI and as MP4\n");
        page->findChild<QPushButton*>("clipOption")->click();
        c.TimelineClick(0, first.StartSecond());
        c.TimelineClick(0, first.StartSecond() + first.durationSeconds - 1);
        Backup(*page, false, 0, "AVI");
        Backup(*page, false, 2, "MP4");
        page->findChild<QPushButton*>("clipOption")->click();

        std::printf("9. remote mode\n");
        page->findChild<QPushButton*>("remoteOption")->click();
        Pump(300);
        QTreeWidgetItem* nvr = nullptr;
        for (int d = 0; d < 4 && !nvr; ++d) nvr = page->ChannelItem(0, d, 1);
        if (!nvr) nvr = page->ChannelItem(0, 0, 0);
        const int device = nvr->data(0, Qt::UserRole + 1).toInt(), channel = nvr->data(0, Qt::UserRole + 2).toInt();
        page->DropTreeItem(nvr, cell->mapTo(page, cell->rect().center()));
        PumpUntil([&] { return !c.WindowList(0).empty() || c.dayMarks() != DayMarks{}; }, 15000);
        std::printf("  device %d channel %d, today: %zu recordings; marked days:", device, channel + 1,
                    c.WindowList(0).size());
        int earlier = 0;
        for (int d = 1; d <= 31; ++d)
            if (c.dayMarks()[static_cast<size_t>(d)]) {
                std::printf(" %d", d);
                if (d < now.day) earlier = d;
            }
        std::printf("\n");
        if (earlier > 0) {
            std::printf("  the %d chosen\n", earlier);
            c.ChooseDay(Date{now.year, now.month, earlier});
            PumpUntil([&] { return c.IsPlaying(0); }, 15000);
            ListWindow(c, 0);
            const uint64_t p0 = page->panel()->PaintedPictures(0);
            PumpUntil([&] { return page->panel()->PaintedPictures(0) > p0 + 10; }, 10000);
            std::printf("  playing: %llu pictures, the window at %s\n",
                        static_cast<unsigned long long>(page->panel()->PaintedPictures(0)), Hms(c.CurrentSecond(0)).c_str());
            if (!c.WindowList(0).empty()) {
                const RecordEntry& e = c.WindowList(0).front();
                c.timeline().SetView(std::max(0, e.StartSecond() / 60 / 5 * 5 - 5), 5);
            }
            const int remoteFrom = c.CurrentSecond(0);
            Pump(5000);
            std::printf("  5 s later the window is at %s (from %s)\n", Hms(c.CurrentSecond(0)).c_str(),
                        Hms(remoteFrom).c_str());
            Shot(&window, "4-remote.png");
            if (!c.WindowList(0).empty()) {
                const RecordEntry e = c.WindowList(0).front();
                page->findChild<QPushButton*>("clipOption")->click();
                c.TimelineClick(0, e.StartSecond());
                c.TimelineClick(0, e.StartSecond() + std::min(e.durationSeconds, 60) - 1);
                Backup(*page, true, 0, "download AVI");
            }
        }
        service->connections().StopAllDevices();
    }
    SetMessageHookForTesting(nullptr);
    SetService(nullptr);
    service.reset();
    QVX_SDK_Cleanup();
    return 0;
}
