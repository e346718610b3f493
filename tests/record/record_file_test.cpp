#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "record/index_file.h"
#include "record/record_file_reader.h"
#include "record/record_file_writer.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

using test::ReadText;
using test::TempDir;

std::vector<uint8_t> Frame(uint32_t kind, uint32_t frameType, uint32_t ts, uint32_t size,
                           uint8_t fill = 0xAB) {
    std::vector<uint8_t> rec(kFrameHeaderBytes + size, fill);
    FrameHeader h{kind, size, ts, frameType};
    memcpy(rec.data(), &h, sizeof h);
    return rec;
}

class RecordFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir / "PREC200708_101500.qvx";
    RecordFileWriter writer;
    StreamInfo info{kVideoCodecH264, 352, 288, kAudioG711ALaw, 8000, 1, 25};
    void OpenWriter(uint32_t startMs = 36900000) {
        ASSERT_EQ(writer.Create(path), 0);
        ASSERT_EQ(writer.SetStreamInfo(info), 0);
        ASSERT_EQ(writer.Open(startMs), 0);
    }
    int Write(const std::vector<uint8_t>& rec) {
        return writer.WriteFrame(rec.data(), static_cast<uint32_t>(rec.size()));
    }
    uint32_t U32At(const std::string& bytes, size_t offset) {
        uint32_t v;
        memcpy(&v, bytes.data() + offset, 4);
        return v;
    }
};

// A record handed over in two pieces (a ring entry that wraps, even inside its header) is
// written byte for byte as the same record in one piece.
TEST_F(RecordFileTest, RecordInTwoPiecesWritesTheSameBytes) {
    std::vector<std::vector<uint8_t>> records = {Frame(1, 1, 1000, 300, 0x11), Frame(1, 2, 1040, 200, 0x22),
                                                 Frame(2, 0, 1050, 40, 0x33), Frame(1, 2, 1080, 100, 0x44)};
    for (size_t i = 0; i < records.size(); ++i) records[i][kFrameHeaderBytes + 5] = static_cast<uint8_t>(i);
    OpenWriter();
    for (const auto& r : records) ASSERT_EQ(Write(r), 0);
    writer.Close();
    std::string whole = ReadText(path);

    // A writer of its own: a writer carries the last timestamps on from file to file.
    RecordFileWriter second;
    std::string secondPath = dir / "PREC200708_101501.qvx";
    ASSERT_EQ(second.Create(secondPath), 0);
    ASSERT_EQ(second.SetStreamInfo(info), 0);
    ASSERT_EQ(second.Open(36900000), 0);
    // Cut inside the header, just after it, inside the data, and not at all.
    uint32_t cuts[] = {7, 16, 30, 0};
    for (size_t i = 0; i < records.size(); ++i) {
        FrameRecordParts parts;
        uint32_t cut = cuts[i] ? cuts[i] : static_cast<uint32_t>(records[i].size());
        parts.parts[0] = records[i].data();
        parts.sizes[0] = cut;
        parts.parts[1] = records[i].data() + cut;
        parts.sizes[1] = static_cast<uint32_t>(records[i].size()) - cut;
        ASSERT_EQ(second.WriteFrame(parts), 0) << i;
    }
    FrameRecordParts missing;
    missing.parts[0] = records[0].data();
    missing.sizes[0] = 10;
    missing.sizes[1] = 300;  // a second piece without memory
    EXPECT_EQ(second.WriteFrame(missing), -1);
    second.Close();
    std::string pieces = ReadText(secondPath);
    ASSERT_EQ(pieces.size(), whole.size());
    size_t differ = 0;
    while (differ < whole.size() && whole[differ] == pieces[differ]) ++differ;
    EXPECT_EQ(differ, whole.size()) << "first difference at byte " << differ;
}

