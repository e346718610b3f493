// The bridge hands the core's events to windows on the user-interface thread, in order, to the
// kinds each window asked for, and tells a window when it fell behind.
#include "widgets/event_bridge.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <thread>

namespace ocv {
namespace {

void Settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

TEST(EventBridgeTest, EventsFromAWorkerArriveOnTheUiThreadInOrderForTheKindsAsked) {
    CoreEventHub hub(64);
    EventBridge bridge(hub);
    QObject window;
    std::vector<int> channels;
    std::vector<bool> onUiThread;
    bridge.Subscribe(&window, CoreEventHub::MaskOf<ChannelStateChanged>(), [&](const CoreEvent& e) {
        channels.push_back(std::get<ChannelStateChanged>(e).channelId);
        onUiThread.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
    });
    int counters = 0;
    bridge.Subscribe(&window, CoreEventHub::MaskOf<TemperatureCountersChanged>(), [&](const CoreEvent&) { ++counters; });
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i) hub.Publish(ChannelStateChanged{i});
        hub.Publish(TemperatureCountersChanged{1, 0});
        hub.Publish(LogWritten{0, 0, -1, 0});  // asked by nobody
    });
    worker.join();
    EXPECT_TRUE(channels.empty()) << "delivered by the event loop, never on the publisher's thread";
    Settle();
    ASSERT_EQ(channels.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(channels[i], i);
    for (bool ui : onUiThread) EXPECT_TRUE(ui);
    EXPECT_EQ(counters, 1);
}

TEST(EventBridgeTest, AWindowGoneOrUnsubscribedHearsNothingMore) {
    CoreEventHub hub(64);
    EventBridge bridge(hub);
    int heard = 0, kept = 0;
    auto* window = new QObject;
    bridge.Subscribe(window, CoreEventHub::kAllKinds, [&](const CoreEvent&) { ++heard; });
    QObject other;
    int id = bridge.Subscribe(&other, CoreEventHub::kAllKinds, [&](const CoreEvent&) { ++kept; });
    hub.Publish(ChannelStateChanged{1});
    Settle();
    EXPECT_EQ(heard, 1);
    delete window;
    hub.Publish(ChannelStateChanged{2});
    Settle();
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(kept, 2);
    bridge.Unsubscribe(id);
    hub.Publish(ChannelStateChanged{3});
    Settle();
    EXPECT_EQ(kept, 2);
}

TEST(EventBridgeTest, AWindowThatFellBehindIsToldAndGetsWhatTheHubStillHolds) {
    CoreEventHub hub(4);
    EventBridge bridge(hub);
    QObject window;
    std::vector<int> channels;
    int missed = 0;
    bridge.Subscribe(
        &window, CoreEventHub::kAllKinds,
        [&](const CoreEvent& e) { channels.push_back(std::get<ChannelStateChanged>(e).channelId); },
        [&] { ++missed; });
    for (int i = 0; i < 10; ++i) hub.Publish(ChannelStateChanged{i});
    Settle();
    EXPECT_EQ(missed, 1);
    EXPECT_EQ(channels, (std::vector<int>{6, 7, 8, 9}));
}

TEST(EventBridgeTest, ABridgeDestroyedWithAWakePendingIsNeverCalled) {
    CoreEventHub hub(8);
    int heard = 0;
    {
        EventBridge bridge(hub);
        QObject window;
        bridge.Subscribe(&window, CoreEventHub::kAllKinds, [&](const CoreEvent&) { ++heard; });
        hub.Publish(ChannelStateChanged{1});  // queues a delivery for the bridge
    }
    Settle();
    hub.Publish(ChannelStateChanged{2});
    Settle();
    EXPECT_EQ(heard, 0);
}

}  // namespace
}  // namespace ocv
