// The configuration page's worker: jobs in order, and none lost at the end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "setup/serial_worker.h"

namespace ocv {
namespace {

TEST(SerialWorker, JobsRunInTheOrderTheyWerePostedFromSeveralThreads) {
    std::mutex m;
    std::vector<int> order;
    SerialWorker worker("test-worker");
    std::thread other([&] {
        for (int i = 0; i < 50; ++i) worker.Post([&, i] {
            std::lock_guard<std::mutex> lock(m);
            order.push_back(1000 + i);
        });
    });
    for (int i = 0; i < 50; ++i) worker.Post([&, i] {
        std::lock_guard<std::mutex> lock(m);
        order.push_back(i);
    });
    other.join();
    worker.Drain();
    ASSERT_EQ(order.size(), 100u);
    int lastMine = -1, lastOther = 999;
    for (int v : order) {
        if (v < 1000) EXPECT_GT(v, lastMine), lastMine = v;
        else EXPECT_GT(v, lastOther), lastOther = v;
    }
}

TEST(SerialWorker, JobsStillQueuedAtTheEndAreRun) {
    std::atomic<int> ran{0};
    {
        SerialWorker worker("test-worker");
        worker.Post([&] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); ++ran; });
        for (int i = 0; i < 5; ++i) worker.Post([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 6);
}

TEST(SerialWorker, AWorkerWithoutJobsStartsNoThreadAndEndsAtOnce) {
    SerialWorker worker("test-worker");
    worker.Drain();
}

}  // namespace
}  // namespace ocv
