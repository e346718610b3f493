#include "device/talk_sender.h"

#include <pthread.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/trace.h"

namespace ocv {

int TalkSender::Start() {
    std::lock_guard lock(mutex_);
    if (started_) return 0;
    if (ring_.Init(kRingBytes) != 0) {
        Trace("talk sender of channel %d: no memory for its queue\n", channelId_);
        return -1;
    }
    stopping_ = false;
    try {
        thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
        Trace("talk sender of channel %d: cannot start its thread\n", channelId_);
        return -1;
    }
    started_ = true;
    return 0;
}

void TalkSender::Push(const uint8_t* data, uint32_t length, uint32_t captureMs) {
    if (data == nullptr || length == 0 || length > kMaxBlockBytes) return;
    {
        std::lock_guard lock(mutex_);
        if (!started_ || stopping_ || ring_.Put(data, length, length, captureMs) != 0) {
            dropped_.fetch_add(1);
            return;
        }
    }
    wake_.notify_one();
}

void TalkSender::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (!started_) return;
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    started_ = false;
}

void TalkSender::Loop() {
    char name[16];
    snprintf(name, sizeof name, "talk-%d", channelId_);
    pthread_setname_np(pthread_self(), name);
    // Room for the two tags and the largest block.
    std::vector<uint8_t> entry(kMaxBlockBytes + 16);
    for (;;) {
        uint32_t total = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !ring_.IsEmpty(); });
            if (stopping_) return;
            if (ring_.Get(entry.data(), static_cast<uint32_t>(entry.size()), &total) != 0) {
                ring_.Reset();  // only a damaged queue refuses; start it afresh
                continue;
            }
        }
        uint32_t length = 0, captureMs = 0;
        std::memcpy(&length, entry.data(), 4);
        std::memcpy(&captureMs, entry.data() + 4, 4);
        if (length == 0 || length > kMaxBlockBytes) continue;
        // The lock is not held while the block goes out: the capture never waits for the network.
        if (send_(entry.data() + 8, length) == 0) {
            sent_.fetch_add(1);
            lastCaptureMs_.store(captureMs);
        } else {
            dropped_.fetch_add(1);
        }
    }
}

}  // namespace ocv
