#include "record/recorder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <atomic>
#include <mutex>
#include <thread>

#include "platform/app_dir.h"
#include "record/index_file.h"
#include "record/record_file_reader.h"
#include "base/clock.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

namespace fs = std::filesystem;

// Frame records whose data starts with the frame's number, so files can be read back by it.
std::vector<uint8_t> Frame(uint32_t kind, uint32_t type, uint32_t ts, uint32_t number,
                           uint32_t size = 64) {
    std::vector<uint8_t> rec(kFrameHeaderBytes + size, 0);
    FrameHeader h{kind, size, ts, type};
    memcpy(rec.data(), &h, sizeof h);
    memcpy(rec.data() + kFrameHeaderBytes, &number, 4);
    return rec;
}

// A stream of `kbps` at 25 pictures/s, a key frame each second five times the size of the
// others; frame numbers from 0, timestamps 1000 + 40 ms per frame.
struct Stream {
    uint32_t kbps = 4000;
    uint32_t next = 0;
    std::vector<uint8_t> Make(uint32_t number) const {
        uint32_t predicted = kbps * 1000 / 8 / 29;
        bool key = number % 25 == 0;
        return Frame(1, key ? 1 : 2, 1000 + number * 40, number, key ? 5 * predicted : predicted);
    }
};

