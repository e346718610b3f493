#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <fstream>
#include <sys/stat.h>

#include "platform/file_util.h"
#include "platform/single_instance.h"
#include "sdk/qvx_sdk.h"
#include "shell/main_dlg.h"
#include "store/config_files.h"
#include "store/text_field.h"
#include "shell/crash_report.h"
#include "shell/splash_dialog.h"
#include "shell/startup_gate.h"
#include "shell/termination_watch.h"
#include "shell/wav_file.h"
#include "tests/shell/shell_fixture.h"
#include "tests/shell/test_classes.h"

using namespace ocv;
using ocv::test::ShellFixture;
using ocv::test::ReadText;
using ocv::test::TempDir;
using ocv::test::WriteText;

namespace {
DeviceRecord MakeDemoDevice(const char* host) {
    DeviceRecord r{};
    CopyText(r.host, host);
    r.port = 80;
    r.channelCount = 2;
    return r;
}
}  // namespace

void StartupTest::secondInstanceIsRefused() {
    // The lock lives in the tests' own runtime directory, never in the one of a client that
    // runs on this machine.
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    QVERIFY(runtime && QString::fromStdString(SingleInstance::LockPath("VMS QVX")).startsWith(runtime));
    QVERIFY(QString(runtime).contains("ocv-test-"));
    TempDir dir;
    SingleInstance first;
    QCOMPARE(SecureStartup(first, dir.str()), 0);
    SingleInstance second;  // another client of the same session
    QCOMPARE(SecureStartup(second, dir.str()), -2);
    QCOMPARE(QString::fromStdString(StartupRefusalText(-2)), QString("Running!"));
    QCOMPARE(QString::fromStdString(StartupRefusalText(-1)), QString("Initialize failed! "));
    QVERIFY(StartupRefusalText(0).empty());
    // Once the first has ended, a new client may run.
    first.Release();
    QCOMPARE(SecureStartup(second, dir.str()), 0);
}

void StartupTest::secondStartLeavesTheRunningClientsDatabaseAlone() {
    ShellFixture f;  // the running client, with the database open
    int slot = -1;
    QCOMPARE(f.store().AddDevice(MakeDemoDevice("10.0.0.42"), &slot), 0);  // committed, in the log
    const std::string live = f.dir / "QVXVMS.dat";
    QVERIFY(FileExists(live + "-wal") && FileExists(live + "-shm"));
    SingleInstance running;
    QCOMPARE(running.Acquire("VMS QVX"), 0);
    // "Import Data" was chosen; now somebody starts the client a second time.
    std::string error;
    QCOMPARE(mkdb::WriteLiveDatabase(f.dir / "backup.dat", {}, &error), 0);
    QCOMPARE(ImportData(f.dir / "backup.dat", f.dir.str()), 0);
    const std::string liveBytes = ReadText(live), logBytes = ReadText(live + "-wal");

    SingleInstance second;
    QCOMPARE(SecureStartup(second, f.dir.str()), -2);
    QCOMPARE(ReadText(live), liveBytes);
    QCOMPARE(ReadText(live + "-wal"), logBytes);
    QVERIFY(FileExists(live + "-shm"));
    QVERIFY(FileExists(f.dir / "QVXDATA.bak"));  // still pending for the next real start
    // The running client still has its row.
    QCOMPARE(f.store().LoadDevices(), 0);
    QCOMPARE(QString(f.store().device(slot).host), QString("10.0.0.42"));
}

