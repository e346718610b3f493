#pragma once
// A byte ring of tagged entries: { u32 total = payload + 8, u32 tag1, u32 tag2, payload, fill
// to 4 }. Offsets stay multiples of 4, so a length word never straddles the end of the ring.
// One producer (Put, Reset) and one consumer (Get, PeekTag1, Skip); every operation takes the
// ring's lock, so a Reset from the producer can never race a Get half-way through an entry.
#include <cstdint>
#include <memory>
#include <mutex>

namespace ocv {

class RingBuffer {
public:
    struct Statistics {
        uint64_t readFailures = 0, writeFailures = 0, bytesWritten = 0, bytesRead = 0,
                 readAttempts = 0, writeAttempts = 0;
    };

    // Frees previous storage and allocates capacity bytes (rounded down to a multiple of 4),
    // zero-filled. -1 for capacity 0 or when the storage cannot be had.
    int Init(uint32_t capacity);
    // 0; -1 without storage, or when the ring was corrupt and has just been emptied; -2 no room.
    int Put(const void* data, uint32_t length, uint32_t tag1, uint32_t tag2);
    // Copies tag1, tag2 and the payload (total rounded up to 4 bytes) into out, which must hold
    // at least outSize bytes. 0 with *total set; -2 empty or invalid entry; -1 without storage.
    int Get(void* out, uint32_t outSize, uint32_t* total);
    // tag1 of the oldest entry, 0 when empty.
    uint32_t PeekTag1();
    int Skip();
    void Reset();
    int Count();
    uint32_t Capacity() const { return capacity_; }
    bool IsEmpty();
    Statistics Stats();

    // An entry's length word of this size or more marks the ring corrupt.
    static constexpr uint32_t kMaxEntryTotal = 1048576;

private:
    static uint32_t EntrySize(uint32_t total) { return ((total + 3) & ~3u) + 4; }
    uint32_t UsedLocked() const;
    void CopyIn(uint32_t at, const void* src, uint32_t n);
    void CopyOut(uint32_t at, void* dst, uint32_t n) const;
    static void Bump(uint64_t& counter, uint64_t add = 1) {
        counter = (counter > UINT64_MAX - add) ? 0 : counter + add;
    }

    std::mutex mutex_;
    std::unique_ptr<uint8_t[]> storage_;
    uint32_t capacity_ = 0;
    uint32_t writeOffset_ = 0;
    uint32_t readOffset_ = 0;
    int entryCount_ = 0;
    bool corrupt_ = false;
    Statistics stats_;
};

}  // namespace ocv
