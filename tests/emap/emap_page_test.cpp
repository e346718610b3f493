// The map page on the offscreen platform: pictures copied in, items placed and moved and kept
// through the store, map alarms of the alarm engine flashing on their items until acknowledged,
// and the Map right.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <filesystem>

#include "base/clock.h"
#include "device/channel_directory.h"
#include "emap/emap_dlg.h"
#include "emap/map_picture.h"
#include "emap/map_view.h"
#include "events/alarm_engine.h"
#include "events/alarm_sound.h"
#include "events/log_search.h"
#include "events/log_writer.h"
#include "platform/app_dir.h"
#include "store/relaxed.h"
#include "tests/store/store_fixture.h"
#include "widgets/event_bridge.h"
#include "widgets/message_box.h"
#include "widgets/user_session.h"

namespace ocv {
namespace {

namespace fs = std::filesystem;

void SavePicture(const std::string& path, int w, int h, const char* format) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    ASSERT_TRUE(image.save(QString::fromStdString(path), format));
}

TEST(MapPictureTest, APngOrJpegIsCopiedInAndAnythingElseRefused) {
    test::TempDir dir;
    const std::string folder = dir / "EMap";
    ClockSnapshot now{};
    now.year = 2020;
    now.month = 7;
    now.day = 8;
    SavePicture(dir / "plan.png", 320, 200, "PNG");
    SavePicture(dir / "floor.jpeg", 64, 48, "JPEG");
    MapPictureImport png = ImportMapPicture(dir / "plan.png", folder, now, 1);
    ASSERT_EQ(png.rc, 0) << (png.error ? png.error : "");
    EXPECT_EQ(png.width, 320);
    EXPECT_EQ(png.height, 200);
    EXPECT_EQ(png.path, folder + "/map-20200708000000-1.png");
    EXPECT_EQ(fs::file_size(png.path), fs::file_size(dir / "plan.png"));
    EXPECT_FALSE(LoadMapPicture(png.path).isNull());
    MapPictureImport jpeg = ImportMapPicture(dir / "floor.jpeg", folder, now, 2);
    ASSERT_EQ(jpeg.rc, 0);
    EXPECT_EQ(fs::path(jpeg.path).extension(), ".jpg");
    // A text file called .png, a truncated PNG, a BMP, a folder, nothing at all.
    test::WriteText(dir / "fake.png", "not a picture");
    std::string bytes = test::ReadText(dir / "plan.png");
    test::WriteText(dir / "cut.png", bytes.substr(0, bytes.size() / 3));
    SavePicture(dir / "plan.bmp", 10, 10, "BMP");
    for (const std::string& bad : {dir / "fake.png", dir / "cut.png", dir / "plan.bmp", dir.str(), dir / "none.png"}) {
        MapPictureImport r = ImportMapPicture(bad, folder, now, 3);
        EXPECT_EQ(r.rc, -1) << bad;
        EXPECT_NE(r.error, nullptr);
        EXPECT_TRUE(LoadMapPicture(bad).isNull());
    }
    // Nothing half-copied was left behind by the refusals.
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(folder)) files += e.is_regular_file();
    EXPECT_EQ(files, 2u);
}

class SilentPlayer : public WavPlayer {
public:
    void PlayBlocking(const std::string&) override {}
    void PlayAsync(const std::string&) override {}
};

class EmapPageTest : public test::StoreTest {
protected:
    test::TempDir app;
    test::TempDir logs;
    LogWriter log{logs.str()};
    RuntimeTable runtime;
    CoreEventHub hub;
    EventBridge bridge{hub};
    std::unique_ptr<StoreChannelDirectory> directory;
    std::vector<QString> messages;
    std::vector<std::pair<int, int>> opened;
    int openResult = 0;
    int dev = -1;

    void SetUp() override {
        test::StoreTest::SetUp();
        SetAppDir(app.str());
        store_.LoadAll();
        dev = AddDevice("cam01", 5000, 4);
        ASSERT_GE(dev, 0);
        directory = std::make_unique<StoreChannelDirectory>(store_, runtime);
        SetMessageHookForTesting([this](const QString& text, int) {
            messages.push_back(text);
            return true;
        });
        LogIn(kAllRights);
        SavePicture(app / "plan.png", 800, 600, "PNG");
        SavePicture(app / "hall.png", 400, 300, "PNG");
    }
    void TearDown() override {
        SetMessageHookForTesting(nullptr);
        CurrentSession().Clear();
        SetAppDir("");
    }
    void LogIn(int32_t rights) {
        UserInfo u{};
        u.id = 1;
        u.level = rights == kAllRights ? kLevelAdministrator : kLevelViewUser;
        u.option = rights;
        CopyText(u.userName, "admin");
        CurrentSession().LogIn(u, clockSnapshot());
    }
    std::unique_ptr<UIEmapDlg> Make() {
        auto dlg = std::make_unique<UIEmapDlg>(
            store_, log, *directory, bridge,
            [this](int device, int channel) {
                opened.emplace_back(device, channel);
                return openResult;
            },
            nullptr);
        dlg->WaitForPictures();
        return dlg;
    }
    int AddMap(UIEmapDlg& dlg, const char* name, const std::string& picture) {
        size_t before = store_.maps().size();
        EXPECT_TRUE(dlg.AddMapFromFile(name, QString::fromStdString(picture)));
        dlg.WaitForPictures();
        EXPECT_EQ(store_.maps().size(), before + 1);
        return store_.maps().back().id;
    }
    const MapItem* ItemOn(const ConfigStore& s, int mapId, int type, int key) const {
        for (const MapInfo& m : s.maps())
            if (m.id == mapId)
                for (const MapItem& i : m.items)
                    if (i.type == type && (type == kMapItemChannel ? i.channelIndex : i.url) == key) return &i;
        return nullptr;
    }
};

