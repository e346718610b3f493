#include "platform/drives.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/app_dir.h"
#include "tests/support/temp_dir.h"

namespace ocv::drives {
namespace {

using test::TempDir;
using test::WriteText;

class DrivesTest : public ::testing::Test {
protected:
    TempDir app;
    std::string savedAppDir = AppDir();
    void SetUp() override { SetAppDir(app.str()); }
    void TearDown() override {
        SetAppDir(savedAppDir);
        SetMountTableForTesting("");
    }
};

TEST_F(DrivesTest, WithoutSectionCAndDMapIntoAppDirAndAreCreated) {
    EXPECT_EQ(DriveDirectory('D'), app / "storage/D");
    EXPECT_TRUE(std::filesystem::is_directory(app / "storage/D"));
    EXPECT_EQ(DriveDirectory('c'), app / "storage/C");
    EXPECT_EQ(DriveDirectory('E'), "");
    EXPECT_EQ(GetDriveType('E'), DriveType::kNoRootDir);
    EXPECT_EQ(DriveDirectory('B'), "");  // outside C..Z
    EXPECT_EQ(DriveDirectory('Z' + 1), "");
    EXPECT_TRUE(IsUsableForRecording('D'));
    uint64_t freeBytes = 0, total = 0;
    ASSERT_EQ(GetFreeBytes('D', &freeBytes, &total), 0);
    EXPECT_GT(total, 0u);
    EXPECT_EQ(GetFreeBytes('F', &freeBytes), -1);
}

TEST_F(DrivesTest, ConfiguredSectionReplacesDefaults) {
    TempDir video;
    WriteText(app / "config.ini", "[DRIVES]\nE=" + video.str() + "/\nF=relative/path\nG=" +
                                      video.str() + "/missing\n");
    EXPECT_EQ(DriveDirectory('E'), video.str());
    EXPECT_EQ(DriveDirectory('D'), "");  // the defaults apply only without the section
    EXPECT_EQ(DriveDirectory('F'), "");  // relative directories are not honoured
    EXPECT_FALSE(std::filesystem::exists(app / "storage/D"));
    EXPECT_TRUE(IsUsableForRecording('E'));
    // A missing directory is never a usable drive, and is not created behind the operator's back.
    EXPECT_EQ(GetDriveType('G'), DriveType::kNoRootDir);
    EXPECT_FALSE(IsUsableForRecording('G'));
    EXPECT_FALSE(std::filesystem::exists(video / "missing"));
}

TEST_F(DrivesTest, MountTableDecidesNetworkCdAndFixed) {
    TempDir nfs, cd, local, spaced;
    std::filesystem::create_directories(nfs / "deep/er");
    std::string spacedDir = spaced / "with blank";
    std::filesystem::create_directories(spacedDir);
    std::string spacedEscaped = spaced.str() + "/with\\040blank";
    WriteText(app / "mounts",
              "/dev/vda / ext4 rw 0 0\n"
              "server:/export " + nfs.str() + " nfs4 rw 0 0\n"
              "/dev/sr0 " + cd.str() + " iso9660 ro 0 0\n"
              "host:/x " + spacedEscaped + " fuse.sshfs rw 0 0\n"
              "garbage line\n");
    SetMountTableForTesting(app / "mounts");
    WriteText(app / "config.ini", "[DRIVES]\nD=" + nfs.str() + "/deep/er\nE=" + cd.str() +
                                      "\nF=" + local.str() + "\nG=" + spacedDir + "\n");
    EXPECT_EQ(GetDriveType('D'), DriveType::kRemote);
    EXPECT_EQ(GetDriveType('E'), DriveType::kCdRom);
    EXPECT_EQ(GetDriveType('F'), DriveType::kFixed);
    EXPECT_EQ(GetDriveType('G'), DriveType::kRemote);
    EXPECT_FALSE(IsUsableForRecording('D'));
    EXPECT_FALSE(IsUsableForRecording('E'));
    EXPECT_TRUE(IsUsableForRecording('F'));
}

TEST_F(DrivesTest, StoredPathsResolveThroughTheMap) {
    TempDir video;
    WriteText(app / "config.ini", "[DRIVES]\nD=" + video.str() + "\n");
    EXPECT_EQ(ResolveStoredPath("D:\\QVXFile\\2020_07_08\\x.qvx"),
              video.str() + "/QVXFile/2020_07_08/x.qvx");
    EXPECT_EQ(ResolveStoredPath("d:\\Photo"), video.str() + "/Photo");
    EXPECT_EQ(ResolveStoredPath("D:\\"), video.str());
    EXPECT_EQ(ResolveStoredPath("E:\\Photo"), "");
    EXPECT_EQ(ResolveStoredPath("/abs\\mixed/path"), "/abs/mixed/path");
    EXPECT_EQ(DrivePath('D', "QVXFile\\images.fi"), video.str() + "/QVXFile/images.fi");
}

}  // namespace
}  // namespace ocv::drives
