#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <fstream>

#include "platform/single_instance.h"
#include "shell/crash_report.h"
#include "shell/splash_dialog.h"
#include "shell/startup_gate.h"
#include "shell/termination_watch.h"
#include "shell/wav_file.h"
#include "tests/shell/shell_fixture.h"
#include "tests/shell/test_classes.h"

using namespace ocv;
using ocv::test::ShellFixture;
using ocv::test::TempDir;

void StartupTest::secondInstanceIsRefused() {
    TempDir dir;
    SetAppDir(dir.str());
    SingleInstance first;
    std::vector<std::string> shown;
    auto show = [&](const std::string& text) { shown.push_back(text); };
    QCOMPARE(SecureSingleInstance(first, show), 0);
    QVERIFY(shown.empty());
    SingleInstance second;  // another client of the same session
    QCOMPARE(SecureSingleInstance(second, show), -2);
    QCOMPARE(shown.size(), size_t(1));
    QCOMPARE(QString::fromStdString(shown[0]), QString("Running!"));
    // Once the first has ended, a new client may run.
    first.Release();
    QCOMPARE(SecureSingleInstance(second, show), 0);
    SetAppDir("");
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
