#include "record/disk_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "base/clock.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteText;

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;

class DiskManagerTest : public ::testing::Test {
protected:
    TempDir root;
    uint32_t mask = 0;
    int reserve = 10;
    bool cover = false;
    std::map<char, uint64_t> freeBytes;  // absent: unreadable
    std::map<char, bool> usable;         // absent: usable
    std::vector<std::pair<int, std::string>> logged;
    DiskManager manager{{[this] { return mask; }, [this] { return reserve; }, [this] { return cover; }},
                        [this](int subtype, const char* note) { logged.emplace_back(subtype, note); }};

    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        SetClockForTesting(2020, 7, 8, 12, 0, 0);
        manager.SetPlatformForTesting(
            [this](char l) { return usable.count(l) ? usable[l] : true; },
            [this](char l, uint64_t* b) {
                if (!freeBytes.count(l)) return -1;
                *b = freeBytes[l];
                return 0;
            },
            [this](char l, const std::string& rel) { return root / (std::string(1, l) + "/" + rel); });
    }
    void TearDown() override { SetClockSourceForTesting(nullptr); }
    std::string Day(char letter, const std::string& name) {
        std::string d = root / (std::string(1, letter) + "/QVXFile/" + name);
        fs::create_directories(d + "/cam01-5000-1");
        WriteText(d + "/cam01-5000-1/images.fi", "x");
        return d;
    }
};

TEST_F(DiskManagerTest, NoDriveSelectedMeansNoRecordDiskReportedOnce) {
    bool allFull = true;
    EXPECT_EQ(manager.SelectDisk(&allFull), 2);
    EXPECT_FALSE(allFull);
    EXPECT_EQ(manager.CurrentRecordDisk(), -1);
    // Nothing can be recorded: the disk-full alarm applies and the log says why, once, not at
    // every check.
    manager.CheckDisks();
    manager.CheckDisks();
    EXPECT_TRUE(manager.DiskFull());
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].first, 13);
    // A drive with room ends it; taking every drive away again is reported again.
    mask = 0b10;
    freeBytes['D'] = 500 * kGiB;
    manager.CheckDisks();
    EXPECT_EQ(manager.CurrentRecordDisk(), 1);
    EXPECT_FALSE(manager.DiskFull());
    mask = 0;
    manager.CheckDisks();
    EXPECT_EQ(manager.CurrentRecordDisk(), -1);
    EXPECT_TRUE(manager.DiskFull());
    EXPECT_EQ(logged.size(), 2u);
}

TEST_F(DiskManagerTest, ReserveIsClampedAndTheComparisonIsStrict) {
    mask = 0b11;  // C and D
    freeBytes['C'] = 10 * kGiB;  // exactly the reserve: does not qualify
    freeBytes['D'] = 10 * kGiB + 1024 * 1024;
    bool allFull = false;
    EXPECT_EQ(manager.SelectDisk(&allFull), 0);
    EXPECT_EQ(manager.CurrentRecordDisk(), 1);
    reserve = 0;  // taken as 1 GiB
    manager.SelectDisk(&allFull);
    EXPECT_EQ(manager.CurrentRecordDisk(), 0);  // the lower drive qualifies again
    reserve = 75;  // taken as 50 GiB
    EXPECT_EQ(manager.SelectDisk(&allFull), 1);
    EXPECT_TRUE(allFull);
    EXPECT_EQ(manager.CurrentRecordDisk(), 0);  // unchanged by a failed selection
    freeBytes['D'] = 51 * kGiB;
    EXPECT_EQ(manager.SelectDisk(&allFull), 0);
    EXPECT_EQ(manager.CurrentRecordDisk(), 1);
    // The setting itself is the operator's: the monitor never writes it.
    EXPECT_EQ(reserve, 75);
}

TEST_F(DiskManagerTest, NetworkCdAndUnreadableDrivesNeverQualify) {
    mask = 0b1111;  // C D E F
    freeBytes['C'] = 500 * kGiB;
    usable['C'] = false;  // a network drive
    freeBytes['D'] = 500 * kGiB;
    usable['D'] = false;  // a CD
    // E: free space unreadable
    freeBytes['F'] = 11 * kGiB;
    bool allFull = false;
    EXPECT_EQ(manager.SelectDisk(&allFull), 0);
    EXPECT_EQ(manager.CurrentRecordDisk(), 3);
}

