// The live view page inside the main window, end to end: the toolbar's stop button, the day
// counters through a midnight driven by the test clock, and a split chosen while a cell is
// maximised. Devices are configured but never answer, so cells attach players without pictures.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>

#include "device/device_service.h"
#include "videogrid/cell_messages.h"
#include "liveview/date_popup.h"
#include "liveview/live_view_menus.h"
#include "liveview/ptz_popup.h"
#include "liveview/realplay_dlg.h"
#include "liveview/temperature_picture_dlg.h"
#include "liveview/rota_wnd.h"
#include "videogrid/screen_pannel.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_wnd.h"
#include "base/clock.h"
#include "platform/app_dir.h"
#include "setup/device_config_page.h"
#include "shell/main_dlg.h"
#include "widgets/window_message.h"
#include "store/relaxed.h"
#include "liveview/channel_text.h"
#include "liveview/temperature_column.h"
#include "widgets/tree_icon_delegate.h"
#include "tests/liveview/decoder_probe.h"
#include "sdk/qvx_sdk.h"
#include "tests/sdk/devsim_process.h"
#include "tests/shell/shell_fixture.h"

namespace ocv {
namespace {

using test::ShellFixture;

// Ports on which nothing listens.
std::vector<mkdb::DemoDevice> Site() { return {{"127.0.0.1", 9, 16}, {"127.0.0.1", 7, 4}}; }

class RealPlayPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fixture_.ok);
        const UserInfo& admin = fixture_.store().user(fixture_.SlotOf("admin"));
        fixture_.store().SaveLoginMemory(admin.id, admin.password, 1);
        window_ = std::make_unique<MainDlg>(*fixture_.service, nullptr, MainDlg::Options{false});
        ASSERT_TRUE(window_->Create());
        window_->resize(1280, 800);
        window_->show();
        Settle();
        page_ = window_->findChild<UIRealPlayDlg*>();
        ASSERT_NE(page_, nullptr);
    }
    void TearDown() override {
        window_.reset();
        SetClockSourceForTesting(nullptr);
        RenewClockSnapshot();
    }
    static void Settle() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
    QWidget* Video(int cell) { return page_->panel()->Cell(cell)->VideoWindow(); }
    // The decoders of cells 0..n-1: R runs, P paused, - takes no input.
    std::string Decoders(int n) {
        std::string out;
        for (int k = 0; k < n; ++k) {
            test::Decoder d = test::ProbeDecoder(fixture_.service->players().slot(k).port.load());
            out += d == test::Decoder::kRuns ? 'R' : d == test::Decoder::kPaused ? 'P' : '-';
        }
        return out;
    }
    std::string ConfigIni() { return fixture_.dir / "config.ini"; }
    static std::vector<std::string> Texts(QMenu* menu) {
        std::vector<std::string> out;
        for (QAction* a : menu->actions()) out.push_back(a->text().toStdString());
        delete menu;
        return out;
    }
    QPushButton* Button(const char* name) { return page_->findChild<QPushButton*>(name); }

    ShellFixture fixture_{Site()};
    std::unique_ptr<MainDlg> window_;
    UIRealPlayDlg* page_ = nullptr;
};

TEST_F(RealPlayPageTest, StopButtonClosesOnlyTheSelectedCell) {
    LiveViewController& lv = page_->controller();
    for (int cell = 0; cell < 3; ++cell) {
        page_->SelectCell(cell);
        ASSERT_EQ(lv.OpenFromTree(0, cell + 4), cell);
    }
    auto* stop = page_->findChild<QPushButton*>("stopBtn");
    ASSERT_NE(stop, nullptr);
    page_->SelectCell(1);
    QTest::mouseClick(stop, Qt::LeftButton);
    Settle();
    EXPECT_EQ(lv.CellChannel(0), ChannelIdOf(0, 4));
    EXPECT_EQ(lv.CellChannel(1), -1);
    EXPECT_EQ(lv.CellChannel(2), ChannelIdOf(0, 6));
    EXPECT_EQ(page_->panel()->Cell(1)->StatusText().toStdString(), "");
    EXPECT_EQ(page_->panel()->Cell(2)->StatusText().toStdString(), "Demo 1-C7");
    // The screen memory forgets the stopped cell only.
    ScreenMemory saved = LoadScreenMemory(ConfigIni());
    EXPECT_EQ(saved.channelIds[0], Relaxed(fixture_.store().device(0).channels[4].id));
    EXPECT_EQ(saved.channelIds[1], 0);
    EXPECT_EQ(saved.channelIds[2], Relaxed(fixture_.store().device(0).channels[6].id));
    // Stopping an empty cell changes nothing.
    QTest::mouseClick(stop, Qt::LeftButton);
    Settle();
    EXPECT_EQ(lv.CellChannel(0), ChannelIdOf(0, 4));
    EXPECT_EQ(lv.CellChannel(2), ChannelIdOf(0, 6));
}

