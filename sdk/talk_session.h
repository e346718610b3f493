#pragma once
// Voice to a device: mode 1 two-way talk (the device's audio comes back and is played through
// the application's audio output), mode 0 broadcast (uplink only). No reconnection: a talk
// that fails ends, and sending reports the failure.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "sdk/device_connection.h"
#include "sdk/qvx_sdk.h"

namespace ocv::sdk {

class Core;

class TalkSession : public std::enable_shared_from_this<TalkSession> {
public:
    TalkSession(Core& core, int32_t handle, Credentials credentials, uint32_t mode);
    int Open();
    int Send(const uint8_t* data, uint32_t length);
    void Stop();

private:
    void OnMessage(const wire::MessageView& m);
    void Settle(int result);

    Core& core_;
    const int32_t handle_;
    const Credentials credentials_;
    const uint32_t mode_;
    std::mutex mutex_;
    std::shared_ptr<DeviceConnection> conn_;
    std::atomic<bool> alive_{false};
    std::condition_variable openDone_;
    bool settled_ = false;
    int openResult_ = QVX_ERR_TIMEOUT;
    // Playback of returned audio; held while writing so Stop closes the output only after.
    std::mutex outputMutex_;
    bool outputOpen_ = false;
    QVX_AudioOutput output_{};
};

}  // namespace ocv::sdk