TEST_F(RecordFileTest, FileWithoutKeyFrameIsJustTheHeader) {
    OpenWriter();
    EXPECT_EQ(Write(Frame(1, 2, 1000, 100)), 0);   // predicted picture: skipped
    EXPECT_EQ(Write(Frame(2, 0, 1000, 164)), 0);   // audio before the first key frame: skipped
    EXPECT_EQ(writer.ByteCount(), 200040u);
    ASSERT_EQ(writer.Close(), 0);
    EXPECT_EQ(writer.Close(), RecordFileWriter::kNotOpen);
    std::string bytes = ReadText(path);
    ASSERT_EQ(bytes.size(), 200040u);
    EXPECT_EQ(bytes.substr(0, 4), "QVXF");
    EXPECT_EQ(U32At(bytes, 4), kVideoCodecH264);
    EXPECT_EQ(U32At(bytes, 8), 352u);
    EXPECT_EQ(U32At(bytes, 12), 288u);
    EXPECT_EQ(U32At(bytes, 16), kAudioG711ALaw);
    EXPECT_EQ(U32At(bytes, 32), 0u);
    EXPECT_EQ(U32At(bytes, 36), 36900000u);
    EXPECT_EQ(bytes.find_first_not_of('\0', 40), std::string::npos);
    EXPECT_EQ(bytes.size() / 1024, 195u);
}

TEST_F(RecordFileTest, FramesGoOntoTheFilesTimeLineAndKeyFramesAreIndexed) {
    OpenWriter(1000);
    ASSERT_EQ(Write(Frame(1, 1, 50000, 10)), 0);   // first key frame: step capped at 1000 ms
    ASSERT_EQ(Write(Frame(2, 0, 50010, 20)), 0);   // first audio: a long gap steps 20 ms
    ASSERT_EQ(Write(Frame(1, 2, 50040, 10)), 0);   // +40
    ASSERT_EQ(Write(Frame(1, 2, 49000, 10)), 0);   // backwards: +1000
    ASSERT_EQ(Write(Frame(2, 0, 52010, 20)), 0);   // audio gap of 2 s: +20
    ASSERT_EQ(Write(Frame(1, 11, 49040, 82)), 0);  // key frame with one extension block: +40
    writer.Close();

    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    EXPECT_EQ(reader.Info().width, 352u);
    EXPECT_EQ(reader.StartTimeMs(), 1000u);
    EXPECT_EQ(reader.VideoFrameCount(), 4u);
    ASSERT_EQ(reader.KeyFrames().size(), 2u);
    EXPECT_EQ(reader.KeyFrames()[0].fileOffset, 200040u);
    EXPECT_EQ(reader.KeyFrames()[0].seconds, 1u);
    EXPECT_EQ(reader.KeyFrames()[1].seconds, 2u);  // 1000 + 40 + 1000 + 40 ms
    std::vector<uint32_t> stamps;
    FrameHeader h;
    std::vector<uint8_t> data;
    uint64_t keyOffset = 0;
    while (true) {
        uint64_t at = reader.Offset();
        if (!reader.Next(&h, &data)) break;
        if (h.frameType == 11) keyOffset = at;
        stamps.push_back(h.timestampMs);
        EXPECT_EQ(data.size(), h.dataLength);
        EXPECT_EQ(data[0], 0xAB);
    }
    EXPECT_EQ(stamps, (std::vector<uint32_t>{2000, 1020, 2040, 3040, 1040, 3080}));
    EXPECT_EQ(reader.KeyFrames()[1].fileOffset, keyOffset);
    EXPECT_EQ(reader.Offset(), reader.FileSize());
}

TEST_F(RecordFileTest, IndexHoldsAtMost25000KeyFrames) {
    OpenWriter();
    for (uint32_t i = 0; i < kKeyFrameIndexEntries + 1; ++i)
        ASSERT_EQ(Write(Frame(1, 1, 40 * i, 1)), 0);
    EXPECT_EQ(writer.IndexEntriesUsed(), kKeyFrameIndexEntries);
    writer.Close();
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    EXPECT_EQ(reader.KeyFrames().size(), kKeyFrameIndexEntries);
    EXPECT_EQ(reader.VideoFrameCount(), kKeyFrameIndexEntries);  // the 25001st is not counted
    EXPECT_EQ(reader.KeyFrames().back().fileOffset, 200040u + 24999u * 17u);
}

TEST_F(RecordFileTest, KindThreeKeyFramesAreIndexedOnceInFifty) {
    OpenWriter();
    ASSERT_EQ(Write(Frame(1, 1, 0, 1)), 0);  // indexed
    for (int i = 1; i <= 100; ++i) ASSERT_EQ(Write(Frame(1, 3, 40 * i, 1)), 0);  // 50th, 100th
    ASSERT_EQ(Write(Frame(1, 1, 4040, 1)), 0);  // indexed
    EXPECT_EQ(writer.IndexEntriesUsed(), 4u);
}

