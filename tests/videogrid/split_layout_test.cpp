#include "videogrid/split_layout.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

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

// Every irregular mode's cells in index order, as grid spans c0,r0-c1,r1, written out one by
// one from the layout tables (no shared helper with the code under test): the pages fill cells
// in index order, so a cell out of place puts a group's channel in the wrong picture.
struct IrregularCase {
    int mode;
    int k;
    std::vector<std::array<int, 4>> spans;
};

const std::vector<IrregularCase>& IrregularCases() {
    static const std::vector<IrregularCase> cases = {
        {6, 3, {{0, 0, 2, 2}, {2, 0, 3, 1}, {2, 1, 3, 2}, {0, 2, 1, 3}, {1, 2, 2, 3}, {2, 2, 3, 3}}},
        {8, 4, {{0, 0, 3, 3}, {3, 0, 4, 1}, {3, 1, 4, 2}, {3, 2, 4, 3},
                {0, 3, 1, 4}, {1, 3, 2, 4}, {2, 3, 3, 4}, {3, 3, 4, 4}}},
        {10, 4, {{0, 0, 2, 2}, {2, 0, 4, 2},
                 {0, 2, 1, 3}, {1, 2, 2, 3}, {2, 2, 3, 3}, {3, 2, 4, 3},
                 {0, 3, 1, 4}, {1, 3, 2, 4}, {2, 3, 3, 4}, {3, 3, 4, 4}}},
        {101, 5, {{0, 0, 4, 4},
                  {4, 0, 5, 1}, {4, 1, 5, 2}, {4, 2, 5, 3}, {4, 3, 5, 4},
                  {0, 4, 1, 5}, {1, 4, 2, 5}, {2, 4, 3, 5}, {3, 4, 4, 5}, {4, 4, 5, 5}}},
        {13, 4, {{0, 0, 1, 1}, {1, 0, 2, 1}, {2, 0, 3, 1}, {3, 0, 4, 1},
                 {0, 1, 1, 2}, {0, 2, 1, 3}, {1, 1, 3, 3}, {3, 1, 4, 2}, {3, 2, 4, 3},
                 {0, 3, 1, 4}, {1, 3, 2, 4}, {2, 3, 3, 4}, {3, 3, 4, 4}}},
        {131, 5, {{0, 0, 2, 2}, {2, 0, 4, 2}, {0, 2, 2, 4}, {2, 2, 4, 4},
                  {4, 0, 5, 1}, {4, 1, 5, 2}, {4, 2, 5, 3}, {4, 3, 5, 4},
                  {0, 4, 1, 5}, {1, 4, 2, 5}, {2, 4, 3, 5}, {3, 4, 4, 5}, {4, 4, 5, 5}}},
        {14, 5, {{0, 0, 3, 3}, {3, 0, 5, 2}, {3, 2, 4, 3}, {4, 2, 5, 3},
                 {0, 3, 1, 4}, {1, 3, 2, 4}, {2, 3, 3, 4}, {3, 3, 4, 4}, {4, 3, 5, 4},
                 {0, 4, 1, 5}, {1, 4, 2, 5}, {2, 4, 3, 5}, {3, 4, 4, 5}, {4, 4, 5, 5}}},
        {17, 5, {{0, 0, 3, 3}, {3, 0, 4, 1}, {4, 0, 5, 1}, {3, 1, 4, 2}, {4, 1, 5, 2}, {3, 2, 4, 3}, {4, 2, 5, 3},
                 {0, 3, 1, 4}, {1, 3, 2, 4}, {2, 3, 3, 4}, {3, 3, 4, 4}, {4, 3, 5, 4},
                 {0, 4, 1, 5}, {1, 4, 2, 5}, {2, 4, 3, 5}, {3, 4, 4, 5}, {4, 4, 5, 5}}},
        {19, 5, {{0, 0, 2, 2}, {2, 0, 4, 2}, {4, 0, 5, 1}, {4, 1, 5, 2},
                 {0, 2, 1, 3}, {1, 2, 2, 3}, {2, 2, 3, 3}, {3, 2, 4, 3}, {4, 2, 5, 3},
                 {0, 3, 1, 4}, {1, 3, 2, 4}, {2, 3, 3, 4}, {3, 3, 4, 4}, {4, 3, 5, 4},
                 {0, 4, 1, 5}, {1, 4, 2, 5}, {2, 4, 3, 5}, {3, 4, 4, 5}, {4, 4, 5, 5}}},
        {22, 5, {{0, 0, 2, 2}, {2, 0, 3, 1}, {3, 0, 4, 1}, {4, 0, 5, 1}, {2, 1, 3, 2}, {3, 1, 4, 2}, {4, 1, 5, 2},
                 {0, 2, 1, 3}, {1, 2, 2, 3}, {2, 2, 3, 3}, {3, 2, 4, 3}, {4, 2, 5, 3},
                 {0, 3, 1, 4}, {1, 3, 2, 4}, {2, 3, 3, 4}, {3, 3, 4, 4}, {4, 3, 5, 4},
                 {0, 4, 1, 5}, {1, 4, 2, 5}, {2, 4, 3, 5}, {3, 4, 4, 5}, {4, 4, 5, 5}}},
        {32, 7, {{0, 0, 2, 2}, {2, 0, 4, 2}, {4, 0, 5, 1}, {5, 0, 6, 1}, {6, 0, 7, 1},
                 {4, 1, 5, 2}, {5, 1, 6, 2}, {6, 1, 7, 2}, {0, 2, 2, 4}, {0, 4, 1, 5},
                 {1, 4, 2, 5}, {2, 2, 5, 5}, {5, 2, 6, 3}, {6, 2, 7, 3}, {5, 3, 6, 4},
                 {6, 3, 7, 4}, {5, 4, 6, 5}, {6, 4, 7, 5},
                 {0, 5, 1, 6}, {1, 5, 2, 6}, {2, 5, 3, 6}, {3, 5, 4, 6}, {4, 5, 5, 6}, {5, 5, 6, 6}, {6, 5, 7, 6},
                 {0, 6, 1, 7}, {1, 6, 2, 7}, {2, 6, 3, 7}, {3, 6, 4, 7}, {4, 6, 5, 7}, {5, 6, 6, 7}, {6, 6, 7, 7}}},
    };
    return cases;
}

