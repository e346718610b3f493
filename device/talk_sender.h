#pragma once
// One channel's talk sender: captured voice blocks queue in a ring (filled on the capture's
// thread, never waiting) and a thread of its own (`talk-ID`) hands them to the device in
// order. A sender that falls behind drops new blocks rather than delaying the capture.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "record/ring_buffer.h"

namespace ocv {

class TalkSender {
public:
    // Sends one block; called on the sender's thread.
    using SendFn = std::function<int(const uint8_t* data, uint32_t length)>;
    // About 4 s of A-law voice.
    static constexpr uint32_t kRingBytes = 32768;
    static constexpr uint32_t kMaxBlockBytes = 8192;

    TalkSender(int channelId, SendFn send) : channelId_(channelId), send_(std::move(send)) {}
    ~TalkSender() { Stop(); }
    TalkSender(const TalkSender&) = delete;
    TalkSender& operator=(const TalkSender&) = delete;

    // 0, or -1 when the ring cannot be had or the thread cannot start.
    int Start();
    // Any thread. Drops the block (and counts it) when the ring is full or not started.
    void Push(const uint8_t* data, uint32_t length, uint32_t captureMs);
    // Sends what is queued no more; the thread has ended when it returns.
    void Stop();

    uint64_t Sent() const { return sent_.load(); }
    uint64_t Dropped() const { return dropped_.load(); }
    // Capture time of the block sent last (milliseconds of the voice clock).
    uint32_t LastCaptureMs() const { return lastCaptureMs_.load(); }

private:
    void Loop();

    const int channelId_;
    SendFn send_;
    RingBuffer ring_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool started_ = false;
    std::thread thread_;
    std::atomic<uint64_t> sent_{0}, dropped_{0};
    std::atomic<uint32_t> lastCaptureMs_{0};
};

}  // namespace ocv
