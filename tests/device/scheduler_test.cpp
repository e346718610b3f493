#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <filesystem>

#include "events/log_file_reader.h"
#include "platform/drives.h"
#include "record/index_file.h"
#include "record/record_file_reader.h"
#include "tests/device/device_test_support.h"

namespace ocv {
namespace {

using test::WaitUntil;
namespace fs = std::filesystem;

// The scheduler sweep against a live simulated camera, with the clock driven by the test.
class SchedulerTest : public test::DeviceServiceTest {
protected:
    test::DevsimProcess sim;
    int d = -1;
    std::string dayFolder(const char* day) {
        return app_ / ("d/QVXFile/" + std::string(day) + "/127.0.0.1-" + std::to_string(sim.device(0).port) + "-1");
    }
    void SetUp() override {
        test::DeviceServiceTest::SetUp();
        test::WriteText(sim.dir() / "site.ini",
                        "[site]\nloop_frames=50\n[device]\nname=CAM\ntype=IPC\nuser=admin\npassword=pw\n"
                        "channels=1\nmain=96x64@64\nsub=off\nkey_interval=25\n");
        std::string error;
        ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
        d = AddDevice("127.0.0.1", sim.device(0).port, 1, "pw");
        StartService();
        SystemSettings& s = service_->store().MutableSettingsForTesting();
        SetRelaxed(s.DISK, 2);  // drive D
        SetRelaxed(s.DISKREMAIN, 1);
        SetRelaxed(s.RECLEN, 5);
        SetRelaxed(s.ALARMLEN, 5);
        SetRelaxed(s.PLANREC, 1);
        SetRelaxed(s.ARMFLAG, 1);
        ChannelInfo& cfg = Stored(d, 0);
        SetRelaxed(cfg.planRecord, 1);
        SetRelaxed(cfg.armAlarm, 1);
        SetRelaxed(cfg.alarmMd, kLinkRecord);
        for (uint32_t& w : cfg.planSchedule) SetRelaxed(w, 0xFFFFFFu);
        for (uint32_t& w : cfg.armSchedule) SetRelaxed(w, 0xFFFFFFu);
        ChannelRuntime& c = Channel(d, 0);
        service_->disks().CheckDisks();
        ASSERT_EQ(service_->disks().CurrentRecordDisk(), 1);
        ASSERT_EQ(service_->connections().OpenChannel(d, 0), 0);
        // Recording needs the picture size of the stream header, which arrives with the stream.
        ASSERT_TRUE(WaitUntil([&] { return c.MainStreamInfo().width != 0; }, 20000));
    }
    // Waits for a file with frames, running the sweep as the scheduler thread would (at the same
    // driven second, so a pass finds nothing new unless a stream was briefly reported lost).
    bool AppearsWithFrames(const std::string& path, uintmax_t frameBytes = 1) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            if (fs::exists(path) && fs::file_size(path) >= 200040 + frameBytes) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            service_->recording().SchedulerPass();
        }
        return false;
    }
    // True when a file does not grow for half a second while the stream keeps flowing.
    bool StaysTheSameSize(const std::string& path) {
        uintmax_t before = fs::file_size(path);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return fs::file_size(path) == before;
    }
    std::vector<LogRecord> SystemLog(int subtype) {
        LogFileReader reader(service_->log().Directory() + "/S20200708.log");
        std::vector<LogRecord> found;
        LogRecord r;
        while (reader.Next(&r))
            if (r.subtype == subtype) found.push_back(r);
        return found;
    }
    int SystemLogCount(int subtype) { return static_cast<int>(SystemLog(subtype).size()); }
    std::vector<IndexRecord> Index(const char* day) {
        std::vector<IndexRecord> records;
        ReadIndexFile(dayFolder(day) + "/images.fi", &records);
        return records;
    }
};

