#include "base/port_slots.h"

#include <mutex>

namespace ocv {
namespace {
std::mutex gMutex;
int gSlots[kPortSlotCount];
}  // namespace

void ResetPortSlots() {
    std::lock_guard lock(gMutex);
    for (int& s : gSlots) s = 0;
}

int TakePort() {
    std::lock_guard lock(gMutex);
    for (int i = 0; i < kPortSlotCount; ++i) {
        if (gSlots[i] == 0) {
            gSlots[i] = 1;
            return i;
        }
    }
    return -1;
}

void ReleasePort(int port) {
    if (port < 0 || port >= kPortSlotCount) return;
    std::lock_guard lock(gMutex);
    gSlots[port] = 0;
}

int PortsInUse() {
    std::lock_guard lock(gMutex);
    int n = 0;
    for (int s : gSlots) n += s != 0;
    return n;
}

}  // namespace ocv
