#include "tools/devsim/rtsp_session.h"

#include <cstdio>
#include <cstring>
#include <random>

#include "sdk/stream_url.h"
#include "tools/devsim/rtp_h264.h"
#include "tools/devsim/rtsp_server.h"
#include "tools/devsim/sim_device.h"

namespace ocv::devsim {

namespace {

constexpr size_t kMaxBuffered = kMaxRtspHeadBytes + 65536;
constexpr size_t kMaxQueuedBytes = 4 << 20;  // beyond this the client loses frames to the next key frame
constexpr size_t kMaxBuffersPerWrite = 512;
constexpr uint8_t kPayloadH264 = 96;
constexpr uint8_t kPayloadPcma = 8;

const char* Reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 454: return "Session Not Found";
    case 455: return "Method Not Valid in This State";
    case 459: return "Aggregate Operation Not Allowed";
    case 461: return "Unsupported Transport";
    case 501: return "Not Implemented";
    default: return "Internal Server Error";
    }
}

uint32_t Random32() {
    static thread_local std::mt19937 engine{std::random_device{}()};
    return engine();
}

std::string Hex32(uint32_t v) {
    char text[12];
    std::snprintf(text, sizeof text, "%08X", v);
    return text;
}

}  // namespace

RtspSession::RtspSession(std::shared_ptr<RtspServer> server, asio::ip::tcp::socket socket)
    : server_(std::move(server)), socket_(std::move(socket)), timer_(socket_.get_executor()) {}

void RtspSession::Start() { Read(); }

void RtspSession::Cut() {
    asio::post(socket_.get_executor(), [self = shared_from_this()] { self->Close(); });
}

void RtspSession::Close() {
    if (closed_) return;
    closed_ = true;
    playing_ = false;
    asio::error_code ignored;
    timer_.cancel();
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    queue_.clear();
    queuedBytes_ = 0;
    server_->Forget(this);
}

void RtspSession::Read() {
    socket_.async_read_some(asio::buffer(chunk_), [self = shared_from_this()](const asio::error_code& ec, size_t n) {
        if (self->closed_) return;
        if (ec) return self->Close();
        self->in_.append(self->chunk_.data(), n);
        if (!self->Consume()) return self->Close();
        self->Read();
    });
}

bool RtspSession::Consume() {
    while (!in_.empty() && !closeWhenDrained_) {
        if (in_[0] == '$') {  // interleaved data from the client (its RTCP reports): dropped
            if (in_.size() < 4) return true;
            size_t length = (size_t(uint8_t(in_[2])) << 8) | uint8_t(in_[3]);
            if (in_.size() < 4 + length) return true;
            in_.erase(0, 4 + length);
            continue;
        }
        size_t end = in_.find("\r\n\r\n");
        if (end == std::string::npos) return in_.size() <= kMaxBuffered;
        RtspRequest r;
        if (end + 2 > kMaxRtspHeadBytes || !ParseRtspRequest(in_.substr(0, end + 2), &r)) {
            server_->device().Log("rtsp: malformed request, closing");
            return false;
        }
        if (in_.size() < end + 4 + r.contentLength) return in_.size() <= kMaxBuffered;
        in_.erase(0, end + 4 + r.contentLength);  // bodies (SET_PARAMETER) are not used
        Handle(r);
    }
    return true;
}

void RtspSession::Respond(const RtspRequest& r, int status, const std::string& headers, const std::string& body) {
    std::string text = "RTSP/1.0 " + std::to_string(status) + " " + Reason(status) + "\r\nCSeq: " +
                       std::to_string(r.cseq) + "\r\nServer: ocuvant-devsim\r\n" + headers;
    if (!sessionId_.empty() && headers.find("Session:") == std::string::npos && status == 200)
        text += "Session: " + sessionId_ + "\r\n";
    if (!body.empty()) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "\r\n" + body;
    Packet p;
    p.owned.assign(text.begin(), text.end());
    Queue(std::move(p));
}

