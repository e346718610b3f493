// Where the snapshot viewer finds pictures, and what it agrees to delete: folder and file names
// as the captures write them, both kinds of picture mixed by time, and deletes that stay inside
// the photo folders whatever path they are handed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "snapshots/snapshot_folders.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using namespace ocv;
using namespace ocv::snapshots;
using ocv::test::TempDir;
using ocv::test::WriteText;

namespace {

std::string MakePicture(const TempDir& root, const char* kind, const char* day, const char* channel,
                        const char* name, const std::string& bytes = "jpeg") {
    fs::path dir = fs::path(root.str()) / kind / day / channel;
    fs::create_directories(dir);
    WriteText((dir / name).string(), bytes);
    return (dir / name).string();
}

std::vector<std::string> Names(const SnapshotListing& listing) {
    std::vector<std::string> out;
    for (const SnapshotFile& f : listing.files) out.push_back(f.name);
    return out;
}

}  // namespace

TEST(SnapshotFolders, DayNamesRoundTripAndRejectEverythingElse) {
    SnapshotDay day;
    ASSERT_TRUE(ParseDayFolderName("2026_12_08", &day));
    EXPECT_EQ(day, (SnapshotDay{2026, 12, 8}));
    EXPECT_EQ(DayFolderName(day), "2026_12_08");
    EXPECT_TRUE(ParseDayFolderName("1970_01_01", &day));
    for (const char* bad : {"2026_13_01", "2026_00_10", "2026_01_32", "2026_01_00", "1969_12_31", "2026-12-08",
                            "2026_12_8", "2026_12_080", "abcd_12_08", "", "QVXPhoto"})
        EXPECT_FALSE(ParseDayFolderName(bad, &day)) << bad;
}

TEST(SnapshotFolders, ChannelFolderNamesAreThoseTheCapturesWrite) {
    const std::string name = ChannelFolderName("192.168.1.20", 8000, 3);
    ChannelFolder f = ParseChannelFolderName(name);
    EXPECT_EQ(f.host, "192.168.1.20");
    EXPECT_EQ(f.port, 8000);
    EXPECT_EQ(f.channelNumber, 3);
    EXPECT_EQ(f.name, name);
    // A host holding dashes still splits at the last two.
    f = ParseChannelFolderName("cam-north-1-37001-C16");
    EXPECT_EQ(f.host, "cam-north-1");
    EXPECT_EQ(f.port, 37001);
    EXPECT_EQ(f.channelNumber, 16);
    // Anything else keeps its name and has no channel.
    for (const char* odd : {"notes", "-8000-C1", "host--C1", "host-8000-C", "host-123456-C1", "host-80-C1234",
                            "host-80-Cx"}) {
        f = ParseChannelFolderName(odd);
        EXPECT_EQ(f.channelNumber, 0) << odd;
        EXPECT_EQ(f.name, odd);
    }
}

TEST(SnapshotFolders, DaysAndChannelsOfBothKindsAreMergedNewestDayFirst) {
    TempDir root;
    MakePicture(root, "QVXPhoto", "2026_12_01", "h-1-C1", "26120110000001.jpg");
    MakePicture(root, "QVXPhotoPB", "2026_12_03", "h-1-C2", "PB26120310000001.jpg");
    MakePicture(root, "QVXPhoto", "2026_12_03", "h-1-C1", "26120310000002.jpg");
    fs::create_directories(fs::path(root.str()) / "QVXPhoto" / "not_a_day");
    WriteText(root / "QVXPhoto/2026_12_02", "a file, not a day folder");

    std::vector<SnapshotDay> days = ListSnapshotDays(root.str());
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0], (SnapshotDay{2026, 12, 3}));
    EXPECT_EQ(days[1], (SnapshotDay{2026, 12, 1}));
    EXPECT_EQ(ListSnapshotDays(root.str(), 1).size(), 1u);

    std::vector<ChannelFolder> folders = ListChannelFolders(root.str(), days[0]);
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0].name, "h-1-C1");
    EXPECT_EQ(folders[1].name, "h-1-C2");

    EXPECT_TRUE(ListSnapshotDays("").empty());
    EXPECT_TRUE(ListSnapshotDays(root / "missing").empty());
    EXPECT_TRUE(ListChannelFolders(root.str(), SnapshotDay{}).empty());
}

