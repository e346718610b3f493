#pragma once
// Reads .qvx recording files and images.fi indexes. Shared by playback, backup, the start-up
// repair and the tests. Every length read from disk is checked before it is used.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "record/record_format.h"

namespace ocv {

class RecordFileReader {
public:
    RecordFileReader() = default;
    ~RecordFileReader();
    RecordFileReader(const RecordFileReader&) = delete;
    RecordFileReader& operator=(const RecordFileReader&) = delete;

    // 0; -1 when the file is missing, shorter than its header or without the magic.
    int Open(const std::string& path);
    void Close();

    const StreamInfo& Info() const { return info_; }
    uint32_t VideoFrameCount() const { return videoFrameCount_; }
    uint32_t StartTimeMs() const { return startTimeMs_; }
    // Index entries in use (those before the first zero offset).
    const std::vector<KeyFrameIndexEntry>& KeyFrames() const { return keyFrames_; }
    uint64_t FileSize() const { return fileSize_; }

    // Positions the next read at a record offset (>= the header size).
    int Seek(uint64_t offset);
    // Reads the next whole record (header + data). false at the end of the file, at a truncated
    // record or at a data length above the limit; Offset() is then where the last whole record
    // ended.
    bool Next(FrameHeader* header, std::vector<uint8_t>* data);
    uint64_t Offset() const { return offset_; }

private:
    FILE* file_ = nullptr;
    StreamInfo info_{};
    uint32_t videoFrameCount_ = 0;
    uint32_t startTimeMs_ = 0;
    std::vector<KeyFrameIndexEntry> keyFrames_;
    uint64_t fileSize_ = 0;
    uint64_t offset_ = 0;
};

}  // namespace ocv
