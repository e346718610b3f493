#include "sdk/recorded_stream.h"

#include <cstring>

#include "sdk/qvx_sdk.h"
#include "sdk/sdk_core.h"
#include "sdk/wire_format.h"
#include "sdk/wire_recorded.h"

namespace ocv::sdk {

RecordedStream::RecordedStream(Core& core, int32_t handle, int32_t loginHandle, Credentials credentials, Kind kind,
                               std::vector<uint8_t> openPayload, std::unique_ptr<RecordedSink> sink,
                               int32_t playerPort)
    : core_(core),
      handle_(handle),
      loginHandle_(loginHandle),
      credentials_(std::move(credentials)),
      kind_(kind),
      openPayload_(std::move(openPayload)),
      playerPort_(playerPort),
      sink_(std::move(sink)),
      state_(kind == Kind::kPlayback ? QVX_PLAYSTATE_RUNNING : QVX_PLAYSTATE_READY) {}

RecordedStream::~RecordedStream() { Stop(); }

std::shared_ptr<DeviceConnection> RecordedStream::Connection() {
    std::lock_guard<std::mutex> lock(mutex_);
    return conn_;
}

int RecordedStream::Open() {
    // Heartbeats keep a paused playback or a download that waits for its start from looking
    // silent; the device answers them on these connections too.
    auto conn = std::make_shared<DeviceConnection>(core_.io(), core_.settings.Timing(true));
    std::weak_ptr<RecordedStream> weak = weak_from_this();
    DeviceConnection::Handlers h;
    h.onReady = [weak](int result, const uint8_t*, size_t) {
        if (auto s = weak.lock()) s->OnReady(result);
    };
    h.onMessage = [weak](const wire::MessageView& m) {
        if (auto s = weak.lock()) s->OnMessage(m);
    };
    h.onClosed = [weak](int) {
        if (auto s = weak.lock()) s->OnLost();
    };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        conn_ = conn;
    }
    conn->Start(credentials_, kind_ == Kind::kPlayback ? wire::kPurposePlayback : wire::kPurposeDownload,
                std::move(h));
    std::unique_lock<std::mutex> lock(openMutex_);
    auto wait = std::chrono::milliseconds(2 * core_.settings.requestTimeoutMs.load() + 2000);
    bool settled = openDone_.wait_for(lock, wait, [this] { return openSettled_; });
    int result = settled ? openResult_ : QVX_ERR_TIMEOUT;
    lock.unlock();
    if (result != QVX_OK) Stop();
    return result;
}

void RecordedStream::SettleOpen(int result) {
    std::lock_guard<std::mutex> lock(openMutex_);
    if (openSettled_) return;
    openSettled_ = true;
    openResult_ = result;
    openDone_.notify_all();
}

void RecordedStream::OnReady(int result) {
    if (result != QVX_OK) return SettleOpen(result);
    auto conn = Connection();
    if (!conn) return;
    conn->Send(kind_ == Kind::kPlayback ? wire::kPlaybackOpen : wire::kDownloadOpen, 1, openPayload_);
}

void RecordedStream::OnMessage(const wire::MessageView& m) {
    const uint8_t* p = m.payload;
    switch (m.header.kind) {
    case wire::kPlaybackOpenReply:
    case wire::kDownloadOpenReply: {
        int32_t result = int32_t(wire::GetU32(p));
        if (result != wire::kDeviceOk) {
            SettleOpen(DeviceResultToQvx(result));
            if (auto conn = Connection()) conn->Close();
            return;
        }
        startOfDayMs_ = wire::GetU32(p + 4);
        lengthMs_ = wire::GetU32(p + 8);
        if (kind_ == Kind::kDownload) SettleOpen(QVX_OK);
        return;
    }
    case wire::kStreamHeader: {
        StreamInfo info;
        std::memcpy(&info, p, sizeof info);
        bool ok = true;
        {
            std::lock_guard<std::recursive_mutex> lock(deliverMutex_);
            if (stopped_ || ended_) return;
            // A later header (the device changed the format between files) keeps the first.
            if (!begun_) {
                begun_ = true;
                ok = sink_->Begin(info, startOfDayMs_);
            }
        }
        if (!ok) {
            Finish(false);
            if (auto conn = Connection()) conn->Close();
        }
        if (kind_ == Kind::kPlayback) SettleOpen(ok ? QVX_OK : QVX_ERR_FAILED);
        return;
    }
    case wire::kFrame: {
        FrameHeader fh;
        std::memcpy(&fh, p, sizeof fh);
        if (IsVideoFrame(fh)) positionMs_ = fh.timestampMs;
        bool ok = true;
        {
            std::lock_guard<std::recursive_mutex> lock(deliverMutex_);
            if (stopped_ || ended_ || !begun_) return;
            ok = sink_->Frame(p, m.payloadBytes);
        }
        if (!ok) {
            Finish(false);
            if (auto conn = Connection()) conn->Close();
        }
        return;
    }
    case wire::kPlaybackSeeked: {
        positionMs_ = wire::GetU32(p);
        std::lock_guard<std::recursive_mutex> lock(deliverMutex_);
        if (!stopped_ && !ended_ && begun_) sink_->Seeked();
        return;
    }
    case wire::kPlaybackEnd:
    case wire::kDownloadEnd: {
        bool complete = wire::GetU32(p) == wire::kEndComplete;
        // An end before the stream began is a refusal of the open.
        SettleOpen(QVX_ERR_DEVICE);
        Finish(complete);
        if (auto conn = Connection()) conn->Close();
        return;
    }
    default: return;  // replies nobody waits for
    }
}

