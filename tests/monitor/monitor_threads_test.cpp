// The monitor's threads: the alarm picture worker following the hub, and the log search and
// export threads stopped while they run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/clock.h"
#include "events/log_writer.h"
#include "monitor/alarm_picture_worker.h"
#include "monitor/log_export_job.h"
#include "monitor/log_search_job.h"
#include "runtime/core_events.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

using namespace std::chrono_literals;

AlarmEvent Reading(int code, int channelId, uint32_t time, const char* text) {
    AlarmEvent e{};
    e.valid = 1;
    e.channelId = channelId;
    e.code = code;
    e.time = time;
    strncpy(e.text, text, sizeof e.text - 1);
    return e;
}

// Waits until pred holds or 5 s pass.
template <class Pred>
bool WaitFor(std::mutex& m, std::condition_variable& cv, Pred pred) {
    std::unique_lock lock(m);
    return cv.wait_for(lock, 5s, pred);
}

TEST(AlarmPictureWorkerTest, OnlyAbnormalReadingsOfRealChannelsArePicturedAndTheQueueIsBounded) {
    CoreEventHub hub;
    std::vector<int> asked;
    int rc = 0;
    int ready = 0;
    AlarmPictureWorker worker(
        hub,
        [&](int channelId, AlarmPicture* out) {
            asked.push_back(channelId);
            if (rc == 0) out->picture = "JPEG" + std::to_string(channelId);
            return rc;
        },
        [&] { ++ready; });
    EXPECT_FALSE(worker.Handle(Reading(kEventTemperatureNormal, 3, 10, "36.50")));
    EXPECT_FALSE(worker.Handle(Reading(kEventMotionStart, 3, 10, "")));
    EXPECT_FALSE(worker.Handle(Reading(kEventTemperatureAbnormal, -1, 10, "38.00")));
    EXPECT_FALSE(worker.Handle(Reading(kEventTemperatureAbnormal, kChannelIdCount, 10, "38.00")));
    EXPECT_TRUE(asked.empty());
    ASSERT_TRUE(worker.Handle(Reading(kEventTemperatureAbnormal, 5, 77, "38.20")));
    std::vector<AlarmPicture> got = worker.TakeReady();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].channelId, 5);
    EXPECT_EQ(got[0].time, 77u);
    EXPECT_EQ(got[0].text, "38.20");
    EXPECT_EQ(got[0].picture, "JPEG5");
    EXPECT_TRUE(worker.TakeReady().empty());
    // No window plays the channel, or the capture failed: nothing queued, nobody told.
    rc = -2;
    EXPECT_FALSE(worker.Handle(Reading(kEventTemperatureAbnormal, 6, 78, "38.30")));
    rc = -1;
    EXPECT_FALSE(worker.Handle(Reading(kEventTemperatureAbnormal, 6, 78, "38.30")));
    EXPECT_EQ(ready, 1);
    // A window that does not keep up keeps the newest pictures.
    rc = 0;
    for (int i = 0; i < int(AlarmPictureWorker::kMaxQueued) + 4; ++i)
        worker.Handle(Reading(kEventTemperatureAbnormal, i, 100 + i, "39.00"));
    got = worker.TakeReady();
    ASSERT_EQ(got.size(), AlarmPictureWorker::kMaxQueued);
    EXPECT_EQ(got.front().channelId, 4);
    EXPECT_EQ(got.back().channelId, int(AlarmPictureWorker::kMaxQueued) + 3);
}

TEST(AlarmPictureWorkerTest, TheThreadRunsTheStartTaskFirstThenPicturesWhatTheHubBrings) {
    CoreEventHub hub;
    std::mutex m;
    std::condition_variable cv;
    int ready = 0;
    std::atomic<int> captured{0};
    AlarmPictureWorker worker(
        hub,
        [&](int channelId, AlarmPicture* out) {
            out->picture = std::to_string(channelId);
            captured.fetch_add(1);
            return 0;
        },
        [&] {
            std::lock_guard lock(m);
            ++ready;
            cv.notify_all();
        });
    // Readings the start task publishes (as the reload of today's readings does) are the
    // day's past: not pictured.
    std::atomic<bool> startRan{false};
    worker.Start([&] {
        hub.Publish(Reading(kEventTemperatureAbnormal, 1, 5, "38.00"));
        startRan.store(true);
    });
    EXPECT_TRUE(worker.Running());
    while (!startRan.load()) std::this_thread::sleep_for(1ms);
    // Published until the worker has subscribed; readings in the gap are missed, so repeat.
    for (int i = 0; i < 500; ++i) {
        hub.Publish(Reading(kEventTemperatureAbnormal, 2, 6, "38.10"));
        if (WaitFor(m, cv, [&] { return ready > 0; })) break;
    }
    ASSERT_TRUE(WaitFor(m, cv, [&] { return ready > 0; }));
    worker.Stop();
    EXPECT_FALSE(worker.Running());
    for (const AlarmPicture& p : worker.TakeReady()) EXPECT_EQ(p.channelId, 2);
    // Stopping twice, or destroying a stopped worker, is harmless.
    worker.Stop();
}

