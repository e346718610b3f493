#include "setup/system_settings_form.h"

#include <algorithm>

#include "store/text_field.h"

namespace ocv {
namespace {

int Clamp(int value, int low, int high) { return std::min(std::max(value, low), high); }

// A position of a list of count items; a value outside it lands on the nearest end.
int PositionOf(int32_t value, int count) { return Clamp(value - 1, 0, count - 1); }

// Decimal digits only (blanks around them allowed), at most 9 of them; false otherwise.
bool ParseSeconds(const std::string& text, int* value) {
    size_t begin = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos) return false;
    std::string digits = text.substr(begin, end - begin + 1);
    if (digits.empty() || digits.size() > 9) return false;
    for (char c : digits)
        if (c < '0' || c > '9') return false;
    *value = std::stoi(digits);
    return true;
}

int NearestTourPosition(int32_t seconds) {
    int best = 0;
    for (int i = 1; i < kTourIntervalCount; ++i) {
        int64_t d = static_cast<int64_t>(seconds) - kTourIntervalSeconds[i];
        int64_t b = static_cast<int64_t>(seconds) - kTourIntervalSeconds[best];
        if ((d < 0 ? -d : d) < (b < 0 ? -b : b)) best = i;
    }
    return best;
}

bool IsDriveForm(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

}  // namespace

int32_t CheckTimeOf(int hour, int minute, int second) {
    return Clamp(hour, 0, 23) * 3600 + Clamp(minute, 0, 59) * 60 + Clamp(second, 0, 59);
}

void SplitCheckTime(int32_t checkTime, int* hour, int* minute, int* second) {
    const int32_t lastSecond = 24 * 3600 - 1;
    int32_t t = std::min(std::max(checkTime, 0), lastSecond);
    *hour = t / 3600;
    *minute = t % 3600 / 60;
    *second = t % 60;
}

const char* CapturePathRefusal(const std::string& path) {
    if (path.empty()) return "The capture save path can not be empty!";
    // Room for the "\" the snapshots append and the terminating zero.
    if (path.size() > static_cast<size_t>(kPathBytes) - 2) return "The capture save path is too long!";
    if (path.find_first_of("\r\n") != std::string::npos || (!IsDriveForm(path) && path[0] != '/'))
        return "The capture save path must be a drive (such as D:\\) or a full folder path!";
    return nullptr;
}

SystemSettingsForm FormFromSettings(const SystemSettings& s) {
    SystemSettingsForm f;
    f.timeoutPosition = PositionOf(s.TIMEOUT, kTimeoutItems);
    f.recLengthPosition = PositionOf(s.RECLEN, kRecLengthItems);
    f.logWeeksPosition = PositionOf(s.LOGMONTH, kLogWeeksItems);
    f.streamMode = Clamp(s.SHOWMODE, 0, 1);
    f.recStream = Clamp(s.RECSTREAM, 0, 1);
    f.photoType = s.PHOTOTYPE == 0 ? 0 : 1;  // every other value is a bitmap
    f.realplay = Clamp(s.netPriority, 0, 1);
    f.tempUnit = Clamp(s.tempUnit, 0, 1);
    f.alarmSeconds = std::to_string(s.ALARMLEN);
    f.photoPath = std::string(FieldText(s.PHOTOPATH));
    f.timeSync = s.ENABLETIME != 0;
    SplitCheckTime(s.CHECKTIME, &f.syncHour, &f.syncMinute, &f.syncSecond);
    f.diskMask = s.DISK & ((1 << 24) - 1);
    f.preRecordSeconds = Clamp(s.PREREC, kMinPreRecordSeconds, kMaxPreRecordSeconds);
    f.diskReserveGiB = Clamp(s.DISKREMAIN, kMinDiskReserveGiB, kMaxDiskReserveGiB);
    f.cover = s.COVER != 0;
    f.planRecord = s.PLANREC != 0;
    f.arming = s.ARMFLAG != 0;
    f.tourPosition = NearestTourPosition(s.ROTALEN);
    f.tourType = Clamp(s.ROTATYPE, 0, 1);
    f.autoLogin = s.AUTOMATIC != 0;
    f.connectAtStart = s.CONNECT != 0;
    f.exitNeedsLogin = s.ENABLEOSD != 0;
    return f;
}

const char* SettingsFromForm(const SystemSettingsForm& f, SystemSettings* settings) {
    int alarmSeconds = 0;
    if (!ParseSeconds(f.alarmSeconds, &alarmSeconds) || alarmSeconds < kMinAlarmSeconds ||
        alarmSeconds > kMaxAlarmSeconds)
        return "The alarm time range from 5 to 1800 seconds";
    if (const char* refusal = CapturePathRefusal(f.photoPath)) return refusal;

    SystemSettings& s = *settings;
    s.TIMEOUT = Clamp(f.timeoutPosition, 0, kTimeoutItems - 1) + 1;
    s.RECLEN = Clamp(f.recLengthPosition, 0, kRecLengthItems - 1) + 1;
    s.LOGMONTH = Clamp(f.logWeeksPosition, 0, kLogWeeksItems - 1) + 1;
    s.SHOWMODE = Clamp(f.streamMode, 0, 1);
    s.RECSTREAM = Clamp(f.recStream, 0, 1);
    s.PHOTOTYPE = Clamp(f.photoType, 0, 1);
    s.netPriority = Clamp(f.realplay, 0, 1);
    s.tempUnit = Clamp(f.tempUnit, 0, 1);
    s.ALARMLEN = alarmSeconds;
    CopyText(s.PHOTOPATH, f.photoPath);
    s.ENABLETIME = f.timeSync ? 1 : 0;
    s.CHECKTIME = CheckTimeOf(f.syncHour, f.syncMinute, f.syncSecond);
    s.DISK = f.diskMask & ((1 << 24) - 1);
    s.PREREC = Clamp(f.preRecordSeconds, kMinPreRecordSeconds, kMaxPreRecordSeconds);
    s.DISKREMAIN = Clamp(f.diskReserveGiB, kMinDiskReserveGiB, kMaxDiskReserveGiB);
    s.COVER = f.cover ? 1 : 0;
    s.PLANREC = f.planRecord ? 1 : 0;
    s.ARMFLAG = f.arming ? 1 : 0;
    s.ROTALEN = kTourIntervalSeconds[Clamp(f.tourPosition, 0, kTourIntervalCount - 1)];
    s.ROTATYPE = Clamp(f.tourType, 0, 1);
    s.AUTOMATIC = f.autoLogin ? 1 : 0;
    s.CONNECT = f.connectAtStart ? 1 : 0;
    s.ENABLEOSD = f.exitNeedsLogin ? 1 : 0;
    return nullptr;
}

}  // namespace ocv
