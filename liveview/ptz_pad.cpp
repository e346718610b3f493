#include "liveview/ptz_pad.h"

#include <pthread.h>

namespace ocv {

const std::vector<PtzButton>& PtzButtons() {
    static const std::vector<PtzButton> buttons = {
        {"upBtn", 21, "Up", PtzAction::kHold},
        {"downBtn", 22, "Down", PtzAction::kHold},
        {"leftBtn", 23, "Left", PtzAction::kHold},
        {"rightBtn", 24, "Right", PtzAction::kHold},
        {"upleftBtn", 25, "Left-Up", PtzAction::kHold},
        {"uprightBtn", 26, "Right-Up", PtzAction::kHold},
        {"downleftBtn", 27, "Left-Down", PtzAction::kHold},
        {"downrightBtn", 28, "Right-Down", PtzAction::kHold},
        {"irisCloseBtn", 16, "Aperture Close", PtzAction::kHold},
        {"irisOpenBtn", 15, "Aperture Open", PtzAction::kHold},
        {"focusNearBtn", 13, "Focus Near", PtzAction::kHold},
        {"focusFarBtn", 14, "Focus Far", PtzAction::kHold},
        {"zoomOutBtn", 12, "Zoom Out", PtzAction::kHold},
        {"zoomInBtn", 11, "Zoom In", PtzAction::kHold},
        {"autoBtn", 29, "Auto", PtzAction::kToggle},
        {"wiperBtn", 3, "Wipers", PtzAction::kToggle},
        {"lightBtn", 2, "Light", PtzAction::kToggle},
        {"editBtn", kPtzPresetSet, "Set Preset", PtzAction::kPreset},
        {"clearBtn", kPtzPresetClear, "Delete preset", PtzAction::kPreset},
        {"gotoBtn", kPtzPresetGoto, "Jump preset", PtzAction::kPreset},
    };
    return buttons;
}

const PtzButton* FindPtzButton(const std::string& name) {
    for (const PtzButton& b : PtzButtons())
        if (name == b.name) return &b;
    return nullptr;
}

int PtzToggles::Click(int code) {
    int* flag = code == 29 ? &autoFlag_ : code == 3 ? &wiperFlag_ : code == 2 ? &lightFlag_ : nullptr;
    if (flag == nullptr) return -1;
    *flag = *flag ? 0 : 1;
    return *flag;
}

PtzSender::PtzSender(PtzControl& ptz) : ptz_(ptz) {
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "lv-ptz");
        Loop();
    });
}

PtzSender::~PtzSender() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void PtzSender::Send(int device, int channel, int code, int stop, int value) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({device, channel, code, stop, value});
    }
    wake_.notify_one();
}

void PtzSender::Flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void PtzSender::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        // A stop that was asked for is still sent before the thread ends: a camera must not
        // keep turning after the page went.
        if (queue_.empty()) return;
        Command c = queue_.front();
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        ptz_.SendPtz(c.device, c.channel, c.code, c.stop, c.value);
        lock.lock();
        busy_ = false;
        if (queue_.empty()) idle_.notify_all();
    }
}

}  // namespace ocv
