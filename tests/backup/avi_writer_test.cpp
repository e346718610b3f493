// Byte layout of the AVI writer's files.
#include <gtest/gtest.h>

#include <cstring>

#include "backup/avi_writer.h"
#include "base/media_types.h"
#include "tests/support/temp_dir.h"

namespace ocv::backup {
namespace {

using test::ReadText;
using test::TempDir;

uint32_t U32(const std::string& f, size_t at) {
    uint32_t v = 0;
    memcpy(&v, f.data() + at, 4);
    return v;
}
uint16_t U16(const std::string& f, size_t at) {
    uint16_t v = 0;
    memcpy(&v, f.data() + at, 2);
    return v;
}

struct Chunk {
    std::string id;  // the list type for LIST and RIFF
    size_t at;       // of the chunk header
    uint32_t size;
};

// Walks [from, to): every chunk and list must fit exactly, padded to even sizes.
bool Walk(const std::string& f, size_t from, size_t to, std::vector<Chunk>* out) {
    size_t at = from;
    while (at < to) {
        if (at + 8 > to) return false;
        std::string id = f.substr(at, 4);
        uint32_t size = U32(f, at + 4);
        if (at + 8 + size > to) return false;
        if (id == "LIST" || id == "RIFF") {
            out->push_back(Chunk{f.substr(at + 8, 4), at, size});
            if (!Walk(f, at + 12, at + 8 + size, out)) return false;
        } else {
            out->push_back(Chunk{id, at, size});
        }
        at += 8 + size + (size & 1u);
    }
    return at == to;
}

const Chunk* Find(const std::vector<Chunk>& chunks, const std::string& id, int nth = 0) {
    for (const Chunk& c : chunks)
        if (c.id == id && nth-- == 0) return &c;
    return nullptr;
}

class AviWriterTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir / "out.avi";
    AviWriter writer;
    std::string file;
    std::vector<Chunk> chunks;