TEST_F(RealPlayPageTest, DayCountersShowZeroAfterMidnightWithoutAReading) {
    SetClockForTesting(2026, 5, 6, 23, 59, 58);
    StatusWorker* status = window_->statusWorker();
    ASSERT_NE(status, nullptr);
    status->SetMetersEnabled(false);
    status->Tick();  // the window's first tick: the day it counts
    auto* tested = page_->findChild<QLabel*>("checkNumLabel");
    auto* abnormal = page_->findChild<QLabel*>("abnomalNumLabel");
    ASSERT_NE(tested, nullptr);
    ASSERT_NE(abnormal, nullptr);
    AlarmEngine& alarms = fixture_.service->alarms();
    alarms.PostAlarmEvent(ChannelIdOf(0, 0), kEventTemperatureNormal, "36.50", 0, 0);
    alarms.PostAlarmEvent(ChannelIdOf(0, 0), kEventTemperatureAbnormal, "38.20", 0, 0);
    alarms.PostAlarmEvent(ChannelIdOf(0, 1), kEventTemperatureNormal, "36.40", 0, 0);
    Settle();
    EXPECT_EQ(tested->text().toStdString(), "3");
    EXPECT_EQ(abnormal->text().toStdString(), "1");

    AdvanceClockForTesting(2);  // 00:00:00 of the next day
    status->Tick();
    Settle();
    EXPECT_EQ(tested->text().toStdString(), "0");
    EXPECT_EQ(abnormal->text().toStdString(), "0");
    // The new day counts from there.
    alarms.PostAlarmEvent(ChannelIdOf(0, 0), kEventTemperatureAbnormal, "38.00", 0, 0);
    Settle();
    EXPECT_EQ(tested->text().toStdString(), "1");
    EXPECT_EQ(abnormal->text().toStdString(), "1");
}

TEST_F(RealPlayPageTest, SplitChosenWhileACellIsMaximisedResumesTheOtherCells) {
    for (int cell = 0; cell < 4; ++cell) ASSERT_EQ(page_->OpenChannelInCell(0, cell, cell), 0);
    ASSERT_EQ(page_->panel()->SplitMode(), 4);
    QTest::mouseDClick(Video(2), Qt::LeftButton, {}, QPoint(10, 10));
    Settle();
    ASSERT_TRUE(page_->panel()->IsMaximized());
    EXPECT_EQ(Decoders(4), "PPRP");
    PostWindowMessage(page_, SplitChosen, 9, 0);
    Settle();
    EXPECT_FALSE(page_->panel()->IsMaximized());
    EXPECT_EQ(page_->panel()->SplitMode(), 9);
    EXPECT_EQ(Decoders(4), "RRRR");
}

TEST_F(RealPlayPageTest, CellMenusFollowTheCellAndTheirCommandsArriveAsMessages) {
    // An empty cell: no recording, talk, display or thermal entries.
    EXPECT_EQ(Texts(page_->BuildCellMenu(0)),
              (std::vector<std::string>{"Capture", "PTZ control", "Enlarge", "Camera Settings", "Check time",
                                        "Stop view", "Stop all view", "Disconnect", "Full Screen"}));
    page_->SelectCell(1);
    ASSERT_EQ(page_->controller().OpenFromTree(0, 2), 1);
    std::vector<std::string> texts = Texts(page_->BuildCellMenu(1));
    EXPECT_EQ(texts[1], "Manual REC");
    EXPECT_EQ(texts[2], "Start talk");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Original picture"), texts.end());
    EXPECT_EQ(std::find(texts.begin(), texts.end(), "Main stream"), texts.end());

    // The zoom entry switches the toolbar's zoom option; stop view empties only that cell.
    PostWindowMessage(page_, kMsgCellMenuCommand, kCellZoomMode, 0);
    Settle();
    EXPECT_TRUE(Button("zoomOption")->isChecked());
    EXPECT_EQ(Texts(page_->BuildCellMenu(1))[4], "Close enlarge");
    // Camera Settings switches to that page, showing the cell's channel.
    PostWindowMessage(page_, kMsgCellMenuCommand, kCellCameraSettings, 0);
    Settle();
    auto* settings = dynamic_cast<UIDeviceConfigDlg*>(window_->FindPage("deviceConfig"));
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(settings->selectedChannelId(), ChannelIdOf(0, 2));
    window_->OpenPage("realPlay");
    Settle();
    PostWindowMessage(page_, kMsgCellMenuCommand, kCellStopView, 0);
    Settle();
    EXPECT_EQ(page_->controller().CellChannel(1), -1);
    EXPECT_TRUE(fixture_.messages.empty());
}

