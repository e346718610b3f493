#pragma once
// A live stream of a standard camera: RTSP through libavformat's client (RTP interleaved in the
// RTSP connection by default, UDP on request), on a reading thread of its own ("rtsp-<handle>").
// H.264 and H.265 access units go on in Annex-B with the parameter sets in front of every key
// picture; G.711 A-law and µ-law sound goes on as audio records; other sound is left out. A
// stream that breaks is reported lost (type 4), re-opened every reconnect interval and reported
// restored (type 3) with its first frame; one refused for the password is reported (type 6) and
// not tried again.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sdk/device_driver.h"

namespace ocv::sdk {

class Core;

class RtspStream : public LiveStream, public std::enable_shared_from_this<RtspStream> {
public:
    // url: with the credentials in it (libavformat takes them only there); printable: without.
    RtspStream(Core& core, int32_t handle, int32_t loginHandle, std::string url, std::string printable,
               QVX_RealDataCallBack callback, intptr_t user);
    ~RtspStream() override;

    // Starts the reading thread and waits until the first opening succeeded (the stream header
    // was delivered) or failed: QVX_OK, QVX_ERR_CONNECT, QVX_ERR_TIMEOUT, QVX_ERR_PASSWORD,
    // QVX_ERR_CODEC, QVX_ERR_DEVICE.
    int Open();
    void Stop() override;

    int32_t handle() const override { return handle_; }
    int32_t loginHandle() const override { return loginHandle_; }

    // Opens the URL as the stream would and reports only whether it could (for a login's check).
    static int Probe(Core& core, const std::string& url);

private:
    struct Reader;
    void Run();
    void Settle(int result);
    void Raise(int32_t type);
    void Deliver(int32_t kind, const uint8_t* data, size_t bytes);
    // One frame record: video (kind 1, 2 or 3) or audio with its 4-byte audio header.
    void Hand(Reader& r, bool video, const uint8_t* body, size_t bodyBytes, int64_t ts, int kind);
    bool WaitReconnect();

    Core& core_;
    const int32_t handle_;
    const int32_t loginHandle_;
    const std::string url_;
    const std::string printable_;
    const QVX_RealDataCallBack callback_;
    const intptr_t user_;

    std::atomic<bool> stopped_{false};
    std::recursive_mutex deliverMutex_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool settled_ = false;
    int openResult_ = QVX_ERR_TIMEOUT;
    std::thread thread_;
};

}  // namespace ocv::sdk