TEST(AlarmPictureWorkerTest, StopEndsAnIdleWorkerWithinASecond) {
    CoreEventHub hub;
    AlarmPictureWorker worker(hub, nullptr, nullptr);
    worker.Start();
    std::this_thread::sleep_for(50ms);
    auto t0 = std::chrono::steady_clock::now();
    worker.Stop();
    // Not a speed claim: the loop's own wait is a second; far beyond it means it never saw stop.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
}

class LogThreadsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    LogWriter writer{dir.str()};
    int64_t start = 0;
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        start = SetClockForTesting(2020, 1, 1, 0, 0, 0);
        SetClockSourceForTesting(nullptr);
        // 20 days, 2000 records a day.
        for (int d = 0; d < 20; ++d)
            for (int i = 0; i < 2000; ++i)
                writer.LogWrite(kLogAlarm, kLogMotionStart, -1, 0, "", "", start + d * 86400 + i * 40);
    }
};

TEST_F(LogThreadsTest, AStoppedSearchEndsPromptlyWithALastBatchAndKeepsWhatItFound) {
    LogQuery q;
    q.startTime = start;
    q.endTime = start + 20 * 86400;
    std::mutex m;
    std::condition_variable cv;
    std::vector<LogRowBatch> batches;
    LogSearchJob* self = nullptr;
    LogSearchJob job(dir.str(), q, 3, [&](LogRowBatch&& b) {
        std::lock_guard lock(m);
        // The window asks it to stop as its first rows arrive (the operator pressed "Stop").
        if (batches.empty()) self->Stop();
        batches.push_back(std::move(b));
        cv.notify_all();
    });
    self = &job;
    job.Start();
    ASSERT_TRUE(WaitFor(m, cv, [&] { return !batches.empty() && batches.back().last; }));
    std::lock_guard lock(m);
    size_t rows = 0;
    for (const LogRowBatch& b : batches) rows += b.rows.size();
    EXPECT_EQ(batches.front().rows.size(), LogSearchJob::kFirstBatchRows);
    // Stopped within the 4096 rows after the request, well before the 40000 of the range.
    EXPECT_LE(rows, LogSearchJob::kFirstBatchRows + 4096);
    EXPECT_LT(batches.back().filesRead, 20u);
}

TEST_F(LogThreadsTest, AnExportCancelledFromAnotherThreadEndsEarlyWithWholeLines) {
    LogQuery q;
    q.startTime = start;
    q.endTime = start + 20 * 86400;
    LogResults results;
    LogSearchJob search(dir.str(), q, 1, [&](LogRowBatch&& b) { results.Append(std::move(b)); });
    ASSERT_EQ(search.Run(), 0);
    ASSERT_EQ(results.size(), 40000u);
    std::mutex m;
    std::condition_variable cv;
    bool ended = false;
    LogExportJob job(results, dir / "out.log", MakeLogExportTexts([](const char* s) { return std::string(s); }),
                     [&](size_t, size_t, bool end) {
                         std::lock_guard lock(m);
                         ended = ended || end;
                         cv.notify_all();
                     });
    job.Start();
    job.Cancel();
    ASSERT_TRUE(WaitFor(m, cv, [&] { return ended; }));
    EXPECT_EQ(job.result(), 0);
    const std::string text = test::ReadText(dir / "out.log");
    const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    EXPECT_EQ(lines, job.written());
    EXPECT_TRUE(text.empty() || text.back() == '\n');
    if (job.cancelled()) {
        EXPECT_LT(lines, 40000u);
    }
}

}  // namespace
}  // namespace ocv
