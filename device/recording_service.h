#pragma once
// The recorders of the open channels and the once-a-second scheduler that decides from the
// manual switch, alarms and the weekly plan whether each channel records, of which kind, and
// when a file is split.
//
// Writes the recording fields of the runtime table, and only those; publishes
// RecordStateChanged when a channel's recording begins, ends or changes kind.
// Threads: the connection service creates and deletes a channel's recorder with its stream
// (under the device lock) and hands it frames on the device library's stream callback; the
// scheduler thread (`rec-scheduler`) runs the sweep; pages start and stop manual recordings on
// the UI thread. Record operations take the recorder-table lock (after the device lock, before
// the recorder's own).
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/stop_signal.h"
#include "device/recording_control.h"
#include "events/alarm_engine.h"
#include "events/log_writer.h"
#include "record/disk_manager.h"
#include "record/recorder.h"
#include "runtime/core_events.h"
#include "runtime/runtime_table.h"
#include "store/config_store.h"

namespace ocv {

class RecordingService : public RecordingControl {
public:
    struct Parts {
        ConfigStore& store;
        RuntimeTable& runtime;
        CoreEventHub& hub;
        LogWriter& log;
        DiskManager& disks;
        AlarmEngine& alarms;
        const std::atomic<bool>& exiting;
    };
    explicit RecordingService(Parts parts);
    ~RecordingService() override;
    RecordingService(const RecordingService&) = delete;
    RecordingService& operator=(const RecordingService&) = delete;

    // RecordingControl.
    int StartManualRecording(int device, int channel) override;
    int StopRecording(int device, int channel) override;

    // A channel's recorder exists exactly while its live stream is open (the connection service
    // creates it before the stream and deletes it after the stream stopped). The stream
    // callback's calls below read the table without the lock: a recorder is deleted only after
    // its streams were stopped, and the library calls no callback of a stopped stream.
    void CreateRecorder(int device, int channel, int preRecordSeconds);
    void DeleteRecorder(int channelId);
    void SetStreamInfo(int channelId, const StreamInfo& info);
    void AddFrame(int channelId, const void* frame, uint32_t length, uint32_t timestamp, int kind);

    bool HasRecorder(int channelId) const;
    void InitRecorderDisk(int channelId, int disk);
    int StartScheduledRecording(int device, int channel, int disk, int start, bool split, int now, RecordKind kind);
    int StartManualRecordingOn(int device, int channel, int disk, int now);
    int SetRecordDisk(int device, int channel, int disk);
    // Writes a "Disk error" system log entry for each failure the channel's recorder reported
    // since the last call (the sweep calls it for every channel).
    void LogRecordWriteFailures(int device, int channel);
    // The recorder of a channel, for tests and benchmarks that look inside; nullptr when none.
    Recorder* RecorderForTesting(int channelId) const { return recorders_[channelId].load(); }

    // One sweep over every channel (the scheduler thread runs it once a second).
    void SchedulerPass();
    void Start();
    void Stop();

private:
    int IsValidChannel(int device, int channel) const { return store_.IsValidChannel(device, channel); }
    RecordStartInfo MakeStartInfo(int device, int channel, int disk, RecordKind kind);
    void SetRecordState(int channelId, RecordKind kind, int start);
    void SchedulerLoop();

    ConfigStore& store_;
    RuntimeTable& runtime_;
    CoreEventHub& hub_;
    LogWriter& log_;
    DiskManager& disks_;
    AlarmEngine& alarms_;
    const std::atomic<bool>& exiting_;

    std::unique_ptr<std::atomic<Recorder*>[]> recorders_;
    std::mutex recordersMutex_;  // record operations against creation and deletion

    std::thread scheduler_;
    std::mutex schedulerMutex_;  // start and stop of the scheduler thread
    StopSignal schedulerStop_;
};

}  // namespace ocv
