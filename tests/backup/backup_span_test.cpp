#include <gtest/gtest.h>

#include "backup/backup_names.h"
#include "backup/backup_span.h"
#include "platform/app_dir.h"
#include "platform/file_util.h"
#include "record/index_file.h"
#include "tests/support/temp_dir.h"

namespace ocv::backup {
namespace {

using test::TempDir;

LocalDateTime At(int h, int m, int s, int day = 8) { return LocalDateTime{2020, 7, day, h, m, s}; }

TEST(BackupSpanTest, DateTimeTextMustBeARealMoment) {
    LocalDateTime t;
    ASSERT_EQ(ParseDateTime("2020-07-08 10:15:00", &t), 0);
    EXPECT_EQ(FormatDateTime(t), "2020-07-08 10:15:00");
    EXPECT_EQ(ParseDateTime("2020-02-29 23:59:59", &t), 0);
    EXPECT_EQ(ParseDateTime("2019-02-29 00:00:00", &t), -1);  // not a leap year
    EXPECT_EQ(ParseDateTime("2020-07-08 24:00:00", &t), -1);
    EXPECT_EQ(ParseDateTime("2020-07-08 10:60:00", &t), -1);
    EXPECT_EQ(ParseDateTime("2020-7-8 10:15:00", &t), -1);
    EXPECT_EQ(ParseDateTime("2020-07-08 10:15:00 ", &t), -1);
    EXPECT_EQ(ParseDateTime("2020-07-08 +1:15:00", &t), -1);
}

TEST(BackupSpanTest, SpanMustStartFirstAndStayWithinOneDay) {
    BackupSpan span;
    EXPECT_EQ(MakeSpan(At(10, 0, 0), At(10, 0, 0), &span), SpanCheck::kStartNotBeforeEnd);
    EXPECT_EQ(MakeSpan(At(10, 0, 1), At(10, 0, 0), &span), SpanCheck::kStartNotBeforeEnd);
    // The order is checked before the day: an end on an earlier day is an order error.
    EXPECT_EQ(MakeSpan(At(1, 0, 0, 9), At(23, 0, 0, 8), &span), SpanCheck::kStartNotBeforeEnd);
    EXPECT_EQ(MakeSpan(At(23, 59, 0, 8), At(0, 1, 0, 9), &span), SpanCheck::kCrossesDay);
    EXPECT_EQ(MakeSpan(LocalDateTime{2020, 13, 1, 0, 0, 0}, At(1, 0, 0), &span), SpanCheck::kInvalid);
    ASSERT_EQ(MakeSpan(At(0, 0, 0), At(23, 59, 59), &span), SpanCheck::kOk);
    EXPECT_EQ(span.startSecond, 0);
    EXPECT_EQ(span.endSecond, 86399);
}

class SpanFilesTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string d = dir / "D";
    std::string e = dir / "E";
    std::string Folder(const std::string& drive) const {
        return drive + "/QVXFile/2020_07_08/cam01-5000-1";
    }
    void Index(const std::string& drive, int h, int m, int s, uint32_t seconds, uint16_t type = 3) {
        ASSERT_EQ(MakeDirectories(Folder(drive)), 0);
        IndexRecord r{};
        r.startHour = static_cast<uint16_t>(h);
        r.startMinute = static_cast<uint16_t>(m);
        r.startSecond = static_cast<uint16_t>(s);
        r.recordType = type;
        r.durationSeconds = seconds;
        ASSERT_GE(AppendIndexRecord(Folder(drive) + "/images.fi", r), 0);
    }
    std::vector<SpanFile> Find(int typeFilter = kAnyRecordType, int from = 36000, int to = 37800) {
        BackupSpan span{2020, 7, 8, from, to};
        std::vector<SpanFile> files;
        FindSpanFiles({d, e}, "cam01-5000-1", span, typeFilter, &files);
        return files;
    }
};

TEST_F(SpanFilesTest, FilesOverlappingTheSpanAreTakenWhole) {
    Index(d, 9, 55, 0, 600);   // 09:55-10:05 overlaps 10:00-10:30
    Index(d, 10, 25, 0, 600);  // 10:25-10:35
    Index(d, 9, 40, 0, 599);   // ends one second before the span
    Index(d, 9, 50, 0, 600);   // ends exactly at the span start: still taken
    Index(d, 10, 30, 0, 600);  // starts at the span end: not taken
    Index(d, 10, 10, 0, 0);    // no duration yet
    auto files = Find();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].startSecond, 9 * 3600 + 50 * 60);
    EXPECT_EQ(files[1].path, Folder(d) + "/PREC200708_095500.qvx");
    EXPECT_EQ(files[2].path, Folder(d) + "/PREC200708_102500.qvx");
}