void RecordedStream::OnLost() {
    SettleOpen(QVX_ERR_CONNECT);
    Finish(false);
}

void RecordedStream::Finish(bool complete) {
    std::lock_guard<std::recursive_mutex> lock(deliverMutex_);
    if (ended_) return;
    ended_ = true;
    if (sink_) sink_->End(complete);
    if (complete) positionMs_ = lengthMs_.load();
    // Set last, so a caller that sees "finished" finds the file closed.
    state_ = complete ? QVX_PLAYSTATE_FINISHED : QVX_PLAYSTATE_FAILED;
}

int RecordedStream::Control(uint32_t command, int32_t value, int32_t* outValue) {
    if (command == QVX_PLAYCTRL_STATE || command == QVX_PLAYCTRL_GETPOS) {
        if (!outValue) return QVX_ERR_FAILED;
        if (command == QVX_PLAYCTRL_STATE) {
            *outValue = state_;
        } else {
            uint64_t length = lengthMs_, position = positionMs_;
            if (state_ == QVX_PLAYSTATE_FINISHED) position = length;
            *outValue = length == 0 ? 0 : int32_t(position >= length ? 100 : position * 100 / length);
        }
        return QVX_OK;
    }
    int state = state_;
    if (state == QVX_PLAYSTATE_FINISHED || state == QVX_PLAYSTATE_FAILED) return QVX_ERR_FAILED;
    auto conn = Connection();
    if (!conn) return QVX_ERR_FAILED;
    if (kind_ == Kind::kDownload) {
        if (command != QVX_PLAYCTRL_START) return QVX_ERR_FAILED;
        if (!started_.exchange(true)) {
            state_.compare_exchange_strong(state, QVX_PLAYSTATE_RUNNING);
            conn->Send(wire::kDownloadStart, 0, {});
        }
        return QVX_OK;
    }
    switch (command) {
    case QVX_PLAYCTRL_START: state_.compare_exchange_strong(state, QVX_PLAYSTATE_RUNNING); break;
    case QVX_PLAYCTRL_PAUSE: state_.compare_exchange_strong(state, QVX_PLAYSTATE_PAUSED); break;
    case QVX_PLAYCTRL_SPEED:
        if (value < wire::kMinSpeedLevel || value > wire::kMaxSpeedLevel) return QVX_ERR_FAILED;
        break;
    case QVX_PLAYCTRL_SETPOS:
        if (value < 0 || value > 100) return QVX_ERR_FAILED;
        break;
    default: return QVX_ERR_FAILED;
    }
    conn->Send(wire::kPlaybackControl, 0, wire::PayloadWriter().U32(command).I32(value).bytes());
    return QVX_OK;
}

void RecordedStream::Stop() {
    std::shared_ptr<DeviceConnection> conn;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        conn.swap(conn_);
    }
    if (conn) conn->Close();
    SettleOpen(QVX_ERR_FAILED);
    // Waits for a sink call under way; later ones see stopped_.
    std::lock_guard<std::recursive_mutex> lock(deliverMutex_);
    if (!sink_) return;
    if (!ended_) {
        ended_ = true;
        sink_->End(false);
    }
    sink_->Release();
    sink_.reset();
}

}  // namespace ocv::sdk
