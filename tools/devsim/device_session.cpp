#include "tools/devsim/device_session.h"

#include <cstring>

#include "sdk/wire_auth.h"
#include "base/media_types.h"
#include "tools/devsim/sim_device.h"

namespace ocv::devsim {

using namespace ocv::wire;

namespace {
// A client that does not read is a slow network: past this much queued, video waits for the
// next key frame instead of growing the queue without end.
constexpr size_t kMaxQueuedBytes = 4 * 1024 * 1024;
constexpr int kDrainChecks = 200;  // 50 ms apart
constexpr size_t kToneFrameBytesPer25Fps = 320;
}  // namespace

DeviceSession::DeviceSession(std::shared_ptr<SimDevice> device, asio::ip::tcp::socket socket)
    : device_(std::move(device)),
      strand_(asio::make_strand(device_->io())),
      socket_(std::move(socket)),
      timer_(strand_) {}

void DeviceSession::Start() {
    asio::post(strand_, [self = shared_from_this()] {
        asio::error_code ignored;
        self->socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
        self->ReadMore();
    });
}

void DeviceSession::ReadMore() {
    auto space = assembler_.Space();
    // The accepted socket runs on the plain I/O context; its handlers join the strand here.
    socket_.async_read_some(asio::buffer(space.first, space.second),
                            asio::bind_executor(strand_, [self = shared_from_this()](const asio::error_code& ec, size_t n) {
                                self->OnRead(ec, n);
                            }));
}

void DeviceSession::OnRead(const asio::error_code& ec, size_t n) {
    if (phase_ == Phase::kClosed) return;
    if (ec) return Close();
    assembler_.Commit(n);
    if (ending_) {
        // Half-closed: what the peer still sends is read and dropped until it hangs up.
        MessageView ignored;
        ParseStatus status;
        while ((status = assembler_.Next(&ignored).status) == ParseStatus::kComplete) {
        }
        if (status == ParseStatus::kError) return Close();
        return ReadMore();
    }
    for (;;) {
        MessageView m;
        ParseResult r = assembler_.Next(&m);
        if (r.status == ParseStatus::kNeedMore) break;
        if (r.status == ParseStatus::kError) {
            device_->Log("closing a connection: %s", r.error);
            return Close();
        }
        // A frozen device reads and ignores: the peer sees silence, not a closed socket.
        if (device_->frozen()) continue;
        if (!Handle(m)) return Close();
    }
    ReadMore();
}

bool DeviceSession::Handle(const MessageView& m) {
    switch (phase_) {
    case Phase::kHello: {
        if (m.header.kind != kHello) return false;
        purpose_ = GetU32(m.payload);
        if (RandomNonce(nonce_) != 0) return false;
        Send(kChallenge, 0, std::vector<uint8_t>(nonce_, nonce_ + kNonceBytes));
        phase_ = Phase::kAuth;
        return true;
    }
    case Phase::kAuth: {
        if (m.header.kind != kAuth) return false;
        std::string user = ReadFixedText(m.payload, kUserBytes);
        uint8_t expected[kMacBytes];
        ComputeAuthMac(device_->config().password, nonce_, expected);
        bool good = user == device_->config().user && MacEqual(expected, m.payload + kUserBytes);
        uint32_t purpose = purpose_;
        if (!good) {
            device_->Log("login refused for user '%s'", user.c_str());
            SendResult(kAuthReply, 0, kDeviceBadCredentials);
            phase_ = Phase::kRefused;  // a second try needs a new connection and a new nonce
            return true;
        }
        if (purpose < kPurposeControl || purpose > kPurposeDownload) {
            SendResult(kAuthReply, 0, kDeviceUnsupported);
            phase_ = Phase::kRefused;
            return true;
        }
        static const char* kPurposeNames[] = {"", "control", "stream", "talk", "playback", "download"};
        device_->Log("login of '%s' (%s connection)", user.c_str(), kPurposeNames[purpose]);
        PayloadWriter w;
        w.I32(kDeviceOk);
        if (purpose == kPurposeControl) {
            auto info = device_->InfoBlock();
            w.Bytes(info.data(), info.size());
        }
        Send(kAuthReply, 0, w.bytes());
        phase_ = Phase::kReady;
        return true;
    }
    case Phase::kReady:
        switch (purpose_.load()) {
        case kPurposeControl: return HandleControl(m);
        case kPurposeLiveStream: return HandleStream(m);
        case kPurposeTalk: return HandleTalk(m);
        case kPurposePlayback:
        case kPurposeDownload: return HandleRecorded(m);
        default: return false;
        }
    default: return false;
    }
}

bool DeviceSession::HandleControl(const MessageView& m) {
    const uint8_t* p = m.payload;
    uint32_t seq = m.header.sequence;
    switch (m.header.kind) {
    case kHeartbeat: Send(kHeartbeatAck, seq, {}); return true;
    case kGetConfig: {
        int channel = int(GetU32(p));
        uint32_t command = GetU32(p + 4), length = GetU32(p + 8), selectorBytes = GetU32(p + 12);
        std::vector<uint8_t> selector(p + 16, p + 16 + selectorBytes);
        std::vector<uint8_t> data;
        int32_t r = device_->ReadConfig(channel, command, selector, length, &data);
        PayloadWriter w;
        w.I32(r).U32(uint32_t(data.size())).Bytes(data.data(), data.size());
        Send(kConfigReply, seq, w.bytes());
        return true;
    }
    case kSetConfig: {
        int channel = int(GetU32(p));
        uint32_t command = GetU32(p + 4), length = GetU32(p + 8);
        SendResult(kResult, seq, device_->WriteConfig(channel, command, p + 12, length));
        return true;
    }
    case kPtzControl: {
        char line[96];
        std::snprintf(line, sizeof line, "ptz %u %u %u %u", GetU32(p), GetU32(p + 4), GetU32(p + 8), GetU32(p + 12));
        device_->Record(line);
        SendResult(kResult, seq, int(GetU32(p)) < device_->config().channels ? kDeviceOk : kDeviceRefused);
        return true;
    }
    case kPtzPreset: {
        char line[96];
        std::snprintf(line, sizeof line, "preset %u %u %u", GetU32(p), GetU32(p + 4), GetU32(p + 8));
        device_->Record(line);
        SendResult(kResult, seq, int(GetU32(p)) < device_->config().channels ? kDeviceOk : kDeviceRefused);
        return true;
    }
    case kReboot:
        device_->Record("reboot");
        SendResult(kResult, seq, kDeviceOk);
        device_->ScheduleReboot();
        return true;
    case kCapture: {
        // Word 0 is the capture kind (1 = JPEG snapshot), word 1 the channel, word 9 a number.
        uint32_t captureKind = GetU32(p);
        int channel = int(GetU32(p + 4));
        if (captureKind != 1 || channel < 0 || channel >= device_->config().channels) {
            Send(kCaptureReply, seq, PayloadWriter().I32(kDeviceRefused).U32(0).bytes());
            return true;
        }
        auto jpeg = device_->SnapshotJpeg(channel, int(GetU32(p + 36)));
        int32_t r = jpeg.empty() ? kDeviceRefused : kDeviceOk;
        Send(kCaptureReply, seq, PayloadWriter().I32(r).U32(uint32_t(jpeg.size())).Bytes(jpeg.data(), jpeg.size()).bytes());
        return true;
    }
    case kFindFile: return HandleFind(m);
    case kEventSubscribe:
        eventsOn_ = GetU32(p) != 0;
        SendResult(kResult, seq, kDeviceOk);
        return true;
    case kAlarmChanOpen:
    case kAlarmChanClose: {
        int channel = int(GetU32(p));
        bool ok = channel >= 0 && channel < device_->config().channels;
        if (ok) device_->Record(std::string(m.header.kind == kAlarmChanOpen ? "alarmchan open " : "alarmchan close ") +
                                std::to_string(channel));
        SendResult(kResult, seq, ok ? kDeviceOk : kDeviceRefused);
        return true;
    }
    default:
        SendResult(kResult, seq, kDeviceUnsupported);
        return true;
    }
}

bool DeviceSession::HandleStream(const MessageView& m) {
    if (m.header.kind != kStreamOpen || streaming_) return false;
    int channel = int(GetU32(m.payload));
    int type = int(GetU32(m.payload + 4));
    if (GetU32(m.payload + 8) == kThermalMode) type = kThermalStream;
    // Known before the channel is checked and long before the reply can reach the client, so a
    // switch-off that comes at any moment from now on finds this session and ends its stream.
    channel_ = channel;
    auto loop = device_->Loop(type, channel);
    bool ok = loop && device_->ChannelOn(channel) && !device_->StreamRefused(type);
    if (!ok) channel_ = -1;
    SendResult(kStreamOpenReply, m.header.sequence, ok ? kDeviceOk : kDeviceRefused);
    if (!ok) return true;
    streamType_ = type;
    loop_ = std::move(loop);
    device_->Log("stream open: channel %d type %d", channel, type);
    StartStream();
    return true;
}

bool DeviceSession::HandleTalk(const MessageView& m) {
    if (m.header.kind == kHeartbeat) {
        Send(kHeartbeatAck, m.header.sequence, {});
        return true;
    }
    if (m.header.kind == kTalkOpen) {
        talkMode_ = GetU32(m.payload);
        device_->Record("talk open mode " + std::to_string(talkMode_));
        SendResult(kResult, m.header.sequence, talkMode_ <= 1 ? kDeviceOk : kDeviceRefused);
        if (talkMode_ == 1) {
            nextTick_ = std::chrono::steady_clock::now();
            TalkTick();
        }
        return true;
    }
    if (m.header.kind == kTalkAudio) {
        device_->AddTalkBytes(GetU32(m.payload + 4), talkMode_);
        return true;
    }
    return true;
}

void DeviceSession::SendStreamHeader(const VideoLoop& loop) {
    StreamInfo info{};
    info.videoCodec = kVideoCodecH264;
    info.width = uint32_t(loop.width);
    info.height = uint32_t(loop.height);
    info.audioEncoding = kAudioG711ALaw;
    info.audioSampleRate = 8000;
    info.audioChannels = 1;
    info.frameRate = uint32_t(loop.fps);
    Send(kStreamHeader, 0, std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&info), reinterpret_cast<uint8_t*>(&info) + sizeof info));
}

