// The map page and the alarm panel inside the main window: a camera's item opens its video in
// the live view page, and a reading the core publishes reaches the panel docked in the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "emap/emap_dlg.h"
#include "monitor/alarm_info_dlg.h"
#include "monitor/alarm_row_model.h"
#include "shell/main_dlg.h"
#include "tests/shell/shell_fixture.h"

namespace ocv {
namespace {

std::unique_ptr<MainDlg> AdminWindow(test::ShellFixture& f) {
    const UserInfo& admin = f.store().user(f.SlotOf("admin"));
    f.store().SaveLoginMemory(admin.id, admin.password, 1);
    auto window = std::make_unique<MainDlg>(*f.service, nullptr, MainDlg::Options{false});
    if (!window->Create()) return nullptr;
    return window;
}

TEST(ClientFlowTest, ACameraOnTheMapOpensItsVideoInTheLiveViewPage) {
    // A device nobody answers: the cell takes the channel and keeps trying to connect.
    test::ShellFixture f({{"127.0.0.1", 1, 2}});
    ASSERT_TRUE(f.ok);
    auto window = AdminWindow(f);
    ASSERT_TRUE(window);
    window->ClosePage("realPlay");
    window->OpenPage("emap");
    auto* map = dynamic_cast<UIEmapDlg*>(window->FindPage("emap"));
    ASSERT_NE(map, nullptr);
    QImage picture(400, 300, QImage::Format_RGB32);
    picture.fill(Qt::white);
    ASSERT_TRUE(picture.save(QString::fromStdString(f.dir / "plan.png")));
    ASSERT_TRUE(map->AddMapFromFile("Plan", QString::fromStdString(f.dir / "plan.png")));
    map->WaitForPictures();
    ASSERT_EQ(f.store().maps().size(), 1u);
    ASSERT_EQ(map->PlaceChannel(0, 1, QPointF(100, 100)), 0);
    const int item = f.store().maps()[0].items[0].itemId;

    map->ActivateItem(item);
    ASSERT_TRUE(window->HasPage("realPlay"));  // opened for the camera
    bool shown = false;
    for (int cell = 0; cell < 36; ++cell) shown = shown || f.service->players().GetSlotChannel(cell) == ChannelIdOf(0, 1);
    EXPECT_TRUE(shown);
    // Again: the cell already showing it is used, no second cell.
    map->ActivateItem(item);
    int cells = 0;
    for (int cell = 0; cell < 36; ++cell) cells += f.service->players().GetSlotChannel(cell) == ChannelIdOf(0, 1);
    EXPECT_EQ(cells, 1);
}

TEST(ClientFlowTest, TheMainWindowsAlarmPanelListsWhatTheCorePublishes) {
    test::ShellFixture f({{"127.0.0.1", 1, 2}});
    ASSERT_TRUE(f.ok);
    auto window = AdminWindow(f);
    ASSERT_TRUE(window);
    auto* panel = window->findChild<UIAlarmInfoDlg*>();
    ASSERT_NE(panel, nullptr);
    AlarmEvent e{};
    e.valid = 1;
    e.channelId = ChannelIdOf(0, 0);
    e.code = kEventTemperatureAbnormal;
    e.time = 1594202400;
    snprintf(e.text, sizeof e.text, "38.20");
    f.service->hub().Publish(e);
    for (int i = 0; i < 20 && panel->alarmRows().rowCount() == 0; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(panel->alarmRows().rowCount(), 1);
    EXPECT_EQ(panel->eventRows().rowCount(), 1);
}

}  // namespace
}  // namespace ocv
