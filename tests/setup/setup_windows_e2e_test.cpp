// The setup windows as a new operator uses them, against the simulator and a device service on
// an empty database: the search window finds the devices at a typed address, the device page
// imports them and they log in; the plan page makes a shown channel record; the camera settings
// page changes brightness, bit rate and motion areas, which the device then reports; the search
// window's settings move a device to a new port and the client follows it there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTest>
#include <sstream>

#include "setup/device_config_page.h"
#include "setup/device_setup_page.h"
#include "setup/motion_preview.h"
#include "setup/search_dlg.h"
#include "setup/week_schedule_view.h"
#include "tests/device/device_test_support.h"
#include "widgets/client_context.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"

namespace ocv {
namespace {

using test::WaitUntil;

// Waits for a condition while the window's events run.
bool PumpUntil(const std::function<bool()>& done, int ms = 20000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class SetupWindowsE2E : public test::DeviceServiceTest {
protected:
    void SetUp() override {
        test::DeviceServiceTest::SetUp();
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
    void TearDown() override {
        LogOut();
        SetMessageHookForTesting(nullptr);
        SetLoginHookForTesting(nullptr);
        test::DeviceServiceTest::TearDown();
    }
    void StartSim() {
        // Two cameras with the factory login the import gives them.
        test::WriteText(sim.dir() / "site.ini",
                        "[site]\nloop_frames=50\n"
                        "[device]\nname=CAM\naddress=127.0.0.1\ntype=IPC\nuser=admin\npassword=kestr\nchannels=2\n"
                        "main=160x96@200\nsub=off\nkey_interval=25\n"
                        "[device]\nname=NVR\naddress=127.0.0.20\ntype=NVR\nuser=admin\npassword=kestr\nchannels=1\n"
                        "main=96x64@32\nsub=off\nkey_interval=25\n");
        std::string error;
        ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
        std::istringstream ports(test::ReadText(sim.dir() / "ports"));
        std::string word;
        while (ports >> word)
            if (word == "discovery") ports >> discoveryPort;
        ASSERT_GT(discoveryPort, 0);
    }
    // Searches at the simulator's discovery address until both devices are listed.
    bool SearchSimulator(UISearchDlg& search) {
        if (!PumpUntil([&] { return !search.Searching(); })) return false;
        search.targetEdit()->setText(QString("127.0.0.1:%1").arg(discoveryPort));
        search.StartSearch();
        return PumpUntil([&] { return search.found().size() == 2; });
    }
    int SlotOf(const std::string& host) {
        for (int d = 0; d < kMaxDevices; ++d)
            if (!service_->store().device(d).IsEmpty() && FieldText(service_->store().device(d).host) == host) return d;
        return -1;
    }
    bool Online(int d) {
        return WaitUntil([&] { return service_->runtime().device(d).deviceState.load() == kDeviceOnline; }, 20000);
    }

    test::DevsimProcess sim;
    int discoveryPort = 0;
    std::vector<std::string> messages;
};

TEST_F(SetupWindowsE2E, FromAnEmptyDatabaseDevicesAreFoundImportedConfiguredAndFollowedToANewPort) {
    StartSim();
    StartService();
    // What the record scheduler needs: a drive to record on and the system's plan switch.
    SystemSettings& settings = service_->store().MutableSettingsForTesting();
    SetRelaxed(settings.DISK, 2);
    SetRelaxed(settings.DISKREMAIN, 1);
    SetRelaxed(settings.PLANREC, 1);
    service_->disks().CheckDisks();

    UIDeviceSetupDlg devices(service_->store(), service_->connections(), service_->log(), nullptr, nullptr);
    ASSERT_EQ(devices.list()->rowCount(), 0);
    devices.SetSearchHookForTesting([&](UISearchDlg& search) {
        EXPECT_TRUE(SearchSimulator(search));
        for (int row = 0; row < 2; ++row) search.SetRowChecked(row, true);
        search.AcceptChecked();
        return true;
    });
    devices.SearchAndImport(kSearchModeDefault);
    EXPECT_EQ(messages, std::vector<std::string>{"Added successfully: 2  Add Failed: 0"});
    ASSERT_EQ(devices.list()->rowCount(), 2);
    int cam = SlotOf("127.0.0.1"), nvr = SlotOf("127.0.0.20");
    ASSERT_GE(cam, 0);
    ASSERT_GE(nvr, 0);
    EXPECT_EQ(service_->store().device(cam).channelCount, 2);
    ASSERT_TRUE(Online(cam));
    ASSERT_TRUE(Online(nvr));

    // The camera settings page: a shown channel records by its plan; brightness, bit rate and
    // motion areas go to the device.
    UIDeviceConfigDlg config(service_->store(), service_->deviceConfig(), nullptr, nullptr);
    config.resize(1000, 620);
    config.show();
    ASSERT_TRUE(config.SelectChannel(ChannelIdOf(cam, 1)));
    ASSERT_TRUE(PumpUntil([&] { return config.Connected() && !config.Busy(); }));
    config.SwitchPage(UIDeviceConfigDlg::kPlan);
    config.SetTimeHookForTesting([](UITimeDlg& dlg) {
        dlg.findChild<QPushButton*>("allBtn")->click();
        return true;
    });
    config.findChild<QPushButton*>("planTimeBtn")->click();
    config.findChild<QCheckBox*>("planRecOption")->setChecked(true);
    messages.clear();
    config.findChild<QPushButton*>("planSaveBtn")->click();
    EXPECT_EQ(messages, std::vector<std::string>{"Successfully set parameters!"});
    // A cell shows it, on its main stream (new channels show the sub stream, which this camera
    // does not offer).
    ASSERT_EQ(service_->store().ModifyChannel(cam, 1, kChannelStream, 0, nullptr, 0), 0);
    ASSERT_EQ(service_->connections().StartConnectWorker(cam, 1), 0);
    ASSERT_TRUE(WaitUntil([&] {
        service_->recording().SchedulerPass();
        return Channel(cam, 1).recordType.load() == kRecordPlan;
    }, 20000));

    config.SwitchPage(UIDeviceConfigDlg::kColor);
    ASSERT_TRUE(PumpUntil([&] { return !config.Busy(); }));
    config.findChild<QSlider*>("brightSlider")->setValue(201);
    config.SwitchPage(UIDeviceConfigDlg::kQuality);
    ASSERT_TRUE(PumpUntil([&] { return !config.Busy(); }));
    config.findChild<QLineEdit*>("bitRateEdit")->setText("777");
    config.findChild<QPushButton*>("vModifyBtn")->click();
    config.SwitchPage(UIDeviceConfigDlg::kMotion);
    ASSERT_TRUE(PumpUntil([&] { return !config.Busy(); }));
    config.findChild<QPushButton*>("mdCfgBtn")->setChecked(true);
    MotionPreview& preview = config.preview();
    QTest::mousePress(&preview, Qt::LeftButton, {}, QPoint(1, 1));  // (0, 0) would mean the centre
    QTest::mouseRelease(&preview, Qt::LeftButton, {}, QPoint(preview.width() / 2, preview.height() / 2));
    ASSERT_EQ(config.motionAreas().size(), 1u);
    config.findChild<QComboBox*>("mdEnableCombo")->setCurrentIndex(1);
    config.findChild<QPushButton*>("mdSaveBtn")->click();
    ASSERT_TRUE(PumpUntil([&] { return !config.Busy(); }));

    DeviceConfiguration& device = service_->deviceConfig();
    ConfigRecord colour(QVX_CMD_COLOR), quality(QVX_CMD_QUALITY), motion(QVX_CMD_MOTION);
    ASSERT_EQ(device.GetChannelConfig(cam, 1, QVX_CMD_COLOR, colour.data(), colour.size()), 0);
    EXPECT_EQ(colour.Word(cfg::kColorBrightness), 201u);
    ASSERT_EQ(device.GetChannelConfig(cam, 1, QVX_CMD_QUALITY, quality.data(), quality.size()), 0);
    EXPECT_EQ(quality.Word(cfg::kQualityBitRate), 777u);
    ASSERT_EQ(device.GetChannelConfig(cam, 1, QVX_CMD_MOTION, motion.data(), motion.size()), 0);
    EXPECT_EQ(motion.Word(cfg::kMotionEnable), 1u);
    ASSERT_EQ(MotionAreasOf(motion).size(), 1u);
    const AreaRect area = MotionAreasOf(motion)[0];
    EXPECT_NEAR(area.left, 0, 2);
    EXPECT_NEAR(area.right, 80, 2);  // half of the 160 x 96 picture
    EXPECT_NEAR(area.bottom, 48, 2);

    // The search window's settings: the camera takes a new port, and the client follows it.
    const int oldPort = service_->store().device(cam).port;
    const int newPort = test::FreePort();
    messages.clear();
    devices.SetSearchHookForTesting([&](UISearchDlg& search) {
        search.SetCredentialsHookForTesting([](std::string* user, std::string* password) {
            // The form starts with the login the device list holds.
            EXPECT_EQ(*user, "admin");
            EXPECT_EQ(*password, "kestr");
            return true;
        });
        EXPECT_TRUE(SearchSimulator(search));
        EXPECT_EQ(FoundText(search.found().records()[0].address), "127.0.0.1");
        search.ShowSettings(0);
        search.findChild<QLineEdit*>("portEdit")->setText(QString::number(newPort));
        search.findChild<QLineEdit*>("gatewayEdit")->clear();
        search.ApplySettings();
        EXPECT_TRUE(PumpUntil([&] { return !search.Applying(); }));
        return false;  // nothing to import
    });
    devices.SearchAndImport(kSearchModeDefault);
    EXPECT_EQ(messages, (std::vector<std::string>{"Port is changed, you need to restart the device to validate!",
                                                  "Successfully modified!"}));
    EXPECT_NE(newPort, oldPort);
    EXPECT_EQ(service_->store().device(cam).port, newPort);
    ASSERT_TRUE(Online(cam));
    ASSERT_TRUE(WaitUntil([&] { return Channel(cam, 1).connectState.load() == kStreamOpen; }, 20000));
    // The device took the settings as sent: the cleared gateway as zeros.
    ConfigRecord network(QVX_CMD_NETWORK);
    ASSERT_EQ(device.GetChannelConfig(cam, 0, QVX_CMD_NETWORK, network.data(), network.size()), 0);
    EXPECT_EQ(network.Word(cfg::kNetPort), uint32_t(newPort));
    EXPECT_EQ(network.Text(cfg::kNetGateway, cfg::kNetTextBytes), "0.0.0.0");
}

}  // namespace
}  // namespace ocv
