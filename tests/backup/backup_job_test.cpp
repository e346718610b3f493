// The job's worker: cancelling, progress, failures and what is left on the disk.
#include <gtest/gtest.h>
#include <pthread.h>

#include <filesystem>
#include <mutex>
#include <set>

#include "backup/backup_job.h"
#include "backup/recording_source.h"
#include "backup/snapshot.h"
#include "tests/backup/fake_source.h"
#include "tests/backup/recording_maker.h"
#include "tests/player/test_clip.h"
#include "tests/support/temp_dir.h"

namespace ocv::backup {
namespace {

using test::FakeSource;
using test::TempDir;

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) names.push_back(e.path().filename());
    return names;
}

size_t CountEnding(const std::vector<std::string>& names, const std::string& tail) {
    size_t n = 0;
    for (const auto& s : names) n += s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
    return n;
}

class BackupJobTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string out = dir / "out";
    FakeSource* source = nullptr;

    std::unique_ptr<BackupJob> MakeJob(BackupOptions options = {}) {
        auto s = std::make_unique<FakeSource>();
        source = s.get();
        std::string first = out + "/b.avi";
        if (!options.outputPath) options.outputPath = [first](int n) { return NumberedPath(first, n); };
        options.pauseEveryRecords = 0;
        return std::make_unique<BackupJob>(std::move(s), options);
    }
};

TEST_F(BackupJobTest, CancelledJobLeavesNoFileAtAllNotEvenFinishedSplits) {
    BackupOptions options;
    options.splitBytes = 50 * 1024;
    auto job = MakeJob(options);
    source->records = 1u << 30;
    source->sleepMicros = 50;
    ASSERT_EQ(job->Start(), 0);
    // Wait until earlier outputs are finished and a later one is being written.
    ASSERT_TRUE(test::WaitFor([&] { return CountEnding(Entries(out), ".part") >= 3; }));
    job->Cancel();
    BackupResult r = job->Wait();
    EXPECT_EQ(r.status, BackupStatus::kCancelled);
    EXPECT_TRUE(source->cancelled);
    EXPECT_TRUE(r.files.empty());
    EXPECT_TRUE(Entries(out).empty());
}

TEST_F(BackupJobTest, ProgressRisesOnTheNamedWorkerAndEndsAtHundred) {
    std::mutex mutex;
    std::vector<int> seen;
    std::set<std::string> threads;
    BackupOptions options;
    options.format = ExportFormat::kRecordFile;
    options.onProgress = [&](int percent) {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        std::lock_guard lock(mutex);
        seen.push_back(percent);
        threads.insert(name);
    };
    auto job = MakeJob(options);
    ASSERT_EQ(job->Start(), 0);
    EXPECT_EQ(job->Start(), -1);
    BackupResult r = job->Wait();
    ASSERT_EQ(r.status, BackupStatus::kComplete) << r.error;
    EXPECT_EQ(r.recordsWritten, 1000u);
    EXPECT_TRUE(job->Finished());
    EXPECT_EQ(job->Progress(), 100);
    std::lock_guard lock(mutex);
    ASSERT_GE(seen.size(), 50u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 100), 1);  // only the end reports 100
    EXPECT_EQ(threads, std::set<std::string>{"backup"});
    EXPECT_EQ(Entries(out), std::vector<std::string>{"b.avi"});
}

TEST_F(BackupJobTest, SourceFailureEndsTheJobAndRemovesItsFiles) {
    BackupOptions options;
    options.splitBytes = 20 * 1024;  // an earlier output is already finished by then
    auto job = MakeJob(options);
    source->failAt = 200;
    ASSERT_EQ(job->Start(), 0);
    BackupResult r = job->Wait();
    EXPECT_EQ(r.status, BackupStatus::kFailed);
    EXPECT_EQ(r.error, "the device stopped sending");
    EXPECT_TRUE(Entries(out).empty());
}