void DeviceSession::StartStream() {
    streaming_ = true;
    SendStreamHeader(*loop_);
    period_ = std::chrono::microseconds(1000000 / (loop_->fps > 0 ? loop_->fps : 25));
    streamStart_ = std::chrono::steady_clock::now();
    nextTick_ = streamStart_;
    frameIndex_ = 0;
    waitKey_ = true;
    StreamTick();
}

void DeviceSession::StreamTick() {
    if (phase_ == Phase::kClosed) return;
    auto now = std::chrono::steady_clock::now();
    if (!device_->frozen()) {
        auto origin = ClockTimestamps() ? std::chrono::steady_clock::time_point{} : streamStart_;
        uint32_t ts = uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(now - origin).count());
        const EncodedFrame& f = loop_->frames[frameIndex_];
        if (queuedBytes_ > kMaxQueuedBytes) waitKey_ = true;
        if (waitKey_ && f.key && queuedBytes_ <= kMaxQueuedBytes) waitKey_ = false;
        if (!waitKey_) QueueVideo(loop_, f, ts);
        QueueAudio(ts);
        frameIndex_ = (frameIndex_ + 1) % loop_->frames.size();
    }
    nextTick_ += period_;
    if (now - nextTick_ > std::chrono::seconds(1)) nextTick_ = now + period_;  // fell far behind: resync
    timer_.expires_at(nextTick_);
    timer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
        if (!ec) self->StreamTick();
    });
}

