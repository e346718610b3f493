// The log window's work off the window: which files a search reads, the search and export
// threads' batches, progress and cancel, and the compact result rows.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <mutex>

#include "base/clock.h"
#include "events/log_search.h"
#include "events/log_writer.h"
#include "monitor/log_export_job.h"
#include "monitor/log_results.h"
#include "monitor/log_search_job.h"
#include "monitor/log_window_rules.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

class LogWindowCoreTest : public ::testing::Test {
protected:
    TempDir dir;
    LogWriter writer{dir.str()};
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        writer.SetDeviceAddressResolver([](int index, std::string* host, int* port) {
            if (index != 0) return false;
            *host = "cam01";
            *port = 5000;
            return true;
        });
    }
    void TearDown() override { SetClockSourceForTesting(nullptr); }

    // One alarm record an hour from the start, for days days.
    int64_t WriteDays(int year, int month, int day, int days) {
        int64_t start = SetClockForTesting(year, month, day, 0, 0, 0);
        for (int h = 0; h < days * 24; ++h)
            writer.LogWrite(kLogAlarm, h % 2 ? kLogMotionStop : kLogMotionStart, 0, h % 4, h % 3 ? "" : "n", "",
                            start + h * 3600);
        return start;
    }
    LogResults Collect(const LogQuery& q) {
        LogResults results;
        LogSearchJob job(dir.str(), q, 1, [&](LogRowBatch&& b) { EXPECT_TRUE(results.Append(std::move(b))); });
        EXPECT_EQ(job.Run(), 0);
        return results;
    }
};

TEST_F(LogWindowCoreTest, CandidateFilesAreThoseOfThePrefixBetweenTheDayNamesInclusive) {
    for (const char* name : {"A20200630.log", "A20200701.log", "A20200702.log", "A20200703.log", "S20200701.log",
                             "O20200702.log", "A2020070.log", "A20200702.log.bak", "B20200701.log", "readme"})
        WriteText(dir / name, "");
    LogQuery q;
    q.logType = kLogAlarm;
    q.startTime = SetClockForTesting(2020, 7, 1, 10, 0, 0);
    q.endTime = SetClockForTesting(2020, 7, 2, 9, 0, 0);
    std::vector<std::string> files = CandidateLogFiles(dir.str(), q);
    // Byte order: "A20200702.log.bak" sorts after "A20200702.log" and is outside the range;
    // "A2020070.log" sorts before "A20200701.log".
    EXPECT_EQ(files, (std::vector<std::string>{"A20200701.log", "A20200702.log"}));
    q.logType = kLogSystem;
    EXPECT_EQ(CandidateLogFiles(dir.str(), q), std::vector<std::string>{"S20200701.log"});
    q.logType = 3;
    EXPECT_TRUE(CandidateLogFiles(dir.str(), q).empty());
    EXPECT_TRUE(CandidateLogFiles(dir / "missing", LogQuery{}).empty());
}

TEST_F(LogWindowCoreTest, ASinkThatSaysStopEndsTheSearchAndIsToldOfEachFile) {
    int64_t start = WriteDays(2020, 7, 1, 3);
    struct Sink : LogSearchSink {
        size_t found = 0, stopAfter = 0;
        std::vector<std::pair<size_t, size_t>> files;
        bool stopAtFile = false;
        bool Found(const LogRecord&) override { return ++found != stopAfter; }
        bool FileDone(size_t index, size_t count) override {
            files.emplace_back(index, count);
            return !stopAtFile;
        }
    };
    LogQuery q;
    q.startTime = start;
    q.endTime = start + 3 * 86400;
    Sink all;
    ASSERT_EQ(SearchLogs(dir.str(), q, all), 0);
    EXPECT_EQ(all.found, 72u);
    EXPECT_EQ(all.files, (std::vector<std::pair<size_t, size_t>>{{0, 3}, {1, 3}, {2, 3}}));
    Sink rows;
    rows.stopAfter = 30;
    ASSERT_EQ(SearchLogs(dir.str(), q, rows), 0);
    EXPECT_EQ(rows.found, 30u);
    EXPECT_EQ(rows.files.size(), 1u);  // stopped inside the second file
    Sink file;
    file.stopAtFile = true;
    ASSERT_EQ(SearchLogs(dir.str(), q, file), 0);
    EXPECT_EQ(file.found, 24u);
    // Refused queries never call the sink.
    Sink none;
    q.endTime = q.startTime;
    EXPECT_EQ(SearchLogs(dir.str(), q, none), -1);
    EXPECT_EQ(none.found + none.files.size(), 0u);
}