TEST_F(DiskManagerTest, CoverDeletesTheOldestDayOnEverySelectedDrive) {
    mask = 0b110;  // D and E
    std::string d0701 = Day('D', "2020_07_01");
    std::string e0630 = Day('E', "2020_06_30");
    std::string d0630 = Day('D', "2020_06_30");
    std::string dBackup = Day('D', "backup");
    std::string cOld = Day('C', "2020_01_01");  // C is not selected
    EXPECT_EQ(manager.CoverOldestDay(), 0);
    EXPECT_FALSE(fs::exists(e0630));
    EXPECT_FALSE(fs::exists(d0630));
    EXPECT_TRUE(fs::exists(d0701));
    EXPECT_TRUE(fs::exists(cOld));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], std::make_pair(11, std::string("2020_06_30")));
    EXPECT_EQ(manager.CoverOldestDay(), 0);
    EXPECT_FALSE(fs::exists(d0701));
    // Only "backup" and today are left: nothing to delete, and today is never deleted.
    EXPECT_EQ(manager.CoverOldestDay(), 0);
    std::string today = Day('D', "2020_07_08");
    EXPECT_EQ(manager.CoverOldestDay(), -1);
    EXPECT_TRUE(fs::exists(today));
    EXPECT_TRUE(fs::exists(dBackup));
    // A stray name below the day names is not a day: it is never chosen.
    std::string stray = Day('E', "1999");
    Day('E', "2020_07_02");
    EXPECT_EQ(manager.CoverOldestDay(), 0);
    EXPECT_TRUE(fs::exists(stray));
    EXPECT_FALSE(fs::exists(root / "E/QVXFile/2020_07_02"));
}

// Entries that are not day folders as the recorder names them used to be chosen as "oldest" at
// every check: nothing was ever covered, a link's target was emptied, and a file named like a
// day was logged as deleted every time.
TEST_F(DiskManagerTest, CoverTakesOnlyRealDayFoldersAndNeverFollowsALink) {
    mask = 0b10;  // D
    std::string qvx = root / "D/QVXFile";
    fs::create_directories(qvx);
    TempDir outside;
    WriteText(outside / "precious.qvx", "keep");
    WriteText(qvx + "/.DS_Store", "x");
    WriteText(qvx + "/0notes.txt", "x");
    WriteText(qvx + "/2019_11_30", "a file named like a day");
    fs::create_directory_symlink(outside.str(), qvx + "/2000_01_01");
    std::string real = Day('D', "2020_07_01");
    Day('D', "2020_07_02");
    EXPECT_EQ(manager.CoverOldestDay(), 0);
    EXPECT_FALSE(fs::exists(real));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], std::make_pair(11, std::string("2020_07_01")));
    EXPECT_EQ(manager.CoverOldestDay(), 0);
    EXPECT_FALSE(fs::exists(qvx + "/2020_07_02"));
    // Only strangers left: nothing to delete, nothing logged, nothing touched.
    EXPECT_EQ(manager.CoverOldestDay(), 0);
    EXPECT_EQ(logged.size(), 2u);
    EXPECT_EQ(test::ReadText(outside / "precious.qvx"), "keep");
    EXPECT_TRUE(fs::is_symlink(qvx + "/2000_01_01"));
    EXPECT_TRUE(fs::exists(qvx + "/2019_11_30"));
    EXPECT_TRUE(fs::exists(qvx + "/.DS_Store"));
    EXPECT_TRUE(fs::exists(qvx + "/0notes.txt"));
}

