#pragma once
// What pages ask of pan, tilt, zoom and presets: one command to a channel's camera.
// Implemented by PtzService. The call waits for the device's answer: never on the UI thread
// (the live view sends from its PTZ thread).
namespace ocv {

// Preset commands; every other number is a movement or lens command of the device library.
constexpr int kPtzPresetSet = 8;
constexpr int kPtzPresetClear = 9;
constexpr int kPtzPresetGoto = 39;

class PtzControl {
public:
    virtual ~PtzControl() = default;
    // Preset commands carry the preset number as value, the others the speed; stop is 0 to
    // start a motion and 1 to end it (for the toggles, their new state). 0, -1 for an invalid
    // channel or a device that is not logged in and online, else the device library's error.
    virtual int SendPtz(int device, int channel, int command, int stop, int value) = 0;
};

}  // namespace ocv
