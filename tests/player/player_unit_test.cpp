// The player's pure parts: record checks, G.711, geometry, queue and pacing policies,
// picture file encodings.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstring>

#include "player/display_geometry.h"
#include "player/frame_queue.h"
#include "player/frame_record.h"
#include "player/picture_capture.h"
#include "player/present_schedule.h"

namespace ocv::player {
namespace {

std::vector<uint8_t> Record(uint32_t kind, uint32_t dataLength, uint32_t frameType, size_t actualData) {
    FrameHeader h{kind, dataLength, 1234, frameType};
    std::vector<uint8_t> r(sizeof h + actualData, 0x11);
    std::memcpy(r.data(), &h, sizeof h);
    return r;
}

TEST(FrameRecord, VideoBoundsAndExtensionBlocks) {
    FrameRecordView v;
    auto ok = Record(1, 100, 3, 100);
    ASSERT_EQ(ParseVideoRecord(ok.data(), ok.size(), &v), 0);
    EXPECT_EQ(v.payloadSize, 100u);
    EXPECT_EQ(v.payload, ok.data() + 16);
    EXPECT_EQ(v.header.timestampMs, 1234u);

    // Two 72-byte extension blocks are cut off the end.
    auto ext = Record(1, 200, 21, 200);
    ASSERT_EQ(ParseVideoRecord(ext.data(), ext.size(), &v), 0);
    EXPECT_EQ(v.payloadSize, 200u - 144u);
    // Extension blocks that leave no picture (or exceed the data) are malformed.
    auto onlyExt = Record(1, 144, 22, 144);
    EXPECT_EQ(ParseVideoRecord(onlyExt.data(), onlyExt.size(), &v), -1);
    auto tooManyExt = Record(1, 100, 92, 100);
    EXPECT_EQ(ParseVideoRecord(tooManyExt.data(), tooManyExt.size(), &v), -1);

    // The header announces more data than the record holds.
    auto truncated = Record(1, 101, 3, 100);
    EXPECT_EQ(ParseVideoRecord(truncated.data(), truncated.size(), &v), -1);
    // More bytes than announced: only the announced data is the picture.
    auto longer = Record(1, 50, 3, 100);
    ASSERT_EQ(ParseVideoRecord(longer.data(), longer.size(), &v), 0);
    EXPECT_EQ(v.payloadSize, 50u);
    // Above the largest frame, even when the bytes are there.
    auto huge = Record(1, kMaxFrameDataLength + 1, 3, kMaxFrameDataLength + 1);
    EXPECT_EQ(ParseVideoRecord(huge.data(), huge.size(), &v), -1);
    auto largest = Record(1, kMaxFrameDataLength, 3, kMaxFrameDataLength);
    EXPECT_EQ(ParseVideoRecord(largest.data(), largest.size(), &v), 0);
    // Shorter than a header, empty, audio kind, null.
    EXPECT_EQ(ParseVideoRecord(ok.data(), 15, &v), -1);
    auto empty = Record(1, 0, 3, 0);
    EXPECT_EQ(ParseVideoRecord(empty.data(), empty.size(), &v), -1);
    auto audio = Record(2, 100, 0, 100);
    EXPECT_EQ(ParseVideoRecord(audio.data(), audio.size(), &v), -1);
    EXPECT_EQ(ParseVideoRecord(nullptr, 100, &v), -1);
}

TEST(FrameRecord, AudioSkipsItsHeader) {
    FrameRecordView v;
    auto a = Record(2, 164, 0, 164);
    ASSERT_EQ(ParseAudioRecord(a.data(), a.size(), &v), 0);
    EXPECT_EQ(v.payloadSize, 160u);
    EXPECT_EQ(v.payload, a.data() + 20);
    auto headerOnly = Record(2, 4, 0, 4);
    ASSERT_EQ(ParseAudioRecord(headerOnly.data(), headerOnly.size(), &v), 0);
    EXPECT_EQ(v.payloadSize, 0u);
    auto shortHeader = Record(2, 3, 0, 3);
    EXPECT_EQ(ParseAudioRecord(shortHeader.data(), shortHeader.size(), &v), -1);
    auto video = Record(1, 100, 3, 100);
    EXPECT_EQ(ParseAudioRecord(video.data(), video.size(), &v), -1);
}


DisplayRequest Request(int pw, int ph, int sw, int sh, bool keep) {
    DisplayRequest r;
    r.pictureWidth = pw;
    r.pictureHeight = ph;
    r.surfaceWidth = sw;
    r.surfaceHeight = sh;
    r.keepProportions = keep;
    return r;
}

TEST(DisplayGeometry, StretchFillsTheSurface) {
    DisplayLayout l;
    ASSERT_EQ(ComputeDisplayLayout(Request(352, 288, 320, 240, false), &l), 0);
    EXPECT_EQ(l.source, (PixelRect{0, 0, 352, 288}));
    EXPECT_EQ(l.destination, (PixelRect{0, 0, 320, 240}));
    EXPECT_EQ(l.marginX, 0);
    EXPECT_EQ(l.marginY, 0);
}

TEST(DisplayGeometry, KeepProportionsCentresWithExactMargins) {
    DisplayLayout l;
    // 16:9 into 4:3: bars above and below.
    ASSERT_EQ(ComputeDisplayLayout(Request(1920, 1080, 640, 480, true), &l), 0);
    EXPECT_EQ(l.destination, (PixelRect{0, 60, 640, 360}));
    EXPECT_EQ(l.marginY, 60);
    // 4:3 into a wide surface: bars left and right.
    ASSERT_EQ(ComputeDisplayLayout(Request(640, 480, 1000, 300, true), &l), 0);
    EXPECT_EQ(l.destination, (PixelRect{300, 0, 400, 300}));
    // Odd leftover: the drawn width is always surface - 2 * margin.
    ASSERT_EQ(ComputeDisplayLayout(Request(100, 100, 201, 100, true), &l), 0);
    EXPECT_EQ(l.marginX, 50);
    EXPECT_EQ(l.destination.width, 201 - 2 * 50);
    // Non-square pixels (CIF 12:11) widen the shown shape.
    DisplayRequest cif = Request(352, 288, 800, 288, true);
    cif.aspectNum = 12;
    cif.aspectDen = 11;
    ASSERT_EQ(ComputeDisplayLayout(cif, &l), 0);
    EXPECT_EQ(l.destination.height, 288);
    EXPECT_EQ(l.destination.width, 384);
    // Nothing to draw.
    EXPECT_EQ(ComputeDisplayLayout(Request(0, 288, 320, 240, true), &l), -1);
    EXPECT_EQ(ComputeDisplayLayout(Request(352, 288, 320, 0, false), &l), -1);
}

TEST(DisplayGeometry, RegionIsClippedAlignedAndStretched) {
    DisplayRequest r = Request(640, 480, 320, 320, true);
    r.hasRegion = true;
    r.regionLeft = 101;
    r.regionTop = 51;
    r.regionRight = 301;
    r.regionBottom = 151;
    EXPECT_EQ(ClipRegion(r), (PixelRect{100, 50, 201, 101}));  // left/top even, right/bottom kept
    r.regionLeft = 100;
    r.regionTop = 50;
    r.regionRight = 300;
    r.regionBottom = 150;
    DisplayLayout l;
    ASSERT_EQ(ComputeDisplayLayout(r, &l), 0);
    EXPECT_EQ(l.source, (PixelRect{100, 50, 200, 100}));
    // A 2:1 region fills the square surface even in keep-proportions mode.
    EXPECT_EQ(l.destination, (PixelRect{0, 0, 320, 320}));
    EXPECT_EQ(l.marginX, 0);
    EXPECT_EQ(l.marginY, 0);
    // A region wholly outside the picture: the whole picture, kept in proportion.
    r.regionLeft = 700;
    r.regionRight = 800;
    ASSERT_EQ(ComputeDisplayLayout(r, &l), 0);
    EXPECT_EQ(l.source, (PixelRect{0, 0, 640, 480}));
    EXPECT_EQ(l.destination, (PixelRect{0, 40, 320, 240}));

    // Partly outside: clipped to the picture.
    r.regionLeft = 600;
    r.regionTop = -20;
    r.regionRight = 900;
    r.regionBottom = 40;
    EXPECT_EQ(ClipRegion(r), (PixelRect{600, 0, 40, 40}));
    // Wholly outside, empty or reversed: the whole picture.
    r.regionLeft = 700;
    r.regionRight = 800;
    EXPECT_EQ(ClipRegion(r), (PixelRect{0, 0, 640, 480}));
    r.regionLeft = 300;
    r.regionRight = 200;
    EXPECT_EQ(ClipRegion(r), (PixelRect{0, 0, 640, 480}));
    // A one-pixel region at the far corner still yields 2 x 2 inside the picture.
    r.regionLeft = 639;
    r.regionTop = 479;
    r.regionRight = 640;
    r.regionBottom = 480;
    EXPECT_EQ(ClipRegion(r), (PixelRect{638, 478, 2, 2}));
}

QueuedFrame Frame(bool video, bool key, size_t size = 10, uint32_t ts = 0) {
    QueuedFrame f;
    f.video = video;
    f.keyFrame = key;
    f.size = size;
    f.timestampMs = ts;
    f.data.resize(size);
    return f;
}

TEST(FrameQueue, StartsAtAKeyFrame) {
    FrameQueue q(10, 1000);
    EXPECT_FALSE(q.Push(Frame(true, false)));
    EXPECT_TRUE(q.Push(Frame(false, false)));  // audio is never held back
    EXPECT_TRUE(q.Push(Frame(true, true)));
    EXPECT_TRUE(q.Push(Frame(true, false)));
    EXPECT_EQ(q.FrameCount(), 3u);
    EXPECT_EQ(q.DiscardedCount(), 1u);
    q.Clear();
    EXPECT_EQ(q.ByteCount(), 0u);
    EXPECT_FALSE(q.Push(Frame(true, false)));
}

TEST(FrameQueue, OverflowJumpsToTheNewestKeyFrame) {
    FrameQueue q(5, 100000);
    ASSERT_TRUE(q.Push(Frame(true, true, 10, 0)));
    for (uint32_t i = 1; i <= 3; ++i) q.Push(Frame(true, false, 10, i));
    q.Push(Frame(true, true, 10, 4));
    q.Push(Frame(true, false, 10, 5));  // sixth frame: over the bound
    ASSERT_EQ(q.FrameCount(), 2u);
    EXPECT_EQ(q.Pop()->timestampMs, 4u);
    EXPECT_EQ(q.Pop()->timestampMs, 5u);
    EXPECT_EQ(q.DiscardedCount(), 4u);
    EXPECT_EQ(q.ByteCount(), 0u);
}

TEST(FrameQueue, OverflowWithoutKeyFrameDropsVideoAndResyncs) {
    FrameQueue q(4, 100000);
    q.Push(Frame(true, true, 10, 0));
    q.Push(Frame(false, false, 10, 1));
    q.Push(Frame(true, false, 10, 2));
    q.Push(Frame(true, false, 10, 3));
    q.Push(Frame(true, false, 10, 4));  // over: the only key frame is the oldest
    ASSERT_EQ(q.FrameCount(), 1u);      // the audio survives
    EXPECT_FALSE(q.Pop()->video);
    EXPECT_TRUE(q.WaitingForKeyFrame());
    EXPECT_FALSE(q.Push(Frame(true, false, 10, 5)));
    EXPECT_TRUE(q.Push(Frame(true, true, 10, 6)));
    EXPECT_EQ(q.Pop()->timestampMs, 6u);
}

TEST(FrameQueue, ByteBoundAndAudioOverflow) {
    FrameQueue q(100, 50);
    q.Push(Frame(true, true, 30, 0));
    q.Push(Frame(true, false, 30, 1));  // 60 bytes: over, no newer key: video goes
    EXPECT_EQ(q.FrameCount(), 0u);
    EXPECT_EQ(q.ByteCount(), 0u);
    for (uint32_t i = 0; i < 8; ++i) q.Push(Frame(false, false, 10, i));
    EXPECT_EQ(q.FrameCount(), 5u);  // oldest audio dropped down to the bound
    EXPECT_EQ(q.ByteCount(), 50u);
    EXPECT_EQ(q.Pop()->timestampMs, 3u);
}

TEST(PresentSchedule, PacesByTimestampsFromTheFirstPicture) {
    PresentSchedule<int> s;
    s.SetCapacity(5);
    std::vector<int> due;
    s.Push(1, 1000, 0, &due);
    s.Push(2, 1040, 0, &due);
    s.Push(3, 1080, 0, &due);
    EXPECT_TRUE(due.empty());
    s.TakeDue(0, &due);
    EXPECT_EQ(due, (std::vector<int>{1}));
    EXPECT_EQ(s.NextDueUs(), 40000);
    s.TakeDue(39999, &due);
    EXPECT_EQ(due.size(), 1u);
    s.TakeDue(80000, &due);
    EXPECT_EQ(due, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(s.NextDueUs());
}

TEST(PresentSchedule, LateArrivalShiftsTheTimeLine) {
    PresentSchedule<int> s;
    s.SetCapacity(5);
    std::vector<int> due;
    s.Push(1, 0, 0, &due);
    s.TakeDue(0, &due);
    // Picture 2 (due at 40 ms) arrives at 200 ms: due now, and 3 keeps its 40 ms spacing.
    s.Push(2, 40, 200000, &due);
    s.Push(3, 80, 200000, &due);
    s.TakeDue(200000, &due);
    EXPECT_EQ(due, (std::vector<int>{1, 2}));
    EXPECT_EQ(s.NextDueUs(), 240000);
}

TEST(PresentSchedule, FullBufferHandsOutTheOldestAndPullsForward) {
    PresentSchedule<int> s;
    s.SetCapacity(2);
    std::vector<int> due;
    s.Push(1, 0, 0, &due);
    s.Push(2, 100, 0, &due);
    s.Push(3, 200, 0, &due);  // third picture: the oldest goes at once
    EXPECT_EQ(due, (std::vector<int>{1}));
    s.Push(4, 300, 0, &due);  // 2 was due at 100 ms: everything moves 100 ms earlier
    EXPECT_EQ(due, (std::vector<int>{1, 2}));
    EXPECT_EQ(s.NextDueUs(), 100000);
    // Capacity 0: every picture goes out as it comes.
    PresentSchedule<int> direct;
    std::vector<int> now;
    direct.Push(7, 0, 0, &now);
    direct.Push(8, 5000, 0, &now);
    EXPECT_EQ(now, (std::vector<int>{7, 8}));
}

TEST(PresentSchedule, TimestampJumpsReanchor) {
    PresentSchedule<int> s;
    s.SetCapacity(5);
    std::vector<int> due;
    s.Push(1, 100000, 0, &due);
    s.Push(2, 100040, 0, &due);
    // Backwards (device clock reset) and far ahead: due right after the previous one,
    // not in the past or minutes from now.
    s.Push(3, 50, 0, &due);
    s.Push(4, 900000, 0, &due);
    s.TakeDue(40000, &due);
    EXPECT_EQ(due, (std::vector<int>{1, 2, 3, 4}));
    s.Clear();
    EXPECT_EQ(s.Size(), 0u);
}

TEST(PictureFiles, BmpLayoutIsBottomUpAndPadded) {
    // 3 x 2 picture: rows of 9 bytes padded to 12.
    uint8_t bgr[2][9];
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 9; ++i) bgr[y][i] = static_cast<uint8_t>(y * 100 + i);
    std::string bmp = EncodeBmp24(&bgr[0][0], 9, 3, 2);
    ASSERT_EQ(bmp.size(), 54u + 24u);
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, bmp.data() + at, 4);
        return v;
    };
    auto u16 = [&](size_t at) {
        uint16_t v;
        std::memcpy(&v, bmp.data() + at, 2);
        return v;
    };
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), 78u);
    EXPECT_EQ(u32(10), 54u);
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(u32(18), 3u);
    EXPECT_EQ(u32(22), 2u);
    EXPECT_EQ(u16(26), 1);
    EXPECT_EQ(u16(28), 24);
    EXPECT_EQ(u32(34), 24u);
    // First stored row is the bottom one (y = 1), then padding zeros.
    EXPECT_EQ(static_cast<uint8_t>(bmp[54]), 100);
    EXPECT_EQ(static_cast<uint8_t>(bmp[54 + 8]), 108);
    EXPECT_EQ(bmp[54 + 9], 0);
    EXPECT_EQ(static_cast<uint8_t>(bmp[54 + 12]), 0);
    EXPECT_EQ(static_cast<uint8_t>(bmp[54 + 12 + 8]), 8);
}

