// The local search of the playback page: images.fi of every drive merged in start order, the
// type filter, torn and absurd records, the month's day marks, the path an entry names, and the
// 208-byte description and day marks of a device's search answer.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "playback/local_recordings.h"
#include "playback/remote_recordings.h"
#include "record/index_file.h"
#include "tests/support/temp_dir.h"

namespace ocv::playback {
namespace {

namespace fs = std::filesystem;

IndexRecord Index(int h, int m, int s, int type, uint32_t duration) {
    IndexRecord r{};
    r.startHour = static_cast<uint16_t>(h);
    r.startMinute = static_cast<uint16_t>(m);
    r.startSecond = static_cast<uint16_t>(s);
    r.recordType = static_cast<uint16_t>(type);
    r.durationSeconds = duration;
    r.sizeKiB = 100;
    return r;
}

class LocalSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_ / "D");
        fs::create_directories(dir_ / "E");
        drives_ = {DriveDir{1, dir_ / "D"}, DriveDir{2, dir_ / "E"}};
    }
    std::string Folder(const std::string& drive, const std::string& day, const std::string& channel = "cam01-5000-1") {
        std::string f = dir_ / (drive + "/QVXFile/" + day + "/" + channel);
        fs::create_directories(f);
        return f;
    }
    void Add(const std::string& folder, const IndexRecord& r) {
        ASSERT_EQ(AppendIndexRecord(folder + "/images.fi", r) >= 0, true);
    }

    test::TempDir dir_;
    std::vector<DriveDir> drives_;
};

TEST_F(LocalSearchTest, FilesOnTwoDrivesAreListedTogetherInStartOrder) {
    std::string d = Folder("D", "2020_07_08");
    std::string e = Folder("E", "2020_07_08");
    Add(d, Index(10, 0, 0, 3, 600));
    Add(d, Index(12, 0, 0, 3, 600));
    Add(e, Index(11, 0, 0, 2, 60));
    Add(e, Index(9, 30, 0, 1, 60));
    Add(e, Index(10, 0, 0, 2, 30));  // same start as D's: after it (drive order)
    RecordList list;
    ASSERT_EQ(SearchLocalDay(drives_, Date{2020, 7, 8}, "cam01-5000-1", kTypeAll, &list), 0);
    ASSERT_EQ(list.size(), 5u);
    std::vector<std::pair<int, int>> got;
    for (const RecordEntry& x : list) got.emplace_back(x.StartSecond(), x.drive);
    std::vector<std::pair<int, int>> want = {{34200, 2}, {36000, 1}, {36000, 2}, {39600, 2}, {43200, 1}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(list[1].type, 3);
    EXPECT_EQ(list[1].durationSeconds, 600);
    EXPECT_EQ(list[1].value2, 100u);
}

TEST_F(LocalSearchTest, AlarmFilterKeepsOnlyAlarmRecordings) {
    std::string d = Folder("D", "2020_07_08");
    Add(d, Index(1, 0, 0, 1, 60));
    Add(d, Index(2, 0, 0, 2, 60));
    Add(d, Index(3, 0, 0, 3, 60));
    Add(d, Index(4, 0, 0, 2, 60));
    RecordList list;
    ASSERT_EQ(SearchLocalDay(drives_, Date{2020, 7, 8}, "cam01-5000-1", 2, &list), 0);
    ASSERT_EQ(list.size(), 2u);
    for (const RecordEntry& x : list) EXPECT_EQ(x.type, 2);
    EXPECT_EQ(SearchLocalDay(drives_, Date{2020, 7, 8}, "cam01-5000-1", 4, &list), -1);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(SearchLocalDay(drives_, Date{2020, 7, 8}, "cam01-5000-1", -1, &list), -1);
}

TEST_F(LocalSearchTest, TornRecordsOtherChannelsAndMissingIndexesAreLeftOut) {
    std::string d = Folder("D", "2020_07_08");
    Add(d, Index(8, 0, 0, 3, 600));
    Add(d, Index(8, 10, 0, 3, 4000000000u));  // no duration anyone records: not drawn or played
    // A record cut by a crash.
    test::WriteText(d + "/images.fi", test::ReadText(d + "/images.fi") + std::string(100, '\x07'));
    Add(Folder("D", "2020_07_08", "cam01-5000-2"), Index(9, 0, 0, 3, 60));
    Folder("E", "2020_07_08");  // a folder without images.fi
    RecordList list;
    ASSERT_EQ(SearchLocalDay(drives_, Date{2020, 7, 8}, "cam01-5000-1", kTypeAll, &list), 0);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].durationSeconds, 600);
    EXPECT_EQ(list[1].durationSeconds, 0);
    EXPECT_FALSE(list[1].Playable());
    ASSERT_EQ(SearchLocalDay(drives_, Date{2020, 7, 9}, "cam01-5000-1", kTypeAll, &list), 0);
    EXPECT_TRUE(list.empty());
}

TEST_F(LocalSearchTest, DayMarksComeFromTheDayFoldersOfEveryDrive) {
    Folder("D", "2021_01_31");
    Folder("E", "2021_01_01");
    Folder("E", "2021_01_15");
    Folder("E", "2021_02_03");
    Folder("D", "2020_01_05");
    fs::create_directories(dir_ / "D/QVXFile/2021_01_xx");
    DayMarks marks = LocalDayMarks(drives_, 2021, 1);
    std::vector<int> marked;
    for (int day = 0; day < 32; ++day)
        if (marks[static_cast<size_t>(day)]) marked.push_back(day);
    EXPECT_EQ(marked, (std::vector<int>{1, 15, 31}));
    EXPECT_TRUE(LocalDayMarks(drives_, 2021, 3)[3] == false);
    EXPECT_TRUE(LocalDayMarks(drives_, 2021, 2)[3]);
}

