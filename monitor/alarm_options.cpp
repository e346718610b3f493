#include "monitor/alarm_options.h"

#include "platform/profile.h"

namespace ocv {
namespace {
constexpr const char* kSection = "CONFIG";
constexpr const char* kKey = "ALARMDIALOG";
}  // namespace

AlarmDialogOptions DefaultAlarmDialogOptions() {
    AlarmDialogOptions o{};
    o.showAlarmList = 1;
    o.popupVideo = 1;
    o.soundOn = 1;
    o.autoShow = 1;
    o.reserved = 0;
    o.motion = 1;
    o.input = 1;
    o.other = 1;
    o.floating = 0;
    o.listsShown = 0;
    return o;
}

AlarmDialogOptions LoadAlarmDialogOptions(const std::string& configIni) {
    AlarmDialogOptions o{};
    if (!GetPrivateProfileStructA(kSection, kKey, &o, sizeof o, configIni.c_str())) return DefaultAlarmDialogOptions();
    uint8_t* bytes = reinterpret_cast<uint8_t*>(&o);
    for (size_t i = 0; i < sizeof o; ++i)
        if (&bytes[i] != &o.reserved && bytes[i] > 1) bytes[i] = 1;
    return o;
}

bool SaveAlarmDialogOptions(const std::string& configIni, const AlarmDialogOptions& options) {
    return WritePrivateProfileStructA(kSection, kKey, &options, sizeof options, configIni.c_str());
}

}  // namespace ocv
