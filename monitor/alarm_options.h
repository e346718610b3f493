#pragma once
// The alarm window's display options: the 10-byte "ALARMDIALOG" block of config.ini, section
// CONFIG, read once when the window is built and written back whole on every change.
#include <cstdint>
#include <string>

namespace ocv {

struct AlarmDialogOptions {
    uint8_t showAlarmList;  // 1 = alarmOption (abnormal readings) chosen, 0 = eventOption
    uint8_t popupVideo;     // videoOption
    uint8_t soundOn;        // soundOption: the alarm sounds' global switch
    uint8_t autoShow;       // autoOption: an alarm opens the lists when they are hidden
    uint8_t reserved;
    uint8_t motion;         // mdOption: motion alarms are listed
    uint8_t input;          // ioOption: input alarms are listed
    uint8_t other;          // otherOption: audio alarms are listed
    uint8_t floating;       // floatOption: the panel is a window of its own
    uint8_t listsShown;     // displayOption: the lists are open ("Show/Hide")
};
static_assert(sizeof(AlarmDialogOptions) == 10);

// What a missing (or unreadable) block means: the alarm list, popup video, sound and automatic
// display on, every alarm kind listed, docked, lists hidden.
AlarmDialogOptions DefaultAlarmDialogOptions();

// A missing block, one of the wrong length or checksum, gives the defaults; bytes other than 0
// and 1 read as 1 (a damaged byte never turns an option into something it cannot be).
AlarmDialogOptions LoadAlarmDialogOptions(const std::string& configIni);
bool SaveAlarmDialogOptions(const std::string& configIni, const AlarmDialogOptions& options);

}  // namespace ocv