TEST_F(RecordFileTest, BadRecordsAreRefusedWithoutWriting) {
    EXPECT_EQ(Write(Frame(1, 1, 0, 10)), RecordFileWriter::kNotOpen);
    OpenWriter();
    auto rec = Frame(1, 1, 0, 10);
    EXPECT_EQ(writer.WriteFrame(rec.data(), 20), -1);  // length disagrees with the header
    EXPECT_EQ(writer.WriteFrame(rec.data(), 8), -1);
    auto huge = Frame(1, 1, 0, 0);
    FrameHeader h{1, kMaxFrameDataLength + 1, 0, 1};
    memcpy(huge.data(), &h, sizeof h);
    EXPECT_EQ(writer.WriteFrame(huge.data(), kMaxFrameDataLength + 17), -1);
    EXPECT_EQ(writer.ByteCount(), 200040u);
    EXPECT_TRUE(writer.WaitingForKeyFrame());
    RecordFileWriter noPath;
    EXPECT_EQ(noPath.Create(""), -1);
    EXPECT_EQ(noPath.Open(0), -1);
    RecordFileWriter badFolder;
    ASSERT_EQ(badFolder.Create(dir / "missing/x.qvx"), 0);
    EXPECT_EQ(badFolder.Open(0), -1);
}

TEST_F(RecordFileTest, ShortWriteNeverLeavesAPartialRecordBehindLaterOnes) {
    OpenWriter();
    bool failNext = false;
    writer.SetPwriteForTesting([&](int fd, const void* data, size_t size, off_t offset) -> ssize_t {
        if (failNext && size > 100) {
            failNext = false;
            // Half the data reaches the disk, then the disk is full.
            ssize_t n = ::pwrite(fd, data, size / 2, offset);
            (void)n;
            errno = ENOSPC;
            return -1;
        }
        return ::pwrite(fd, data, size, offset);
    });
    ASSERT_EQ(Write(Frame(1, 1, 0, 500, 1)), 0);
    failNext = true;
    EXPECT_EQ(Write(Frame(1, 2, 40, 500, 2)), -1);
    EXPECT_EQ(std::filesystem::file_size(path), 200040u + 516u);
    ASSERT_EQ(Write(Frame(1, 1, 80, 500, 3)), 0);
    writer.Close();
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    FrameHeader h;
    std::vector<uint8_t> data;
    std::vector<uint8_t> fills;
    while (reader.Next(&h, &data)) fills.push_back(data[0]);
    EXPECT_EQ(fills, (std::vector<uint8_t>{1, 3}));
    EXPECT_EQ(reader.Offset(), reader.FileSize());
}

// After a lost frame the pictures that follow refer to it: writing picks up again at a key
// frame, and the file's time line keeps pace with the stream across the gap.
TEST_F(RecordFileTest, FailedWriteResumesAtTheNextKeyFrame) {
    OpenWriter(1000);
    int failures = 0;
    writer.SetPwriteForTesting([&](int fd, const void* data, size_t size, off_t offset) -> ssize_t {
        if (failures > 0 && size > 100) {
            --failures;
            errno = ENOSPC;
            return -1;
        }
        return ::pwrite(fd, data, size, offset);
    });
    ASSERT_EQ(Write(Frame(1, 1, 5000, 500, 1)), 0);
    failures = 1;
    EXPECT_EQ(Write(Frame(1, 2, 5040, 500, 2)), -1);
    EXPECT_EQ(Write(Frame(1, 2, 5080, 500, 3)), 0);  // predicted: dropped
    EXPECT_EQ(Write(Frame(2, 0, 5090, 500, 4)), 0);  // audio: dropped as at a file's start
    EXPECT_EQ(Write(Frame(1, 2, 5120, 500, 5)), 0);
    failures = 1;
    EXPECT_EQ(Write(Frame(1, 1, 5160, 500, 6)), -1);  // a key frame can fail as well
    EXPECT_EQ(Write(Frame(1, 2, 5200, 500, 7)), 0);
    ASSERT_EQ(Write(Frame(1, 3, 5240, 500, 8)), 0);
    ASSERT_EQ(Write(Frame(1, 2, 5280, 500, 9)), 0);
    ASSERT_EQ(Write(Frame(2, 0, 5290, 500, 10)), 0);
    writer.Close();
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    FrameHeader h;
    std::vector<uint8_t> data;
    std::vector<uint8_t> fills;
    std::vector<uint32_t> stamps;
    while (reader.Next(&h, &data)) {
        fills.push_back(data[0]);
        stamps.push_back(h.timestampMs);
    }
    EXPECT_EQ(fills, (std::vector<uint8_t>{1, 8, 9, 10}));
    ASSERT_EQ(stamps.size(), 4u);
    EXPECT_EQ(stamps[1] - stamps[0], 240u);  // 5240 - 5000: the gap is kept
    EXPECT_EQ(stamps[2] - stamps[1], 40u);
    EXPECT_EQ(reader.Offset(), reader.FileSize());
}