void RtspSession::Handle(const RtspRequest& r) {
    SimDevice& device = server_->device();
    if (r.method == "OPTIONS") {
        return Respond(r, 200, "Public: OPTIONS, DESCRIBE, SETUP, PLAY, PAUSE, TEARDOWN, GET_PARAMETER, SET_PARAMETER\r\n");
    }
    auto verdict = server_->digest().Check(server_->Policy(), r.authorization, r.method, r.url);
    if (verdict != DigestServer::Verdict::kGood) {
        if (!r.authorization.empty()) {
            // A URL may carry a user name and password: the log names the place only.
            sdk::Url url;
            std::string place = sdk::ParseUrl(r.url, &url) ? sdk::UrlWithoutCredentials(url) : "(malformed URL)";
            device.Log("rtsp %s %s: credentials refused", r.method.c_str(), place.c_str());
        }
        std::string challenges;
        for (const std::string& c : server_->digest().Challenges(server_->Policy(), verdict == DigestServer::Verdict::kStale))
            challenges += "WWW-Authenticate: " + c + "\r\n";
        return Respond(r, 401, challenges);
    }
    if (r.method == "DESCRIBE") {
        RtspTarget t;
        if (!ParseRtspTarget(r.url, &t) || t.track >= 0 || !device.Loop(t.streamType, t.channel)) return Respond(r, 404, "");
        std::string sdp = Describe(t);
        if (sdp.empty()) return Respond(r, 404, "");
        std::string base = r.url.back() == '/' ? r.url : r.url + "/";
        return Respond(r, 200, "Content-Base: " + base + "\r\nContent-Type: application/sdp\r\n", sdp);
    }
    if (r.method == "SETUP") {
        std::string headers;
        int status = 200;
        SetUp(r, &headers, &status);
        return Respond(r, status, headers);
    }
    if (r.method == "TEARDOWN" || r.method == "PLAY" || r.method == "PAUSE") {
        if (sessionId_.empty() || r.session != sessionId_) return Respond(r, 454, "");
    }
    if (r.method == "PLAY") {
        if (videoInterleave_ < 0) return Respond(r, 455, "");
        std::string base = r.url;
        if (base.back() != '/') base += "/";
        uint32_t videoTs = videoBase_ + uint32_t(ticks_ * 90000 / uint64_t(loop_->fps > 0 ? loop_->fps : 25));
        std::string info = "RTP-Info: url=" + base + "trackID=0;seq=" + std::to_string(videoSequence_) +
                           ";rtptime=" + std::to_string(videoTs);
        if (audioInterleave_ >= 0)
            info += ",url=" + base + "trackID=1;seq=" + std::to_string(audioSequence_) + ";rtptime=" +
                    std::to_string(audioBase_ + uint32_t(ticks_ * 8000 / uint64_t(loop_->fps > 0 ? loop_->fps : 25)));
        Respond(r, 200, "Range: npt=0.000-\r\n" + info + "\r\n");
        return Play();
    }
    if (r.method == "PAUSE") {
        playing_ = false;
        timer_.cancel();
        return Respond(r, 200, "");
    }
    if (r.method == "TEARDOWN") {
        playing_ = false;
        timer_.cancel();
        Respond(r, 200, "");
        closeWhenDrained_ = true;  // the connection ends once the answer is out
        return;
    }
    if (r.method == "GET_PARAMETER" || r.method == "SET_PARAMETER") return Respond(r, 200, "");
    Respond(r, 501, "");
}

std::string RtspSession::Describe(const RtspTarget& t) const {
    SimDevice& device = server_->device();
    std::shared_ptr<const VideoLoop> loop = device.Loop(t.streamType, t.channel);
    std::string fmtp;
    for (const EncodedFrame& f : loop->frames) {
        if (!f.key) continue;
        fmtp = rtp::H264FormatParameters(f.data.data(), f.data.size());
        break;
    }
    if (fmtp.empty()) return {};
    const std::string address = device.Network().address;
    return "v=0\r\no=- " + std::to_string(Random32()) + " 1 IN IP4 " + address + "\r\ns=" + device.config().name +
           " CH" + std::to_string(t.channel) + (t.streamType == 0 ? " main" : " sub") +
           "\r\nc=IN IP4 0.0.0.0\r\nt=0 0\r\na=control:*\r\na=range:npt=0-\r\n"
           "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=fmtp:96 " + fmtp +
           "\r\na=framerate:" + std::to_string(loop->fps) + "\r\na=control:trackID=0\r\n"
           "m=audio 0 RTP/AVP 8\r\na=rtpmap:8 PCMA/8000\r\na=control:trackID=1\r\n";
}

