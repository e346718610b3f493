// End to end: a player port bound to a cell of the screen panel decodes an H.264 stream and
// the cell paints pictures made for its own size.
#include <gtest/gtest.h>

#include "videogrid/screen_pannel.h"
#include "videogrid/screen_wnd.h"
#include "videogrid/video_wnd.h"
#include "player/qvx_player.h"
#include "base/port_slots.h"
#include "tests/videogrid/widget_test_support.h"
#include "tests/player/test_clip.h"

namespace ocv {
namespace {

using test::MessageLog;
using test::PumpUntil;

class PlayerToCellTest : public ::testing::Test {
protected:
    void SetUp() override {
        portNumber_ = TakePort();
        ASSERT_GE(portNumber_, 0);
        ASSERT_EQ(QVXPlay_InitV2(&port_, portNumber_), 0);
    }
    void TearDown() override {
        EXPECT_EQ(QVXPlay_DeInit(port_), 0);
        ReleasePort(portNumber_);
    }
    void Feed(const std::vector<test::EncodedPicture>& clip) {
        uint32_t timestampMs = 0;
        for (const auto& picture : clip) {
            auto record = test::MakeVideoRecord(picture, timestampMs);
            timestampMs += 40;
            ASSERT_EQ(QVXPlay_InputVideoData(port_, record.data(), static_cast<int>(record.size())), 0);
        }
    }
    int port_ = 0;
    int portNumber_ = -1;
};

TEST_F(PlayerToCellTest, CellPaintsDecodedPicturesOfItsOwnSize) {
    MessageLog page;
    page.resize(641, 481);
    UIScreenPannel panel(&page, {}, &page);
    panel.setGeometry(0, 0, 641, 481);
    panel.SetSplitMode(4);
    page.show();
    UIScreenWnd* cell = panel.Cell(1);
    cell->SetChannelName("Gate");
    const QSize videoSize = cell->VideoWindow()->size();
    ASSERT_EQ(videoSize, QSize(320 - 1 - 2, 240 - 20 - 2));

    ASSERT_EQ(QVXPlay_SetDrawWnd(port_, panel.VideoSurfaceOf(1)), 0);
    StreamInfo info = test::MakeStreamInfo(352, 288);
    ASSERT_EQ(QVXPlay_OpenStream(port_, &info, sizeof info), 0);
    ASSERT_EQ(QVXPlay_Play(port_), 0);
    const auto clip = test::MakeH264Clip(96, 64, 12, 6);
    Feed(clip);

    ASSERT_TRUE(PumpUntil([&] { return panel.PaintedPictures(1) >= 1; }, 10000));
    auto picture = cell->VideoWindow()->PictureArea()->LastPicture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->surfaceWidth, videoSize.width());
    EXPECT_EQ(picture->surfaceHeight, videoSize.height());
    EXPECT_EQ(picture->sourceWidth, 96);
    EXPECT_LE(picture->x + picture->width, videoSize.width());
    EXPECT_LE(picture->y + picture->height, videoSize.height());
    EXPECT_EQ(panel.PaintedPictures(0), 0u);

    // What the cell shows is the decoded picture, not its empty background.
    const QImage shot = cell->VideoWindow()->grab().toImage();
    int nonBackground = 0;
    for (int y = 0; y < shot.height(); y += 7)
        for (int x = 0; x < shot.width(); x += 7)
            nonBackground += (shot.pixel(x, y) | 0xFF000000u) != 0xFF000000u;
    EXPECT_GT(nonBackground, 100);

    // A resized cell receives pictures made for its new size.
    panel.SetSplitMode(1);
    const QSize bigger = panel.Cell(0)->VideoWindow()->size();
    ASSERT_EQ(QVXPlay_SetDrawWnd(port_, panel.VideoSurfaceOf(0)), 0);
    Feed(clip);
    ASSERT_TRUE(PumpUntil([&] { return panel.PaintedPictures(0) >= 1; }, 10000));
    picture = panel.Cell(0)->VideoWindow()->PictureArea()->LastPicture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->surfaceWidth, bigger.width());
    EXPECT_EQ(picture->surfaceHeight, bigger.height());

    // The rule of the surfaces: unbind before the window goes.
    EXPECT_EQ(QVXPlay_SetDrawWnd(port_, nullptr), 0);
}

}  // namespace
}  // namespace ocv
