#pragma once
// Byte layout of the .qvx recording file and of the images.fi index (little-endian).
//
// .qvx: "QVXF" | StreamInfo (28) | videoFrameCount (4) | startTime ms of day (4) |
//       key-frame index: 25000 x { u32 file offset, u32 seconds on the video time line } |
//       frame records (16-byte FrameHeader + data) to the end of the file.
// images.fi: 144-byte IndexRecord per recording file of the folder, in the order begun.
#include <sys/types.h>

#include <cstdint>

#include "base/media_types.h"
#include "runtime/state_codes.h"

namespace ocv {

constexpr char kRecordFileMagic[4] = {'Q', 'V', 'X', 'F'};
constexpr uint32_t kKeyFrameIndexEntries = 25000;
constexpr uint32_t kHeaderFixedBytes = 40;  // magic, StreamInfo, videoFrameCount, startTime
constexpr uint32_t kVideoFrameCountOffset = 32;
constexpr uint32_t kStartTimeOffset = 36;
constexpr uint32_t kKeyFrameIndexOffset = 40;
constexpr uint32_t kRecordHeaderBytes = kKeyFrameIndexOffset + 8 * kKeyFrameIndexEntries;  // 200040
static_assert(kRecordHeaderBytes == 200040);

struct KeyFrameIndexEntry {
    uint32_t fileOffset;  // 0 = unused
    uint32_t seconds;     // accumulated video time / 1000 at that key frame
};
static_assert(sizeof(KeyFrameIndexEntry) == 8);

#pragma pack(push, 1)
struct IndexRecord {
    uint16_t startHour;
    uint16_t startMinute;
    uint16_t startSecond;
    uint16_t recordType;  // RecordKind (runtime/state_codes.h): 1 manual, 2 alarm, 3 plan
    uint32_t durationSeconds;
    uint32_t sizeKiB;     // 0 while the file is being written
    uint8_t reserved[128];
};
#pragma pack(pop)
static_assert(sizeof(IndexRecord) == 144);

constexpr const char* kIndexFileName = "images.fi";

// Mode of every recording file and index created: the recordings are the site's, not every
// local user's.
constexpr mode_t kRecordFileMode = 0640;

}  // namespace ocv