    void OpenWith(uint32_t audioEncoding) {
        AviAudioFormat audio;
        bool hasAudio = AviAudioFormatFor(audioEncoding, &audio);
        ASSERT_EQ(writer.Open(path, AviVideoFormat{320, 240, 40}, hasAudio ? &audio : nullptr), 0);
    }
    void Video(uint32_t size, bool key, uint32_t ts) {
        std::vector<uint8_t> data(size, static_cast<uint8_t>(size));
        ASSERT_EQ(writer.WriteVideo(data.data(), size, key, ts), 0);
    }
    void Audio(uint32_t size) {
        std::vector<uint8_t> data(size, static_cast<uint8_t>(size));
        ASSERT_EQ(writer.WriteAudio(data.data(), size), 0);
    }
    void CloseAndParse() {
        ASSERT_EQ(writer.Close(), 0);
        file = ReadText(path);
        ASSERT_GE(file.size(), 12u);
        ASSERT_EQ(file.substr(0, 4), "RIFF");
        ASSERT_EQ(U32(file, 4), file.size() - 8);
        ASSERT_EQ(file.substr(8, 4), "AVI ");
        ASSERT_TRUE(Walk(file, 12, file.size(), &chunks));
    }
};

TEST_F(AviWriterTest, ChunksListsAndIndexAgreeByteForByte) {
    OpenWith(kAudioG711ALaw);
    Video(101, true, 1000);  // odd sizes need a pad byte
    Audio(320);
    Video(2000, false, 1040);
    Audio(321);
    Video(57, false, 1080);
    CloseAndParse();

    const Chunk* avih = Find(chunks, "avih");
    ASSERT_TRUE(avih);
    size_t a = avih->at + 8;
    EXPECT_EQ(avih->size, 56u);
    EXPECT_EQ(U32(file, a + 0), 40000u);  // microseconds per frame
    EXPECT_EQ(U32(file, a + 12), 0x110u);  // has index, interleaved
    EXPECT_EQ(U32(file, a + 16), 3u);      // frames
    EXPECT_EQ(U32(file, a + 24), 2u);      // streams
    EXPECT_EQ(U32(file, a + 28), 2008u);   // largest chunk and its header
    EXPECT_EQ(U32(file, a + 32), 320u);
    EXPECT_EQ(U32(file, a + 36), 240u);

    const Chunk* vstrh = Find(chunks, "strh", 0);
    const Chunk* vstrf = Find(chunks, "strf", 0);
    ASSERT_TRUE(vstrh && vstrf);
    size_t v = vstrh->at + 8;
    EXPECT_EQ(file.substr(v, 8), "vidsx264");
    EXPECT_EQ(U32(file, v + 20), 1000u);   // scale
    EXPECT_EQ(U32(file, v + 24), 25000u);  // rate: 25 per second from the 40 ms steps
    EXPECT_EQ(U32(file, v + 32), 3u);      // length
    EXPECT_EQ(U32(file, v + 36), 2000u);   // suggested buffer
    EXPECT_EQ(vstrf->size, 40u);
    EXPECT_EQ(U32(file, vstrf->at + 12), 320u);
    EXPECT_EQ(U32(file, vstrf->at + 16), 240u);
    EXPECT_EQ(file.substr(vstrf->at + 24, 4), "H264");

    const Chunk* astrh = Find(chunks, "strh", 1);
    const Chunk* astrf = Find(chunks, "strf", 1);
    ASSERT_TRUE(astrh && astrf);
    size_t s = astrh->at + 8;
    EXPECT_EQ(file.substr(s, 8), "audsg711");
    EXPECT_EQ(U32(file, s + 20), 1u);     // scale: one-byte blocks
    EXPECT_EQ(U32(file, s + 24), 8000u);  // rate
    EXPECT_EQ(U32(file, s + 32), 641u);   // length: every sound byte
    EXPECT_EQ(U32(file, s + 44), 1u);     // sample size
    ASSERT_EQ(astrf->size, 18u);
    size_t w = astrf->at + 8;
    EXPECT_EQ(U16(file, w), kWaveFormatALaw);
    EXPECT_EQ(U16(file, w + 2), 1u);
    EXPECT_EQ(U32(file, w + 4), 8000u);
    EXPECT_EQ(U32(file, w + 8), 8000u);
    EXPECT_EQ(U16(file, w + 12), 1u);
    EXPECT_EQ(U16(file, w + 14), 8u);

    // The index: one entry per chunk, in file order, offsets from the "movi" tag.
    const Chunk* movi = Find(chunks, "movi");
    const Chunk* idx1 = Find(chunks, "idx1");
    ASSERT_TRUE(movi && idx1);
    EXPECT_EQ(idx1->at, movi->at + 8 + movi->size);  // the index follows the movi list
    ASSERT_EQ(idx1->size, 5u * 16);
    size_t moviTag = movi->at + 8;
    const char* ids[] = {"00dc", "01wb", "00dc", "01wb", "00dc"};
    const uint32_t sizes[] = {101, 320, 2000, 321, 57};
    const uint32_t flags[] = {0x10, 0x10, 0, 0x10, 0};
    size_t expectAt = moviTag + 4;
    for (int i = 0; i < 5; ++i) {
        size_t e = idx1->at + 8 + 16 * i;
        EXPECT_EQ(file.substr(e, 4), ids[i]) << i;
        EXPECT_EQ(U32(file, e + 4), flags[i]) << i;
        EXPECT_EQ(moviTag + U32(file, e + 8), expectAt) << i;
        EXPECT_EQ(U32(file, e + 12), sizes[i]) << i;
        EXPECT_EQ(file.substr(expectAt, 4), ids[i]) << i;
        EXPECT_EQ(U32(file, expectAt + 4), sizes[i]) << i;
        EXPECT_EQ(static_cast<uint8_t>(file[expectAt + 8]), static_cast<uint8_t>(sizes[i] & 0xFF));
        expectAt += 8 + sizes[i] + (sizes[i] & 1u);
    }
    EXPECT_EQ(expectAt, idx1->at);
}

TEST_F(AviWriterTest, FrameRateIsMeasuredFromTimestampsClosingUpGaps) {
    OpenWith(kAudioNone);
    uint32_t ts[] = {500, 533, 566, 599, 9000, 9033, 9066};  // a long gap counts as 33 ms
    for (uint32_t t : ts) Video(10, t == 500, t);
    CloseAndParse();
    size_t v = Find(chunks, "strh")->at + 8;
    EXPECT_EQ(U32(file, v + 24), 30303u);  // 6 steps over 198 ms
    EXPECT_EQ(U32(file, Find(chunks, "avih")->at + 8), 33000u);
    EXPECT_EQ(U32(file, Find(chunks, "avih")->at + 8 + 24), 1u);  // no sound stream
    EXPECT_EQ(Find(chunks, "strh", 1), nullptr);
    EXPECT_EQ(writer.WriteVideo(nullptr, 0, true, 0), -1);  // closed
}

TEST_F(AviWriterTest, TwoBitSoundIsDescribedAsG726) {
    OpenWith(kAudioAdpcm2Bit);
    Video(10, true, 0);
    Audio(80);
    CloseAndParse();
    size_t s = Find(chunks, "strh", 1)->at + 8;
    EXPECT_EQ(file.substr(s, 8), "audsg726");
    EXPECT_EQ(U32(file, s + 24), 2000u);
    size_t w = Find(chunks, "strf", 1)->at + 8;
    EXPECT_EQ(U16(file, w), kWaveFormatG726);
    EXPECT_EQ(U32(file, w + 8), 2000u);
    EXPECT_EQ(U16(file, w + 14), 2u);
}

TEST_F(AviWriterTest, FileWithoutPicturesIsStillWellFormed) {
    OpenWith(kAudioG711MuLaw);
    CloseAndParse();
    EXPECT_EQ(U32(file, Find(chunks, "avih")->at + 8 + 16), 0u);
    EXPECT_EQ(U16(file, Find(chunks, "strf", 1)->at + 8), kWaveFormatMuLaw);
    EXPECT_EQ(Find(chunks, "idx1")->size, 0u);
}

TEST_F(AviWriterTest, UncreatableFileIsRefusedWithItsPath) {
    std::string bad = dir / "missing/out.avi";
    EXPECT_EQ(writer.Open(bad, AviVideoFormat{320, 240, 40}, nullptr), -1);
    EXPECT_NE(writer.Error().find(bad), std::string::npos);
    EXPECT_EQ(writer.Open(path, AviVideoFormat{0, 240, 40}, nullptr), -1);
    EXPECT_FALSE(writer.IsOpen());
}

}  // namespace
}  // namespace ocv::backup
