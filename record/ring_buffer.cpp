#include "record/ring_buffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace ocv {
namespace {

uint8_t* MapStorage(uint32_t bytes) {
    // Anonymous pages read as zero and take memory only when written: nothing is filled here.
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
}

}  // namespace

RingBuffer::~RingBuffer() {
    std::lock_guard lock(mutex_);
    lentBytes_ = 0;
    FreeStorageLocked();
    if (retired_) munmap(retired_, retiredBytes_);
    retired_ = nullptr;
}

void RingBuffer::FreeStorageLocked() {
    if (storage_) {
        if (lentBytes_ && storage_ == lentStorage_ && !retired_) {
            // The consumer is still reading an entry of it.
            retired_ = storage_;
            retiredBytes_ = capacity_.load();
        } else {
            munmap(storage_, capacity_.load());
        }
    }
    storage_ = nullptr;
    capacity_ = 0;
}

void RingBuffer::EmptyLocked() {
    if (lentBytes_ && lentInRing_) {
        // Everything after the lent entry goes now, the entry itself at Release: its bytes
        // must not be written over while they are being read.
        writeOffset_ = (readOffset_ + lentBytes_) % capacity_.load(std::memory_order_relaxed);
        entryCount_ = 1;
        resetWhileLent_ = true;
        return;
    }
    readOffset_ = writeOffset_;
    entryCount_ = 0;
}

int RingBuffer::Init(uint32_t capacity) {
    capacity &= ~3u;
    std::lock_guard lock(mutex_);
    FreeStorageLocked();
    writeOffset_ = readOffset_ = 0;
    entryCount_ = 0;
    lentInRing_ = false;
    corrupt_ = false;
    stats_ = {};
    if (capacity == 0) return -1;
    storage_ = MapStorage(capacity);
    if (!storage_) return -1;
    capacity_ = capacity;
    return 0;
}

int RingBuffer::Grow(uint32_t newCapacity) {
    newCapacity &= ~3u;
    std::lock_guard lock(mutex_);
    uint32_t used = storage_ ? UsedLocked() : 0;
    // Strictly more than the entries: equal offsets must keep meaning "empty".
    if (newCapacity <= used || newCapacity == 0) return -1;
    uint8_t* bigger = MapStorage(newCapacity);
    if (!bigger) return -1;
    if (storage_ && used) CopyOut(readOffset_, bigger, used);
    FreeStorageLocked();
    storage_ = bigger;
    capacity_ = newCapacity;
    readOffset_ = 0;
    writeOffset_ = used;
    return 0;
}

uint32_t RingBuffer::UsedLocked() const {
    return writeOffset_ >= readOffset_ ? writeOffset_ - readOffset_
                                       : capacity_.load(std::memory_order_relaxed) - readOffset_ + writeOffset_;
}

void RingBuffer::CopyIn(uint32_t at, const void* src, uint32_t n) {
    uint32_t capacity = capacity_.load(std::memory_order_relaxed);
    uint32_t first = std::min(n, capacity - at);
    memcpy(storage_ + at, src, first);
    if (n > first) memcpy(storage_, static_cast<const uint8_t*>(src) + first, n - first);
}

void RingBuffer::CopyOut(uint32_t at, void* dst, uint32_t n) const {
    uint32_t capacity = capacity_.load(std::memory_order_relaxed);
    uint32_t first = std::min(n, capacity - at);
    memcpy(dst, storage_ + at, first);
    if (n > first) memcpy(static_cast<uint8_t*>(dst) + first, storage_, n - first);
}

bool RingBuffer::Fits(uint32_t length) {
    std::lock_guard lock(mutex_);
    if (!storage_) return false;
    return EntryBytes(length) < uint64_t{capacity_.load(std::memory_order_relaxed)} - UsedLocked();
}

int RingBuffer::Put(const void* data, uint32_t length, uint32_t tag1, uint32_t tag2) {
    std::lock_guard lock(mutex_);
    if (!storage_) return -1;
    if (corrupt_) {
        EmptyLocked();
        corrupt_ = false;
        return -1;
    }
    Bump(stats_.writeAttempts);
    const uint32_t capacity = capacity_.load(std::memory_order_relaxed);
    if (length > UINT32_MAX - 16) {
        Bump(stats_.writeFailures);
        return -2;
    }
    uint32_t total = length + 8;
    uint32_t size = EntrySize(total);
    uint32_t freeBytes = capacity - UsedLocked();
    // Never filled to the last byte: equal offsets must keep meaning "empty".
    if (size >= freeBytes) {
        Bump(stats_.writeFailures);
        return -2;
    }
    uint32_t head[3] = {total, tag1, tag2};
    uint32_t at = writeOffset_;
    CopyIn(at, head, sizeof head);
    at = (at + sizeof head) % capacity;
    if (length) CopyIn(at, data, length);
    writeOffset_ = (writeOffset_ + size) % capacity;
    Bump(stats_.bytesWritten, size);
    ++entryCount_;
    return 0;
}

