#include "record/record_repair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/app_dir.h"
#include "record/index_file.h"
#include "record/record_file_reader.h"
#include "record/recorder.h"
#include "base/clock.h"
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

// A finished-looking recording as a crash leaves it: `frames` video frames at 25 fps from 100 s
// on the device's clock (a key frame every 25, the first at 0), each followed by an audio frame.
// Returns the file's size.
uint64_t WriteRecording(const std::string& path, uint32_t frames) {
    RecordFileWriter w;
    EXPECT_EQ(w.Create(path), 0);
    EXPECT_EQ(w.SetStreamInfo(StreamInfo{1, 352, 288, 1, 8000, 1, 25}), 0);
    EXPECT_EQ(w.Open(36900000), 0);
    for (uint32_t n = 0; n < frames; ++n) {
        auto f = Frame(n % 25 == 0 ? 1 : 2, 100000 + n * 40, n, 2000 + (n * 331) % 1500);
        EXPECT_EQ(w.WriteFrame(f.data(), static_cast<uint32_t>(f.size())), 0);
        std::vector<uint8_t> audio(kFrameHeaderBytes + 164, 0xA0);
        FrameHeader h{2, 164, 100000 + n * 40, 0};
        memcpy(audio.data(), &h, sizeof h);
        EXPECT_EQ(w.WriteFrame(audio.data(), static_cast<uint32_t>(audio.size())), 0);
    }
    return w.ByteCount();
}

void PutU32(const std::string& path, uint64_t offset, uint32_t value) {
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, &value, 4, static_cast<off_t>(offset)), 4);
    close(fd);
}

struct Walk {
    std::vector<uint32_t> video;  // frame numbers
    int audio = 0;
    uint64_t end = 0;
};

Walk WalkFile(const std::string& path) {
    Walk w;
    RecordFileReader reader;
    if (reader.Open(path) != 0) return w;
    FrameHeader h;
    std::vector<uint8_t> data;
    while (reader.Next(&h, &data)) {
        if (!IsVideoFrame(h)) {
            ++w.audio;
            continue;
        }
        uint32_t n;
        memcpy(&n, data.data(), 4);
        w.video.push_back(n);
    }
    w.end = reader.Offset();
    return w;
}

