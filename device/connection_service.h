#pragma once
// Keeps every configured device logged in (one connection thread per device), opens and closes
// the live streams of channels (connect workers), routes each frame to the channel's recorder
// and to the players of the cells that show it, and turns the device library's connection
// events into the connection fields of the runtime table.
//
// Writes the connection fields of the runtime table, and only those; publishes
// ChannelStateChanged and DeviceStateChanged when they change.
// Threads: the UI thread starts and stops device threads; one thread per device (`device-N`)
// logs it in and polls its channels; connect workers (`connect-ID`) open channels; the device
// library's threads call the stream, event and exception callbacks. Locks, in this order: the
// device lock (logging in); the device's channel gate, shared by the opens and closes of its
// channels (so the channels of a group are opened in parallel) and held alone by what ends them
// all (a logout, a login the device refused); a channel's opening lock (no two opens or closes
// of one channel at once); then the recorder-table lock.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/channel_connections.h"
#include "device/operator_name.h"
#include "device/player_channels.h"
#include "device/time_sync.h"
#include "events/alarm_engine.h"
#include "events/log_writer.h"
#include "runtime/core_events.h"
#include "runtime/runtime_table.h"
#include "store/config_store.h"

namespace ocv {

class RecordingService;
class TemperatureService;

class ConnectionService : public ChannelConnections {
public:
    struct Parts {
        ConfigStore& store;
        RuntimeTable& runtime;
        CoreEventHub& hub;
        LogWriter& log;
        AlarmEngine& alarms;
        PlayerChannelSet& players;
        RecordingService& recording;
        TemperatureService& temperature;
        TimeSyncMarks& timeSync;
        const OperatorName& operatorName;
        const std::atomic<bool>& exiting;  // the owner's end: no new work
    };
    explicit ConnectionService(Parts parts);
    ~ConnectionService() override;
    ConnectionService(const ConnectionService&) = delete;
    ConnectionService& operator=(const ConnectionService&) = delete;

    // ChannelConnections.
    int StartConnectWorker(int device, int channel) override;
    int SetConnectPending(int device, int channel, int value) override;
    int OpenThermalStream(int device, int channel, void* window) override;
    int CloseThermalStream(int device) override;
    int IsThermalCapable(int device, int channel) const override;
    int StartDeviceThread(int device) override;
    int StopDeviceThread(int device) override;
    int RetryLoginNow(int device) override;
    std::vector<int> ChannelsInUse(int device) const override;
    int ReopenChannels(int device, const std::vector<int>& channels) override;

    void StartAllDeviceThreads();
    // Whether any device thread runs (UI thread, as the starts and stops).
    bool AnyDeviceThreadRunning() const;
    // Stops every device thread and logs every device out (the first step of the end, and of a
    // configuration import; StartAllDeviceThreads brings them back after an import that failed).
    void StopAllDevices();
    // Joins the connect workers (at the end, after StopAllDevices).
    void JoinConnectWorkers();

    // Logs the device in unless it is already, or its password was refused and the device
    // thread's pause is not over (the result is then -1 without a try). Under the device lock.
    int LoginDevice(int device);
    int LogoutDevice(int device);
    // One turn of a device thread (tick 0..299); tests drive it instead of waiting 30 s. Also
    // counts down the pause after a refused password: 300 turns, doubling to 6000.
    void DeviceTick(int device, int tick);
    // Period of a device-thread turn (100 ms); tests shorten it.
    void SetDeviceTickForTesting(int milliseconds) { tickMs_ = milliseconds; }

    // Any thread but a library callback; may wait for the device's answers.
    int OpenChannel(int device, int channel);
    int CloseChannel(int device, int channel);

    // The device library's callbacks (public for the C trampolines).
    void OnException(int type, int loginHandle, int streamHandle);
    void OnStreamData(int streamHandle, int dataKind, const uint8_t* data, int length, int channelId);
    // A stream's first data can come before the open call that requested it has returned its
    // handle (the device starts the stream with its reply): the handle is taken from that data,
    // so the stream's first key frame reaches the cell instead of a picture group later.
    void AdoptOpeningStream(int streamHandle, int channelId);
    void OnEvent(int device, int channel, int type, int state, const char* data, int length);
    void OnThermalData(int device, int dataKind, const uint8_t* data, int length);

private:
    // Per device: how a refused password holds the logins back. Only the device thread changes
    // the counts (and StartDeviceThread while no thread runs); the flags come from any thread.
    struct LoginBackoff {
        std::atomic<int> refusals{0};              // in a row; sets the pause
        std::atomic<int> waitTurns{0};             // device-thread turns until the next try
        std::atomic<bool> refusedByLibrary{false}; // a reconnection was refused: drop the login
        std::atomic<bool> retryNow{false};
    };

