#include "liveview/split_layout.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

CellRect R(int l, int t, int r, int b) { return CellRect{l, t, r, b}; }

int ShownCells(const SplitLayout& s) {
    int n = 0;
    for (int i = 0; i < kMaxCells; ++i) n += !s.Cell(i).IsEmpty();
    return n;
}

TEST(SplitLayoutTest, FourAndSixCellsAt800x600) {
    SplitLayout s;
    s.Resize(800, 600);
    s.SetSplitMode(4);
    EXPECT_EQ(s.Cell(0), R(0, 0, 400, 300));
    EXPECT_EQ(s.Cell(1), R(400, 0, 799, 300));
    EXPECT_EQ(s.Cell(2), R(0, 300, 400, 599));
    EXPECT_EQ(s.Cell(3), R(400, 300, 799, 599));
    EXPECT_TRUE(s.Cell(4).IsEmpty());
    s.SetSplitMode(6);
    EXPECT_EQ(s.Cell(0), R(0, 0, 532, 398));
    EXPECT_EQ(s.Cell(1), R(532, 0, 799, 199));
    EXPECT_EQ(s.Cell(5), R(532, 398, 799, 599));
    // An odd client size lays out exactly as the even size below it.
    SplitLayout odd;
    odd.Resize(801, 601);
    odd.SetSplitMode(6);
    for (int i = 0; i < kMaxCells; ++i) EXPECT_EQ(odd.Cell(i), s.Cell(i)) << i;
}

TEST(SplitLayoutTest, EveryModeShowsItsCellCountInsideThePanelWithoutOverlap) {
    for (int mode : kSplitModes) {
        SplitLayout s;
        s.Resize(1280, 720);
        s.SetSplitMode(mode);
        EXPECT_EQ(ShownCells(s), CellCountOf(mode)) << mode;
        long area = 0;
        for (int i = 0; i < CellCountOf(mode); ++i) {
            const CellRect& r = s.Cell(i);
            EXPECT_GE(r.left, 0);
            EXPECT_GE(r.top, 0);
            EXPECT_LE(r.right, 1279);
            EXPECT_LE(r.bottom, 719);
            EXPECT_GT(r.Width(), 0) << mode << " cell " << i;
            EXPECT_GT(r.Height(), 0) << mode << " cell " << i;
            area += long(r.Width()) * r.Height();
            for (int j = 0; j < i; ++j) {  // interiors never overlap
                const CellRect& o = s.Cell(j);
                bool apart = r.right <= o.left || o.right <= r.left || r.bottom <= o.top || o.bottom <= r.top;
                EXPECT_TRUE(apart) << mode << ": " << i << " and " << j;
            }
        }
        EXPECT_EQ(area, 1279L * 719L) << mode;  // the cells tile the panel
    }
}

TEST(SplitLayoutTest, CellOrderOfTheIrregularModes) {
    SplitLayout s;
    s.Resize(1002, 1002);  // grid units of 200 (k 5) or 250 (k 4)
    s.SetSplitMode(13);
    EXPECT_EQ(s.Cell(6), R(250, 250, 750, 750));  // the seventh cell is the big centre one
    s.SetSplitMode(101);
    EXPECT_EQ(s.Cell(0), R(0, 0, 800, 800));
    EXPECT_EQ(s.Cell(4), R(800, 600, 1001, 800));
    EXPECT_EQ(s.Cell(9), R(800, 800, 1001, 1001));
    s.SetSplitMode(32);
    EXPECT_EQ(s.Cell(11).Width(), s.Cell(0).Width() * 3 / 2);  // the 3x3 centre against a 2x2
    s.SetSplitMode(77);  // unknown: the 2x2 grid
    EXPECT_EQ(ShownCells(s), 4);
}

TEST(SplitLayoutTest, MaximiseRestoreAndModeOne) {
    SplitLayout s;
    s.Resize(800, 600);
    s.SetSplitMode(16);
    EXPECT_TRUE(s.Activate(5));
    EXPECT_TRUE(s.IsMaximized());
    EXPECT_EQ(s.Selected(), 5);
    EXPECT_EQ(s.Cell(5), R(0, 0, 799, 599));
    EXPECT_EQ(ShownCells(s), 1);
    s.SetSplitMode(16);  // the current mode again restores
    EXPECT_FALSE(s.IsMaximized());
    EXPECT_EQ(ShownCells(s), 16);
    EXPECT_TRUE(s.Activate(5));
    EXPECT_TRUE(s.Activate(5));  // second double-click restores
    EXPECT_EQ(ShownCells(s), 16);
    s.Activate(7);
    s.SetSplitMode(1);  // mode 1 selects and shows cell 0
    EXPECT_EQ(s.Selected(), 0);
    EXPECT_EQ(s.Cell(0), R(0, 0, 799, 599));
    EXPECT_FALSE(s.Activate(0));  // double-click in mode 1 does nothing
    EXPECT_FALSE(s.IsMaximized());
    s.SetSplitMode(4);
    s.SetSplitMode(4);  // no-op
    EXPECT_EQ(ShownCells(s), 4);
}

TEST(SplitLayoutTest, HitTestGivesTheLowerIndexOnASharedEdge) {
    SplitLayout s;
    s.Resize(800, 600);
    s.SetSplitMode(4);
    EXPECT_EQ(s.HitTest(400, 100), 0);  // the edge of cells 0 and 1
    EXPECT_EQ(s.HitTest(401, 100), 1);
    EXPECT_EQ(s.HitTest(400, 300), 0);  // the corner of all four
    EXPECT_EQ(s.HitTest(799, 599), 3);
    EXPECT_EQ(s.HitTest(800, 100), -1);
    EXPECT_EQ(s.HitTest(-1, 0), -1);
}

TEST(ScreenMemoryTest, RoundTripsAndDefaultsWhenMissingOrDamaged) {
    test::TempDir dir;
    std::string ini = dir / "config.ini";
    ScreenMemory empty = LoadScreenMemory(ini);
    EXPECT_EQ(empty.splitMode, 0);
    ScreenMemory m;
    m.splitMode = 131;
    m.channelIds[0] = 17;
    m.channelIds[35] = 4242;
    ASSERT_TRUE(SaveScreenMemory(ini, m));
    ScreenMemory back = LoadScreenMemory(ini);
    EXPECT_EQ(back.splitMode, 131);
    EXPECT_EQ(back.channelIds[0], 17);
    EXPECT_EQ(back.channelIds[35], 4242);
    std::string text = test::ReadText(ini);
    text[text.find("SCREEN1=") + 10] ^= 1;  // one hex digit changed: the checksum no longer fits
    test::WriteText(ini, text);
    EXPECT_EQ(LoadScreenMemory(ini).splitMode, 0);
}

}  // namespace
}  // namespace ocv