TEST(PictureFiles, JpegRoundTripAndQualityBounds) {
    const int w = 33, h = 17;
    std::vector<uint8_t> rgb(w * 3 * h);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7);
    std::string jpeg;
    ASSERT_EQ(EncodeJpeg(rgb.data(), w * 3, w, h, 100, &jpeg), 0);
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(static_cast<uint8_t>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(jpeg[1]), 0xD8);
    tjhandle d = tjInitDecompress();
    int jw = 0, jh = 0, sub = -1, cs = -1;
    ASSERT_EQ(tjDecompressHeader3(d, reinterpret_cast<const unsigned char*>(jpeg.data()),
                                  jpeg.size(), &jw, &jh, &sub, &cs),
              0);
    tjDestroy(d);
    EXPECT_EQ(jw, w);
    EXPECT_EQ(jh, h);
    EXPECT_EQ(sub, TJSAMP_444);
    EXPECT_EQ(EncodeJpeg(rgb.data(), w * 3, w, h, 0, &jpeg), -1);
    EXPECT_EQ(EncodeJpeg(rgb.data(), w * 3, w, h, 101, &jpeg), -1);
    EXPECT_EQ(EncodeJpeg(rgb.data(), w * 3, w, h, 50, &jpeg), 0);
}

}  // namespace
}  // namespace ocv::player
