#pragma once
// The owner of the core's process-wide parts: the configuration store, the runtime table, the
// event hub, the logs, sounds, disks, alarms, the player channels and the feature services
// (connections, recording, temperature, device configuration, talk, PTZ, channel actions). It builds them in order, wires
// them, starts and stops their workers, and ends them in order. Pages never hold it: the client
// hands each page the narrow services it needs (ChannelConnections, PlayerCells,
// RecordingControl, TemperatureQueries, DeviceConfiguration, ChannelDirectory, the store).
//
// Construction opens the configuration database and loads every record; destruction stops all
// devices and closes the database. UI thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "device/channel_action_service.h"
#include "device/channel_directory.h"
#include "device/connection_service.h"
#include "device/device_config_service.h"
#include "device/operator_name.h"
#include "device/player_channels.h"
#include "device/ptz_service.h"
#include "device/recording_service.h"
#include "device/talk_service.h"
#include "device/temperature_service.h"
#include "device/time_sync.h"
#include "events/alarm_engine.h"
#include "events/alarm_sound.h"
#include "events/log_writer.h"
#include "record/disk_manager.h"
#include "runtime/core_events.h"
#include "runtime/runtime_table.h"
#include "store/config_store.h"

namespace ocv {

class DeviceService {
public:
    // Opens AppDir/QVXVMS.dat and loads settings, devices, groups, maps and users; applies the
    // start-up overrides; creates AppDir/Logx; repairs recordings a crash left open. IsOpen()
    // tells whether the database could be opened.
    DeviceService();
    // Same with another database file and log folder (tests, tools).
    DeviceService(const std::string& databasePath, const std::string& logDirectory);
    ~DeviceService();
    DeviceService(const DeviceService&) = delete;
    DeviceService& operator=(const DeviceService&) = delete;

    bool IsOpen() const { return store_.IsOpen(); }
    bool Exiting() const { return exiting_.load(); }

    // The parts, for the client that wires pages to them (and for tests).
    ConfigStore& store() { return store_; }
    RuntimeTable& runtime() { return runtime_; }
    CoreEventHub& hub() { return hub_; }
    LogWriter& log() { return log_; }
    AlarmEngine& alarms() { return alarms_; }
    AlarmSoundPlayer& sounds() { return sounds_; }
    DiskManager& disks() { return disks_; }
    PlayerChannelSet& players() { return players_; }
    ConnectionService& connections() { return connections_; }
    RecordingService& recording() { return recording_; }
    TemperatureService& temperature() { return temperature_; }
    DeviceConfigService& deviceConfig() { return deviceConfig_; }
    TimeSyncMarks& timeSync() { return timeSync_; }
    ChannelDirectory& directory() { return directory_; }
    TalkService& talk() { return talk_; }
    PtzService& ptz() { return ptz_; }
    ChannelActionService& channelActions() { return channelActions_; }

    // The operator logged in now ("" when none), for the operation log.
    void SetCurrentUser(const std::string& userName) { operator_.Set(userName); }
    std::string CurrentUser() const { return operator_.Get(); }
    // Where alarm sounds play (the client's audio output); before StartWorkers.
    void SetWavPlayer(WavPlayer* player) { wavPlayer_.SetTarget(player); }
    // How the talk of a channel ends when a cell stops showing it (the talk service registers
    // it; nothing to end without one). Runs on the detaching thread under the cell's slot lock,
    // so it must not attach or detach cells itself.
    void SetTalkStopHandler(std::function<void(int channelId)> handler);

    // The scheduler, the disk monitor and the alarm sounds (the main window starts them).
    void StartWorkers();
    void StopWorkers();

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

    void Initialise(const std::string& databasePath);
    // A cell let a channel go: its talk ends and its state is shown again.
    void OnChannelReleased(int channelId);

    ConfigStore store_;
    RuntimeTable runtime_;
    CoreEventHub hub_;
    OperatorName operator_;
    std::atomic<bool> exiting_{false};
    LogWriter log_;
    WavPlayerProxy wavPlayer_;
    AlarmSoundPlayer sounds_;
    DiskManager disks_;
    AlarmEngine alarms_;
    PlayerChannelSet players_;
    TimeSyncMarks timeSync_;
    TemperatureService temperature_;
    DeviceConfigService deviceConfig_;
    RecordingService recording_;
    ConnectionService connections_;  // after everything its callbacks reach
    StoreChannelDirectory directory_;
    PtzService ptz_;
    ChannelActionService channelActions_;
    TalkService talk_;  // last: its talks end first
    std::mutex talkStopMutex_;
    std::function<void(int channelId)> talkStop_;
};

}  // namespace ocv