bool RtspSession::SetUp(const RtspRequest& r, std::string* headers, int* status) {
    RtspTarget t;
    std::shared_ptr<const VideoLoop> loop;
    if (!ParseRtspTarget(r.url, &t) || !(loop = server_->device().Loop(t.streamType, t.channel))) {
        *status = 404;
        return false;
    }
    if (!sessionId_.empty() && r.session != sessionId_) {
        *status = 454;
        return false;
    }
    // One stream per session; both of its tracks may be set up.
    if (channel_ >= 0 && (channel_ != t.channel || streamType_ != t.streamType)) {
        *status = 459;
        return false;
    }
    RtspTransport transport;
    if (!ParseRtspTransport(r.transport, &transport)) {
        *status = 461;
        return false;
    }
    if (sessionId_.empty()) {
        sessionId_ = Hex32(Random32()) + Hex32(Random32());
        videoSsrc_ = Random32();
        audioSsrc_ = Random32();
        videoBase_ = Random32();
        audioBase_ = Random32();
        videoSequence_ = uint16_t(Random32());
        audioSequence_ = uint16_t(Random32());
    }
    channel_ = t.channel;
    streamType_ = t.streamType;
    loop_ = loop;
    bool audio = t.track == 1;
    (audio ? audioInterleave_ : videoInterleave_) = transport.interleaved[0];
    *headers = "Transport: RTP/AVP/TCP;unicast;interleaved=" + std::to_string(transport.interleaved[0]) + "-" +
               std::to_string(transport.interleaved[1]) + ";ssrc=" + Hex32(audio ? audioSsrc_ : videoSsrc_) +
               "\r\nSession: " + sessionId_ + ";timeout=60\r\n";
    return true;
}

void RtspSession::Play() {
    if (playing_) return;
    playing_ = true;
    int fps = loop_->fps > 0 ? loop_->fps : 25;
    period_ = std::chrono::microseconds(1000000 / fps);
    nextTick_ = std::chrono::steady_clock::now();
    frameIndex_ = 0;  // loops begin with a key frame
    waitKey_ = true;
    server_->device().Log("rtsp: playing channel %d %s", channel_.load(), streamType_ == 0 ? "main" : "sub");
    Tick();
}

void RtspSession::Tick() {
    if (closed_ || !playing_) return;
    auto now = std::chrono::steady_clock::now();
    int fps = loop_->fps > 0 ? loop_->fps : 25;
    uint64_t tick = ticks_++;
    if (!server_->device().frozen()) {
        const EncodedFrame& f = loop_->frames[frameIndex_];
        if (queuedBytes_ > kMaxQueuedBytes) waitKey_ = true;
        if (waitKey_ && f.key && queuedBytes_ <= kMaxQueuedBytes) waitKey_ = false;
        if (!waitKey_) QueueVideo(f, videoBase_ + uint32_t(tick * 90000 / uint64_t(fps)));
        if (audioInterleave_ >= 0) QueueAudio(audioBase_ + uint32_t(tick * 8000 / uint64_t(fps)));
        frameIndex_ = (frameIndex_ + 1) % loop_->frames.size();
    }
    nextTick_ += period_;
    if (now - nextTick_ > std::chrono::seconds(1)) nextTick_ = now + period_;  // fell far behind: resync
    timer_.expires_at(nextTick_);
    timer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
        if (!ec) self->Tick();
    });
}

