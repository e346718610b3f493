// Exports of real recordings (libx264 pictures, G.711 / G.726 sound) checked with ffprobe and a
// full decode by ffmpeg.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "backup/backup_job.h"
#include "backup/recording_source.h"
#include "record/record_file_reader.h"
#include "tests/backup/recording_maker.h"
#include "tests/support/temp_dir.h"

namespace ocv::backup {
namespace {

using test::DecodeErrors;
using test::PictureMs;
using test::Probe;
using test::ProbeValue;
using test::TestRecording;
using test::TempDir;
using test::WriteRecording;

constexpr int kTen = 10 * 3600;  // 10:00:00

// Top-level MP4 boxes in file order.
std::vector<std::string> TopLevelBoxes(const std::string& path) {
    std::string f = test::ReadText(path);
    std::vector<std::string> boxes;
    size_t at = 0;
    while (at + 8 <= f.size()) {
        uint64_t size = (uint64_t{static_cast<uint8_t>(f[at])} << 24) |
                        (uint64_t{static_cast<uint8_t>(f[at + 1])} << 16) |
                        (uint64_t{static_cast<uint8_t>(f[at + 2])} << 8) | static_cast<uint8_t>(f[at + 3]);
        boxes.push_back(f.substr(at + 4, 4));
        if (size < 8) break;
        at += size;
    }
    return boxes;
}

double Seconds(const std::string& text) { return text.empty() ? -1 : std::atof(text.c_str()); }

class ExportMediaTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string d = dir / "D";
    std::string e = dir / "E";
    std::string out = dir / "out";

    TestRecording Recording(const std::string& drive, int start, int seconds) {
        TestRecording s;
        s.driveDir = drive;
        s.startSecond = start;
        s.seconds = seconds;
        return s;
    }
    BackupResult Export(ExportFormat format, int from, int to, uint64_t splitBytes = kSplitBytes) {
        BackupSpan span{2020, 7, 8, from, to};
        std::vector<SpanFile> files;
        FindSpanFiles({d, e}, "cam01-5000-1", span, kAnyRecordType, &files);
        BackupOptions options;
        options.format = format;
        std::string first = out + "/x." + FormatExtension(format);
        options.outputPath = [first](int n) { return NumberedPath(first, n); };
        options.splitBytes = splitBytes;
        options.pauseEveryRecords = 0;
        BackupJob job(std::make_unique<RecordingSpanSource>(files, span), options);
        EXPECT_EQ(job.Start(), 0);
        return job.Wait();
    }
};

// One recording 10:00:00-10:01:00 exported for 10:00:10-10:00:50. The key frame at or before
// the start is picture 200 (10:00:09); the last picture before the end is 1224.
constexpr int kFirst = 200, kLast = 1224, kFrames = kLast - kFirst + 1;

TEST_F(ExportMediaTest, AviOfASpanHasItsDurationFramesAndStreamsAndDecodesCleanly) {
    TestRecording s = Recording(d, kTen, 60);
    WriteRecording(s);
    BackupResult r = Export(ExportFormat::kAvi, kTen + 10, kTen + 50);
    ASSERT_EQ(r.status, BackupStatus::kComplete) << r.error;
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.firstPictureMs, PictureMs(s, kFirst));
    EXPECT_EQ(r.lastPictureMs, PictureMs(s, kLast));
    std::string avi = r.files[0];
    std::string v = Probe(avi, "v:0", "codec_name,width,height,r_frame_rate,nb_read_frames");
    EXPECT_EQ(ProbeValue(v, "codec_name"), "h264") << v;
    EXPECT_EQ(ProbeValue(v, "width"), "320");
    EXPECT_EQ(ProbeValue(v, "height"), "240");
    EXPECT_EQ(ProbeValue(v, "r_frame_rate"), "25/1");
    EXPECT_EQ(ProbeValue(v, "nb_read_frames"), std::to_string(kFrames));
    std::string a = Probe(avi, "a:0", "codec_name,sample_rate,channels");
    EXPECT_EQ(ProbeValue(a, "codec_name"), "pcm_alaw") << a;
    EXPECT_EQ(ProbeValue(a, "sample_rate"), "8000");
    EXPECT_EQ(ProbeValue(a, "channels"), "1");
    double duration = Seconds(ProbeValue(Probe(avi, "", "duration"), "duration"));
    EXPECT_GE(duration, 40.0);
    EXPECT_LE(duration, 40.0 + 2.0);  // at most one GOP before the span start
    EXPECT_EQ(DecodeErrors(avi), "");
}

