// ocuvant-screenshot APPDIR OUTDIR
// Saves splash.png, login.png, main.png and liveview.png of the client's windows as they look with the
// application directory APPDIR (a throw-away copy: the login memory is written into it so the
// main window opens without the dialog). Meant for scripts/screenshot under Xvfb.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <cstdio>
#include <memory>

#include "device/device_service.h"
#include "platform/app_dir.h"
#include "platform/system_control.h"
#include "sdk/qvx_sdk.h"
#include "liveview/realplay_dlg.h"
#include "base/lang.h"
#include "shell/client_services.h"
#include "widgets/client_context.h"
#include "widgets/login_dialog.h"
#include "shell/main_dlg.h"
#include "shell/splash_dialog.h"

namespace {

bool Save(QWidget& w, const QString& path) {
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(30);
    }
    bool ok = w.grab().save(path, "PNG");
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: ocuvant-screenshot APPDIR OUTDIR\n");
        return 2;
    }
    ocv::SetAppDir(argv[1]);
    QString out = argv[2];
    QDir().mkpath(out);
    QFile style(QString::fromStdString(ocv::AppPath("skin/ocuvant.qss")));
    if (style.open(QIODevice::ReadOnly)) app.setStyleSheet(QString::fromUtf8(style.readAll()));
    ocv::LoadSharedTexts();
    QVX_CPU_Init();
    QVX_NET_Init();

    bool ok = true;
    std::unique_ptr<ocv::DeviceService> service;
    {
        ocv::UIWzdSplashDlg splash(ocv::UIWzdSplashDlg::kLoading, nullptr);
        splash.show();
        for (int i = 0; i < 4; ++i) splash.LoadingTick();
        ok &= Save(splash, out + "/splash.png");
    }
    service = std::make_unique<ocv::DeviceService>();
    ocv::SetService(service.get());
    if (!service->IsOpen()) {
        std::fprintf(stderr, "ocuvant-screenshot: no database in %s\n", argv[1]);
        return 1;
    }
    {
        ocv::UILoginDlg login(service->store(), service->log(), false, false, nullptr);
        login.show();
        ok &= Save(login, out + "/login.png");
    }
    const ocv::UserInfo& admin = service->store().user(0);
    service->store().SaveLoginMemory(admin.id, admin.password, 1);
    {
        ocv::MainDlg window(*service, nullptr, ocv::MainDlg::Options{false});
        if (!window.Create()) return 1;
        window.OpenPage("userSetup");
        window.show();
        QThread::msleep(500);
        window.statusWorker()->Tick();
        ok &= Save(window, out + "/main.png");

        // The live view with the demo site's first group, when the simulator runs.
        window.OpenPage("realPlay");
        if (auto* live = window.findChild<ocv::UIRealPlayDlg*>()) {
            service->connections().StartAllDeviceThreads();
            live->SetSplitMode(25);
            live->ShowGroup(0);
            for (int i = 0; i < 250; ++i) {  // up to 10 s for the streams to come up
                QCoreApplication::processEvents();
                QThread::msleep(40);
                // The page's workers are off here: ask for the thermal insets ourselves.
                if (i % 25 == 24)
                    for (int d = 0; d < 4; ++d) live->controller().RetryInsets(d);
            }
            ok &= Save(window, out + "/liveview.png");
        }
        service->connections().StopAllDevices();
    }
    ocv::SetService(nullptr);
    service.reset();
    QVX_SDK_Cleanup();
    return ok ? 0 : 1;
}