TEST_F(EmapPageTest, AMapWithItemsAndLinksRoundTripsThroughTheStore) {
    auto dlg = Make();
    const int plan = AddMap(*dlg, "Plan", app / "plan.png");
    const int hall = AddMap(*dlg, "Hall", app / "hall.png");
    // The picture was copied into the application directory; the operator's file stays theirs.
    const std::string planPath = store_.maps()[store_.maps().size() - 2].path;
    EXPECT_TRUE(IsOwnMapPicture(planPath));
    EXPECT_TRUE(fs::exists(planPath));
    dlg->ShowMap(plan);
    dlg->WaitForPictures();
    EXPECT_EQ(dlg->CurrentMap(), plan);
    ASSERT_EQ(dlg->PlaceChannel(dev, 1, QPointF(120.6, 80.2)), 0);
    ASSERT_EQ(dlg->PlaceChannel(dev, 2, QPointF(5000, -20)), 0);  // dropped off the picture: kept on it
    ASSERT_EQ(dlg->PlaceLink(hall, QPointF(700, 500)), 0);
    // The same camera or the same link twice is refused with its message; a link to itself too.
    EXPECT_EQ(dlg->PlaceChannel(dev, 1, QPointF(10, 10)), -2);
    EXPECT_EQ(messages.back(), "The camera is on this map already");
    EXPECT_EQ(dlg->PlaceLink(hall, QPointF(10, 10)), -2);
    EXPECT_EQ(messages.back(), "The link is on this map already");
    EXPECT_EQ(dlg->PlaceLink(plan, QPointF(10, 10)), -1);
    EXPECT_EQ(messages.back(), "A map cannot link to itself");
    const int camItem = ItemOn(store_, plan, kMapItemChannel, 1)->itemId;
    ASSERT_EQ(dlg->MoveItem(camItem, QPointF(300, 200)), 0);
    ASSERT_EQ(dlg->SetItemColour(camItem, 3), 0);
    EXPECT_EQ(dlg->SetItemColour(camItem, kItemColourCount), -1);
    ASSERT_NE(dlg->ItemGraphic(camItem), nullptr);

    auto again = Reload();
    const MapItem* cam = ItemOn(*again, plan, kMapItemChannel, 1);
    ASSERT_NE(cam, nullptr);
    EXPECT_EQ(cam->x, 300);
    EXPECT_EQ(cam->y, 200);
    EXPECT_EQ(cam->color, 3);
    EXPECT_EQ(cam->deviceIndex, dev);
    const MapItem* edge = ItemOn(*again, plan, kMapItemChannel, 2);
    ASSERT_NE(edge, nullptr);
    EXPECT_EQ(edge->x, 799);
    EXPECT_EQ(edge->y, 0);
    const MapItem* link = ItemOn(*again, plan, kMapItemLink, hall);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->x, 700);
    // The link opens the other map.
    dlg->ActivateItem(ItemOn(store_, plan, kMapItemLink, hall)->itemId);
    EXPECT_EQ(dlg->CurrentMap(), hall);
    // Deleting the other map takes the link with it and its copied picture.
    const std::string hallPath = store_.maps().back().path;
    ASSERT_TRUE(dlg->DeleteMapNow(hall));
    EXPECT_FALSE(fs::exists(hallPath));
    EXPECT_EQ(ItemOn(*Reload(), plan, kMapItemLink, hall), nullptr);
    // Adding, changing and deleting maps are in the operation log.
    LogQuery q;
    q.logType = kLogOperate;
    q.subtypeEntry = 4;
    q.startTime = 0;
    q.endTime = INT32_MAX;
    std::vector<LogRecord> records;
    ASSERT_EQ(SearchLogs(logs.str(), q, &records), 0);
    EXPECT_GE(records.size(), 5u);
}