TEST_F(RealPlayPageTest, TreeMenusCollapseAndExpandEveryGroupAndShowAGroup) {
    QTreeWidgetItem* group = page_->GroupItem(0);
    ASSERT_NE(group, nullptr);
    std::vector<std::string> groupTexts = Texts(page_->BuildTreeMenu(group));
    EXPECT_EQ(groupTexts.front(), "Collapse all groups");
    EXPECT_NE(std::find(groupTexts.begin(), groupTexts.end(), "Group display"), groupTexts.end());
    QTreeWidgetItem* channel = page_->ChannelItem(0, 1, 2);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(Texts(page_->BuildTreeMenu(channel)).front(), "Connected");

    page_->SetTreeMenuItem(group);
    PostWindowMessage(page_, kMsgTreeMenuCommand, kTreeCollapseAll, 0);
    Settle();
    EXPECT_FALSE(group->isExpanded());
    PostWindowMessage(page_, kMsgTreeMenuCommand, kTreeExpandAll, 0);
    Settle();
    EXPECT_TRUE(group->isExpanded());
    PostWindowMessage(page_, kMsgTreeMenuCommand, kTreeGroupDisplay, 0);
    Settle();
    // The demo group: the first device's 16 channels, then the second's.
    EXPECT_EQ(page_->controller().CellChannel(0), ChannelIdOf(0, 0));
    EXPECT_EQ(page_->controller().CellChannel(17), ChannelIdOf(1, 1));
}

TEST_F(RealPlayPageTest, ATourOnAnEmptyCellIsRefusedAndTheOptionSetBack) {
    page_->SelectCell(3);
    QTest::mouseClick(Button("rotaOption"), Qt::LeftButton);
    Settle();
    ASSERT_EQ(fixture_.messages.size(), 1u);
    EXPECT_EQ(fixture_.messages[0].text.toStdString(), "Please drag the window to any channel, try!");
    EXPECT_FALSE(Button("rotaOption")->isChecked());
    EXPECT_FALSE(page_->tours().AnyRunning());

    // A channel of the demo group starts a single-screen tour; the option shows it, the
    // settings stay closed while it runs and the cell refuses stop view.
    ASSERT_EQ(page_->controller().OpenFromTree(0, 1), 3);
    QTest::mouseClick(Button("rotaOption"), Qt::LeftButton);
    Settle();
    EXPECT_TRUE(page_->tours().SingleRunning(3));
    EXPECT_TRUE(Button("rotaOption")->isChecked());
    QTest::mouseClick(Button("rotaSetBtn"), Qt::LeftButton);
    EXPECT_EQ(page_->rotaWnd(), nullptr);
    PostWindowMessage(page_, kMsgCellMenuCommand, kCellStopView, 0);
    Settle();
    EXPECT_EQ(fixture_.messages.back().text.toStdString(), "Channel is rota, can not operate!");
    // The PTZ pad refuses the touring cell too.
    size_t told = fixture_.messages.size();
    QTest::mousePress(page_->findChild<QWidget*>("ptzSelectVer")->findChild<QPushButton*>("upBtn"), Qt::LeftButton);
    ASSERT_EQ(fixture_.messages.size(), told + 1);
    EXPECT_EQ(fixture_.messages.back().text.toStdString(), "Channel is rota, can not operate!");
    QTest::mouseClick(Button("rotaOption"), Qt::LeftButton);
    Settle();
    EXPECT_FALSE(page_->tours().AnyRunning());
    EXPECT_FALSE(Button("rotaOption")->isChecked());
}