class RecorderTest : public ::testing::Test {
protected:
    test::TempDir app;
    std::string savedAppDir = AppDir();
    std::mutex eventsMutex;
    std::vector<int> events;
    std::unique_ptr<Recorder> rec;
    StreamInfo info{kVideoCodecH264, 352, 288, kAudioG711ALaw, 8000, 1, 25};

    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        SetAppDir(app.str());
        test::WriteText(app / "config.ini", "[DRIVES]\nD=" + app.str() + "/d\nE=" + app.str() + "/e\n");
        fs::create_directories(app / "d");
        fs::create_directories(app / "e");
        SetClockForTesting(2020, 7, 8, 10, 15, 0);
        rec = std::make_unique<Recorder>(1, 2, [this](int id) {
            std::lock_guard lock(eventsMutex);
            events.push_back(id);
        });
    }
    void TearDown() override {
        rec.reset();
        SetAppDir(savedAppDir);
        SetClockSourceForTesting(nullptr);
    }
    RecordStartInfo StartInfo(uint32_t type) {
        ClockSnapshot now = clockSnapshot();
        RecordStartInfo s{};
        s.year = now.year;
        s.month = now.month;
        s.day = now.day;
        s.hour = now.hour;
        s.minute = now.minute;
        s.second = now.second;
        s.disk = 1;
        s.recordType = type;
        strcpy(s.folder, "cam01-5000-3");
        return s;
    }
    // Video at 25 fps from t0, a key frame every 25 frames starting at frame keyPhase.
    void Feed(uint32_t first, uint32_t count, uint32_t keyPhase = 0) {
        for (uint32_t n = first; n < first + count; ++n) {
            bool key = (n % 25) == keyPhase;
            auto f = Frame(1, key ? 1 : 2, 1000 + n * 40, n);
            ASSERT_EQ(rec->AddFrame(f.data(), static_cast<uint32_t>(f.size()), 1000 + n * 40, 1), 0);
        }
    }
    std::string Folder() { return app / "d/QVXFile/2020_07_08/cam01-5000-3"; }
    std::vector<uint32_t> FrameNumbers(const std::string& path) {
        RecordFileReader reader;
        std::vector<uint32_t> numbers;
        if (reader.Open(path) != 0) return numbers;
        FrameHeader h;
        std::vector<uint8_t> data;
        while (reader.Next(&h, &data)) {
            uint32_t n;
            memcpy(&n, data.data(), 4);
            numbers.push_back(n);
        }
        return numbers;
    }
    // Feeds seconds of the stream; false when a frame was not taken.
    bool FeedStream(Recorder& r, Stream& stream, uint32_t seconds) {
        for (uint32_t end = stream.next + seconds * 25; stream.next < end; ++stream.next) {
            auto f = stream.Make(stream.next);
            if (r.AddFrame(f.data(), static_cast<uint32_t>(f.size()), 1000 + stream.next * 40, 1) != 0) return false;
        }
        return true;
    }
    // Waits (at most 5 s) until the file holds frames up to `last`.
    std::vector<uint32_t> WaitForFrame(Recorder& r, uint32_t last) {
        std::vector<uint32_t> numbers;
        for (int i = 0; i < 500; ++i) {
            std::string path = r.OpenFilePath();
            if (!path.empty()) numbers = FrameNumbers(path);
            if (!numbers.empty() && numbers.back() >= last) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return numbers;
    }
    void WaitDrained() {
        for (int i = 0; i < 400 && !rec->RingStats().bytesWritten; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        rec->DrainForTesting();
    }
};

TEST_F(RecorderTest, PreRecordClampsAndRingLimits) {
    // Before Start a recorder takes no frame and maps no ring.
    rec->SetStreamInfo(info);
    auto f = Frame(1, 1, 1000, 0);
    EXPECT_EQ(rec->AddFrame(f.data(), static_cast<uint32_t>(f.size()), 1000, 1), -1);
    EXPECT_EQ(rec->RingCapacity(), 0u);
    struct Case {
        int pre, expectedPre;
        uint32_t limit;
    } cases[] = {{0, 1, 6u << 20}, {-3, 1, 6u << 20}, {16, 1, 6u << 20}, {5, 5, 6u << 20},
                 {6, 6, 8u << 20}, {10, 10, 8u << 20}, {11, 11, 10u << 20}, {15, 15, 10u << 20}};
    for (const Case& c : cases) {
        ASSERT_EQ(rec->Start(c.pre), 0);
        EXPECT_EQ(rec->PreRecordSeconds(), c.expectedPre) << c.pre;
        EXPECT_EQ(rec->RingCapacityLimit(), c.limit) << c.pre;
    }
    // The ring is mapped by the first frame, at its smallest.
    EXPECT_EQ(rec->RingCapacity(), 0u);
    EXPECT_EQ(rec->AddFrame(f.data(), static_cast<uint32_t>(f.size()), 1000, 1), 0);
    EXPECT_EQ(rec->RingCapacity(), Recorder::kMinRingBytes);
}

TEST_F(RecorderTest, FramesBeforeThePictureSizeAreRefused) {
    ASSERT_EQ(rec->Start(5), 0);
    auto f = Frame(1, 1, 1000, 0);
    EXPECT_EQ(rec->AddFrame(f.data(), static_cast<uint32_t>(f.size()), 1000, 1), -1);
    rec->SetStreamInfo(StreamInfo{1, 0, 288, 0, 0, 0, 0});
    EXPECT_EQ(rec->AddFrame(f.data(), static_cast<uint32_t>(f.size()), 1000, 1), -1);
    rec->SetStreamInfo(info);
    EXPECT_EQ(rec->AddFrame(f.data(), static_cast<uint32_t>(f.size()), 1000, 1), 0);
    EXPECT_EQ(rec->StartRecording(StartInfo(1), 1, false), -1);  // no disk yet
    EXPECT_EQ(rec->StartIfIdle(StartInfo(1)), -1);
}

TEST_F(RecorderTest, RecordingBeginsAtTheFirstBufferedKeyFrame) {
    ASSERT_EQ(rec->Start(5), 0);
    rec->SetStreamInfo(info);
    rec->InitDisk(1);
    Feed(0, 75, 12);  // 3 s buffered; key frames are frames 12, 37 and 62
    auto audio = Frame(2, 0, 0, 1000);
    ASSERT_EQ(rec->AddFrame(audio.data(), static_cast<uint32_t>(audio.size()), 0, 2), 0);
    rec->DrainForTesting();  // nothing trimmed: 3 s < 5 s of pre-record
    ASSERT_EQ(rec->StartRecording(StartInfo(3), 3, false), 0);
    Feed(75, 10, 12);
    rec->DrainForTesting();
    std::string path = rec->OpenFilePath();
    EXPECT_EQ(path, Folder() + "/PREC200708_101500.qvx");
    rec->StopRecording();
    std::vector<uint32_t> numbers = FrameNumbers(path);
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(numbers.front(), 12u);  // not frame 0 (predicted) and not the current frame
    EXPECT_EQ(numbers.back(), 84u);
    EXPECT_EQ(numbers.size(), 84u - 12u + 1u + 1u);  // with the audio frame
    std::vector<IndexRecord> index;
    ASSERT_EQ(ReadIndexFile(Folder() + "/images.fi", &index), 0);
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0].recordType, kRecordPlan);
    EXPECT_EQ(index[0].startMinute, 15);
    EXPECT_EQ(index[0].sizeKiB, fs::file_size(path) / 1024);
    std::lock_guard lock(eventsMutex);
    EXPECT_EQ(events, (std::vector<int>{66, 66}));  // first file, then the end
}

