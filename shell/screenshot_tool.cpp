// ocuvant-screenshot APPDIR OUTDIR [WIDTH]
// The pictures of the user's manual, taken from the running client with the application
// directory APPDIR (a throw-away copy: the login memory is written into it so the main window
// opens without the dialog) and the devices it names (scripts/screenshot starts the simulator).
// Every page of the client's page list gets "page-<name>.png", so a page registered later gets
// its picture without a change here; the windows that are not pages get their own names
// (splash, login, lock, account, message, snapshots, closing). Pictures wider than WIDTH (default 640, what fits
// the manual's page) are scaled down. Meant for scripts/screenshot under Xvfb.
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "backup/snapshot.h"
#include "base/lang.h"
#include "device/device_service.h"
#include "liveview/realplay_dlg.h"
#include "platform/app_dir.h"
#include "sdk/qvx_sdk.h"
#include "shell/client_pages.h"
#include "shell/client_services.h"
#include "shell/main_dlg.h"
#include "setup/user_setup_page.h"
#include "shell/splash_dialog.h"
#include "snapshots/snapshot_viewer_dlg.h"
#include "store/text_field.h"
#include "videogrid/screen_pannel.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_wnd.h"
#include "widgets/client_context.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"

namespace {

int gWidth = 640;
QString gOut;
bool gOk = true;

void Settle(int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 20) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
}

void Save(QWidget& w, const QString& name) {
    Settle(300);
    // From the screen where there is one: the players draw into native windows, which a widget's
    // own rendering leaves black.
    QImage image;
    if (w.isWindow() && w.screen() != nullptr && QGuiApplication::platformName() == "xcb")
        image = w.screen()->grabWindow(w.winId()).toImage();
    if (image.isNull()) image = w.grab().toImage();
    if (image.width() > gWidth) image = image.scaledToWidth(gWidth, Qt::SmoothTransformation);
    const QString path = gOut + "/" + name + ".png";
    const bool ok = !image.isNull() && image.save(path, "PNG");
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    gOk = gOk && ok;
}

// The picture a live cell shows, as a capture takes it: what the video window draws.
class CellGrabber : public ocv::backup::PictureGrabber {
public:
    explicit CellGrabber(QWidget* video) : video_(video) {}
    int Grab(bool bitmap, int quality, std::string* fileBytes) override {
        // The player draws into the cell's native window: its part of the screen, as shown.
        QWidget* top = video_->window();
        const QPoint at = video_->mapTo(top, QPoint(0, 0));
        QImage image;
        if (top->screen() != nullptr)
            image = top->screen()->grabWindow(top->winId(), at.x(), at.y(), video_->width(), video_->height()).toImage();
        if (image.isNull()) return -2;
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, bitmap ? "BMP" : "JPG", quality)) return -1;
        fileBytes->assign(bytes.constData(), static_cast<size_t>(bytes.size()));
        return 0;
    }

private:
    QWidget* video_;
};

// Captures the first cells of the live view into the snapshot folders, so the snapshot viewer
// has the day's pictures to show.
int CaptureLiveCells(ocv::DeviceService& service, ocv::UIRealPlayDlg& live, int cells) {
    const auto& groups = service.store().groups();
    if (groups.empty()) return 0;
    int captured = 0;
    const auto& members = groups[0].members;
    for (int cell = 0; cell < cells && cell < static_cast<int>(members.size()); ++cell) {
        const ocv::DeviceInfo& dev = service.store().device(members[cell].deviceIndex);
        ocv::SystemSettings settings = service.store().settings();
        CellGrabber grabber(live.panel()->Cell(cell)->VideoWindow());
        if (ocv::backup::CaptureLive(settings, dev.host, dev.port, members[cell].channelIndex + 1, grabber) == 0)
            ++captured;
    }
    return captured;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: ocuvant-screenshot APPDIR OUTDIR [WIDTH]\n");
        return 2;
    }
    ocv::SetAppDir(argv[1]);
    gOut = argv[2];
    if (argc == 4) gWidth = std::max(200, std::atoi(argv[3]));
    QDir().mkpath(gOut);
    QFile style(QString::fromStdString(ocv::AppPath("skin/ocuvant.qss")));
    if (style.open(QIODevice::ReadOnly)) app.setStyleSheet(QString::fromUtf8(style.readAll()));
    ocv::LoadSharedTexts();
    QVX_CPU_Init();
    QVX_NET_Init();

    {
        ocv::UIWzdSplashDlg splash(ocv::UIWzdSplashDlg::kLoading, nullptr);
        splash.show();
        for (int i = 0; i < 4; ++i) splash.LoadingTick();
        Save(splash, "splash");
    }
    auto service = std::make_unique<ocv::DeviceService>();
    ocv::SetService(service.get());
    if (!service->IsOpen()) {
        std::fprintf(stderr, "ocuvant-screenshot: no database in %s\n", argv[1]);
        return 1;
    }
    {
        ocv::UILoginDlg login(service->store(), service->log(), false, false, nullptr);
        login.show();
        Save(login, "login");
    }
    const ocv::UserInfo& admin = service->store().user(0);
    service->store().SaveLoginMemory(admin.id, admin.password, 1);
    {
        ocv::MainDlg window(*service, nullptr, ocv::MainDlg::Options{false});
        if (!window.Create()) return 1;
        window.resize(1280, 800);
        window.show();
        window.statusWorker()->Tick();
        service->connections().StartAllDeviceThreads();

        // The live view first: its cameras take a while to come up, and its cells give the
        // snapshot viewer something to show.
        window.OpenPage("realPlay");
        if (auto* live = window.findChild<ocv::UIRealPlayDlg*>()) {
            live->SetSplitMode(9);
            live->ShowGroup(0);
            for (int i = 0; i < 10; ++i) {  // up to 10 s for the streams and the thermal insets
                Settle(1000);
                for (int d = 0; d < 4; ++d) live->controller().RetryInsets(d);
            }
            std::printf("captured %d live pictures\n", CaptureLiveCells(*service, *live, 3));
        }

        for (const ocv::PageInfo& p : ocv::ClientPages()) {
            window.OpenPage(p.name);
            if (!window.HasPage(p.name)) {
                std::fprintf(stderr, "ocuvant-screenshot: page %s did not open\n", qPrintable(p.name));
                gOk = false;
                continue;
            }
            window.statusWorker()->Tick();
            Save(window, "page-" + p.name);
        }

        {
            ocv::UISnapshotDlg viewer(service->store(), &window);
            viewer.resize(1000, 640);
            viewer.show();
            Settle(1500);  // the loader lists the day and decodes the thumbnails
            Save(viewer, "snapshots");
        }
        {
            ocv::UIModifyDlg form(&service->store().user(0), &window);
            form.show();
            Save(form, "account");
        }
        {
            ocv::UIMessageBoxDlg box(&window, ocv::Tr("Successfully saved!"), ocv::Tr("Complete"), ocv::kMsgComplete);
            box.show();
            Save(box, "message");
        }
        service->connections().StopAllDevices();
    }
    {
        ocv::UILockDlg lock(nullptr);
        lock.show();
        Save(lock, "lock");
    }
    {
        // The client's own exit: the splash logs the devices out, ends the service and the
        // device library, and closes itself.
        ocv::UIWzdSplashDlg closing(ocv::UIWzdSplashDlg::kShuttingDown, &service, nullptr);
        closing.show();
        Save(closing, "closing");
        closing.exec();
    }
    return gOk ? 0 : 1;
}