int RingBuffer::Get(void* out, uint32_t outSize, uint32_t* total) {
    std::lock_guard lock(mutex_);
    *total = 0;
    if (!storage_) return -1;
    Bump(stats_.readAttempts);
    if (readOffset_ == writeOffset_ || lentBytes_) return -2;
    const uint32_t capacity = capacity_.load(std::memory_order_relaxed);
    uint32_t t;
    CopyOut(readOffset_, &t, 4);
    if (t >= kMaxEntryTotal) {
        corrupt_ = true;
        return -2;
    }
    uint32_t size = EntrySize(t);
    if (size > capacity || size > UsedLocked() || size - 4 > outSize) {
        Bump(stats_.readFailures);
        return -2;
    }
    CopyOut((readOffset_ + 4) % capacity, out, size - 4);
    readOffset_ = (readOffset_ + size) % capacity;
    Bump(stats_.bytesRead, size);
    --entryCount_;
    *total = t;
    return 0;
}

int RingBuffer::Peek(EntryView* view) {
    std::lock_guard lock(mutex_);
    *view = {};
    if (!storage_) return -1;
    Bump(stats_.readAttempts);
    if (readOffset_ == writeOffset_ || lentBytes_) return -2;
    const uint32_t capacity = capacity_.load(std::memory_order_relaxed);
    uint32_t t;
    CopyOut(readOffset_, &t, 4);
    if (t >= kMaxEntryTotal) {
        corrupt_ = true;
        return -2;
    }
    uint32_t size = EntrySize(t);
    if (t < 8 || size > capacity || size > UsedLocked()) {
        Bump(stats_.readFailures);
        return -2;
    }
    uint32_t tags[2];
    CopyOut((readOffset_ + 4) % capacity, tags, sizeof tags);
    view->tag1 = tags[0];
    view->tag2 = tags[1];
    uint32_t start = (readOffset_ + 12) % capacity;
    uint32_t length = t - 8;
    view->sizes[0] = std::min(length, capacity - start);
    view->sizes[1] = length - view->sizes[0];
    view->parts[0] = storage_ + start;
    view->parts[1] = view->sizes[1] ? storage_ : nullptr;
    lentBytes_ = size;
    lentStorage_ = storage_;
    lentInRing_ = true;
    resetWhileLent_ = false;
    return 0;
}

void RingBuffer::Release(bool consumed) {
    std::lock_guard lock(mutex_);
    if (!lentBytes_) return;
    if (lentInRing_ && (consumed || resetWhileLent_)) {
        readOffset_ = (readOffset_ + lentBytes_) % capacity_.load(std::memory_order_relaxed);
        --entryCount_;
        if (consumed) Bump(stats_.bytesRead, lentBytes_);
    }
    lentBytes_ = 0;
    lentStorage_ = nullptr;
    lentInRing_ = false;
    resetWhileLent_ = false;
    if (retired_) munmap(retired_, retiredBytes_);
    retired_ = nullptr;
}

uint32_t RingBuffer::PeekTag1() {
    std::lock_guard lock(mutex_);
    if (!storage_ || readOffset_ == writeOffset_) return 0;
    uint32_t tag1;
    CopyOut((readOffset_ + 4) % capacity_.load(std::memory_order_relaxed), &tag1, 4);
    return tag1;
}

bool RingBuffer::SkipLocked() {
    if (!storage_ || readOffset_ == writeOffset_ || lentBytes_) return false;
    uint32_t t;
    CopyOut(readOffset_, &t, 4);
    uint32_t size = EntrySize(t);
    if (t >= kMaxEntryTotal || size > UsedLocked()) {
        corrupt_ = true;
        return false;
    }
    readOffset_ = (readOffset_ + size) % capacity_.load(std::memory_order_relaxed);
    --entryCount_;
    return true;
}

int RingBuffer::Skip() {
    std::lock_guard lock(mutex_);
    return SkipLocked() ? 0 : -2;
}

int RingBuffer::TrimTo(uint32_t newestTag, uint32_t keep) {
    std::lock_guard lock(mutex_);
    int dropped = 0;
    while (storage_ && readOffset_ != writeOffset_) {
        uint32_t tag1;
        CopyOut((readOffset_ + 4) % capacity_.load(std::memory_order_relaxed), &tag1, 4);
        if (newestTag - tag1 <= keep || !SkipLocked()) break;
        ++dropped;
    }
    return dropped;
}

void RingBuffer::Reset() {
    std::lock_guard lock(mutex_);
    EmptyLocked();
}

int RingBuffer::Count() {
    std::lock_guard lock(mutex_);
    return entryCount_;
}

uint32_t RingBuffer::UsedBytes() {
    std::lock_guard lock(mutex_);
    return storage_ ? UsedLocked() : 0;
}

bool RingBuffer::IsEmpty() {
    std::lock_guard lock(mutex_);
    return readOffset_ == writeOffset_;
}

RingBuffer::Statistics RingBuffer::Stats() {
    std::lock_guard lock(mutex_);
    return stats_;
}

}  // namespace ocv
