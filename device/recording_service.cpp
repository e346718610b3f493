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

RecordingService::RecordingService(Parts p)
    : store_(p.store),
      runtime_(p.runtime),
      hub_(p.hub),
      log_(p.log),
      disks_(p.disks),
      alarms_(p.alarms),
      exiting_(p.exiting),
      recorders_(new std::atomic<Recorder*>[kChannelIdCount]) {
    for (int i = 0; i < kChannelIdCount; ++i) recorders_[i] = nullptr;
}

RecordingService::~RecordingService() {
    Stop();
    for (int i = 0; i < kChannelIdCount; ++i) delete recorders_[i].exchange(nullptr);
}

void RecordingService::CreateRecorder(int device, int channel, int preRecordSeconds) {
    int channelId = ChannelIdOf(device, channel);
    // The recorder reports when its writer begins the first file of a recording or ends one.
    auto* recorder = new Recorder(device, channel, [this](int id) {
        PublishTo(&hub_, RecordStateChanged{id, runtime_.channel(id).recordType.load()});
    });
    recorder->SetStreamInfo(StreamInfo{});
    recorder->Start(preRecordSeconds);
    Recorder* previous;
    {
        std::lock_guard lock(recordersMutex_);
        previous = recorders_[channelId].exchange(recorder);
    }
    delete previous;
}

void RecordingService::DeleteRecorder(int channelId) {
    Recorder* recorder;
    {
        std::lock_guard lock(recordersMutex_);
        recorder = recorders_[channelId].exchange(nullptr);
    }
    delete recorder;
}

void RecordingService::SetStreamInfo(int channelId, const StreamInfo& info) {
    if (Recorder* r = recorders_[channelId].load()) r->SetStreamInfo(info);
}

void RecordingService::AddFrame(int channelId, const void* frame, uint32_t length, uint32_t timestamp, int kind) {
    Recorder* r = recorders_[channelId].load();
    if (r == nullptr) return;
    // A ring overflow (the writer could not keep up) ends the file at the next sweep.
    if (r->AddFrame(frame, length, timestamp, kind) == -2) runtime_.channel(channelId).recordStart = -2;
}

bool RecordingService::HasRecorder(int channelId) const {
    return IsChannelId(channelId) && recorders_[channelId].load() != nullptr;
}

void RecordingService::InitRecorderDisk(int channelId, int disk) {
    std::lock_guard lock(recordersMutex_);
    if (Recorder* r = recorders_[channelId].load()) r->InitDisk(disk);
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
    Recorder* r = recorders_[ChannelIdOf(device, channel)].load();
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
    Recorder* r = recorders_[ChannelIdOf(device, channel)].load();
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
        if (Recorder* r = recorders_[ChannelIdOf(device, channel)].load()) r->StopRecording();
    }
    runtime_.channel(device, channel).manualRecord = 0;
    SetRecordState(ChannelIdOf(device, channel), kRecordNone, -1);
    return 0;
}

int RecordingService::SetRecordDisk(int device, int channel, int disk) {
    if (IsValidChannel(device, channel) != 0) return -1;
    std::lock_guard lock(recordersMutex_);
    Recorder* r = recorders_[ChannelIdOf(device, channel)].load();
    return r ? r->ChangeDisk(disk) : -1;
}

void RecordingService::LogRecordWriteFailures(int device, int channel) {
    std::vector<std::string> failures;
    {
        std::lock_guard lock(recordersMutex_);
        if (Recorder* r = recorders_[ChannelIdOf(device, channel)].load()) failures = r->TakeWriteFailures();
    }
    for (const std::string& file : failures) log_.LogWrite(kLogSystem, kLogDiskError, device, channel, file.c_str(), "");
}

void RecordingService::SchedulerPass() {
    const SystemSettings& s = store_.settings();
    int fileMinutes = Relaxed(s.RECLEN);
    if (fileMinutes < 1) fileMinutes = 5;  // a damaged setting still splits files
    int recordSeconds = fileMinutes * 60;
    bool systemPlan = Relaxed(s.PLANREC) != 0;
    int disk = disks_.CurrentRecordDisk();
    ClockSnapshot clock = clockSnapshot();
    int now = clock.SecondOfDay();
    int halfHour = HalfHourOf(clock.hour, clock.minute);
    for (int d = 0; d < kMaxDevices && !exiting_; ++d) {
        if (IsValidChannel(d, 0) != 0) continue;
        const DeviceInfo& dev = store_.device(d);
        int count = std::min<int>(Relaxed(dev.channelCount), kMaxChannels);
        for (int ch = 0; ch < count; ++ch) {
            alarms_.HoldPass(d, ch);
            const ChannelInfo& rec = dev.channels[ch];
            ChannelRuntime& c = runtime_.channel(d, ch);
            int id = ChannelIdOf(d, ch);
            InitRecorderDisk(id, disk);
            LogRecordWriteFailures(d, ch);
            bool alarmRecords = ((Relaxed(rec.alarmMd) | Relaxed(rec.alarmInput)) & kLinkRecord) != 0;
            bool alarmWants = c.alarmActive.load() != kAlarmNone && c.armedNow.load() != 0 && alarmRecords;
            bool planWants = systemPlan && Relaxed(rec.planRecord) != 0 &&
                             IsScheduleActive(rec.planSchedule, clock.weekday, halfHour);
            bool connected = c.connectState.load() == kStreamOpen;
            bool change = false;
            if (c.recordActive.load()) {
                RecordKind type = c.recordType.load();
                int start = c.recordStart.load();
                if (type == kRecordPlan && alarmWants) change = true;
                if (type == kRecordAlarm && c.alarmActive.load() == kAlarmNone) change = true;
                if (type == kRecordPlan && !planWants) change = true;
                if (now - start >= recordSeconds || now < start || now == 0) change = true;
                if (SetRecordDisk(d, ch, disk) != 0) change = true;
                bool overflow = start == -2;
                if (connected && !overflow && !change) continue;
                if (!connected || overflow) {
                    {
                        std::lock_guard lock(recordersMutex_);
                        if (Recorder* r = recorders_[id].load()) r->StopRecording();
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
