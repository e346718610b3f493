#pragma once
// Recordings kept on a device, as the playback page uses them: a day's search with the month's
// day marks, and playback of one file into a player port the device library feeds.
// SdkRemoteRecordings does it with the QVX_SDK_* calls; tests hand the page's rules a fake.
// Search and Open wait for the device: workers only, never the UI thread.
#include <atomic>
#include <cstdint>
#include <string>

#include "playback/local_recordings.h"
#include "playback/record_list.h"

namespace ocv::playback {

// The 208-byte file description of QVX_SDK_FindNextFile as the page reads it: the 32-bit values
// at 8 (the file's number), 12 (type), 16 (duration, s) and 20 (size), the start hour, minute
// and second at 36, 40 and 44, and the name from 48 (NUL-terminated, at most 127 characters
// kept). false when the start time is no time of day.
constexpr int kFileDescriptionBytes = 208;
constexpr size_t kRemoteNameChars = 127;
bool ParseFileDescription(const uint8_t (&description)[kFileDescriptionBytes], RecordEntry* out);

// Day marks of QVX_SDK_FindNFileMarks: byte d equal to '1' marks day d (0..31).
constexpr int kDayMarkBytes = 64;
DayMarks ParseDayMarks(const char (&marks)[kDayMarkBytes]);

struct RemoteSearchResult {
    int status = 0;  // 0 done; -1 the device is not logged in, the search failed or was refused
    RecordList list;
    DayMarks marks{};
    bool marksRead = false;
};

class RemoteRecordings {
public:
    virtual ~RemoteRecordings() = default;
    // The files of the channel (0..63) and date of the type filter, and the month's marks.
    // Waits up to 100 x 100 ms for a busy device; stop ends the waiting early.
    virtual RemoteSearchResult Search(int login, int channel, int typeFilter, const Date& date,
                                      const std::atomic<bool>& stop) = 0;
    // Starts playing a file into the library's port. 0 with the handle and port, or -1.
    virtual int Open(int login, int channel, const std::string& fileName, int* handle, int* port) = 0;
    // UI thread: position in percent, resume, pause, speed level, progress (percent, -1 when
    // unknown), whether the device finished (1), failed (-1) or still sends (0), and the end.
    virtual int SetPosition(int handle, int percent) = 0;
    virtual int Resume(int handle) = 0;
    virtual int Pause(int handle) = 0;
    virtual int SetSpeed(int handle, int level) = 0;
    virtual int Position(int handle) = 0;
    virtual int Finished(int handle) = 0;
    virtual void Stop(int handle) = 0;
};

class SdkRemoteRecordings : public RemoteRecordings {
public:
    RemoteSearchResult Search(int login, int channel, int typeFilter, const Date& date,
                              const std::atomic<bool>& stop) override;
    int Open(int login, int channel, const std::string& fileName, int* handle, int* port) override;
    int SetPosition(int handle, int percent) override;
    int Resume(int handle) override;
    int Pause(int handle) override;
    int SetSpeed(int handle, int level) override;
    int Position(int handle) override;
    int Finished(int handle) override;
    void Stop(int handle) override;
};

}  // namespace ocv::playback