// The index entry and the frame count follow the frame: a key frame that never reached the file
// is neither indexed nor counted.
TEST_F(RecordFileTest, KeyFrameIsIndexedAndCountedOnlyOnceWritten) {
    OpenWriter();
    bool failNext = false;
    writer.SetPwriteForTesting([&](int fd, const void* data, size_t size, off_t offset) -> ssize_t {
        if (failNext && size > 100) {
            failNext = false;
            ssize_t n = ::pwrite(fd, data, size / 3, offset);
            (void)n;
            errno = ENOSPC;
            return -1;
        }
        return ::pwrite(fd, data, size, offset);
    });
    ASSERT_EQ(Write(Frame(1, 1, 0, 400, 1)), 0);
    ASSERT_EQ(Write(Frame(1, 2, 40, 400, 2)), 0);
    failNext = true;
    EXPECT_EQ(Write(Frame(1, 1, 80, 400, 3)), -1);
    EXPECT_EQ(Write(Frame(1, 2, 120, 400, 4)), 0);
    ASSERT_EQ(Write(Frame(1, 1, 160, 400, 5)), 0);
    ASSERT_EQ(Write(Frame(1, 2, 200, 400, 6)), 0);
    EXPECT_EQ(writer.IndexEntriesUsed(), 2u);
    writer.Close();
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    ASSERT_EQ(reader.KeyFrames().size(), 2u);
    std::vector<uint8_t> indexed;
    for (const KeyFrameIndexEntry& e : reader.KeyFrames()) {
        ASSERT_EQ(reader.Seek(e.fileOffset), 0);
        FrameHeader h;
        std::vector<uint8_t> data;
        ASSERT_TRUE(reader.Next(&h, &data));
        EXPECT_TRUE(IsKeyFrame(h));
        indexed.push_back(data[0]);
    }
    EXPECT_EQ(indexed, (std::vector<uint8_t>{1, 5}));
    EXPECT_EQ(reader.VideoFrameCount(), 3u);  // frames 1, 2 and 5, as of the last entry
}

// When even the cut-back fails, appending behind the partial record would hide every later one:
// the writer gives the file up, and says so by no longer being open.
TEST_F(RecordFileTest, CutBackThatFailsGivesTheFileUp) {
    OpenWriter();
    bool failNext = false;
    writer.SetPwriteForTesting([&](int fd, const void* data, size_t size, off_t offset) -> ssize_t {
        if (failNext && size > 100) {
            failNext = false;
            ssize_t n = ::pwrite(fd, data, size / 2, offset);
            (void)n;
            errno = EIO;
            return -1;
        }
        return ::pwrite(fd, data, size, offset);
    });
    writer.SetFtruncateForTesting([](int, off_t) {
        errno = EIO;
        return -1;
    });
    ASSERT_EQ(Write(Frame(1, 1, 0, 500, 1)), 0);
    uint64_t whole = writer.ByteCount();
    failNext = true;
    EXPECT_EQ(Write(Frame(1, 2, 40, 500, 2)), -1);
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(Write(Frame(1, 1, 80, 500, 3)), RecordFileWriter::kNotOpen);
    EXPECT_EQ(whole, 200040u + 516u);
    EXPECT_GT(std::filesystem::file_size(path), whole);  // the partial record is still there
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    FrameHeader h;
    std::vector<uint8_t> data;
    int records = 0;
    while (reader.Next(&h, &data)) ++records;
    EXPECT_EQ(records, 1);
    EXPECT_EQ(reader.Offset(), whole);
}