TEST_F(RealPlayPageTest, TheTourSettingsPopupStoresTwentyForTheFactoryTen) {
    fixture_.store().MutableSettingsForTesting().ROTALEN = 10;
    QTest::mouseClick(Button("rotaSetBtn"), Qt::LeftButton);
    UIRotaWnd* wnd = page_->rotaWnd();
    ASSERT_NE(wnd, nullptr);
    wnd->close();
    Settle();
    EXPECT_EQ(page_->rotaWnd(), nullptr);
    EXPECT_EQ(Relaxed(fixture_.store().settings().ROTALEN), 20);
    ASSERT_EQ(fixture_.store().LoadSettings(), 0);
    EXPECT_EQ(Relaxed(fixture_.store().settings().ROTALEN), 20) << "stored, not only in memory";
}

TEST_F(RealPlayPageTest, TheDateChosenForTheTemperatureColumnShowsOnItsButton) {
    auto* dateBtn = Button("sTimeBtn");
    QTest::mouseClick(dateBtn, Qt::LeftButton);
    UIDatePopup* popup = page_->datePopup();
    ASSERT_NE(popup, nullptr);
    popup->Choose(QDate(2020, 9, 3));
    Settle();
    EXPECT_EQ(dateBtn->text().toStdString(), "2020-09-03");
    EXPECT_TRUE(page_->temperatureWorker().Date() == (CalendarDate{2020, 9, 3}));
    // A date that does not exist changes nothing.
    PostWindowMessage(page_, kMsgTemperatureDate, 20200231, 0);
    Settle();
    EXPECT_EQ(dateBtn->text().toStdString(), "2020-09-03");
}

}  // namespace
}  // namespace ocv

namespace ocv {
namespace {

// The page against a simulated screening camera: its temperature log fills the column of the
// selected cell's channel, and the PTZ surfaces drive it.
class TemperatureColumnPageTest : public ::testing::Test {
protected:
    static std::vector<std::string> Texts(QMenu* menu) {
        std::vector<std::string> out;
        for (QAction* a : menu->actions()) out.push_back(a->text().toStdString());
        delete menu;
        return out;
    }
    static void SetUpTestSuite() { ASSERT_EQ(QVX_SDK_Init(), QVX_OK); }
    static void TearDownTestSuite() { QVX_SDK_Cleanup(); }
    void SetUp() override {
        test::WriteText(sim_.dir() / "site.ini",
                        "[device]\nname=SCREEN\ntype=IPC\nfirmware=V27.1.0 build 20260101\nuser=admin\n"
                        "password=kestr\nchannels=1\nmain=64x48@32\nsub=64x48@32\nkey_interval=25\n");
        std::string error;
        ASSERT_TRUE(sim_.Start({"--site", sim_.dir() / "site.ini", "--quiet"}, &error)) << error;
        fixture_ = std::make_unique<test::ShellFixture>(std::vector<mkdb::DemoDevice>{{"127.0.0.1", sim_.device(0).port, 1}});
        ASSERT_TRUE(fixture_->ok);
        const UserInfo& admin = fixture_->store().user(fixture_->SlotOf("admin"));
        fixture_->store().SaveLoginMemory(admin.id, admin.password, 1);
        window_ = std::make_unique<MainDlg>(*fixture_->service, nullptr, MainDlg::Options{false});
        ASSERT_TRUE(window_->Create());
        window_->resize(1280, 800);
        window_->show();
        page_ = window_->findChild<UIRealPlayDlg*>();
        ASSERT_NE(page_, nullptr);
        int rc = fixture_->service->connections().LoginDevice(0);
        ASSERT_EQ(fixture_->runtime().device(0).deviceState.load(), 2) << rc << sim_.log();
        ASSERT_EQ(fixture_->service->connections().IsThermalCapable(0, 0), 0);
    }
    void TearDown() override {
        window_.reset();
        fixture_.reset();
    }
    static void Settle() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
    // One round of the temperature worker, and the page's answer to it.
    void Query() {
        page_->temperatureWorker().Round();
        Settle();
    }

