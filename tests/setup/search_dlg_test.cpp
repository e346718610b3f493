// The search window on the offscreen platform: its progress and controls when nobody answers, a
// second "Search" while the library still searches, the list's order and its one row per device
// id, the settings panel's refusals before anything is sent, and the ONVIF mode against the
// simulator's WS-Discovery face, whose devices are imported for the ONVIF driver.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <cstring>
#include <sstream>

#include "base/device_types.h"
#include "setup/device_setup_page.h"
#include "setup/search_dlg.h"
#include "tests/device/device_test_support.h"
#include "tests/setup/setup_fakes.h"
#include "widgets/client_context.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"

namespace ocv::test {
namespace {

using Strings = std::vector<std::string>;

bool PumpUntil(const std::function<bool()>& done, int ms = 15000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

QVX_FOUND_DEVICE Found(const char* address, const char* id, int port = 8000) {
    QVX_FOUND_DEVICE r{};
    std::snprintf(r.address, sizeof r.address, "%s", address);
    std::snprintf(r.deviceId, sizeof r.deviceId, "%s", id);
    std::snprintf(r.mask, sizeof r.mask, "255.255.255.0");
    std::snprintf(r.gateway, sizeof r.gateway, "192.168.1.1");
    r.port = uint32_t(port);
    r.channels = 4;
    return r;
}

// Delivers a found device as the library's callback does.
void Report(UISearchDlg& search, const QVX_FOUND_DEVICE& record) {
    WindowMessage m(kMsgFoundDevice, reinterpret_cast<intptr_t>(&record), 0);
    QApplication::sendEvent(&search, &m);
}

class SearchDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(QVX_SDK_Init(), QVX_OK); }
    static void TearDownTestSuite() { QVX_SDK_Cleanup(); }
    SearchDlgTest() {
        SetMessageHookForTesting([this](const QString& text, int) {
            messages.push_back(text.toStdString());
            return true;
        });
        SetLoginHookForTesting([](QWidget*, bool) { return false; });
        UserInfo admin{};
        admin.id = 1;
        admin.level = kLevelAdministrator;
        admin.option = kAllRights;
        std::snprintf(admin.userName, sizeof admin.userName, "boss");
        LogInAs(admin);
    }
    ~SearchDlgTest() override {
        LogOut();
        SetMessageHookForTesting(nullptr);
        SetLoginHookForTesting(nullptr);
    }
    // A window searching only an address where nobody answers.
    std::unique_ptr<UISearchDlg> Quiet(int mode = kSearchModeDefault) {
        auto search = std::make_unique<UISearchDlg>(mode, nullptr);
        PumpUntil([&] { return !search->Searching(); });
        search->targetEdit()->setText(QString("127.0.0.1:%1").arg(FreePort()));
        return search;
    }
    static std::string CellText(UISearchDlg& search, int row, int column) {
        QTableWidgetItem* item = search.list()->item(row, column);
        return item ? item->text().toStdString() : "<none>";
    }
    Strings messages;
};

TEST_F(SearchDlgTest, WithoutAnswersTheBarReaches100AndTheControlsComeBackWhileASecondSearchChangesNothing) {
    auto search = Quiet();
    PumpUntil([&] { return search->ControlsEnabled(); });
    search->StartSearch();
    ASSERT_TRUE(search->Searching());
    EXPECT_FALSE(search->ControlsEnabled());
    EXPECT_EQ(search->progressValue(), 0);
    ASSERT_TRUE(PumpUntil([&] { return search->progressValue() >= 20; }));
    Report(*search, Found("10.0.0.9", "kept"));
    // The library is still searching: "Search" neither clears the list nor restarts the bar.
    ASSERT_TRUE(search->Searching());
    int before = search->progressValue();
    search->StartSearch();
    EXPECT_EQ(search->found().size(), 1);
    EXPECT_GE(search->progressValue(), before);
    ASSERT_TRUE(PumpUntil([&] { return search->ControlsEnabled(); }));
    EXPECT_EQ(search->progressValue(), 100);
    EXPECT_EQ(search->found().size(), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(SearchDlgTest, RowsFollowTheAddressTextAndADeviceIdIsListedOnce) {
    auto search = Quiet();
    Report(*search, Found("192.168.1.3", "id-three"));
    Report(*search, Found("192.168.1.20", "id-twenty"));
    Report(*search, Found("192.168.1.100", "id-three"));  // the same device again: the first report wins
    QVX_FOUND_DEVICE noId = Found("192.168.1.5", "");
    Report(*search, noId);
    ASSERT_EQ(search->list()->rowCount(), 2);
    EXPECT_EQ(CellText(*search, 0, 1), "1");
    EXPECT_EQ(CellText(*search, 0, 2), "192.168.1.20");
    EXPECT_EQ(CellText(*search, 1, 1), "2");
    EXPECT_EQ(CellText(*search, 1, 2), "192.168.1.3");
    EXPECT_EQ(CellText(*search, 1, 3), "8000");
    EXPECT_EQ(CellText(*search, 1, 6), "4");
    // A check follows its device when a new one is inserted above it.
    search->SetRowChecked(1, true);
    Report(*search, Found("192.168.1.1", "id-one"));
    EXPECT_EQ(search->list()->item(2, 0)->checkState(), Qt::Checked);
    PumpUntil([&] { return search->ControlsEnabled(); });
    search->AcceptChecked();
    ASSERT_EQ(search->Chosen().size(), 1u);
    EXPECT_EQ(FoundText(search->Chosen()[0].address), "192.168.1.3");
}

TEST_F(SearchDlgTest, SettingsNeedARowAndABadPortSendsNothing) {
    auto search = Quiet();
    PumpUntil([&] { return search->ControlsEnabled(); });
    search->findChild<QPushButton*>("settingBtn")->click();
    EXPECT_EQ(messages, Strings{"Please select the device you want to modify!"});
    EXPECT_FALSE(search->SettingsShown());

    Report(*search, Found("192.168.1.3", "id-three"));
    search->ShowSettings(0);
    ASSERT_TRUE(search->SettingsShown());
    EXPECT_EQ(search->findChild<QPushButton*>("settingBtn")->text(), "Back");
    EXPECT_EQ(search->findChild<QLineEdit*>("gatewayEdit")->text(), "192.168.1.1");
    EXPECT_EQ(search->findChild<QLineEdit*>("idEdit")->text(), "id-three");
    int asked = 0;
    search->SetCredentialsHookForTesting([&](std::string*, std::string*) {
        ++asked;
        return true;
    });
    messages.clear();
    for (const char* port : {"79", "65536", "8x"}) {
        search->findChild<QLineEdit*>("portEdit")->setText(port);
        search->ApplySettings();
        EXPECT_FALSE(search->Applying()) << port;
    }
    EXPECT_EQ(messages, (Strings{"Invalid Port (80-65535)!", "Invalid Port (80-65535)!", "Invalid Port (80-65535)!"}));
    // Cancelling the credentials sends nothing either.
    messages.clear();
    search->SetCredentialsHookForTesting([](std::string*, std::string*) { return false; });
    search->findChild<QLineEdit*>("portEdit")->setText("8000");
    search->ApplySettings();
    EXPECT_FALSE(search->Applying());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(asked, 3);
}

TEST_F(SearchDlgTest, ModesOfferTheirProtocols) {
    auto all = Quiet(kSearchModeAll);
    auto* combo = all->findChild<QComboBox*>("protcolCombo");
    ASSERT_EQ(combo->count(), 5);
    EXPECT_EQ(combo->itemData(1).toInt(), QVX_SCH_PROTOCOL_ONVIF);
    auto onvif = Quiet(kSearchModeOnvif);
    EXPECT_EQ(onvif->findChild<QComboBox*>("protcolCombo")->count(), 0);
    // ONVIF devices take no network settings from here.
    EXPECT_TRUE(onvif->findChild<QPushButton*>("settingBtn")->isHidden());
    auto plain = Quiet(kSearchModeDefault);
    EXPECT_EQ(plain->findChild<QComboBox*>("protcolCombo")->count(), 2);
    EXPECT_FALSE(plain->findChild<QPushButton*>("settingBtn")->isHidden());
}

TEST_F(SearchDlgTest, OnvifSearchListsTheSimulatorsDevicesAndImportsThemForTheOnvifDriver) {
    ResetDeviceTypeTable();
    AddStandardCameraTypes();
    DevsimProcess sim;
    WriteText(sim.dir() / "site.ini",
              "[device]\nname=CAM\naddress=127.0.0.1\ntype=IPC\nuser=admin\npassword=kestr\nchannels=1\n"
              "main=96x64@32\nsub=off\n"
              "[device]\nname=NVR\naddress=127.0.0.20\ntype=NVR\nuser=admin\npassword=kestr\nchannels=1\n"
              "main=96x64@32\nsub=off\n");
    std::string error;
    ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
    int onvifPort = 0;
    std::istringstream ports(ReadText(sim.dir() / "ports"));
    std::string word;
    while (ports >> word)
        if (word == "onvif") ports >> onvifPort;
    ASSERT_GT(onvifPort, 0);

    StoreOnDisk s;
    RecordingConnections connections(&s.store);
    UIDeviceSetupDlg page(s.store, connections, s.log, nullptr, nullptr);
    page.SetSearchHookForTesting([&](UISearchDlg& search) {
        EXPECT_TRUE(PumpUntil([&] { return !search.Searching(); }));
        search.targetEdit()->setText(QString("127.0.0.1:%1").arg(onvifPort));
        search.StartSearch();
        EXPECT_TRUE(PumpUntil([&] { return search.found().size() == 2; }));
        for (int row = 0; row < search.found().size(); ++row) {
            EXPECT_EQ(search.found().records()[size_t(row)].protocol, uint32_t(QVX_SCH_PROTOCOL_ONVIF));
            search.SetRowChecked(row, true);
        }
        search.AcceptChecked();
        return true;
    });
    page.SearchAndImport(kSearchModeOnvif);
    EXPECT_EQ(messages, Strings{"Added successfully: 2  Add Failed: 0"});
    ASSERT_EQ(page.list()->rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        const DeviceInfo& d = s.store.device(page.SlotOfRow(row));
        EXPECT_EQ(d.type, kDeviceTypeOnvif);
        EXPECT_EQ(FieldText(d.user), "admin");
    }
    EXPECT_EQ(connections.calls, (Strings{"start 0", "start 1"}));
}

}  // namespace
}  // namespace ocv::test
