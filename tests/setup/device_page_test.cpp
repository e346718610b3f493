// The device page and its form on the offscreen platform: adding, the form's refusals,
// modifying, deleting around devices in use, and their log entries.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <chrono>
#include <thread>

#include "base/device_types.h"
#include "setup/device_setup_page.h"
#include "tests/setup/setup_fakes.h"
#include "widgets/client_context.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"

namespace ocv::test {
namespace {

using Strings = std::vector<std::string>;

void Fill(UIModifyDlg& form, const char* name, const char* value) {
    auto* edit = form.findChild<QLineEdit*>(name);
    ASSERT_NE(edit, nullptr) << name;
    edit->setText(value);
}

class DevicePageTest : public ::testing::Test {
protected:
    DevicePageTest() : connections(&s.store) {
        ResetDeviceTypeTable();
        AddStandardCameraTypes();
        SetMessageHookForTesting([this](const QString& text, int) {
            messages.push_back(text.toStdString());
            return answer;
        });
        SetLoginHookForTesting([](QWidget*, bool) { return false; });
        UserInfo admin{};
        admin.id = 1;
        admin.level = kLevelAdministrator;
        admin.option = kAllRights;
        std::snprintf(admin.userName, sizeof admin.userName, "boss");
        LogInAs(admin);
    }
    ~DevicePageTest() override {
        LogOut();
        SetMessageHookForTesting(nullptr);
        SetLoginHookForTesting(nullptr);
    }
    std::unique_ptr<UIDeviceSetupDlg> Page() {
        return std::make_unique<UIDeviceSetupDlg>(s.store, connections, s.log, nullptr, nullptr);
    }
    static std::string Cell(UIDeviceSetupDlg& page, int row, int column) {
        QTableWidgetItem* item = page.list()->item(row, column);
        return item ? item->text().toStdString() : "<none>";
    }
    static bool WaitForDelete(UIDeviceSetupDlg& page) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (page.Deleting() && std::chrono::steady_clock::now() < deadline) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return !page.Deleting();
    }

