#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "record/disk_manager.h"

namespace ocv {
namespace {

TEST(DiskMonitorThreadedTest, FirstCheckAtOnceAndStopIsPrompt) {
    std::atomic<int> checks{0};
    DiskManager manager({[&] {
                             checks.fetch_add(1);
                             return 0u;
                         },
                         [] { return 10; }, [](int) {}, [] { return false; }},
                        nullptr);
    auto start = std::chrono::steady_clock::now();
    manager.Start();
    while (checks.load() == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(checks.load(), 1);
    EXPECT_EQ(manager.CurrentRecordDisk(), -1);
    manager.Stop();
    manager.Stop();  // twice is harmless
}

}  // namespace
}  // namespace ocv
