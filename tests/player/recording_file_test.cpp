// The player's reading of recording files, without decoding: records told from garbage,
// key frames found through the index and by walking, the duration of damaged files, and
// the pacing of pictures at every speed level.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "player/playback_pacer.h"
#include "player/recording_file.h"
#include "record/record_file_writer.h"
#include "tests/player/test_recording.h"
#include "tests/support/temp_dir.h"

namespace ocv::player {
namespace {

constexpr uint32_t kStart = 10 * 3600 * 1000;

FrameHeader Header(uint32_t kind, uint32_t ts, uint32_t type = 2, uint32_t length = 8) {
    return FrameHeader{kind, length, ts, type};
}

// Pictures of arbitrary bytes: the reader never decodes. A key frame every gop pictures
// (kind keyKind), a sound record after every picture.
test::WrittenRecording WriteSynthetic(const std::string& path, int pictures, int gop,
                                      uint32_t keyKind = 1) {
    std::vector<test::EncodedPicture> clip(static_cast<size_t>(pictures));
    for (int i = 0; i < pictures; ++i) {
        clip[i].keyFrame = i % gop == 0;
        clip[i].bytes.assign(clip[i].keyFrame ? 3000 : 300 + static_cast<size_t>(i % 7) * 50,
                             static_cast<uint8_t>(i));
    }
    test::RecordingShape shape;
    shape.keyKind = keyKind;
    shape.audioEncoding = kAudioG711ALaw;
    return test::WriteRecording(path, clip, shape);
}

// The latest key frame at or before the target, from what was written.
size_t ExpectedKey(const test::WrittenRecording& w, uint32_t target) {
    size_t best = 0;
    for (size_t i = 0; i < w.videoTimes.size(); ++i)
        if (w.keyFrames[i] && w.videoTimes[i] <= target) best = i;
    return best;
}

TEST(RecordSequence, AcceptsOnlyWhatTheWriterCanWrite) {
    RecordSequence s;
    s.StartOfFile(kStart);
    EXPECT_FALSE(s.Accept(Header(1, kStart + 1001)));  // first picture: within a second
    EXPECT_TRUE(s.Accept(Header(1, kStart + 1000)));
    EXPECT_TRUE(s.Accept(Header(1, kStart + 1000)));   // a step of 0
    EXPECT_TRUE(s.Accept(Header(1, kStart + 2000)));   // a step of exactly 1000
    EXPECT_FALSE(s.Accept(Header(1, kStart + 3001)));
    EXPECT_FALSE(s.Accept(Header(1, kStart + 1999)));  // backwards
    EXPECT_FALSE(s.Accept(Header(2, kStart + 1001)));  // first sound: within a second too
    EXPECT_TRUE(s.Accept(Header(2, kStart + 20)));     // sound has its own time line
    EXPECT_TRUE(s.Accept(Header(7, kStart + 1020)));   // any kind but 1 is sound
    EXPECT_FALSE(s.Accept(Header(2, kStart + 2021)));
    EXPECT_TRUE(s.Accept(Header(1, kStart + 2040)));   // refused records changed nothing

    // In the middle of a file, after a key frame: the first sound only has to lie after
    // the start.
    s.AfterKeyFrame(kStart, Header(1, kStart + 600000, 1));
    EXPECT_FALSE(s.Accept(Header(2, kStart - 1)));
    EXPECT_TRUE(s.Accept(Header(2, kStart + 2000)));
    EXPECT_FALSE(s.Accept(Header(2, kStart + 3001)));
    EXPECT_TRUE(s.Accept(Header(1, kStart + 600000)));
    EXPECT_FALSE(s.Accept(Header(1, kStart + 601001)));
}

TEST(RecordingFile, RefusesWhatIsNoPlayableRecording) {
    test::TempDir dir;
    RecordingFile f;
    EXPECT_EQ(f.Open(dir / "missing.qvx"), -1);
    EXPECT_EQ(f.Open(dir.str()), -1);  // a directory
    auto w = WriteSynthetic(dir / "a.qvx", 10, 5);
    ASSERT_EQ(f.Open(dir / "a.qvx"), 0);
    EXPECT_EQ(f.StartTimeMs(), kStart);
    EXPECT_EQ(f.Info().width, 64u);

    test::WriteText(dir / "short.qvx", "QVXF" + std::string(100, '\0'));
    EXPECT_EQ(f.Open(dir / "short.qvx"), -1);
    EXPECT_FALSE(f.IsOpen());
    std::string bytes = test::ReadText(dir / "a.qvx");
    bytes[0] = 'X';
    test::WriteText(dir / "magic.qvx", bytes);
    EXPECT_EQ(f.Open(dir / "magic.qvx"), -1);
    bytes[0] = 'Q';
    bytes[4] = 9;  // codec word
    test::WriteText(dir / "codec.qvx", bytes);
    EXPECT_EQ(f.Open(dir / "codec.qvx"), -1);
    bytes[4] = 2;  // H.265 is played
    test::WriteText(dir / "hevc.qvx", bytes);
    EXPECT_EQ(f.Open(dir / "hevc.qvx"), 0);
    // Exactly a header and nothing else: open, no key frame, no duration.
    test::WriteText(dir / "empty.qvx", bytes.substr(0, kRecordHeaderBytes));
    ASSERT_EQ(f.Open(dir / "empty.qvx"), 0);
    f.ScanToEnd();
    EXPECT_EQ(f.DurationMs(), 0u);
    KeyFramePlace place;
    EXPECT_EQ(f.FindKeyFrame(0, &place), -1);
}

TEST(RecordingFile, RecordBoundsAtTheEndOfTheFileAndAtTheLengthLimit) {
    test::TempDir dir;
    const std::string path = dir / "b.qvx";
    auto w = WriteSynthetic(path, 4, 4);
    RecordingFile f;
    ASSERT_EQ(f.Open(path), 0);
    FileRecord r;
    EXPECT_EQ(f.ReadHeader(kRecordHeaderBytes - 16, &r), ReadStatus::kBad);  // in the header
    ASSERT_EQ(f.ReadHeader(w.videoOffsets[3], &r), ReadStatus::kRecord);
    const uint64_t end = r.NextOffset() + 16 + 4 + 160;  // the last sound record
    ASSERT_EQ(end, w.size);
    ASSERT_EQ(f.ReadHeader(r.NextOffset(), &r), ReadStatus::kRecord);  // ends at the last byte
    EXPECT_EQ(r.NextOffset(), w.size);
    EXPECT_EQ(f.ReadHeader(w.size, &r), ReadStatus::kEnd);
    std::vector<uint8_t> data;
    ASSERT_EQ(f.ReadData(r, 8, &data), 0);
    ASSERT_EQ(data.size(), 4u + 160u + 8u);
    EXPECT_EQ(data[4], 3);  // sample 0 of picture 3
    EXPECT_EQ(data.back(), 0);

    // One byte short of a whole record, then a length at and above the limit.
    test::CutFile(path, w.size - 1);
    ASSERT_EQ(f.Open(path), 0);
    EXPECT_EQ(f.ReadHeader(w.size - 16 - 164, &r), ReadStatus::kEnd);
    FrameHeader limit{1, kMaxFrameDataLength, kStart, 2};
    test::Overwrite(path, w.videoOffsets[1], std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&limit),
                                                                  reinterpret_cast<uint8_t*>(&limit) + 16));
    ASSERT_EQ(f.Open(path), 0);
    EXPECT_EQ(f.ReadHeader(w.videoOffsets[1], &r), ReadStatus::kEnd);  // allowed, but not there
    limit.dataLength = kMaxFrameDataLength + 1;
    test::Overwrite(path, w.videoOffsets[1], std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&limit),
                                                                  reinterpret_cast<uint8_t*>(&limit) + 16));
    ASSERT_EQ(f.Open(path), 0);
    EXPECT_EQ(f.ReadHeader(w.videoOffsets[1], &r), ReadStatus::kBad);
}