TEST_F(SpanFilesTest, DrivesAreMergedInStartOrderAndFilteredByType) {
    Index(d, 10, 20, 0, 300, 1);
    Index(d, 10, 0, 0, 300, 3);
    Index(e, 10, 10, 0, 300, 2);
    Index(e, 10, 0, 0, 60, 1);  // same start as a file on D: D comes first
    auto files = Find();
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].path, Folder(d) + "/PREC200708_100000.qvx");
    EXPECT_EQ(files[1].path, Folder(e) + "/NREC200708_100000.qvx");
    EXPECT_EQ(files[2].path, Folder(e) + "/AREC200708_101000.qvx");
    EXPECT_EQ(files[3].path, Folder(d) + "/NREC200708_102000.qvx");
    auto manual = Find(1);
    ASSERT_EQ(manual.size(), 2u);
    EXPECT_EQ(manual[0].recordType, 1);
    EXPECT_EQ(manual[1].recordType, 1);
}

TEST_F(SpanFilesTest, MissingIndexesAndDamagedRecordsAreSkipped) {
    Index(e, 10, 5, 0, 300);
    Index(e, 99, 5, 0, 300);     // no such hour
    Index(e, 10, 6, 0, 300, 7);  // no such record type
    Index(e, 10, 5, 0, 300);     // the same name again: the file was replaced
    test::WriteText(Folder(e) + "/images.fi", test::ReadText(Folder(e) + "/images.fi") + "torn");
    auto files = Find();  // D has no folder at all
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].driveOrder, 1);
    BackupSpan span{2020, 7, 8, 36000, 37800};
    std::vector<SpanFile> none;
    EXPECT_EQ(FindSpanFiles({d}, "cam01-5000-1", span, kAnyRecordType, &none), -2);
}

TEST(BackupSpanTest, DrivesMappedToOneDirectoryAreSearchedOnce) {
    TempDir dir;
    std::string saved = AppDir();
    SetAppDir(dir.str());
    ASSERT_EQ(MakeDirectories(dir / "disk"), 0);
    test::WriteText(dir / "config.ini", "[DRIVES]\nD=" + (dir / "disk") + "\nE=" + (dir / "disk") +
                                            "/\nF=" + (dir / "other") + "\n");
    auto dirs = AllDriveDirectories();
    SetAppDir(saved);
    ASSERT_EQ(dirs.size(), 2u);  // D and F (a missing directory still counts as mapped)
    EXPECT_EQ(dirs[0], dir / "disk");
    EXPECT_EQ(dirs[1], dir / "other");
}

TEST(BackupNamesTest, NamesFollowTheStartMomentAndFileNumber) {
    ClockSnapshot t;
    t.year = 2020, t.month = 7, t.day = 8, t.hour = 10, t.minute = 15, t.second = 9;
    EXPECT_EQ(BackupFolderStored(1, t), "D:\\QVXFile\\backup\\2020_07_08\\");
    EXPECT_EQ(DownloadFolderStored(23, t), "Z:\\QVXFile\\download\\2020_07_08\\");
    EXPECT_EQ(BackupFolderStored(24, t), "");
    EXPECT_EQ(BackupFileName(ExportFormat::kRecordFile, t, 0), "BACKUP20070810150900.qvx");
    EXPECT_EQ(BackupFileName(ExportFormat::kAvi, t, 1), "BACKUP200708_10150901.avi");
    EXPECT_EQ(BackupFileName(ExportFormat::kMp4, t, 12), "BACKUP200708_10150912.mp4");
    EXPECT_EQ(DownloadFileName(ExportFormat::kAvi, t), "DOWN200708_101509.avi");
    EXPECT_EQ(NumberedPath("/x/out.avi", 0), "/x/out.avi");
    EXPECT_EQ(NumberedPath("/x/out.avi", 2), "/x/out_02.avi");
    EXPECT_EQ(NumberedPath("/x.y/out", 1), "/x.y/out_01");
    EXPECT_EQ(NumberedPath("/x/.hidden", 1), "/x/.hidden_01");
}

}  // namespace
}  // namespace ocv::backup
