#include "base/event_hub.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <variant>
#include <vector>

namespace ocv {
namespace {

struct Ping { int value; };
struct Pong { int value; };
struct Other { int value; };
using Payload = std::variant<Ping, Pong, Other>;
using Hub = EventHub<Payload>;

int ValueOf(const Payload& p) {
    return std::visit([](const auto& e) { return e.value; }, p);
}

TEST(EventHubTest, EveryKindWakesTheReadersSubscribedToItAndOnlyThose) {
    Hub hub(16);
    auto pings = hub.Subscribe(Hub::MaskOf<Ping>());
    auto all = hub.Subscribe();
    int pingWakes = 0, allWakes = 0;
    pings->SetWakeHandler([&] { ++pingWakes; });
    all->SetWakeHandler([&] { ++allWakes; });

    hub.Publish(Pong{1});
    EXPECT_EQ(pingWakes, 0);
    EXPECT_EQ(allWakes, 1);
    hub.Publish(Ping{2});
    EXPECT_EQ(pingWakes, 1);
    // A reader that has not read yet is not woken again for the same batch.
    hub.Publish(Other{3});
    EXPECT_EQ(allWakes, 1);

    std::vector<Hub::Event> got;
    EXPECT_EQ(all->Read(&got), 0u);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_TRUE(std::holds_alternative<Pong>(got[0].payload));
    EXPECT_TRUE(std::holds_alternative<Ping>(got[1].payload));
    EXPECT_TRUE(std::holds_alternative<Other>(got[2].payload));
    got.clear();
    EXPECT_EQ(pings->Read(&got), 0u);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(ValueOf(got[0].payload), 2);

    // After reading, the next event wakes again.
    hub.Publish(Other{4});
    EXPECT_EQ(allWakes, 2);
    EXPECT_EQ(pingWakes, 1);
}

TEST(EventHubTest, ANewReaderStartsWithTheNextEvent) {
    Hub hub(8);
    hub.Publish(Ping{1});
    auto r = hub.Subscribe();
    std::vector<Hub::Event> got;
    r->Read(&got);
    EXPECT_TRUE(got.empty());
    hub.Publish(Ping{2});
    r->Read(&got);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].sequence, 2u);
}

TEST(EventHubTest, AReaderMoreThanTheCapacityBehindIsToldHowManyItMissed) {
    Hub hub(4);
    auto r = hub.Subscribe();
    for (int i = 1; i <= 10; ++i) hub.Publish(Ping{i});
    std::vector<Hub::Event> got;
    EXPECT_EQ(r->Read(&got), 6u);
    ASSERT_EQ(got.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ValueOf(got[i].payload), 7 + i);
    got.clear();
    EXPECT_EQ(r->Read(&got), 0u);  // caught up: nothing more missed
    EXPECT_TRUE(got.empty());
    // Exactly the capacity behind loses nothing.
    for (int i = 11; i <= 14; ++i) hub.Publish(Ping{i});
    EXPECT_EQ(r->Read(&got), 0u);
    EXPECT_EQ(got.size(), 4u);
}

TEST(EventHubTest, ALimitedReadLeavesTheRestForTheNextRead) {
    Hub hub(8);
    auto r = hub.Subscribe();
    for (int i = 1; i <= 5; ++i) hub.Publish(Pong{i});
    std::vector<Hub::Event> got;
    r->Read(&got, 2);
    EXPECT_EQ(got.size(), 2u);
    EXPECT_EQ(r->Backlog(), 3u);
    r->Read(&got);
    ASSERT_EQ(got.size(), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(ValueOf(got[i].payload), i + 1);
}

TEST(EventHubTest, WaitReturnsForAMatchingEventOrClose) {
    Hub hub(8);
    auto pings = hub.Subscribe(Hub::MaskOf<Ping>());
    EXPECT_FALSE(pings->Wait(std::chrono::milliseconds(1)));
    hub.Publish(Pong{1});
    EXPECT_FALSE(pings->Wait(std::chrono::milliseconds(1)));  // not its kind
    std::thread publisher([&] { hub.Publish(Ping{2}); });
    EXPECT_TRUE(pings->Wait(std::chrono::seconds(10)));
    publisher.join();
    std::vector<Hub::Event> got;
    pings->Read(&got);
    ASSERT_EQ(got.size(), 1u);

    std::thread closer([&] { hub.Close(); });
    EXPECT_FALSE(pings->Wait(std::chrono::seconds(10)));
    closer.join();
}

TEST(EventHubTest, AReaderDestroyedIsNeverWokenAgain) {
    Hub hub(8);
    int wakes = 0;
    {
        auto r = hub.Subscribe();
        r->SetWakeHandler([&] { ++wakes; });
        hub.Publish(Ping{1});
    }
    hub.Publish(Ping{2});
    EXPECT_EQ(wakes, 1);
}

// Two readers at different speeds each see every event, in publication order, while four
// threads publish at once.
TEST(EventHubTest, TwoReadersAtDifferentSpeedsSeeEveryEventInOrder) {
    constexpr int kPublishers = 4, kPerPublisher = 2000;
    Hub hub(kPublishers * kPerPublisher);  // room for all: nobody may miss anything here
    auto fast = hub.Subscribe();
    auto slow = hub.Subscribe();
    auto consume = [&](Hub::Reader* r, bool slowly, std::vector<Hub::Event>* seen) {
        uint64_t missed = 0;
        while (seen->size() < static_cast<size_t>(kPublishers * kPerPublisher)) {
            r->Wait(std::chrono::milliseconds(50));
            missed += r->Read(seen, slowly ? 7 : SIZE_MAX);
            if (slowly) std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        EXPECT_EQ(missed, 0u);
    };
    std::vector<Hub::Event> fastSeen, slowSeen;
    std::thread a(consume, fast.get(), false, &fastSeen);
    std::thread b(consume, slow.get(), true, &slowSeen);
    std::vector<std::thread> publishers;
    for (int p = 0; p < kPublishers; ++p)
        publishers.emplace_back([&, p] {
            for (int i = 0; i < kPerPublisher; ++i) hub.Publish(Ping{p * kPerPublisher + i});
        });
    for (auto& t : publishers) t.join();
    a.join();
    b.join();
    for (auto* seen : {&fastSeen, &slowSeen}) {
        ASSERT_EQ(seen->size(), static_cast<size_t>(kPublishers * kPerPublisher));
        std::vector<int> lastOf(kPublishers, -1);
        for (size_t i = 0; i < seen->size(); ++i) {
            EXPECT_EQ((*seen)[i].sequence, i + 1);
            int v = ValueOf((*seen)[i].payload);
            // Each publisher's own events arrive in the order it published them.
            EXPECT_GT(v, lastOf[v / kPerPublisher]);
            lastOf[v / kPerPublisher] = v;
        }
    }
}

}  // namespace
}  // namespace ocv
