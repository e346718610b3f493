#include "record/record_repair.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/app_dir.h"
#include "record/index_file.h"
#include "record/record_file_reader.h"
#include "record/recorder.h"
#include "shell/base/clock.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Frame(uint32_t type, uint32_t ts, uint32_t number, uint32_t size) {
    std::vector<uint8_t> rec(kFrameHeaderBytes + size, static_cast<uint8_t>(number));
    FrameHeader h{1, size, ts, type};
    memcpy(rec.data(), &h, sizeof h);
    memcpy(rec.data() + kFrameHeaderBytes, &number, 4);
    return rec;
}

class RecordRepairTest : public ::testing::Test {
protected:
    test::TempDir app;
    std::string saved = AppDir();
    std::string folder;
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        SetAppDir(app.str());
        test::WriteText(app / "config.ini", "[DRIVES]\nD=" + app.str() + "/d\n");
        fs::create_directories(app / "d");
        SetClockForTesting(2020, 7, 8, 10, 15, 0);
        folder = app / "d/QVXFile/2020_07_08/cam01-5000-1";
    }
    void TearDown() override {
        SetAppDir(saved);
        SetClockSourceForTesting(nullptr);
    }
};

// A recorder in a child process is killed with SIGKILL while it writes; after the repair every
// frame that reached the file whole reads back, in order, and the index tells the truth.
TEST_F(RecordRepairTest, KilledRecorderLosesNoCompletedFrame) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        Recorder rec(0, 0, nullptr);
        rec.Start(1);
        rec.SetStreamInfo(StreamInfo{1, 352, 288, 0, 0, 0, 25});
        rec.InitDisk(1);
        RecordStartInfo info{2020, 7, 8, 10, 15, 0, 1, 3, 0, {}};
        strcpy(info.folder, "cam01-5000-1");
        rec.StartRecording(info, 3, false);
        for (uint32_t n = 0;; ++n) {
            auto f = Frame(n % 25 == 0 ? 1 : 2, n * 40, n, 20000 + (n * 7919) % 30000);
            rec.AddFrame(f.data(), static_cast<uint32_t>(f.size()), n * 40, 1);
            if (n == 200) {
                char c = 1;
                if (write(ready[1], &c, 1) != 1) _exit(1);
            }
            usleep(200);
        }
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    usleep(50 * 1000);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(ready[0]);

    std::vector<IndexRecord> before;
    ASSERT_EQ(ReadIndexFile(folder + "/images.fi", &before), 0);
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0].sizeKiB, 0u);  // left open by the crash

    RepairSummary s = RepairRecordings();
    EXPECT_EQ(s.recordsRepaired, 1);
    std::string path = folder + "/PREC200708_101500.qvx";
    std::vector<IndexRecord> after;
    ASSERT_EQ(ReadIndexFile(folder + "/images.fi", &after), 0);
    EXPECT_EQ(after[0].sizeKiB, fs::file_size(path) / 1024);
    EXPECT_GE(after[0].durationSeconds, 7u);  // 200 frames of 40 ms at least

    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    FrameHeader h;
    std::vector<uint8_t> data;
    uint32_t expected = 0;
    while (reader.Next(&h, &data)) {
        uint32_t n;
        memcpy(&n, data.data(), 4);
        ASSERT_EQ(n, expected++);
        ASSERT_EQ(data.back(), static_cast<uint8_t>(n));
    }
    EXPECT_GT(expected, 200u);
    EXPECT_EQ(reader.Offset(), reader.FileSize());  // nothing torn left behind
    // A second repair finds nothing to do.
    EXPECT_EQ(RepairRecordings().recordsRepaired, 0);
}

TEST_F(RecordRepairTest, PartialLastRecordIsCutAndDamagedHeadersAreLeftAlone) {
    fs::create_directories(folder);
    {
        RecordFileWriter w;
        ASSERT_EQ(w.Create(folder + "/NREC200708_101500.qvx"), 0);
        ASSERT_EQ(w.Open(36900000), 0);
        for (uint32_t n = 0; n < 60; ++n) {
            auto f = Frame(n % 25 == 0 ? 1 : 2, n * 40, n, 3000);
            ASSERT_EQ(w.WriteFrame(f.data(), static_cast<uint32_t>(f.size())), 0);
        }
        // w is dropped open-ended below: its destructor closes the descriptor only.
    }
    uint64_t whole = fs::file_size(folder + "/NREC200708_101500.qvx");
    {
        std::ofstream f(folder + "/NREC200708_101500.qvx", std::ios::app | std::ios::binary);
        auto torn = Frame(2, 2400, 60, 3000);
        f.write(reinterpret_cast<const char*>(torn.data()), 1000);
    }
    test::WriteText(folder + "/AREC200708_102000.qvx", std::string(300000, 'x'));  // no magic
    IndexRecord a{}, b{};
    a.startHour = 10;
    a.startMinute = 15;
    a.recordType = kRecordManual;
    b.startHour = 10;
    b.startMinute = 20;
    b.recordType = kRecordAlarm;
    ASSERT_EQ(AppendIndexRecord(folder + "/images.fi", a), 0);
    ASSERT_EQ(AppendIndexRecord(folder + "/images.fi", b), 1);

    RepairSummary s = RepairChannelFolder(folder);
    EXPECT_EQ(s.recordsRepaired, 1);
    EXPECT_EQ(s.filesCut, 1);
    EXPECT_EQ(s.filesSkipped, 1);
    EXPECT_EQ(fs::file_size(folder + "/NREC200708_101500.qvx"), whole);
    EXPECT_EQ(fs::file_size(folder + "/AREC200708_102000.qvx"), 300000u);  // untouched
    std::vector<IndexRecord> after;
    ASSERT_EQ(ReadIndexFile(folder + "/images.fi", &after), 0);
    EXPECT_EQ(after[0].sizeKiB, whole / 1024);
    EXPECT_EQ(after[0].durationSeconds, 2u);  // 59 steps of 40 ms on the video time line
    EXPECT_EQ(after[1].sizeKiB, 0u);
}

}  // namespace
}  // namespace ocv