    StoreOnDisk s;
    RecordingConnections connections;
    Strings messages;
    bool answer = true;
};

TEST_F(DevicePageTest, AnAddedDeviceIsListedWithItsColumns) {
    auto page = Page();
    page->SetFormHookForTesting([](UIModifyDlg& form) {
        EXPECT_EQ(form.windowTitle(), "Add Device");
        Fill(form, "editDeviceName", "Gate");
        Fill(form, "editDeviceHost", "10.0.0.7");
        Fill(form, "editDevicePort", "8000");
        Fill(form, "editDeviceUser", "admin");
        Fill(form, "editDeviceChn", "4");
        return true;
    });
    page->AddDevice();
    EXPECT_TRUE(messages.empty());  // no success message
    ASSERT_EQ(page->list()->rowCount(), 1);
    EXPECT_EQ(Cell(*page, 0, 1), "Gate");
    EXPECT_EQ(Cell(*page, 0, 2), "10.0.0.7");
    EXPECT_EQ(Cell(*page, 0, 3), "8000");
    EXPECT_EQ(Cell(*page, 0, 4), "4");
    EXPECT_EQ(Cell(*page, 0, 5), "Default");
    EXPECT_EQ(page->SlotOfRow(0), 0);
    EXPECT_EQ(connections.calls, Strings{"start 0"});
    EXPECT_EQ(s.OperationLog(), Strings{"16 10.0.0.7:8000"});
}

TEST_F(DevicePageTest, TheFormRefusesADuplicateAndABadPortWithTheirMessages) {
    s.Add("10.0.0.7", 8000, 4, "Gate");
    auto page = Page();
    for (const char* port : {"8000", "79", "65536"}) {
        page->SetFormHookForTesting([port](UIModifyDlg& form) {
            Fill(form, "editDeviceName", "Some other name");
            Fill(form, "editDeviceHost", "10.0.0.7");
            Fill(form, "editDevicePort", port);
            Fill(form, "editDeviceUser", "admin");
            Fill(form, "editDeviceChn", "4");
            return true;
        });
        page->AddDevice();
    }
    EXPECT_EQ(messages, (Strings{"Equipment already exists!", "Invalid Port (80-65535)!", "Invalid Port (80-65535)!"}));
    EXPECT_EQ(page->list()->rowCount(), 1);
    EXPECT_TRUE(connections.calls.empty());
}

TEST_F(DevicePageTest, ModifyingNeedsASelectedRowAndUpdatesItInPlace) {
    s.Add("10.0.0.7", 8000, 4, "Gate");
    s.Add("10.0.0.8", 8000, 1, "Yard");
    auto page = Page();
    page->ModifyDevice();
    EXPECT_EQ(messages, Strings{"Please select the device you want to modify!"});
    page->list()->selectRow(1);
    page->SetFormHookForTesting([](UIModifyDlg& form) {
        EXPECT_EQ(form.windowTitle(), "Modify Device");
        EXPECT_EQ(form.findChild<QLineEdit*>("editDeviceHost")->text(), "10.0.0.8");
        Fill(form, "editDeviceName", "Back yard");
        Fill(form, "editDeviceChn", "2");
        return true;
    });
    page->ModifyDevice();
    EXPECT_EQ(Cell(*page, 1, 1), "Back yard");
    EXPECT_EQ(Cell(*page, 1, 4), "2");
    EXPECT_EQ(s.store.device(1).channelCount, 2);
    // The channel count is a connection setting: the device was restarted around the write.
    EXPECT_EQ(connections.calls, (Strings{"stop 1", "start 1", "reopen 1 []"}));
    EXPECT_EQ(s.OperationLog(), Strings{"17 10.0.0.8:8000"});
}

TEST_F(DevicePageTest, ACancelledFormChangesNothing) {
    s.Add("10.0.0.7", 8000, 4, "Gate");
    auto page = Page();
    page->SetFormHookForTesting([](UIModifyDlg& form) {
        Fill(form, "editDeviceHost", "10.9.9.9");
        return false;
    });
    page->AddDevice();
    page->list()->selectRow(0);
    page->ModifyDevice();
    EXPECT_EQ(FieldText(s.store.device(0).host), "10.0.0.7");
    EXPECT_TRUE(s.store.device(1).IsEmpty());
    EXPECT_TRUE(connections.calls.empty());
    EXPECT_TRUE(s.OperationLog().empty());
}

TEST_F(DevicePageTest, DeletingWithNothingCheckedSaysSoAndChangesNothing) {
    s.Add("10.0.0.7", 8000, 4);
    auto page = Page();
    page->DeleteDevices();
    EXPECT_EQ(messages, Strings{"Please check the device you want to delete!"});
    EXPECT_FALSE(s.store.device(0).IsEmpty());
    EXPECT_TRUE(connections.calls.empty());
}

TEST_F(DevicePageTest, ADeviceInUseIsUncheckedAndTheOthersAreDeleted) {
    s.Add("10.0.0.1", 8000, 1, "One");
    int busy = s.Add("10.0.0.2", 8000, 1, "Busy");
    s.Add("10.0.0.3", 8000, 1, "Three");
    connections.inUse = {ChannelIdOf(busy, 0)};
    auto page = Page();
    for (int row = 0; row < 3; ++row) page->SetRowChecked(row, true);
    page->DeleteDevices();
    ASSERT_TRUE(WaitForDelete(*page));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "10.0.0.2:8000 Busy Equipment is in use, please try again after stopping device!");
    EXPECT_EQ(messages[1], "Do you want to delete the selected device?");
    EXPECT_TRUE(s.store.device(0).IsEmpty());
    EXPECT_FALSE(s.store.device(busy).IsEmpty());
    EXPECT_TRUE(s.store.device(2).IsEmpty());
    ASSERT_EQ(page->list()->rowCount(), 1);
    EXPECT_EQ(Cell(*page, 0, 1), "Busy");
    EXPECT_FALSE(page->RowChecked(0));
    EXPECT_EQ(connections.calls, (Strings{"stop 0", "stop 2"}));
    EXPECT_EQ(s.OperationLog(), (Strings{"18 10.0.0.1:8000", "18 10.0.0.3:8000"}));
}

TEST_F(DevicePageTest, AnsweringNoToTheQuestionDeletesNothing) {
    s.Add("10.0.0.1", 8000, 1);
    auto page = Page();
    page->SetRowChecked(0, true);
    answer = false;
    page->DeleteDevices();
    EXPECT_FALSE(page->Deleting());
    EXPECT_FALSE(s.store.device(0).IsEmpty());
    EXPECT_TRUE(connections.calls.empty());
}

TEST_F(DevicePageTest, ClickingARowTogglesItsCheckAndSelectAllSetsEveryRow) {
    s.Add("10.0.0.1", 8000, 1);
    s.Add("10.0.0.2", 8000, 1);
    auto page = Page();
    emit page->list()->cellClicked(1, 3);
    EXPECT_TRUE(page->RowChecked(1));
    EXPECT_FALSE(page->RowChecked(0));
    emit page->list()->cellClicked(1, 0);
    EXPECT_FALSE(page->RowChecked(1));
    page->findChild<QCheckBox*>("selectOption")->setChecked(true);
    EXPECT_TRUE(page->RowChecked(0) && page->RowChecked(1));
}

TEST_F(DevicePageTest, WithoutTheRightNothingIsOffered) {
    UserInfo viewer{};
    viewer.id = 2;
    viewer.level = kLevelViewUser;
    viewer.option = kViewUserRights;
    std::snprintf(viewer.userName, sizeof viewer.userName, "viewer");
    LogInAs(viewer);
    auto page = Page();
    bool asked = false;
    page->SetFormHookForTesting([&](UIModifyDlg&) { return asked = true; });
    page->AddDevice();
    EXPECT_FALSE(asked);
    EXPECT_EQ(messages, Strings{"Insufficient permissions to operate!"});
}

}  // namespace
}  // namespace ocv::test