    test::DevsimProcess sim_;
    std::unique_ptr<test::ShellFixture> fixture_;
    std::unique_ptr<MainDlg> window_;
    UIRealPlayDlg* page_ = nullptr;
};

TEST_F(TemperatureColumnPageTest, TheSelectedCellsScreeningCameraFillsTheColumnNewestFirstAbnormalInRed) {
    ASSERT_EQ(page_->OpenChannelInCell(0, 0, 2), 0);
    QTest::mouseClick(page_->panel()->Cell(2)->VideoWindow(), Qt::LeftButton, {}, QPoint(5, 5));
    Settle();
    EXPECT_EQ(page_->temperatureWorker().channel(), ChannelIdOf(0, 0)) << "the selected temperature channel";
    PostWindowMessage(page_, kMsgTemperatureDate, 20260101, 0);
    Settle();
    Query();
    QTreeWidget* list = page_->eventList();
    ASSERT_EQ(list->topLevelItemCount(), 1440);  // one reading a minute
    std::vector<TemperatureRecord> records = page_->temperatureWorker().Records();
    ASSERT_EQ(records.size(), 1440u);
    EXPECT_EQ(list->topLevelItem(0)->data(0, Qt::UserRole).toInt(), records.back().time);
    int red = 0;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        const TemperatureRecord& r = records[records.size() - 1 - row];
        QTreeWidgetItem* item = list->topLevelItem(row);
        bool abnormal = (r.code & 0x8000) != 0;
        red += abnormal;
        EXPECT_EQ(item->foreground(1).color().rgb() & 0xFFFFFF, abnormal ? 0xFF0000u : 0x00FF00u) << row;
        EXPECT_EQ(item->text(1).toStdString(), FormatTemperatureRow(r, 0).temperature);
    }
    EXPECT_GT(red, 0);

    // Only the abnormal readings.
    page_->findChild<QComboBox*>("shTypeCombo")->setCurrentIndex(2);
    Query();
    ASSERT_EQ(list->topLevelItemCount(), red);
    for (int row = 0; row < red; ++row)
        EXPECT_EQ(list->topLevelItem(row)->foreground(0).color().rgb() & 0xFFFFFF, 0xFF0000u);

