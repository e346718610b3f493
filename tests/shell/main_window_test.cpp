#include <QFile>
#include <QLabel>
#include <QTest>

#include <unistd.h>

#include "platform/file_util.h"
#include "platform/profile.h"
#include "base/lang.h"
#include "shell/client_pages.h"
#include "widgets/skin_image.h"
#include "shell/main_dlg.h"
#include <QMenu>
#include "shell/window_config.h"
#include "widgets/window_message.h"
#include "store/config_files.h"
#include "tests/shell/shell_fixture.h"
#include "tests/shell/test_classes.h"

using namespace ocv;
using ocv::test::ShellFixture;

namespace {

std::unique_ptr<MainDlg> LoggedInWindow(ShellFixture& f, const char* name = "admin") {
    int slot = f.SlotOf(name);
    f.store().SaveLoginMemory(f.store().user(slot).id, f.store().user(slot).password, 1);
    auto window = std::make_unique<MainDlg>(*f.service, nullptr, MainDlg::Options{false});
    if (!window->Create()) return nullptr;
    return window;
}

QByteArray FileBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

void MainWindowTest::viewItem6StoresResolution() {
    ShellFixture f;
    auto window = LoggedInWindow(f);
    QVERIFY(window);
    window->show();
    PostWindowMessage(window.get(), kMsgViewMenu, 6, 0);
    QCoreApplication::processEvents();
    QCOMPARE(window->size(), QSize(1920, 1080));
    ResolutionBlock stored = LoadResolution(f.dir / "config.ini");
    QCOMPARE(stored.width, 1920);
    QCOMPARE(stored.height, 1080);
    QCOMPARE(stored.flag, 1);
    // The next window opens at the stored size.
    window.reset();
    auto next = LoggedInWindow(f);
    QCOMPARE(next->size(), QSize(1920, 1080));
    // Items outside 0..6 store nothing.
    PostWindowMessage(next.get(), kMsgViewMenu, 12, 0);
    QCoreApplication::processEvents();
    QCOMPARE(LoadResolution(f.dir / "config.ini").width, 1920);
}

void MainWindowTest::freshConfigOpensAt1024x720() {
    ShellFixture f;
    ResolutionBlock block = LoadResolution(f.dir / "config.ini");
    QCOMPARE(block.width, 1024);
    QCOMPARE(block.height, 720);
    QCOMPARE(block.flag, 1);
    auto window = LoggedInWindow(f);
    QCOMPARE(window->size(), QSize(1024, 720));
    // A damaged block is no reason for an unusable window.
    ResolutionBlock tiny{3, 2, 1};
    QVERIFY(WritePrivateProfileStructA("CONFIG", "RESOLUTION", &tiny, sizeof(tiny), (f.dir / "config.ini").c_str()));
    QCOMPARE(LoadResolution(f.dir / "config.ini").width, 1024);
}

void MainWindowTest::importWhileChannelPlaysChangesNothing() {
    ShellFixture f({{"127.0.0.1", 37001, 2}});
    QVERIFY(f.ok);
    auto window = LoggedInWindow(f);
    QVERIFY(window);
    QVERIFY(!f.store().device(0).IsEmpty());
    f.runtime().device(0).channels[1].mainStream.store(7);
    QByteArray before = FileBytes(f.dir / "QVXVMS.dat");
    f.messages.clear();
    window->ImportConfiguration();
    QCOMPARE(f.Texts(), QStringList{"Please stop all channels, and then try again!"});
    QCOMPARE(f.messages[0].kind, int(kMsgError));
    QCOMPARE(FileBytes(f.dir / "QVXVMS.dat"), before);
    QVERIFY(!QFile::exists(QString::fromStdString(f.dir / "QVXDATA.bak")));
    QVERIFY(f.store().IsOpen());
    // A pending connect counts as playing too.
    f.runtime().device(0).channels[1].mainStream.store(0);
    f.runtime().device(0).channels[0].connectPending.store(1);
    f.messages.clear();
    window->ImportConfiguration();
    QCOMPARE(f.Texts(), QStringList{"Please stop all channels, and then try again!"});
    f.runtime().device(0).channels[0].connectPending.store(0);
}

void MainWindowTest::importAndExportNeedAdministrator() {
    ShellFixture f;
    QVERIFY(f.AddAccount("viewer", "", kLevelViewUser, kAllRights) >= 0);
    auto window = LoggedInWindow(f, "viewer");
    QVERIFY(window);
    window->ImportConfiguration();
    window->ExportConfiguration();
    QCOMPARE(f.Texts(), (QStringList{"Insufficient permissions to operate!", "Insufficient permissions to operate!"}));
}

void MainWindowTest::everyPageOfTheListIsOfferedInItsMenuAndOpensFromIt() {
    ShellFixture f;
    auto window = LoggedInWindow(f);
    QVERIFY(window);
    window->ClosePage("realPlay");
    window->ClosePage("setup");  // open from the start
    int offered = 0;
    for (const PageInfo& p : ClientPages()) {
        if (p.menu.menuMessage == 0) continue;
        ++offered;
        QMenu* menu = nullptr;
        for (QMenu* m : window->findChildren<QMenu*>())
            for (QAction* a : m->actions())
                if (a->text() == Tr(p.title)) menu = m;
        QVERIFY2(menu, qPrintable(p.name));
        QVERIFY(!window->HasPage(p.name));
        window->OnMenu(p.menu.menuMessage, p.menu.item);
        QVERIFY2(window->HasPage(p.name), qPrintable(p.name));
        QVERIFY(window->FindPage(p.name) != nullptr);
        window->ClosePage(p.name);
        QVERIFY(!window->HasPage(p.name));
    }
    QVERIFY(offered >= 2);
}

void MainWindowTest::wrongImportFileIsRefusedWhileTheDevicesRun() {
    ShellFixture f({{"127.0.0.1", 1, 2}});
    QVERIFY(f.ok);
    auto window = LoggedInWindow(f);
    QVERIFY(window);
    f.service->connections().StartAllDeviceThreads();
    const std::string garbage = f.dir / "wrong.bak";
    QFile out(QString::fromStdString(garbage));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(QByteArray(4096, 'x'));
    out.close();
    QByteArray before = FileBytes(f.dir / "QVXVMS.dat");
    f.messages.clear();
    window->ImportConfigurationFile(QString::fromStdString(garbage));
    QCOMPARE(f.Texts(), QStringList{"Import configuration failed!"});
    // Nothing was stopped for a file that could never be imported.
    QVERIFY(f.runtime().device(0).thread.joinable());
    QCOMPARE(int(f.runtime().device(0).stopFlag.load()), 0);
    QVERIFY(!f.service->Exiting());
    QCOMPARE(FileBytes(f.dir / "QVXVMS.dat"), before);
    QVERIFY(!QFile::exists(QString::fromStdString(garbage + "-wal")));
    f.service->connections().StopAllDevices();
}

void MainWindowTest::importFailingLaterStartsTheDevicesAgain() {
    ShellFixture f({{"127.0.0.1", 1, 2}});
    QVERIFY(f.ok);
    auto window = LoggedInWindow(f);
    QVERIFY(window);
    std::string exported;
    QCOMPARE(ExportConfigurationFile(f.store(), f.dir / "QVXVMS.bak", f.dir.str(), clockSnapshot(), &exported), 0);
    f.service->connections().StartAllDeviceThreads();
    f.store().FailImportStepForTesting(7);
    f.messages.clear();
    window->ImportConfigurationFile(QString::fromStdString(exported));
    QCOMPARE(f.Texts(), QStringList{"Import configuration failed!"});
    // The service goes on: devices run again and channels can be opened.
    QVERIFY(!f.service->Exiting());
    QVERIFY(f.runtime().device(0).thread.joinable());
    QCOMPARE(int(f.runtime().device(0).stopFlag.load()), 0);
    QCOMPARE(f.service->connections().StartConnectWorker(0, 0), 0);
    f.service->connections().SetConnectPending(0, 0, 0);
    QCOMPARE(f.store().settings().ARMFLAG, 1);  // the start-up overrides hold again
    f.store().FailImportStepForTesting(0);
    f.service->connections().StopAllDevices();
}

void MainWindowTest::statusTickReachesTheWindowAsMessage() {
    ShellFixture f;
    auto window = LoggedInWindow(f);
    QVERIFY(window);
    int64_t t = SetClockForTesting(2026, 3, 4, 5, 6, 7);
    PostWindowMessage(window.get(), kMsgStatusTick, static_cast<intptr_t>(t), 42 | (7 << 8) | (1 << 16));
    QCoreApplication::processEvents();
    QCOMPARE(window->findChild<QLabel*>("timeText")->text(), QString("05:06:07"));
    QCOMPARE(window->findChild<QLabel*>("dateText")->text(), QString("2026-03-04"));
    SetClockSourceForTesting(nullptr);
    RenewClockSnapshot();
}

void MainWindowTest::toolbarPageOrder() {
    int order[10];
    QCOMPARE(PageOpenOrder(ToolbarBlock{0, 0}, order), 0);
    int n = PageOpenOrder(ToolbarBlock{(1u << 1) | (1u << 7) | (1u << 3), 7}, order);
    QCOMPARE(n, 3);
    QCOMPARE(order[0], 3);
    QCOMPARE(order[1], 1);
    QCOMPARE(order[2], 7);
    // The page named last but not selected is not opened.
    QCOMPARE(PageOpenOrder(ToolbarBlock{1u << 2, 5}, order), 1);
    // TOOLBAR naming the user page opens it at start.
    ShellFixture f;
    ToolbarBlock block{1u << 7, 7};
    QVERIFY(WritePrivateProfileStructA("CONFIG", "TOOLBAR", &block, sizeof(block), (f.dir / "config.ini").c_str()));
    auto window = LoggedInWindow(f);
    QVERIFY(window->HasPage("userSetup"));
    QVERIFY(window->findChild<QWidget*>("userSetupCtrlTab"));
    QVERIFY(window->findChild<QWidget*>("userSetupTabCtrl"));
    QVERIFY(window->findChild<QWidget*>("userSetupButtonTab"));
    QVERIFY(!window->HasPage("realPlay"));  // not asked for, and another page is open
}

void MainWindowTest::systemInfoRoundTripsAndDamageReadsAsZero() {
    ShellFixture f;
    std::string ini = f.dir / "config.ini";
    SystemInfoBlock none = LoadSystemInfo(ini);
    QCOMPARE(none.runs, 0);
    QCOMPARE(none.cleanExit, 0);
    QVERIFY(SaveSystemInfo(ini, SystemInfoBlock{201208, 7, 1, 1765170000}));
    SystemInfoBlock back = LoadSystemInfo(ini);
    QCOMPARE(back.build, 201208);
    QCOMPARE(back.runs, 7);
    QCOMPARE(back.cleanExit, 1);
    QCOMPARE(back.startedTime, 1765170000);
    // Other blocks of the file are untouched by it.
    QVERIFY(SaveResolution(ini, ResolutionBlock{1366, 768, 1}));
    QCOMPARE(LoadSystemInfo(ini).runs, 7);
    // A block of the wrong size (written by something else) is not taken.
    int32_t shortBlock[2] = {1, 2};
    QVERIFY(WritePrivateProfileStructA("CONFIG", "SYSTEMINFO", shortBlock, sizeof shortBlock, ini.c_str()));
    QCOMPARE(LoadSystemInfo(ini).runs, 0);
}

void MainWindowTest::exitWritesLogsAndCloses() {
    ShellFixture f;
    f.store().MutableSettingsForTesting().ENABLEOSD = 0;
    auto window = LoggedInWindow(f);
    window->show();
    f.answer = false;  // Cancel
    QVERIFY(!window->ExitSystem(false));
    QVERIFY(window->isVisible());
    f.answer = true;
    QVERIFY(window->ExitSystem(false));
    QVERIFY(!window->isVisible());
    QVERIFY(window->closedByExit());
}

void MainWindowTest::damagedDatabaseIsReportedAndLeftUntouched() {
    ShellFixture f({{"127.0.0.1", 37001, 64}, {"127.0.0.2", 37002, 64}});
    QVERIFY(f.ok);
    const std::string path = f.dir / "QVXVMS.dat";
    f.service.reset();  // the database is closed, its log folded in
    // A backup made earlier with "Export Data", and then pages after the schema overwritten.
    test::WriteText(f.dir / "VMS20260101120000.bak", test::ReadText(path));
    std::string bytes = test::ReadText(path);
    QVERIFY(bytes.size() > 4 * 4096);
    for (size_t i = 2 * 4096; i < 4 * 4096; ++i) bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    test::WriteText(path, bytes);

    f.service = std::make_unique<DeviceService>(path, f.dir / "Logx");
    SetService(f.service.get());
    QVERIFY(!f.service->IsOpen());
    MainDlg window(*f.service, nullptr, MainDlg::Options{false});
    QVERIFY(!window.Create());  // no accounts: nobody can log in
    QVERIFY(!f.messages.empty());
    const QString shown = f.messages[0].text;
    QCOMPARE(f.messages[0].kind, int(kMsgError));
    QVERIFY2(shown.contains(QString::fromStdString(path)), qPrintable(shown));
    QVERIFY2(shown.contains("damaged"), qPrintable(shown));
    QVERIFY2(shown.contains(QString::fromStdString(f.dir / "VMS20260101120000.bak")), qPrintable(shown));
    // Nothing loaded, nothing written: the operator's file is as it was.
    QVERIFY(f.store().device(0).IsEmpty());
    f.service.reset();
    QCOMPARE(test::ReadText(path), bytes);
    QVERIFY(!FileExists(path + "-wal"));
    f.service = std::make_unique<DeviceService>(path, f.dir / "Logx");
    SetService(f.service.get());

    // Without a backup the message names the template to start again from.
    unlink((f.dir / "VMS20260101120000.bak").c_str());
    f.messages.clear();
    MainDlg again(*f.service, nullptr, MainDlg::Options{false});
    QVERIFY(!again.Create());
    QVERIFY(!f.messages.empty());
    QVERIFY2(f.messages[0].text.contains(QString::fromStdString(f.dir / "QVXVMS.bak")), qPrintable(f.messages[0].text));
}
