// Recording operations and the once-a-second scheduler sweep.
#include "device/recording_service.h"

#include <pthread.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/trace.h"
#include "platform/file_util.h"
#include "record/record_paths.h"
#include "store/relaxed.h"

namespace ocv {

namespace {

bool AnyHalfHour(const uint32_t (&schedule)[kScheduleWords]) {
    for (const uint32_t& word : schedule)
        if (Relaxed(word) != 0) return true;
    return false;
}

}  // namespace

RecordingService::RecordingService(Parts p)
    : store_(p.store),
      runtime_(p.runtime),
      hub_(p.hub),
      log_(p.log),
      disks_(p.disks),
      alarms_(p.alarms),
      exiting_(p.exiting),
      channelOpen_(new uint8_t[kChannelIdCount]{}) {}

RecordingService::~RecordingService() { Stop(); }

bool RecordingService::MayRecord(int device, int channel) const {
    const ChannelRuntime& c = runtime_.channel(device, channel);
    if (c.recordType.load() != kRecordNone || c.recordActive.load() != 0) return true;
    const SystemSettings& s = store_.settings();
    if (Relaxed(s.DISK) == 0) return false;  // no drive selected: nothing can be written
    if (c.manualRecord.load() != 0) return true;
    const ChannelInfo& rec = store_.device(device).channels[channel];
    bool plan = Relaxed(s.PLANREC) != 0 && Relaxed(rec.planRecord) != 0 && AnyHalfHour(rec.planSchedule);
    // The arming schedule and the alarm come later: the seconds before the alarm must be there.
    bool alarm = Relaxed(s.ARMFLAG) != 0 && Relaxed(rec.armAlarm) != 0 &&
                 ((Relaxed(rec.alarmMd) | Relaxed(rec.alarmInput)) & kLinkRecord) != 0 && AnyHalfHour(rec.armSchedule);
    return plan || alarm;
}

void RecordingService::EnsureRecorderLocked(int device, int channel) {
    int channelId = ChannelIdOf(device, channel);
    if (!channelOpen_[channelId] || recorders_.Has(channelId)) return;
    // The recorder reports when its writer begins the first file of a recording or ends one.
    auto recorder = std::make_unique<Recorder>(device, channel, [this](int id) {
        PublishTo(&hub_, RecordStateChanged{id, runtime_.channel(id).recordType.load()});
    });
    recorder->SetStreamInfo(StreamInfo{});
    recorder->Start(Relaxed(store_.settings().PREREC));
    recorders_.Install(channelId, std::move(recorder));
}

void RecordingService::OnChannelOpening(int device, int channel) {
    int channelId = ChannelIdOf(device, channel);
    bool may = MayRecord(device, channel);
    std::unique_ptr<Recorder> previous;
    {
        std::lock_guard lock(recordersMutex_);
        // A recorder left from an earlier stream would hold that stream's frames.
        previous = recorders_.Remove(channelId);
        channelOpen_[channelId] = 1;
        if (may) EnsureRecorderLocked(device, channel);
    }
}

void RecordingService::OnChannelClosed(int channelId) {
    std::unique_ptr<Recorder> recorder;
    {
        std::lock_guard lock(recordersMutex_);
        channelOpen_[channelId] = 0;
        recorder = recorders_.Remove(channelId);
    }
    // Deleted outside the lock: a recording's file and index are closed now.
}

void RecordingService::FollowRecordingPossibility(int device, int channel) {
    int channelId = ChannelIdOf(device, channel);
    bool may = MayRecord(device, channel);
    std::unique_ptr<Recorder> idle;
    {
        std::lock_guard lock(recordersMutex_);
        Recorder* r = recorders_.Peek(channelId);
        if (may) EnsureRecorderLocked(device, channel);
        else if (r != nullptr && !r->IsRecording()) idle = recorders_.Remove(channelId);
    }
}

void RecordingService::SetStreamInfo(int channelId, const StreamInfo& info) {
    recorders_.With(channelId, [&](Recorder& r) { r.SetStreamInfo(info); });
}

void RecordingService::AddFrame(int channelId, const void* frame, uint32_t length, uint32_t timestamp, int kind) {
    recorders_.With(channelId, [&](Recorder& r) {
        // A recorder made while the stream flows has not seen its header: the last one kept of
        // the recorded stream (the sub stream only on a dual-stream device set to record it).
        if (!r.HasPictureSize()) {
            const ChannelRuntime& c = runtime_.channel(channelId);
            StreamInfo info = c.recordFromSub.load() == 1 ? c.SubStreamInfo() : c.MainStreamInfo();
            if (info.width == 0 || info.height == 0) return;
            r.SetStreamInfo(info);
        }
        // A ring overflow (the writer could not keep up) ends the file at the next sweep.
        if (r.AddFrame(frame, length, timestamp, kind) == -2) runtime_.channel(channelId).recordStart = -2;
    });
}

bool RecordingService::HasRecorder(int channelId) const {
    return IsChannelId(channelId) && recorders_.Has(channelId);
}

void RecordingService::InitRecorderDisk(int channelId, int disk) {
    std::lock_guard lock(recordersMutex_);
    if (Recorder* r = recorders_.Peek(channelId)) r->InitDisk(disk);
}

RecordStartInfo RecordingService::MakeStartInfo(int device, int channel, int disk, RecordKind kind) {
    ClockSnapshot now = clockSnapshot();
    RecordStartInfo info{};
    info.year = static_cast<uint32_t>(now.year);
    info.month = static_cast<uint32_t>(now.month);
    info.day = static_cast<uint32_t>(now.day);
    info.hour = static_cast<uint32_t>(now.hour);
    info.minute = static_cast<uint32_t>(now.minute);
    info.second = static_cast<uint32_t>(now.second);
    info.disk = static_cast<uint32_t>(disk);
    info.recordType = static_cast<uint32_t>(kind);
    const DeviceInfo& dev = store_.device(device);
    char host[kTextBytes];
    ReadTextRelaxed(dev.host, host);
    std::string folder = ChannelFolderName(host, Relaxed(dev.port), channel + 1);
    memcpy(info.folder, folder.c_str(), std::min(folder.size() + 1, sizeof info.folder));
    info.folder[sizeof info.folder - 1] = '\0';
    return info;
}

void RecordingService::SetRecordState(int channelId, RecordKind kind, int start) {
    ChannelRuntime& c = runtime_.channel(channelId);
    c.recordStart = start;
    if (c.recordType.exchange(kind) != kind) PublishTo(&hub_, RecordStateChanged{channelId, kind});
}

int RecordingService::StartScheduledRecording(int device, int channel, int disk, int start, bool split, int now,
                                              RecordKind kind) {
    if (IsValidChannel(device, channel) != 0) return -1;
    // Only a start needs a disk: with none usable a running recording must still be stopped.
    if (start != 0 && disk < 0) return -1;
    const ChannelRuntime& c = runtime_.channel(device, channel);
    if (c.connectState.load() != kStreamOpen || c.mainStream.load() == 0) return -1;
    RecordStartInfo info = MakeStartInfo(device, channel, disk, kind);
    if (start != 0) MakeDirectories(RecordFolderPath(info));
    std::lock_guard lock(recordersMutex_);
    Recorder* r = recorders_.Peek(ChannelIdOf(device, channel));
    if (!r || r->StartRecording(info, start, split) != 0) return -1;
    int id = ChannelIdOf(device, channel);
    if (start) SetRecordState(id, kind, now);
    else if (split) SetRecordState(id, kRecordNone, -1);
    return 0;
}

int RecordingService::StartManualRecordingOn(int device, int channel, int disk, int now) {
    if (IsValidChannel(device, channel) != 0 || disk < 0) return -1;
    const ChannelRuntime& c = runtime_.channel(device, channel);
    if (c.connectState.load() != kStreamOpen || c.mainStream.load() == 0 || c.recordType.load() != kRecordNone)
        return -1;
    RecordStartInfo info = MakeStartInfo(device, channel, disk, kRecordManual);
    MakeDirectories(RecordFolderPath(info));
    std::lock_guard lock(recordersMutex_);
    // The switch is what lets a channel that is only watched record: its pre-record begins now.
    EnsureRecorderLocked(device, channel);
    Recorder* r = recorders_.Peek(ChannelIdOf(device, channel));
    if (!r) return -1;
    r->ChangeDisk(disk);
    if (r->StartIfIdle(info) != 0) return -1;
    SetRecordState(ChannelIdOf(device, channel), kRecordManual, now);
    return 0;
}

int RecordingService::StartManualRecording(int device, int channel) {
    if (IsValidChannel(device, channel) != 0) {
        Trace("manual recording of channel %d of device %d: not configured\n", channel, device);
        return -1;
    }
    int disk = disks_.CurrentRecordDisk();
    if (disk < 0) {
        Trace("manual recording of channel %d of device %d: no usable disk\n", channel, device);
        return -1;
    }
    // What runs gives way to the operator's recording; the switch keeps it manual at the sweeps.
    StopRecording(device, channel);
    int now = clockSnapshot().SecondOfDay();
    if (StartManualRecordingOn(device, channel, disk, now) != 0) {
        Trace("manual recording of channel %d of device %d: the channel is not open\n", channel, device);
        return -1;
    }
    runtime_.channel(device, channel).manualRecord = 1;
    return 0;
}

int RecordingService::StopRecording(int device, int channel) {
    if (IsValidChannel(device, channel) != 0) {
        Trace("stop recording of channel %d of device %d: not configured\n", channel, device);
        return -1;
    }
    {
        std::lock_guard lock(recordersMutex_);
        if (Recorder* r = recorders_.Peek(ChannelIdOf(device, channel))) r->StopRecording();
    }
    runtime_.channel(device, channel).manualRecord = 0;
    SetRecordState(ChannelIdOf(device, channel), kRecordNone, -1);
    return 0;
}

int RecordingService::SetRecordDisk(int device, int channel, int disk) {
    if (IsValidChannel(device, channel) != 0) return -1;
    std::lock_guard lock(recordersMutex_);
    Recorder* r = recorders_.Peek(ChannelIdOf(device, channel));
    return r ? r->ChangeDisk(disk) : -1;
}

void RecordingService::LogRecordWriteFailures(int device, int channel) {
    std::vector<std::string> failures;
    {
        std::lock_guard lock(recordersMutex_);
        if (Recorder* r = recorders_.Peek(ChannelIdOf(device, channel))) failures = r->TakeWriteFailures();
    }
    for (const std::string& file : failures) log_.LogWrite(kLogSystem, kLogDiskError, device, channel, file.c_str(), "");
}

void RecordingService::SchedulerPass() {
    const SystemSettings& s = store_.settings();
    Sweep sweep;
    int fileMinutes = Relaxed(s.RECLEN);
    if (fileMinutes < 1) fileMinutes = 5;  // a damaged setting still splits files
    sweep.recordSeconds = fileMinutes * 60;
    sweep.systemPlan = Relaxed(s.PLANREC) != 0;
    sweep.disk = disks_.CurrentRecordDisk();
    sweep.clock = clockSnapshot();
    sweep.now = sweep.clock.SecondOfDay();
    sweep.halfHour = HalfHourOf(sweep.clock.hour, sweep.clock.minute);
    for (int d = 0; d < kMaxDevices && !exiting_; ++d) {
        if (IsValidChannel(d, 0) != 0) continue;
        int count = std::min<int>(Relaxed(store_.device(d).channelCount), kMaxChannels);
        for (int ch = 0; ch < count; ++ch) {
            alarms_.HoldPass(d, ch);
            InitRecorderDisk(ChannelIdOf(d, ch), sweep.disk);
            LogRecordWriteFailures(d, ch);
            DecideRecording(d, ch, sweep);
            // After the decision: a recording that ended in it lets its recorder go now.
            FollowRecordingPossibility(d, ch);
        }
    }
}

void RecordingService::DecideRecording(int d, int ch, const Sweep& sweep) {
    const ChannelInfo& rec = store_.device(d).channels[ch];
    ChannelRuntime& c = runtime_.channel(d, ch);
    const int id = ChannelIdOf(d, ch), now = sweep.now, disk = sweep.disk;
    bool alarmRecords = ((Relaxed(rec.alarmMd) | Relaxed(rec.alarmInput)) & kLinkRecord) != 0;
    bool alarmWants = c.alarmActive.load() != kAlarmNone && c.armedNow.load() != 0 && alarmRecords;
    bool planWants = sweep.systemPlan && Relaxed(rec.planRecord) != 0 &&
                     IsScheduleActive(rec.planSchedule, sweep.clock.weekday, sweep.halfHour);
    bool connected = c.connectState.load() == kStreamOpen;
    bool change = false;
    if (c.recordActive.load()) {
        RecordKind type = c.recordType.load();
        int start = c.recordStart.load();
        if (type == kRecordPlan && alarmWants) change = true;
        if (type == kRecordAlarm && c.alarmActive.load() == kAlarmNone) change = true;
        if (type == kRecordPlan && !planWants) change = true;
        if (now - start >= sweep.recordSeconds || now < start || now == 0) change = true;
        if (SetRecordDisk(d, ch, disk) != 0) change = true;
        bool overflow = start == -2;
        if (connected && !overflow && !change) return;
        if (!connected || overflow) {
            {
                std::lock_guard lock(recordersMutex_);
                if (Recorder* r = recorders_.Peek(id)) r->StopRecording();
            }
            SetRecordState(id, kRecordNone, -1);
            change = true;
        }
        c.recordActive = 0;
    }
    RecordKind kind = kRecordNone;
    if (disk >= 0 && connected && c.mainStream.load() != 0) {
        if (c.manualRecord.load()) kind = kRecordManual;
        else if (alarmWants) kind = kRecordAlarm;
        else if (planWants) kind = kRecordPlan;
        if (kind != kRecordNone) c.recordActive = 1;
    }
    if (kind != kRecordNone || change) {
        StartScheduledRecording(d, ch, disk, kind, change, now, kind);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void RecordingService::Start() {
    std::lock_guard lock(schedulerMutex_);
    if (scheduler_.joinable()) return;
    schedulerStop_.Reset();
    scheduler_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "rec-scheduler");
        SchedulerLoop();
    });
}

void RecordingService::Stop() {
    std::lock_guard lock(schedulerMutex_);
    schedulerStop_.Request();
    if (scheduler_.joinable()) scheduler_.join();
}

void RecordingService::SchedulerLoop() {
    do {
        SchedulerPass();
    } while (!schedulerStop_.WaitFor(std::chrono::seconds(1)));
}

}  // namespace ocv
