#pragma once
// The texts and icons the live view shows for a channel: the tree label, the cell label, the
// state icons of the tree and the temperature strip of a cell.
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/runtime_table.h"
#include "store/records.h"

namespace ocv {

// "name", else "<device>-C01", else "<host>:<port>-01" (channel numbers from 1, two digits);
// followed by " (wrong password)" (translated) while the device refuses its password.
std::string TreeChannelLabel(const DeviceInfo& device, int channelIndex, DeviceState state);
// The same rule for a cell's status strip, with "-C<n>" without padding.
std::string CellChannelLabel(const DeviceInfo& device, int channelIndex);

// Indices into treeIcon.png, 20 pixels per icon.
enum TreeIcon : int {
    kIconGroupOpen = 0,
    kIconGroupClosed = 1,
    kIconChannelOn = 2,       // no stream, channel reported on
    kIconConnecting = 4,      // stream handle without a connection yet
    kIconConnected = 3,
    kIconChannelOff = 5,
    kIconWrongPassword = 6,   // the channel's device refuses the stored user name or password
    kIconRecordManual = 9,
    kIconRecordAlarm = 10,
    kIconRecordPlan = 11,
    kIconAlarm = 12,
    kIconSound = 13,
    kIconTalk = 14,
};

struct ChannelStateView {
    bool soundOn = false;  // a cell plays the channel's sound
    bool talking = false;  // the channel holds the talk
};
std::vector<int> ChannelStateIcons(const ChannelRuntime& channel, ChannelStateView extra);
// The same for a channel of a device, which also shows the device's own state: a device that
// refuses its password shows that icon alone, whatever its channels last reported.
std::vector<int> ChannelStateIcons(const DeviceRuntime& device, int channelIndex, ChannelStateView extra);

constexpr uint32_t kStripDefaultArgb = 0xFF434445;
constexpr uint32_t kStripNormalArgb = 0xFF008100;
constexpr uint32_t kStripAbnormalArgb = 0xFFFF0000;

// A channel's last body-temperature event (code 18 normal, 19 abnormal; 0 when none).
struct TemperatureMark {
    int32_t code = 0;
    uint32_t time = 0;  // seconds since 1970
};

struct CellStrip {
    std::string text;
    uint32_t argb = kStripDefaultArgb;
};
// The strip of a cell showing a channel labelled `label`; previous is what the strip showed
// before (kept when the mark is of another code). normalText/abnormalText come translated.
CellStrip TemperatureStrip(const std::string& label, const TemperatureMark& mark, const CellStrip& previous,
                           const std::string& normalText, const std::string& abnormalText);

}  // namespace ocv