TEST_F(RecordFileTest, AnExistingFileIsNeverTruncated) {
    test::WriteText(path, "an earlier recording of the same name");
    ASSERT_EQ(writer.Create(path), 0);
    ASSERT_EQ(writer.SetStreamInfo(info), 0);
    EXPECT_EQ(writer.Open(0), -2);
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(ReadText(path), "an earlier recording of the same name");
    // Another name of the same writer still opens.
    path = dir / "PREC200708_101501.qvx";
    ASSERT_EQ(writer.Create(path), 0);
    EXPECT_EQ(writer.Open(0), 0);
}

TEST_F(RecordFileTest, ReaderStopsAtTornAndOversizedRecords) {
    OpenWriter();
    ASSERT_EQ(Write(Frame(1, 1, 0, 100)), 0);
    ASSERT_EQ(Write(Frame(1, 2, 40, 100)), 0);
    writer.Close();
    uint64_t whole = std::filesystem::file_size(path);
    {
        std::ofstream f(path, std::ios::app | std::ios::binary);
        auto torn = Frame(1, 2, 80, 100);
        f.write(reinterpret_cast<const char*>(torn.data()), 50);
    }
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    FrameHeader h;
    std::vector<uint8_t> data;
    int n = 0;
    while (reader.Next(&h, &data)) ++n;
    EXPECT_EQ(n, 2);
    EXPECT_EQ(reader.Offset(), whole);
    // A header claiming more than the limit ends the walk without allocating it.
    std::filesystem::resize_file(path, whole);
    {
        std::ofstream f(path, std::ios::app | std::ios::binary);
        FrameHeader bad{1, 0xFFFFFFF0u, 0, 2};
        f.write(reinterpret_cast<const char*>(&bad), sizeof bad);
    }
    ASSERT_EQ(reader.Open(path), 0);
    n = 0;
    while (reader.Next(&h, &data)) ++n;
    EXPECT_EQ(n, 2);
    EXPECT_EQ(reader.Seek(100), -1);  // inside the header
    // Not a recording file.
    test::WriteText(dir / "bad.qvx", std::string(200040, 'x'));
    EXPECT_EQ(reader.Open(dir / "bad.qvx"), -1);
    test::WriteText(dir / "short.qvx", "QVXF");
    EXPECT_EQ(reader.Open(dir / "short.qvx"), -1);
}

TEST(IndexFileTest, AppendRewriteAndTornTail) {
    TempDir dir;
    std::string index = dir / "images.fi";
    IndexRecord r{};
    r.startHour = 10;
    r.startMinute = 15;
    r.recordType = kRecordPlan;
    EXPECT_EQ(AppendIndexRecord(index, r), 0);
    r.startMinute = 20;
    EXPECT_EQ(AppendIndexRecord(index, r), 1);
    r.sizeKiB = 2048;
    r.durationSeconds = 300;
    EXPECT_EQ(RewriteIndexRecord(index, 1, r), 0);
    EXPECT_EQ(RewriteIndexRecord(index, 2, r), -1);  // no such record
    // A crash left half a record: the next append lands on a record boundary.
    {
        std::ofstream f(index, std::ios::app | std::ios::binary);
        f << std::string(70, 'z');
    }
    r.startMinute = 25;
    EXPECT_EQ(AppendIndexRecord(index, r), 2);
    EXPECT_EQ(std::filesystem::file_size(index), 3u * 144u);
    std::vector<IndexRecord> records;
    ASSERT_EQ(ReadIndexFile(index, &records), 0);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].startMinute, 15);
    EXPECT_EQ(records[1].sizeKiB, 2048u);
    EXPECT_EQ(records[1].durationSeconds, 300u);
    EXPECT_EQ(records[2].startMinute, 25);
    std::string bytes = ReadText(index);
    EXPECT_EQ(static_cast<uint8_t>(bytes[144 + 6]), kRecordPlan);
    EXPECT_EQ(static_cast<uint8_t>(bytes[144 + 12]), 0x00);  // 2048 = 0x800, little-endian
    EXPECT_EQ(static_cast<uint8_t>(bytes[144 + 13]), 0x08);
}

}  // namespace
}  // namespace ocv
