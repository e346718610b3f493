#pragma once
// Player port numbers 0..255: every player instance of the process takes one here.
namespace ocv {

constexpr int kPortSlotCount = 256;

void ResetPortSlots();
// The lowest free port, now taken; -1 when all 256 are in use.
int TakePort();
// Gives a port back; numbers outside 0..255 are ignored.
void ReleasePort(int port);
int PortsInUse();

}  // namespace ocv
