#pragma once
// A byte ring of tagged entries: { u32 total = payload + 8, u32 tag1, u32 tag2, payload, fill
// to 4 }. Offsets stay multiples of 4, so a length word never straddles the end of the ring.
// One producer (Put, Reset, Grow) and one consumer (Get, Peek/Release, PeekTag1, Skip, TrimTo);
// every operation takes the ring's lock, so a Reset or a Grow from the producer can never race a
// Get half-way through an entry.
//
// Peek lends the consumer the oldest entry in place, so it can be written to a file without
// being copied out first. Until Release the entry's bytes stay put: the producer's Put never
// reaches them, a Reset drops everything after them (and them at Release), a Grow keeps the
// lent storage mapped until Release.
//
// The storage is mapped memory that is not filled up front: a page takes resident memory only
// once an entry reaches it, so a large ring that holds little costs little.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace ocv {

class RingBuffer {
public:
    struct Statistics {
        uint64_t readFailures = 0, writeFailures = 0, bytesWritten = 0, bytesRead = 0,
                 readAttempts = 0, writeAttempts = 0;
    };

    RingBuffer() = default;
    ~RingBuffer();
    RingBuffer(const RingBuffer&) = delete;
    RingBuffer& operator=(const RingBuffer&) = delete;

    // Frees previous storage and maps capacity bytes (rounded down to a multiple of 4). -1 for
    // capacity 0 or when the storage cannot be had.
    int Init(uint32_t capacity);
    // Moves the entries into new storage of newCapacity bytes (rounded down to a multiple of
    // 4), oldest first at offset 0; entries, tags and statistics stay. -1 when the entries
    // would not fit or the storage cannot be had (the ring is then unchanged).
    int Grow(uint32_t newCapacity);
    // 0; -1 without storage, or when the ring was corrupt and has just been emptied; -2 no room.
    int Put(const void* data, uint32_t length, uint32_t tag1, uint32_t tag2);
    // Whether Put of a payload of this length would find room now.
    bool Fits(uint32_t length);
    // Copies tag1, tag2 and the payload (total rounded up to 4 bytes) into out, which must hold
    // at least outSize bytes. 0 with *total set; -2 empty or invalid entry; -1 without storage.
    int Get(void* out, uint32_t outSize, uint32_t* total);
    // The oldest entry's tags and payload, in place: the payload is parts[0] followed by parts[1]
    // (the second part is empty unless the entry wraps). 0; -2 empty, invalid or already lent;
    // -1 without storage. The entry is the consumer's until Release.
    struct EntryView {
        uint32_t tag1 = 0, tag2 = 0;
        const uint8_t* parts[2] = {nullptr, nullptr};
        uint32_t sizes[2] = {0, 0};
        uint32_t PayloadSize() const { return sizes[0] + sizes[1]; }
    };
    int Peek(EntryView* view);
    // Ends the loan of Peek; consumed drops the entry (as Get would have). An entry whose ring was
    // reset meanwhile is dropped in any case.
    void Release(bool consumed);
    // tag1 of the oldest entry, 0 when empty.
    uint32_t PeekTag1();
    int Skip();
    // Drops the oldest entries while newestTag - tag1 (unsigned) exceeds keep. Returns how many.
    int TrimTo(uint32_t newestTag, uint32_t keep);
    void Reset();
    int Count();
    uint32_t Capacity() const { return capacity_.load(std::memory_order_relaxed); }
    // Bytes the entries take, length words and fill included.
    uint32_t UsedBytes();
    bool IsEmpty();
    Statistics Stats();

    // An entry's length word of this size or more marks the ring corrupt.
    static constexpr uint32_t kMaxEntryTotal = 1048576;
    // Bytes an entry of this payload length takes in the ring.
    static uint64_t EntryBytes(uint32_t length) { return ((uint64_t{length} + 8 + 3) & ~uint64_t{3}) + 4; }

private:
    static uint32_t EntrySize(uint32_t total) { return ((total + 3) & ~3u) + 4; }
    uint32_t UsedLocked() const;
    bool SkipLocked();
    // Unmaps the storage, or keeps it until Release while an entry of it is lent.
    void FreeStorageLocked();
    // Empties the ring from the producer's side (Reset, a corrupt ring).
    void EmptyLocked();
    void CopyIn(uint32_t at, const void* src, uint32_t n);
    void CopyOut(uint32_t at, void* dst, uint32_t n) const;
    static void Bump(uint64_t& counter, uint64_t add = 1) {
        counter = (counter > UINT64_MAX - add) ? 0 : counter + add;
    }

    std::mutex mutex_;
    uint8_t* storage_ = nullptr;  // mapped, capacity_ bytes
    std::atomic<uint32_t> capacity_{0};
    uint32_t writeOffset_ = 0;
    uint32_t readOffset_ = 0;
    int entryCount_ = 0;
    bool corrupt_ = false;
    Statistics stats_;
    // The entry lent by Peek: its size in the ring, the storage it lies in, and whether the ring
    // was reset meanwhile. Retired storage is unmapped at Release.
    uint32_t lentBytes_ = 0;
    const uint8_t* lentStorage_ = nullptr;
    bool lentInRing_ = false;  // its bytes are still the oldest of the current storage
    bool resetWhileLent_ = false;
    uint8_t* retired_ = nullptr;
    uint32_t retiredBytes_ = 0;
};

}  // namespace ocv
