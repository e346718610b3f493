#pragma once
// The recorders of the open channels and the once-a-second scheduler that decides from the
// manual switch, alarms and the weekly plan whether each channel records, of which kind, and
// when a file is split.
//
// Writes the recording fields of the runtime table, and only those; publishes
// RecordStateChanged when a channel's recording begins, ends or changes kind.
// Threads: the connection service says when a channel's stream opens and closes (on connect
// workers and device threads) and hands frames to the recorders on the device library's stream
// callback; the scheduler thread (`rec-scheduler`) runs the sweep, which also makes and deletes
// recorders as channels come to be able to record or cease to; pages start and stop manual
// recordings on the UI thread. Record operations take the recorder-table lock (after the
// connection service's locks, before the recorder's own).
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/clock.h"
#include "base/stop_signal.h"
#include "device/recording_control.h"
#include "events/alarm_engine.h"
#include "events/log_writer.h"
#include "record/disk_manager.h"
#include "record/recorder.h"
#include "record/recorder_table.h"
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

    // Recorders exist only for open channels that may record: the manual switch is on, the
    // channel is in a weekly plan that is switched on, or an armed channel's motion or input
    // alarm is linked to recording (and a recording disk is selected); or a recording runs.
    // A channel opened only to be watched gets none. Pre-record begins with the recorder: at
    // the open for a channel that may record then, at the scheduler's next sweep (within a
    // second) when its settings change so that it may, and at the press for the manual switch
    // of a channel that may not otherwise (its file then begins at the first key frame after
    // the press). The sweep deletes the recorder of a channel that may no longer record once it
    // records nothing.
    //
    // The connection service tells when a channel's stream is being opened (before the stream
    // is requested, under the channel's opening) and when it was closed (after its streams
    // stopped). The stream callback's calls below read the table without a lock; a recorder
    // deleted while its stream flows is deleted only once no callback is inside it.
    void OnChannelOpening(int device, int channel);
    void OnChannelClosed(int channelId);
    // Whether the channel may record now (the rule above, without the open check).
    bool MayRecord(int device, int channel) const;
    // Stream thread, for the recorded stream.
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
    Recorder* RecorderForTesting(int channelId) const { return recorders_.Peek(channelId); }

    // One sweep over every channel (the scheduler thread runs it once a second).
    void SchedulerPass();
    void Start();
    void Stop();

private:
    int IsValidChannel(int device, int channel) const { return store_.IsValidChannel(device, channel); }
    RecordStartInfo MakeStartInfo(int device, int channel, int disk, RecordKind kind);
    void SetRecordState(int channelId, RecordKind kind, int start);
    // What a sweep reads once for all channels.
    struct Sweep {
        int recordSeconds = 300;
        bool systemPlan = false;
        int disk = -1;
        ClockSnapshot clock{};
        int now = 0;
        int halfHour = 0;
    };
    // Whether the channel records, of which kind, and when its file is split.
    void DecideRecording(int device, int channel, const Sweep& sweep);
    // Under recordersMutex_: a recorder for an open channel that has none, pre-recording.
    void EnsureRecorderLocked(int device, int channel);
    // The sweep's part: a recorder when the channel may record, none when it may not.
    void FollowRecordingPossibility(int device, int channel);
    void SchedulerLoop();

    ConfigStore& store_;
    RuntimeTable& runtime_;
    CoreEventHub& hub_;
    LogWriter& log_;
    DiskManager& disks_;
    AlarmEngine& alarms_;
    const std::atomic<bool>& exiting_;

    RecorderTable recorders_{kChannelIdCount};
    std::mutex recordersMutex_;  // creation, deletion and record operations of recorders
    std::unique_ptr<uint8_t[]> channelOpen_;  // per channel id, under recordersMutex_

    std::thread scheduler_;
    std::mutex schedulerMutex_;  // start and stop of the scheduler thread
    StopSignal schedulerStop_;
};

}  // namespace ocv
