#include "record/ring_buffer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
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

// Grow must keep every entry, in order, with its tags and payload, also when the entries
// wrap around the end of the old storage.
TEST(RingBufferTest, GrowKeepsWrappedEntriesInOrder) {
    RingBuffer ring;
    ASSERT_EQ(ring.Init(64), 0);
    int rc;
    // Move the offsets on so that the next entries wrap: 20 + 20 bytes taken and given back.
    ASSERT_EQ(ring.Put("xxxxxxx", 7, 1, 0), 0);
    ASSERT_EQ(ring.Put("xxxxxxx", 7, 2, 0), 0);
    GetEntry(ring, &rc);
    GetEntry(ring, &rc);
    // Three entries from offset 40: the second one crosses the end.
    ASSERT_EQ(ring.Put("abcdefg", 7, 10, 100), 0);
    ASSERT_EQ(ring.Put("hijklmn", 7, 11, 101), 0);
    ASSERT_EQ(ring.Put("op", 2, 12, 102), 0);
    EXPECT_FALSE(ring.Fits(7));
    EXPECT_EQ(ring.Grow(48), -1);  // smaller than what the entries take: refused, nothing lost
    ASSERT_EQ(ring.Grow(256), 0);
    EXPECT_EQ(ring.Capacity(), 256u);
    EXPECT_EQ(ring.Count(), 3);
    EXPECT_EQ(ring.PeekTag1(), 10u);
    ASSERT_EQ(ring.Put("qrstuvw", 7, 13, 103), 0);
    const char* payloads[] = {"abcdefg", "hijklmn", "op", "qrstuvw"};
    for (uint32_t i = 0; i < 4; ++i) {
        Entry e = GetEntry(ring, &rc);
        ASSERT_EQ(rc, 0) << i;
        EXPECT_EQ(e.tag1, 10 + i);
        EXPECT_EQ(e.tag2, 100 + i);
        EXPECT_EQ(e.payload, payloads[i]);
    }
    EXPECT_TRUE(ring.IsEmpty());
    RingBuffer::Statistics s = ring.Stats();
    EXPECT_EQ(s.writeAttempts, 6u);
    EXPECT_EQ(s.writeFailures, 0u);
}

// Fits answers what Put would do, at the boundary of "never filled to the last byte".
TEST(RingBufferTest, FitsAgreesWithPut) {
    RingBuffer ring;
    EXPECT_FALSE(ring.Fits(0));  // no storage
    ASSERT_EQ(ring.Init(64), 0);
    std::string p(64, 'z');
    EXPECT_TRUE(ring.Fits(40));   // 48 + 4 = 52 < 64
    ASSERT_EQ(ring.Put(p.data(), 40, 1, 0), 0);
    EXPECT_FALSE(ring.Fits(0));   // 12 bytes >= 12 free
    EXPECT_EQ(ring.Put(p.data(), 0, 2, 0), -2);
    ring.Reset();
    EXPECT_FALSE(ring.Fits(49));  // 57 -> 60, + 4 = 64: the last byte
    EXPECT_EQ(ring.Put(p.data(), 49, 3, 0), -2);
    EXPECT_TRUE(ring.Fits(48));   // 56 + 4 = 60 < 64
    EXPECT_EQ(ring.Put(p.data(), 48, 4, 0), 0);
}

TEST(RingBufferTest, TrimToDropsOnlyWhatIsOlderThanTheKeep) {
    RingBuffer ring;
    ASSERT_EQ(ring.Init(1024), 0);
    for (uint32_t tag : {1000u, 2000u, 2999u, 3000u, 5000u}) ASSERT_EQ(ring.Put("a", 1, tag, 0), 0);
    // Newest 5000, keep 2000: 1000 and 2000 go, 2999 (2001 ms back) goes, 3000 (exactly) stays.
    EXPECT_EQ(ring.TrimTo(5000, 2000), 3);
    EXPECT_EQ(ring.PeekTag1(), 3000u);
    EXPECT_EQ(ring.Count(), 2);
    EXPECT_EQ(ring.TrimTo(5000, 2000), 0);
    // A newest tag below the oldest (a timestamp that went back) is far in unsigned terms.
    EXPECT_EQ(ring.TrimTo(100, 2000), 2);
    EXPECT_TRUE(ring.IsEmpty());
    EXPECT_EQ(ring.TrimTo(100, 2000), 0);
}

std::string Payload(const RingBuffer::EntryView& v) {
    std::string out(reinterpret_cast<const char*>(v.parts[0]), v.sizes[0]);
    if (v.sizes[1]) out.append(reinterpret_cast<const char*>(v.parts[1]), v.sizes[1]);
    return out;
}

