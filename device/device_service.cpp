#include "device/device_service.h"

#include <atomic>

#include "platform/app_dir.h"
#include "platform/file_util.h"
#include "record/record_repair.h"
#include "sdk/qvx_sdk.h"
#include "base/trace.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

std::atomic<DeviceService*> gService{nullptr};

void ExceptionTrampoline(int32_t type, QVX_HANDLE loginHandle, QVX_HANDLE streamHandle, void* context) {
    static_cast<DeviceService*>(context)->OnException(type, loginHandle, streamHandle);
}

DiskManager::Settings DiskSettingsOf(ConfigStore& store) {
    SystemSettings& s = store.settings();
    return {[&s] { return static_cast<uint32_t>(Relaxed(s.DISK)); },
            [&s] { return static_cast<int>(Relaxed(s.DISKREMAIN)); },
            [&s](int v) { SetRelaxed(s.DISKREMAIN, v); },
            [&s] { return Relaxed(s.COVER) != 0; }};
}

}  // namespace

DeviceService* CurrentDeviceService() { return gService.load(); }

DeviceService::DeviceService() : DeviceService(AppPath("QVXVMS.dat"), AppPath("Logx")) {}

DeviceService::DeviceService(const std::string& databasePath, const std::string& logDirectory)
    : log_(logDirectory),
      sounds_(&wavPlayer_, AppPath("Sound"), [this](SoundKind k) { return alarms_.SoundQualifies(k); }),
      disks_(DiskSettingsOf(store_),
             [this](int subtype, const char* note) { log_.LogWrite(kLogSystem, subtype, -1, 0, note, ""); }),
      alarms_(store_, log_, &sounds_, [this] { return disks_.CurrentRecordDisk(); }),
      players_(store_),
      recorders_(new std::atomic<Recorder*>[kChannelIdCount]) {
    for (int i = 0; i < kChannelIdCount; ++i) recorders_[i] = nullptr;
    Initialise(databasePath);
}

void DeviceService::Initialise(const std::string& databasePath) {
    MakeDirectories(log_.Directory());
    if (store_.Open(databasePath) == 0) {
        store_.LoadSettings();
        store_.LoadDevices();
        store_.LoadGroups();
        store_.LoadMaps();
        store_.LoadUsers();
        store_.ApplyStartupOverrides();
    } else {
        Trace("device service: cannot open the configuration database %s\n", databasePath.c_str());
    }
    log_.SetDeviceAddressResolver([this](int device, std::string* host, int* port) {
        if (store_.IsValidChannel(device, 0) != 0) return false;
        char text[kTextBytes];
        ReadTextRelaxed(store_.device(device).host, text);
        *host = text;
        *port = Relaxed(store_.device(device).port);
        return true;
    });
    alarms_.SetStreamUpHandler([this](int device, int channel) {
        Channel(device, channel).timeSyncPending = 1;
    });
    players_.SetChannelReleasedHandler([this](int channelId) { OnChannelReleased(channelId); });
    // Recordings a crash left open are put right before any recording begins.
    RepairRecordings();
    gService = this;
    QVX_SDK_SetExceptionCallBack(0, 0, ExceptionTrampoline, this);
}

DeviceService::~DeviceService() {
    exiting_ = true;
    alarms_.SetShuttingDown(true);
    StopWorkers();
    StopAllDevices();
    for (int d = 0; d < kMaxDevices; ++d) CloseThermalStream(d);
    {
        std::lock_guard lock(workersMutex_);
        for (std::thread& t : connectWorkers_)
            if (t.joinable()) t.join();
        connectWorkers_.clear();
        workerDone_.clear();
    }
    DeviceService* self = this;
    if (gService.compare_exchange_strong(self, nullptr)) QVX_SDK_SetExceptionCallBack(0, 0, nullptr, nullptr);
    store_.Close();
}

void DeviceService::SetCurrentUser(const std::string& userName) {
    std::lock_guard lock(userMutex_);
    currentUser_ = userName;
}

std::string DeviceService::CurrentUser() const {
    std::lock_guard lock(userMutex_);
    return currentUser_;
}

void DeviceService::SetTalkStopHandler(std::function<void(int channelId)> handler) {
    std::lock_guard lock(talkStopMutex_);
    talkStop_ = std::move(handler);
}

void DeviceService::OnChannelReleased(int channelId) {
    std::function<void(int)> stopTalk;
    {
        std::lock_guard lock(talkStopMutex_);
        stopTalk = talkStop_;
    }
    if (stopTalk) stopTalk(channelId);
    alarms_.QueueRecordStateEvent(channelId);
}

bool DeviceService::IsDualStream(const DeviceInfo& dev) const {
    int type = Relaxed(dev.type);
    return Relaxed(store_.settings().SHOWMODE) == 1 && type != 50 && type != 102;
}

void DeviceService::OnException(int type, int loginHandle, int streamHandle) {
    if (exiting_ || loginHandle == 0) return;
    if (type == QVX_EXCEPTION_LOGIN_REFUSED) return NoteLoginRefused(loginHandle);
    if (type < 1 || type > 5) return;
    alarms_.OnConnectionEvent(type, loginHandle, streamHandle);
    if (type == QVX_EXCEPTION_STREAM_CLOSED) NoteStreamClosedByDevice(loginHandle, streamHandle);
}

int DeviceService::DeviceOfLogin(int loginHandle) const {
    for (int d = 0; d < kMaxDevices; ++d)
        if (store_.device(d).loginHandle.load() == loginHandle) return d;
    return -1;
}

// Library threads: the device thread does the stopping, which calls back into the library
// (a callback must not wait for the login it came from).
void DeviceService::NoteLoginRefused(int loginHandle) {
    int device = DeviceOfLogin(loginHandle);
    if (device >= 0) loginBackoff_[device].refusedByLibrary = true;
}

void DeviceService::NoteStreamClosedByDevice(int loginHandle, int streamHandle) {
    int device = DeviceOfLogin(loginHandle);
    if (device < 0 || streamHandle == 0) return;
    DeviceInfo& dev = store_.device(device);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
        const ChannelInfo& c = dev.channels[ch];
        if (c.mainStream.load() == streamHandle || c.subStream.load() == streamHandle) {
            closedByDevice_[ChannelIdOf(device, ch)] = streamHandle;
            return;
        }
    }
}

void DeviceService::StartWorkers() {
    disks_.Start();
    sounds_.Start();
    std::lock_guard lock(schedulerMutex_);
    if (scheduler_.joinable()) return;
    schedulerStop_.Reset();
    scheduler_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "rec-scheduler");
        SchedulerLoop();
    });
}

void DeviceService::StopWorkers() {
    {
        std::lock_guard lock(schedulerMutex_);
        schedulerStop_.Request();
        if (scheduler_.joinable()) scheduler_.join();
    }
    sounds_.Stop();
    disks_.Stop();
}

void DeviceService::SchedulerLoop() {
    do {
        SchedulerPass();
    } while (!schedulerStop_.WaitFor(std::chrono::seconds(1)));
}

}  // namespace ocv
