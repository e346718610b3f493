// The client's entry: start-up in its fixed order, the main window, and the way out behind the
// shutdown splash.
#include <QApplication>
#include <QFile>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "device/device_service.h"
#include "platform/app_dir.h"
#include "platform/crash_filter.h"
#include "platform/single_instance.h"
#include "base/build_string.h"
#include "base/device_types.h"
#include "base/lang.h"
#include "base/port_slots.h"
#include "base/trace.h"
#include "widgets/client_context.h"
#include "shell/crash_report.h"
#include "shell/debug_console.h"
#include "shell/keep_awake.h"
#include "shell/main_dlg.h"
#include "widgets/message_box.h"
#include "shell/qt_audio.h"
#include "shell/qt_audio_input.h"
#include "shell/splash_dialog.h"
#include "shell/startup_gate.h"
#include "shell/termination_watch.h"
#include "shell/window_config.h"

namespace {

void ShowError(const QString& text) { ocv::ShowMessage(nullptr, text, "ERR", ocv::kMsgCustom); }

// Crash lines written since the last start, shown now: the crash handler itself cannot.
void ShowUnshownCrashLines() {
    std::string ini = ocv::AppPath("config.ini");
    long long end = 0;
    std::vector<std::string> lines = ocv::UnshownCrashLines(ocv::AppPath("logsError.dat"), ini, &end);
    if (lines.empty()) return;
    QString text;
    for (const std::string& line : lines) text += QString::fromLocal8Bit(line) + "\n";
    ShowError(text.trimmed());
    ocv::MarkCrashLinesShown(ini, end);
}

// The SYSTEMINFO block: counts the start and notes a previous run that never reached the exit
// procedure (a crash, a kill or a power cut), which is worth a line for whoever reads the trace.
void MarkRunStarted() {
    std::string ini = ocv::AppPath("config.ini");
    ocv::SystemInfoBlock info = ocv::LoadSystemInfo(ini);
    if (info.runs > 0 && info.cleanExit == 0)
        ocv::Trace("the previous run (started at %d) did not end through the exit procedure\n", info.startedTime);
    info.build = std::atoi(ocv::GetBuildString().c_str() + 6);
    info.runs = info.runs < 0 ? 1 : info.runs + 1;
    info.cleanExit = 0;
    info.startedTime = static_cast<int32_t>(std::time(nullptr));
    ocv::SaveSystemInfo(ini, info);
}

void MarkRunEnded() {
    std::string ini = ocv::AppPath("config.ini");
    ocv::SystemInfoBlock info = ocv::LoadSystemInfo(ini);
    info.cleanExit = 1;
    ocv::SaveSystemInfo(ini, info);
}

}  // namespace

int main(int argc, char** argv) {
    ocv::AppDir();  // fixed from the executable's own path
    ocv::TracePipe::Instance().Install();  // so the start-up's own trace lines reach the console
    ocv::InstallCrashFilter(ocv::AppPath("logsError.dat"));
    // The instance lock before any file is touched: a second start must leave the database
    // that the running client has open alone. The pending import and the file modes follow.
    ocv::SingleInstance instance;
    const int gate = ocv::SecureStartup(instance, ocv::AppDir());
    ocv::ResetDeviceTypeTable();
    ocv::AddStandardCameraTypes();  // ONVIF and RTSP URL cameras
    ocv::ResetPortSlots();

    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // the main window's close procedure ends the loop
    QFile style(QString::fromStdString(ocv::AppPath("skin/ocuvant.qss")));
    if (style.open(QIODevice::ReadOnly)) app.setStyleSheet(QString::fromUtf8(style.readAll()));

    if (gate != 0) {
        ShowError(QString::fromStdString(ocv::StartupRefusalText(gate)));
        ocv::TracePipe::Instance().Uninstall();
        return 0;
    }
    ShowUnshownCrashLines();  // only the client that runs shows them
    MarkRunStarted();
    ocv::LoadSharedTexts();
    ocv::InstallQtAudioOutput();
    ocv::InstallQtAudioInput();  // the microphone for talk and broadcast
    ocv::QtWavPlayer wavPlayer;  // outlives the device service's sound thread

    std::unique_ptr<ocv::DeviceService> service;
    {
        ocv::UIWzdSplashDlg splash(ocv::UIWzdSplashDlg::kLoading, &service);
        splash.exec();
        splash.CompleteLoading();  // whatever ended its loop, the library and the service exist
    }

    ocv::Trace("ENTER SYSTEM\n");
    {
        ocv::KeepAwake awake;
        ocv::MainDlg mainWindow(*service, &wavPlayer, ocv::MainDlg::Options{});
        // Asked to end from outside (logout, shutdown, Ctrl+C): the same orderly way out,
        // without the questions, so recordings end in complete files.
        ocv::TerminationWatch termination;
        QObject::connect(&termination, &ocv::TerminationWatch::terminationRequested, &mainWindow,
                         &ocv::MainDlg::OnTerminationRequested);
        if (mainWindow.Create()) {
            mainWindow.show();
            app.exec();
        }
        mainWindow.hide();
    }  // the main window's workers end here
    ocv::Trace("EXIT 1\n");
    {
        ocv::UIWzdSplashDlg splash(ocv::UIWzdSplashDlg::kShuttingDown, &service);
        splash.exec();
    }
    MarkRunEnded();
    instance.Release();
    ocv::Trace("EXIT SYSTEM\n");
    ocv::TracePipe::Instance().Uninstall();
    return 0;
}