// Every target from before the first to beyond the last picture, through an intact index,
// through an index of every 50th key frame of the second kind, and with the index zeroed.
TEST(RecordingFile, FindsTheSameKeyFrameThroughTheIndexAndByWalking) {
    test::TempDir dir;
    auto indexed = WriteSynthetic(dir / "indexed.qvx", 300, 25, 1);
    auto sparse = WriteSynthetic(dir / "sparse.qvx", 300, 2, 3);  // 150 key frames, 3 indexed
    auto zeroed = WriteSynthetic(dir / "zeroed.qvx", 300, 25, 1);
    test::Overwrite(dir / "zeroed.qvx", kKeyFrameIndexOffset, std::vector<uint8_t>(8 * kKeyFrameIndexEntries, 0));

    struct Case {
        const char* name;
        const test::WrittenRecording* written;
        size_t entries;
    } cases[] = {{"indexed.qvx", &indexed, 12}, {"sparse.qvx", &sparse, 3}, {"zeroed.qvx", &zeroed, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingFile f;
        ASSERT_EQ(f.Open(dir / c.name), 0);
        EXPECT_EQ(f.UsableIndexEntries(), c.entries);
        f.ScanToEnd();
        EXPECT_EQ(f.DurationMs(), 299u * 40);
        for (uint32_t target = 0; target <= 300 * 40; target += 37) {
            KeyFramePlace place;
            ASSERT_EQ(f.FindKeyFrame(target, &place), 0);
            size_t k = ExpectedKey(*c.written, target);
            ASSERT_EQ(place.offset, c.written->videoOffsets[k]) << "target " << target;
            EXPECT_EQ(place.timeMs, c.written->videoTimes[k]);
            EXPECT_TRUE(IsKeyFrame(place.header));
        }
    }
}

TEST(RecordingFile, IndexEntriesThatLieAreNotFollowed) {
    test::TempDir dir;
    const std::string path = dir / "lies.qvx";
    auto w = WriteSynthetic(path, 300, 25, 1);
    auto entry = [&](size_t i, uint32_t offset, uint32_t seconds) {
        KeyFrameIndexEntry e{offset, seconds};
        std::vector<uint8_t> bytes(8);
        std::memcpy(bytes.data(), &e, 8);
        test::Overwrite(path, kKeyFrameIndexOffset + 8 * i, bytes);
    };
    // Entry 5 points at a picture that is no key frame, entry 6 claims the wrong second,
    // entry 7 points into the middle of a record, entry 10 goes backwards (ends the index).
    entry(5, static_cast<uint32_t>(w.videoOffsets[125 + 1]), 5);
    entry(6, static_cast<uint32_t>(w.videoOffsets[150]), 7);
    entry(7, static_cast<uint32_t>(w.videoOffsets[175] + 5), 7);
    entry(10, static_cast<uint32_t>(w.videoOffsets[10]), 10);
    RecordingFile f;
    ASSERT_EQ(f.Open(path), 0);
    EXPECT_EQ(f.UsableIndexEntries(), 10u);
    for (uint32_t target = 0; target <= 300 * 40; target += 53) {
        KeyFramePlace place;
        ASSERT_EQ(f.FindKeyFrame(target, &place), 0);
        EXPECT_EQ(place.offset, w.videoOffsets[ExpectedKey(w, target)]) << "target " << target;
    }
    f.ScanToEnd();
    EXPECT_EQ(f.DurationMs(), 299u * 40);
    KeyFramePlace next;
    ASSERT_EQ(f.NextIndexedKeyFrame(w.videoOffsets[100], &next), 0);
    EXPECT_EQ(next.offset, w.videoOffsets[200]);  // 125 lies, 150 and 175 too
}

TEST(RecordingFile, DurationOfCutDamagedAndGrowingFiles) {
    test::TempDir dir;
    const std::string path = dir / "d.qvx";
    auto w = WriteSynthetic(path, 100, 10, 1);

    // Garbage after the last record: random bytes, then a header that fits in the file
    // but breaks the time line.
    std::mt19937 rng(5);
    std::vector<uint8_t> garbage(5000);
    for (auto& b : garbage) b = static_cast<uint8_t>(rng());
    FrameHeader fake{1, 100, kStart + 99 * 40 + 5000, 2};
    std::memcpy(garbage.data(), &fake, sizeof fake);
    test::Append(path, garbage);
    RecordingFile f;
    ASSERT_EQ(f.Open(path), 0);
    f.ScanToEnd();
    EXPECT_EQ(f.DurationMs(), 99u * 40);
    KeyFramePlace last;
    ASSERT_EQ(f.FindKeyFrame(UINT32_MAX, &last), 0);
    EXPECT_EQ(last.offset, w.videoOffsets[90]);

    // Cut inside the last picture: its sound record and itself are gone.
    test::CutFile(path, w.videoOffsets[99] + 20);
    ASSERT_EQ(f.Open(path), 0);
    f.ScanToEnd();
    EXPECT_EQ(f.DurationMs(), 98u * 40);

    // A damaged record with no index entry after it: the file ends before the damage.
    auto w2 = WriteSynthetic(path, 100, 10, 1);
    FrameHeader broken{1, 0xFFFFFFF0u, 0, 0};
    test::Overwrite(path, w2.videoOffsets[33],
                    std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&broken),
                                         reinterpret_cast<uint8_t*>(&broken) + 16));
    test::Overwrite(path, kKeyFrameIndexOffset + 8 * 4, std::vector<uint8_t>(8 * 6, 0));
    ASSERT_EQ(f.Open(path), 0);
    EXPECT_EQ(f.UsableIndexEntries(), 4u);
    FileRecord r;
    EXPECT_EQ(f.ReadHeader(w2.videoOffsets[33], &r), ReadStatus::kBad);
    f.ScanToEnd();
    EXPECT_EQ(f.DurationMs(), 32u * 40);

    // A file being written: the scan goes on from where it stopped.
    test::TestRecorder recorder(dir / "g.qvx", test::RecordingShape{});
    test::EncodedPicture key{std::vector<uint8_t>(900, 1), true}, p{std::vector<uint8_t>(90, 2), false};
    for (int i = 0; i < 30; ++i) recorder.Add(i % 10 ? p : key);
    RecordingFile g;
    ASSERT_EQ(g.Open(dir / "g.qvx"), 0);
    g.ScanToEnd();
    EXPECT_EQ(g.DurationMs(), 29u * 40);
    EXPECT_FALSE(g.Refresh());
    for (int i = 30; i < 45; ++i) recorder.Add(i % 10 ? p : key);
    EXPECT_TRUE(g.Refresh());
    EXPECT_TRUE(g.ModifiedWithin(60000));
    g.ScanToEnd();
    EXPECT_EQ(g.DurationMs(), 44u * 40);
    KeyFramePlace place;
    ASSERT_EQ(g.FindKeyFrame(44 * 40, &place), 0);  // the index grew too
    EXPECT_EQ(place.offset, recorder.Written().videoOffsets[40]);
    recorder.Close();
    test::AgeFile(dir / "g.qvx");
    EXPECT_FALSE(g.ModifiedWithin(60000));
}

