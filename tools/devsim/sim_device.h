#pragma once
// One simulated device: a listening port speaking the device protocol, a web port with the
// temperature CGIs, its configuration records, and what the control port can do to it; with the
// standard faces on, ONVIF on the web port and an RTSP server of its channels' streams.
#include <asio.hpp>

#include <atomic>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "tools/devsim/recording_store.h"
#include "tools/devsim/site_config.h"
#include "tools/devsim/video_loop.h"

namespace ocv::devsim {

class DeviceSession;
class OnvifService;
class RtspServer;
class WebServer;

// Logging goes to standard error; quiet keeps it silent.
// The StreamOpen mode that asks for the thermal picture, and the stream type it is served as.
constexpr uint32_t kThermalMode = 8;
constexpr int kThermalStream = 3;

void SetQuietLogging(bool quiet);
// Frame timestamps from the monotonic clock instead of the stream's own start.
void SetClockTimestamps(bool on);
bool ClockTimestamps();

// The network settings a device reports and listens on (they can be changed remotely).
struct NetSettings {
    std::string address, mask, gateway, dns1, dns2;
    int port = 0;
};

class SimDevice : public std::enable_shared_from_this<SimDevice> {
public:
    SimDevice(asio::io_context& io, DeviceConfig cfg, int index, int tempIntervalSec, ArchiveOptions archive = {});
    ~SimDevice();

    // Binds both ports and prepares the video loops. false with a message.
    bool Start(VideoLoopCache& loops, int loopFrames, std::string* error);
    void Stop();

    const DeviceConfig& config() const { return config_; }
    int index() const { return index_; }
    int port() const { return port_.load(); }
    NetSettings Network();
    std::string Mac() const;
    // Moves the device's port to new settings (an address within 127.0.0.0/8, where the
    // simulator really listens; mask, gateway and DNS are only reported). done runs with the
    // result: 0 applied, 2 refused (not a loopback address, or the port cannot be bound; the
    // old settings then stay).
    void ApplyNetwork(const NetSettings& settings, std::function<void(int32_t)> done);
    int webPort() const { return webPort_; }
    // 0 without an RTSP server.
    int rtspPort() const { return rtspPort_; }
    OnvifService* onvif() { return onvif_.get(); }
    // The device's clock (UTC): the machine's, moved by what clients set.
    time_t DeviceUtc();
    void SetDeviceUtc(time_t utc);
    bool IsScreeningCamera() const { return config_.firmware.find("V27.") != std::string::npos; }
    int StreamCount() const;

    // ---- control operations ----
    // type 0 motion, 1 input, 3 audio alarm, 14 temperature (text given). Sent to every
    // session that subscribed to events. Returns the number of receivers.
    int RaiseEvent(int channel, int type, int state, const std::string& text);
    void CutAll();
    // streamType -1: all streams of the channel. Returns how many were cut.
    int CutStream(int channel, int streamType);
    void SetFrozen(bool frozen) { frozen_ = frozen; }
    bool frozen() const { return frozen_; }
    // Switching off ends the channel's streams with a close message (on purpose).
    void SetChannelOn(int channel, bool on);
    bool ChannelOn(int channel);
    // A refused stream type answers every open of that type with a refusal (a device that is
    // out of encoder capacity), until allowed again.
    void SetStreamRefused(int streamType, bool refused);
    bool StreamRefused(int streamType) const;
    std::vector<std::string> Report();
    void ClearReport();
    // The next search is answered with a reply that breaks the protocol in the chosen way (for
    // the client's tests): a file count above the files carried, an unterminated file name,
    // or a header announcing more than a message may carry.
    enum class BadReply { kNone, kCount, kName, kOversize };
    void SetBadFindReply(BadReply bad) { badFindReply_ = int(bad); }
    BadReply TakeBadFindReply() { return BadReply(badFindReply_.exchange(int(BadReply::kNone))); }

    // ---- used by sessions ----
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Record(const std::string& line);
    void AddTalkBytes(size_t n, uint32_t mode);
    // Stream types 0..2, or kThermalStream (a screening camera's thermal picture, the same for
    // every channel; nullptr for other devices).
    std::shared_ptr<const VideoLoop> Loop(int streamType, int channel) const;
    const std::vector<uint8_t>& ToneAlaw() const { return tone_; }
    // Configuration: result code of the device protocol; reply filled on a read.
    int32_t ReadConfig(int channel, uint32_t command, const std::vector<uint8_t>& selector, uint32_t length,
                       std::vector<uint8_t>* reply);
    int32_t WriteConfig(int channel, uint32_t command, const uint8_t* data, uint32_t length);
    std::vector<uint8_t> InfoBlock() const;
    std::vector<uint8_t> SnapshotJpeg(int channel, int number);
    // The recordings on the device's disk (valid after Start).
    const RecordingStore& Store() const { return *store_; }
    void Forget(DeviceSession* session);
    // Reboot: close everything shortly after the reply went out.
    void ScheduleReboot();

    asio::io_context& io() { return io_; }

private:
    void Accept();
    std::vector<uint8_t> DefaultRecord(int channel, uint32_t command, uint32_t streamIndex) const;
    std::vector<std::shared_ptr<DeviceSession>> Sessions();

    asio::io_context& io_;
    DeviceConfig config_;
    int index_;
    int tempIntervalSec_;
    asio::ip::tcp::acceptor acceptor_;
    std::shared_ptr<WebServer> web_;
    std::unique_ptr<OnvifService> onvif_;
    std::shared_ptr<RtspServer> rtsp_;
    int rtspPort_ = 0;
    std::atomic<int> port_{0};
    int webPort_ = 0;
    // Orders the acceptor's operations: accepting, closing and moving it.
    asio::strand<asio::io_context::executor_type> netStrand_;
    NetSettings net_;  // under mutex_
    std::atomic<bool> frozen_{false};
    std::atomic<uint32_t> refusedStreams_{0};  // bit n: stream type n
    std::atomic<int> badFindReply_{0};
    ArchiveOptions archive_;
    std::unique_ptr<RecordingStore> store_;
    std::vector<uint8_t> tone_;
    // [stream type][channel]
    std::vector<std::shared_ptr<const VideoLoop>> loops_[3];
    std::shared_ptr<const VideoLoop> thermalLoop_;

    std::mutex mutex_;
    std::map<DeviceSession*, std::weak_ptr<DeviceSession>> sessions_;
    std::vector<bool> channelOn_;
    std::map<std::tuple<uint32_t, int, uint32_t>, std::vector<uint8_t>> records_;
    std::vector<std::string> report_;
    uint64_t talkBytes_ = 0;
    int64_t clockOffsetSec_ = 0;
};

}  // namespace ocv::devsim
