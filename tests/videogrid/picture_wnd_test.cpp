// The split mode picker: its buttons, the posted choice, closing and the swallowed wheel.
#include <gtest/gtest.h>

#include <QTest>
#include <QWheelEvent>

#include "videogrid/cell_messages.h"
#include "videogrid/picture_wnd.h"
#include "videogrid/split_layout.h"
#include "tests/videogrid/widget_test_support.h"

namespace ocv {
namespace {

using test::MessageLog;
using test::Pump;

TEST(SplitModePicker, ButtonsSitInThreeRowsWithTheirLabels) {
    MessageLog owner;
    UIPictureWnd picker(&owner, &owner);
    EXPECT_EQ(picker.size(), QSize(238, 145));
    const int xs[] = {10, 48, 86, 124, 162, 200};
    for (size_t i = 0; i < kSplitModes.size(); ++i) {
        const int mode = kSplitModes[i];
        QToolButton* button = picker.Button(mode);
        ASSERT_NE(button, nullptr) << mode;
        const int row = static_cast<int>(i) / 6, column = static_cast<int>(i) % 6;
        EXPECT_EQ(button->geometry(), QRect(xs[column], 10 + 45 * row, 28, 38)) << mode;
        const QString label = mode == 101 ? "10" : mode == 131 ? "13" : QString::number(mode);
        EXPECT_EQ(button->text(), label);
    }
    EXPECT_EQ(picker.Button(2), nullptr);
}

TEST(SplitModePicker, ClickPostsTheModeAndCloses) {
    MessageLog owner;
    owner.show();
    UIPictureWnd picker(&owner, &owner);
    picker.ShowAt(owner.mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(picker.isVisible());
    QTest::mouseClick(picker.Button(131), Qt::LeftButton);
    EXPECT_FALSE(picker.isVisible());
    EXPECT_TRUE(owner.received.empty()) << "the choice is posted, not sent";
    Pump();
    ASSERT_EQ(owner.received.size(), 1u);
    EXPECT_EQ(owner.received[0].message, SplitChosen);
    EXPECT_EQ(owner.received[0].wParam, 131);

    picker.ShowAt(QPoint(5, 5));
    picker.Button(1)->click();
    Pump();
    ASSERT_EQ(owner.received.size(), 2u);
    EXPECT_EQ(owner.received[1].wParam, 1);
}

TEST(SplitModePicker, EscapeClosesWithoutChoiceAndTheWheelIsSwallowed) {
    MessageLog owner;
    owner.show();
    UIPictureWnd picker(&owner, &owner);
    picker.ShowAt(QPoint(0, 0));
    QWheelEvent wheel(QPointF(20, 20), QPointF(20, 20), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    wheel.ignore();
    QCoreApplication::sendEvent(&picker, &wheel);
    EXPECT_TRUE(wheel.isAccepted());
    EXPECT_TRUE(picker.isVisible());

    QTest::keyClick(&picker, Qt::Key_Escape);
    EXPECT_FALSE(picker.isVisible());
    Pump();
    EXPECT_TRUE(owner.received.empty());
}

}  // namespace
}  // namespace ocv