TEST_F(LogWindowCoreTest, RowsGiveBackTheRecordsTheSearchFound) {
    int64_t start = WriteDays(2020, 7, 1, 2);
    writer.LogWrite(kLogAlarm, kLogTemperatureAbnormal, 0, 0, std::string(63, 'x').c_str(), "", start + 100);
    LogQuery q;
    q.startTime = start;
    q.endTime = start + 2 * 86400;
    std::vector<LogRecord> direct;
    ASSERT_EQ(SearchLogs(dir.str(), q, &direct), 0);
    LogResults results = Collect(q);
    ASSERT_EQ(results.size(), direct.size());
    for (size_t i = 0; i < direct.size(); ++i) {
        LogRecord r = results.Record(i);
        ASSERT_EQ(memcmp(&r, &direct[i], sizeof r), 0) << "row " << i;
    }
    // Texts are kept once: the device texts cam01:5000-1..4, "n" and the long note.
    EXPECT_EQ(results.row(0).device, results.row(4).device);
    EXPECT_NE(results.row(0).device, results.row(1).device);
}

TEST_F(LogWindowCoreTest, ABatchNamingTextsNotSentYetIsRefusedWhole) {
    LogResults results;
    LogRowBatch batch;
    batch.rows.push_back(LogRow{1, 0, 0, 0, 1, 0});
    EXPECT_FALSE(results.Accepts(batch));
    EXPECT_FALSE(results.Append(LogRowBatch(batch)));
    EXPECT_EQ(results.size(), 0u);
    batch.newTexts.push_back("cam01:5000-1");
    ASSERT_TRUE(results.Append(std::move(batch)));
    EXPECT_EQ(results.Text(1), "cam01:5000-1");
    EXPECT_EQ(results.Text(99), "");  // an unknown number reads as the empty text
    LogTextNumbering numbers;
    std::vector<std::string> fresh;
    char field[24] = "cam01";
    EXPECT_EQ(numbers.Number(field, sizeof field, &fresh), 1u);
    EXPECT_EQ(numbers.Number(field, sizeof field, &fresh), 1u);
    char full[4] = {'a', 'b', 'c', 'd'};  // no terminating NUL: the field's size bounds it
    EXPECT_EQ(numbers.Number(full, sizeof full, &fresh), 2u);
    EXPECT_EQ(numbers.Number("", 1, &fresh), 0u);
    EXPECT_EQ(fresh, (std::vector<std::string>{"cam01", "abcd"}));
}

TEST_F(LogWindowCoreTest, TheSearchJobSendsTheFirstFileAtOnceAndEndsWithALastBatch) {
    int64_t start = WriteDays(2020, 7, 1, 3);
    LogQuery q;
    q.startTime = start;
    q.endTime = start + 3 * 86400;
    std::vector<LogRowBatch> batches;
    LogSearchJob job(dir.str(), q, 7, [&](LogRowBatch&& b) { batches.push_back(std::move(b)); });
    ASSERT_EQ(job.Run(), 0);
    ASSERT_GE(batches.size(), 2u);
    EXPECT_EQ(batches.front().rows.size(), 24u);  // the first day, without waiting for the rest
    EXPECT_EQ(batches.front().filesRead, 1u);
    EXPECT_EQ(batches.front().fileCount, 3u);
    size_t rows = 0;
    for (size_t i = 0; i < batches.size(); ++i) {
        EXPECT_EQ(batches[i].search, 7u);
        EXPECT_EQ(batches[i].last, i + 1 == batches.size());
        rows += batches[i].rows.size();
    }
    EXPECT_EQ(rows, 72u);
    EXPECT_EQ(batches.back().filesRead, 3u);
    // No files at all: one last batch, empty.
    q.logType = kLogSystem;
    batches.clear();
    LogSearchJob empty(dir.str(), q, 8, [&](LogRowBatch&& b) { batches.push_back(std::move(b)); });
    ASSERT_EQ(empty.Run(), 0);
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_TRUE(batches[0].last);
    EXPECT_TRUE(batches[0].rows.empty());
}

TEST_F(LogWindowCoreTest, ASearchEndsAtItsRowLimitAndSaysMoreMatched) {
    int64_t start = WriteDays(2020, 7, 1, 3);
    LogQuery q;
    q.startTime = start;
    q.endTime = start + 3 * 86400;
    auto run = [&](size_t limit) {
        std::vector<LogRowBatch> batches;
        LogSearchJob job(dir.str(), q, 1, [&](LogRowBatch&& b) { batches.push_back(std::move(b)); }, limit);
        EXPECT_EQ(job.Run(), 0);
        size_t rows = 0;
        for (const LogRowBatch& b : batches) rows += b.rows.size();
        return std::pair<size_t, bool>(rows, !batches.empty() && batches.back().last && batches.back().truncated);
    };
    EXPECT_EQ(run(30), (std::pair<size_t, bool>{30, true}));
    EXPECT_EQ(run(72), (std::pair<size_t, bool>{72, false}));  // exactly all of them: nothing more matched
    EXPECT_EQ(run(1000), (std::pair<size_t, bool>{72, false}));
}

