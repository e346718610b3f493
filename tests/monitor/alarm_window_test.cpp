// The alarm and event window on the offscreen platform: what the hub brings reaches its lists,
// the popup video follows the linkage and the options at once, and the sound switch reaches the
// sound thread at once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBrush>
#include <QCheckBox>
#include <QPushButton>
#include <QTableView>

#include <cstring>
#include <map>

#include "events/alarm_sound.h"
#include "monitor/alarm_info_dlg.h"
#include "monitor/alarm_monitor.h"
#include "monitor/alarm_options.h"
#include "monitor/alarm_picture_wnd.h"
#include "monitor/alarm_row_model.h"
#include "monitor/alarm_video_wnd.h"
#include "tests/liveview/live_view_fakes.h"
#include "tests/support/temp_dir.h"
#include "widgets/event_bridge.h"

namespace ocv {
namespace {

// The popup shown as the player channels keep them, recording what the window asked.
class FakePopupPlayers : public PopupPlayers {
public:
    int CreatePopupPlayer(int slot, void* window) override {
        if (slot < 36 || slot > 38 || window == nullptr) return -1;
        if (refuseCreate) return -2;
        created.insert(slot);
        return 0;
    }
    int DestroyPlayer(int slot) override {
        destroyed.insert(slot);
        return 0;
    }
    int AttachChannelMain(int slot, int channelId) override {
        if (!created.count(slot)) return -1;
        shown[slot] = channelId;
        return 0;
    }
    int DetachSlot(int slot) override {
        shown.erase(slot);
        return 0;
    }
    int GetSlotChannel(int slot) const override {
        auto f = shown.find(slot);
        return f == shown.end() ? -1 : f->second;
    }
    int PlayerShowing(int) const override { return 0; }

    bool refuseCreate = false;
    std::set<int> created, destroyed;
    std::map<int, int> shown;
};

class CountingPlayer : public WavPlayer {
public:
    void PlayBlocking(const std::string&) override { ++plays; }
    void PlayAsync(const std::string&) override { ++plays; }
    int plays = 0;
};

AlarmEvent Event(int code, int channelId, uint32_t time, const char* text = "") {
    AlarmEvent e{};
    e.valid = 1;
    e.channelId = channelId;
    e.code = code;
    e.time = time;
    strncpy(e.text, text, sizeof e.text - 1);
    return e;
}

class AlarmWindowTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string ini = dir / "config.ini";
    test::FakeDirectory directory;
    FakePopupPlayers players;
    CountingPlayer wav;
    AlarmSoundPlayer sounds{&wav, dir.str(), [](SoundKind) { return true; }};
    CoreEventHub hub;
    EventBridge bridge{hub};
    int dev = directory.AddDevice("cam01", 5000, 4);
    int linked = ChannelIdOf(dev, 0);
    int unlinked = ChannelIdOf(dev, 1);

