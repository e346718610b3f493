#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "events/log_file_reader.h"
#include "events/log_search.h"
#include "events/log_writer.h"
#include "base/clock.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

class LogTest : public ::testing::Test {
protected:
    TempDir dir;
    LogWriter writer{dir.str()};
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        writer.SetDeviceAddressResolver([](int index, std::string* host, int* port) {
            if (index == 0) {
                *host = "cam01";
                *port = 5000;
                return true;
            }
            if (index == 1) {
                *host = std::string(31, 'h');  // the longest host a device may have
                *port = 65535;
                return true;
            }
            if (index == 2) {
                *host = "10.0.0.12";
                *port = 5000;
                return true;
            }
            if (index == 3) {
                *host = "10.0.0.1";
                *port = 5000;
                return true;
            }
            return false;
        });
    }
    void TearDown() override { SetClockSourceForTesting(nullptr); }
    std::vector<LogRecord> ReadAll(const std::string& name) {
        std::vector<LogRecord> out;
        LogFileReader reader(dir / name);
        LogRecord r;
        while (reader.Next(&r)) out.push_back(r);
        return out;
    }
};

TEST_F(LogTest, RecordBytesSitAtTheirOffsets) {
    int64_t t = SetClockForTesting(2020, 7, 8, 10, 15, 0);
    ASSERT_EQ(writer.LogWrite(kLogAlarm, kLogTemperatureAbnormal, 0, 2, "37.80", "admin"), 0);
    std::string bytes = ReadText(dir / "A20200708.log");
    ASSERT_EQ(bytes.size(), 120u);
    uint32_t time;
    memcpy(&time, bytes.data(), 4);
    EXPECT_EQ(time, static_cast<uint32_t>(t));
    EXPECT_EQ(static_cast<uint8_t>(bytes[4]), 0);
    EXPECT_EQ(static_cast<uint8_t>(bytes[6]), 43);
    EXPECT_EQ(std::string(bytes.data() + 8), "admin");
    EXPECT_EQ(std::string(bytes.data() + 32), "cam01:5000-3");
    EXPECT_EQ(std::string(bytes.data() + 56), "37.80");
    // Every byte after the texts is zero.
    EXPECT_EQ(bytes.find_first_not_of('\0', 8 + 5), 32u);
    EXPECT_EQ(bytes.find_first_not_of('\0', 56 + 5), std::string::npos);
}

TEST_F(LogTest, RejectsBadTypeAndEmptiesUnknownDevices) {
    SetClockForTesting(2020, 7, 8, 10, 15, 0);
    EXPECT_EQ(writer.LogWrite(3, 0, 0, 0, "x", ""), -1);
    EXPECT_EQ(writer.LogWrite(-1, 0, 0, 0, "x", ""), -1);
    EXPECT_FALSE(std::filesystem::exists(dir / "A20200708.log"));
    ASSERT_EQ(writer.LogWrite(kLogSystem, kLogConnected, 128, 0, "", nullptr), 0);
    ASSERT_EQ(writer.LogWrite(kLogSystem, kLogConnected, 9, 0, nullptr, nullptr), 0);
    auto records = ReadAll("S20200708.log");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].device[0], '\0');
    EXPECT_EQ(records[1].device[0], '\0');
}

TEST_F(LogTest, LongHostIsCutButKeepsPortAndChannel) {
    SetClockForTesting(2020, 7, 8, 10, 15, 0);
    ASSERT_EQ(writer.LogWrite(kLogAlarm, kLogMotionStart, 1, 63, "", ""), 0);
    auto records = ReadAll("A20200708.log");
    ASSERT_EQ(records.size(), 1u);
    std::string device(records[0].device);
    EXPECT_EQ(device.size(), 23u);
    EXPECT_EQ(device, std::string(14, 'h') + ":65535-64");
    EXPECT_EQ(device, FormatLogDeviceText(std::string(31, 'h').c_str(), 65535, 64));
}

