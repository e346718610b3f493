#include "liveview/thermal_opener.h"

#include <pthread.h>

#include "device/channel_connections.h"

namespace ocv {

ThermalOpener::ThermalOpener(ChannelConnections& connections, PostFn post) : connections_(connections), post_(std::move(post)) {
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "lv-thermal");
        Loop();
    });
}

ThermalOpener::~ThermalOpener() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ThermalOpener::Open(int cell, int device, int channel, void* window) {
    Push(Request{true, cell, device, channel, window});
}

void ThermalOpener::Close(int device) { Push(Request{false, -1, device, -1, nullptr}); }

void ThermalOpener::Push(const Request& r) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(r);
    }
    wake_.notify_one();
}

bool ThermalOpener::OpenPending(int device) {
    std::lock_guard lock(mutex_);
    if (busy_ && current_.open && current_.device == device) return true;
    for (const Request& r : queue_)
        if (r.open && r.device == device) return true;
    return false;
}

void ThermalOpener::Flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void ThermalOpener::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and nothing left to do
        Request r = queue_.front();
        queue_.pop_front();
        busy_ = true;
        current_ = r;
        lock.unlock();
        if (r.open) {
            if (connections_.OpenThermalStream(r.device, r.channel, r.window) != 0 && post_)
                post_(kMsgInsetFailed, r.cell, r.device);
        } else {
            connections_.CloseThermalStream(r.device);
        }
        lock.lock();
        busy_ = false;
        if (queue_.empty()) idle_.notify_all();
    }
}

}  // namespace ocv
