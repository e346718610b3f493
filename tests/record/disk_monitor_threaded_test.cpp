#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "record/disk_manager.h"

namespace ocv {
namespace {

using Clock = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(DiskMonitorThreadedTest, FirstCheckAtOnceAndStopIsPrompt) {
    // D is selected and has room; E is selected but full. Only a check of the monitor's own can
    // make D the record disk: the record disk starts at -1.
    std::atomic<int> freeSpaceReads{0};
    DiskManager manager({[] { return 0b110u; }, [] { return 10; }, [] { return false; }},
                        nullptr);
    manager.SetPlatformForTesting(
        [](char) { return true; },
        [&](char letter, uint64_t* bytes) {
            freeSpaceReads.fetch_add(1);
            *bytes = letter == 'D' ? (500ull << 30) : 0;
            return 0;
        },
        [](char letter, const std::string& rel) { return "/nonexistent/" + std::string(1, letter) + "/" + rel; });
    ASSERT_EQ(manager.CurrentRecordDisk(), -1);
    manager.Start();
    // The first check runs at once, not after the ten passes between checks.
    EXPECT_TRUE(WaitFor([&] { return manager.CurrentRecordDisk() == 1; }, std::chrono::seconds(5)));
    EXPECT_FALSE(manager.DiskFull());
    EXPECT_EQ(freeSpaceReads.load(), 1);  // one check, stopping at the first drive with room
    // Stop interrupts the monitor's one-second sleep instead of sitting it out.
    auto before = Clock::now();
    manager.Stop();
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(900));
    int reads = freeSpaceReads.load();
    manager.Stop();  // twice is harmless
    EXPECT_EQ(freeSpaceReads.load(), reads);
}

}  // namespace
}  // namespace ocv