TEST_F(RecorderTest, PreRecordTrimsToTheConfiguredSeconds) {
    ASSERT_EQ(rec->Start(1), 0);
    rec->SetStreamInfo(info);
    rec->InitDisk(1);
    Feed(0, 100, 0);  // 4 s of stream, key frames 0, 25, 50, 75
    rec->DrainForTesting();
    ASSERT_EQ(rec->StartRecording(StartInfo(1), 1, false), 0);
    Feed(100, 1, 0);
    rec->DrainForTesting();
    std::string path = rec->OpenFilePath();
    rec->StopRecording();
    std::vector<uint32_t> numbers = FrameNumbers(path);
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(numbers.front(), 75u) << numbers.size() << " " << numbers.back();  // about one second back: the key frame at 3 s
    EXPECT_NE(path.find("/NREC200708_101500.qvx"), std::string::npos);
}

TEST_F(RecorderTest, SplitClosesAtAKeyFrameAndOpensTheNextFile) {
    ASSERT_EQ(rec->Start(1), 0);
    rec->SetStreamInfo(info);
    rec->InitDisk(1);
    ASSERT_EQ(rec->StartRecording(StartInfo(3), 3, false), 0);
    Feed(0, 30);
    rec->DrainForTesting();
    std::string first = rec->OpenFilePath();
    AdvanceClockForTesting(300);
    ASSERT_EQ(rec->StartRecording(StartInfo(2), 2, true), 0);
    Feed(30, 10);  // no key frame: still the first file
    rec->DrainForTesting();
    EXPECT_EQ(rec->OpenFilePath(), first);
    Feed(40, 20);  // key frame 50 splits
    rec->DrainForTesting();
    std::string second = rec->OpenFilePath();
    EXPECT_EQ(second, Folder() + "/AREC200708_102000.qvx");
    std::vector<uint32_t> a = FrameNumbers(first);
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a.back(), 49u);
    AdvanceClockForTesting(60);
    rec->StopRecording();
    std::vector<uint32_t> b = FrameNumbers(second);
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(b.front(), 50u);
    std::vector<IndexRecord> index;
    ASSERT_EQ(ReadIndexFile(Folder() + "/images.fi", &index), 0);
    ASSERT_EQ(index.size(), 2u);
    EXPECT_EQ(index[0].recordType, kRecordPlan);
    EXPECT_EQ(index[0].durationSeconds, 300u);
    EXPECT_GT(index[0].sizeKiB, 0u);
    EXPECT_EQ(index[1].recordType, kRecordAlarm);
    EXPECT_EQ(index[1].startMinute, 20);
    EXPECT_EQ(index[1].durationSeconds, 60u);
    EXPECT_FALSE(rec->IsRecording());
}

