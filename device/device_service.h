#pragma once
// The process-wide device service: keeps every configured device logged in, opens and closes
// the live streams of channels, routes each frame to the channel's recorder and to the players
// of the cells that show it, and turns the device library's connection events into state.
// Its construction opens the configuration database and loads every record; its destruction
// stops all devices and closes the database.
//
// Threads: the UI thread calls the operations; one thread per device logs it in and polls its
// channels; connect workers open channels; the device library's threads call the stream,
// event and exception callbacks.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/device_state.h"
#include "device/player_channels.h"
#include "device/temperature_log.h"
#include "events/alarm_engine.h"
#include "events/alarm_sound.h"
#include "events/log_writer.h"
#include "record/disk_manager.h"
#include "record/recorder.h"
#include "base/stop_signal.h"
#include "store/config_store.h"

namespace ocv {

struct TimeBound {
    int year, month, day, hour, minute, second;
};

class DeviceService {
public:
    // Opens AppDir/QVXVMS.dat and loads settings, devices, groups, maps and users; applies the
    // start-up overrides; creates AppDir/Logx; registers the exception callback. IsOpen() tells
    // whether the database could be opened.
    DeviceService();
    // Same with another database file and log folder (tests, tools).
    DeviceService(const std::string& databasePath, const std::string& logDirectory);
    ~DeviceService();
    DeviceService(const DeviceService&) = delete;
    DeviceService& operator=(const DeviceService&) = delete;

    bool IsOpen() const { return store_.IsOpen(); }
    ConfigStore& store() { return store_; }
    LogWriter& log() { return log_; }
    AlarmEngine& alarms() { return alarms_; }
    PlayerChannelSet& players() { return players_; }
    DiskManager& disks() { return disks_; }
    AlarmSoundPlayer& sounds() { return sounds_; }

    // The operator logged in now ("" when none); used for the operation log.
    void SetCurrentUser(const std::string& userName);
    std::string CurrentUser() const;
    // Where alarm sounds play (the client's audio output); before StartWorkers.
    void SetWavPlayer(WavPlayer* player) { wavPlayer_.SetTarget(player); }
    // How the talk of a channel ends when a cell stops showing it (the talk service registers
    // it; nothing to end without one). Runs on the detaching thread under the cell's slot lock,
    // so it must not attach or detach cells itself.
    void SetTalkStopHandler(std::function<void(int channelId)> handler);

    // Device threads.
    int IsValidChannel(int device, int channel) const { return store_.IsValidChannel(device, channel); }
    int StartDeviceThread(int device);
    int StopDeviceThread(int device);
    void StartAllDeviceThreads();
    // Whether any device thread runs (UI thread, as the starts and stops).
    bool AnyDeviceThreadRunning() const;
    // Logs the device in unless it is already, or its password was refused and the device
    // thread's pause is not over (the result is then -1 without a try).
    int LoginDevice(int device);
    int LogoutDevice(int device);
    // Tries the login at the device thread's next turn, also while a refused password holds it
    // back; for after the operator edited the device.
    int RetryLoginNow(int device);
    // One turn of a device thread (tick 0..299); tests drive it instead of waiting 30 s. Also
    // counts down the pause after a refused password: 300 turns, doubling to 6000.
    void DeviceTick(int device, int tick);
    // Period of a device-thread turn (100 ms); tests shorten it.
    void SetDeviceTickForTesting(int milliseconds) { tickMs_ = milliseconds; }

    // Channels.
    int OpenChannel(int device, int channel);
    int CloseChannel(int device, int channel);
    int SetConnectPending(int device, int channel, int value);
    // The connect worker of a channel: keeps trying OpenChannel every 4.5 s while the channel
    // is wanted (connectPending), the device is not being stopped and the service is not
    // exiting. Returns at once; a worker already running for the channel is left alone.
    int StartConnectWorker(int device, int channel);
    // The thermal picture of a screening camera, drawn by a player of its own into window (a
    // VideoSurface*); one per device. Close stops the stream before the player goes.
    int OpenThermalStream(int device, int channel, void* window);
    int CloseThermalStream(int device);
    int IsThermalCapable(int device, int channel) const;
    int SendChannelConfig(int device, int channel, uint32_t command, const void* buffer, uint32_t length);
    // Picture number of a channel from AppDir/Pic/<host>-<port>/<number>.h264, fetched from
    // the device when not cached. length: buffer size in, bytes out.
    int FetchDevicePicture(int device, int channel, int number, uint8_t* buffer, uint32_t* length);

    // Temperature data of screening cameras.
    int ProbeTemperatureSupport(int device, int channel);
    int QueryTemperatureLog(int device, int channel, const TimeBound& start, const TimeBound& end,
                            int filter, std::vector<TemperatureRecord>* out);