TEST_F(LocalSearchTest, AnEntryNamesItsFileByTypeDriveAndStart) {
    RecordEntry e;
    e.hour = 9;
    e.minute = 5;
    e.second = 7;
    e.drive = 2;
    e.type = 2;
    const Date date{2020, 7, 8};
    EXPECT_EQ(LocalRecordingPath(drives_, date, "cam01-5000-1", e),
              dir_ / "E/QVXFile/2020_07_08/cam01-5000-1/AREC200708_090507.qvx");
    e.type = 1;
    EXPECT_EQ(fs::path(LocalRecordingPath(drives_, date, "x-1-1", e)).filename(), "NREC200708_090507.qvx");
    e.type = 0;
    EXPECT_EQ(fs::path(LocalRecordingPath(drives_, date, "x-1-1", e)).filename(), "PREC200708_090507.qvx");
    e.type = 3;
    EXPECT_EQ(fs::path(LocalRecordingPath(drives_, date, "x-1-1", e)).filename(), "PREC200708_090507.qvx");
    e.type = 4;
    EXPECT_EQ(LocalRecordingPath(drives_, date, "x-1-1", e), "");
    e.type = 3;
    e.drive = 5;
    EXPECT_EQ(LocalRecordingPath(drives_, date, "x-1-1", e), "") << "a drive the search did not list";
}

TEST(RecordListRules, SeekAndCoverFollowTheListOrder) {
    RecordList list;
    auto add = [&](int start, int duration) {
        RecordEntry e;
        e.hour = static_cast<uint16_t>(start / 3600);
        e.minute = static_cast<uint16_t>(start / 60 % 60);
        e.second = static_cast<uint16_t>(start % 60);
        e.durationSeconds = duration;
        InsertSorted(&list, e);
    };
    add(1000, 100);  // 1000..1100
    add(2000, 0);    // no duration: never chosen
    add(3000, 600);  // 3000..3600
    add(500, 10);    // 500..510
    ASSERT_EQ(list[0].StartSecond(), 500);
    EXPECT_EQ(FirstEndingAfter(list, 0), 0);
    EXPECT_EQ(FirstEndingAfter(list, 510), 1) << "t in a gap: the next recording";
    EXPECT_EQ(FirstEndingAfter(list, 1050), 1);
    EXPECT_EQ(FirstEndingAfter(list, 1100), 3) << "the one without duration is passed over";
    EXPECT_EQ(FirstEndingAfter(list, 3600), -1);
    EXPECT_EQ(FirstEndingAfter(list, 0, 2), 3);
    EXPECT_EQ(EntryCovering(list, 1099), 1);
    EXPECT_EQ(EntryCovering(list, 1100), -1);
    EXPECT_EQ(EntryCovering(list, 2000), -1);
    // p = (t - start) x 100 / duration, integer division; 0 before the start.
    EXPECT_EQ(SeekPercent(list[3], 3000 + 299), 49);
    EXPECT_EQ(SeekPercent(list[3], 3000 + 300), 50);
    EXPECT_EQ(SeekPercent(list[3], 2500), 0);
    EXPECT_EQ(SeekPercent(list[3], 3599), 99);
    EXPECT_EQ(SeekPercent(list[3], 9000), 100);
    EXPECT_EQ(SeekPercent(list[2], 2001), 0);
}

TEST(RemoteDescription, FieldsAreReadAtTheirOffsets) {
    uint8_t d[kFileDescriptionBytes] = {};
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) d[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, 0xDEADBEEF);  // not read
    put(8, 17);
    put(12, 2);
    put(16, 1234);
    put(20, 5678);
    put(24, 2024);  // the date fields are the device's; the page keeps the time only
    put(36, 13);
    put(40, 14);
    put(44, 15);
    std::string name(200, 'n');
    std::memcpy(d + 48, name.data(), kFileDescriptionBytes - 48);  // not terminated
    RecordEntry e;
    ASSERT_TRUE(ParseFileDescription(d, &e));
    EXPECT_EQ(e.fileNumber, 17u);
    EXPECT_EQ(e.type, 2);
    EXPECT_EQ(e.durationSeconds, 1234);
    EXPECT_EQ(e.value2, 5678u);
    EXPECT_EQ(e.StartSecond(), 13 * 3600 + 14 * 60 + 15);
    EXPECT_EQ(e.remoteName.size(), kRemoteNameChars) << "an unterminated name is cut at 127 characters";
    std::memcpy(d + 48, "CH01_20240105_133000_A.rec", 27);
    ASSERT_TRUE(ParseFileDescription(d, &e));
    EXPECT_EQ(e.remoteName, "CH01_20240105_133000_A.rec");
    put(36, 24);
    EXPECT_FALSE(ParseFileDescription(d, &e)) << "hour 24 is no start time";
}

TEST(RemoteDescription, DayMarksAreCharactersOneByDay) {
    char marks[kDayMarkBytes] = {};
    std::memset(marks, '0', 32);
    marks[1] = '1';
    marks[31] = '1';
    marks[15] = 1;  // a byte 1 is not the character '1'
    DayMarks m = ParseDayMarks(marks);
    EXPECT_TRUE(m[1]);
    EXPECT_TRUE(m[31]);
    EXPECT_FALSE(m[15]);
    EXPECT_FALSE(m[0]);
}

}  // namespace
}  // namespace ocv::playback
