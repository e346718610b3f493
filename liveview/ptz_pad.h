#pragma once
// The PTZ panel and popup without their windows: which button sends which command, how the
// toggles and presets form their values, and the thread (`lv-ptz`) that sends the commands in
// the order they were made, since a command waits for the device's answer.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/ptz_control.h"

namespace ocv {

// How a button acts: held (start on press, stop on release), toggled, or a preset command.
enum class PtzAction { kHold, kToggle, kPreset };

struct PtzButton {
    const char* name;  // the control's object name
    int code;          // the device library's command number
    const char* tip;   // English tooltip of the popup
    PtzAction action;
};

// Every button of the popup in the order of the command table; the embedded panel has the
// held ones.
const std::vector<PtzButton>& PtzButtons();
const PtzButton* FindPtzButton(const std::string& name);

constexpr int kPtzSpeedMin = 0;
constexpr int kPtzSpeedMax = 10;
constexpr int kPtzSpeedDefault = 5;
constexpr int kPresetRows = 128;

// The popup's three toggles (auto, wipers, light), all 0 at creation: a click inverts the
// flag and sends it as the start/stop value, so the first click sends 1.
class PtzToggles {
public:
    // The value to send for the toggle's code; -1 for a code that is not a toggle.
    int Click(int code);

private:
    int autoFlag_ = 0, wiperFlag_ = 0, lightFlag_ = 0;
};

// The preset number of a selected row of the preset list (rows from 0), -1 for none.
inline int PresetNumberOfRow(int row) { return row >= 0 && row < kPresetRows ? row + 1 : -1; }

// Sends PTZ commands on a thread of its own, in order.
class PtzSender {
public:
    explicit PtzSender(PtzControl& ptz);
    ~PtzSender();
    PtzSender(const PtzSender&) = delete;
    PtzSender& operator=(const PtzSender&) = delete;

    void Send(int device, int channel, int code, int stop, int value);
    // Waits until everything queued so far was sent (tests; the page before it goes).
    void Flush();

private:
    struct Command {
        int device, channel, code, stop, value;
    };
    void Loop();

    PtzControl& ptz_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Command> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace ocv
