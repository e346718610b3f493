// Jobs that end badly: a full disk and a killed process leave no file with a finished name.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "backup/backup_job.h"
#include "tests/backup/fake_source.h"
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

BackupOptions Options(ExportFormat format, const std::string& first) {
    BackupOptions o;
    o.format = format;
    o.outputPath = [first](int n) { return NumberedPath(first, n); };
    o.pauseEveryRecords = 0;
    return o;
}

TEST(InterruptedJobTest, FullDiskFailsTheJobAndRemovesThePartialFile) {
    TempDir dir;
    for (ExportFormat format : {ExportFormat::kAvi, ExportFormat::kRecordFile}) {
        SCOPED_TRACE(FormatExtension(format));
        // A file size limit stands in for a full disk: writes beyond it fail with EFBIG.
        struct rlimit saved {};
        getrlimit(RLIMIT_FSIZE, &saved);
        struct rlimit small = saved;
        small.rlim_cur = 512 * 1024;
        auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        auto source = std::make_unique<FakeSource>();
        BackupJob job(std::move(source), Options(format, dir / "out/full.bin"));
        ASSERT_EQ(job.Start(), 0);
        BackupResult r = job.Wait();
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, oldHandler);
        EXPECT_EQ(r.status, BackupStatus::kFailed);
        EXPECT_NE(r.error.find("full.bin.part"), std::string::npos) << r.error;
        EXPECT_TRUE(Entries(dir / "out").empty());
    }
}

TEST(InterruptedJobTest, KilledProcessLeavesOnlyPartFiles) {
    TempDir dir;
    std::string out = dir / "out";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto source = std::make_unique<FakeSource>();
        source->records = 1u << 30;
        source->sleepMicros = 20;
        BackupOptions o = Options(ExportFormat::kAvi, out + "/k.avi");
        o.splitBytes = 40 * 1024;
        BackupJob job(std::move(source), o);
        job.Start();
        job.Wait();
        _exit(0);
    }
    // Kill it once finished splits wait for their rename and another file is being written.
    bool splitting = test::WaitFor([&] { return Entries(out).size() >= 3; });
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(splitting);
    ASSERT_TRUE(WIFSIGNALED(status));
    auto names = Entries(out);
    EXPECT_GE(names.size(), 3u);
    for (const std::string& n : names) EXPECT_EQ(n.substr(n.size() - 5), ".part") << n;
}

}  // namespace
}  // namespace ocv::backup
