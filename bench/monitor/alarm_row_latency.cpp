// Measuring program (not a test): the delay from the simulator raising an abnormal temperature
// to its row in the alarm window of the whole client (device service, main window with its
// alarm panel) over TCP. Each sample runs from the control command to the simulator until the
// row is in the window's list; it includes the control connection's round trip.
//
//   alarm_row_latency [samples]   (default 100; runs with -platform offscreen by itself)
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/device_types.h"
#include "base/port_slots.h"
#include "device/device_service.h"
#include "monitor/alarm_info_dlg.h"
#include "monitor/alarm_row_model.h"
#include "platform/app_dir.h"
#include "sdk/qvx_sdk.h"
#include "shell/main_dlg.h"
#include "store/relaxed.h"
#include "tests/sdk/devsim_process.h"
#include "tools/mkdb/mkdb.h"
#include "shell/client_services.h"

namespace {

// Runs the event loop until done() or timeoutMs pass; whether done() held.
template <class Done>
bool PumpUntil(Done done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(1, atoi(argv[1])) : 100;

    ocv::test::DevsimProcess sim;
    ocv::test::WriteText(sim.dir() / "site.ini",
                         "[site]\nloop_frames=50\n[device]\nname=CAM\ntype=IPC\nfirmware=V27.1.0 build 20260101\n"
                         "user=admin\npassword=kestr\nchannels=1\nmain=160x96@200\nsub=96x64@64\nkey_interval=25\n");
    std::string error;
    if (!sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) {
        std::fprintf(stderr, "alarm_row_latency: %s\n", error.c_str());
        return 1;
    }
    ocv::test::TempDir appDir;
    ocv::SetAppDir(appDir.str());
    if (ocv::mkdb::WriteLiveDatabase(appDir / "QVXVMS.dat", {{"127.0.0.1", sim.device(0).port, 1}}, &error) != 0 ||
        ocv::mkdb::WriteTemplate(appDir / "QVXVMS.bak", &error) != 0) {
        std::fprintf(stderr, "alarm_row_latency: %s\n", error.c_str());
        return 1;
    }
    ocv::ResetDeviceTypeTable();
    ocv::AddStandardCameraTypes();  // as the client does
    ocv::ResetPortSlots();
    QVX_SDK_Init();
    std::vector<double> ms;
    {
        ocv::DeviceService service;
        ocv::SetService(&service);
        const ocv::UserInfo& admin = service.store().user(0);
        service.store().SaveLoginMemory(admin.id, admin.password, 1);
        ocv::MainDlg window(service, nullptr, ocv::MainDlg::Options{false});
        if (!window.Create()) return 1;
        window.show();
        auto* panel = window.findChild<ocv::UIAlarmInfoDlg*>();
        if (panel == nullptr) {
            std::fprintf(stderr, "alarm_row_latency: the main window has no alarm panel\n");
            return 1;
        }
        service.sounds().SetSoundOn(false);  // nobody listens here
        service.connections().StartDeviceThread(0);
        if (!PumpUntil([&] { return service.runtime().device(0).eventStream.load() != 0; }, 30000)) {
            std::fprintf(stderr, "alarm_row_latency: the device did not log in\n%s", sim.log().c_str());
            return 1;
        }
        const ocv::AlarmRowModel& rows = panel->eventRows();
        for (int i = 0; i < samples; ++i) {
            const int before = rows.rowCount() + panel->alarmRows().rowCount();
            const int code = 32768 + 3750 + i % 100;  // 37.50 .. 38.49, abnormal
            QElapsedTimer t;
            t.start();
            if (!sim.ControlOk("temp CAM 0 " + std::to_string(code))) {
                std::fprintf(stderr, "alarm_row_latency: the simulator refused the reading\n");
                break;
            }
            // In both lists: the reading's row and its abnormal row.
            if (!PumpUntil([&] { return rows.rowCount() + panel->alarmRows().rowCount() >= before + 2; }, 5000)) {
                std::fprintf(stderr, "alarm_row_latency: sample %d never reached the window\n", i);
                continue;
            }
            ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
        service.connections().StopAllDevices();
        ocv::SetService(nullptr);
    }
    QVX_SDK_Cleanup();
    if (ms.empty()) return 1;
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[static_cast<size_t>(q * static_cast<double>(ms.size() - 1))]; };
    std::printf("%zu readings: median %.2f ms, 95%% %.2f ms, worst %.2f ms (target under 200 ms)\n", ms.size(), at(0.5),
                at(0.95), ms.back());
    return 0;
}