void DeviceSession::QueueVideo(const std::shared_ptr<const VideoLoop>& loop, const EncodedFrame& f, uint32_t ts) {
    Out o;
    // Key frames are IDR pictures (kind 1), as cameras mark them; recordings index each.
    FrameHeader fh{kFrameKindVideo, uint32_t(f.data.size()), ts, f.key ? kFrameTypeKeyFrame : kFrameTypePredicted};
    Header h;
    h.kind = kFrame;
    h.payloadBytes = uint32_t(sizeof fh + f.data.size());
    EncodeHeader(h, o.head);
    std::memcpy(o.head + kHeaderBytes, &fh, sizeof fh);
    o.headBytes = kHeaderBytes + sizeof fh;
    o.keep = loop;
    o.body = f.data.data();
    o.bodyBytes = f.data.size();
    Queue(std::move(o));
}

// G.711 tone: as many bytes as one frame period holds at 8000 bytes/s.
void DeviceSession::QueueAudio(uint32_t ts) {
    int fps = period_.count() > 0 ? int(1000000 / period_.count()) : 25;
    size_t audioBytes = size_t(8000 / (fps > 0 ? fps : 25));
    if (audioBytes == 0) audioBytes = kToneFrameBytesPer25Fps;
    const auto& tone = device_->ToneAlaw();
    Out a;
    FrameHeader ah{kFrameKindAudio, uint32_t(kAudioHeaderBytes + audioBytes), ts, 0};
    Header h;
    h.kind = kFrame;
    h.payloadBytes = uint32_t(sizeof ah + ah.dataLength);
    EncodeHeader(h, a.head);
    std::memcpy(a.head + kHeaderBytes, &ah, sizeof ah);
    // Audio header: encoding (1 = A-law) and sample byte count, 16 bits each.
    uint8_t* aud = a.head + kHeaderBytes + sizeof ah;
    PutU16(aud, uint16_t(kAudioG711ALaw));
    PutU16(aud + 2, uint16_t(audioBytes));
    a.headBytes = kHeaderBytes + sizeof ah + kAudioHeaderBytes;
    a.owned.resize(audioBytes);
    for (size_t i = 0; i < audioBytes; ++i) a.owned[i] = tone[(toneOffset_ + i) % tone.size()];
    toneOffset_ = (toneOffset_ + audioBytes) % tone.size();
    Queue(std::move(a));
}