    int IsValidChannel(int device, int channel) const { return store_.IsValidChannel(device, channel); }
    bool IsDualStream(const DeviceInfo& dev) const;
    void SetDeviceState(int device, DeviceState state);
    void ChannelChanged(int device, int channel) { PublishTo(&hub_, ChannelStateChanged{ChannelIdOf(device, channel)}); }
    int TryLogin(int device);
    void OnLoginRefused(int device);
    void ResetLoginBackoff(int device);
    // Under the device lock: stops everything of a login the device no longer accepts.
    void DropRefusedLogin(int device);
    // Under the channel's gate and opening lock (or the gate held alone).
    int OpenChannelLocked(int device, int channel);
    void CloseChannelLocked(int device, int channel);
    // Stops a channel's streams and alarm channel and deletes its recorder (no operation log).
    void ReleaseChannel(int device, int channel);
    std::mutex& OpenLockOf(int channelId) { return openLocks_[channelId % kOpenLockStripes]; }
    // The channels whose stream the device closed on purpose give up their handles, to be
    // reopened when the channel status reports them on again.
    void ReleaseChannelsClosedByDevice(int device);
    void OnDeviceConnection(int loginHandle, bool online);
    void OnStreamConnection(int type, int loginHandle, int streamHandle);
    void NoteStreamClosedByDevice(int loginHandle, int streamHandle);
    void NoteLoginRefused(int loginHandle);
    int DeviceOfLogin(int loginHandle) const;
    void DeviceLoop(int device);
    void PollChannelStatus(int device);
    void ClearChannelOn(int device);
    void ConnectWorker(int device, int channel);
    void RoutePlayerVideo(int channelId, ChannelRuntime& c, int streamHandle, const uint8_t* data, int length,
                          bool key);

    ConfigStore& store_;
    RuntimeTable& runtime_;
    CoreEventHub& hub_;
    LogWriter& log_;
    AlarmEngine& alarms_;
    PlayerChannelSet& players_;
    RecordingService& recording_;
    TemperatureService& temperature_;
    TimeSyncMarks& timeSync_;
    const OperatorName& operatorName_;
    const std::atomic<bool>& exiting_;
    std::atomic<int> tickMs_{100};

    std::unique_ptr<LoginBackoff[]> loginBackoff_{new LoginBackoff[kMaxDevices]};
    // Per device: opens and closes of single channels share it; a logout, or dropping a refused
    // login, holds it alone, so no open is half done while a device's channels all close.
    std::unique_ptr<std::shared_mutex[]> channelGates_{new std::shared_mutex[kMaxDevices]};
    // A channel's opening lock, shared by the channels whose ids are equal modulo the stripes
    // (never two of them held at once).
    static constexpr int kOpenLockStripes = 256;
    // Per channel id: which stream an open is requesting right now (set and cleared under the
    // channel's opening lock, read by the stream callback).
    enum : uint8_t { kNoStreamOpening = 0, kMainOpening = 1, kSubOpening = 2 };
    std::unique_ptr<std::atomic<uint8_t>[]> streamOpening_{new std::atomic<uint8_t>[kChannelIdCount]{}};
    // Per channel id: stream callbacks inside AdoptOpeningStream past its first look; the open
    // waits for them after ending its request, so no handle is adopted once it has moved on.
    std::unique_ptr<std::atomic<int>[]> adopting_{new std::atomic<int>[kChannelIdCount]{}};
    // Ends the channel's stream request: no adoption after this returns.
    void EndStreamOpening(int channelId);
    void AdoptStreamHandle(int streamHandle, int channelId, uint8_t opening);
    std::unique_ptr<std::mutex[]> openLocks_{new std::mutex[kOpenLockStripes]};
    // Per channel id: the stream handle the device closed on purpose (0 none), for the device
    // thread; and whether a channel so closed is to be opened again once it is on.
    std::unique_ptr<std::atomic<int>[]> closedByDevice_{new std::atomic<int>[kChannelIdCount]{}};
    std::unique_ptr<std::atomic<uint8_t>[]> reopenWanted_{new std::atomic<uint8_t>[kChannelIdCount]{}};

    std::mutex workersMutex_;
    std::vector<std::thread> connectWorkers_;  // finished ones are joined at the next start
    std::vector<std::shared_ptr<std::atomic<bool>>> workerDone_;

    // Player port and port number of each device's thermal picture (0 / -1 when none).
    std::unique_ptr<std::atomic<int>[]> thermalPorts_{new std::atomic<int>[kMaxDevices]{}};
    std::unique_ptr<int[]> thermalPortNumbers_{new int[kMaxDevices]{}};
    std::mutex thermalMutex_;  // open against close of the same device's thermal player
};

// The connection service the library's C callbacks reach (the one constructed last); nullptr
// when none.
ConnectionService* CurrentConnectionService();

}  // namespace ocv