TEST_F(LogTest, MidnightStartsTheNextDaysFile) {
    SetClockForTesting(2020, 7, 8, 23, 59, 59);
    writer.LogWrite(kLogOperate, kLogLogin, -1, 0, "", "admin");
    AdvanceClockForTesting(1);
    writer.LogWrite(kLogOperate, kLogLogout, -1, 0, "", "admin");
    EXPECT_EQ(ReadAll("O20200708.log").size(), 1u);
    EXPECT_EQ(ReadAll("O20200709.log").size(), 1u);
}

// Bytes that are not a whole record at the end of a day's file (a crash, a stray append) used
// to shift every later record of the day by their length.
TEST_F(LogTest, TornTailIsCutBeforeTheNextRecordSoTheDayStaysReadable) {
    int64_t t = SetClockForTesting(2020, 7, 8, 10, 15, 0);
    ASSERT_EQ(writer.LogWrite(kLogSystem, kLogConnected, 0, 0, "first", ""), 0);
    {
        std::ofstream f(dir / "S20200708.log", std::ios::app | std::ios::binary);
        f << "GARBAGE";
    }
    ASSERT_EQ(writer.LogWrite(kLogSystem, kLogDisconnected, 0, 1, "second", ""), 0);
    ASSERT_EQ(writer.LogWrite(kLogSystem, kLogConnected, 0, 2, "third", ""), 0);
    EXPECT_EQ(std::filesystem::file_size(dir / "S20200708.log"), 3u * 120u);
    auto records = ReadAll("S20200708.log");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_STREQ(records[0].note, "first");
    EXPECT_STREQ(records[1].note, "second");
    EXPECT_EQ(records[1].subtype, kLogDisconnected);
    EXPECT_STREQ(records[1].device, "cam01:5000-2");
    EXPECT_EQ(records[1].time, static_cast<uint32_t>(t));
    EXPECT_STREQ(records[2].note, "third");
    // A whole record of garbage is a record: it stays, and so do the records around it.
    {
        std::ofstream f(dir / "S20200708.log", std::ios::app | std::ios::binary);
        f << std::string(120 + 50, 'z');
    }
    ASSERT_EQ(writer.LogWrite(kLogSystem, kLogConnected, 0, 3, "fourth", ""), 0);
    records = ReadAll("S20200708.log");
    ASSERT_EQ(records.size(), 5u);
    EXPECT_STREQ(records[2].note, "third");
    EXPECT_STREQ(records[4].note, "fourth");
}