IndexRecord OpenRecord(int hour, int minute, int second, uint16_t type) {
    IndexRecord r{};
    r.startHour = static_cast<uint16_t>(hour);
    r.startMinute = static_cast<uint16_t>(minute);
    r.startSecond = static_cast<uint16_t>(second);
    r.recordType = type;
    return r;
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

// One damaged key-frame index entry used to send the repair to garbage, where its walk stopped
// and everything after was cut. Whatever the last entry says, no whole record is lost.
TEST_F(RecordRepairTest, CorruptIndexEntryNeverCostsAWholeRecord) {
    fs::create_directories(folder);
    std::string path = folder + "/PREC200708_101500.qvx";
    struct Case {
        const char* what;
        bool tornTail;
    } cases[] = {{"into a frame's data", false}, {"past the end", false},
                 {"at a predicted picture", false}, {"into the header", false},
                 {"into a frame's data, torn tail", true}};
    for (const Case& c : cases) {
        fs::remove(path);
        fs::remove(folder + "/images.fi");
        uint64_t whole = WriteRecording(path, 130);
        RecordFileReader reader;
        ASSERT_EQ(reader.Open(path), 0);
        ASSERT_EQ(reader.KeyFrames().size(), 6u);
        uint32_t lastKey = reader.KeyFrames().back().fileOffset;
        uint32_t bad = lastKey + kFrameHeaderBytes + 100;
        if (std::string(c.what) == "past the end") bad = static_cast<uint32_t>(whole + 5000);
        if (std::string(c.what) == "at a predicted picture") {
            ASSERT_EQ(reader.Seek(lastKey), 0);
            FrameHeader h;
            std::vector<uint8_t> data;
            ASSERT_TRUE(reader.Next(&h, &data));  // the key frame
            ASSERT_TRUE(reader.Next(&h, &data));  // its audio
            bad = static_cast<uint32_t>(reader.Offset());
        }
        if (std::string(c.what) == "into the header") bad = 1000;
        reader.Close();
        PutU32(path, kKeyFrameIndexOffset + 8 * 5, bad);
        if (c.tornTail) {
            std::ofstream f(path, std::ios::app | std::ios::binary);
            auto torn = Frame(2, 200000, 999, 3000);
            f.write(reinterpret_cast<const char*>(torn.data()), 700);
        }
        ASSERT_EQ(AppendIndexRecord(folder + "/images.fi", OpenRecord(10, 15, 0, kRecordPlan)), 0);

        RepairSummary s = RepairChannelFolder(folder);
        EXPECT_EQ(s.recordsRepaired, 1) << c.what;
        EXPECT_EQ(s.filesCut, c.tornTail ? 1 : 0) << c.what;
        EXPECT_EQ(fs::file_size(path), whole) << c.what;
        Walk w = WalkFile(path);
        ASSERT_EQ(w.video.size(), 130u) << c.what;
        EXPECT_EQ(w.video.back(), 129u);
        EXPECT_EQ(w.audio, 130);
        std::vector<IndexRecord> after;
        ASSERT_EQ(ReadIndexFile(folder + "/images.fi", &after), 0);
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(after[0].sizeKiB, whole / 1024) << c.what;
        EXPECT_EQ(after[0].durationSeconds, 6u) << c.what;  // 1000 + 129 x 40 ms on the time line
        // The damaged entry is gone from the index; the good ones stay.
        ASSERT_EQ(reader.Open(path), 0);
        ASSERT_EQ(reader.KeyFrames().size(), 5u) << c.what;
        for (const KeyFrameIndexEntry& e : reader.KeyFrames()) {
            ASSERT_EQ(reader.Seek(e.fileOffset), 0);
            FrameHeader h;
            std::vector<uint8_t> data;
            ASSERT_TRUE(reader.Next(&h, &data));
            EXPECT_TRUE(IsKeyFrame(h)) << c.what;
        }
        EXPECT_EQ(reader.VideoFrameCount(), 101u) << c.what;  // frames 0..100, as of key frame 100
    }
}

// Index entries can point past the data a crash kept (the header reached the disk, the frames
// did not). They go, the frame count is taken back with them, and they give no duration.
TEST_F(RecordRepairTest, IndexAheadOfTheDataIsTakenBackWithTheFrameCount) {
    fs::create_directories(folder);
    std::string path = folder + "/PREC200708_101500.qvx";
    WriteRecording(path, 130);
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    ASSERT_EQ(reader.KeyFrames().size(), 6u);
    ASSERT_EQ(reader.VideoFrameCount(), 126u);
    // Cut inside frame 80's data: frames 0..79 and their audio stay whole.
    FrameHeader h;
    std::vector<uint8_t> data;
    uint64_t frame80 = 0;
    while (true) {
        uint64_t at = reader.Offset();
        ASSERT_TRUE(reader.Next(&h, &data));
        uint32_t n;
        memcpy(&n, data.data(), 4);
        if (IsVideoFrame(h) && n == 80) {
            frame80 = at;
            break;
        }
    }
    reader.Close();
    fs::resize_file(path, frame80 + kFrameHeaderBytes + 10);
    ASSERT_EQ(AppendIndexRecord(folder + "/images.fi", OpenRecord(10, 15, 0, kRecordPlan)), 0);

    RepairSummary s = RepairChannelFolder(folder);
    EXPECT_EQ(s.recordsRepaired, 1);
    EXPECT_EQ(s.filesCut, 1);
    EXPECT_EQ(fs::file_size(path), frame80);
    ASSERT_EQ(reader.Open(path), 0);
    ASSERT_EQ(reader.KeyFrames().size(), 4u);  // frames 0, 25, 50 and 75
    EXPECT_EQ(reader.KeyFrames().back().seconds, 4u);
    EXPECT_EQ(reader.VideoFrameCount(), 76u);
    std::vector<IndexRecord> after;
    ASSERT_EQ(ReadIndexFile(folder + "/images.fi", &after), 0);
    EXPECT_EQ(after[0].durationSeconds, 4u);  // frame 79 at 1000 + 79 x 40 ms; not 6 s
    EXPECT_EQ(after[0].sizeKiB, frame80 / 1024);
}

// A crash between creating a file and listing it left it unknown to playback for ever; a listed
// file that has gone was looked for again at every start.
TEST_F(RecordRepairTest, UnlistedRecordingsAreListedAndVanishedOnesDropped) {
    fs::create_directories(folder);
    uint64_t listedSize = WriteRecording(folder + "/NREC200708_102000.qvx", 30);
    IndexRecord listed = OpenRecord(10, 20, 0, kRecordManual);
    listed.sizeKiB = static_cast<uint32_t>(listedSize / 1024);
    listed.durationSeconds = 2;
    ASSERT_EQ(AppendIndexRecord(folder + "/images.fi", OpenRecord(10, 15, 0, kRecordPlan)), 0);  // gone
    ASSERT_EQ(AppendIndexRecord(folder + "/images.fi", listed), 1);
    uint64_t orphanSize = WriteRecording(folder + "/AREC200708_102500.qvx", 60);
    uint64_t earlyOrphanSize = WriteRecording(folder + "/PREC200708_100000.qvx", 10);
    test::WriteText(folder + "/PREC200708_103000.qvx", std::string(300000, 'x'));  // no header
    WriteRecording(folder + "/PREC200709_103500.qvx", 5);  // another day's name
    test::WriteText(folder + "/notes.txt", "x");
    // A channel folder whose images.fi was never created.
    std::string bare = app / "d/QVXFile/2020_07_08/cam02-5000-1";
    fs::create_directories(bare);
    uint64_t bareSize = WriteRecording(bare + "/NREC200708_110000.qvx", 25);

    mode_t saved = umask(0);
    RepairSummary s = RepairRecordings();
    umask(saved);
    EXPECT_EQ(s.recordsListed, 3);
    EXPECT_EQ(s.recordsDropped, 1);
    std::vector<IndexRecord> after;
    ASSERT_EQ(ReadIndexFile(folder + "/images.fi", &after), 0);
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0].startMinute, 20);
    EXPECT_EQ(after[0].sizeKiB, listed.sizeKiB);
    // Orphans follow in the order of their names' times.
    EXPECT_EQ(after[1].startHour, 10);
    EXPECT_EQ(after[1].startMinute, 0);
    EXPECT_EQ(after[1].recordType, kRecordPlan);
    EXPECT_EQ(after[1].sizeKiB, earlyOrphanSize / 1024);
    EXPECT_EQ(after[2].startMinute, 25);
    EXPECT_EQ(after[2].recordType, kRecordAlarm);
    EXPECT_EQ(after[2].sizeKiB, orphanSize / 1024);
    EXPECT_EQ(after[2].durationSeconds, 3u);  // 1000 + 59 x 40 ms
    struct stat st {};
    ASSERT_EQ(stat((folder + "/images.fi").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    std::vector<IndexRecord> bareIndex;
    ASSERT_EQ(ReadIndexFile(bare + "/images.fi", &bareIndex), 0);
    ASSERT_EQ(bareIndex.size(), 1u);
    EXPECT_EQ(bareIndex[0].startHour, 11);
    EXPECT_EQ(bareIndex[0].recordType, kRecordManual);
    EXPECT_EQ(bareIndex[0].sizeKiB, bareSize / 1024);
    ASSERT_EQ(stat((bare + "/images.fi").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Nothing is left to do the next time.
    std::string before = test::ReadText(folder + "/images.fi");
    RepairSummary again = RepairRecordings();
    EXPECT_EQ(again.recordsRepaired + again.recordsListed + again.recordsDropped, 0);
    EXPECT_EQ(test::ReadText(folder + "/images.fi"), before);
    EXPECT_EQ(fs::file_size(folder + "/PREC200708_103000.qvx"), 300000u);
}

}  // namespace
}  // namespace ocv
