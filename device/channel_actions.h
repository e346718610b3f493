#pragma once
// What the live view's menus ask of the device side beyond opening cells: a snapshot of what a
// cell shows, letting a channel go for good, and checking a device's clock. Implemented by
// ChannelActionService; tests hand pages a fake.
#include <string>

namespace ocv {

class ChannelActions {
public:
    virtual ~ChannelActions() = default;
    // Writes a snapshot of the cell's picture into the snapshot folders; *path gets the file.
    // 0, -2 when the cell has shown no picture yet, -1 for an empty cell or a write failure.
    // Encodes and writes a file: never on the UI thread.
    virtual int CaptureCell(int slot, std::string* path) = 0;
    // Stops wanting the channel (its connect worker ends) and closes its live stream. May wait
    // for a connect worker's open: never on the UI thread. 0, or -1 for an invalid channel.
    virtual int DisconnectChannel(int device, int channel) = 0;
    // Marks the channel's device for the time-sync worker. Any thread.
    virtual int MarkTimeSync(int device, int channel) = 0;
};

}  // namespace ocv
