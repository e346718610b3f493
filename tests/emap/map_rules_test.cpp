// The map page's rules without a window: the pending map alarms, where items may stand and which
// picture files are the page's own.
#include <gtest/gtest.h>

#include "emap/map_rules.h"
#include "platform/app_dir.h"

namespace ocv {
namespace {

TEST(MapAlarmBoardTest, AChannelFlashesFromItsFirstAlarmUntilAcknowledged) {
    MapAlarmBoard board;
    EXPECT_FALSE(board.Flashing(5));
    EXPECT_TRUE(board.Raise(5, 0, 100));
    EXPECT_FALSE(board.Raise(5, 1, 200));  // a repeat keeps the first alarm's time and kind
    EXPECT_TRUE(board.Raise(9, 3, 150));
    ASSERT_EQ(board.pending().size(), 2u);
    EXPECT_EQ(board.pending()[0].time, 100u);
    EXPECT_EQ(board.pending()[0].type, 0);
    EXPECT_TRUE(board.Flashing(5));
    EXPECT_TRUE(board.Acknowledge(5));
    EXPECT_FALSE(board.Acknowledge(5));
    EXPECT_FALSE(board.Flashing(5));
    EXPECT_TRUE(board.Flashing(9));
    // After the acknowledgement a new alarm flashes again.
    EXPECT_TRUE(board.Raise(5, 1, 300));
    board.AcknowledgeAll();
    EXPECT_TRUE(board.pending().empty());
    EXPECT_STREQ(MapAlarmTypeName(3), "Audio alarm occurs");
    EXPECT_STREQ(MapAlarmTypeName(7), "Unkown");
}

TEST(MapRulesTest, ItemsStayOnTheirPictureAndWithinSixteenBits) {
    int x = -5, y = 900;
    ClampItemPosition(&x, &y, 800, 600);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 599);
    x = 799;
    y = 0;
    ClampItemPosition(&x, &y, 800, 600);
    EXPECT_EQ(x, 799);
    EXPECT_EQ(y, 0);
    x = 70000;
    y = -70000;
    ClampItemPosition(&x, &y, 0, 0);  // picture not known yet
    EXPECT_EQ(x, kMaxMapPictureSide - 1);
    EXPECT_EQ(y, 0);
    x = 20000;
    ClampItemPosition(&x, &y, 30000, 30000);  // a picture over the limit never lifts it
    EXPECT_EQ(x, kMaxMapPictureSide - 1);
}

TEST(MapRulesTest, OnlyCopiesInTheMapFolderAreThePagesOwn) {
    SetAppDir("/opt/ocv");
    ClockSnapshot now{};
    now.year = 2020;
    now.month = 7;
    now.day = 8;
    now.hour = 9;
    now.minute = 5;
    now.second = 3;
    const std::string name = NewMapPictureName(now, 12, "png");
    EXPECT_EQ(name, "map-20200708090503-12.png");
    EXPECT_TRUE(IsOwnMapPicture(MapPictureFolder() + "/" + name));
    EXPECT_EQ(MapPictureFolder(), "/opt/ocv/EMap");
    EXPECT_FALSE(IsOwnMapPicture("/home/op/Pictures/" + name));  // the operator's file
    EXPECT_FALSE(IsOwnMapPicture(MapPictureFolder() + "/plan.png"));
    EXPECT_FALSE(IsOwnMapPicture(MapPictureFolder() + "/map-x/../../../etc/passwd"));
    EXPECT_FALSE(IsOwnMapPicture(MapPictureFolder() + "/map-..png"));
    EXPECT_FALSE(IsOwnMapPicture(""));
    SetAppDir("");
}

TEST(MapRulesTest, MapsShowingAChannelAreFoundOnceEachInListOrder) {
    std::vector<MapInfo> maps(3);
    maps[0].id = 1;
    maps[1].id = 2;
    maps[2].id = 3;
    MapItem cam{};
    cam.type = kMapItemChannel;
    cam.deviceIndex = 4;
    cam.channelIndex = 2;
    MapItem link{};
    link.type = kMapItemLink;
    link.deviceIndex = 4;  // a link never shows a channel, whatever its indices say
    link.channelIndex = 2;
    maps[0].items = {link};
    maps[1].items = {cam, cam};
    maps[2].items = {cam};
    EXPECT_EQ(MapsShowingChannel(maps, 4, 2), (std::vector<int>{2, 3}));
    EXPECT_TRUE(MapsShowingChannel(maps, 4, 3).empty());
}

}  // namespace
}  // namespace ocv