    // Recording, for the scheduler and the record button.
    bool HasRecorder(int channelId) const;
    void InitRecorderDisk(int channelId, int disk);
    int StartScheduledRecording(int device, int channel, int disk, int start, bool split, int now,
                                int recordType);
    int StartManualRecording(int device, int channel, int disk, int now, int recordType = 1);
    int StopRecording(int device, int channel, int now);
    int SetRecordDisk(int device, int channel, int disk);
    // Writes a "Disk error" system log entry for each failure the channel's recorder reported
    // since the last call (the scheduler sweep calls it for every channel).
    void LogRecordWriteFailures(int device, int channel);

    // The scheduler, the disk monitor and the alarm sounds (the main window starts them).
    void StartWorkers();
    void StopWorkers();
    // One scheduler sweep over every channel (the scheduler thread runs it once a second).
    void SchedulerPass();

    bool Exiting() const { return exiting_.load(); }
    // Stops every device thread and logs every device out (the first step of destruction, and
    // of a configuration import). StartAllDeviceThreads brings them back after an import that
    // failed: the service goes on.
    void StopAllDevices();

    // Library callbacks (public for the C trampolines).
    void OnException(int type, int loginHandle, int streamHandle);
    void OnStreamData(int streamHandle, int dataKind, const uint8_t* data, int length, int channelId);
    void OnEvent(int device, int channel, int type, int state, const char* data, int length);
    void OnThermalData(int device, int dataKind, const uint8_t* data, int length);

private:
    // Forwards to the client's WavPlayer once it is set; silent before.
    class WavPlayerProxy : public WavPlayer {
    public:
        void SetTarget(WavPlayer* target) { target_ = target; }
        void PlayBlocking(const std::string& path) override {
            if (WavPlayer* t = target_.load()) t->PlayBlocking(path);
        }
        void PlayAsync(const std::string& path) override {
            if (WavPlayer* t = target_.load()) t->PlayAsync(path);
        }

    private:
        std::atomic<WavPlayer*> target_{nullptr};
    };

    // Per device: how a refused password holds the logins back. Only the device thread changes
    // the counts (and StartDeviceThread while no thread runs); the flags come from any thread.
    struct LoginBackoff {
        std::atomic<int> refusals{0};              // in a row; sets the pause
        std::atomic<int> waitTurns{0};             // device-thread turns until the next try
        std::atomic<bool> refusedByLibrary{false}; // a reconnection was refused: drop the login
        std::atomic<bool> retryNow{false};
    };

    void Initialise(const std::string& databasePath);
    int TryLogin(int device);
    void OnLoginRefused(int device);
    void ResetLoginBackoff(int device);
    // Under the device lock: stops everything of a login the device no longer accepts.
    void DropRefusedLogin(int device);
    void QueueDeviceRecordStates(int device);
    // Stops a channel's streams and alarm channel and deletes its recorder (no operation log).
    void ReleaseChannel(int device, int channel);
    // The channels whose stream the device closed on purpose give up their handles, to be
    // reopened when the channel status reports them on again.
    void ReleaseChannelsClosedByDevice(int device);
    void NoteStreamClosedByDevice(int loginHandle, int streamHandle);
    void NoteLoginRefused(int loginHandle);
    int DeviceOfLogin(int loginHandle) const;
    // A cell let a channel go: its talk ends and the live view refreshes its record state.
    void OnChannelReleased(int channelId);
    void DeviceLoop(int device);
    void PollChannelStatus(int device);
    void ConnectWorker(int device, int channel);
    ChannelInfo& Channel(int device, int channel) { return store_.device(device).channels[channel]; }
    bool IsDualStream(const DeviceInfo& dev) const;
    void ClearChannelOn(int device);
    void DeleteRecorder(int channelId);
    void RoutePlayerVideo(int channelId, ChannelInfo& c, int streamHandle, const uint8_t* data,
                          int length, bool key);
    void SchedulerLoop();
    RecordStartInfo MakeStartInfo(int device, int channel, int disk, int recordType);

    ConfigStore store_;
    LogWriter log_;
    WavPlayerProxy wavPlayer_;
    AlarmSoundPlayer sounds_;
    DiskManager disks_;
    AlarmEngine alarms_;
    PlayerChannelSet players_;

    std::atomic<bool> exiting_{false};
    std::atomic<int> tickMs_{100};
    mutable std::mutex userMutex_;
    std::string currentUser_;
    std::mutex talkStopMutex_;
    std::function<void(int channelId)> talkStop_;

    // A channel's recorder exists exactly while its live stream is open. The stream callback
    // reads the table without the lock: a recorder is deleted only after its streams were
    // stopped, and the library calls no callback of a stopped stream.
    std::unique_ptr<std::atomic<Recorder*>[]> recorders_;
    std::mutex recordersMutex_;  // record operations against CloseChannel

    std::unique_ptr<LoginBackoff[]> loginBackoff_{new LoginBackoff[kMaxDevices]};
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

    std::thread scheduler_;
    std::mutex schedulerMutex_;  // start and stop of the scheduler thread
    StopSignal schedulerStop_;
};

// The service the library callbacks reach (the one constructed last); nullptr when none.
DeviceService* CurrentDeviceService();

}  // namespace ocv