TEST_F(BackupJobTest, UnwritableOutputFailsWithThePlaceNamed) {
    test::WriteText(dir / "file", "x");
    BackupOptions options;
    std::string bad = dir / "file/sub/b.avi";
    options.outputPath = [bad](int) { return bad; };
    auto job = MakeJob(options);
    ASSERT_EQ(job->Start(), 0);
    BackupResult r = job->Wait();
    EXPECT_EQ(r.status, BackupStatus::kFailed);
    EXPECT_NE(r.error.find(dir / "file/sub"), std::string::npos) << r.error;
    EXPECT_EQ(Entries(dir.str()), std::vector<std::string>{"file"});
}

TEST_F(BackupJobTest, SourceWithoutKeyFramesWritesNothing) {
    auto job = MakeJob();
    source->gop = 0;
    ASSERT_EQ(job->Start(), 0);
    BackupResult r = job->Wait();
    EXPECT_EQ(r.status, BackupStatus::kNothingWritten);
    EXPECT_EQ(r.recordsWritten, 0u);
    EXPECT_TRUE(Entries(out).empty());
}

TEST_F(BackupJobTest, DestroyingARunningJobStopsItAndCleansUp) {
    {
        auto job = MakeJob();
        source->records = 1u << 30;
        ASSERT_EQ(job->Start(), 0);
        ASSERT_TRUE(test::WaitFor([&] { return source->served.load() > 100; }));
    }
    EXPECT_TRUE(Entries(out).empty());
    BackupJob never(std::make_unique<FakeSource>(), BackupOptions{});
    EXPECT_EQ(never.Start(), -1);  // no output names
    EXPECT_EQ(never.Wait().status, BackupStatus::kFailed);
}

// MP4 exports run a sound encoder thread beside the job's worker (whole exports: export_media_test).
class Mp4JobTest : public BackupJobTest {
protected:
    std::unique_ptr<BackupJob> Mp4Job(int pauseMs) {
        test::TestRecording s;
        s.driveDir = dir / "D";
        s.startSecond = 36000;
        s.seconds = 6;
        test::WriteRecording(s);
        BackupSpan span{2020, 7, 8, 36000, 36010};
        std::vector<SpanFile> files;
        FindSpanFiles({s.driveDir}, s.channelFolder, span, kAnyRecordType, &files);
        BackupOptions options;
        options.format = ExportFormat::kMp4;
        std::string first = out + "/m.mp4";
        options.outputPath = [first](int n) { return NumberedPath(first, n); };
        options.pauseEveryRecords = pauseMs ? 1 : 0;
        options.pauseMs = pauseMs;
        return std::make_unique<BackupJob>(std::make_unique<RecordingSpanSource>(files, span), options);
    }
};

TEST_F(Mp4JobTest, CancelStopsTheSoundEncoderAndLeavesNothing) {
    auto job = Mp4Job(1);
    ASSERT_EQ(job->Start(), 0);
    ASSERT_TRUE(test::WaitFor([&] { return job->Progress() >= 30; }));
    job->Cancel();
    EXPECT_EQ(job->Wait().status, BackupStatus::kCancelled);
    EXPECT_TRUE(Entries(out).empty());
}

TEST(SnapshotSequenceTest, ConcurrentSnapshotsShareOneWrappingSequence) {
    ResetSnapshotSequenceForTesting();
    std::vector<int> counts(100);
    std::mutex mutex;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            std::vector<int> mine;
            for (int i = 0; i < 250; ++i) mine.push_back(TakeSnapshotSequence());
            std::lock_guard lock(mutex);
            for (int n : mine) ++counts[static_cast<size_t>(n)];
        });
    }
    for (auto& t : threads) t.join();
    for (int n = 0; n < 100; ++n) EXPECT_EQ(counts[static_cast<size_t>(n)], 10) << n;
    EXPECT_EQ(TakeSnapshotSequence(), 0);
}

}  // namespace
}  // namespace ocv::backup
