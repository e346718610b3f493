#pragma once
// Writes one .qvx recording file: header with key-frame index, then frame records with their
// timestamps rewritten onto the file's own time line.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "record/record_format.h"

namespace ocv {

// A frame record in up to two pieces of memory (a ring entry that wraps): the 16-byte header
// and data bytes that follow it are parts[0] then parts[1].
struct FrameRecordParts {
    const uint8_t* parts[2] = {nullptr, nullptr};
    uint32_t sizes[2] = {0, 0};
    uint32_t Length() const { return sizes[0] + sizes[1]; }
};

class RecordFileWriter {
public:
    // Returned by WriteFrame and Close when no file is open.
    static constexpr int kNotOpen = -2;
    // Returned by Open when a file of that name already exists (it is left untouched).
    static constexpr int kExists = -2;

    // The system calls used to write and to cut back (tests inject failures through them).
    using PwriteFn = std::function<ssize_t(int fd, const void* data, size_t size, off_t offset)>;
    using FtruncateFn = std::function<int(int fd, off_t length)>;

    RecordFileWriter();
    ~RecordFileWriter();
    RecordFileWriter(const RecordFileWriter&) = delete;
    RecordFileWriter& operator=(const RecordFileWriter&) = delete;

    // Reserves the writer for a path. -1 without a path.
    int Create(const std::string& path);
    // Only before Open: the stream description copied into the header.
    int SetStreamInfo(const StreamInfo& info);
    // Creates the file (mode 0640) and writes the whole header. An existing file is never
    // opened, so a recording can never be truncated: kExists. startTimeMs is the local time of
    // day the file is created, in ms since midnight. -1 on failure (nothing left open).
    int Open(uint32_t startTimeMs);
    // 0 written or skipped, -1 failed, kNotOpen. Nothing is written before the first key frame.
    // A failed frame is cut back to the end of the last whole record and writing resumes at
    // the next key frame (the pictures between would refer to the lost one). If the cut-back
    // fails too, the file is given up: it is closed and IsOpen() turns false.
    int WriteFrame(const void* record, uint32_t length);
    // The same for a record in two pieces; written from where it lies, without a copy.
    int WriteFrame(const FrameRecordParts& record);
    int Close();

    bool IsOpen() const;
    bool WaitingForKeyFrame() const;
    // Bytes of whole records written, header included.
    uint64_t ByteCount() const;
    // Accumulated video time in ms and key-frame index entries used (for index updates).
    uint64_t VideoTimeMs() const;
    uint32_t IndexEntriesUsed() const;
    uint32_t StartTimeMs() const;
    const std::string& Path() const { return path_; }

    void SetPwriteForTesting(PwriteFn fn);
    void SetFtruncateForTesting(FtruncateFn fn);

private:
    bool WriteAt(const void* data, size_t size, off_t offset);
    // The record's bytes from `skip` on, appended at offset.
    bool WriteParts(const FrameRecordParts& record, uint32_t skip, off_t offset);
    void IndexKeyFrame(uint64_t recordOffset);
    void ResetCounters();

    mutable std::mutex mutex_;
    PwriteFn pwrite_;
    FtruncateFn ftruncate_;
    std::string path_;
    int fd_ = -1;
    StreamInfo info_{};
    bool waitingForKeyFrame_ = true;
    bool resumeAtKeyFrame_ = false;  // a frame was lost since the last key frame
    uint32_t entriesUsed_ = 0;
    uint64_t offset_ = kRecordHeaderBytes;
    uint32_t startTimeMs_ = 0;
    uint32_t lastVideoTs_ = 0;
    uint32_t lastAudioTs_ = 0;
    uint64_t videoTimeMs_ = 0;
    uint64_t audioTimeMs_ = 0;
    uint32_t videoFrameCount_ = 0;
    uint32_t type3Counter_ = 0;
    uint64_t bytesWritten_ = 0;
};

}  // namespace ocv