TEST_F(SchedulerTest, PlanRotatesAlarmTakesOverAndPlanReturns) {
    SetClockForTesting(2020, 7, 8, 10, 0, 0);
    service_->recording().SchedulerPass();
    EXPECT_EQ(Channel(d, 0).recordType.load(), 3);
    ASSERT_TRUE(AppearsWithFrames(dayFolder("2020_07_08") + "/PREC200708_100000.qvx"));
    service_->recording().SchedulerPass();  // nothing changes within the file length
    EXPECT_FALSE(fs::exists(dayFolder("2020_07_08") + "/PREC200708_100001.qvx"));

    AdvanceClockForTesting(300);  // RECLEN 5: a new file at the next key frame
    service_->recording().SchedulerPass();
    ASSERT_TRUE(AppearsWithFrames(dayFolder("2020_07_08") + "/PREC200708_100500.qvx"));

    AdvanceClockForTesting(10);
    ASSERT_EQ(service_->alarms().OnDeviceAlarm(d, 0, 0, nullptr, 0), 0);  // motion, record linkage
    service_->recording().SchedulerPass();
    EXPECT_EQ(Channel(d, 0).recordType.load(), 2);
    ASSERT_TRUE(AppearsWithFrames(dayFolder("2020_07_08") + "/AREC200708_100510.qvx"));

    AdvanceClockForTesting(7);  // the hold time has ended: plan again
    service_->recording().SchedulerPass();
    EXPECT_EQ(Channel(d, 0).recordType.load(), 3);
    ASSERT_TRUE(AppearsWithFrames(dayFolder("2020_07_08") + "/PREC200708_100517.qvx"));

    std::vector<IndexRecord> index = Index("2020_07_08");
    ASSERT_GE(index.size(), 3u);
    EXPECT_EQ(index[0].recordType, kRecordPlan);
    EXPECT_EQ(index[0].durationSeconds, 300u);
    EXPECT_GT(index[0].sizeKiB, 195u);
    EXPECT_EQ(index[2].recordType, kRecordAlarm);
    // Every file begins with a key frame.
    for (const auto& e : fs::directory_iterator(dayFolder("2020_07_08"))) {
        if (e.path().extension() != ".qvx") continue;
        RecordFileReader reader;
        ASSERT_EQ(reader.Open(e.path()), 0);
        FrameHeader h;
        std::vector<uint8_t> data;
        ASSERT_TRUE(reader.Next(&h, &data));
        EXPECT_TRUE(IsKeyFrame(h)) << e.path();
    }
}

TEST_F(SchedulerTest, ManualDuringAlarmGivesAManualFile) {
    SetClockForTesting(2020, 7, 8, 11, 0, 0);
    ASSERT_EQ(service_->alarms().OnDeviceAlarm(d, 0, 0, nullptr, 0), 0);
    service_->recording().SchedulerPass();
    ASSERT_TRUE(AppearsWithFrames(dayFolder("2020_07_08") + "/AREC200708_110000.qvx"));
    // The record button: what runs stops, a manual recording starts and its switch stays on.
    AdvanceClockForTesting(2);
    ASSERT_EQ(service_->recording().StartManualRecording(d, 0), 0);
    ASSERT_TRUE(AppearsWithFrames(dayFolder("2020_07_08") + "/NREC200708_110002.qvx"));
    AdvanceClockForTesting(1);
    service_->recording().SchedulerPass();
    EXPECT_EQ(Channel(d, 0).recordType.load(), 1);
}

TEST_F(SchedulerTest, MidnightContinuesInTheNextDaysFolder) {
    SetRelaxed(service_->store().MutableSettingsForTesting().RECLEN, 30);
    SetClockForTesting(2020, 7, 8, 23, 59, 58);
    service_->recording().SchedulerPass();
    ASSERT_TRUE(AppearsWithFrames(dayFolder("2020_07_08") + "/PREC200708_235958.qvx"));
    AdvanceClockForTesting(3);  // 00:00:01 on the 9th
    service_->recording().SchedulerPass();
    ASSERT_TRUE(AppearsWithFrames(dayFolder("2020_07_09") + "/PREC200709_000001.qvx"));
    std::vector<IndexRecord> next = Index("2020_07_09");
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].startSecond, 1);
    std::vector<IndexRecord> before = Index("2020_07_08");
    ASSERT_EQ(before.size(), 1u);
    EXPECT_GT(before[0].sizeKiB, 0u);
}

