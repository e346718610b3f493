#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "backup/player_picture_grabber.h"
#include "backup/snapshot.h"
#include "platform/app_dir.h"
#include "player/player_statistics.h"
#include "player/qvx_player.h"
#include "tests/player/test_clip.h"
#include "tests/support/temp_dir.h"

namespace ocv::backup {
namespace {

using test::ReadText;
using test::TempDir;

// Hands out numbered fake pictures and remembers what it was asked for.
class FakeGrabber : public PictureGrabber {
public:
    int result = 0;
    int calls = 0;
    bool lastBitmap = false;
    int lastQuality = 0;
    int Grab(bool bitmap, int quality, std::string* bytes) override {
        ++calls;
        lastBitmap = bitmap;
        lastQuality = quality;
        if (result != 0) return result;
        *bytes = "picture " + std::to_string(calls);
        return 0;
    }
};

class SnapshotTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string savedAppDir = AppDir();
    SystemSettings settings{};
    FakeGrabber grabber;

    void SetUp() override {
        SetAppDir(dir.str());
        test::WriteText(dir / "config.ini", "[DRIVES]\nD=" + (dir / "d") + "\n");
        SetClockForTesting(2020, 7, 8, 10, 15, 0);
        ResetSnapshotSequenceForTesting();
        strcpy(settings.PHOTOPATH, "D:\\pics");
    }
    void TearDown() override {
        SetClockSourceForTesting(nullptr);
        SetAppDir(savedAppDir);
    }
    std::string LiveFolder() const { return dir / "d/pics/QVXPhoto/2020_07_08/cam01-5000-C1"; }
};

TEST_F(SnapshotTest, LiveSnapshotGainsTheBackslashAndLandsInTheDatedChannelFolder) {
    std::string path;
    ASSERT_EQ(CaptureLive(settings, "cam01", 5000, 1, grabber, &path), 0);
    EXPECT_STREQ(settings.PHOTOPATH, "D:\\pics\\");
    EXPECT_EQ(path, LiveFolder() + "/20070810150000.jpg");
    EXPECT_EQ(ReadText(path), "picture 1");
    EXPECT_FALSE(grabber.lastBitmap);
    EXPECT_EQ(grabber.lastQuality, 100);
    // A second capture keeps the single backslash.
    ASSERT_EQ(CaptureLive(settings, "cam01", 5000, 1, grabber, &path), 0);
    EXPECT_STREQ(settings.PHOTOPATH, "D:\\pics\\");
    EXPECT_EQ(path, LiveFolder() + "/20070810150001.jpg");
}

TEST_F(SnapshotTest, HundredAndOneSnapshotsInOneSecondWrapToZeroAndReplaceTheFirst) {
    for (int i = 0; i < 101; ++i) ASSERT_EQ(CaptureLive(settings, "cam01", 5000, 1, grabber), 0);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(LiveFolder())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 100u);
    EXPECT_EQ(ReadText(LiveFolder() + "/20070810150000.jpg"), "picture 101");
    EXPECT_EQ(ReadText(LiveFolder() + "/20070810150099.jpg"), "picture 100");
}

TEST_F(SnapshotTest, PlaybackCaptureAndBitmapTypeShareTheRules) {
    settings.PHOTOTYPE = 2;
    std::string path;
    ASSERT_EQ(CapturePlayback(settings, "a/b", 8000, 12, grabber, &path), 0);
    EXPECT_TRUE(grabber.lastBitmap);
    // A separator in a host never opens a folder of its own.
    EXPECT_EQ(path, dir / "d/pics/QVXPhotoPB/2020_07_08/a_b-8000-C12/PB20070810150000.bmp");
    EXPECT_EQ(SnapshotFolder(SnapshotKind::kPlayback, "D:\\pics\\", clockSnapshot(), "a/b", 8000, 12),
              "D:\\pics\\QVXPhotoPB\\2020_07_08\\a_b-8000-C12\\");
}

