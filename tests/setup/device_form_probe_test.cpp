// The device form's "Test" and "GET CHN" against the simulator: they log in on a thread of their
// own (the form answers at once and the buttons wait), fill in the channel count, tell a decoder
// from a camera, and report a refused login; an empty address asks for one first.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <sstream>

#include "base/device_types.h"
#include "setup/modify_dlg.h"
#include "tests/device/device_test_support.h"
#include "tests/setup/setup_fakes.h"
#include "widgets/message_box.h"

namespace ocv::test {
namespace {

using Strings = std::vector<std::string>;

class DeviceFormProbeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(QVX_SDK_Init(), QVX_OK); }
    static void TearDownTestSuite() { QVX_SDK_Cleanup(); }
    DeviceFormProbeTest() {
        ResetDeviceTypeTable();
        AddStandardCameraTypes();
        SetMessageHookForTesting([this](const QString& text, int) {
            messages.push_back(text.toStdString());
            return true;
        });
    }
    ~DeviceFormProbeTest() override { SetMessageHookForTesting(nullptr); }
    void StartSim() {
        WriteText(sim.dir() / "site.ini",
                  "[device]\nname=CAM\naddress=127.0.0.1\ntype=IPC\nuser=admin\npassword=pw\nchannels=3\n"
                  "main=96x64@32\nsub=off\n"
                  "[device]\nname=DEC\naddress=127.0.0.3\ntype=DECODER\nuser=admin\npassword=pw\nchannels=4\n"
                  "main=96x64@32\nsub=off\n");
        std::string error;
        ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
    }
    void Fill(UIModifyDlg& form, const char* host, int port, const char* password) {
        form.findChild<QLineEdit*>("editDeviceHost")->setText(host);
        form.findChild<QLineEdit*>("editDevicePort")->setText(QString::number(port));
        form.findChild<QLineEdit*>("editDeviceUser")->setText("admin");
        form.findChild<QLineEdit*>("editDevicePass")->setText(password);
    }
    // Presses a button and waits for the answer, checking the window did not wait for it.
    void Press(UIModifyDlg& form, const char* button) {
        QPushButton* b = form.findChild<QPushButton*>(button);
        b->click();
        EXPECT_TRUE(form.Probing()) << button;
        EXPECT_FALSE(b->isEnabled()) << button;
        // A second press while the login runs starts nothing.
        form.ProbeDevice(true);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (form.Probing() && std::chrono::steady_clock::now() < deadline) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_FALSE(form.Probing());
        EXPECT_TRUE(b->isEnabled());
    }

    DevsimProcess sim;
    StoreOnDisk s;
    Strings messages;
};

TEST_F(DeviceFormProbeTest, GetChannelsAndTestLogInOffTheWindowsThread) {
    StartSim();
    DeviceRecord blank{};
    UIModifyDlg form("Add Device", blank, s.store, -1, nullptr);
    Fill(form, "127.0.0.1", sim.device(0).port, "pw");
    Press(form, "btnDeviceChn");
    EXPECT_EQ(form.findChild<QLineEdit*>("editDeviceChn")->text(), "3");
    EXPECT_TRUE(messages.empty());
    Press(form, "btnDeviceTest");
    EXPECT_EQ(messages, Strings{"Test successful"});

    messages.clear();
    Fill(form, "127.0.0.3", sim.device(1).port, "pw");
    Press(form, "btnDeviceTest");
    EXPECT_EQ(messages, Strings{"Invalid device!"});

    messages.clear();
    Fill(form, "127.0.0.1", sim.device(0).port, "wrong");
    form.findChild<QLineEdit*>("editDeviceChn")->setText("3");
    Press(form, "btnDeviceChn");
    EXPECT_EQ(messages, Strings{"Connection Failed"});
    EXPECT_EQ(form.findChild<QLineEdit*>("editDeviceChn")->text(), "3");
}

TEST_F(DeviceFormProbeTest, AnEmptyAddressIsAskedForBeforeAnyLogin) {
    DeviceRecord blank{};
    UIModifyDlg form("Add Device", blank, s.store, -1, nullptr);
    form.findChild<QPushButton*>("btnDeviceTest")->click();
    EXPECT_FALSE(form.Probing());
    EXPECT_EQ(messages, Strings{"Address can not be empty!"});
}

}  // namespace
}  // namespace ocv::test
