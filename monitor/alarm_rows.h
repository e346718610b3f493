#pragma once
// The alarm window's rules without a window: which of its lists an event goes to, how a row
// reads, the bounded lists themselves, and when an alarm pops up its channel's video.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "monitor/alarm_options.h"
#include "runtime/core_events.h"

namespace ocv {

class ChannelDirectory;

// Where an event is listed: bit values of its lists.
enum AlarmListBits : int {
    kInAlarmList = 1,  // alarmList: abnormal temperatures
    kInEventList = 2,  // eventList: every reading, and the device alarms the options choose
};

// A reading goes to eventList, an abnormal one to alarmList as well. Device alarms (motion,
// input, audio; start and stop) go to eventList when mdOption, ioOption or otherOption lists
// them. Anything else is not listed (0).
int ListsFor(const AlarmEvent& event, const AlarmDialogOptions& options);

// Rows of code 19 are drawn in red.
inline bool IsAbnormalReading(int code) { return code == kEventTemperatureAbnormal; }
constexpr uint32_t kAbnormalRowArgb = 0xFFFF0000;

// The English name of an event code; "Unkown" for a code without one (the window's own text).
const char* AlarmEventName(int code);

// "%04d-%02d-%02d %02d:%02d:%02d" of a time in local time.
std::string AlarmTimeText(uint32_t time);

// The device alarm type (0 motion, 1 input, 3 audio) of an alarm's start code; -1 for any
// other code (stops and readings pop nothing up).
int DeviceAlarmTypeOfStart(int code);

// Whether a device alarm pops up its channel's video: a valid channel, a type other than 100,
// bit value 1 in the channel's linkage word of that type (motion, input, video loss, disk
// full (also the audio alarm), disk error, by type 0..4), the popup option on and the channel
// armed now.
bool PopupWanted(const ChannelDirectory& directory, int channelId, int type, bool popupOption);

// One of the window's lists: newest first, at most `capacity` rows (the oldest go).
class AlarmRowList {
public:
    static constexpr size_t kDefaultCapacity = 2000;
    explicit AlarmRowList(size_t capacity = kDefaultCapacity) : capacity_(capacity == 0 ? 1 : capacity) {}

    // Returns whether the oldest row had to go to make room.
    bool Add(const AlarmEvent& event);
    void DropOldest() {
        if (!rows_.empty()) rows_.pop_back();
    }
    bool Full() const { return rows_.size() >= capacity_; }
    void Clear() { rows_.clear(); }
    size_t size() const { return rows_.size(); }
    size_t capacity() const { return capacity_; }
    // Row 0 is the newest.
    const AlarmEvent& at(size_t row) const { return rows_[row]; }

private:
    size_t capacity_;
    std::deque<AlarmEvent> rows_;
};

}  // namespace ocv