    // Fahrenheit: 36.50 shows as 97.70.
    SetRelaxed(fixture_->store().MutableSettingsForTesting().tempUnit, 1);
    page_->findChild<QPushButton*>("refreshMapBtn")->click();
    EXPECT_EQ(list->topLevelItemCount(), 0) << "Refresh empties the list until the answer";
    Query();
    ASSERT_EQ(list->topLevelItemCount(), red);
    TemperatureRecord last = page_->temperatureWorker().Records().back();
    EXPECT_EQ(list->topLevelItem(0)->text(1).toStdString(), FormatTemperatureRow(last, 1).temperature);
}

// A double-click on a reading shows the picture the camera kept of it, fetched off the UI
// thread and cached under the reading's time; a reading of a channel no longer selected shows
// nothing and a picture the device cannot give is said so.
TEST_F(TemperatureColumnPageTest, DoubleClickingAReadingShowsThePictureTheCameraKeptOfIt) {
    ASSERT_EQ(page_->OpenChannelInCell(0, 0, 2), 0);
    QTest::mouseClick(page_->panel()->Cell(2)->VideoWindow(), Qt::LeftButton, {}, QPoint(5, 5));
    Settle();
    PostWindowMessage(page_, kMsgTemperatureDate, 20260101, 0);
    Settle();
    Query();
    QTreeWidget* list = page_->eventList();
    ASSERT_GT(list->topLevelItemCount(), 0);
    QTreeWidgetItem* item = list->topLevelItem(0);
    int time = item->data(0, Qt::UserRole).toInt();
    emit list->itemDoubleClicked(item, 0);
    Settle();
    page_->jobs().Flush();
    Settle();
    ASSERT_NE(page_->temperaturePicture(), nullptr);
    EXPECT_TRUE(page_->temperaturePicture()->isVisible());
    EXPECT_FALSE(page_->temperaturePicture()->Picture().isNull());
    char folder[64];
    snprintf(folder, sizeof folder, "Pic/127.0.0.1-%d/%d.h264", sim_.device(0).port, time);
    EXPECT_TRUE(std::filesystem::exists(AppPath(folder))) << folder;
}

// The PTZ panel under the tree sends to the selected cell's camera, holding while pressed and
// at the panel's speed; the popup of the cell menu sends its toggles and presets; the
// simulator reports what it received.
TEST_F(TemperatureColumnPageTest, ThePtzPanelAndPopupDriveTheSelectedCellsCamera) {
    ASSERT_EQ(page_->OpenChannelInCell(0, 0, 1), 0);
    page_->SelectCell(1);
    ASSERT_TRUE(sim_.ControlOk("clear SCREEN"));
    QWidget* pad = page_->findChild<QWidget*>("ptzSelectVer");
    pad->findChild<QSlider*>("speedSlider")->setValue(8);
    auto* up = pad->findChild<QPushButton*>("upBtn");
    QTest::mousePress(up, Qt::LeftButton);
    QTest::mouseRelease(up, Qt::LeftButton);
    // An empty cell sends nothing.
    page_->SelectCell(0);
    QTest::mousePress(up, Qt::LeftButton);
    QTest::mouseRelease(up, Qt::LeftButton);

    page_->SelectCell(1);
    PostWindowMessage(page_, kMsgCellMenuCommand, kCellPtz, 0);
    Settle();
    UIPtzDlg* popup = page_->ptzPopup();
    ASSERT_NE(popup, nullptr);
    QTest::mouseClick(popup->findChild<QPushButton*>("lightBtn"), Qt::LeftButton);
    popup->presetList()->setCurrentItem(popup->presetList()->topLevelItem(10));
    QTest::mouseClick(popup->findChild<QPushButton*>("gotoBtn"), Qt::LeftButton);
    page_->ptzSender().Flush();
    std::vector<std::string> got;
    for (const std::string& line : sim_.Control("report SCREEN"))
        if (line.rfind("ptz ", 0) == 0 || line.rfind("preset ", 0) == 0) got.push_back(line);
    EXPECT_EQ(got, (std::vector<std::string>{"ptz 0 21 0 8", "ptz 0 21 1 8", "ptz 0 2 1 5", "preset 0 39 11"}));

    // One popup at a time; closing it lets the page open another.
    PostWindowMessage(page_, kMsgCellMenuCommand, kCellPtz, 0);
    Settle();
    EXPECT_EQ(page_->ptzPopup(), popup);
    popup->close();
    Settle();
    EXPECT_EQ(page_->ptzPopup(), nullptr);
}

// Talk from the cell menu: the entry turns into "Stop talk", the tree shows the talk icon, and
// the camera counts the talk's audio; stopping ends all three.
TEST_F(TemperatureColumnPageTest, TalkFromTheCellMenuStartsAndStopsAndTheTreeShowsIt) {
    ASSERT_EQ(page_->OpenChannelInCell(0, 0, 0), 0);
    page_->SelectCell(0);
    // The tree shows the talk beside a playing channel's icons.
    ASSERT_TRUE(QTest::qWaitFor([&] { return fixture_->runtime().channel(0, 0).connectState.load() == 2; }, 10000));
    auto hasTalkIcon = [&] {
        QList<int> icons = page_->ChannelItem(0, 0, 0)->data(0, TreeIconDelegate::kIconsRole).value<QList<int>>();
        return icons.contains(kIconTalk);
    };
    PostWindowMessage(page_, kMsgCellMenuCommand, kCellTalk, 0);
    Settle();
    ASSERT_TRUE(fixture_->messages.empty()) << fixture_->messages[0].text.toStdString();
    EXPECT_EQ(fixture_->service->talk().GetTalkChannel(), ChannelIdOf(0, 0));
    EXPECT_EQ(Texts(page_->BuildCellMenu(0))[2], "Stop talk");
    EXPECT_TRUE(QTest::qWaitFor(hasTalkIcon, 5000));
    auto report = sim_.Control("report SCREEN");
    EXPECT_NE(std::find(report.begin(), report.end(), "talk open mode 1"), report.end());

    PostWindowMessage(page_, kMsgCellMenuCommand, kCellTalk, 0);
    Settle();
    EXPECT_EQ(fixture_->service->talk().GetTalkChannel(), -1);
    EXPECT_EQ(Texts(page_->BuildCellMenu(0))[2], "Start talk");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !hasTalkIcon(); }, 5000));
}

}  // namespace
}  // namespace ocv
