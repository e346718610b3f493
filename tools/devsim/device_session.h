#pragma once
// One accepted connection of a simulated device: login by challenge and response, then a
// control, live stream or talk connection as the client's Hello asks.
#include <asio.hpp>

#include <atomic>
#include <deque>
#include <memory>
#include <vector>

#include "sdk/message_assembler.h"
#include "sdk/wire_format.h"
#include "tools/devsim/recorded_feed.h"
#include "tools/devsim/video_loop.h"

namespace ocv::devsim {

class SimDevice;

class DeviceSession : public std::enable_shared_from_this<DeviceSession> {
public:
    DeviceSession(std::shared_ptr<SimDevice> device, asio::ip::tcp::socket socket);
    void Start();
    // Closes abruptly, as a cable pulled out would (no message).
    void Cut();
    // Tells the client the stream ends on purpose, then closes.
    void EndStream(uint32_t reason);
    // Queues an event message when this is a control connection that subscribed.
    void OfferEvent(std::vector<uint8_t> payload);

    uint32_t purpose() const { return purpose_; }
    int channel() const { return channel_; }
    int streamType() const { return streamType_; }
    bool streaming() const { return streaming_; }

private:
    struct Out {
        uint8_t head[48] = {};
        size_t headBytes = 0;
        std::shared_ptr<const VideoLoop> keep;  // keeps body alive
        const uint8_t* body = nullptr;
        size_t bodyBytes = 0;
        std::vector<uint8_t> owned;
    };

    void ReadMore();
    void OnRead(const asio::error_code& ec, size_t n);
    bool Handle(const ocv::wire::MessageView& m);
    bool HandleControl(const ocv::wire::MessageView& m);
    bool HandleStream(const ocv::wire::MessageView& m);
    bool HandleTalk(const ocv::wire::MessageView& m);
    // Recordings on the device (device_session_recorded.cpp).
    bool HandleFind(const ocv::wire::MessageView& m);
    bool HandleRecorded(const ocv::wire::MessageView& m);
    bool OpenPlayback(const ocv::wire::MessageView& m);
    bool OpenDownload(const ocv::wire::MessageView& m);
    void ControlPlayback(uint32_t command, int32_t value);
    void PlaybackTick(uint64_t generation);
    void PumpDownload();
    void FinishRecorded(uint16_t endKind, uint32_t reason);
    void Send(uint16_t kind, uint32_t sequence, const std::vector<uint8_t>& payload);
    void SendResult(uint16_t kind, uint32_t sequence, int32_t result);
    void Queue(Out out);
    void WriteNext();
    void CloseWhenDrained(int checksLeft);
    void Close();
    void StartStream();
    void StreamTick();
    void SendStreamHeader(const VideoLoop& loop);
    void QueueVideo(const std::shared_ptr<const VideoLoop>& loop, const EncodedFrame& f, uint32_t ts);
    void QueueAudio(uint32_t ts);
    // After a gathered write completed: a download makes its next frames.
    void OnDrained();
    void TalkTick();

    std::shared_ptr<SimDevice> device_;
    asio::strand<asio::io_context::executor_type> strand_;
    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_;
    ocv::wire::MessageAssembler assembler_;
    enum class Phase { kHello, kAuth, kReady, kRefused, kClosed } phase_ = Phase::kHello;
    uint8_t nonce_[ocv::wire::kNonceBytes] = {};
    std::atomic<uint32_t> purpose_{0};
    std::atomic<int> channel_{-1};
    bool ending_ = false;  // sending side shut after a close on purpose (strand only)
    std::atomic<int> streamType_{-1};
    std::atomic<bool> streaming_{false};
    std::atomic<bool> eventsOn_{false};
    uint32_t talkMode_ = 0;

    std::deque<Out> queue_;
    size_t queuedBytes_ = 0;
    bool writing_ = false;
    size_t inFlight_ = 0;

    std::shared_ptr<const VideoLoop> loop_;
    size_t frameIndex_ = 0;
    size_t toneOffset_ = 0;
    bool waitKey_ = true;
    std::chrono::steady_clock::time_point streamStart_;
    std::chrono::steady_clock::time_point nextTick_;
    std::chrono::microseconds period_{40000};

    // A playback or download (strand only).
    std::unique_ptr<RecordedFeed> feed_;
    bool feedRunning_ = false;  // playback not paused; download started
    bool feedDone_ = false;
    int speedLevel_ = 0;
    uint64_t tickGeneration_ = 0;  // a resumed playback starts a new tick chain; old ones end
};

}  // namespace ocv::devsim
