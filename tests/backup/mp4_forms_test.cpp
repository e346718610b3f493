// The MP4 forms of H.264 and the index move, compared with what libavformat makes itself
// (through the ffmpeg program).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "backup/h264_parameter_sets.h"
#include "backup/mp4_index_mover.h"
#include "tests/backup/recording_maker.h"
#include "tests/support/temp_dir.h"

namespace ocv::backup {
namespace {

using test::ProbeValue;
using test::ReadText;
using test::RunCommand;
using test::TempDir;

// The avcC box contents of an MP4 file.
std::string AvcCOf(const std::string& mp4) {
    std::string f = ReadText(mp4);
    size_t at = f.find("avcC");
    if (at == std::string::npos || at < 4) return {};
    uint32_t size = static_cast<uint8_t>(f[at - 4]) << 24 | static_cast<uint8_t>(f[at - 3]) << 16 |
                    static_cast<uint8_t>(f[at - 2]) << 8 | static_cast<uint8_t>(f[at - 1]);
    return f.substr(at + 4, size - 8);
}

std::vector<std::string> TopLevelBoxes(const std::string& path) {
    std::string f = ReadText(path);
    std::vector<std::string> boxes;
    for (size_t at = 0; at + 8 <= f.size();) {
        uint64_t size = static_cast<uint8_t>(f[at]) << 24 | static_cast<uint8_t>(f[at + 1]) << 16 |
                        static_cast<uint8_t>(f[at + 2]) << 8 | static_cast<uint8_t>(f[at + 3]);
        boxes.push_back(f.substr(at + 4, 4));
        if (size < 8) break;
        at += size;
    }
    return boxes;
}

TEST(Mp4FormsTest, DecoderConfigurationMatchesLibavformatsForEachProfile) {
    TempDir dir;
    const char* encodings[] = {"-profile:v baseline -pix_fmt yuv420p", "-profile:v high -pix_fmt yuv420p",
                               "-profile:v high422 -pix_fmt yuv422p", "-profile:v high444 -pix_fmt yuv444p"};
    for (const char* encoding : encodings) {
        SCOPED_TRACE(encoding);
        std::string h264 = dir / "clip.h264", ref = dir / "ref.mp4";
        int status = -1;
        RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=176x144:rate=25 -t 0.4 "
                   "-c:v libx264 " + std::string(encoding) + " -f h264 '" + h264 + "' 2>&1", &status);
        ASSERT_EQ(status, 0);
        RunCommand("ffmpeg -nostdin -v error -y -i '" + h264 + "' -c copy '" + ref + "' 2>&1", &status);
        ASSERT_EQ(status, 0);
        std::string stream = ReadText(h264);
        std::string mine = AvcDecoderConfiguration(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
        ASSERT_FALSE(mine.empty());
        EXPECT_EQ(mine, AvcCOf(ref));
    }
}

TEST(Mp4FormsTest, StartCodesBecomeLengthsAndTrailingZerosGo) {
    const uint8_t au[] = {0, 0, 0, 1, 0x67, 0xAA, 0, 0, 1, 0x68, 0xBB, 0xCC, 0, 0, 0, 0, 1, 0x65, 1, 0, 0};
    std::vector<uint8_t> out;
    AnnexBToLengthPrefixed(au, sizeof au, &out);
    const std::vector<uint8_t> expected = {0, 0, 0, 2, 0x67, 0xAA, 0, 0, 0, 3, 0x68, 0xBB, 0xCC,
                                           0, 0, 0, 2, 0x65, 1};
    EXPECT_EQ(out, expected);
    const uint8_t noStart[] = {1, 2, 3, 0, 0};
    AnnexBToLengthPrefixed(noStart, sizeof noStart, &out);
    EXPECT_TRUE(out.empty());
    // Parameter sets alone: no PPS means no header.
    EXPECT_EQ(H264ParameterSets(au, 6), "");
    EXPECT_EQ(H264ParameterSets(au, sizeof au), std::string("\0\0\0\1\x67\xAA\0\0\0\1\x68\xBB\xCC", 13));
}

class IndexMoverTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir / "x.mp4";
    void SetUp() override {
        int status = -1;
        RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=176x144:rate=25 -f lavfi "
                   "-i sine=r=8000 -t 3 -c:v libx264 -c:a aac '" + path + "' 2>&1", &status);
        ASSERT_EQ(status, 0);
        ASSERT_EQ(TopLevelBoxes(path), (std::vector<std::string>{"ftyp", "free", "mdat", "moov"}));
    }
    int Move(bool insertRange, std::string* error) {
        int fd = open(path.c_str(), O_RDWR);
        int rc = MoveMp4IndexToFront(fd, insertRange, error);
        close(fd);
        return rc;
    }
};

TEST_F(IndexMoverTest, IndexMovesToTheFrontWithOrWithoutInsertingSpace) {
    std::string frames = ProbeValue(test::Probe(path, "v:0", "nb_read_frames"), "nb_read_frames");
    for (bool insertRange : {true, false}) {
        SCOPED_TRACE(insertRange);
        SetUp();
        std::string error;
        ASSERT_EQ(Move(insertRange, &error), 0) << error;
        EXPECT_EQ(TopLevelBoxes(path), (std::vector<std::string>{"ftyp", "moov", "free", "mdat"}));
        EXPECT_EQ(ProbeValue(test::Probe(path, "v:0", "nb_read_frames"), "nb_read_frames"), frames);
        EXPECT_EQ(test::DecodeErrors(path), "");
        // Once at the front it stays as it is.
        std::string before = ReadText(path);
        ASSERT_EQ(Move(insertRange, &error), 0);
        EXPECT_EQ(ReadText(path), before);
    }
}

TEST_F(IndexMoverTest, DamagedFilesAreLeftAsTheyWere) {
    std::string original = ReadText(path);
    std::string error;
    test::WriteText(path, original.substr(0, original.size() - 10));  // the index cut short
    EXPECT_EQ(Move(true, &error), -2);
    EXPECT_NE(error.find("damaged box"), std::string::npos) << error;
    EXPECT_EQ(ReadText(path).size(), original.size() - 10);
    test::WriteText(path, "not an mp4 file at all");
    EXPECT_EQ(Move(true, &error), -2);
    EXPECT_EQ(ReadText(path), "not an mp4 file at all");
}

}  // namespace
}  // namespace ocv::backup
