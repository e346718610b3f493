// The simulated devices' recordings follow fixed rules that tests and the documentation can
// state; these tests hold the simulator to them, and check how recorded frames are cut from
// the video loop for playback positions and downloaded spans.
#include <gtest/gtest.h>

#include "tools/devsim/recorded_feed.h"
#include "tools/devsim/recording_store.h"

namespace ocv::devsim {
namespace {

RecordingStore Store(int historyDays = 60) {
    ArchiveOptions a;
    a.lastYear = 2025;
    a.lastMonth = 1;
    a.lastDay = 31;
    a.historyDays = historyDays;
    return RecordingStore(a, {1024, 512});
}

TEST(RecordingStore, DayMarksFollowHistoryAndGapDays) {
    RecordingStore store = Store();
    // Channel 0 has a gap every eighth day; the 31st, the month's last day, is marked.
    EXPECT_EQ(store.DayMarks(0, 2025, 1), "01111111011111110111111101111111");
    // Channel 1's gaps are shifted by one day.
    EXPECT_EQ(store.DayMarks(1, 2025, 1), "01111110111111101111111011111110");
    // Nothing after the last day; the history of 60 days reaches back to 3 December 2024.
    EXPECT_EQ(store.DayMarks(0, 2025, 2), std::string(32, '0'));
    std::string december = store.DayMarks(0, 2024, 12);
    EXPECT_EQ(december.substr(0, 4), "0001");
    EXPECT_EQ(december[2], '0');
    EXPECT_EQ(december[3], '1');
    EXPECT_FALSE(store.HasRecordings(2, 2025, 1, 10)) << "no such channel";
    EXPECT_FALSE(store.HasRecordings(0, 2025, 2, 30)) << "no such day";
}

TEST(RecordingStore, FilesOfADayAreOrderedAndNamedForPlayback) {
    RecordingStore store = Store();
    // 10 January, channel 0: alarms at 02:10:00 and 03:50:30 (60 s), 20 plan files, a manual
    // recording at 20:15 on even days.
    auto files = store.FilesOfDay(0, 2025, 1, 10);
    ASSERT_EQ(files.size(), 23u);
    EXPECT_EQ(files[0].name, "CH01_20250110_021000_A.rec");
    EXPECT_EQ(files[0].durationSec, 60);
    EXPECT_EQ(files[1].name, "CH01_20250110_035030_A.rec");
    EXPECT_EQ(files[2].name, "CH01_20250110_080000_P.rec");
    EXPECT_EQ(files[2].durationSec, 1800);
    EXPECT_EQ(files[2].sizeKiB, 1800u * 1024 * 1000 / 8 / 1024);
    EXPECT_EQ(files[21].name, "CH01_20250110_173000_P.rec");
    EXPECT_EQ(files[22].name, "CH01_20250110_201500_M.rec");
    EXPECT_EQ(files[22].recordType, 1);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].number, i + 1);
        if (i > 0) {
            EXPECT_LE(files[i - 1].EndMs(), files[i].StartMs());
        }
    }
    EXPECT_EQ(store.FilesOfDay(0, 2025, 1, 11).size(), 22u) << "no manual recording on odd days";
    EXPECT_TRUE(store.FilesOfDay(0, 2025, 1, 8).empty()) << "a gap day";

    StoredFile found;
    ASSERT_TRUE(store.FindByName(0, "CH01_20250110_080000_P.rec", &found));
    EXPECT_EQ(found.start.hour, 8);
    EXPECT_FALSE(store.FindByName(1, "CH01_20250110_080000_P.rec", &found)) << "another channel's name";
    EXPECT_FALSE(store.FindByName(0, "CH01_20250110_080001_P.rec", &found)) << "no file starts then";
    EXPECT_FALSE(store.FindByName(0, "CH01_20250108_080000_P.rec", &found)) << "gap day";
    EXPECT_FALSE(store.FindByName(0, "CH01_20251310_080000_P.rec", &found));
    EXPECT_FALSE(store.FindByName(0, "", &found));
    EXPECT_FALSE(store.FindByName(0, std::string(200, 'C'), &found));
}

