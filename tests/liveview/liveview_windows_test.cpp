// The live view's popups and the broadcast page as an operator works them: the PTZ popup's
// held buttons, toggles and presets down to the commands sent; the tour settings popup and
// what it stores; the broadcast page starting and ending a broadcast on chosen channels.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>

#include "base/channel_id.h"
#include "liveview/broadcast_dlg.h"
#include "liveview/ptz_popup.h"
#include "liveview/rota_wnd.h"
#include "store/relaxed.h"
#include "tests/liveview/command_fakes.h"
#include "tests/shell/shell_fixture.h"
#include "widgets/user_session.h"
#include "widgets/window_message.h"

namespace ocv {
namespace {

using Sent = std::tuple<int, int, int, int, int>;

void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// Receives the messages a popup posts to its page.
class PageStub : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != WindowMessage::EventType()) return QObject::event(e);
        messages.push_back(static_cast<WindowMessage*>(e)->message());
        return true;
    }
    std::vector<int> messages;
};

TEST(PtzPopup, HeldButtonsUseTheSliderSpeedTogglesAlternateAndPresetsSendTheRowPlusOne) {
    test::FakePtz ptz;
    PtzSender sender(ptz);
    PageStub page;
    auto* popup = new UIPtzDlg(ChannelIdOf(2, 3), sender, &page, nullptr);
    popup->show();
    ASSERT_EQ(popup->speedSlider()->value(), 5);
    ASSERT_EQ(popup->presetList()->topLevelItemCount(), 128);
    EXPECT_EQ(popup->presetList()->topLevelItem(10)->text(0).toStdString(), "011");

    auto button = [&](const char* name) { return popup->findChild<QPushButton*>(name); };
    // No preset row chosen yet: the preset buttons send nothing.
    QTest::mouseClick(button("gotoBtn"), Qt::LeftButton);
    popup->speedSlider()->setValue(7);
    QTest::mousePress(button("leftBtn"), Qt::LeftButton);
    QTest::mouseRelease(button("leftBtn"), Qt::LeftButton);
    for (int i = 0; i < 3; ++i) QTest::mouseClick(button("lightBtn"), Qt::LeftButton);
    QTest::mouseClick(button("wiperBtn"), Qt::LeftButton);
    popup->presetList()->setCurrentItem(popup->presetList()->topLevelItem(10));
    QTest::mouseClick(button("gotoBtn"), Qt::LeftButton);
    QTest::mouseClick(button("clearBtn"), Qt::LeftButton);
    sender.Flush();
    std::vector<Sent> expected = {{2, 3, 23, 0, 7}, {2, 3, 23, 1, 7}, {2, 3, 2, 1, 7}, {2, 3, 2, 0, 7},
                                  {2, 3, 2, 1, 7},  {2, 3, 3, 1, 7},  {2, 3, 39, 0, 11}, {2, 3, 9, 0, 11}};
    EXPECT_EQ(ptz.Sent(), expected);

    // Escape closes it, and the page is told so that it forgets it.
    QTest::keyClick(popup, Qt::Key_Escape);
    Settle();
    EXPECT_EQ(page.messages, std::vector<int>{kMsgPtzPopupClosed});
}

TEST(PtzPopup, APopupWithoutAChannelSendsNothing) {
    test::FakePtz ptz;
    PtzSender sender(ptz);
    UIPtzDlg popup(-1, sender, nullptr, nullptr);
    QTest::mousePress(popup.findChild<QPushButton*>("upBtn"), Qt::LeftButton);
    QTest::mouseRelease(popup.findChild<QPushButton*>("upBtn"), Qt::LeftButton);
    QTest::mouseClick(popup.findChild<QPushButton*>("lightBtn"), Qt::LeftButton);
    sender.Flush();
    EXPECT_TRUE(ptz.Sent().empty());
}

struct Saved {
    int calls = 0, interval = -1, type = -1;
};

UIRotaWnd* MakeRota(int interval, int type, Saved* saved, QObject* page) {
    return new UIRotaWnd(
        interval, type,
        [saved](int i, int t) {
            ++saved->calls;
            saved->interval = i;
            saved->type = t;
            return 0;
        },
        page, nullptr);
}

TEST(RotaWnd, AnIntervalTheSliderDoesNotOfferIsStoredAsTwentyEvenUntouched) {
    Saved saved;
    PageStub page;
    UIRotaWnd* wnd = MakeRota(10, 0, &saved, &page);
    wnd->show();
    EXPECT_EQ(wnd->slider()->value(), 0);
    EXPECT_TRUE(wnd->singleRadio()->isChecked());
    wnd->close();
    Settle();
    EXPECT_EQ(saved.calls, 1);
    EXPECT_EQ(saved.interval, 20);
    EXPECT_EQ(saved.type, 0);
    EXPECT_EQ(page.messages, std::vector<int>{kMsgRotaWndClosed});
}