void DeviceSession::TalkTick() {
    if (phase_ == Phase::kClosed) return;
    if (!device_->frozen()) {
        const auto& tone = device_->ToneAlaw();
        PayloadWriter w;
        w.U32(kAudioG711ALaw).U32(kToneFrameBytesPer25Fps);
        std::vector<uint8_t> samples(kToneFrameBytesPer25Fps);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = tone[(toneOffset_ + i) % tone.size()];
        toneOffset_ = (toneOffset_ + samples.size()) % tone.size();
        w.Bytes(samples.data(), samples.size());
        Send(kTalkAudio, 0, w.bytes());
    }
    nextTick_ += std::chrono::milliseconds(40);
    timer_.expires_at(nextTick_);
    timer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
        if (!ec) self->TalkTick();
    });
}

void DeviceSession::Send(uint16_t kind, uint32_t sequence, const std::vector<uint8_t>& payload) {
    Out o;
    o.owned = BuildMessage(kind, sequence, payload.data(), payload.size());
    Queue(std::move(o));
}

void DeviceSession::SendResult(uint16_t kind, uint32_t sequence, int32_t result) {
    Send(kind, sequence, PayloadWriter().I32(result).bytes());
}

void DeviceSession::Queue(Out out) {
    if (phase_ == Phase::kClosed || ending_) return;
    queuedBytes_ += out.headBytes + out.bodyBytes + out.owned.size();
    queue_.push_back(std::move(out));
    if (!writing_) WriteNext();
}