TEST_F(LogTest, LogFilesAreReadableByOwnerAndGroupOnly) {
    SetClockForTesting(2020, 7, 8, 10, 15, 0);
    mode_t saved = umask(0);  // the mode must not depend on the process's mask
    int rc = writer.LogWrite(kLogOperate, kLogLogin, -1, 0, "", "admin");
    umask(saved);
    ASSERT_EQ(rc, 0);
    struct stat st {};
    ASSERT_EQ(stat((dir / "O20200708.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(LogTest, RetentionDeletesOnlyOlderLogFiles) {
    for (const char* name : {"A20200701.log", "A20200630.log", "S20200101.log", "O20200708.log",
                             "Xnotes.txt", "A2020063.log", "readme"})
        WriteText(dir / name, "");
    SetClockForTesting(2020, 7, 8, 0, 5, 0);
    EXPECT_EQ(writer.DeleteOldLogs(1), 2);
    EXPECT_TRUE(std::filesystem::exists(dir / "A20200701.log"));
    EXPECT_FALSE(std::filesystem::exists(dir / "A20200630.log"));
    EXPECT_FALSE(std::filesystem::exists(dir / "S20200101.log"));
    // Foreign files are never deleted, whatever their names compare like.
    EXPECT_TRUE(std::filesystem::exists(dir / "Xnotes.txt"));
    EXPECT_TRUE(std::filesystem::exists(dir / "A2020063.log"));
    EXPECT_TRUE(std::filesystem::exists(dir / "readme"));
    // Each deletion is logged with the file's name.
    auto system = ReadAll("S20200708.log");
    ASSERT_EQ(system.size(), 2u);
    EXPECT_EQ(system[0].subtype, kLogDeleteLogs);
    std::set<std::string> notes = {system[0].note, system[1].note};
    EXPECT_EQ(notes, (std::set<std::string>{"A20200630.log", "S20200101.log"}));
    // 0 keeps today only; negative counts as one week.
    EXPECT_EQ(writer.DeleteOldLogs(-5), 0);
    EXPECT_EQ(writer.DeleteOldLogs(0), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "A20200701.log"));
    EXPECT_TRUE(std::filesystem::exists(dir / "O20200708.log"));
}

TEST_F(LogTest, SearchReadsTheDaysOfTheRangeAndKeepsTheRange) {
    // 2020-06-30 .. 2020-07-03, one motion record an hour.
    int64_t start = SetClockForTesting(2020, 6, 30, 0, 0, 0);
    for (int h = 0; h < 4 * 24; ++h) {
        writer.LogWrite(kLogAlarm, h % 2 ? kLogMotionStop : kLogMotionStart, h % 4, 0, "", "",
                        start + h * 3600);
    }
    writer.LogWrite(kLogAlarm, kLogTemperatureAbnormal, 0, 0, "38.20", "", start + 24 * 3600 + 60);
    LogQuery q;
    q.logType = kLogAlarm;
    q.startTime = SetClockForTesting(2020, 7, 1, 10, 0, 0);
    q.endTime = SetClockForTesting(2020, 7, 2, 9, 0, 0);
    std::vector<LogRecord> found;
    ASSERT_EQ(SearchLogs(dir.str(), q, &found), 0);
    ASSERT_EQ(found.size(), 24u);  // 10:00 on the 1st through 09:00 on the 2nd, inclusive
    EXPECT_EQ(found.front().time, q.startTime);
    EXPECT_EQ(found.back().time, q.endTime);
    // Subtype entries.
    q.startTime = start;
    q.endTime = start + 4 * 86400;
    found.clear();
    q.subtypeEntry = 4;
    SearchLogs(dir.str(), q, &found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_STREQ(found[0].note, "38.20");
    found.clear();
    q.subtypeEntry = 9;  // selects nothing
    SearchLogs(dir.str(), q, &found);
    EXPECT_TRUE(found.empty());
    // Device choice matches host and port exactly: 10.0.0.1 is not 10.0.0.12.
    q.subtypeEntry = 1;
    q.anyDevice = false;
    q.deviceHost = "10.0.0.1";
    q.devicePort = 5000;
    found.clear();
    SearchLogs(dir.str(), q, &found);
    EXPECT_EQ(found.size(), 24u);
    for (const LogRecord& r : found) EXPECT_STREQ(r.device, "10.0.0.1:5000-1");
    // A cut host is found as well.
    q.deviceHost = std::string(31, 'h');
    q.devicePort = 65535;
    found.clear();
    SearchLogs(dir.str(), q, &found);
    EXPECT_EQ(found.size(), 24u);
    // A start not before the end is refused.
    q.endTime = q.startTime;
    EXPECT_EQ(SearchLogs(dir.str(), q, &found), -1);
}

TEST_F(LogTest, OperationSearchFiltersUserAndTruncatedTailEndsAFile) {
    int64_t t = SetClockForTesting(2020, 7, 8, 12, 0, 0);
    writer.LogWrite(kLogOperate, kLogLogin, -1, 0, "", "admin");
    writer.LogWrite(kLogOperate, kLogLogin, -1, 0, "", "guard");
    writer.LogWrite(kLogOperate, kLogManualRecord, 0, 0, "", "guard");
    {
        std::ofstream f(dir / "O20200708.log", std::ios::app | std::ios::binary);
        f << std::string(50, 'x');  // a torn last record
    }
    LogQuery q;
    q.logType = kLogOperate;
    q.startTime = t - 10;
    q.endTime = t + 10;
    q.anyUser = false;
    q.user = "guard";
    std::vector<LogRecord> found;
    SearchLogs(dir.str(), q, &found);
    ASSERT_EQ(found.size(), 2u);
    q.subtypeEntry = 1;
    found.clear();
    SearchLogs(dir.str(), q, &found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].subtype, kLogLogin);
}

TEST_F(LogTest, ExportWritesTheExactLines) {
    SetClockForTesting(2020, 7, 8, 9, 5, 3);
    writer.LogWrite(kLogAlarm, kLogTemperatureAbnormal, 0, 0, "38.20", "");
    std::vector<LogRecord> records = ReadAll("A20200708.log");
    auto same = [](const std::string& s) { return s; };
    EXPECT_EQ(ExportLogs(dir / "out.log", {}, same), -2);
    ASSERT_EQ(ExportLogs(dir / "out.log", records, same), 0);
    ASSERT_EQ(ExportLogs(dir / "out.log", records, [](const std::string& s) { return "<" + s + ">"; }), 0);
    EXPECT_EQ(ReadText(dir / "out.log"),
              "[1][2020-07-08 09:05:03][Alarm][][cam01:5000-1][Temperature abnormal][38.20]\n"
              "[1][2020-07-08 09:05:03][<Alarm>][][cam01:5000-1][<Temperature abnormal>][38.20]\n");
    EXPECT_EQ(ExportLogs(dir / "no/such/folder.log", records, same), -1);
}

TEST_F(LogTest, ReloadPostsTodaysTemperaturesOfKnownChannels) {
    SetClockForTesting(2020, 7, 8, 8, 0, 0);
    writer.LogWrite(kLogAlarm, kLogTemperatureNormal, 0, 1, "36.50", "");
    writer.LogWrite(kLogAlarm, kLogMotionStart, 0, 1, "", "");
    writer.LogWrite(kLogAlarm, kLogTemperatureAbnormal, 1, 63, "38.00", "");
    writer.LogWrite(kLogAlarm, kLogTemperatureAbnormal, 2, 0, "39.00", "");  // no such channel now
    struct Posted {
        int channel, type;
        std::string note;
    };
    std::vector<Posted> posted;
    int n = ReloadTodaysTemperatures(
        dir.str(),
        [](const std::string& device) {
            if (device == FormatLogDeviceText("cam01", 5000, 2)) return 1;
            if (device == FormatLogDeviceText(std::string(31, 'h').c_str(), 65535, 64))
                return 64 + 63;
            return -1;
        },
        [&](int channel, int type, const char* note, uint32_t) {
            posted.push_back({channel, type, note});
        });
    EXPECT_EQ(n, 2);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].channel, 1);
    EXPECT_EQ(posted[0].type, 18);
    EXPECT_EQ(posted[0].note, "36.50");
    EXPECT_EQ(posted[1].channel, 127);
    EXPECT_EQ(posted[1].type, 19);
}

TEST(LogNamesTest, PatternAndTables) {
    EXPECT_TRUE(IsLogFileName("A20200708.log"));
    EXPECT_FALSE(IsLogFileName("B20200708.log"));
    EXPECT_FALSE(IsLogFileName("A2020070a.log"));
    EXPECT_FALSE(IsLogFileName("A20200708.logx"));
    EXPECT_STREQ(LogSubtypeText(43), "Temperature abnormal");
    EXPECT_STREQ(LogSubtypeText(44), "");
    EXPECT_STREQ(LogTypeName(2), "Operate");
    EXPECT_TRUE(SubtypeEntryKeeps(kLogOperate, 7, 36));
    EXPECT_FALSE(SubtypeEntryKeeps(kLogOperate, 7, 37));
    EXPECT_FALSE(SubtypeEntryKeeps(kLogOperate, 11, 16));
    EXPECT_TRUE(SubtypeEntryKeeps(kLogSystem, 0, 40));
}

}  // namespace
}  // namespace ocv