TEST_F(DiskManagerTest, UndeletableDayIsReportedOnceAndTheNextOldestIsCovered) {
    mask = 0b10;
    reserve = 10;
    cover = true;
    Day('D', "2020_07_01");
    Day('D', "2020_07_02");
    Day('D', "2020_07_03");
    // 2020_07_01 resists deletion (a folder without permission); each other day frees 3 GiB.
    manager.SetDeleteTreeForTesting([](const std::string& folder) {
        if (folder.find("2020_07_01") != std::string::npos) return -1;
        return DiskManager::DeleteTree(folder);
    });
    manager.SetPlatformForTesting(
        [](char) { return true; },
        [this](char, uint64_t* b) {
            int days = 0;
            for (auto& e : fs::directory_iterator(root / "D/QVXFile")) (void)e, ++days;
            *b = (18 - 3 * static_cast<uint64_t>(days)) * kGiB;
            return 0;
        },
        [this](char l, const std::string& rel) { return root / (std::string(1, l) + "/" + rel); });
    manager.CheckDisks();  // 9 GiB; the stuck day frees nothing, the next one gives 12 GiB
    EXPECT_EQ(manager.CurrentRecordDisk(), 1);
    EXPECT_FALSE(fs::exists(root / "D/QVXFile/2020_07_02"));
    EXPECT_TRUE(fs::exists(root / "D/QVXFile/2020_07_03"));
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0], std::make_pair(12, std::string("2020_07_01")));
    EXPECT_EQ(logged[1], std::make_pair(11, std::string("2020_07_02")));
    // Later checks go straight to the next day and never report the stuck one again.
    EXPECT_EQ(manager.CoverOldestDay(), 0);
    EXPECT_FALSE(fs::exists(root / "D/QVXFile/2020_07_03"));
    EXPECT_EQ(manager.CoverOldestDay(), 0);
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[2], std::make_pair(11, std::string("2020_07_03")));
    EXPECT_TRUE(fs::exists(root / "D/QVXFile/2020_07_01"));
}

TEST_F(DiskManagerTest, CheckCoversUntilADiskQualifiesOrReportsNoSpace) {
    mask = 0b10;  // D
    reserve = 10;
    Day('D', "2020_07_05");
    Day('D', "2020_07_06");
    Day('D', "2020_07_07");
    // Each deleted day frees 3 GiB on D.
    manager.SetPlatformForTesting(
        [](char) { return true; },
        [this](char, uint64_t* b) {
            int days = 0;
            for (auto& e : fs::directory_iterator(root / "D/QVXFile")) (void)e, ++days;
            *b = (16 - 3 * static_cast<uint64_t>(days)) * kGiB;
            return 0;
        },
        [this](char l, const std::string& rel) { return root / (std::string(1, l) + "/" + rel); });
    manager.CheckDisks();  // cover off: log 13, no disk
    EXPECT_EQ(manager.CurrentRecordDisk(), -1);
    EXPECT_TRUE(manager.DiskFull());
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].first, 13);
    cover = true;
    manager.CheckDisks();  // 16 - 9 = 7 GiB; two days deleted give 13 GiB
    EXPECT_EQ(manager.CurrentRecordDisk(), 1);
    EXPECT_FALSE(manager.DiskFull());
    EXPECT_FALSE(fs::exists(root / "D/QVXFile/2020_07_06"));
    EXPECT_TRUE(fs::exists(root / "D/QVXFile/2020_07_07"));
}

TEST_F(DiskManagerTest, CoverWithOnlyTodayLeftGivesUpAndReportsNoSpace) {
    mask = 0b10;
    freeBytes['D'] = 1 * kGiB;
    cover = true;
    Day('D', "2020_07_08");
    manager.CheckDisks();
    EXPECT_EQ(manager.CurrentRecordDisk(), -1);
    EXPECT_TRUE(manager.DiskFull());
    EXPECT_TRUE(fs::exists(root / "D/QVXFile/2020_07_08"));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].first, 13);
}

TEST(DeleteTreeTest, RemovesEverythingButNeverFollowsLinks) {
    TempDir dir;
    TempDir outside;
    WriteText(outside / "precious", "keep");
    fs::create_directories(dir / "day/a/b");
    WriteText(dir / "day/a/b/x.qvx", "1");
    WriteText(dir / "day/a/ab", "short name");
    WriteText(dir / "day/c", "1");
    fs::create_directory_symlink(outside.str(), dir / "day/link");
    EXPECT_EQ(DiskManager::DeleteTree(dir / "day"), 0);
    EXPECT_FALSE(fs::exists(dir / "day"));
    EXPECT_EQ(test::ReadText(outside / "precious"), "keep");
    EXPECT_EQ(DiskManager::DeleteTree(dir / "missing"), 0);
    // A link handed over as the folder itself is refused; its target keeps everything.
    fs::create_directory_symlink(outside.str(), dir / "linked-day");
    EXPECT_EQ(DiskManager::DeleteTree(dir / "linked-day"), -1);
    EXPECT_EQ(test::ReadText(outside / "precious"), "keep");
    EXPECT_TRUE(fs::is_symlink(dir / "linked-day"));
}

}  // namespace
}  // namespace ocv
