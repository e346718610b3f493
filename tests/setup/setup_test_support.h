#pragma once
// What the setup page tests share: a logged-in main window on a throw-away application
// directory, the operation log as written, and waiting for a posted result.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "events/log_file_reader.h"
#include "shell/main_dlg.h"
#include "tests/shell/shell_fixture.h"
#include "widgets/event_bridge.h"

namespace ocv::test {

inline std::unique_ptr<MainDlg> LoggedInWindow(ShellFixture& f, const char* name = "admin") {
    const UserInfo& account = f.store().user(f.SlotOf(name));
    f.store().SaveLoginMemory(account.id, account.password, 1);
    auto window = std::make_unique<MainDlg>(*f.service, nullptr, MainDlg::Options{false});
    if (!window->Create()) return nullptr;
    window->show();
    QCoreApplication::processEvents();
    return window;
}

// Runs the event loop until done() or about five seconds have passed.
inline bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// The subtypes of the operation records written so far, oldest first.
inline std::vector<int> OperationLog(ShellFixture& f) {
    std::vector<int> subtypes;
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(f.service->log().Directory(), ec)) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    for (const std::string& path : files) {
        LogFileReader reader(path);
        LogRecord r;
        while (reader.Next(&r))
            if (r.logType == kLogOperate) subtypes.push_back(r.subtype);
    }
    return subtypes;
}

inline int CountOf(const std::vector<int>& values, int wanted) {
    return static_cast<int>(std::count(values.begin(), values.end(), wanted));
}

}  // namespace ocv::test
