// The weekly time editor's model: the stored words and the drag over half-hour cells.
#include <gtest/gtest.h>

#include "setup/week_schedule.h"

namespace ocv {
namespace {

TEST(WeekSchedule, StoredWordsMapToDaysAndHalfHours) {
    uint32_t words[kScheduleWords] = {};
    words[3] = 1;                 // MON2 bit 0: Monday 12:00-12:30
    words[12] = 1u << 23;         // SAT1 bit 23: Saturday 11:30-12:00
    words[1] = 0xFF000000u;       // bits above 23 mean nothing
    WeekSchedule s(words);
    EXPECT_TRUE(s.Cell(1, 24));
    EXPECT_TRUE(s.Cell(6, 23));
    EXPECT_FALSE(s.Cell(0, 47));
    EXPECT_FALSE(s.Cell(7, 0));
    EXPECT_FALSE(s.Cell(0, 48));
    uint32_t back[kScheduleWords];
    s.ToWords(back);
    EXPECT_EQ(back[3], 1u);
    EXPECT_EQ(back[12], 1u << 23);
    EXPECT_EQ(back[1], 0u);  // the editor only ever sets bits 0..23
    s.SetAll(true);
    s.ToWords(back);
    for (uint32_t w : back) EXPECT_EQ(w, 0xFFFFFFu);
}

TEST(WeekSchedule, ADragSetsTheRectangleFromThePressedCellToThePointer) {
    WeekSchedule before;
    ScheduleDrag drag(before, 2, 16);  // Tuesday 08:00
    EXPECT_TRUE(drag.setting());
    drag.MoveTo(4, 35);  // to Thursday 17:30, through the day break of the words
    const WeekSchedule& s = drag.current();
    EXPECT_TRUE(s.Cell(2, 16) && s.Cell(3, 24) && s.Cell(4, 35));
    EXPECT_FALSE(s.Cell(2, 15) || s.Cell(4, 36) || s.Cell(1, 20) || s.Cell(5, 20));
    // Moving back shrinks the rectangle: cells left behind return to what they were.
    drag.MoveTo(2, 17);
    EXPECT_TRUE(drag.current().Cell(2, 17));
    EXPECT_FALSE(drag.current().Cell(3, 24));
    // The pointer outside the grid counts as its edge.
    drag.MoveTo(-3, 99);
    EXPECT_TRUE(drag.current().Cell(0, 47) && drag.current().Cell(2, 16));
}

TEST(WeekSchedule, PressingASetCellClears) {
    WeekSchedule before;
    before.SetAll(true);
    ScheduleDrag drag(before, 0, 0);
    EXPECT_FALSE(drag.setting());
    drag.MoveTo(6, 1);
    EXPECT_FALSE(drag.current().Cell(3, 1));
    EXPECT_TRUE(drag.current().Cell(3, 2));
}

}  // namespace
}  // namespace ocv
