// Measuring program (not a test): opening the log window on a year of alarm logs (365 daily
// files x 10,000 records, about 440 MB, made once under /tmp/ocv-bench-logs) until its list
// shows the first rows, and until the whole year is listed. Each run builds a new window, as
// opening the page does; the first run may read the files from disk, later ones from the cache.
//
//   log_window_open [runs]        (default 5; runs with -platform offscreen by itself)
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "device/channel_directory.h"
#include "events/log_record.h"
#include "events/log_writer.h"
#include "monitor/log_table_model.h"
#include "monitor/logs_info_dlg.h"
#include "platform/app_dir.h"
#include "runtime/runtime_table.h"
#include "store/config_store.h"
#include "store/relaxed.h"
#include "tests/support/temp_dir.h"
#include "tools/mkdb/mkdb.h"

namespace {

constexpr int kDays = 365;
constexpr int kRecordsPerDay = 10000;
const std::string kDir = "/tmp/ocv-bench-logs";

void MakeYearOfLogs(int64_t yearStart) {
    if (std::filesystem::exists(kDir + "/A20201230.log")) return;
    std::printf("writing a year of logs to %s ...\n", kDir.c_str());
    std::filesystem::create_directories(kDir);
    std::vector<ocv::LogRecord> day(kRecordsPerDay);
    for (int d = 0; d < kDays; ++d) {
        for (int i = 0; i < kRecordsPerDay; ++i) {
            ocv::LogRecord& r = day[static_cast<size_t>(i)];
            memset(&r, 0, sizeof r);
            r.time = static_cast<uint32_t>(yearStart + d * 86400 + i * 8);
            r.logType = 0;
            r.subtype = static_cast<uint16_t>(i % 6);
            snprintf(r.device, sizeof r.device, "10.0.%d.%d:5000-%d", i % 4, i % 200, i % 16 + 1);
        }
        const std::string name = kDir + "/" + ocv::LogFileName(0, yearStart + d * 86400);
        FILE* f = fopen(name.c_str(), "wb");
        if (f == nullptr) return;
        fwrite(day.data(), sizeof(ocv::LogRecord), day.size(), f);
        fclose(f);
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    setenv("TZ", "UTC", 1);
    tzset();
    const int64_t yearStart = ocv::SetClockForTesting(2020, 1, 1, 0, 0, 0);
    MakeYearOfLogs(yearStart);
    ocv::SetClockForTesting(2020, 12, 30, 12, 0, 0);

    ocv::test::TempDir appDir;
    ocv::SetAppDir(appDir.str());
    if (ocv::mkdb::CreateEmptyDatabase(appDir / "QVXVMS.dat") != 0) return 1;
    ocv::ConfigStore store;
    if (store.Open(appDir / "QVXVMS.dat") != 0) return 1;
    store.LoadAll();
    ocv::SetRelaxed(store.MutableSettingsForTesting().LOGMONTH, 53);  // 371 days: the whole year
    ocv::RuntimeTable runtime;
    ocv::StoreChannelDirectory directory(store, runtime);
    ocv::LogWriter writer(kDir);

    std::printf("%-4s %14s %14s %12s\n", "run", "first rows ms", "whole year ms", "rows");
    std::vector<double> firsts;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        auto dlg = std::make_unique<ocv::UILogsInfoDlg>(store, writer, directory, nullptr,
                                                        ocv::UILogsInfoDlg::Options{true});
        dlg->resize(1024, 720);
        dlg->show();
        while (dlg->model().rowCount() == 0 && dlg->Searching()) QApplication::processEvents(QEventLoop::AllEvents, 5);
        dlg->list()->viewport()->repaint();  // the rows are on the screen
        const double first = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        while (dlg->Searching()) QApplication::processEvents(QEventLoop::AllEvents, 20);
        const double whole = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        std::printf("%-4d %14.1f %14.1f %12d\n", run + 1, first, whole, dlg->model().rowCount());
        firsts.push_back(first);
    }
    std::sort(firsts.begin(), firsts.end());
    std::printf("first rows: median %.1f ms, worst %.1f ms (target under 300 ms)\n", firsts[firsts.size() / 2],
                firsts.back());
    return 0;
}