TEST_F(LogWindowCoreTest, ExportWritesEveryRowInListOrderAndRefusesNothingToWrite) {
    int64_t start = WriteDays(2020, 7, 1, 1);
    LogQuery q;
    q.startTime = start;
    q.endTime = start + 86400;
    LogResults results = Collect(q);
    ASSERT_EQ(results.size(), 24u);
    LogExportTexts texts = MakeLogExportTexts([](const char* s) { return std::string(s); });
    std::vector<std::pair<size_t, bool>> progress;
    LogExportJob job(results, dir / "out.log", texts,
                     [&](size_t written, size_t total, bool ended) {
                         EXPECT_EQ(total, 24u);
                         progress.emplace_back(written, ended);
                     });
    ASSERT_EQ(job.Run(), 0);
    EXPECT_FALSE(job.cancelled());
    EXPECT_EQ(job.written(), 24u);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), (std::pair<size_t, bool>{24, true}));
    std::string text = ReadText(dir / "out.log");
    EXPECT_EQ(text.rfind("[1][2020-07-01 00:00:00][Alarm][][cam01:5000-1][Motion detection occurs][n]\n", 0), 0u);
    EXPECT_NE(text.find("[1][2020-07-01 23:00:00][Alarm][][cam01:5000-4][Stop Motion detection][]\n"),
              std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 24);
    // Appends to what the file held.
    ASSERT_EQ(job.Run(), 0);
    EXPECT_EQ(ReadText(dir / "out.log").size(), 2 * text.size());

    LogResults none;
    LogExportJob empty(none, dir / "empty.log", texts, nullptr);
    EXPECT_EQ(empty.Run(), -2);
    LogExportJob nowhere(results, dir / "no/such/folder.log", texts, nullptr);
    EXPECT_EQ(nowhere.Run(), -1);
    EXPECT_EQ(nowhere.result(), -1);
}

TEST_F(LogWindowCoreTest, ACancelledExportStopsAndSaysSo) {
    int64_t start = WriteDays(2020, 7, 1, 1);
    LogQuery q;
    q.startTime = start;
    q.endTime = start + 86400;
    LogResults results = Collect(q);
    LogExportJob job(results, dir / "out.log", MakeLogExportTexts([](const char* s) { return std::string(s); }),
                     nullptr);
    job.Cancel();
    ASSERT_EQ(job.Run(), 0);
    EXPECT_TRUE(job.cancelled());
    EXPECT_EQ(job.written(), 0u);
    EXPECT_EQ(ReadText(dir / "out.log"), "");
}

TEST(LogWindowRulesTest, TheOpeningRangeCoversTheDaysTheRetentionKeeps) {
    setenv("TZ", "UTC", 1);
    tzset();
    const int64_t now = SetClockForTesting(2020, 7, 8, 15, 30, 0);
    const int64_t today = SetClockForTesting(2020, 7, 8, 0, 0, 0);
    SetClockSourceForTesting(nullptr);
    TimeRange r = DefaultLogRange(now, 0);
    EXPECT_EQ(r.start, today - 0);
    EXPECT_EQ(r.end, today + 86400 - 1);
    EXPECT_EQ(DefaultLogRange(now, 1).start, today - 7 * 86400);
    EXPECT_EQ(DefaultLogRange(now, -5).start, today - 7 * 86400);  // negative counts as one unit
    EXPECT_EQ(DefaultLogRange(now, 4).start, today - 28 * 86400);
    EXPECT_GE(DefaultLogRange(now, 1 << 30).start, 0);  // a damaged setting stays after 1970
    // A summer-time zone: the range still starts and ends on local midnights.
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const int64_t berlinNow = 1585468800 + 12 * 3600;  // 2020-03-29 (clocks went forward), 22:00 local
    TimeRange b = DefaultLogRange(berlinNow, 1);
    time_t s = static_cast<time_t>(b.start), e = static_cast<time_t>(b.end);
    struct tm ls {}, le {};
    localtime_r(&s, &ls);
    localtime_r(&e, &le);
    EXPECT_EQ(ls.tm_hour + ls.tm_min + ls.tm_sec, 0);
    EXPECT_EQ(ls.tm_mday, 22);
    EXPECT_EQ(le.tm_mday, 29);
    EXPECT_EQ(le.tm_hour * 3600 + le.tm_min * 60 + le.tm_sec, 86399);
    setenv("TZ", "UTC", 1);
    tzset();
}

TEST(LogWindowRulesTest, EachSubtypeChoiceSelectsSomethingOfItsLog) {
    for (int type = 0; type < kLogTypeCount; ++type) {
        std::vector<SubtypeChoice> choices = SubtypeChoices(type);
        ASSERT_FALSE(choices.empty());
        EXPECT_EQ(choices[0].entry, 0);
        for (const SubtypeChoice& c : choices) {
            bool any = false;
            for (int st = 0; st < kLogSubtypeCount; ++st) any = any || SubtypeEntryKeeps(type, c.entry, st);
            EXPECT_TRUE(any) << "type " << type << " entry " << c.entry;
        }
    }
    EXPECT_EQ(SubtypeChoices(kLogOperate).size(), 10u);  // entries 9 and 11 select nothing: not offered
    EXPECT_TRUE(SubtypeChoices(3).empty());
}

}  // namespace
}  // namespace ocv
