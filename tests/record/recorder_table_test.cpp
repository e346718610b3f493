#include "record/recorder_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace ocv {
namespace {

std::unique_ptr<Recorder> NewRecorder(int channel) {
    auto r = std::make_unique<Recorder>(0, channel, nullptr);
    r->Start(1);
    r->SetStreamInfo(StreamInfo{kVideoCodecH264, 64, 48, 0, 0, 0, 25});
    return r;
}

std::vector<uint8_t> Frame(uint32_t ts) {
    std::vector<uint8_t> f(kFrameHeaderBytes + 256, 0);
    FrameHeader h{1, 256, ts, ts % 1000 == 0 ? 1u : 2u};
    memcpy(f.data(), &h, sizeof h);
    return f;
}

TEST(RecorderTable, OneRecorderPerSlotAndEmptySlotsCallNothing) {
    RecorderTable table(8);
    bool called = false;
    EXPECT_FALSE(table.With(3, [&](Recorder&) { called = true; }));
    EXPECT_FALSE(called);
    EXPECT_EQ(table.Remove(3), nullptr);

    ASSERT_TRUE(table.Install(3, NewRecorder(3)));
    Recorder* first = table.Peek(3);
    EXPECT_FALSE(table.Install(3, NewRecorder(3)));  // refused and deleted: the slot keeps its own
    EXPECT_EQ(table.Peek(3), first);
    EXPECT_TRUE(table.With(3, [&](Recorder& r) { called = &r == first; }));
    EXPECT_TRUE(called);
    EXPECT_FALSE(table.Has(2));
    EXPECT_FALSE(table.Has(4));

    std::unique_ptr<Recorder> taken = table.Remove(3);
    EXPECT_EQ(taken.get(), first);
    EXPECT_FALSE(table.Has(3));
    // The table deletes what is still installed when it goes (LeakSanitizer checks).
    ASSERT_TRUE(table.Install(5, NewRecorder(5)));
}

// A stream thread feeds a slot without a lock while another thread installs, removes and deletes
// its recorders: no call is inside a recorder once Remove has returned it (the sanitizers catch a
// call into a deleted one).
TEST(RecorderTable, RemoveWaitsForTheStreamThreadsCallAndNeverLeavesItOneThatIsGone) {
    RecorderTable table(4);
    std::atomic<bool> stop{false};
    std::atomic<Recorder*> inside{nullptr};
    std::atomic<uint64_t> calls{0};
    std::thread stream([&] {
        for (uint32_t ts = 1000; !stop.load(); ts += 40) {
            std::vector<uint8_t> f = Frame(ts);
            table.With(1, [&](Recorder& r) {
                inside.store(&r);
                r.AddFrame(f.data(), static_cast<uint32_t>(f.size()), ts, 1);
                // Stay a little inside, as a frame that grows the ring does.
                auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(20);
                while (std::chrono::steady_clock::now() < until) {
                }
                inside.store(nullptr);
                calls.fetch_add(1);
            });
        }
    });
    int removed = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline || calls.load() < 100) {
        ASSERT_TRUE(table.Install(1, NewRecorder(1)));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::unique_ptr<Recorder> r = table.Remove(1);
        ASSERT_NE(r, nullptr);
        EXPECT_NE(inside.load(), r.get());
        r.reset();
        ++removed;
    }
    stop = true;
    stream.join();
    EXPECT_GT(calls.load(), 100u);
    EXPECT_GT(removed, 100);
    // The race was real: some removals found the stream thread inside and waited for it.
    EXPECT_GT(table.WaitedRemovals(), 0u);
}

}  // namespace
}  // namespace ocv