TEST_F(SnapshotTest, MissingPreconditionsAndFailedGrabsWriteNothing) {
    EXPECT_EQ(CaptureLive(settings, "", 5000, 1, grabber), -1);
    EXPECT_STREQ(settings.PHOTOPATH, "D:\\pics");  // refused before the setting is touched
    EXPECT_EQ(grabber.calls, 0);
    settings.PHOTOPATH[0] = '\0';
    EXPECT_EQ(CaptureLive(settings, "cam01", 5000, 1, grabber), -1);
    memset(settings.PHOTOPATH, 'x', kPathBytes - 1);  // full: no room for the backslash
    settings.PHOTOPATH[kPathBytes - 1] = '\0';
    EXPECT_EQ(CaptureLive(settings, "cam01", 5000, 1, grabber), -1);
    strcpy(settings.PHOTOPATH, "Q:\\pics");  // an unmapped drive
    EXPECT_EQ(CaptureLive(settings, "cam01", 5000, 1, grabber), -1);
    EXPECT_EQ(grabber.calls, 0);

    strcpy(settings.PHOTOPATH, "D:\\pics");
    grabber.result = -2;  // the player has no picture yet
    EXPECT_EQ(CaptureLive(settings, "cam01", 5000, 1, grabber), -2);
    EXPECT_TRUE(std::filesystem::is_empty(LiveFolder()));
    grabber.result = 0;
    std::string path;
    ASSERT_EQ(CaptureLive(settings, "cam01", 5000, 1, grabber, &path), 0);
    // The unmapped drive and the failed grab each used a number, as the name comes first.
    EXPECT_EQ(path, LiveFolder() + "/20070810150002.jpg");
}

TEST_F(SnapshotTest, PlayerGrabberHandsOnTheDecodedPictureAsJpegOrBitmap) {
    int port = 0;
    ASSERT_EQ(QVXPlay_InitV2(&port, 200), 0);
    PlayerPictureGrabber player(port);
    std::string path;
    EXPECT_EQ(CaptureLive(settings, "cam01", 5000, 1, player, &path), -2);  // nothing decoded
    EXPECT_TRUE(std::filesystem::is_empty(LiveFolder()));

    static const auto clip = test::MakeH264Clip(64, 48, 3, 10);
    StreamInfo info = test::MakeStreamInfo(64, 48);
    ASSERT_EQ(QVXPlay_OpenStream(port, &info, sizeof info), 0);
    ASSERT_EQ(QVXPlay_SetDrawEnable(port, 0), 0);
    ASSERT_EQ(QVXPlay_Play(port), 0);
    for (size_t i = 0; i < clip.size(); ++i) {
        auto rec = test::MakeVideoRecord(clip[i], static_cast<uint32_t>(i) * 40);
        ASSERT_EQ(QVXPlay_InputVideoData(port, rec.data(), static_cast<int>(rec.size())), 0);
    }
    ASSERT_TRUE(test::WaitFor([&] {
        player::PortStatistics st;
        return player::GetPortStatistics(port, &st) == 0 && st.decodedPictures >= 1;
    }));
    ASSERT_EQ(CaptureLive(settings, "cam01", 5000, 1, player, &path), 0);
    EXPECT_EQ(ReadText(path).substr(0, 2), "\xFF\xD8");  // a JPEG
    settings.PHOTOTYPE = 1;
    ASSERT_EQ(CaptureLive(settings, "cam01", 5000, 1, player, &path), 0);
    std::string bmp = ReadText(path);
    EXPECT_EQ(path.substr(path.size() - 4), ".bmp");
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(bmp.size(), 54u + 64 * 3 * 48);
    QVXPlay_DeInit(port);
    EXPECT_EQ(player.Grab(false, 100, &path), -1);  // the port is gone
}

}  // namespace
}  // namespace ocv::backup