// Peek lends the oldest entry where it lies, in two parts when it wraps; Release(false) gives
// it back, Release(true) drops it. While it is lent no other read takes it.
TEST(RingBufferTest, PeekLendsTheOldestEntryInPlaceAcrossTheWrap) {
    RingBuffer ring;
    ASSERT_EQ(ring.Init(64), 0);
    RingBuffer::EntryView v;
    EXPECT_EQ(ring.Peek(&v), -2);  // empty
    int rc;
    ASSERT_EQ(ring.Put("0123456789abcdefghij", 20, 1, 0), 0);  // 32 bytes
    GetEntry(ring, &rc);
    ASSERT_EQ(ring.Put("0123456789abcdefghijklmnopqrstu", 31, 7, 8), 0);  // from 32, wraps at 64
    ASSERT_EQ(ring.Peek(&v), 0);
    EXPECT_EQ(v.tag1, 7u);
    EXPECT_EQ(v.tag2, 8u);
    EXPECT_EQ(v.sizes[0], 20u);  // 64 - (32 + 12)
    EXPECT_EQ(v.sizes[1], 11u);
    EXPECT_EQ(Payload(v), "0123456789abcdefghijklmnopqrstu");
    RingBuffer::EntryView again;
    EXPECT_EQ(ring.Peek(&again), -2);  // lent already
    GetEntry(ring, &rc);
    EXPECT_EQ(rc, -2);
    EXPECT_EQ(ring.Skip(), -2);
    ring.Release(false);
    ASSERT_EQ(ring.Peek(&again), 0);
    EXPECT_EQ(Payload(again), "0123456789abcdefghijklmnopqrstu");
    ring.Release(true);
    EXPECT_TRUE(ring.IsEmpty());
    EXPECT_EQ(ring.Count(), 0);
    EXPECT_EQ(ring.Stats().bytesRead, 32u + 44u);
}

// A Reset from the producer while an entry is lent must not let new entries overwrite the lent
// bytes (they are being written to a file); the lent entry goes at Release.
TEST(RingBufferTest, ResetWhileLentKeepsTheLentBytesUntilRelease) {
    RingBuffer ring;
    ASSERT_EQ(ring.Init(64), 0);
    ASSERT_EQ(ring.Put("lent-entry-1234", 15, 1, 0), 0);  // 28 bytes
    ASSERT_EQ(ring.Put("dropped-by-rst", 14, 2, 0), 0);
    RingBuffer::EntryView v;
    ASSERT_EQ(ring.Peek(&v), 0);
    ring.Reset();
    EXPECT_EQ(ring.Count(), 1);
    // 36 bytes are free: a 24-byte entry fits, a second one would reach the lent bytes.
    ASSERT_EQ(ring.Put("new-entry-1", 11, 3, 0), 0);
    EXPECT_EQ(ring.Put("new-entry-2", 11, 4, 0), -2);
    EXPECT_EQ(Payload(v), "lent-entry-1234");
    ring.Release(false);  // reset meanwhile: dropped all the same
    int rc;
    Entry e = GetEntry(ring, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(e.tag1, 3u);
    EXPECT_EQ(e.payload, "new-entry-1");
    EXPECT_TRUE(ring.IsEmpty());
}

// A Grow while an entry is lent keeps the lent storage mapped until Release; the entries move
// on in order.
TEST(RingBufferTest, GrowWhileLentKeepsTheLentStorageUntilRelease) {
    RingBuffer ring;
    ASSERT_EQ(ring.Init(4096), 0);
    std::string big(3000, 'q');
    ASSERT_EQ(ring.Put(big.data(), 3000, 1, 0), 0);
    ASSERT_EQ(ring.Put("next", 4, 2, 0), 0);
    RingBuffer::EntryView v;
    ASSERT_EQ(ring.Peek(&v), 0);
    ASSERT_EQ(ring.Grow(1 << 20), 0);
    ASSERT_EQ(ring.Grow(2 << 20), 0);  // the storage in between goes at once
    ASSERT_EQ(ring.Put("last", 4, 3, 0), 0);
    EXPECT_EQ(Payload(v), big);  // still mapped
    ring.Release(true);
    int rc;
    EXPECT_EQ(GetEntry(ring, &rc).tag1, 2u);
    EXPECT_EQ(GetEntry(ring, &rc).tag1, 3u);
    EXPECT_TRUE(ring.IsEmpty());
}

long ResidentKiB() {
    long pages = 0, resident = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (f && fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    if (f) fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A large ring costs resident memory only where entries have reached, not its capacity.
TEST(RingBufferTest, StorageTakesMemoryOnlyWhereEntriesReach) {
    RingBuffer ring;
    long before = ResidentKiB();
    ASSERT_EQ(ring.Init(64u << 20), 0);
    EXPECT_LT(ResidentKiB() - before, 4 * 1024);
    std::vector<uint8_t> frame(100000, 7);
    for (int i = 0; i < 20; ++i)  // 2 MB of entries
        ASSERT_EQ(ring.Put(frame.data(), static_cast<uint32_t>(frame.size()), static_cast<uint32_t>(i), 0), 0);
    long grown = ResidentKiB() - before;
    EXPECT_GT(grown, 1800);
    EXPECT_LT(grown, 8 * 1024);
}

}  // namespace
}  // namespace ocv