TEST_F(ExportMediaTest, Mp4OfASpanIsFastStartH264WithAacAndDecodesCleanly) {
    WriteRecording(Recording(d, kTen, 60));
    BackupResult r = Export(ExportFormat::kMp4, kTen + 10, kTen + 50);
    ASSERT_EQ(r.status, BackupStatus::kComplete) << r.error;
    std::string mp4 = r.files[0];
    std::string v = Probe(mp4, "v:0", "codec_name,width,height,avg_frame_rate,nb_read_frames");
    EXPECT_EQ(ProbeValue(v, "codec_name"), "h264") << v;
    EXPECT_EQ(ProbeValue(v, "width"), "320");
    EXPECT_EQ(ProbeValue(v, "avg_frame_rate"), "25/1");
    EXPECT_EQ(ProbeValue(v, "nb_read_frames"), std::to_string(kFrames));
    std::string a = Probe(mp4, "a:0", "codec_name,sample_rate,channels,duration");
    EXPECT_EQ(ProbeValue(a, "codec_name"), "aac") << a;
    EXPECT_EQ(ProbeValue(a, "sample_rate"), "8000");
    EXPECT_EQ(ProbeValue(a, "channels"), "1");
    EXPECT_NEAR(Seconds(ProbeValue(a, "duration")), kFrames / 25.0, 0.3);  // ends with the pictures
    double duration = Seconds(ProbeValue(Probe(mp4, "", "duration"), "duration"));
    EXPECT_GE(duration, 40.0);
    EXPECT_LE(duration, 42.0 + 0.2);
    auto boxes = TopLevelBoxes(mp4);
    auto moov = std::find(boxes.begin(), boxes.end(), "moov");
    auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
    ASSERT_TRUE(moov != boxes.end() && mdat != boxes.end());
    EXPECT_LT(moov, mdat);  // playable before the whole file has arrived
    EXPECT_EQ(DecodeErrors(mp4), "");
}

TEST_F(ExportMediaTest, RecordingFileExportKeepsRecordsAndTheirTimesOfDay) {
    TestRecording s = Recording(d, kTen, 60);
    WriteRecording(s);
    BackupResult r = Export(ExportFormat::kRecordFile, kTen + 10, kTen + 50);
    ASSERT_EQ(r.status, BackupStatus::kComplete) << r.error;
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(r.files[0]), 0);
    EXPECT_EQ(reader.Info().width, 320u);
    EXPECT_EQ(reader.Info().audioEncoding, kAudioG711ALaw);
    FrameHeader h;
    std::vector<uint8_t> data;
    int pictures = 0, sounds = 0;
    uint32_t firstMs = 0, lastMs = 0;
    while (reader.Next(&h, &data)) {
        if (!IsVideoFrame(h)) {
            ++sounds;
            continue;
        }
        if (pictures++ == 0) {
            EXPECT_TRUE(IsKeyFrame(h));
            firstMs = h.timestampMs;
        }
        lastMs = h.timestampMs;
    }
    EXPECT_EQ(pictures, kFrames);
    EXPECT_EQ(sounds, kFrames);
    EXPECT_EQ(firstMs, PictureMs(s, kFirst));
    EXPECT_EQ(lastMs, PictureMs(s, kLast));
}

