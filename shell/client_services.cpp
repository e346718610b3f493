#include "shell/client_services.h"

namespace ocv {

void SetService(DeviceService* service) {
    if (service == nullptr) {
        SetSessionServices({});
        return;
    }
    SetSessionServices({&service->store(), &service->log(),
                        [service](const std::string& name) { service->SetCurrentUser(name); }});
}

PageContext MakePageContext(DeviceService& service, EventBridge& events, bool startWorkers) {
    AlarmEngine& alarms = service.alarms();
    AlarmSoundPlayer& sounds = service.sounds();
    return PageContext{service.store(),
                       service.log(),
                       service.connections(),
                       service.players(),
                       service.recording(),
                       service.temperature(),
                       service.deviceConfig(),
                       service.directory(),
                       events,
                       service.talk(),
                       service.ptz(),
                       service.channelActions(),
                       [&alarms] { return std::pair<int, int>{alarms.TemperatureReadings(), alarms.AbnormalReadings()}; },
                       startWorkers,
                       AlarmSoundControls{[&sounds](int kind) { sounds.TestSound(kind); },
                                          [&sounds](int plays) { sounds.SetTemperatureRepeat(plays); }}};
}

}  // namespace ocv
