#include "record/ring_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace ocv {
namespace {

struct Entry {
    uint32_t tag1, tag2;
    std::string payload;
};

Entry GetEntry(RingBuffer& ring, int* rc) {
    std::vector<uint8_t> out(2 * 1048576);
    uint32_t total = 0;
    *rc = ring.Get(out.data(), static_cast<uint32_t>(out.size()), &total);
    Entry e{};
    if (*rc != 0) return e;
    memcpy(&e.tag1, out.data(), 4);
    memcpy(&e.tag2, out.data() + 4, 4);
    e.payload.assign(reinterpret_cast<char*>(out.data()) + 8, total - 8);
    return e;
}

TEST(RingBufferTest, EntriesWrapAroundTheEndIntact) {
    RingBuffer ring;
    ASSERT_EQ(ring.Init(64), 0);
    int rc;
    // Each 7-byte payload takes 8 + 7 -> 16 rounded, + 4 = 20 bytes.
    for (int round = 0; round < 20; ++round) {
        std::string p = "abcdef" + std::to_string(round % 10);
        ASSERT_EQ(ring.Put(p.data(), 7, 100 + round, 7), 0) << round;
        ASSERT_EQ(ring.Put(p.data(), 7, 200 + round, 8), 0) << round;
        EXPECT_EQ(ring.Count(), 2);
        EXPECT_EQ(ring.PeekTag1(), 100u + round);
        Entry a = GetEntry(ring, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(a.tag1, 100u + round);
        EXPECT_EQ(a.tag2, 7u);
        EXPECT_EQ(a.payload, p);
        EXPECT_EQ(ring.Skip(), 0);
        EXPECT_TRUE(ring.IsEmpty());
    }
    GetEntry(ring, &rc);
    EXPECT_EQ(rc, -2);
    EXPECT_EQ(ring.Skip(), -2);
    EXPECT_EQ(ring.PeekTag1(), 0u);
}

TEST(RingBufferTest, NeverFilledToTheLastByte) {
    RingBuffer ring;
    ASSERT_EQ(ring.Init(64), 0);
    std::string p(20, 'x');  // 28 -> 32 bytes
    EXPECT_EQ(ring.Put(p.data(), 20, 1, 0), 0);
    EXPECT_EQ(ring.Put(p.data(), 16, 2, 0), 0);  // 24 + 4 = 28 < 32 free
    EXPECT_EQ(ring.Put(p.data(), 0, 3, 0), -2);  // 12 bytes >= 4 free
    RingBuffer::Statistics s = ring.Stats();
    EXPECT_EQ(s.writeAttempts, 3u);
    EXPECT_EQ(s.writeFailures, 1u);
    EXPECT_EQ(s.bytesWritten, 60u);
    ring.Reset();
    EXPECT_EQ(ring.Count(), 0);
    EXPECT_EQ(ring.Put(p.data(), 20, 4, 0), 0);
    EXPECT_EQ(ring.Init(0), -1);
    EXPECT_EQ(ring.Put(p.data(), 1, 0, 0), -1);
}

TEST(RingBufferTest, OversizedLengthWordMarksCorruptAndNextPutEmpties) {
    RingBuffer ring;
    ASSERT_EQ(ring.Init(3 * 1048576), 0);
    std::vector<uint8_t> big(1048576 - 8);  // total reaches 1 MiB: not a valid entry
    ASSERT_EQ(ring.Put(big.data(), static_cast<uint32_t>(big.size()), 1, 0), 0);
    int rc;
    GetEntry(ring, &rc);
    EXPECT_EQ(rc, -2);
    EXPECT_EQ(ring.Put("a", 1, 2, 0), -1);  // emptied
    EXPECT_TRUE(ring.IsEmpty());
    EXPECT_EQ(ring.Put("a", 1, 3, 0), 0);
    Entry e = GetEntry(ring, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(e.tag1, 3u);
}

TEST(RingBufferTest, GetIntoTooSmallBufferIsRefused) {
    RingBuffer ring;
    ASSERT_EQ(ring.Init(1024), 0);
    std::string p(100, 'y');
    ASSERT_EQ(ring.Put(p.data(), 100, 1, 0), 0);
    std::vector<uint8_t> small(50);
    uint32_t total;
    EXPECT_EQ(ring.Get(small.data(), 50, &total), -2);
    EXPECT_EQ(ring.Count(), 1);
}

}  // namespace
}  // namespace ocv
