// ocuvant-export from the outside: exit statuses, messages and the files it leaves.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/backup/recording_maker.h"
#include "tests/support/temp_dir.h"
#include "tools/export/export_args.h"

namespace ocv::exporter {
namespace {

using test::RunCommand;
using test::TempDir;

class ExportToolTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string d = dir / "D";

    void SetUp() override {
        test::TestRecording s;
        s.driveDir = d;
        s.startSecond = 10 * 3600;
        s.seconds = 4;
        test::WriteRecording(s);
    }
    // Runs the tool with standard error folded into the output.
    std::string Run(const std::string& args, int* status) {
        return RunCommand(std::string(OCV_EXPORT_TOOL) + " --root '" + d + "' " + args + " 2>&1", status);
    }
};

TEST_F(ExportToolTest, WholeSpanExitsZeroAndNamesItsFile) {
    int status = -1;
    std::string out = dir / "clip.mp4";
    std::string text = Run("--channel cam01:5000:1 --from '2020-07-08 10:00:00' --to "
                           "'2020-07-08 10:00:30' --format mp4 --out '" + out + "'", &status);
    EXPECT_EQ(status, kExitComplete) << text;
    EXPECT_NE(text.find(out + "\n"), std::string::npos) << text;
    EXPECT_TRUE(std::filesystem::exists(out));
    EXPECT_EQ(test::DecodeErrors(out), "");
    // An existing folder takes the backup window's names.
    std::filesystem::create_directories(dir / "folder");
    text = Run("--channel cam01:5000:1 --from '2020-07-08 10:00:00' --to '2020-07-08 10:00:30' "
               "--format qvx --quiet --out '" + (dir / "folder") + "'", &status);
    EXPECT_EQ(status, kExitComplete) << text;
    ASSERT_EQ(std::distance(std::filesystem::directory_iterator(dir / "folder"), {}), 1);
    std::string name = std::filesystem::directory_iterator(dir / "folder")->path().filename();
    EXPECT_EQ(name.substr(0, 6), "BACKUP");
    EXPECT_EQ(name.substr(name.size() - 6), "00.qvx");
}

TEST_F(ExportToolTest, RefusedSpansAndMissingRecordingsSayWhy) {
    int status = -1;
    std::string text = Run("--channel cam01:5000:1 --from '2020-07-08 11:00:00' --to "
                           "'2020-07-08 11:30:00' --format avi --out '" + (dir / "x.avi") + "'", &status);
    EXPECT_EQ(status, kExitEmptySpan);
    EXPECT_NE(text.find("no recordings of cam01:5000:1 between 2020-07-08 11:00:00"), std::string::npos) << text;
    text = Run("--channel cam01:5000:1 --from '2020-07-08 23:00:00' --to '2020-07-09 01:00:00' "
               "--format avi --out '" + (dir / "x.avi") + "'", &status);
    EXPECT_EQ(status, kExitUsage);
    EXPECT_NE(text.find("crosses midnight"), std::string::npos) << text;
    text = Run("--channel cam01:5000 --from '2020-07-08 10:00:00' --to '2020-07-08 10:00:30' "
               "--format avi --out x", &status);
    EXPECT_EQ(status, kExitUsage);
    EXPECT_NE(text.find("HOST:PORT:CH"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.avi"));
}

TEST_F(ExportToolTest, UnwritableOutputFailsAndLeavesNothing) {
    test::WriteText(dir / "plain", "x");
    int status = -1;
    std::string bad = dir / "plain/x.avi";
    std::string text = Run("--channel cam01:5000:1 --from '2020-07-08 10:00:00' --to "
                           "'2020-07-08 10:00:30' --format avi --out '" + bad + "'", &status);
    EXPECT_EQ(status, kExitFailed);
    EXPECT_NE(text.find(dir / "plain"), std::string::npos) << text;
    EXPECT_EQ(test::ReadText(dir / "plain"), "x");
}

TEST(ExportArgsTest, ChannelTextMayHoldColonsInTheHost) {
    std::string host;
    int port = 0, channel = 0;
    ASSERT_EQ(ParseChannel("fe80::1:5000:3", &host, &port, &channel), 0);
    EXPECT_EQ(host, "fe80::1");
    EXPECT_EQ(port, 5000);
    EXPECT_EQ(channel, 3);
    EXPECT_EQ(ParseChannel(":5000:3", &host, &port, &channel), -1);
    EXPECT_EQ(ParseChannel("cam:0:3", &host, &port, &channel), -1);
    EXPECT_EQ(ParseChannel("cam:5000:65", &host, &port, &channel), -1);
    EXPECT_EQ(ParseChannel("cam:5000:x", &host, &port, &channel), -1);
}

}  // namespace
}  // namespace ocv::exporter
