// The log window on the offscreen platform: its messages, a search shown through the model, and
// an export followed by the operation log's "Backup log".
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>

#include "base/clock.h"
#include "device/channel_directory.h"
#include "events/log_search.h"
#include "events/log_writer.h"
#include "monitor/log_table_model.h"
#include "monitor/logs_info_dlg.h"
#include "tests/store/store_fixture.h"
#include "widgets/message_box.h"
#include "widgets/user_session.h"

namespace ocv {
namespace {

class LogsWindowTest : public test::StoreTest {
protected:
    test::TempDir logs;
    LogWriter writer{logs.str()};
    RuntimeTable runtime;
    std::unique_ptr<StoreChannelDirectory> directory;
    std::vector<QString> messages;
    int dev = -1;
    int64_t day = 0;

    void SetUp() override {
        test::StoreTest::SetUp();
        setenv("TZ", "UTC", 1);
        tzset();
        store_.LoadAll();
        dev = AddDevice("cam01", 5000, 2);
        directory = std::make_unique<StoreChannelDirectory>(store_, runtime);
        writer.SetDeviceAddressResolver([this](int d, std::string* host, int* port) {
            if (d != dev) return false;
            *host = "cam01";
            *port = 5000;
            return true;
        });
        SetMessageHookForTesting([this](const QString& text, int) {
            messages.push_back(text);
            return true;
        });
        UserInfo admin{};
        admin.id = 1;
        admin.level = kLevelAdministrator;
        admin.option = kAllRights;
        CopyText(admin.userName, "admin");
        day = SetClockForTesting(2020, 7, 8, 0, 0, 0);
        CurrentSession().LogIn(admin, clockSnapshot());
        for (int i = 0; i < 50; ++i)
            writer.LogWrite(kLogAlarm, i % 2 ? kLogTemperatureNormal : kLogTemperatureAbnormal, dev, 0, "38.00", "",
                            day + 3600 + i * 60);
        writer.LogWrite(kLogOperate, kLogLogin, -1, 0, "", "admin", day + 7200);
        SetClockForTesting(2020, 7, 8, 12, 0, 0);
    }
    void TearDown() override {
        SetMessageHookForTesting(nullptr);
        CurrentSession().Clear();
        SetClockSourceForTesting(nullptr);
    }
    std::unique_ptr<UILogsInfoDlg> Make(bool searchAtOpen) {
        return std::make_unique<UILogsInfoDlg>(store_, writer, *directory, nullptr,
                                               UILogsInfoDlg::Options{searchAtOpen});
    }
    // Runs the event loop until the search has ended (at most 10 s).
    static bool FinishSearch(UILogsInfoDlg& dlg) {
        QElapsedTimer t;
        t.start();
        while (dlg.Searching() && t.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 10);
        return !dlg.Searching();
    }
    static bool FinishExport(UILogsInfoDlg& dlg) {
        QElapsedTimer t;
        t.start();
        while (dlg.Exporting() && t.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 10);
        return !dlg.Exporting();
    }
};

TEST_F(LogsWindowTest, OpensOnTodaysAlarmLogAndListsItThroughTheModel) {
    auto dlg = Make(true);
    ASSERT_TRUE(FinishSearch(*dlg));
    LogTableModel& model = dlg->model();
    ASSERT_EQ(model.rowCount(), 50);
    const QString first = model.data(model.index(0, 1), Qt::DisplayRole).toString();
    EXPECT_EQ(first, "2020-07-08 01:00:00");
    bool sawDevice = false;
    for (int c = 0; c < model.columnCount(); ++c)
        sawDevice = sawDevice || model.data(model.index(0, c), Qt::DisplayRole).toString() == "cam01:5000-1";
    EXPECT_TRUE(sawDevice);
    // The abnormal group of the alarm log.
    auto* subtype = dlg->findChild<QComboBox*>("subtypeCombo");
    subtype->setCurrentIndex(subtype->findData(4));
    ASSERT_TRUE(dlg->Search());
    ASSERT_TRUE(FinishSearch(*dlg));
    EXPECT_EQ(model.rowCount(), 25);
}

TEST_F(LogsWindowTest, ABackwardRangeAndAnEmptyResultAreRefusedWithTheirMessages) {
    auto dlg = Make(false);
    auto* start = dlg->findChild<QDateTimeEdit*>("startTimeEdit");
    auto* end = dlg->findChild<QDateTimeEdit*>("endTimeEdit");
    end->setDateTime(start->dateTime());
    EXPECT_FALSE(dlg->Search());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Start time End time can not be greater than or equal");
    EXPECT_FALSE(dlg->Searching());
    dlg->Backup();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "No log to be backup");
    EXPECT_FALSE(dlg->ExportTo(QString::fromStdString(logs / "x.log")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(logs / "x.log")));
}

TEST_F(LogsWindowTest, AnExportWritesTheLinesThenTheOperationLogsBackupRecord) {
    auto dlg = Make(true);
    ASSERT_TRUE(FinishSearch(*dlg));
    test::TempDir out;
    const std::string path = out / "export.log";
    ASSERT_TRUE(dlg->ExportTo(QString::fromStdString(path)));
    EXPECT_FALSE(dlg->Search());  // the list stays as it is while it is written out
    ASSERT_TRUE(FinishExport(*dlg));
    const std::string text = test::ReadText(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 50);
    EXPECT_EQ(text.rfind("[1][2020-07-08 01:00:00][Alarm][][cam01:5000-1][Temperature abnormal][38.00]\n", 0), 0u);
    LogQuery q;
    q.logType = kLogOperate;
    q.subtypeEntry = 6;
    q.startTime = day;
    q.endTime = day + 86399;
    std::vector<LogRecord> backups;
    ASSERT_EQ(SearchLogs(logs.str(), q, &backups), 0);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].subtype, kLogBackupLog);
    EXPECT_STREQ(backups[0].user, "admin");
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "Export successful");
}