void StartupTest::startupAppliesThePendingImportAndMakesPasswordFilesPrivate() {
    TempDir dir;
    std::string error;
    QCOMPARE(mkdb::WriteLiveDatabase(dir / "QVXVMS.dat", {{"10.0.0.1", 80, 1}}, &error), 0);
    QCOMPARE(mkdb::WriteLiveDatabase(dir / "QVXDATA.bak", {{"10.0.0.2", 80, 1}}, &error), 0);
    WriteText(dir / "config.ini", "[CONFIG]\n");
    WriteText(dir / "VMS20260101120000.bak", "backup");
    WriteText(dir / "lang.lang", "[LANGUAGE]\n");
    for (const char* name : {"QVXVMS.dat", "config.ini", "VMS20260101120000.bak", "lang.lang"})
        chmod((dir / name).c_str(), 0644);

    SingleInstance instance;
    QCOMPARE(SecureStartup(instance, dir.str()), 0);
    QVERIFY(!FileExists(dir / "QVXDATA.bak"));
    QVERIFY(FileExists(dir / "QVXVMS.dat.before-import"));
    ConfigStore store;
    QCOMPARE(store.Open(dir / "QVXVMS.dat"), 0);
    QCOMPARE(store.LoadDevices(), 0);
    QCOMPARE(QString(store.device(0).host), QString("10.0.0.2"));
    auto mode = [&](const char* name) {
        struct stat st {};
        return stat((dir / name).c_str(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    };
    QCOMPARE(mode("QVXVMS.dat"), 0600);
    QCOMPARE(mode("QVXVMS.dat.before-import"), 0600);
    QCOMPARE(mode("config.ini"), 0600);
    QCOMPARE(mode("VMS20260101120000.bak"), 0600);
    QCOMPARE(mode("lang.lang"), 0644);  // holds no password
}

void StartupTest::crashLinesAreShownOnce() {
    TempDir dir;
    std::string log = dir / "logsError.dat", ini = dir / "config.ini";
    long long end = -1;
    QVERIFY(UnshownCrashLines(log, ini, &end).empty());  // no file, nothing to show
    {
        std::ofstream out(log, std::ios::app);
        out << "[2026-01-01 10:00:00] A:0x00000010 C:0x0000000B F:0x00000001 P:0\n";
    }
    auto lines = UnshownCrashLines(log, ini, &end);
    QCOMPARE(lines.size(), size_t(1));
    QVERIFY(QString::fromStdString(lines[0]).startsWith("[2026-01-01 10:00:00] A:0x00000010"));
    QVERIFY(MarkCrashLinesShown(ini, end));
    QVERIFY(UnshownCrashLines(log, ini, &end).empty());
    {
        std::ofstream out(log, std::ios::app);
        out << "[2026-01-02 11:00:00] A:0x00000020 C:0x00000006 F:0x00000000 P:0\n";
    }
    lines = UnshownCrashLines(log, ini, &end);
    QCOMPARE(lines.size(), size_t(1));
    QVERIFY(QString::fromStdString(lines[0]).contains("A:0x00000020"));
    // A file replaced by a shorter one is read from its start.
    MarkCrashLinesShown(ini, 1 << 20);
    QCOMPARE(UnshownCrashLines(log, ini, &end).size(), size_t(2));
}

void StartupTest::loadingSplashTicksAndCreatesService() {
    ShellFixture f;  // provides AppDir with a database
    std::unique_ptr<DeviceService> service;
    UIWzdSplashDlg splash(UIWzdSplashDlg::kLoading, &service);
    QCOMPARE(splash.size(), QSize(400, 300));  // no splash.png
    auto* status = splash.findChild<QLabel*>("statusLabel");
    auto* version = splash.findChild<QLabel*>("versionLabel");
    QVERIFY(status && version && splash.findChild<QLabel*>("backgroudVer"));
    QVERIFY(QRegularExpression("^Version v2\\.0\\.3\\.6-BUILD:\\d{6}$").match(version->text()).hasMatch());
    splash.LoadingTick();
    QCOMPARE(status->text(), QString("Loading, please wait ...(10%)..."));
    for (int i = 0; i < 4; ++i) splash.LoadingTick();
    QVERIFY(service);  // created at tick 4
    QVERIFY(service->IsOpen());
    QCOMPARE(status->text(), QString("Loading, please wait ...(50%)..."));
    for (int i = 0; i < 6; ++i) splash.LoadingTick();
    QCOMPARE(status->text(), QString("Loading, please wait ...(100%)..."));
    splash.LoadingTick();  // tick 10 ends the window
    QCOMPARE(splash.tick(), 10);

    // The shutdown splash destroys the service on its own thread and ends by itself.
    UIWzdSplashDlg down(UIWzdSplashDlg::kShuttingDown, &service);
    QVERIFY(!service);
    QCOMPARE(down.exec(), int(QDialog::Accepted));
    SetService(f.service.get());
}

void StartupTest::loadingSplashClosedEarlyStillInitialisesTheLibrary() {
    ShellFixture f;
    QVX_SDK_Cleanup();  // as at process start: nothing initialised
    QCOMPARE(QVX_SDK_SetSupervision(0, 0, 0, 0), int(QVX_ERR_NOT_INIT));
    std::unique_ptr<DeviceService> service;
    {
        UIWzdSplashDlg splash(UIWzdSplashDlg::kLoading, &service);
        splash.show();
        splash.LoadingTick();  // tick 0 only
        // Escape and the window's close button do not end the loading.
        QTest::keyClick(&splash, Qt::Key_Escape);
        QVERIFY(splash.isVisible());
        splash.close();
        QVERIFY(splash.isVisible());
        QCOMPARE(splash.tick(), 1);
        // Whatever ended its loop early, start-up completes what the ticks did not reach.
        splash.CompleteLoading();
    }
    QCOMPARE(QVX_SDK_SetSupervision(0, 0, 0, 0), int(QVX_OK));  // the library is initialised
    QVERIFY(service);
    QVERIFY(service->IsOpen());
    service.reset();
    SetService(f.service.get());
}

void StartupTest::terminationDuringTheLoginEndsTheStart() {
    ShellFixture f;
    // The real login dialog runs, as at start-up; a SIGTERM arrives while it waits.
    bool timedOut = false;
    SetLoginHookForTesting([&](QWidget* parent, bool writeLog) {
        UILoginDlg dialog(f.store(), f.service->log(), writeLog, false, parent);
        QTimer::singleShot(50, [] { raise(SIGTERM); });
        QTimer::singleShot(5000, &dialog, [&] {
            timedOut = true;
            dialog.done(QDialog::Rejected);
        });
        return dialog.exec() == QDialog::Accepted;
    });
    MainDlg window(*f.service, nullptr, MainDlg::Options{false});
    TerminationWatch watch;
    QVERIFY(watch.installed());
    QObject::connect(&watch, &TerminationWatch::terminationRequested, &window, &MainDlg::OnTerminationRequested);
    QVERIFY(!window.Create());  // the start ends: shutdown follows
    QVERIFY(!timedOut);
    QVERIFY(!CurrentSession().LoggedIn());
}

void StartupTest::wavFilesAreValidated() {
    auto le32 = [](std::string& s, uint32_t v) { for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF); };
    auto le16 = [](std::string& s, uint16_t v) { s += char(v & 0xFF); s += char(v >> 8); };
    auto make = [&](uint16_t format, uint16_t bits, uint32_t dataBytes, uint32_t declared) {
        std::string s = "RIFF";
        le32(s, 36 + dataBytes);
        s += "WAVEfmt ";
        le32(s, 16);
        le16(s, format);
        le16(s, 1);
        le32(s, 8000);
        le32(s, 8000 * bits / 8);
        le16(s, bits / 8);
        le16(s, bits);
        s += "data";
        le32(s, declared);
        s += std::string(dataBytes, '\x10');
        return s;
    };
    WavSound sound;
    std::string good = make(1, 16, 16000, 16000);
    QCOMPARE(ParseWav(reinterpret_cast<const uint8_t*>(good.data()), good.size(), &sound), 0);
    QCOMPARE(sound.DurationMs(), 1000);
    // A data chunk claiming more than the file holds plays what is there, whole samples only.
    std::string shortData = make(1, 16, 801, 0x7FFFFFFF);
    QCOMPARE(ParseWav(reinterpret_cast<const uint8_t*>(shortData.data()), shortData.size(), &sound), 0);
    QCOMPARE(sound.data.size(), size_t(800));
    std::string compressed = make(2, 16, 100, 100);
    QCOMPARE(ParseWav(reinterpret_cast<const uint8_t*>(compressed.data()), compressed.size(), &sound), -1);
    std::string odd = make(1, 12, 100, 100);
    QCOMPARE(ParseWav(reinterpret_cast<const uint8_t*>(odd.data()), odd.size(), &sound), -1);
    QCOMPARE(ParseWav(reinterpret_cast<const uint8_t*>(good.data()), 20, &sound), -1);
    QCOMPARE(ReadWavFile("/nonexistent/sound.wav", &sound), -1);
}

void StartupTest::terminationSignalsReachTheUiThreadOnce() {
    std::vector<int> received;
    {
        TerminationWatch watch;
        QVERIFY(watch.installed());
        QObject::connect(&watch, &TerminationWatch::terminationRequested, [&](int n) { received.push_back(n); });
        raise(SIGTERM);  // would end the test program without the watch
        raise(SIGHUP);
        QVERIFY(received.empty());  // nothing runs inside the handler
        QTRY_COMPARE(received.size(), size_t{2});
        QCOMPARE(received[0], SIGTERM);
        QCOMPARE(received[1], SIGHUP);
        // A second watch in the same process does not take the signals over.
        TerminationWatch second;
        QVERIFY(!second.installed());
    }
    // Gone with the watch: the default action is back.
    struct sigaction now {};
    sigaction(SIGTERM, nullptr, &now);
    QVERIFY(now.sa_handler == SIG_DFL);
}
