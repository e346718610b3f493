#include "sdk/talk_session.h"

#include <vector>

#include "base/g711.h"
#include "base/media_types.h"
#include "sdk/sdk_core.h"
#include "sdk/wire_format.h"

namespace ocv::sdk {

TalkSession::TalkSession(Core& core, int32_t handle, Credentials credentials, uint32_t mode)
    : core_(core), handle_(handle), credentials_(std::move(credentials)), mode_(mode) {}

void TalkSession::Settle(int result) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (settled_) return;
    settled_ = true;
    openResult_ = result;
    openDone_.notify_all();
}

int TalkSession::Open() {
    // Heartbeats keep a broadcast alive: it only sends, and a device with nothing to say back
    // must not look lost to the silence time-out.
    auto conn = std::make_shared<DeviceConnection>(core_.io(), core_.settings.Timing(true));
    std::weak_ptr<TalkSession> weak = weak_from_this();
    DeviceConnection::Handlers h;
    h.onReady = [weak, conn](int result, const uint8_t*, size_t) {
        auto s = weak.lock();
        if (!s) return;
        if (result != QVX_OK) return s->Settle(result);
        conn->Send(wire::kTalkOpen, 1, wire::PayloadWriter().U32(s->mode_).U32(0).bytes());
    };
    h.onMessage = [weak](const wire::MessageView& m) {
        if (auto s = weak.lock()) s->OnMessage(m);
    };
    h.onClosed = [weak](int) {
        if (auto s = weak.lock()) {
            s->alive_ = false;
            s->Settle(QVX_ERR_CONNECT);
        }
    };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        conn_ = conn;
    }
    // The speaker is ready before the device may speak: its first voice packet can arrive
    // right behind the acceptance. A refused talk closes it again in Stop.
    if (mode_ == 1) {
        std::lock_guard<std::mutex> outLock(outputMutex_);
        if (core_.AudioOutput(&output_) && output_.open) outputOpen_ = output_.open(output_.context, 8000, 1) == 0;
    }
    conn->Start(credentials_, wire::kPurposeTalk, std::move(h));
    std::unique_lock<std::mutex> lock(mutex_);
    auto wait = std::chrono::milliseconds(2 * core_.settings.requestTimeoutMs.load() + 2000);
    if (!openDone_.wait_for(lock, wait, [this] { return settled_; })) openResult_ = QVX_ERR_TIMEOUT;
    int result = openResult_;
    lock.unlock();
    if (result != QVX_OK) {
        Stop();
        return result;
    }
    alive_ = true;
    return QVX_OK;
}

void TalkSession::OnMessage(const wire::MessageView& m) {
    if (m.header.kind == wire::kResult && m.header.sequence == 1) {
        return Settle(DeviceResultToQvx(int32_t(wire::GetU32(m.payload))));
    }
    if (m.header.kind != wire::kTalkAudio || mode_ != 1) return;
    uint32_t length = wire::GetU32(m.payload + 4);
    const uint8_t* samples = m.payload + 8;
    std::lock_guard<std::mutex> lock(outputMutex_);
    if (!outputOpen_ || !output_.write) return;
    std::vector<int16_t> pcm(length);
    for (uint32_t i = 0; i < length; ++i) pcm[i] = g711::ALawToLinear(samples[i]);
    output_.write(output_.context, pcm.data(), int32_t(pcm.size()));
}

int TalkSession::Send(const uint8_t* data, uint32_t length) {
    if (!data || length == 0 || length > wire::kMaxTalkAudioBytes) return QVX_ERR_FAILED;
    std::shared_ptr<DeviceConnection> conn;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        conn = conn_;
    }
    if (!conn || !alive_) return QVX_ERR_OFFLINE;
    conn->Send(wire::kTalkAudio, 0, wire::PayloadWriter().U32(kAudioG711ALaw).U32(length).Bytes(data, length).bytes());
    return QVX_OK;
}

void TalkSession::Stop() {
    std::shared_ptr<DeviceConnection> conn;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        conn.swap(conn_);
        alive_ = false;
    }
    if (conn) conn->Close();
    Settle(QVX_ERR_FAILED);
    std::lock_guard<std::mutex> lock(outputMutex_);
    if (outputOpen_ && output_.close) output_.close(output_.context);
    outputOpen_ = false;
}

}  // namespace ocv::sdk