TEST_F(LogsWindowTest, AnExportThatCannotOpenItsFileSaysSoAndLogsNothing) {
    auto dlg = Make(true);
    ASSERT_TRUE(FinishSearch(*dlg));
    ASSERT_TRUE(dlg->ExportTo(QString::fromStdString(logs / "no/such/folder/x.log")));
    ASSERT_TRUE(FinishExport(*dlg));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "Backup log failed");
    LogQuery q;
    q.logType = kLogOperate;
    q.subtypeEntry = 6;
    q.startTime = day;
    q.endTime = day + 86399;
    std::vector<LogRecord> backups;
    SearchLogs(logs.str(), q, &backups);
    EXPECT_TRUE(backups.empty());
}

TEST_F(LogsWindowTest, TheUserChoiceCountsInTheOperationLogOnly) {
    UserInfo guard{};
    guard.level = kLevelViewUser;
    guard.option = kViewUserRights;
    CopyText(guard.userName, "guard");
    CopyText(guard.password, "g1");
    ASSERT_EQ(store_.AddUser(guard), 0);
    auto dlg = Make(false);
    auto* type = dlg->findChild<QComboBox*>("logTypeCombo");
    auto* user = dlg->findChild<QComboBox*>("userCombo");
    EXPECT_FALSE(user->isEnabled());
    type->setCurrentIndex(type->findData(kLogOperate));
    EXPECT_TRUE(user->isEnabled());
    ASSERT_GE(user->count(), 2);
    user->setCurrentIndex(user->findText("guard"));
    LogQuery q = dlg->CurrentQuery();
    EXPECT_EQ(q.logType, kLogOperate);
    EXPECT_FALSE(q.anyUser);
    EXPECT_EQ(q.user, "guard");
    // Equality, not containment: "admin"'s records are not "guard"'s, and "guard" finds its own.
    writer.LogWrite(kLogOperate, kLogLogin, -1, 0, "", "guard2", day + 7300);
    writer.LogWrite(kLogOperate, kLogLogout, -1, 0, "", "guard", day + 7400);
    ASSERT_TRUE(dlg->Search());
    ASSERT_TRUE(FinishSearch(*dlg));
    ASSERT_EQ(dlg->model().rowCount(), 1);
    EXPECT_EQ(dlg->model().results().row(0).subtype, kLogLogout);
    auto* device = dlg->findChild<QComboBox*>("deviceCombo");
    device->setCurrentIndex(device->findData(dev));
    q = dlg->CurrentQuery();
    EXPECT_FALSE(q.anyDevice);
    EXPECT_EQ(q.deviceHost, "cam01");
    EXPECT_EQ(q.devicePort, 5000);
}

}  // namespace
}  // namespace ocv