TEST(RecordingStore, SearchFiltersByTypeAndSpanOverlap) {
    RecordingStore store = Store();
    wire::SearchCondition c;
    c.channel = 0;
    c.recordType = 0;
    c.start = wire::DateTime{2025, 1, 10, 8, 29, 59};
    c.end = wire::DateTime{2025, 1, 10, 8, 30, 0};
    auto files = store.Search(c, 100);
    ASSERT_EQ(files.size(), 2u) << "the second before and the second after 08:30 touch two plan files";
    EXPECT_EQ(files[1].start.minute, 30);
    c.end = wire::DateTime{2025, 1, 10, 8, 29, 59};
    EXPECT_EQ(store.Search(c, 100).size(), 1u);
    // A whole day, alarms only; then three days (one a gap) of everything, limited.
    c.start = wire::DateTime{2025, 1, 10, 0, 0, 0};
    c.end = wire::DateTime{2025, 1, 10, 23, 59, 59};
    c.recordType = 2;
    EXPECT_EQ(store.Search(c, 100).size(), 2u);
    c.recordType = 0;
    c.start.day = 7;
    auto three = store.Search(c, 100);
    EXPECT_EQ(three.size(), 22u + 0u + 22u + 23u);  // 7th (odd), 8th (gap), 9th (odd), 10th (even)
    EXPECT_EQ(three.front().start.day, 7);
    EXPECT_EQ(three.back().start.day, 10);
    EXPECT_EQ(store.Search(c, 5).size(), 5u);
}

// A loop of 10 frames with key frames at 0 and 5, at 25 frames a second.
std::shared_ptr<const VideoLoop> TenFrameLoop() {
    auto loop = std::make_shared<VideoLoop>();
    loop->width = 32;
    loop->height = 32;
    loop->fps = 25;
    for (int i = 0; i < 10; ++i) loop->frames.push_back(EncodedFrame{std::vector<uint8_t>(1, uint8_t(i)), i % 5 == 0});
    return loop;
}

TEST(RecordedFeed, PlaybackPositionsLandOnKeyFrames) {
    StoredFile file;
    file.start = wire::DateTime{2025, 1, 10, 2, 10, 0};
    file.durationSec = 60;
    auto feed = RecordedFeed::ForFile(TenFrameLoop(), file);
    EXPECT_EQ(feed->LengthMs(), 60000u);
    RecordedFeed::Item item;
    ASSERT_TRUE(feed->Next(&item));
    EXPECT_EQ(item.timestampMs, 0u);
    EXPECT_TRUE(item.frame->key);
    // 50 % is frame 750, a key frame (750 % 5 == 0); 51 % is frame 765 and lands on 765 too.
    EXPECT_EQ(feed->SeekPercent(50), 30000u);
    EXPECT_EQ(feed->SeekPercent(51), 30600u);
    ASSERT_TRUE(feed->Next(&item));
    EXPECT_TRUE(item.frame->key);
    EXPECT_EQ(item.timestampMs, 30600u);
    // Frame 767 (30.68 s) backs up to 765.
    feed->SeekPercent(0);
    EXPECT_EQ(feed->SeekPercent(100), 60000u);
    EXPECT_FALSE(feed->Next(&item)) << "100 % is the end";
    size_t frames = 0;
    feed->SeekPercent(0);
    while (feed->Next(&item)) ++frames;
    EXPECT_EQ(frames, 1500u);
}

TEST(RecordedFeed, DownloadSpanStartsAtKeyFrameAndJoinsFiles) {
    RecordingStore store = Store();
    wire::SearchCondition c;
    c.start = wire::DateTime{2025, 1, 10, 8, 29, 58};
    c.end = wire::DateTime{2025, 1, 10, 8, 30, 1};
    auto files = store.Search(c, 100);
    ASSERT_EQ(files.size(), 2u);
    int64_t spanStart = files[1].StartMs() - 2000, spanEnd = files[1].StartMs() + 2000;
    // 08:29:58 is frame 44950 of the first file; 44950 % 5 == 0, so it is a key frame itself.
    auto feed = RecordedFeed::ForSpan(TenFrameLoop(), files, spanStart + 20, spanEnd);
    ASSERT_NE(feed, nullptr);
    EXPECT_EQ(feed->OriginMs(), spanStart) << "backed up from 08:29:58.020 to the key frame at 08:29:58";
    EXPECT_EQ(feed->LengthMs(), 4000u);
    RecordedFeed::Item item;
    uint32_t last = 0;
    size_t frames = 0;
    while (feed->Next(&item)) {
        if (frames == 0) {
            EXPECT_TRUE(item.frame->key);
        }
        if (frames > 0) {
            EXPECT_EQ(item.timestampMs, last + 40);
        }
        last = item.timestampMs;
        ++frames;
    }
    EXPECT_EQ(frames, 100u) << "two seconds of each file";
    EXPECT_EQ(RecordedFeed::ForSpan(TenFrameLoop(), files, spanEnd + 3600000, spanEnd + 3600001), nullptr);
}

}  // namespace
}  // namespace ocv::devsim
