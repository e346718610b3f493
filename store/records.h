#pragma once
// The in-memory configuration records: fixed-size structures with plain fixed-size fields,
// changed only on the user-interface thread (through ConfigStore) and read from any thread with
// Relaxed() (store/relaxed.h). What is connected, recording or in alarm now is not stored: it
// lives in the runtime table (runtime/runtime_table.h).
#include <cstdint>
#include <vector>

#include "base/channel_id.h"

namespace ocv {

constexpr int kMaxUsers = 64;
constexpr int kTextBytes = 32;   // 31 characters and a terminating zero
constexpr int kPathBytes = 260;
constexpr int kScheduleWords = 14;           // two words per weekday, Sunday first
constexpr int kScheduleBytes = kScheduleWords * 4;
// Alarm linkage bits of the five linkage words.
constexpr int32_t kLinkPopupVideo = 1;
constexpr int32_t kLinkMap = 2;
constexpr int32_t kLinkRecord = 4;
constexpr int32_t kLinkSound = 8;

// Weekly schedule: half hour h (0..47) of weekday d (0 = Sunday) is bit h % 24 of word
// d * 2 + h / 24. The schedule editor sets only bits 0..23.
bool IsScheduleActive(const uint32_t (&schedule)[kScheduleWords], int weekday, int halfHour);
inline int HalfHourOf(int hour, int minute) { return hour * 2 + minute / 30; }

// ModifyChannel kinds: which setting of a channel changes.
enum ChannelSettingKind : int {
    kChannelStream = 0,
    kChannelAlarmMd = 1,
    kChannelAlarmInput = 2,
    kChannelAlarmDiskFull = 3,
    kChannelAlarmDisconnect = 4,
    kChannelAutoAdjust = 5,
    kChannelName = 6,
    kChannelPlanSchedule = 7,
    kChannelArmSchedule = 8,
    kChannelPlanRecord = 10,
    kChannelArmAlarm = 11,
};

// Stored fields of a device (table DEVICE). A slot is empty exactly when host is empty.
struct DeviceRecord {
    int32_t id;            // ID; 0 in an empty slot
    int32_t port;          // PORT
    int32_t type;          // TYPE: device type number
    int32_t channelCount;  // CHNM, 1..64
    int32_t thermalFlag;   // SETALARM: 1 = show the thermal inset
    char host[kTextBytes];
    char user[kTextBytes];
    char password[kTextBytes];
    char name[kTextBytes];
};

// Stored fields of a channel (table CHANNEL).
struct ChannelRecord {
    int32_t id;  // ID; > 0 for a configured channel, 0 for a free entry
    int32_t planRecord;       // PLANREC
    int32_t armAlarm;         // ALARMARM
    int32_t alarmMd;          // ALARMMD
    int32_t alarmInput;       // ALARMINPUT
    int32_t alarmDisconnect;  // ALARMDISCONN
    int32_t alarmDiskFull;    // ALARMDISKFULL (also the audio alarm's linkage)
    int32_t alarmDiskErr;     // ALARMDISKERR
    int32_t autoAdjust;       // AUTOADJUST: 1 original size, 0 stretched
    int32_t stream;           // STREAM: 0 main, 1 sub, 2 third
    uint32_t planSchedule[kScheduleWords];  // SUN1, SUN2, MON1, ..., SAT2
    uint32_t armSchedule[kScheduleWords];   // ASUN1, ..., ASAT2
    char name[kTextBytes];
};

struct ChannelInfo : ChannelRecord {
    int32_t exportId;  // ID the channel received in a configuration file being written

    ChannelInfo() : ChannelRecord{}, exportId(0) {}
    ChannelInfo(const ChannelInfo&) = delete;
    ChannelInfo& operator=(const ChannelInfo&) = delete;
};

struct DeviceInfo : DeviceRecord {
    ChannelInfo channels[kMaxChannels];

    DeviceInfo() : DeviceRecord{} {}
    DeviceInfo(const DeviceInfo&) = delete;
    DeviceInfo& operator=(const DeviceInfo&) = delete;

    bool IsEmpty() const;  // host is empty
};

// User accounts (table USERINFO). A slot is free when userName is empty.
struct UserInfo {
    int32_t id;      // 0 or -1 in a free slot
    int32_t level;   // 0 Administrator, 1 View User, 2 Guest user
    int32_t option;  // permission bits 0..13
    char userName[kTextBytes];
    char password[kTextBytes];
};

constexpr int32_t kLevelAdministrator = 0;
constexpr int32_t kLevelViewUser = 1;
constexpr int32_t kLevelGuest = 2;
constexpr int32_t kAllRights = 0x3FFF;       // the fourteen permission bits
constexpr int32_t kViewUserRights = 2238;    // bits 1, 2, 3, 4, 5, 7 and 11

struct GroupMember {
    int32_t memberId;   // SUBGROUP.ID
    int32_t channelId;  // CHANNEL.ID of the member
    int32_t deviceIndex;
    int32_t channelIndex;
};

struct GroupInfo {
    int32_t id;
    char name[kTextBytes];
    std::vector<GroupMember> members;
    int memberCount() const { return static_cast<int>(members.size()); }
};

constexpr int32_t kMapItemLink = 0;     // opens another map
constexpr int32_t kMapItemChannel = 1;  // a channel's camera

struct MapItem {
    int32_t itemId;
    int32_t mapId;
    int32_t channelId;     // CHANNEL.ID for a channel item, -1 otherwise
    int32_t deviceIndex;   // -1 when not a channel or the channel is not configured
    int32_t channelIndex;
    int32_t x;
    int32_t y;
    int32_t type;          // kMapItemChannel or kMapItemLink
    int32_t url;           // for a link: the map it opens; -1 for a channel item
    int32_t color;
};

struct MapInfo {
    int32_t id;
    char name[kTextBytes];
    char path[kPathBytes];
    std::vector<MapItem> items;
    int itemCount() const { return static_cast<int>(items.size()); }
};

// The single settings record (row of SYSTERM); fields are named after the columns.
struct SystemSettings {
    int32_t TIMEOUT;      // connection time-out, 1..180 s
    int32_t RECLEN;       // recording file length, minutes
    int32_t RECTYPE;
    int32_t RECSTREAM;    // 0 main, 1 sub
    int32_t ALARMLEN;     // alarm hold time, 5..1800 s
    int32_t PHOTOTYPE;    // 0 JPEG, other bitmap
    char PHOTOPATH[kPathBytes];
    int32_t ENABLETIME;   // daily device clock synchronisation
    int32_t CHECKTIME;    // its second of the day
    int32_t DISK;         // bit n selects drive letter 'C' + n
    int32_t ROTALEN;      // tour interval, s
    int32_t ROTATYPE;     // 0 single-screen, 1 multi-screen
    int32_t DISKREMAIN;   // free-space reserve, GiB
    int32_t COVER;
    int32_t PLANREC;
    int32_t ARMFLAG;
    int32_t PREREC;       // pre-record seconds
    int32_t LOGMONTH;     // log retention, weeks
    int32_t USER;         // remembered user id; -1 or 0 none
    int32_t REMEMBER;
    int32_t AUTOMATIC;
    int32_t SHOWMODE;     // 0 single-stream, 1 dual-stream
    int32_t CONNECT;
    int32_t ENABLEOSD;    // leaving the client needs a login
    char PASS[kTextBytes];
    int32_t netPriority;  // units digit of NETTYPE
    int32_t tempUnit;     // tens digit of NETTYPE: 0 Celsius, 1 Fahrenheit
};

}  // namespace ocv