TEST_F(ExportMediaTest, FilesOfTwoDrivesAreMergedInStartOrderIntoOneOutput) {
    TestRecording later = Recording(d, kTen + 40, 20);
    TestRecording earlier = Recording(e, kTen, 20);
    WriteRecording(later);
    WriteRecording(earlier);
    BackupResult r = Export(ExportFormat::kAvi, kTen, kTen + 90);
    ASSERT_EQ(r.status, BackupStatus::kComplete) << r.error;
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.firstPictureMs, PictureMs(earlier, 0));
    EXPECT_EQ(r.lastPictureMs, PictureMs(later, 499));
    EXPECT_EQ(ProbeValue(Probe(r.files[0], "v:0", "nb_read_frames"), "nb_read_frames"), "1000");
    EXPECT_EQ(DecodeErrors(r.files[0]), "");
}

TEST_F(ExportMediaTest, SplitContinuesInNumberedFilesThatEachBeginWithAKeyFrame) {
    WriteRecording(Recording(d, kTen, 20));
    BackupResult r = Export(ExportFormat::kAvi, kTen, kTen + 30, 150 * 1024);
    ASSERT_EQ(r.status, BackupStatus::kComplete) << r.error;
    ASSERT_GE(r.files.size(), 3u);
    EXPECT_EQ(r.files[0], out + "/x.avi");
    EXPECT_EQ(r.files[1], out + "/x_01.avi");
    EXPECT_EQ(r.files[2], out + "/x_02.avi");
    int total = 0;
    for (const std::string& f : r.files) {
        total += std::atoi(ProbeValue(Probe(f, "v:0", "nb_read_frames"), "nb_read_frames").c_str());
        EXPECT_EQ(DecodeErrors(f), "") << f;  // a file beginning without a key frame reports errors
    }
    EXPECT_EQ(total, 500);
}

TEST_F(ExportMediaTest, KindOneKeyFramesBeginAndSplitRecordingFiles) {
    TestRecording s = Recording(d, kTen, 20);
    s.keyFrameKind = 1;
    WriteRecording(s);
    BackupResult r = Export(ExportFormat::kRecordFile, kTen, kTen + 30, 150 * 1024);
    ASSERT_EQ(r.status, BackupStatus::kComplete) << r.error;
    ASSERT_GE(r.files.size(), 2u);
    int total = 0;
    for (const std::string& f : r.files) {
        RecordFileReader reader;
        ASSERT_EQ(reader.Open(f), 0);
        EXPECT_FALSE(reader.KeyFrames().empty());  // every kind-1 key frame is indexed
        FrameHeader h;
        std::vector<uint8_t> data;
        ASSERT_TRUE(reader.Next(&h, &data));
        EXPECT_EQ(h.frameType % 10, 1u) << f;
        do total += IsVideoFrame(h) ? 1 : 0;
        while (reader.Next(&h, &data));
    }
    EXPECT_EQ(total, 500);
}

TEST_F(ExportMediaTest, AnotherPictureSizeBeginsANewFile) {
    WriteRecording(Recording(d, kTen, 4));
    TestRecording small = Recording(e, kTen + 10, 4);
    small.width = 160;
    small.height = 120;
    WriteRecording(small);
    BackupResult r = Export(ExportFormat::kMp4, kTen, kTen + 20);
    ASSERT_EQ(r.status, BackupStatus::kComplete) << r.error;
    ASSERT_EQ(r.files.size(), 2u);
    EXPECT_EQ(ProbeValue(Probe(r.files[0], "v:0", "width"), "width"), "320");
    EXPECT_EQ(ProbeValue(Probe(r.files[1], "v:0", "width"), "width"), "160");
    EXPECT_EQ(DecodeErrors(r.files[1]), "");
}

TEST_F(ExportMediaTest, UnreadableAndOversizedFilesAreLeftOutAndReported) {
    WriteRecording(Recording(d, kTen, 4));
    std::string missing = WriteRecording(Recording(d, kTen + 10, 4));
    ASSERT_EQ(std::remove(missing.c_str()), 0);
    std::string wide = WriteRecording(Recording(e, kTen + 20, 4));
    std::string bytes = test::ReadText(wide);
    uint32_t width = 2560;
    memcpy(bytes.data() + 8, &width, 4);  // StreamInfo word 1
    test::WriteText(wide, bytes);
    BackupResult r = Export(ExportFormat::kAvi, kTen, kTen + 30);
    ASSERT_EQ(r.status, BackupStatus::kComplete) << r.error;
    ASSERT_EQ(r.problems.size(), 2u);
    EXPECT_NE(r.problems[0].find(missing), std::string::npos);
    EXPECT_NE(r.problems[1].find("2560x240"), std::string::npos);
    EXPECT_EQ(ProbeValue(Probe(r.files[0], "v:0", "nb_read_frames"), "nb_read_frames"), "100");
}