TEST_F(EmapPageTest, AnAlarmFlashesOnlyOnArmedChannelsUntilItsVideoIsOpened) {
    SilentPlayer silent;
    AlarmSoundPlayer sounds(&silent, "/nowhere", nullptr);
    SetRelaxed(store_.MutableSettingsForTesting().ALARMLEN, 10);
    SetRelaxed(store_.MutableSettingsForTesting().ARMFLAG, 1);
    AlarmEngine engine(store_, runtime, log, &sounds, [] { return 1; }, &hub);
    for (int c = 0; c < 2; ++c) {
        ChannelInfo& info = store_.device(dev).channels[c];
        info.alarmMd = kLinkMap;
        info.armAlarm = c == 0 ? 1 : 0;  // channel 2 is not armed
        for (uint32_t& w : info.armSchedule) w = 0xFFFFFF;
        runtime.channel(dev, c).connectState = kStreamOpen;
        engine.HoldPass(dev, c);
    }
    auto dlg = Make();
    const int plan = AddMap(*dlg, "Plan", app / "plan.png");
    dlg->ShowMap(plan);
    ASSERT_EQ(dlg->PlaceChannel(dev, 0, QPointF(10, 10)), 0);
    ASSERT_EQ(dlg->PlaceChannel(dev, 1, QPointF(50, 10)), 0);
    const int armedItem = ItemOn(store_, plan, kMapItemChannel, 0)->itemId;
    const int unarmedItem = ItemOn(store_, plan, kMapItemChannel, 1)->itemId;

    ASSERT_EQ(engine.OnDeviceAlarm(dev, 1, 0, nullptr, 0), 0);
    ASSERT_EQ(engine.OnDeviceAlarm(dev, 0, 0, nullptr, 0), 0);
    bridge.DeliverPending();
    EXPECT_TRUE(dlg->ItemGraphic(armedItem)->Flashing());
    EXPECT_FALSE(dlg->ItemGraphic(unarmedItem)->Flashing());
    EXPECT_FALSE(dlg->alarms().Flashing(ChannelIdOf(dev, 1)));
    EXPECT_EQ(dlg->alarmList()->count(), 1);
    // The map shown again later still flashes the pending alarm.
    dlg->ShowMap(-1);
    dlg->ShowMap(plan);
    EXPECT_TRUE(dlg->ItemGraphic(armedItem)->Flashing());

    // A double-click opens the live video and acknowledges; the live view's refusal is told.
    dlg->ActivateItem(armedItem);
    EXPECT_EQ(opened, (std::vector<std::pair<int, int>>{{dev, 0}}));
    EXPECT_FALSE(dlg->ItemGraphic(armedItem)->Flashing());
    EXPECT_EQ(dlg->alarmList()->count(), 0);
    openResult = -1;
    dlg->ActivateItem(unarmedItem);
    EXPECT_EQ(opened.size(), 2u);
}

TEST_F(EmapPageTest, WithoutTheMapRightNothingChanges) {
    auto dlg = Make();
    const int plan = AddMap(*dlg, "Plan", app / "plan.png");
    dlg->ShowMap(plan);
    ASSERT_EQ(dlg->PlaceChannel(dev, 0, QPointF(10, 10)), 0);
    const int item = ItemOn(store_, plan, kMapItemChannel, 0)->itemId;
    LogIn(kViewUserRights & ~(1 << kRightMap));
    messages.clear();
    EXPECT_EQ(dlg->PlaceChannel(dev, 1, QPointF(10, 10)), -1);
    EXPECT_EQ(dlg->MoveItem(item, QPointF(99, 99)), -1);
    EXPECT_EQ(dlg->DeleteItem(item), -1);
    EXPECT_FALSE(dlg->DeleteMapNow(plan));
    EXPECT_FALSE(dlg->AddMapFromFile("Other", QString::fromStdString(app / "hall.png")));
    ASSERT_FALSE(messages.empty());
    for (const QString& m : messages) EXPECT_EQ(m, "Insufficient permissions to operate!");
    auto again = Reload();
    ASSERT_EQ(again->maps().size(), 1u);
    ASSERT_EQ(again->maps()[0].items.size(), 1u);
    EXPECT_EQ(again->maps()[0].items[0].x, 10);
    // Opening a camera's video needs no map right (the live view checks its own).
    dlg->ActivateItem(item);
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(EmapPageTest, AnUnreadablePictureOrANameTooLongIsToldAndAddsNoMap) {
    auto dlg = Make();
    test::WriteText(app / "fake.png", "text");
    EXPECT_TRUE(dlg->AddMapFromFile("Bad", QString::fromStdString(app / "fake.png")));
    dlg->WaitForPictures();
    EXPECT_TRUE(store_.maps().empty());
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "The picture must be a PNG or JPEG file");
    EXPECT_FALSE(dlg->AddMapFromFile(QString(40, 'n'), QString::fromStdString(app / "plan.png")));
    EXPECT_EQ(messages.back(), "The map name is too long!");
    EXPECT_FALSE(dlg->AddMapFromFile("   ", QString::fromStdString(app / "plan.png")));
    EXPECT_EQ(messages.back(), "Please enter the map name");
    // A map whose picture went missing still shows its items on a plain area.
    const int plan = AddMap(*dlg, "Plan", app / "plan.png");
    fs::remove(store_.maps().back().path);
    dlg->ShowMap(-1);
    dlg->ShowMap(plan);
    dlg->WaitForPictures();
    EXPECT_EQ(dlg->PlaceChannel(dev, 0, QPointF(1000, 10)), 0);
    EXPECT_EQ(ItemOn(store_, plan, kMapItemChannel, 0)->x, 1000);
}

}  // namespace
}  // namespace ocv