TEST(PlaybackPacer, LevelsScaleTheTimestampDistances) {
    EXPECT_EQ(PlaybackPacer::ScaleMs(40, 0), 40000);
    EXPECT_EQ(PlaybackPacer::ScaleMs(40, 4), 2500);
    EXPECT_EQ(PlaybackPacer::ScaleMs(40, 1), 20000);
    EXPECT_EQ(PlaybackPacer::ScaleMs(40, -1), 80000);
    EXPECT_EQ(PlaybackPacer::ScaleMs(40, -3), 320000);
    EXPECT_FALSE(IsSpeedLevel(5));
    EXPECT_FALSE(IsSpeedLevel(-4));

    PlaybackPacer p;
    EXPECT_EQ(p.LateUs(1000, 5), 0);  // no time line yet
    EXPECT_EQ(p.DueUs(1000, 1'000'000), 1'000'000);  // the first picture anchors, due now
    p.Shown(1000, 1'000'000);
    EXPECT_EQ(p.DueUs(1040, 1'000'000), 1'040'000);
    EXPECT_EQ(p.LateUs(1040, 1'050'000), 10'000);
    p.Shown(1040, 1'040'000);
    p.SetLevel(2);  // 4x from the last shown picture on
    EXPECT_EQ(p.DueUs(1080, 1'041'000), 1'050'000);
    p.Shown(1080, 1'050'000);
    // Paused for a while: the next picture keeps its distance after the resume.
    p.Resume(9'000'000);
    EXPECT_EQ(p.DueUs(1120, 9'000'000), 9'010'000);
    p.Shown(1120, 9'010'000);
    // Behind by more than the limit: the time line moves to now.
    EXPECT_EQ(p.DueUs(1160, 9'600'000), 9'600'000);
    p.Shown(1160, 9'600'000);
    EXPECT_EQ(p.DueUs(1200, 9'600'000), 9'610'000);
    // A step backwards or a jump re-anchors at the picture.
    p.Shown(1200, 9'610'000);
    EXPECT_EQ(p.DueUs(500, 9'620'000), 9'620'000);
    p.Shown(500, 9'620'000);
    EXPECT_EQ(p.DueUs(500 + 2001, 9'630'000), 9'630'000);
    // A seek forgets everything.
    p.Reset();
    EXPECT_EQ(p.LateUs(7000, 1), 0);
    EXPECT_EQ(p.Level(), 2);
}

}  // namespace
}  // namespace ocv::player
