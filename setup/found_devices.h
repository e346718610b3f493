#pragma once
// The search window's rules, without the window: the devices found (each device id once, in
// address order), the protocols each search mode offers, the progress of a search, and the
// network settings the operator edits for a found device.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/qvx_sdk.h"

namespace ocv {

// The search modes the device page opens the window with.
constexpr int kSearchModeDefault = 0;
constexpr int kSearchModeAll = 255;
constexpr int kSearchModeOnvif = 101;

// The found devices in list order: ascending by address text, compared byte by byte (so
// 192.168.1.20 comes before 192.168.1.3), a device id listed once.
class FoundDeviceList {
public:
    // false (and nothing changes) for a record whose device id is empty, longer than 36
    // characters or already listed: the first report of a device wins. Otherwise the record goes
    // before the first one whose address is greater; its row.
    bool Insert(const QVX_FOUND_DEVICE& record, int* row = nullptr);
    void Clear() { records_.clear(); }
    const std::vector<QVX_FOUND_DEVICE>& records() const { return records_; }
    int size() const { return static_cast<int>(records_.size()); }

private:
    std::vector<QVX_FOUND_DEVICE> records_;
};

// A text field of a found record, never read past its field.
template <size_t N>
std::string FoundText(const char (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n] != '\0') ++n;
    return std::string(field, n);
}

// An entry of the protocol combo: its text and the protocol it searches.
struct SearchProtocolEntry {
    const char* text;
    int protocol;
};
// The combo's entries for a search mode (none: the combo is empty).
std::vector<SearchProtocolEntry> SearchModeEntries(int mode);
// Modes 3..6 hide the combo.
bool SearchModeShowsCombo(int mode);
// The protocol a search sends: the mode itself for 4, 5 and 6, WS-Discovery for the ONVIF mode,
// else the selected entry's (0 when the combo is empty).
int SearchProtocolOf(int mode, const std::vector<SearchProtocolEntry>& entries, int selected);
// Network settings are offered except for ONVIF (12) and XM (9) searches.
bool SettingsOfferedFor(int protocol);

// The progress bar: a 60 ms timer adds a tick; the bar shows twice the ticks, and the search
// window's controls come back once that passes 100 (after 51 ticks, about 3 s), whether or
// not a device answered.
class SearchProgress {
public:
    static constexpr int kTickMs = 60;
    void Reset() { ticks_ = 0; }
    // One tick; true when the controls come back now.
    bool Tick();
    int value() const { return ticks_ * 2 > 100 ? 100 : ticks_ * 2; }
    bool done() const { return ticks_ * 2 > 100; }

private:
    int ticks_ = 0;
};

// What the settings panel's edits hold.
struct NetworkEdits {
    std::string address, port, mask, gateway, dns1, dns2;
};
// Copies the edits into record (address, mask, gateway and both DNS servers; an empty one is
// sent as "0.0.0.0"). nullptr, or the English refusal with record unchanged: the port must lie
// in 80..65535, and each address must fit its field.
const char* ApplyNetworkEdits(const NetworkEdits& edits, QVX_FOUND_DEVICE* record);

// A unicast search target as the operator types it: an IPv4 address, optionally ":port".
// false for anything else.
bool ParseSearchTarget(std::string_view text, std::string* address, uint16_t* port);

}  // namespace ocv