TEST_F(SchedulerTest, RingOverflowStartsANewFileAndZeroFileLengthBecomesFive) {
    SetRelaxed(service_->store().MutableSettingsForTesting().RECLEN, 0);
    SetClockForTesting(2020, 7, 8, 14, 0, 0);
    service_->recording().SchedulerPass();
    // The setting is the operator's: the scheduler works with 5 minutes and never writes it.
    EXPECT_EQ(Relaxed(service_->store().settings().RECLEN), 0);
    ASSERT_TRUE(AppearsWithFrames(dayFolder("2020_07_08") + "/PREC200708_140000.qvx"));
    AdvanceClockForTesting(2);
    Channel(d, 0).recordStart = -2;  // what the stream callback marks on a ring overflow
    service_->recording().SchedulerPass();
    EXPECT_EQ(Channel(d, 0).recordType.load(), 3);
    EXPECT_EQ(Channel(d, 0).recordStart.load(), clockSnapshot().SecondOfDay());
    ASSERT_TRUE(AppearsWithFrames(dayFolder("2020_07_08") + "/PREC200708_140002.qvx"));
    std::vector<IndexRecord> index = Index("2020_07_08");
    ASSERT_EQ(index.size(), 2u);
    EXPECT_GT(index[0].sizeKiB, 0u);
    // Five minutes later the file is split, as a file length of 5 does.
    AdvanceClockForTesting(299);
    service_->recording().SchedulerPass();
    EXPECT_EQ(Index("2020_07_08").size(), 2u);
    AdvanceClockForTesting(1);
    service_->recording().SchedulerPass();
    ASSERT_TRUE(AppearsWithFrames(dayFolder("2020_07_08") + "/PREC200708_140502.qvx"));
}

TEST_F(SchedulerTest, NoDiskOrLostStreamStopsRecording) {
    const std::string day = dayFolder("2020_07_08");
    SetClockForTesting(2020, 7, 8, 12, 0, 0);
    service_->recording().SchedulerPass();
    ASSERT_TRUE(AppearsWithFrames(day + "/PREC200708_120000.qvx"));

    // Every selected drive full and nothing to cover: recording stops at the next pass.
    std::atomic<uint64_t> freeBytes{0};
    service_->disks().SetPlatformForTesting(
        [](char) { return true; },
        [&](char, uint64_t* bytes) {
            *bytes = freeBytes.load();
            return 0;
        },
        [](char letter, const std::string& rel) { return drives::DrivePath(letter, rel); });
    SetRelaxed(service_->store().MutableSettingsForTesting().COVER, 1);
    service_->disks().CheckDisks();
    ASSERT_EQ(service_->disks().CurrentRecordDisk(), -1);
    EXPECT_TRUE(service_->disks().DiskFull());
    AdvanceClockForTesting(1);
    service_->recording().SchedulerPass();
    EXPECT_EQ(Channel(d, 0).recordType.load(), 0);
    EXPECT_EQ(Channel(d, 0).recordActive.load(), 0);
    EXPECT_TRUE(StaysTheSameSize(day + "/PREC200708_120000.qvx"));
    std::vector<IndexRecord> index = Index("2020_07_08");
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0].sizeKiB, fs::file_size(day + "/PREC200708_120000.qvx") / 1024);
    EXPECT_EQ(SystemLogCount(kLogNoDiskSpace), 1);
    service_->recording().SchedulerPass();  // nothing starts while no disk is usable
    EXPECT_EQ(Channel(d, 0).recordType.load(), 0);

    // Room again: recording resumes in a new file.
    freeBytes = 500ull << 30;
    service_->disks().CheckDisks();
    ASSERT_EQ(service_->disks().CurrentRecordDisk(), 1);
    EXPECT_FALSE(service_->disks().DiskFull());
    AdvanceClockForTesting(1);
    service_->recording().SchedulerPass();
    EXPECT_EQ(Channel(d, 0).recordType.load(), 3);
    ASSERT_TRUE(AppearsWithFrames(day + "/PREC200708_120002.qvx"));

    // No drive selected at all stops it the same way.
    SetRelaxed(service_->store().MutableSettingsForTesting().DISK, 0);
    service_->disks().CheckDisks();
    EXPECT_TRUE(service_->disks().DiskFull());
    AdvanceClockForTesting(1);
    service_->recording().SchedulerPass();
    EXPECT_EQ(Channel(d, 0).recordType.load(), 0);
    EXPECT_TRUE(StaysTheSameSize(day + "/PREC200708_120002.qvx"));
    EXPECT_EQ(SystemLogCount(kLogNoDiskSpace), 2);

    // A lost stream stops it too.
    SetRelaxed(service_->store().MutableSettingsForTesting().DISK, 2);
    service_->disks().CheckDisks();
    AdvanceClockForTesting(1);
    service_->recording().SchedulerPass();
    ASSERT_TRUE(AppearsWithFrames(day + "/PREC200708_120004.qvx"));
    Channel(d, 0).connectState = kStreamClosed;  // what a stream-lost event does
    AdvanceClockForTesting(1);
    service_->recording().SchedulerPass();
    EXPECT_EQ(Channel(d, 0).recordType.load(), 0);
    EXPECT_EQ(Channel(d, 0).recordActive.load(), 0);
    index = Index("2020_07_08");
    ASSERT_EQ(index.size(), 3u);
    for (const IndexRecord& r : index) EXPECT_GT(r.sizeKiB, 0u);  // closed, not left open
}

