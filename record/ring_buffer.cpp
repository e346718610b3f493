#include "record/ring_buffer.h"

#include <cstring>
#include <new>

namespace ocv {

int RingBuffer::Init(uint32_t capacity) {
    capacity &= ~3u;
    std::lock_guard lock(mutex_);
    storage_.reset();
    capacity_ = 0;
    writeOffset_ = readOffset_ = 0;
    entryCount_ = 0;
    corrupt_ = false;
    stats_ = {};
    if (capacity == 0) return -1;
    storage_.reset(new (std::nothrow) uint8_t[capacity]());
    if (!storage_) return -1;
    capacity_ = capacity;
    return 0;
}

uint32_t RingBuffer::UsedLocked() const {
    return writeOffset_ >= readOffset_ ? writeOffset_ - readOffset_
                                       : capacity_ - readOffset_ + writeOffset_;
}

void RingBuffer::CopyIn(uint32_t at, const void* src, uint32_t n) {
    uint32_t first = std::min(n, capacity_ - at);
    memcpy(storage_.get() + at, src, first);
    if (n > first) memcpy(storage_.get(), static_cast<const uint8_t*>(src) + first, n - first);
}

void RingBuffer::CopyOut(uint32_t at, void* dst, uint32_t n) const {
    uint32_t first = std::min(n, capacity_ - at);
    memcpy(dst, storage_.get() + at, first);
    if (n > first) memcpy(static_cast<uint8_t*>(dst) + first, storage_.get(), n - first);
}

int RingBuffer::Put(const void* data, uint32_t length, uint32_t tag1, uint32_t tag2) {
    std::lock_guard lock(mutex_);
    if (!storage_) return -1;
    if (corrupt_) {
        readOffset_ = writeOffset_ = 0;
        entryCount_ = 0;
        corrupt_ = false;
        return -1;
    }
    Bump(stats_.writeAttempts);
    if (length > UINT32_MAX - 16) {
        Bump(stats_.writeFailures);
        return -2;
    }
    uint32_t total = length + 8;
    uint32_t size = EntrySize(total);
    uint32_t freeBytes = capacity_ - UsedLocked();
    // Never filled to the last byte: equal offsets must keep meaning "empty".
    if (size >= freeBytes) {
        Bump(stats_.writeFailures);
        return -2;
    }
    uint32_t head[3] = {total, tag1, tag2};
    uint32_t at = writeOffset_;
    CopyIn(at, head, sizeof head);
    at = (at + sizeof head) % capacity_;
    if (length) CopyIn(at, data, length);
    writeOffset_ = (writeOffset_ + size) % capacity_;
    Bump(stats_.bytesWritten, size);
    ++entryCount_;
    return 0;
}

int RingBuffer::Get(void* out, uint32_t outSize, uint32_t* total) {
    std::lock_guard lock(mutex_);
    *total = 0;
    if (!storage_) return -1;
    Bump(stats_.readAttempts);
    if (readOffset_ == writeOffset_) return -2;
    uint32_t t;
    CopyOut(readOffset_, &t, 4);
    if (t >= kMaxEntryTotal) {
        corrupt_ = true;
        return -2;
    }
    uint32_t size = EntrySize(t);
    if (size > capacity_ || size > UsedLocked() || size - 4 > outSize) {
        Bump(stats_.readFailures);
        return -2;
    }
    CopyOut((readOffset_ + 4) % capacity_, out, size - 4);
    readOffset_ = (readOffset_ + size) % capacity_;
    Bump(stats_.bytesRead, size);
    --entryCount_;
    *total = t;
    return 0;
}

uint32_t RingBuffer::PeekTag1() {
    std::lock_guard lock(mutex_);
    if (!storage_ || readOffset_ == writeOffset_) return 0;
    uint32_t tag1;
    CopyOut((readOffset_ + 4) % capacity_, &tag1, 4);
    return tag1;
}

int RingBuffer::Skip() {
    std::lock_guard lock(mutex_);
    if (!storage_ || readOffset_ == writeOffset_) return -2;
    uint32_t t;
    CopyOut(readOffset_, &t, 4);
    uint32_t size = EntrySize(t);
    if (t >= kMaxEntryTotal || size > UsedLocked()) {
        corrupt_ = true;
        return -2;
    }
    readOffset_ = (readOffset_ + size) % capacity_;
    --entryCount_;
    return 0;
}

void RingBuffer::Reset() {
    std::lock_guard lock(mutex_);
    readOffset_ = writeOffset_;
    entryCount_ = 0;
}

int RingBuffer::Count() {
    std::lock_guard lock(mutex_);
    return entryCount_;
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
