#pragma once
// What the system settings page shows, as plain values: list positions, check boxes and texts,
// and how they map to and from the settings record. Qt-free, so the mappings and their clamps
// are tested without a window; the page only moves these values in and out of its controls.
#include <cstdint>
#include <string>

#include "store/records.h"

namespace ocv {

// Sizes of the lists the page offers (position + 1 is the value).
constexpr int kTimeoutItems = 180;     // "Connection Timeout": 1..180 "Sec"
constexpr int kRecLengthItems = 120;   // "REC Length": 1..120 "Min"
constexpr int kLogWeeksItems = 52;     // "Save the log time": 1..52 "Week"
// Accepted alarm hold times, seconds.
constexpr int kMinAlarmSeconds = 5;
constexpr int kMaxAlarmSeconds = 1800;
// Bounds the recorder and the disk monitor work within; the page offers nothing outside them.
constexpr int kMinPreRecordSeconds = 1;
constexpr int kMaxPreRecordSeconds = 15;
constexpr int kMinDiskReserveGiB = 1;
constexpr int kMaxDiskReserveGiB = 50;
// The tour intervals offered, as in the tour popup of the live view.
constexpr int kTourIntervalCount = 5;
constexpr int kTourIntervalSeconds[kTourIntervalCount] = {20, 40, 60, 180, 300};

struct SystemSettingsForm {
    int timeoutPosition = 0;    // TIMEOUT - 1
    int recLengthPosition = 0;  // RECLEN - 1
    int logWeeksPosition = 0;   // LOGMONTH - 1
    int streamMode = 0;         // SHOWMODE: "Single-stream mode", "Dual-stream mode"
    int recStream = 0;          // RECSTREAM: "Main stream", "Sub stream"
    int photoType = 0;          // PHOTOTYPE: JPEG, bitmap
    int realplay = 0;           // netPriority: "Real time priority", "Fluent priority"
    int tempUnit = 0;           // "Celsius degree", "Fahrenheit degree"
    std::string alarmSeconds;   // ALARMLEN as typed
    std::string photoPath;      // PHOTOPATH
    bool timeSync = false;      // ENABLETIME
    int syncHour = 0, syncMinute = 0, syncSecond = 0;  // CHECKTIME
    int32_t diskMask = 0;       // DISK
    int preRecordSeconds = 5;   // PREREC
    int diskReserveGiB = 5;     // DISKREMAIN
    bool cover = false;         // COVER
    bool planRecord = false;    // PLANREC
    bool arming = false;        // ARMFLAG
    int tourPosition = 0;       // ROTALEN: position in kTourIntervalSeconds
    int tourType = 0;           // ROTATYPE: "Single screen rota", "Multi-screen rota"
    bool autoLogin = false;     // AUTOMATIC
    bool connectAtStart = false;  // CONNECT
    bool exitNeedsLogin = false;  // ENABLEOSD
};

// The form of a record. Values the lists cannot show are clamped into them (a stored RECLEN of
// 0 shows as 1 minute, a PHOTOTYPE of 2 as the bitmap entry, a CHECKTIME beyond the day as
// 23:59:59, a tour interval as the nearest one offered), so what the page shows is what a save
// writes.
SystemSettingsForm FormFromSettings(const SystemSettings& settings);

// Writes the form into *settings (fields the form does not show are left as they are).
// nullptr when the form is acceptable, else the English message and *settings unchanged:
// an alarm duration that is not a number within 5..1800 seconds, or an unusable capture path.
const char* SettingsFromForm(const SystemSettingsForm& form, SystemSettings* settings);

// The second of the day of a synchronisation time, each part clamped (hour 0..23, minute and
// second 0..59); and back.
int32_t CheckTimeOf(int hour, int minute, int second);
void SplitCheckTime(int32_t checkTime, int* hour, int* minute, int* second);

// A capture folder the snapshots can use: a drive form ("D:\pics") or an absolute directory,
// at most 258 bytes (a "\" may still be appended), no line breaks. nullptr, or the refusal.
const char* CapturePathRefusal(const std::string& path);

}  // namespace ocv