TEST_F(ExportMediaTest, TwoBitSoundIsG726InAviAndAacInMp4) {
    TestRecording s = Recording(d, kTen, 6);
    s.audioEncoding = kAudioAdpcm2Bit;
    WriteRecording(s);
    BackupResult avi = Export(ExportFormat::kAvi, kTen, kTen + 10);
    ASSERT_EQ(avi.status, BackupStatus::kComplete) << avi.error;
    std::string a = Probe(avi.files[0], "a:0", "codec_name,sample_rate");
    EXPECT_EQ(ProbeValue(a, "codec_name"), "adpcm_g726") << a;
    EXPECT_EQ(ProbeValue(a, "sample_rate"), "8000");
    EXPECT_EQ(DecodeErrors(avi.files[0]), "");
    BackupResult mp4 = Export(ExportFormat::kMp4, kTen, kTen + 10);
    ASSERT_EQ(mp4.status, BackupStatus::kComplete) << mp4.error;
    EXPECT_EQ(ProbeValue(Probe(mp4.files[0], "a:0", "codec_name"), "codec_name"), "aac");
    EXPECT_EQ(DecodeErrors(mp4.files[0]), "");
}

// H.265 recordings (standard cameras): MP4 carries them as hev1 with an hvcC record, AVI with
// the HEVC four-character code; both decode, with every picture of the span.
TEST_F(ExportMediaTest, H265RecordingExportsAsHvcCMp4AndHevcAviThatDecode) {
    TestRecording s = Recording(d, kTen, 12);
    s.videoCodec = kVideoCodecH265;
    WriteRecording(s);
    BackupResult mp4 = Export(ExportFormat::kMp4, kTen, kTen + 10);
    ASSERT_EQ(mp4.status, BackupStatus::kComplete) << mp4.error;
    std::string v = Probe(mp4.files[0], "v:0", "codec_name,codec_tag_string,width,height,nb_read_frames");
    EXPECT_EQ(ProbeValue(v, "codec_name"), "hevc") << v;
    EXPECT_EQ(ProbeValue(v, "codec_tag_string"), "hev1") << v;
    EXPECT_EQ(ProbeValue(v, "width"), "320");
    EXPECT_EQ(ProbeValue(v, "nb_read_frames"), "225") << "the pictures from the first, at 10:00:01, to 10:00:10";
    EXPECT_NE(test::ReadText(mp4.files[0]).find("hvcC"), std::string::npos) << "the decoder record is in the header";
    EXPECT_EQ(TopLevelBoxes(mp4.files[0]).at(1), "moov") << "fast start";
    EXPECT_EQ(ProbeValue(Probe(mp4.files[0], "a:0", "codec_name"), "codec_name"), "aac");
    EXPECT_EQ(DecodeErrors(mp4.files[0]), "");
    BackupResult avi = Export(ExportFormat::kAvi, kTen, kTen + 10);
    ASSERT_EQ(avi.status, BackupStatus::kComplete) << avi.error;
    v = Probe(avi.files[0], "v:0", "codec_name,codec_tag_string,nb_read_frames");
    EXPECT_EQ(ProbeValue(v, "codec_name"), "hevc") << v;
    EXPECT_EQ(ProbeValue(v, "codec_tag_string"), "HEVC") << v;
    EXPECT_EQ(ProbeValue(v, "nb_read_frames"), "225");
    EXPECT_EQ(DecodeErrors(avi.files[0]), "");
}

}  // namespace
}  // namespace ocv::backup
