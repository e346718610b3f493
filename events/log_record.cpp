#include "events/log_record.h"

#include <time.h>

#include <cstdio>
#include <cstring>

namespace ocv {
namespace {

const char* const kSubtypeTexts[kLogSubtypeCount] = {
    "Motion detection occurs", "Stop Motion detection", "Input alarm occurs", "Stop Input alarm",
    "Audio alarm occurs", "Stop Audio alarm", "Enter system", "Exit system", "Delete Logs",
    "Successful connection", "Disconnect", "File recovery", "Disk error", "No disk space", "Login",
    "Logout", "Add Device", "Modify Device", "Delete device", "Add group", "Modify group",
    "Delete group", "Backup", "Playback capture", "Add Account", "Modify Account",
    "Delete Account", "Setting system parameters", "default system parameters", "Backup log",
    "Add map", "Modify map", "Delete Map", "Talk", "Close talk", "Manual REC", "Stop manual REC",
    "Capture", "Start rota", "Stop rota", "Connected", "Disconnect", "Temperature normal",
    "Temperature abnormal"};

}  // namespace

const char* LogTypeName(int logType) {
    static const char* const kNames[] = {"Alarm", "System", "Operate"};
    return (logType >= 0 && logType < kLogTypeCount) ? kNames[logType] : "";
}

const char* LogSubtypeText(int subtype) {
    return (subtype >= 0 && subtype < kLogSubtypeCount) ? kSubtypeTexts[subtype] : "";
}

char LogFilePrefix(int logType) {
    static const char kPrefixes[] = {'A', 'S', 'O'};
    return (logType >= 0 && logType < kLogTypeCount) ? kPrefixes[logType] : '\0';
}

std::string FormatLogDeviceText(const char* host, int port, int channelNumber) {
    constexpr size_t kRoom = sizeof(LogRecord::device) - 1;
    char suffix[32];
    snprintf(suffix, sizeof suffix, ":%d-%d", port, channelNumber);
    std::string h = host ? host : "";
    size_t suffixLen = strlen(suffix);
    if (suffixLen >= kRoom) return std::string(suffix).substr(0, kRoom);
    if (h.size() + suffixLen > kRoom) h.resize(kRoom - suffixLen);
    return h + suffix;
}

std::string LogFileName(int logType, int64_t t) {
    time_t tt = static_cast<time_t>(t);
    struct tm local {};
    localtime_r(&tt, &local);
    char name[48];
    snprintf(name, sizeof name, "%c%d%02d%02d.log", LogFilePrefix(logType), local.tm_year + 1900,
             local.tm_mon + 1, local.tm_mday);
    return name;
}

}  // namespace ocv
