#pragma once
// Layouts of the messages about recordings kept on a device: the search condition, the
// 208-byte file description, the day marks, and the payload checks of the 0x01xx..0x03xx
// kinds. Shared by the library, the simulator and the fuzz target.
#include <cstddef>
#include <cstdint>
#include <string>

namespace ocv::wire {

// Search and download condition: 14 signed words: channel, record type (0 all, 1 manual,
// 2 alarm, 3 plan), start year, month, day, hour, minute, second, end year ... second.
constexpr size_t kConditionWords = 14;
constexpr size_t kConditionBytes = kConditionWords * 4;
// The longest span one search or download may cover.
constexpr int kMaxConditionDays = 31;

// File description, as the library hands it to the caller and the device sends it.
constexpr size_t kFileDescriptionBytes = 208;
constexpr size_t kFileNameOffset = 48;
constexpr size_t kFileNameBytes = kFileDescriptionBytes - kFileNameOffset;  // 160, terminated
// Day marks: byte d (1..31) is '1' when day d of the month has recordings, else '0'; byte 0 is '0'.
constexpr size_t kDayMarkBytes = 32;
// FindFileReply: i32 result, u32 count, day marks, count descriptions.
constexpr size_t kFindReplyFixedBytes = 8 + kDayMarkBytes;
constexpr uint32_t kMaxFindResults = 4096;

constexpr size_t kPlaybackOpenBytes = 8 + kFileNameBytes;  // u32 channel, u32 reserved, name
constexpr size_t kOpenReplyBytes = 12;  // i32 result, u32 content start (ms of day), u32 length (ms)

// PlaybackControl commands (u32 command, i32 value); the library's numbers, passed through.
enum PlaybackCommand : uint32_t {
    kPlayStart = 1,      // start or resume
    kPlayPause = 3,
    kPlaySpeed = 5,      // value: speed level -3..4, 2^level times normal
    kPlayPosition = 13,  // value: position in percent of the file, 0..100
};
constexpr int32_t kMinSpeedLevel = -3;
constexpr int32_t kMaxSpeedLevel = 4;

// PlaybackEnd / DownloadEnd reasons.
enum EndReason : uint32_t { kEndComplete = 0, kEndFailed = 1 };

struct DateTime {
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int32_t SecondOfDay() const { return (hour * 60 + minute) * 60 + second; }
};

struct SearchCondition {
    int32_t channel = 0;
    int32_t recordType = 0;
    DateTime start, end;
};

void EncodeCondition(const SearchCondition& c, uint8_t out[kConditionBytes]);
SearchCondition DecodeCondition(const uint8_t in[kConditionBytes]);
// nullptr when the fields are in range, start is not after end and the span covers at most
// kMaxConditionDays days; otherwise why not.
const char* CheckCondition(const SearchCondition& c);
// Whole days from 1970-01-01 of a (valid) date, and back.
int64_t DaysFromCivil(int32_t year, int32_t month, int32_t day);
void CivilFromDays(int64_t days, int32_t* year, int32_t* month, int32_t* day);
int DaysInMonth(int32_t year, int32_t month);
bool ValidDateTime(const DateTime& t);

struct FileDescription {
    uint32_t channel = 0;      // 0
    uint32_t fileNumber = 0;   // 8: the device's number of the file
    uint32_t recordType = 0;   // 12: 1 manual, 2 alarm, 3 plan
    uint32_t durationSec = 0;  // 16
    uint32_t sizeKiB = 0;      // 20
    DateTime start;            // 24..44: year, month, day, hour, minute, second (device local time)
    std::string name;          // 48: what PlaybackOpen asks for
};

void EncodeFileDescription(const FileDescription& d, uint8_t out[kFileDescriptionBytes]);
// false when the name is empty or not terminated in its field, or the start is no valid time.
bool DecodeFileDescription(const uint8_t in[kFileDescriptionBytes], FileDescription* out);

// Payload checks of the recorded-media kinds (called by ValidatePayload). nullptr when good.
const char* ValidateRecordedPayload(uint16_t kind, const uint8_t* payload, size_t bytes);

}  // namespace ocv::wire
