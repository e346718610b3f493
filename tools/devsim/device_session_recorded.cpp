// The recordings a simulated device keeps: searches on the control connection, playback of one
// file at its frame rate (or 2^level times it), and downloads of a span as fast as the client
// reads them.
#include <cstring>

#include "sdk/wire_recorded.h"
#include "tools/devsim/device_session.h"
#include "tools/devsim/sim_device.h"

namespace ocv::devsim {

using namespace ocv::wire;

namespace {
// A download keeps this much queued for the socket; more is made as writes complete.
constexpr size_t kDownloadWindowBytes = 256 * 1024;
// A playback waits (rather than drops frames) while more than this is queued.
constexpr size_t kPlaybackQueueBytes = 2 * 1024 * 1024;
}  // namespace

bool DeviceSession::HandleFind(const MessageView& m) {
    SearchCondition c = DecodeCondition(m.payload);
    int32_t result = kDeviceOk;
    if (CheckCondition(c) || c.channel >= device_->config().channels) result = kDeviceRefused;
    std::vector<StoredFile> files;
    std::string marks(kDayMarkBytes, '0');
    if (result == kDeviceOk) {
        files = device_->Store().Search(c, kMaxFindResults);
        marks = device_->Store().DayMarks(c.channel, c.start.year, c.start.month);
    }
    char line[96];
    std::snprintf(line, sizeof line, "find %d %04d-%02d-%02d type %d: %zu files", c.channel, c.start.year,
                  c.start.month, c.start.day, c.recordType, files.size());
    device_->Record(line);
    std::vector<uint8_t> payload = PayloadWriter().I32(result).U32(uint32_t(files.size())).Bytes(marks.data(), marks.size()).bytes();
    size_t at = payload.size();
    payload.resize(at + files.size() * kFileDescriptionBytes);
    for (const auto& f : files) {
        FileDescription d;
        d.channel = uint32_t(f.channel);
        d.fileNumber = f.number;
        d.recordType = uint32_t(f.recordType);
        d.durationSec = uint32_t(f.durationSec);
        d.sizeKiB = f.sizeKiB;
        d.start = f.start;
        d.name = f.name;
        EncodeFileDescription(d, payload.data() + at);
        at += kFileDescriptionBytes;
    }
    SimDevice::BadReply bad = device_->TakeBadFindReply();
    if (bad == SimDevice::BadReply::kCount && !files.empty()) {
        PutU32(payload.data() + 4, uint32_t(files.size() + 1));  // one more than it carries
    } else if (bad == SimDevice::BadReply::kName && !files.empty()) {
        std::memset(payload.data() + kFindReplyFixedBytes + kFileNameOffset, 'x', kFileNameBytes);  // unterminated
    } else if (bad == SimDevice::BadReply::kOversize) {
        // A header that announces more than any message may carry, then silence.
        Header h;
        h.kind = kFindFileReply;
        h.sequence = m.header.sequence;
        h.payloadBytes = kMaxPayloadBytes + 1;
        Out o;
        EncodeHeader(h, o.head);
        o.headBytes = kHeaderBytes;
        Queue(std::move(o));
        return true;
    }
    Send(kFindFileReply, m.header.sequence, payload);
    return true;
}

bool DeviceSession::HandleRecorded(const MessageView& m) {
    switch (m.header.kind) {
    case kHeartbeat: Send(kHeartbeatAck, m.header.sequence, {}); return true;
    case kPlaybackOpen: return purpose_ == kPurposePlayback && !feed_ && OpenPlayback(m);
    case kDownloadOpen: return purpose_ == kPurposeDownload && !feed_ && OpenDownload(m);
    case kPlaybackControl:
        if (purpose_ != kPurposePlayback || !feed_) return false;
        ControlPlayback(GetU32(m.payload), int32_t(GetU32(m.payload + 4)));
        return true;
    case kDownloadStart:
        if (purpose_ != kPurposeDownload || !feed_) return false;
        if (!feedRunning_ && !feedDone_) {
            feedRunning_ = true;
            streaming_ = true;
            device_->Record("download start");
            SendStreamHeader(*feed_->loop());
            PumpDownload();
        }
        return true;
    default: return true;  // kinds of later versions are skipped
    }
}

bool DeviceSession::OpenPlayback(const MessageView& m) {
    int channel = int(GetU32(m.payload));
    std::string name = ReadFixedText(m.payload + 8, kFileNameBytes);
    StoredFile file;
    auto loop = device_->Loop(0, channel);
    if (!loop || !device_->Store().FindByName(channel, name, &file)) {
        device_->Log("playback refused: channel %d '%s'", channel, name.c_str());
        Send(kPlaybackOpenReply, m.header.sequence, PayloadWriter().I32(kDeviceRefused).U32(0).U32(0).bytes());
        return true;
    }
    feed_ = RecordedFeed::ForFile(loop, file);
    channel_ = channel;
    period_ = std::chrono::microseconds(1000000 / (loop->fps > 0 ? loop->fps : 25));
    device_->Record("playback " + name);
    Send(kPlaybackOpenReply, m.header.sequence,
         PayloadWriter().I32(kDeviceOk).U32(uint32_t(file.start.SecondOfDay()) * 1000).U32(feed_->LengthMs()).bytes());
    SendStreamHeader(*loop);
    streaming_ = true;
    feedRunning_ = true;
    nextTick_ = std::chrono::steady_clock::now();
    PlaybackTick(++tickGeneration_);
    return true;
}

bool DeviceSession::OpenDownload(const MessageView& m) {
    SearchCondition c = DecodeCondition(m.payload);
    auto refuse = [&](const char* why) {
        device_->Log("download refused: %s", why);
        Send(kDownloadOpenReply, m.header.sequence, PayloadWriter().I32(kDeviceRefused).U32(0).U32(0).bytes());
        return true;
    };
    if (const char* e = CheckCondition(c)) return refuse(e);
    auto loop = device_->Loop(0, c.channel);
    if (!loop) return refuse("no such channel");
    auto files = device_->Store().Search(c, kMaxFindResults);
    int64_t spanStart = (DaysFromCivil(c.start.year, c.start.month, c.start.day) * 86400 + c.start.SecondOfDay()) * 1000;
    int64_t spanEnd = (DaysFromCivil(c.end.year, c.end.month, c.end.day) * 86400 + c.end.SecondOfDay() + 1) * 1000;
    feed_ = RecordedFeed::ForSpan(loop, files, spanStart, spanEnd);
    if (!feed_) return refuse("no recordings in the span");
    channel_ = c.channel;
    period_ = std::chrono::microseconds(1000000 / (loop->fps > 0 ? loop->fps : 25));
    char line[96];
    std::snprintf(line, sizeof line, "download %d %04d-%02d-%02d %02d:%02d:%02d-%02d:%02d:%02d", c.channel,
                  c.start.year, c.start.month, c.start.day, c.start.hour, c.start.minute, c.start.second, c.end.hour,
                  c.end.minute, c.end.second);
    device_->Record(line);
    uint32_t startOfDay = uint32_t(feed_->OriginMs() % (int64_t(86400) * 1000));
    Send(kDownloadOpenReply, m.header.sequence, PayloadWriter().I32(kDeviceOk).U32(startOfDay).U32(feed_->LengthMs()).bytes());
    return true;
}

void DeviceSession::ControlPlayback(uint32_t command, int32_t value) {
    if (feedDone_) return;
    switch (command) {
    case kPlayStart:
        if (!feedRunning_) {
            feedRunning_ = true;
            nextTick_ = std::chrono::steady_clock::now();
            PlaybackTick(++tickGeneration_);
        }
        break;
    case kPlayPause:
        feedRunning_ = false;
        ++tickGeneration_;
        timer_.cancel();
        break;
    case kPlaySpeed:
        if (value >= kMinSpeedLevel && value <= kMaxSpeedLevel) speedLevel_ = value;
        break;
    case kPlayPosition:
        if (value >= 0 && value <= 100) {
            uint32_t at = feed_->SeekPercent(value);
            // Frames already queued are from the old position; the client drops what it
            // buffered when this arrives, and the next frame is a key frame.
            Send(kPlaybackSeeked, 0, PayloadWriter().U32(at).bytes());
        }
        break;
    default: break;
    }
    device_->Record("playback control " + std::to_string(command) + " " + std::to_string(value));
}

void DeviceSession::PlaybackTick(uint64_t generation) {
    if (phase_ == Phase::kClosed || generation != tickGeneration_ || !feedRunning_ || feedDone_) return;
    auto now = std::chrono::steady_clock::now();
    // A frozen device or a full queue holds the playback where it is.
    if (!device_->frozen() && queuedBytes_ <= kPlaybackQueueBytes) {
        RecordedFeed::Item item;
        if (!feed_->Next(&item)) return FinishRecorded(kPlaybackEnd, kEndComplete);
        QueueVideo(feed_->loop(), *item.frame, item.timestampMs);
        if (speedLevel_ == 0) QueueAudio(item.timestampMs);
    }
    auto period = speedLevel_ >= 0 ? period_ / (1 << speedLevel_) : period_ * (1 << -speedLevel_);
    nextTick_ += period;
    if (now - nextTick_ > std::chrono::seconds(1)) nextTick_ = now + period;
    timer_.expires_at(nextTick_);
    timer_.async_wait([self = shared_from_this(), generation](const asio::error_code& ec) {
        if (!ec) self->PlaybackTick(generation);
    });
}

void DeviceSession::PumpDownload() {
    if (feedRunning_ && !feedDone_ && phase_ != Phase::kClosed && device_->frozen()) {
        // A frozen device sends nothing; look again shortly, as no write will complete.
        timer_.expires_after(std::chrono::milliseconds(100));
        timer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
            if (!ec) self->PumpDownload();
        });
        return;
    }
    while (feedRunning_ && !feedDone_ && phase_ != Phase::kClosed && queuedBytes_ < kDownloadWindowBytes) {
        RecordedFeed::Item item;
        if (!feed_->Next(&item)) return FinishRecorded(kDownloadEnd, kEndComplete);
        QueueVideo(feed_->loop(), *item.frame, item.timestampMs);
        QueueAudio(item.timestampMs);
    }
}

void DeviceSession::OnDrained() {
    if (purpose_ == kPurposeDownload && feed_) PumpDownload();
}

void DeviceSession::FinishRecorded(uint16_t endKind, uint32_t reason) {
    feedDone_ = true;
    feedRunning_ = false;
    streaming_ = false;
    Send(endKind, 0, PayloadWriter().U32(reason).bytes());
    CloseWhenDrained(200);
}

}  // namespace ocv::devsim
