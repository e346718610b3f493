#pragma once
// The 120-byte record of the alarm, system and operation logs, and the tables that name them.
#include <cstdint>
#include <string>

namespace ocv {

enum LogType : int { kLogAlarm = 0, kLogSystem = 1, kLogOperate = 2 };
constexpr int kLogTypeCount = 3;

#pragma pack(push, 1)
struct LogRecord {
    uint32_t time;     // seconds since 1970
    uint16_t logType;
    uint16_t subtype;
    char user[24];     // NUL-terminated
    char device[24];   // "<host>:<port>-<channel from 1>", see FormatLogDeviceText
    char note[64];     // NUL-terminated
};
#pragma pack(pop)
static_assert(sizeof(LogRecord) == 120);

// Subtypes written by the core; the pages write the others by number.
enum LogSubtype : int {
    kLogMotionStart = 0,
    kLogMotionStop = 1,
    kLogInputStart = 2,
    kLogInputStop = 3,
    kLogAudioStart = 4,
    kLogAudioStop = 5,
    kLogEnterSystem = 6,
    kLogExitSystem = 7,
    kLogDeleteLogs = 8,
    kLogConnected = 9,
    kLogDisconnected = 10,
    kLogFileRecovery = 11,
    kLogDiskError = 12,
    kLogNoDiskSpace = 13,
    kLogLogin = 14,
    kLogLogout = 15,
    kLogBackupLog = 29,
    kLogManualRecord = 35,
    kLogStopManualRecord = 36,
    kLogChannelConnected = 40,     // an operator's channel opened
    kLogChannelDisconnected = 41,  // and closed
    kLogTemperatureNormal = 42,
    kLogTemperatureAbnormal = 43,
};
constexpr int kLogSubtypeCount = 44;

// English texts (translated by the pages through GetLangString).
const char* LogTypeName(int logType);     // "Alarm", "System", "Operate"; "" outside 0..2
const char* LogSubtypeText(int subtype);  // "" outside the table
char LogFilePrefix(int logType);          // 'A', 'S', 'O'; 0 outside 0..2

// The device field as records keep it. A host of up to 31 characters does not always fit the
// 23 characters of the field: the host is cut, never the ":port-channel" suffix, so records of
// different channels stay apart and readers can rebuild the same text to match.
std::string FormatLogDeviceText(const char* host, int port, int channelNumber);

// "<prefix><yyyymmdd>.log" of a time in local time.
std::string LogFileName(int logType, int64_t time);

}  // namespace ocv