// The disk refuses to let the file grow (as when it is full) for a while, then takes writes
// again: the failure is logged once for the channel, and the file picks up at a key frame.
TEST_F(SchedulerTest, WriteFailuresAreLoggedAndWritingResumesAtAKeyFrame) {
    const std::string path = dayFolder("2020_07_08") + "/PREC200708_150000.qvx";
    SetClockForTesting(2020, 7, 8, 15, 0, 0);
    service_->recording().SchedulerPass();
    ASSERT_TRUE(AppearsWithFrames(path, 4000));
    struct sigaction ignore {}, saved {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &saved), 0);
    rlimit unlimited {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    uintmax_t gapAt = fs::file_size(path);
    rlimit limited{static_cast<rlim_t>(gapAt), unlimited.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // more than two key frames fail
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    sigaction(SIGXFSZ, &saved, nullptr);
    service_->recording().SchedulerPass();
    ASSERT_TRUE(AppearsWithFrames(path, gapAt - 200040 + 4000));
    AdvanceClockForTesting(1);
    ASSERT_EQ(service_->recording().StopRecording(d, 0), 0);

    std::vector<LogRecord> errors = SystemLog(kLogDiskError);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(std::string(errors[0].device), "127.0.0.1:" + std::to_string(sim.device(0).port) + "-1");
    EXPECT_STREQ(errors[0].note, "PREC200708_150000.qvx");
    // After the gap (a jump on the file's time line) the first record is a key frame.
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    FrameHeader h;
    std::vector<uint8_t> data;
    uint32_t previous = 0;
    int gaps = 0;
    while (reader.Next(&h, &data)) {
        if (!IsVideoFrame(h)) continue;
        if (previous != 0 && h.timestampMs - previous > 1000) {
            ++gaps;
            EXPECT_TRUE(IsKeyFrame(h)) << "frame type " << h.frameType;
        }
        previous = h.timestampMs;
    }
    EXPECT_EQ(gaps, 1);
    EXPECT_EQ(reader.Offset(), reader.FileSize());
    // Every index entry holds a key frame.
    for (const KeyFrameIndexEntry& e : reader.KeyFrames()) {
        ASSERT_EQ(reader.Seek(e.fileOffset), 0);
        ASSERT_TRUE(reader.Next(&h, &data));
        EXPECT_TRUE(IsKeyFrame(h));
    }
}

}  // namespace
}  // namespace ocv

namespace ocv {
namespace {

// An independent check: the H.264 of a recorded file, taken out with the reader, decodes without
// a single error in FFmpeg's own command-line tool.
TEST_F(SchedulerTest, RecordedVideoDecodesCleanlyWithFfmpeg) {
    if (system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
    SetClockForTesting(2020, 7, 8, 13, 0, 0);
    service_->recording().SchedulerPass();
    std::string path = dayFolder("2020_07_08") + "/PREC200708_130000.qvx";
    ASSERT_TRUE(AppearsWithFrames(path, 20000));
    AdvanceClockForTesting(1);
    ASSERT_EQ(service_->recording().StopRecording(d, 0), 0);
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    std::string h264 = app_ / "out.h264";
    FILE* out = fopen(h264.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    FrameHeader h;
    std::vector<uint8_t> data;
    int frames = 0;
    while (reader.Next(&h, &data)) {
        if (!IsVideoFrame(h)) continue;
        size_t extension = ExtensionBlockCount(h.frameType) * kFrameExtensionBlockBytes;
        ASSERT_LE(extension, data.size());
        fwrite(data.data(), 1, data.size() - extension, out);
        ++frames;
    }
    fclose(out);
    EXPECT_GT(frames, 25);
    std::string errors = app_ / "ffmpeg.txt";
    int rc = system(("ffmpeg -nostdin -v error -i '" + h264 + "' -f null - 2>'" + errors + "'").c_str());
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(test::ReadText(errors), "");
}

}  // namespace
}  // namespace ocv
