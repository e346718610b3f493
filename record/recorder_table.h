#pragma once
// The recorders of the channels by channel id, for a stream callback that reads them without a
// lock while other threads create and delete them.
//
// A recorder is made when its channel may record and deleted when it no longer may, while the
// channel's stream keeps flowing. The stream thread enters a slot (a count beside the pointer)
// before it loads the recorder and leaves after its call; Remove takes the recorder out of its
// slot and then waits until nobody is inside that slot, so the recorder it returns is the
// caller's alone. The stream thread pays two atomic additions per call and never waits.
//
// Install and Remove of one slot must not race each other (the owner serialises them under its
// own lock); Peek is for that owner, under that lock.
#include <atomic>
#include <cstdint>
#include <memory>

#include "record/recorder.h"

namespace ocv {

class RecorderTable {
public:
    explicit RecorderTable(int slots);
    ~RecorderTable();  // deletes the recorders still installed
    RecorderTable(const RecorderTable&) = delete;
    RecorderTable& operator=(const RecorderTable&) = delete;

    int Size() const { return size_; }

    // Stream thread: calls fn(Recorder&) when the slot has a recorder, which is not deleted
    // before fn returns. Whether it had one.
    template <typename Fn>
    bool With(int slot, Fn&& fn) {
        Slot& s = slots_[slot];
        s.users.fetch_add(1);  // before the load: Remove either sees us or we see its empty slot
        Recorder* r = s.recorder.load();
        if (r != nullptr) fn(*r);
        s.users.fetch_sub(1);
        return r != nullptr;
    }

    // Publishes a recorder in an empty slot; false (and the recorder is deleted) when the slot
    // already has one.
    bool Install(int slot, std::unique_ptr<Recorder> recorder);
    // Takes the recorder out of the slot once no stream-thread call is inside it; nullptr when
    // the slot was empty. The caller deletes it (outside its locks: a recording is closed then).
    std::unique_ptr<Recorder> Remove(int slot);
    Recorder* Peek(int slot) const { return slots_[slot].recorder.load(); }
    bool Has(int slot) const { return Peek(slot) != nullptr; }

    // How often Remove found a stream-thread call inside the slot and had to wait (tests).
    uint64_t WaitedRemovals() const { return waitedRemovals_.load(); }

private:
    struct Slot {
        std::atomic<Recorder*> recorder{nullptr};
        std::atomic<uint32_t> users{0};
    };

    const int size_;
    std::unique_ptr<Slot[]> slots_;
    std::atomic<uint64_t> waitedRemovals_{0};
};

}  // namespace ocv