// A start time that repeats (the clock set back, the hour that comes twice when summer time
// ends) used to reopen the earlier recording of that name and truncate it.
TEST_F(RecorderTest, RepeatedNameStartsUnderTheNextFreeSecond) {
    ASSERT_EQ(rec->Start(1), 0);
    rec->SetStreamInfo(info);
    rec->InitDisk(1);
    auto recordOnce = [&](uint32_t firstFrame) {
        SetClockForTesting(2020, 7, 8, 10, 15, 0);
        EXPECT_EQ(rec->StartRecording(StartInfo(3), 3, false), 0);
        Feed(firstFrame, 50);
        rec->DrainForTesting();
        std::string path = rec->OpenFilePath();
        rec->StopRecording();
        return path;
    };
    std::string first = recordOnce(0);
    ASSERT_EQ(first, Folder() + "/PREC200708_101500.qvx");
    uintmax_t firstSize = fs::file_size(first);
    // A file nobody listed already holds the next second's name.
    test::WriteText(Folder() + "/PREC200708_101501.qvx", "stray");
    std::string second = recordOnce(50);
    EXPECT_EQ(second, Folder() + "/PREC200708_101502.qvx");
    // A listed name whose file has gone is not free either: images.fi never lists a name twice.
    fs::remove(second);
    std::string third = recordOnce(100);
    EXPECT_EQ(third, Folder() + "/PREC200708_101503.qvx");

    EXPECT_EQ(fs::file_size(first), firstSize);
    std::vector<uint32_t> a = FrameNumbers(first);
    ASSERT_EQ(a.size(), 50u);
    EXPECT_EQ(a.front(), 0u);
    EXPECT_EQ(FrameNumbers(third).front(), 100u);
    EXPECT_EQ(test::ReadText(Folder() + "/PREC200708_101501.qvx"), "stray");
    std::vector<IndexRecord> index;
    ASSERT_EQ(ReadIndexFile(Folder() + "/images.fi", &index), 0);
    ASSERT_EQ(index.size(), 3u);
    EXPECT_EQ(index[0].startSecond, 0);
    EXPECT_EQ(index[1].startSecond, 2);
    EXPECT_EQ(index[2].startSecond, 3);
    EXPECT_EQ(index[0].sizeKiB, firstSize / 1024);
}

// A frame cut short whose cut-back fails ends the file; the next key frame begins a new one,
// the old file's index record tells its whole size, and the failure is reported for the log.
TEST_F(RecorderTest, FailedCutBackEndsTheFileAndTheNextKeyFrameBeginsANewOne) {
    ASSERT_EQ(rec->Start(1), 0);
    rec->SetStreamInfo(info);
    rec->InitDisk(1);
    ASSERT_EQ(rec->StartRecording(StartInfo(3), 3, false), 0);
    Feed(0, 30);
    rec->DrainForTesting();
    std::string first = rec->OpenFilePath();
    ASSERT_EQ(first, Folder() + "/PREC200708_101500.qvx");
    uintmax_t whole = fs::file_size(first);
    EXPECT_TRUE(rec->TakeWriteFailures().empty());

    RecordFileWriter& w = rec->FileWriterForTesting();
    bool failNext = true;
    w.SetPwriteForTesting([&](int fd, const void* data, size_t size, off_t offset) -> ssize_t {
        if (failNext && size > 20) {
            failNext = false;
            ssize_t n = ::pwrite(fd, data, size / 2, offset);
            (void)n;
            errno = EIO;
            return -1;
        }
        return ::pwrite(fd, data, size, offset);
    });
    bool cutWorks = false;
    w.SetFtruncateForTesting([&](int fd, off_t length) {
        if (!cutWorks) {
            errno = EIO;
            return -1;
        }
        return ::ftruncate(fd, length);
    });
    AdvanceClockForTesting(5);
    Feed(30, 30);  // frame 30 is cut short; 31..49 cannot be decoded without it; 50 is a key frame
    rec->DrainForTesting();
    std::string second = rec->OpenFilePath();
    EXPECT_EQ(second, Folder() + "/PREC200708_101505.qvx");
    AdvanceClockForTesting(2);
    rec->StopRecording();

    std::vector<uint32_t> a = FrameNumbers(first);
    ASSERT_EQ(a.size(), 30u);
    EXPECT_EQ(a.back(), 29u);
    std::vector<uint32_t> b = FrameNumbers(second);
    ASSERT_EQ(b.size(), 10u);
    EXPECT_EQ(b.front(), 50u);
    std::vector<IndexRecord> index;
    ASSERT_EQ(ReadIndexFile(Folder() + "/images.fi", &index), 0);
    ASSERT_EQ(index.size(), 2u);
    EXPECT_EQ(index[0].sizeKiB, whole / 1024);
    EXPECT_GT(index[0].sizeKiB, 0u);
    EXPECT_EQ(index[0].durationSeconds, 5u);
    EXPECT_EQ(index[1].startSecond, 5);
    EXPECT_EQ(index[1].sizeKiB, fs::file_size(second) / 1024);
    std::vector<std::string> failures = rec->TakeWriteFailures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], "PREC200708_101500.qvx");
    EXPECT_TRUE(rec->TakeWriteFailures().empty());
}