void DeviceSession::WriteNext() {
    if (queue_.empty() || phase_ == Phase::kClosed) {
        writing_ = false;
        return;
    }
    writing_ = true;
    // Everything queued goes out in one gathered write.
    std::vector<asio::const_buffer> buffers;
    inFlight_ = queue_.size() < 64 ? queue_.size() : 64;
    for (size_t i = 0; i < inFlight_; ++i) {
        const Out& o = queue_[i];
        if (o.headBytes) buffers.emplace_back(o.head, o.headBytes);
        if (o.bodyBytes) buffers.emplace_back(o.body, o.bodyBytes);
        if (!o.owned.empty()) buffers.emplace_back(o.owned.data(), o.owned.size());
    }
    asio::async_write(socket_, buffers, asio::bind_executor(strand_, [self = shared_from_this()](const asio::error_code& ec, size_t) {
        if (self->phase_ == Phase::kClosed) return;
        if (ec) return self->Close();
        for (size_t i = 0; i < self->inFlight_; ++i) {
            const Out& o = self->queue_.front();
            self->queuedBytes_ -= o.headBytes + o.bodyBytes + o.owned.size();
            self->queue_.pop_front();
        }
        self->inFlight_ = 0;
        self->OnDrained();
        self->WriteNext();
    }));
}

void DeviceSession::Close() {
    if (phase_ == Phase::kClosed) return;
    phase_ = Phase::kClosed;
    streaming_ = false;
    asio::error_code ignored;
    timer_.cancel();
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    queue_.clear();
    queuedBytes_ = 0;
    device_->Forget(this);
}

void DeviceSession::Cut() {
    asio::post(strand_, [self = shared_from_this()] { self->Close(); });
}

void DeviceSession::EndStream(uint32_t reason) {
    asio::post(strand_, [self = shared_from_this(), reason] {
        if (self->phase_ == Phase::kClosed || self->ending_) return;
        self->timer_.cancel();
        self->streaming_ = false;
        // Frames still waiting behind a busy socket are stale: the close message goes next.
        size_t keep = self->writing_ ? self->inFlight_ : 0;
        while (self->queue_.size() > keep) {
            const Out& o = self->queue_.back();
            self->queuedBytes_ -= o.headBytes + o.bodyBytes + o.owned.size();
            self->queue_.pop_back();
        }
        self->Send(kStreamEnd, 0, PayloadWriter().U32(reason).bytes());
        self->CloseWhenDrained(kDrainChecks);
    });
}

// The socket goes only once the close message has left (or after ten seconds: a peer that slow
// is as good as gone), so a loaded link never turns a close on purpose into a lost connection. Even then it is only half-closed
// until the peer hangs up (or two more seconds pass): closing outright while the peer still
// sends heartbeats makes the kernel answer with a reset, which can throw away the close message
// still waiting in the peer's receive buffer.
void DeviceSession::CloseWhenDrained(int checksLeft) {
    if (queue_.empty() || checksLeft <= 0) {
        if (ending_) return;
        ending_ = true;
        asio::error_code ignored;
        socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
        timer_.expires_after(std::chrono::seconds(2));
        timer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
            if (!ec) self->Close();
        });
        return;
    }
    timer_.expires_after(std::chrono::milliseconds(50));
    timer_.async_wait([self = shared_from_this(), checksLeft](const asio::error_code&) {
        self->CloseWhenDrained(checksLeft - 1);
    });
}

void DeviceSession::OfferEvent(std::vector<uint8_t> payload) {
    if (!eventsOn_ || purpose_ != kPurposeControl) return;
    asio::post(strand_, [self = shared_from_this(), payload = std::move(payload)] {
        if (self->phase_ == Phase::kReady) self->Send(kEvent, 0, payload);
    });
}

}  // namespace ocv::devsim
