// Recording operations of the device service and the once-a-second scheduler sweep.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "device/device_service.h"
#include "platform/file_util.h"
#include "record/record_paths.h"
#include "base/clock.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

constexpr int kRecordTypeManual = 1;
constexpr int kRecordTypeAlarm = 2;
constexpr int kRecordTypePlan = 3;

}  // namespace

bool DeviceService::HasRecorder(int channelId) const {
    return channelId >= 0 && channelId < kChannelIdCount && recorders_[channelId].load() != nullptr;
}

void DeviceService::InitRecorderDisk(int channelId, int disk) {
    std::lock_guard lock(recordersMutex_);
    if (Recorder* r = recorders_[channelId].load()) r->InitDisk(disk);
}

RecordStartInfo DeviceService::MakeStartInfo(int device, int channel, int disk, int recordType) {
    ClockSnapshot now = clockSnapshot();
    RecordStartInfo info{};
    info.year = static_cast<uint32_t>(now.year);
    info.month = static_cast<uint32_t>(now.month);
    info.day = static_cast<uint32_t>(now.day);
    info.hour = static_cast<uint32_t>(now.hour);
    info.minute = static_cast<uint32_t>(now.minute);
    info.second = static_cast<uint32_t>(now.second);
    info.disk = static_cast<uint32_t>(disk);
    info.recordType = static_cast<uint32_t>(recordType);
    const DeviceInfo& dev = store_.device(device);
    char host[kTextBytes];
    ReadTextRelaxed(dev.host, host);
    std::string folder = ChannelFolderName(host, Relaxed(dev.port), channel + 1);
    memcpy(info.folder, folder.c_str(), std::min(folder.size() + 1, sizeof info.folder));
    info.folder[sizeof info.folder - 1] = '\0';
    return info;
}

int DeviceService::StartScheduledRecording(int device, int channel, int disk, int start, bool split,
                                           int now, int recordType) {
    if (IsValidChannel(device, channel) != 0) return -1;
    // Only a start needs a disk: with none usable a running recording must still be stopped.
    if (start != 0 && disk < 0) return -1;
    ChannelInfo& c = Channel(device, channel);
    if (c.connectState.load() != 2 || c.mainStream.load() == 0) return -1;
    RecordStartInfo info = MakeStartInfo(device, channel, disk, recordType);
    if (start != 0) MakeDirectories(RecordFolderPath(info));
    std::lock_guard lock(recordersMutex_);
    Recorder* r = recorders_[ChannelIdOf(device, channel)].load();
    if (!r || r->StartRecording(info, start, split) != 0) return -1;
    if (split) {
        c.recordType = 0;
        c.recordStart = -1;
    }
    if (start) {
        c.recordType = recordType;
        c.recordStart = now;
    }
    return 0;
}

int DeviceService::StartManualRecording(int device, int channel, int disk, int now, int recordType) {
    if (IsValidChannel(device, channel) != 0 || disk < 0) return -1;
    ChannelInfo& c = Channel(device, channel);
    if (c.connectState.load() != 2 || c.mainStream.load() == 0 || c.recordType.load() != 0) return -1;
    RecordStartInfo info = MakeStartInfo(device, channel, disk, recordType);
    MakeDirectories(RecordFolderPath(info));
    std::lock_guard lock(recordersMutex_);
    Recorder* r = recorders_[ChannelIdOf(device, channel)].load();
    if (!r) return -1;
    r->ChangeDisk(disk);
    if (r->StartIfIdle(info) != 0) return -1;
    c.recordType = kRecordTypeManual;
    c.recordStart = now;
    return 0;
}

int DeviceService::StopRecording(int device, int channel, int) {
    if (IsValidChannel(device, channel) != 0) return -1;
    ChannelInfo& c = Channel(device, channel);
    {
        std::lock_guard lock(recordersMutex_);
        if (Recorder* r = recorders_[ChannelIdOf(device, channel)].load()) r->StopRecording();
    }
    c.recordType = 0;
    c.recordStart = -1;
    return 0;
}

int DeviceService::SetRecordDisk(int device, int channel, int disk) {
    if (IsValidChannel(device, channel) != 0) return -1;
    std::lock_guard lock(recordersMutex_);
    Recorder* r = recorders_[ChannelIdOf(device, channel)].load();
    return r ? r->ChangeDisk(disk) : -1;
}

void DeviceService::LogRecordWriteFailures(int device, int channel) {
    std::vector<std::string> failures;
    {
        std::lock_guard lock(recordersMutex_);
        if (Recorder* r = recorders_[ChannelIdOf(device, channel)].load()) failures = r->TakeWriteFailures();
    }
    for (const std::string& file : failures)
        log_.LogWrite(kLogSystem, kLogDiskError, device, channel, file.c_str(), "");
}

void DeviceService::SchedulerPass() {
    SystemSettings& s = store_.settings();
    if (Relaxed(s.RECLEN) < 1) SetRelaxed(s.RECLEN, 5);
    int recordSeconds = Relaxed(s.RECLEN) * 60;
    bool systemPlan = Relaxed(s.PLANREC) != 0;
    int disk = disks_.CurrentRecordDisk();
    ClockSnapshot clock = clockSnapshot();
    int now = clock.SecondOfDay();
    int halfHour = HalfHourOf(clock.hour, clock.minute);
    for (int d = 0; d < kMaxDevices && !exiting_; ++d) {
        if (IsValidChannel(d, 0) != 0) continue;
        DeviceInfo& dev = store_.device(d);
        int count = std::min<int>(Relaxed(dev.channelCount), kMaxChannels);
        for (int ch = 0; ch < count; ++ch) {
            alarms_.HoldPass(d, ch);
            ChannelInfo& c = dev.channels[ch];
            int id = ChannelIdOf(d, ch);
            InitRecorderDisk(id, disk);
            LogRecordWriteFailures(d, ch);
            bool alarmRecords = ((Relaxed(c.alarmMd) | Relaxed(c.alarmInput)) & kLinkRecord) != 0;
            bool alarmWants = c.alarmActive.load() != 0 && c.armedNow.load() != 0 && alarmRecords;
            bool planWants = systemPlan && Relaxed(c.planRecord) != 0 &&
                             IsScheduleActive(c.planSchedule, clock.weekday, halfHour);
            bool connected = c.connectState.load() == 2;
            bool change = false;
            if (c.recordActive.load()) {
                int type = c.recordType.load();
                int start = c.recordStart.load();
                if (type == kRecordTypePlan && alarmWants) change = true;
                if (type == kRecordTypeAlarm && c.alarmActive.load() == 0) change = true;
                if (type == kRecordTypePlan && !planWants) change = true;
                if (now - start >= recordSeconds || now < start || now == 0) change = true;
                if (SetRecordDisk(d, ch, disk) != 0) change = true;
                bool overflow = start == -2;
                if (connected && !overflow && !change) continue;
                if (!connected || overflow) {
                    if (StopRecording(d, ch, now) == 0) alarms_.QueueRecordStateEvent(id);
                    change = true;
                }
                c.recordActive = 0;
            }
            int kind = 0;
            if (disk >= 0 && connected && c.mainStream.load() != 0) {
                if (c.manualRecord.load()) kind = kRecordTypeManual;
                else if (alarmWants) kind = kRecordTypeAlarm;
                else if (planWants) kind = kRecordTypePlan;
                if (kind) c.recordActive = 1;
            }
            if (kind || change) {
                StartScheduledRecording(d, ch, disk, kind, change, now, kind);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    }
}

}  // namespace ocv