TEST(SplitLayoutTest, CellOrderOfEveryIrregularMode) {
    // A size whose grid units leave remainders for every k, so the last line's rule shows.
    constexpr int W = 1402, H = 1002;
    ASSERT_EQ(IrregularCases().size(), 11u);  // the 17 modes less the six n x n grids
    for (const IrregularCase& c : IrregularCases()) {
        SCOPED_TRACE(c.mode);
        ASSERT_EQ(static_cast<int>(c.spans.size()), CellCountOf(c.mode));
        SplitLayout s;
        s.Resize(W, H);
        s.SetSplitMode(c.mode);
        const int a = (W - 2) / c.k, b = (H - 2) / c.k;
        auto x = [&](int line) { return line == c.k ? W - 1 : line * a; };
        auto y = [&](int line) { return line == c.k ? H - 1 : line * b; };
        for (size_t i = 0; i < c.spans.size(); ++i) {
            const auto& g = c.spans[i];
            EXPECT_EQ(s.Cell(static_cast<int>(i)), R(x(g[0]), y(g[1]), x(g[2]), y(g[3]))) << "cell " << i;
        }
        for (int i = static_cast<int>(c.spans.size()); i < kMaxCells; ++i)
            EXPECT_TRUE(s.Cell(i).IsEmpty()) << "cell " << i;
    }
    SplitLayout s;
    s.Resize(1002, 1002);
    s.SetSplitMode(77);  // unknown: the 2x2 grid
    EXPECT_EQ(ShownCells(s), 4);
    EXPECT_EQ(s.Cell(3), R(501, 501, 1001, 1001));
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