void RtspSession::QueueRtp(uint8_t channel, uint8_t payloadType, bool marker, uint16_t* sequence, uint32_t timestamp,
                           uint32_t ssrc, const uint8_t* prefix, size_t prefixBytes, const uint8_t* body,
                           size_t bodyBytes, std::vector<uint8_t> owned) {
    Packet p;
    size_t rtpBytes = rtp::kRtpHeaderBytes + prefixBytes + bodyBytes + owned.size();
    p.head[0] = '$';
    p.head[1] = channel;
    p.head[2] = uint8_t(rtpBytes >> 8);
    p.head[3] = uint8_t(rtpBytes);
    rtp::WriteRtpHeader(p.head + 4, payloadType, marker, (*sequence)++, timestamp, ssrc);
    if (prefixBytes) std::memcpy(p.head + 4 + rtp::kRtpHeaderBytes, prefix, prefixBytes);
    p.headBytes = 4 + rtp::kRtpHeaderBytes + prefixBytes;
    p.body = body;
    p.bodyBytes = bodyBytes;
    p.owned = std::move(owned);
    if (body) p.keep = loop_;
    Queue(std::move(p));
}

void RtspSession::QueueVideo(const EncodedFrame& frame, uint32_t timestamp) {
    std::vector<rtp::NalUnit> nals = rtp::SplitAnnexB(frame.data.data(), frame.data.size());
    std::vector<rtp::Piece> pieces;
    std::vector<uint8_t> stamp;
    if (ClockTimestamps()) {
        auto us = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        stamp = rtp::ClockStampSei(uint64_t(us.count()));
    }
    for (const rtp::NalUnit& n : nals) rtp::Packetize(n, rtp::kMaxPayloadBytes, &pieces);
    if (pieces.empty()) return;
    if (!stamp.empty())
        QueueRtp(uint8_t(videoInterleave_), kPayloadH264, false, &videoSequence_, timestamp, videoSsrc_, nullptr, 0,
                 nullptr, 0, std::move(stamp));
    for (size_t i = 0; i < pieces.size(); ++i) {
        const rtp::Piece& p = pieces[i];
        QueueRtp(uint8_t(videoInterleave_), kPayloadH264, i + 1 == pieces.size(), &videoSequence_, timestamp,
                 videoSsrc_, p.prefix, p.prefixBytes, p.body, p.bodyBytes, {});
    }
}

void RtspSession::QueueAudio(uint32_t timestamp) {
    int fps = loop_->fps > 0 ? loop_->fps : 25;
    const std::vector<uint8_t>& tone = server_->device().ToneAlaw();
    std::vector<uint8_t> samples(size_t(8000 / fps));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = tone[(toneOffset_ + i) % tone.size()];
    toneOffset_ = (toneOffset_ + samples.size()) % tone.size();
    QueueRtp(uint8_t(audioInterleave_), kPayloadPcma, false, &audioSequence_, timestamp, audioSsrc_, nullptr, 0,
             nullptr, 0, std::move(samples));
}

void RtspSession::Queue(Packet p) {
    if (closed_) return;
    queuedBytes_ += p.Bytes();
    queue_.push_back(std::move(p));
    if (!writing_) WriteNext();
}

void RtspSession::WriteNext() {
    if (closed_) return;
    if (queue_.empty()) {
        writing_ = false;
        if (closeWhenDrained_) Close();
        return;
    }
    writing_ = true;
    std::vector<asio::const_buffer> buffers;
    inFlight_ = 0;
    for (const Packet& p : queue_) {
        if (buffers.size() + 3 > kMaxBuffersPerWrite) break;
        if (p.headBytes) buffers.emplace_back(p.head, p.headBytes);
        if (p.bodyBytes) buffers.emplace_back(p.body, p.bodyBytes);
        if (!p.owned.empty()) buffers.emplace_back(p.owned.data(), p.owned.size());
        ++inFlight_;
    }
    asio::async_write(socket_, buffers, [self = shared_from_this()](const asio::error_code& ec, size_t) {
        if (self->closed_) return;
        if (ec) return self->Close();
        for (size_t i = 0; i < self->inFlight_; ++i) {
            self->queuedBytes_ -= self->queue_.front().Bytes();
            self->queue_.pop_front();
        }
        self->inFlight_ = 0;
        self->WriteNext();
    });
}

}  // namespace ocv::devsim
