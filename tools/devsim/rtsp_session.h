#pragma once
// One RTSP connection of a simulated device: requests (OPTIONS, DESCRIBE, SETUP, PLAY, PAUSE,
// TEARDOWN, GET_PARAMETER, SET_PARAMETER) answered in order, RTCP the client interleaves read
// and dropped, and once playing the loop's access units as RTP packets at the loop's frame rate
// with the device's tone beside them. A client that does not keep up loses frames up to the
// next key frame, as from the device protocol. Everything runs on the connection's strand.
#include <asio.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "tools/devsim/rtsp_request.h"
#include "tools/devsim/video_loop.h"

namespace ocv::devsim {

class RtspServer;

class RtspSession : public std::enable_shared_from_this<RtspSession> {
public:
    RtspSession(std::shared_ptr<RtspServer> server, asio::ip::tcp::socket socket);
    void Start();
    // From any thread: closes at once, without a word.
    void Cut();
    bool Plays(int channel, int streamType) const {
        return playing_ && channel_ == channel && (streamType < 0 || streamType_ == streamType);
    }
    bool playing() const { return playing_; }

private:
    struct Packet {
        uint8_t head[20] = {};  // interleave prefix, RTP header, FU-A prefix
        size_t headBytes = 0;
        std::shared_ptr<const VideoLoop> keep;  // keeps body alive
        const uint8_t* body = nullptr;
        size_t bodyBytes = 0;
        std::vector<uint8_t> owned;
        size_t Bytes() const { return headBytes + bodyBytes + owned.size(); }
    };

    void Read();
    // Handles what is buffered; false when the connection has to close.
    bool Consume();
    void Handle(const RtspRequest& r);
    void Respond(const RtspRequest& r, int status, const std::string& headers, const std::string& body = "");
    bool SetUp(const RtspRequest& r, std::string* headers, int* status);
    std::string Describe(const RtspTarget& t) const;
    void Play();
    void Tick();
    void QueueVideo(const EncodedFrame& frame, uint32_t timestamp);
    void QueueAudio(uint32_t timestamp);
    void QueueRtp(uint8_t channel, uint8_t payloadType, bool marker, uint16_t* sequence, uint32_t timestamp,
                  uint32_t ssrc, const uint8_t* prefix, size_t prefixBytes, const uint8_t* body, size_t bodyBytes,
                  std::vector<uint8_t> owned);
    void Queue(Packet p);
    void WriteNext();
    void Close();

    std::shared_ptr<RtspServer> server_;
    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_;
    std::array<char, 16384> chunk_{};
    std::string in_;

    std::string sessionId_;
    std::atomic<int> channel_{-1};
    std::atomic<int> streamType_{-1};
    std::atomic<bool> playing_{false};
    std::shared_ptr<const VideoLoop> loop_;
    int videoInterleave_ = -1;  // RTP channel; RTCP is the next one
    int audioInterleave_ = -1;
    uint16_t videoSequence_ = 0, audioSequence_ = 0;
    uint32_t videoSsrc_ = 0, audioSsrc_ = 0;
    uint32_t videoBase_ = 0, audioBase_ = 0;
    uint64_t ticks_ = 0;
    size_t frameIndex_ = 0;
    size_t toneOffset_ = 0;
    bool waitKey_ = true;
    std::chrono::microseconds period_{40000};
    std::chrono::steady_clock::time_point nextTick_;

    std::deque<Packet> queue_;
    size_t queuedBytes_ = 0;
    size_t inFlight_ = 0;
    bool writing_ = false;
    bool closeWhenDrained_ = false;
    bool closed_ = false;
};

}  // namespace ocv::devsim