TEST(RotaWnd, UnchangedValuesAreNotStoredAndChosenOnesAre) {
    Saved saved;
    UIRotaWnd* same = MakeRota(180, 1, &saved, nullptr);
    same->show();
    EXPECT_EQ(same->slider()->value(), 3);
    EXPECT_TRUE(same->multiRadio()->isChecked());
    // The wheel moves nothing here.
    QPointF at(5, 5);
    QWheelEvent wheel(at, same->slider()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(same->slider(), &wheel);
    EXPECT_EQ(same->slider()->value(), 3);
    QTest::keyClick(same, Qt::Key_Escape);
    Settle();
    EXPECT_EQ(saved.calls, 0);

    UIRotaWnd* changed = MakeRota(40, 0, &saved, nullptr);
    changed->show();
    changed->slider()->setValue(4);
    changed->multiRadio()->setChecked(true);
    changed->close();
    Settle();
    EXPECT_EQ(saved.calls, 1);
    EXPECT_EQ(saved.interval, 300);
    EXPECT_EQ(saved.type, 1);
}

// Two devices whose ports answer nothing: the broadcast page lists their channels.
class BroadcastPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fixture_.ok);
        CurrentSession().LogIn(fixture_.store().user(fixture_.SlotOf("admin")), clockSnapshot());
        page_ = std::make_unique<UIBroadcastDlg>(talk_, fixture_.service->directory(), nullptr);
        list_ = page_->channelList();
    }
    void TearDown() override { CurrentSession().Clear(); }
    int RowChannel(int row) { return list_->topLevelItem(row)->data(0, Qt::UserRole).toInt(); }
    QString RowState(int row) { return list_->topLevelItem(row)->text(2); }

    test::ShellFixture fixture_{{{"127.0.0.1", 9, 3}, {"127.0.0.1", 7, 2}}};
    test::FakeTalk talk_;
    std::unique_ptr<UIBroadcastDlg> page_;
    QTreeWidget* list_ = nullptr;
};

TEST_F(BroadcastPageTest, TheButtonStartsTheChosenChannelsAndEndsEveryTalk) {
    ASSERT_EQ(list_->topLevelItemCount(), 5);
    EXPECT_EQ(RowChannel(3), ChannelIdOf(1, 0));
    EXPECT_EQ(page_->broadcastButton()->text().toStdString(), "Start Broadcast");

    // Nothing chosen: nothing starts.
    page_->Toggle();
    EXPECT_FALSE(talk_.capture);

    talk_.holder = RowChannel(4);  // a two-way talk runs meanwhile
    list_->topLevelItem(0)->setSelected(true);
    list_->topLevelItem(3)->setSelected(true);
    page_->Toggle();
    EXPECT_TRUE(talk_.capture);
    EXPECT_EQ(talk_.members, (std::vector<int>{RowChannel(0), RowChannel(3)}));
    EXPECT_EQ(page_->broadcastButton()->text().toStdString(), "Stop Broadcast");
    EXPECT_EQ(RowState(0).toStdString(), "Being broadcast");
    EXPECT_EQ(RowState(3).toStdString(), "Being broadcast");
    EXPECT_TRUE(RowState(1).isEmpty());
    EXPECT_TRUE(RowState(4).isEmpty()) << "a two-way talk is not a broadcast member";

    // The end stops the capture and every talk, the two-way one included.
    page_->Toggle();
    EXPECT_FALSE(talk_.capture);
    EXPECT_TRUE(talk_.members.empty());
    EXPECT_EQ(talk_.holder, -1);
    EXPECT_EQ(talk_.stops, 3);
    EXPECT_EQ(page_->broadcastButton()->text().toStdString(), "Start Broadcast");
    for (int row = 0; row < 5; ++row) EXPECT_TRUE(RowState(row).isEmpty());
}

TEST_F(BroadcastPageTest, WithoutAMicrophoneNothingStartsAndARefusedChannelIsCounted) {
    list_->topLevelItem(1)->setSelected(true);
    list_->topLevelItem(2)->setSelected(true);
    talk_.microphone = false;
    page_->Toggle();
    EXPECT_FALSE(talk_.capture);
    EXPECT_TRUE(talk_.members.empty());
    ASSERT_EQ(fixture_.messages.size(), 1u);
    EXPECT_EQ(fixture_.messages[0].text.toStdString(), "Start Broadcast failed!");

    talk_.microphone = true;
    talk_.refusedMember = RowChannel(2);
    page_->Toggle();
    EXPECT_EQ(talk_.members, std::vector<int>{RowChannel(1)});
    EXPECT_EQ(RowState(1).toStdString(), "Being broadcast");
    EXPECT_TRUE(RowState(2).isEmpty());
    EXPECT_NE(page_->findChild<QLabel*>("msgLabel")->text().indexOf("(1/2)"), -1);
}

}  // namespace
}  // namespace ocv
