#include "device/device_service.h"

#include "base/trace.h"
#include "platform/app_dir.h"
#include "platform/file_util.h"
#include "record/record_repair.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

DiskManager::Settings DiskSettingsOf(const ConfigStore& store) {
    return {[&store] { return static_cast<uint32_t>(Relaxed(store.settings().DISK)); },
            [&store] { return static_cast<int>(Relaxed(store.settings().DISKREMAIN)); },
            [&store] { return Relaxed(store.settings().COVER) != 0; }};
}

}  // namespace

DeviceService::DeviceService() : DeviceService(AppPath("QVXVMS.dat"), AppPath("Logx")) {}

DeviceService::DeviceService(const std::string& databasePath, const std::string& logDirectory)
    : log_(logDirectory),
      sounds_(&wavPlayer_, AppPath("Sound"), [this](SoundKind k) { return alarms_.SoundQualifies(k); }),
      disks_(DiskSettingsOf(store_),
             [this](int subtype, const char* note) { log_.LogWrite(kLogSystem, subtype, -1, 0, note, ""); }),
      alarms_(store_, runtime_, log_, &sounds_, [this] { return disks_.CurrentRecordDisk(); }, &hub_),
      players_(store_, runtime_),
      temperature_(store_, runtime_),
      deviceConfig_(store_, runtime_),
      recording_({store_, runtime_, hub_, log_, disks_, alarms_, exiting_}),
      connections_({store_, runtime_, hub_, log_, alarms_, players_, recording_, temperature_, timeSync_, operator_,
                    exiting_}),
      directory_(store_, runtime_),
      ptz_(store_, runtime_),
      channelActions_({store_, runtime_, connections_, players_, timeSync_}),
      talk_(store_, runtime_, hub_) {
    Initialise(databasePath);
}

void DeviceService::Initialise(const std::string& databasePath) {
    MakeDirectories(log_.Directory());
    store_.SetEventHub(&hub_);
    log_.SetEventHub(&hub_);
    disks_.SetEventHub(&hub_);
    if (store_.Open(databasePath) == 0) {
        store_.LoadAll();
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
    players_.SetChannelReleasedHandler([this](int channelId) { OnChannelReleased(channelId); });
    // The two-way talk ends when the cell showing its channel lets it go.
    SetTalkStopHandler([this](int channelId) { talk_.OnChannelReleased(channelId); });
    talk_.Start();
    // Recordings a crash left open are put right before any recording begins.
    RepairRecordings();
}

DeviceService::~DeviceService() {
    exiting_ = true;
    talk_.Shutdown();
    StopWorkers();
    connections_.StopAllDevices();
    for (int d = 0; d < kMaxDevices; ++d) connections_.CloseThermalStream(d);
    connections_.JoinConnectWorkers();
    hub_.Close();
    store_.Close();
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
    PublishTo(&hub_, ChannelStateChanged{channelId});
}

void DeviceService::StartWorkers() {
    disks_.Start();
    sounds_.Start();
    recording_.Start();
}

void DeviceService::StopWorkers() {
    recording_.Stop();
    sounds_.Stop();
    disks_.Stop();
}

}  // namespace ocv