TEST(SnapshotFolders, PicturesAreListedInTimeOrderAcrossKindsAndChannels) {
    TempDir root;
    const char* day = "2026_12_08";
    MakePicture(root, "QVXPhoto", day, "h-1-C1", "26120812000003.jpg");
    MakePicture(root, "QVXPhotoPB", day, "h-1-C1", "PB26120809051001.bmp");
    MakePicture(root, "QVXPhoto", day, "h-1-C2", "26120823595904.JPG");
    MakePicture(root, "QVXPhoto", day, "h-1-C2", "holiday.jpg");      // no time: last
    MakePicture(root, "QVXPhoto", day, "h-1-C2", "26120825000000.jpg");  // hour 25: no time
    MakePicture(root, "QVXPhoto", day, "h-1-C2", "readme.txt");        // not a picture
    MakePicture(root, "QVXPhoto", day, "h-1-C2", ".jpg");              // only an extension

    SnapshotListing all = ListSnapshotFiles(root.str(), {2026, 12, 8}, "");
    EXPECT_FALSE(all.truncated);
    EXPECT_EQ(Names(all), (std::vector<std::string>{"PB26120809051001.bmp", "26120812000003.jpg",
                                                    "26120823595904.JPG", "26120825000000.jpg", "holiday.jpg"}));
    EXPECT_EQ(all.files[0].kind, backup::SnapshotKind::kPlayback);
    EXPECT_EQ(all.files[0].hour, 9);
    EXPECT_EQ(all.files[0].minute, 5);
    EXPECT_EQ(all.files[0].second, 10);
    EXPECT_EQ(all.files[0].bytes, 4u);
    EXPECT_EQ(all.files[1].kind, backup::SnapshotKind::kLive);
    EXPECT_EQ(all.files[3].hour, -1);

    SnapshotListing one = ListSnapshotFiles(root.str(), {2026, 12, 8}, "h-1-C1");
    EXPECT_EQ(one.files.size(), 2u);
    for (const SnapshotFile& f : one.files) EXPECT_EQ(f.channelFolder, "h-1-C1");

    SnapshotListing capped = ListSnapshotFiles(root.str(), {2026, 12, 8}, "", 2);
    EXPECT_TRUE(capped.truncated);
    EXPECT_EQ(capped.files.size(), 2u);
}

TEST(SnapshotFolders, LinksAreNeitherListedNorFollowed) {
    TempDir root, outside;
    WriteText(outside / "secret.jpg", "x");
    fs::create_directories(outside / "2026_12_08/h-1-C1");
    const std::string real = MakePicture(root, "QVXPhoto", "2026_12_08", "h-1-C1", "26120810000001.jpg");
    fs::create_symlink(outside / "secret.jpg", fs::path(real).parent_path() / "26120811000002.jpg");
    fs::create_directory_symlink(outside / "2026_12_08/h-1-C1", fs::path(real).parent_path().parent_path() / "h-2-C1");

    SnapshotListing listing = ListSnapshotFiles(root.str(), {2026, 12, 8}, "");
    EXPECT_EQ(Names(listing), (std::vector<std::string>{"26120810000001.jpg"}));
    EXPECT_EQ(ListChannelFolders(root.str(), {2026, 12, 8}).size(), 1u);
}

TEST(SnapshotFolders, DeleteRemovesOnlyAListedPictureInsideTheRoot) {
    TempDir root, outside;
    const std::string picture = MakePicture(root, "QVXPhoto", "2026_12_08", "h-1-C1", "26120810000001.jpg");
    const std::string playback = MakePicture(root, "QVXPhotoPB", "2026_12_08", "h-1-C1", "PB26120810000001.bmp");
    const std::string note = MakePicture(root, "QVXPhoto", "2026_12_08", "h-1-C1", "notes.txt");
    const std::string shallow = (fs::path(root.str()) / "QVXPhoto" / "2026_12_08" / "x.jpg").string();
    WriteText(shallow, "x");
    WriteText(outside / "victim.jpg", "x");
    const std::string link = (fs::path(picture).parent_path() / "26120811000002.jpg").string();
    fs::create_symlink(outside / "victim.jpg", link);
    // A channel folder that is a link out of the root.
    fs::create_directories(outside / "elsewhere");
    WriteText(outside / "elsewhere/26120812000003.jpg", "x");
    fs::create_directory_symlink(outside / "elsewhere", fs::path(root.str()) / "QVXPhoto/2026_12_08/h-9-C1");

    EXPECT_EQ(DeleteSnapshot(root.str(), note), -1);                          // not a picture
    EXPECT_EQ(DeleteSnapshot(root.str(), shallow), -1);                       // not in a channel folder
    EXPECT_EQ(DeleteSnapshot(root.str(), link), -1);                          // a link
    EXPECT_EQ(DeleteSnapshot(root.str(), root / "QVXPhoto/2026_12_08/h-9-C1/26120812000003.jpg"), -1);
    EXPECT_EQ(DeleteSnapshot(root.str(), outside / "victim.jpg"), -1);        // outside
    EXPECT_EQ(DeleteSnapshot(root.str(), root / "QVXPhoto/2026_12_08/h-1-C1/../../../../victim.jpg"), -1);
    EXPECT_EQ(DeleteSnapshot(root.str(), root / "QVXPhoto/2026_12_08/h-1-C1/missing.jpg"), -1);
    EXPECT_EQ(DeleteSnapshot("", picture), -1);
    EXPECT_TRUE(fs::exists(note));
    EXPECT_TRUE(fs::exists(shallow));
    EXPECT_TRUE(fs::exists(outside / "victim.jpg"));
    EXPECT_TRUE(fs::exists(outside / "elsewhere/26120812000003.jpg"));

    EXPECT_EQ(DeleteSnapshot(root.str(), picture), 0);
    EXPECT_EQ(DeleteSnapshot(root.str() + "/", playback), 0);
    EXPECT_FALSE(fs::exists(picture));
    EXPECT_FALSE(fs::exists(playback));
}
