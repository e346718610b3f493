#pragma once
// A recording streamed from a device over a connection of its own: one file played back at
// the device's pace, or the recordings of a time span downloaded as fast as they come. The
// frames go to a sink (a player port, a recording file); the stream keeps the state and the
// position the caller polls.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sdk/device_connection.h"
#include "base/media_types.h"

namespace ocv::sdk {

class Core;

// Where the frames of a recorded stream go. Calls come from the library's I/O threads, one at
// a time, never after RecordedStream::Stop has returned.
class RecordedSink {
public:
    virtual ~RecordedSink() = default;
    // The stream description; startOfDayMs is the local time of day of the first frame.
    // false when the sink cannot take the stream (the stream then fails).
    virtual bool Begin(const StreamInfo& info, uint32_t startOfDayMs) = 0;
    // One frame record (16-byte header and data). false when it could not be kept (fails).
    virtual bool Frame(const uint8_t* record, size_t bytes) = 0;
    // The device jumped to another position: what is buffered is stale.
    virtual void Seeked() {}
    // Once, when the stream ends for whatever reason (complete: everything arrived).
    virtual void End(bool complete) = 0;
    // Once, from Stop, after End: release what the sink holds.
    virtual void Release() {}
};

class RecordedStream : public std::enable_shared_from_this<RecordedStream> {
public:
    enum class Kind { kPlayback, kDownload };

    RecordedStream(Core& core, int32_t handle, int32_t loginHandle, Credentials credentials, Kind kind,
                   std::vector<uint8_t> openPayload, std::unique_ptr<RecordedSink> sink, int32_t playerPort);
    ~RecordedStream();

    // Connects and asks for the recording; a playback also waits for its stream description.
    // QVX_OK or why not.
    int Open();
    // QVX_PLAYCTRL_* commands.
    int Control(uint32_t command, int32_t value, int32_t* outValue);
    // Closes the connection, ends and releases the sink; no sink call after return.
    void Stop();

    int32_t handle() const { return handle_; }
    int32_t loginHandle() const { return loginHandle_; }
    Kind kind() const { return kind_; }
    int32_t playerPort() const { return playerPort_; }
    int State() const { return state_.load(); }

private:
    void OnReady(int result);
    void OnMessage(const wire::MessageView& m);
    void OnLost();
    void Finish(bool complete);  // ends the sink once and sets the final state
    void SettleOpen(int result);
    std::shared_ptr<DeviceConnection> Connection();

    Core& core_;
    const int32_t handle_;
    const int32_t loginHandle_;
    const Credentials credentials_;
    const Kind kind_;
    const std::vector<uint8_t> openPayload_;
    const int32_t playerPort_;

    // Held around every sink call; Stop sets stopped_ first and then takes it.
    std::recursive_mutex deliverMutex_;
    std::unique_ptr<RecordedSink> sink_;
    bool ended_ = false;
    bool begun_ = false;
    std::atomic<bool> stopped_{false};

    std::atomic<int> state_;
    std::atomic<uint32_t> positionMs_{0};
    std::atomic<uint32_t> lengthMs_{0};
    std::atomic<uint32_t> startOfDayMs_{0};
    std::atomic<bool> started_{false};  // a download was asked to start

    std::mutex mutex_;
    std::shared_ptr<DeviceConnection> conn_;
    std::mutex openMutex_;
    std::condition_variable openDone_;
    bool openSettled_ = false;
    int openResult_ = 0;
};

}  // namespace ocv::sdk