TEST_F(RecorderTest, RecordingsAreReadableByOwnerAndGroupOnly) {
    mode_t saved = umask(0);  // the modes must not depend on the process's mask
    ASSERT_EQ(rec->Start(1), 0);
    rec->SetStreamInfo(info);
    rec->InitDisk(1);
    ASSERT_EQ(rec->StartRecording(StartInfo(1), 1, false), 0);
    Feed(0, 30);
    rec->DrainForTesting();
    std::string path = rec->OpenFilePath();
    rec->StopRecording();
    umask(saved);
    ASSERT_FALSE(path.empty());
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(stat((Folder() + "/images.fi").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(RecorderTest, RingOverflowEmptiesTheRing) {
    ASSERT_EQ(rec->Start(5), 0);  // 6 MiB ring
    rec->SetStreamInfo(info);
    std::vector<uint8_t> big = Frame(1, 2, 5000, 0, 1000000);
    int rc = 0, n = 0;
    for (; n < 10 && rc == 0; ++n)
        rc = rec->AddFrame(big.data(), static_cast<uint32_t>(big.size()), 5000, 1);
    EXPECT_EQ(rc, -2);
    EXPECT_EQ(n, 7);  // six 1 MB frames fit
    // Emptied: the next frame fits again.
    EXPECT_EQ(rec->AddFrame(big.data(), static_cast<uint32_t>(big.size()), 5000, 1), 0);
}

TEST_F(RecorderTest, DestroyWhileRecordingClosesFileAndIndex) {
    ASSERT_EQ(rec->Start(1), 0);
    rec->SetStreamInfo(info);
    rec->InitDisk(1);
    ASSERT_EQ(rec->StartRecording(StartInfo(1), 1, false), 0);
    Feed(0, 30);
    rec->DrainForTesting();
    std::string path = rec->OpenFilePath();
    ASSERT_FALSE(path.empty());
    rec.reset();
    std::vector<IndexRecord> index;
    ASSERT_EQ(ReadIndexFile(Folder() + "/images.fi", &index), 0);
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0].sizeKiB, fs::file_size(path) / 1024);
    EXPECT_EQ(FrameNumbers(path).size(), 30u);
}

TEST_F(RecorderTest, WriterThreadWritesWithoutHelp) {
    ASSERT_EQ(rec->Start(1), 0);
    rec->SetStreamInfo(info);
    rec->InitDisk(1);
    ASSERT_EQ(rec->StartRecording(StartInfo(1), 1, false), 0);
    Feed(0, 50);
    std::string path;
    for (int i = 0; i < 400; ++i) {
        path = rec->OpenFilePath();
        if (!path.empty() && FrameNumbers(path).size() == 50u) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(FrameNumbers(path).size(), 50u);
    EXPECT_EQ(rec->ChangeDisk(1), 0);
    EXPECT_EQ(rec->ChangeDisk(2), -1);
    rec->InitDisk(5);
    EXPECT_EQ(rec->DiskIndex(), 2);
}

// The ring follows the stream: a 4 Mbit/s stream with 5 s of pre-record gets about what 5 s
// of it take, a 256 kbit/s stream keeps the smallest ring, and a stream whose rate rises gets a
// larger ring without losing a frame.
TEST_F(RecorderTest, RingIsSizedByTheStreamsBitRate) {
    ASSERT_EQ(rec->Start(5), 0);
    rec->SetStreamInfo(info);
    Stream fast{4000};
    ASSERT_TRUE(FeedStream(*rec, fast, 10));
    const uint32_t fiveSeconds = 5 * 4000 * 1000 / 8;
    EXPECT_GE(rec->RingCapacity(), fiveSeconds);
    EXPECT_LT(rec->RingCapacity(), 3u << 20);
    EXPECT_EQ(rec->RingStats().writeFailures, 0u);

    Recorder slow(1, 3, nullptr);
    ASSERT_EQ(slow.Start(5), 0);
    slow.SetStreamInfo(info);
    Stream sub{256};
    ASSERT_TRUE(FeedStream(slow, sub, 10));
    EXPECT_EQ(slow.RingCapacity(), Recorder::kMinRingBytes);
    // The rate goes up sixteen times: the ring grows with it, no frame is refused.
    sub.kbps = 4096;
    ASSERT_TRUE(FeedStream(slow, sub, 10));
    EXPECT_GE(slow.RingCapacity(), fiveSeconds);
    EXPECT_LT(slow.RingCapacity(), 3u << 20);
    EXPECT_EQ(slow.RingStats().writeFailures, 0u);
}

// A channel that can record pre-records from the moment its recorder is started; an alarm
// recording then begins at the first key frame of the pre-record seconds, with every frame from
// there on, although the ring started small and grew on the way.
TEST_F(RecorderTest, AlarmRecordingKeepsEveryPreRecordSecond) {
    ASSERT_EQ(rec->Start(5), 0);
    rec->SetStreamInfo(info);
    rec->InitDisk(1);
    Stream stream{4000};
    ASSERT_TRUE(FeedStream(*rec, stream, 8));  // frames 0..199, the last at 8960 ms
    EXPECT_GT(rec->RingCapacity(), Recorder::kMinRingBytes);
    AdvanceClockForTesting(8);
    ASSERT_EQ(rec->StartRecording(StartInfo(kRecordAlarm), kRecordAlarm, false), 0);
    ASSERT_TRUE(FeedStream(*rec, stream, 2));  // frames 200..249
    std::vector<uint32_t> numbers = WaitForFrame(*rec, 249);
    std::string path = rec->OpenFilePath();
    EXPECT_EQ(path, Folder() + "/AREC200708_101508.qvx");
    rec->StopRecording();
    ASSERT_FALSE(numbers.empty());
    // 5 s before the last frame is 3960 ms, frame 74; the first key frame from there is 75.
    EXPECT_EQ(numbers.front(), 75u);
    EXPECT_EQ(numbers.back(), 249u);
    ASSERT_EQ(numbers.size(), 249u - 75u + 1u);
    for (size_t i = 0; i < numbers.size(); ++i) ASSERT_EQ(numbers[i], 75u + i);
}

// Frames reach the disk through the writer pool without a thread being woken per frame: only a
// ring that fills up asks for an early pass.
TEST_F(RecorderTest, AddFrameWakesTheWriterOnlyWhenTheRingFillsUp) {
    ASSERT_EQ(rec->Start(1), 0);
    rec->SetStreamInfo(info);
    rec->InitDisk(1);
    ASSERT_EQ(rec->StartRecording(StartInfo(1), 1, false), 0);
    Feed(0, 200);  // 64-byte frames: a small share of the ring
    EXPECT_EQ(rec->WakeRequestsForTesting(), 0u);
    EXPECT_EQ(WaitForFrame(*rec, 199).size(), 200u);
    // Frames of 100 kB: half the 256 KiB ring after two or three, so some passes are asked
    // for early, but never one per frame.
    for (uint32_t n = 200; n < 260; ++n) {
        auto f = Frame(1, n % 25 == 0 ? 1 : 2, 1000 + n * 40, n, 100000);
        ASSERT_EQ(rec->AddFrame(f.data(), static_cast<uint32_t>(f.size()), 1000 + n * 40, 1), 0);
    }
    EXPECT_LE(rec->WakeRequestsForTesting(), 30u);
    EXPECT_EQ(WaitForFrame(*rec, 259).size(), 260u);
}

// The writers are one thread per recording disk, however many channels record.
TEST_F(RecorderTest, WriterThreadsAreOnePerRecordingDisk) {
    // Count the writers by name: sanitizers and the test runner start threads of their own.
    auto threads = [] {
        int n = 0;
        for (auto& e : fs::directory_iterator("/proc/self/task")) {
            std::ifstream comm(e.path() / "comm");
            std::string name;
            std::getline(comm, name);
            n += name.rfind("rec-writer-", 0) == 0;
        }
        return n;
    };
    int before = threads();
    std::vector<std::unique_ptr<Recorder>> recorders;
    for (int i = 0; i < 64; ++i) {
        auto r = std::make_unique<Recorder>(2, i, nullptr);
        ASSERT_EQ(r->Start(1), 0);
        r->SetStreamInfo(info);
        r->InitDisk(1 + i % 2);
        RecordStartInfo s = StartInfo(1);
        s.disk = static_cast<uint32_t>(1 + i % 2);
        snprintf(s.folder, sizeof s.folder, "cam-5000-%d", i + 1);
        ASSERT_EQ(r->StartRecording(s, 1, false), 0);
        recorders.push_back(std::move(r));
    }
    for (uint32_t n = 0; n < 50; ++n) {
        auto f = Frame(1, n % 25 == 0 ? 1 : 2, 1000 + n * 40, n);
        for (auto& r : recorders) ASSERT_EQ(r->AddFrame(f.data(), static_cast<uint32_t>(f.size()), 1000 + n * 40, 1), 0);
    }
    EXPECT_LE(threads() - before, 2);
    for (auto& r : recorders) EXPECT_EQ(WaitForFrame(*r, 49).size(), 50u);
    EXPECT_TRUE(fs::exists(app / "e/QVXFile/2020_07_08/cam-5000-2/images.fi"));
    EXPECT_LE(threads() - before, 2);
    EXPECT_GE(threads(), 2) << "both disks were written, each by its named writer";
}

// Streams fed on two threads while a third starts and stops recording and the pool writes:
// every file holds an unbroken run of its stream's frames from a key frame on.
TEST_F(RecorderTest, ConcurrentFeedAndRecordingSwitchesKeepEveryFileWhole) {
    constexpr int kRecorders = 4;
    std::vector<std::unique_ptr<Recorder>> recorders;
    for (int i = 0; i < kRecorders; ++i) {
        auto r = std::make_unique<Recorder>(3, i, nullptr);
        ASSERT_EQ(r->Start(1), 0);
        r->SetStreamInfo(info);
        r->InitDisk(1);
        recorders.push_back(std::move(r));
    }
    std::atomic<bool> done{false};
    std::atomic<int> refused{0};
    std::vector<std::thread> feeders;
    for (int t = 0; t < 2; ++t)
        feeders.emplace_back([&, t] {
            for (uint32_t n = 0; !done; ++n) {
                auto f = Frame(1, n % 10 == 0 ? 1 : 2, 1000 + n * 40, n, 1000);
                for (int i = t; i < kRecorders; i += 2)
                    if (recorders[i]->AddFrame(f.data(), static_cast<uint32_t>(f.size()), 1000 + n * 40, 1) != 0)
                        ++refused;
                if (n % 10 == 9) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    for (int round = 0; round < 12; ++round) {
        for (int i = 0; i < kRecorders; ++i) {
            RecordStartInfo s = StartInfo(1);
            snprintf(s.folder, sizeof s.folder, "cam-5000-%d", i + 1);
            if (round % 2 == 0) EXPECT_EQ(recorders[i]->StartRecording(s, 1, false), 0);
            else recorders[i]->StopRecording();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        AdvanceClockForTesting(1);
    }
    done = true;
    for (auto& f : feeders) f.join();
    for (auto& r : recorders) r->StopRecording();
    recorders.clear();
    EXPECT_EQ(refused.load(), 0);
    int files = 0;
    for (auto& e : fs::recursive_directory_iterator(app / "d/QVXFile")) {
        if (e.path().extension() != ".qvx") continue;
        std::vector<uint32_t> numbers = FrameNumbers(e.path());
        if (numbers.empty()) continue;
        ++files;
        EXPECT_EQ(numbers.front() % 10, 0u) << e.path();
        for (size_t i = 1; i < numbers.size(); ++i) ASSERT_EQ(numbers[i], numbers[i - 1] + 1) << e.path();
    }
    EXPECT_GE(files, kRecorders);
}

}  // namespace
}  // namespace ocv
