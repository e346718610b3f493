// The drive map as the settings page edits it in config.ini, and the survey that reads the drives
// back on its own thread: refusals that leave config.ini as it was, the implicit C and D kept on
// the first edit, and requests from many threads each answered by a survey that saw them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/app_dir.h"
#include "platform/drives.h"
#include "setup/system_drive_map.h"
#include "setup/system_survey.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using namespace ocv;
using ocv::test::ReadText;
using ocv::test::TempDir;
using ocv::test::WriteText;

namespace {

// A throw-away application directory for the drive map.
struct AppDirRig {
    AppDirRig() { SetAppDir(dir.str()); }
    ~AppDirRig() { SetAppDir(""); }
    std::string ini() const { return dir / "config.ini"; }
    TempDir dir;
};

}  // namespace

TEST(DriveMap, RefusalsLeaveConfigIniAsItWasAndCreateNothing) {
    AppDirRig app;
    WriteText(app.ini(), "[CONFIG]\nDRAWMODE=ON\n");
    const std::string before = ReadText(app.ini());
    fs::create_directories(app.dir / "disk");
    WriteText(app.dir / "file", "x");

    EXPECT_STREQ(MapDrive('E', app.dir / "none/deeper"),
                 "The folder does not exist. Create it first, then choose it again.");
    EXPECT_FALSE(fs::exists(app.dir / "none"));
    EXPECT_STREQ(MapDrive('E', app.dir / "file"), "This is a file, not a folder!");
    EXPECT_STREQ(MapDrive('E', "relative/disk"), "The folder must be given with its full path!");
    EXPECT_STREQ(MapDrive('E', ""), "The folder must be given with its full path!");
    EXPECT_STREQ(MapDrive('B', app.dir / "disk"), "Choose a drive letter from C to Z!");
    EXPECT_STREQ(MapDrive('[', app.dir / "disk"), "Choose a drive letter from C to Z!");
    EXPECT_STREQ(MapDrive('E', app.dir / "disk\nF=/etc"), "This folder name can not be used for a drive!");
    EXPECT_STREQ(MapDrive('E', app.dir / "disk "), "This folder name can not be used for a drive!");
    // The implicit D folder under another letter.
    EXPECT_STREQ(MapDrive('E', drives::DriveDirectory('D')), "The folder is already mapped to another drive!");
    if (geteuid() != 0) {  // root writes anywhere
        fs::create_directories(app.dir / "readonly");
        chmod((app.dir / "readonly").c_str(), 0555);
        EXPECT_STREQ(MapDrive('E', app.dir / "readonly"), "The folder can not be written!");
    }
    EXPECT_EQ(ReadText(app.ini()), before);
}

TEST(DriveMap, FirstEditKeepsTheImplicitDrivesAndTheLastLetterStays) {
    AppDirRig app;
    const std::string c = drives::DriveDirectory('C'), d = drives::DriveDirectory('D');
    ASSERT_FALSE(c.empty());
    fs::create_directories(app.dir / "video");
    ASSERT_EQ(MapDrive('f', app.dir / "video/"), nullptr);  // lower case, trailing slash
    EXPECT_EQ(drives::DriveDirectory('F'), app.dir / "video");
    EXPECT_EQ(drives::DriveDirectory('C'), c);
    EXPECT_EQ(drives::DriveDirectory('D'), d);
    // Mapping a letter again moves it.
    fs::create_directories(app.dir / "video2");
    ASSERT_EQ(MapDrive('F', app.dir / "video2"), nullptr);
    EXPECT_EQ(drives::DriveDirectory('F'), app.dir / "video2");

    EXPECT_EQ(UnmapDrive('E'), nullptr);  // not mapped: nothing to do
    EXPECT_EQ(UnmapDrive('C'), nullptr);
    EXPECT_EQ(UnmapDrive('D'), nullptr);
    EXPECT_EQ(drives::DriveDirectory('C'), "") << "removed, not brought back as implicit";
    EXPECT_STREQ(UnmapDrive('F'), "At least one drive must stay mapped!");
    EXPECT_EQ(drives::DriveDirectory('F'), app.dir / "video2");
}

TEST(DriveMap, SurveyNamesEveryLetterWithItsKindAndSpace) {
    AppDirRig app;
    fs::create_directories(app.dir / "video");
    ASSERT_EQ(MapDrive('G', app.dir / "video"), nullptr);
    fs::remove(app.dir / "video");  // gone after mapping, as an unplugged disk
    const std::vector<DriveRow> rows = SurveyDrives();
    ASSERT_EQ(rows.size(), static_cast<size_t>(drives::kMaxDrives));
    EXPECT_EQ(rows.front().letter, 'C');
    EXPECT_EQ(rows.back().letter, 'Z');
    EXPECT_TRUE(rows[0].spaceKnown);
    EXPECT_GT(rows[0].totalBytes, 0u);
    EXPECT_STREQ(DriveTypeText(rows['G' - 'C']), "Missing folder");
    EXPECT_FALSE(rows['G' - 'C'].spaceKnown);
    EXPECT_STREQ(DriveTypeText(rows['H' - 'C']), "Not mapped");
}

TEST(SystemSurveyWorker, RequestsFromManyThreadsAreEachAnsweredByALaterSurvey) {
    AppDirRig app;
    std::atomic<int> ready{0};
    std::vector<int> answeredBy(16);
    int highest = 0;
    {
        SystemSurveyWorker worker([&] { ++ready; });
        EXPECT_EQ(worker.Latest().serial, 0);
        const int first = worker.Request();
        EXPECT_EQ(first, 1);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < answeredBy.size(); ++i)
            threads.emplace_back([&, i] { answeredBy[i] = worker.Request(); });
        for (auto& t : threads) t.join();
        highest = *std::max_element(answeredBy.begin(), answeredBy.end());
        // Never an answer from before the request, and never more surveys than requests.
        EXPECT_GE(*std::min_element(answeredBy.begin(), answeredBy.end()), first);
        EXPECT_LE(highest, first + static_cast<int>(answeredBy.size()));
        for (int waited = 0; worker.Latest().serial < highest && waited < 5000; waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_GE(worker.Latest().serial, highest);
        EXPECT_EQ(worker.Latest().drives.size(), static_cast<size_t>(drives::kMaxDrives));
        worker.Request();  // possibly still pending when the worker goes: it is joined
    }
    EXPECT_GE(ready.load(), highest);
    EXPECT_LE(ready.load(), 2 + static_cast<int>(answeredBy.size()));
}
