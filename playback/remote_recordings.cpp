#include "playback/remote_recordings.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/trace.h"
#include "sdk/qvx_sdk.h"

namespace ocv::playback {
namespace {

uint32_t U32At(const uint8_t* p, size_t offset) {
    return static_cast<uint32_t>(p[offset]) | static_cast<uint32_t>(p[offset + 1]) << 8 |
           static_cast<uint32_t>(p[offset + 2]) << 16 | static_cast<uint32_t>(p[offset + 3]) << 24;
}

constexpr int kBusyWaitMs = 100;
constexpr int kMaxBusyWaits = 100;

}  // namespace

bool ParseFileDescription(const uint8_t (&d)[kFileDescriptionBytes], RecordEntry* out) {
    const uint32_t hour = U32At(d, 36), minute = U32At(d, 40), second = U32At(d, 44);
    if (hour > 23 || minute > 59 || second > 59) return false;
    RecordEntry e;
    e.fileNumber = U32At(d, 8);
    const uint32_t type = U32At(d, 12);
    e.type = static_cast<uint16_t>(type > 0xFFFF ? 0 : type);
    const uint32_t duration = U32At(d, 16);
    e.durationSeconds = duration > static_cast<uint32_t>(kSecondsPerDay) ? 0 : static_cast<int32_t>(duration);
    e.value2 = U32At(d, 20);
    e.hour = static_cast<uint16_t>(hour);
    e.minute = static_cast<uint16_t>(minute);
    e.second = static_cast<uint16_t>(second);
    const char* name = reinterpret_cast<const char*>(d + 48);
    e.remoteName.assign(name, strnlen(name, std::min<size_t>(kRemoteNameChars, kFileDescriptionBytes - 48)));
    *out = std::move(e);
    return true;
}

DayMarks ParseDayMarks(const char (&marks)[kDayMarkBytes]) {
    DayMarks out{};
    for (size_t d = 0; d < out.size(); ++d) out[d] = marks[d] == '1';
    return out;
}

RemoteSearchResult SdkRemoteRecordings::Search(int login, int channel, int typeFilter, const Date& date,
                                               const std::atomic<bool>& stop) {
    RemoteSearchResult result;
    result.status = -1;
    if (login == 0) {
        Trace("remote search of channel %d: the device is not logged in\n", channel);
        return result;
    }
    QVX_FIND_COND c{channel, typeFilter, date.year, date.month, date.day, 0, 0, 0,
                    date.year, date.month, date.day, 23, 59, 59};
    QVX_HANDLE find = 0;
    int rc = QVX_SDK_FindFile(login, &c, &find);
    if (rc != QVX_OK) {
        Trace("remote search of channel %d: the library refused it (%d)\n", channel, rc);
        return result;
    }
    int waits = 0;
    for (;;) {
        uint8_t description[kFileDescriptionBytes] = {};
        rc = QVX_SDK_FindNextFile(find, description);
        if (rc == QVX_FIND_FILE) {
            RecordEntry entry;
            if (ParseFileDescription(description, &entry)) InsertSorted(&result.list, std::move(entry));
            continue;
        }
        if (rc == QVX_FIND_NO_MORE) {
            result.status = 0;
            break;
        }
        if (rc == QVX_FIND_REFUSED || rc == QVX_FIND_ERROR || rc == QVX_FIND_INVALID) {
            Trace("remote search of channel %d: ended with %d\n", channel, rc);
            break;
        }
        // Busy, or a value we do not know: the answer is not in yet.
        if (stop.load() || ++waits > kMaxBusyWaits) {
            Trace("remote search of channel %d: no answer in time\n", channel);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kBusyWaitMs));
    }
    char marks[kDayMarkBytes] = {};
    if (QVX_SDK_FindNFileMarks(find, marks) == QVX_OK) {
        result.marks = ParseDayMarks(marks);
        result.marksRead = true;
    }
    QVX_SDK_FindClose(find);
    return result;
}

int SdkRemoteRecordings::Open(int login, int channel, const std::string& fileName, int* handle, int* port) {
    QVX_HANDLE play = 0;
    int rc = QVX_SDK_PlayBackByName(login, channel, fileName.c_str(), &play);
    if (rc != QVX_OK) {
        Trace("remote playback of %s: refused (%d)\n", fileName.c_str(), rc);
        return -1;
    }
    int32_t p = 0;
    if (QVX_SDK_GetPBPlayIndex(play, &p) != QVX_OK || p <= 0) {
        Trace("remote playback of %s: no player port\n", fileName.c_str());
        QVX_SDK_StopPlayBack(play);
        return -1;
    }
    *handle = play;
    *port = p;
    return 0;
}

int SdkRemoteRecordings::SetPosition(int handle, int percent) {
    return QVX_SDK_PlayBackControl(handle, QVX_PLAYCTRL_SETPOS, percent, nullptr) == QVX_OK ? 0 : -1;
}

int SdkRemoteRecordings::Resume(int handle) {
    return QVX_SDK_PlayBackControl(handle, QVX_PLAYCTRL_START, 0, nullptr) == QVX_OK ? 0 : -1;
}

int SdkRemoteRecordings::Pause(int handle) {
    return QVX_SDK_PlayBackControl(handle, QVX_PLAYCTRL_PAUSE, 0, nullptr) == QVX_OK ? 0 : -1;
}

int SdkRemoteRecordings::SetSpeed(int handle, int level) {
    return QVX_SDK_PlayBackControl(handle, QVX_PLAYCTRL_SPEED, level, nullptr) == QVX_OK ? 0 : -1;
}

int SdkRemoteRecordings::Position(int handle) {
    int32_t value = -1;
    if (QVX_SDK_PlayBackControl(handle, QVX_PLAYCTRL_GETPOS, 0, &value) != QVX_OK) return -1;
    return value;
}

int SdkRemoteRecordings::Finished(int handle) {
    int32_t state = 0;
    if (QVX_SDK_PlayBackControl(handle, QVX_PLAYCTRL_STATE, 0, &state) != QVX_OK) return -1;
    if (state == QVX_PLAYSTATE_FINISHED) return 1;
    if (state == QVX_PLAYSTATE_FAILED) return -1;
    return 0;
}

void SdkRemoteRecordings::Stop(int handle) { QVX_SDK_StopPlayBack(handle); }

}  // namespace ocv::playback
