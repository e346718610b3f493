// The time line's arithmetic: zoom steps and their bounds, paging, where times lie on the
// control and which time lies under a point, the bars and their colours, the clip range.
#include <gtest/gtest.h>

#include "playback/timeline_model.h"

namespace ocv::playback {
namespace {

RecordEntry Entry(int h, int m, int s, int duration, int type = 3) {
    RecordEntry e;
    e.hour = static_cast<uint16_t>(h);
    e.minute = static_cast<uint16_t>(m);
    e.second = static_cast<uint16_t>(s);
    e.durationSeconds = duration;
    e.type = static_cast<uint16_t>(type);
    return e;
}

TEST(TimelineZoom, ZoomingInFromTheWholeDayAtS900GivesM60AndS720) {
    TimelineModel t;
    t.SetView(900, 120);
    ASSERT_TRUE(t.ZoomIn());
    EXPECT_EQ(t.minutesPerDivision(), 60);
    EXPECT_EQ(t.viewStart(), 720);
    EXPECT_EQ(t.visibleMinutes(), 720);
}

TEST(TimelineZoom, EachStepClampsTheViewStartToItsBound) {
    // Zoom in from the finest start the previous step allows and check the clamp of the next.
    TimelineModel t;
    t.SetView(1380, 5);
    ASSERT_EQ(t.viewStart(), 1380);
    ASSERT_TRUE(t.ZoomOut());  // 5 -> 15, S <= 1260
    EXPECT_EQ(t.minutesPerDivision(), 15);
    EXPECT_EQ(t.viewStart(), 1260);
    ASSERT_TRUE(t.ZoomOut());  // 15 -> 30, S <= 1080
    EXPECT_EQ(t.viewStart(), 1080);
    ASSERT_TRUE(t.ZoomOut());  // 30 -> 60, S <= 720
    EXPECT_EQ(t.viewStart(), 720);
    ASSERT_TRUE(t.ZoomOut());  // 60 -> 120, S = 0
    EXPECT_EQ(t.viewStart(), 0);
    EXPECT_FALSE(t.ZoomOut()) << "120 is the coarsest step";
    EXPECT_EQ(t.minutesPerDivision(), 120);

    t.SetView(720, 60);
    ASSERT_TRUE(t.ZoomIn());  // 60 -> 30 keeps 720 (<= 1080)
    EXPECT_EQ(t.viewStart(), 720);
    t.SetView(1080, 30);
    ASSERT_TRUE(t.ZoomIn());  // 30 -> 15 keeps 1080 (<= 1260)
    EXPECT_EQ(t.viewStart(), 1080);
    ASSERT_TRUE(t.ZoomIn());  // 15 -> 5
    EXPECT_EQ(t.minutesPerDivision(), 5);
    EXPECT_FALSE(t.ZoomIn()) << "5 is the finest step";
}

TEST(TimelinePaging, StepsAndPagesStayWithinTheBounds) {
    TimelineModel t;
    t.SetView(0, 60);
    t.Step(+1);
    EXPECT_EQ(t.viewStart(), 60);
    t.Step(+kDivisions);
    EXPECT_EQ(t.viewStart(), 720) << "a page goes to 780, clamped to 12 x (120 - 60)";
    t.Step(-kDivisions);
    EXPECT_EQ(t.viewStart(), 0);
    t.Step(-1);
    EXPECT_EQ(t.viewStart(), 0);
    t.SetView(0, 120);
    t.Step(+1);
    EXPECT_EQ(t.viewStart(), 0) << "the whole day does not move";
    EXPECT_EQ(t.visibleMinutes(), 1440);
}

TEST(TimelineGeometry, TimesAndPointsMapBothWays) {
    TimelineModel t;
    t.Resize(152 + 12 * 60, 130);  // V = 60 pixels per division
    ASSERT_EQ(t.DivisionWidth(), 60);
    ASSERT_EQ(t.RowHeight(), 26);
    EXPECT_EQ(t.TimeAreaRight(), 820);
    // Whole day: 120 minutes per 60 pixels.
    EXPECT_EQ(t.XOfSecond(0), 101);
    EXPECT_EQ(t.XOfSecond(7200), 161);
    EXPECT_EQ(t.SecondAtX(100), 0);
    EXPECT_EQ(t.SecondAtX(160), 7200);
    EXPECT_EQ(t.SecondAtX(99), -1);
    EXPECT_EQ(t.SecondAtX(821), -1);
    EXPECT_EQ(t.TickLabel(0), "00:00");
    EXPECT_EQ(t.TickLabel(12), "24:00");
    t.SetView(600, 5);
    EXPECT_EQ(t.TickLabel(1), "10:05");
    EXPECT_EQ(t.SecondAtX(100 + 30), 600 * 60 + 150);
    // Rows: 0 is the ticks, 1..4 the windows; pixel rows from 5 x R on belong to none.
    EXPECT_EQ(t.WindowAtY(25), -1);
    EXPECT_EQ(t.WindowAtY(26), 0);
    EXPECT_EQ(t.WindowAtY(129), 3);
    EXPECT_EQ(t.WindowAtY(130), -1);
    int w = 0, s = 0;
    EXPECT_TRUE(t.Hit(160, 60, &w, &s));
    EXPECT_EQ(w, 1);
    EXPECT_FALSE(t.Hit(50, 60, &w, &s)) << "the label column is no time";
}

TEST(TimelineGeometry, BarsFollowTheDrawingRules) {
    TimelineModel t;
    t.Resize(152 + 12 * 60, 130);
    t.SetView(600, 60);  // 10:00 .. 22:00, 60 px per hour
    BarRect bar;
    // 10:30 for 30 minutes in window 1 (row 2: y 52..78).
    ASSERT_TRUE(t.EntryBar(1, Entry(10, 30, 0, 1800), &bar));
    EXPECT_EQ(bar, (BarRect{131, 56, 161, 75}));
    // Begins before the view: drawn from the area's start.
    ASSERT_TRUE(t.EntryBar(0, Entry(9, 30, 0, 3600), &bar));
    EXPECT_EQ(bar.left, 101);
    EXPECT_EQ(bar.right, 131);
    // Ends before the view, no duration, or begins after it: not drawn.
    EXPECT_FALSE(t.EntryBar(0, Entry(9, 0, 0, 1800), &bar));
    EXPECT_FALSE(t.EntryBar(0, Entry(11, 0, 0, 0), &bar));
    EXPECT_FALSE(t.EntryBar(0, Entry(23, 0, 0, 60), &bar));
    // A few seconds still take one pixel; a bar past the end is clipped to it.
    ASSERT_TRUE(t.EntryBar(0, Entry(12, 0, 0, 5), &bar));
    EXPECT_EQ(bar.right - bar.left, 1);
    ASSERT_TRUE(t.EntryBar(0, Entry(21, 30, 0, 7200), &bar));
    EXPECT_EQ(bar.right, t.TimeAreaRight());
    ClipRange clip{2, 11 * 3600, 12 * 3600};
    ASSERT_TRUE(t.ClipBar(clip, &bar));
    EXPECT_EQ(bar, (BarRect{161, 86, 221, 97}));
}

TEST(TimelineColours, TypesHaveTheirColoursAndAnythingElseIsGreen) {
    EXPECT_EQ(RecordTypeColour(1), 0xFF00FF00u);
    EXPECT_EQ(RecordTypeColour(2), 0xFFFF0000u);
    EXPECT_EQ(RecordTypeColour(3), 0xFF0000FFu);
    EXPECT_EQ(RecordTypeColour(20), 0xFFFF0000u);
    EXPECT_EQ(RecordTypeColour(30), 0xFF0000FFu);
    EXPECT_EQ(RecordTypeColour(0), 0xFF00FF00u);
    EXPECT_EQ(RecordTypeColour(7), 0xFF00FF00u);
    EXPECT_EQ(RecordTypeColour(40), 0xFF00FF00u);
}

TEST(TimelineCursor, TextAndRevealKeepTheCursorInView) {
    EXPECT_EQ(TimelineModel::CursorText(0), "0:00:00");
    EXPECT_EQ(TimelineModel::CursorText(13 * 3600 + 5 * 60 + 9), "13:05:09");
    TimelineModel t;
    t.SetView(600, 5);  // 10:00 .. 11:00
    EXPECT_FALSE(t.Reveal(10 * 3600 + 30 * 60));
    EXPECT_TRUE(t.Reveal(11 * 3600 + 2 * 60));
    EXPECT_EQ(t.viewStart(), 605) << "moved on by whole divisions, the time near the right end";
    EXPECT_TRUE(t.Reveal(9 * 3600));
    EXPECT_EQ(t.viewStart(), 540);
    EXPECT_TRUE(t.Reveal(23 * 3600 + 59 * 60));
    EXPECT_EQ(t.viewStart(), 1380);
}

TEST(TimelineClip, ClicksStartMoveAndClearTheRange) {
    ClipRange clip;
    ClipClick(&clip, 1, 1000, true);
    EXPECT_EQ(clip.row, 1);
    EXPECT_EQ(clip.start, 1000);
    EXPECT_EQ(clip.end, 1000);
    ClipClick(&clip, 1, 2000, true);
    EXPECT_EQ(clip.end, 2000);
    ClipClick(&clip, 1, 500, true);
    EXPECT_EQ(clip.start, 500);
    ClipClick(&clip, 1, 1500, true);
    EXPECT_EQ(clip.start, 500) << "a click inside the range changes nothing";
    EXPECT_EQ(clip.end, 2000);
    ClipClick(&clip, 3, 40, true);
    EXPECT_EQ(clip.row, 3) << "another window's row starts a new range";
    EXPECT_EQ(clip.start, 40);
    ClipClick(&clip, 2, 70, false);
    EXPECT_FALSE(clip.IsSet()) << "a row without a channel clears it";
}

}  // namespace
}  // namespace ocv::playback
