#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/port_slots.h"

namespace ocv {
namespace {

TEST(PortSlotsTest, ConcurrentTakersGetDistinctPortsAndNoMoreThan256) {
    ResetPortSlots();
    std::vector<std::vector<int>> got(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) got[t].push_back(TakePort());
        });
    for (auto& th : threads) th.join();
    std::set<int> distinct;
    int refused = 0;
    for (auto& v : got)
        for (int p : v) {
            if (p < 0) ++refused;
            else EXPECT_TRUE(distinct.insert(p).second) << p;
        }
    EXPECT_EQ(distinct.size(), 256u);
    EXPECT_EQ(refused, 8 * 40 - 256);
    ReleasePort(-1);
    ReleasePort(256);
    EXPECT_EQ(PortsInUse(), 256);
    ReleasePort(17);
    ReleasePort(3);
    EXPECT_EQ(TakePort(), 3);  // lowest free first
    EXPECT_EQ(TakePort(), 17);
    ResetPortSlots();
    EXPECT_EQ(PortsInUse(), 0);
}

TEST(ClockThreadedTest, ReadersNeverSeeAHalfRenewedSnapshot) {
    setenv("TZ", "UTC", 1);
    tzset();
    SetClockForTesting(2020, 7, 8, 0, 0, 0);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r)
        readers.emplace_back([&] {
            while (!stop.load()) {
                ClockSnapshot s = clockSnapshot();
                // In UTC the fields follow from the calendar time exactly.
                if (s.SecondOfDay() != s.time % 86400) torn.fetch_add(1);
            }
        });
    for (int i = 0; i < 20000; ++i) AdvanceClockForTesting(1);
    stop = true;
    for (auto& th : readers) th.join();
    EXPECT_EQ(torn.load(), 0);
    SetClockSourceForTesting(nullptr);
}

}  // namespace
}  // namespace ocv
