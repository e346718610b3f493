#include "record/recorder_table.h"

#include <chrono>
#include <thread>

namespace ocv {

RecorderTable::RecorderTable(int slots) : size_(slots), slots_(new Slot[static_cast<size_t>(slots)]) {}

RecorderTable::~RecorderTable() {
    for (int i = 0; i < size_; ++i) delete slots_[i].recorder.exchange(nullptr);
}

bool RecorderTable::Install(int slot, std::unique_ptr<Recorder> recorder) {
    Recorder* none = nullptr;
    if (!slots_[slot].recorder.compare_exchange_strong(none, recorder.get())) return false;
    recorder.release();
    return true;
}

std::unique_ptr<Recorder> RecorderTable::Remove(int slot) {
    Slot& s = slots_[slot];
    std::unique_ptr<Recorder> taken(s.recorder.exchange(nullptr));
    if (!taken) return taken;
    // A call that loaded the pointer before the exchange has counted itself in before that load.
    // Calls are short (a frame copied into the ring); the wait is rarely more than a yield.
    if (s.users.load() != 0) {
        waitedRemovals_.fetch_add(1);
        for (int spins = 0; s.users.load() != 0; ++spins) {
            if (spins < 64) std::this_thread::yield();
            else std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    return taken;
}

}  // namespace ocv