    void SetUp() override {
        sounds.SetSleepForTesting([](int) {});
        directory.Stored(dev).channels[0].alarmMd = kLinkPopupVideo;
        directory.runtime.channel(linked).armedNow.store(1);
        directory.runtime.channel(unlinked).armedNow.store(1);
    }
    std::unique_ptr<UIAlarmInfoDlg> Make() {
        return std::make_unique<UIAlarmInfoDlg>(UIAlarmInfoDlg::Services{directory, players, sounds, bridge, ini},
                                                nullptr);
    }
    void Deliver() {
        bridge.DeliverPending();
        QApplication::processEvents();  // the popup requests (message 1446)
        QApplication::processEvents();
    }
};

TEST_F(AlarmWindowTest, AnAbnormalReadingIsListedTwiceInRedANormalOneOnlyAmongAllReadings) {
    auto dlg = Make();
    hub.Publish(Event(kEventTemperatureNormal, linked, 1000, "36.50"));
    hub.Publish(Event(kEventTemperatureAbnormal, linked, 1001, "38.20"));
    hub.Publish(Event(1, linked, 1002));  // a code the window does not list
    Deliver();
    AlarmRowModel& all = dlg->eventRows();
    AlarmRowModel& abnormal = dlg->alarmRows();
    ASSERT_EQ(all.rowCount(), 2);
    ASSERT_EQ(abnormal.rowCount(), 1);
    // Newest first; the abnormal one red in both lists, the normal one not.
    EXPECT_EQ(all.rows().at(0).code, kEventTemperatureAbnormal);
    const QColor red(0xFF, 0, 0);
    auto colour = [](const AlarmRowModel& m, int row) {
        return m.data(m.index(row, AlarmRowModel::kContent), Qt::ForegroundRole).value<QBrush>().color();
    };
    EXPECT_EQ(colour(all, 0), red);
    EXPECT_EQ(colour(abnormal, 0), red);
    EXPECT_NE(all.data(all.index(1, AlarmRowModel::kContent), Qt::ForegroundRole).value<QBrush>().color(), red);
    EXPECT_NE(abnormal.data(abnormal.index(0, AlarmRowModel::kNote), Qt::DisplayRole).toString().indexOf("38.20"), -1);
    // Readings never pop up video.
    EXPECT_TRUE(players.shown.empty());
    // "Clear information" empties both lists.
    dlg->findChild<QPushButton*>("clearBtn")->click();
    EXPECT_EQ(all.rowCount(), 0);
    EXPECT_EQ(abnormal.rowCount(), 0);
}

TEST_F(AlarmWindowTest, EntriesTheHubNoLongerHoldsAreNeverShown) {
    auto dlg = Make();
    // Far more than the hub keeps, before the window reads any of them.
    for (uint32_t t = 1; t <= 10000; ++t) hub.Publish(Event(kEventTemperatureNormal, linked, t, "36.50"));
    Deliver();
    const AlarmRowList& rows = dlg->eventRows().rows();
    ASSERT_GT(rows.size(), 0u);
    EXPECT_EQ(rows.at(0).time, 10000u);
    for (size_t i = 0; i < rows.size(); ++i) ASSERT_GT(rows.at(i).time, 1u) << "an overwritten entry shown";
}

TEST_F(AlarmWindowTest, APopupFollowsTheLinkageAndTheOptionStopsItAtOnce) {
    auto dlg = Make();
    hub.Publish(Event(kEventMotionStart, unlinked, 1000));
    Deliver();
    EXPECT_EQ(dlg->popup(), nullptr);  // not linked: no window made
    hub.Publish(Event(kEventMotionStart, linked, 1001));
    Deliver();
    ASSERT_NE(dlg->popup(), nullptr);
    EXPECT_EQ(players.GetSlotChannel(36), linked);
    EXPECT_TRUE(dlg->popup()->isVisible());
    // The stop of the alarm pops nothing more up; the same channel again keeps its pane.
    hub.Publish(Event(kEventMotionStop, linked, 1002));
    hub.Publish(Event(kEventMotionStart, linked, 1003));
    Deliver();
    EXPECT_EQ(players.created, (std::set<int>{36}));
    // The operator switches the popup off: the next alarm shows nothing, and the choice is kept.
    dlg->popup()->Close();
    EXPECT_EQ(players.GetSlotChannel(36), -1);
    dlg->findChild<QCheckBox*>("videoOption")->click();
    EXPECT_EQ(LoadAlarmDialogOptions(ini).popupVideo, 0);
    hub.Publish(Event(kEventMotionStart, linked, 1004));
    Deliver();
    EXPECT_EQ(players.GetSlotChannel(36), -1);
    EXPECT_FALSE(dlg->popup()->isVisible());
    // A disarmed channel pops nothing up either.
    dlg->findChild<QCheckBox*>("videoOption")->click();
    directory.runtime.channel(linked).armedNow.store(0);
    dlg->OnPopupRequest(linked, 0);
    EXPECT_EQ(players.GetSlotChannel(36), -1);
    directory.runtime.channel(linked).armedNow.store(1);
    dlg->OnPopupRequest(linked, 0);
    EXPECT_EQ(players.GetSlotChannel(36), linked);
    // The window's players go with it.
    dlg.reset();
    EXPECT_EQ(players.destroyed, (std::set<int>{36}));
}

TEST_F(AlarmWindowTest, FourChannelsShareTheThreePopupSlotsTheOldestGivingWay) {
    for (int c = 0; c < 4; ++c) {
        directory.Stored(dev).channels[c].alarmInput = kLinkPopupVideo;
        directory.runtime.channel(ChannelIdOf(dev, c)).armedNow.store(1);
    }
    auto dlg = Make();
    for (int c = 0; c < 4; ++c) dlg->OnPopupRequest(ChannelIdOf(dev, c), 1);
    EXPECT_EQ(players.GetSlotChannel(36), ChannelIdOf(dev, 3));
    EXPECT_EQ(players.GetSlotChannel(37), ChannelIdOf(dev, 1));
    EXPECT_EQ(players.GetSlotChannel(38), ChannelIdOf(dev, 2));
    // No player to be had: the request is dropped, nothing half-shown.
    FakePopupPlayers none;
    none.refuseCreate = true;
    UIAlarmVideoWnd wnd(none, directory, nullptr);
    EXPECT_EQ(wnd.ShowChannel(linked), -1);
    EXPECT_EQ(wnd.PaneChannel(0), -1);
}

TEST_F(AlarmWindowTest, TheSoundSwitchSilencesTheNextPlayAndIsKept) {
    auto dlg = Make();
    sounds.Raise(SoundKind::kMotion);
    sounds.RunPass();
    const int before = wav.plays;
    ASSERT_GT(before, 0);
    dlg->findChild<QCheckBox*>("soundOption")->click();
    EXPECT_EQ(LoadAlarmDialogOptions(ini).soundOn, 0);
    sounds.Raise(SoundKind::kMotion);
    sounds.RunPass();
    EXPECT_EQ(wav.plays, before);
    // A window built later starts with the sound off as it was left.
    dlg.reset();
    sounds.SetSoundOn(true);
    auto again = Make();
    sounds.Raise(SoundKind::kMotion);
    sounds.RunPass();
    EXPECT_EQ(wav.plays, before);
    EXPECT_FALSE(again->findChild<QCheckBox*>("soundOption")->isChecked());
}

TEST_F(AlarmWindowTest, TheDeviceAlarmOptionsChooseWhatIsListedAndAutoDisplayOpensTheLists) {
    auto dlg = Make();
    ASSERT_FALSE(dlg->ListsShown());  // lists hidden by default, automatic display on
    dlg->findChild<QCheckBox*>("mdOption")->click();
    hub.Publish(Event(kEventMotionStart, unlinked, 1000));
    hub.Publish(Event(kEventInputStart, unlinked, 1001));
    Deliver();
    ASSERT_EQ(dlg->eventRows().rowCount(), 1);
    EXPECT_EQ(dlg->eventRows().rows().at(0).code, kEventInputStart);
    EXPECT_TRUE(dlg->ListsShown());
    EXPECT_EQ(LoadAlarmDialogOptions(ini).motion, 0);
}

TEST_F(AlarmWindowTest, AnActivatedReadingAsksForItsPictureWhichTheWindowKeeps) {
    auto dlg = Make();
    UIAlarmPictureWnd pictures(directory, nullptr);
    std::vector<AlarmEvent> asked;
    dlg->SetReadingActivatedHandler([&](const AlarmEvent& e) {
        asked.push_back(e);
        pictures.ShowReading(e.channelId, e.time);
    });
    std::vector<AlarmPicture> taken;
    for (uint32_t t = 1; t <= UIAlarmPictureWnd::kKept + 4; ++t) {
        AlarmPicture p;
        p.channelId = linked;
        p.time = t;
        p.text = "38.00";
        p.picture = "not a decodable picture";  // shown as missing, never a crash
        taken.push_back(p);
    }
    pictures.AddPictures(taken);
    EXPECT_EQ(pictures.count(), UIAlarmPictureWnd::kKept);
    ASSERT_NE(pictures.CurrentPicture(), nullptr);
    EXPECT_EQ(pictures.CurrentPicture()->time, UIAlarmPictureWnd::kKept + 4);
    EXPECT_FALSE(pictures.ShowReading(linked, 2));  // dropped with the oldest
    hub.Publish(Event(kEventTemperatureAbnormal, linked, 10, "38.00"));
    Deliver();
    dlg->ActivateRow(true, 0);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(pictures.CurrentPicture()->time, 10u);
    dlg->ActivateRow(true, 5);  // no such row
    dlg->ActivateRow(false, -1);
    EXPECT_EQ(asked.size(), 1u);
}

}  // namespace
}  // namespace ocv
