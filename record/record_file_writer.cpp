#include "record/record_file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/trace.h"

namespace ocv {
namespace {

ssize_t SystemPwrite(int fd, const void* data, size_t size, off_t offset) {
    return ::pwrite(fd, data, size, offset);
}

int SystemFtruncate(int fd, off_t length) { return ::ftruncate(fd, length); }

// Time-line steps: a jump backwards or a gap longer than a second is not real time.
constexpr uint32_t kMaxVideoStepMs = 1000;
constexpr uint32_t kLongAudioGapMs = 1000;
constexpr uint32_t kAudioGapStepMs = 20;
// A kind-3 key frame is indexed once in this many.
constexpr uint32_t kType3IndexInterval = 50;

}  // namespace

RecordFileWriter::RecordFileWriter() : pwrite_(SystemPwrite), ftruncate_(SystemFtruncate) {}

void RecordFileWriter::SetPwriteForTesting(PwriteFn fn) {
    std::lock_guard lock(mutex_);
    pwrite_ = std::move(fn);
}

void RecordFileWriter::SetFtruncateForTesting(FtruncateFn fn) {
    std::lock_guard lock(mutex_);
    ftruncate_ = std::move(fn);
}

RecordFileWriter::~RecordFileWriter() { Close(); }

int RecordFileWriter::Create(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (path.empty() || fd_ >= 0) return -1;
    path_ = path;
    return 0;
}

int RecordFileWriter::SetStreamInfo(const StreamInfo& info) {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) return -1;
    info_ = info;
    videoFrameCount_ = 0;
    startTimeMs_ = 0;
    return 0;
}

bool RecordFileWriter::WriteAt(const void* data, size_t size, off_t offset) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = pwrite_(fd_, p, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

void RecordFileWriter::ResetCounters() {
    waitingForKeyFrame_ = true;
    resumeAtKeyFrame_ = false;
    entriesUsed_ = 0;
    offset_ = kRecordHeaderBytes;
    startTimeMs_ = 0;
    videoTimeMs_ = 0;
    audioTimeMs_ = 0;
    videoFrameCount_ = 0;
    type3Counter_ = 0;
    bytesWritten_ = 0;
}

int RecordFileWriter::Open(uint32_t startTimeMs) {
    std::lock_guard lock(mutex_);
    if (path_.empty() || fd_ >= 0) return -1;
    // Exclusive: a name that repeats (the clock set back) must never truncate a recording.
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kRecordFileMode);
    if (fd_ < 0) {
        if (errno == EEXIST) return kExists;
        Trace("recording %s: cannot create (%s)\n", path_.c_str(), strerror(errno));
        return -1;
    }
    ResetCounters();
    startTimeMs_ = startTimeMs;
    // The header goes out whole, with a zero index, so the file is readable from the start.
    static const char kZeros[64 * 1024] = {};
    char fixed[kHeaderFixedBytes];
    memcpy(fixed, kRecordFileMagic, 4);
    memcpy(fixed + 4, &info_, sizeof info_);
    memset(fixed + kVideoFrameCountOffset, 0, 4);
    memcpy(fixed + kStartTimeOffset, &startTimeMs_, 4);
    bool ok = WriteAt(fixed, sizeof fixed, 0);
    for (uint32_t at = kHeaderFixedBytes; ok && at < kRecordHeaderBytes; at += sizeof kZeros) {
        uint32_t n = std::min<uint32_t>(sizeof kZeros, kRecordHeaderBytes - at);
        ok = WriteAt(kZeros, n, at);
    }
    if (!ok) {
        Trace("recording %s: cannot write the header (%s)\n", path_.c_str(), strerror(errno));
        // Nothing of value is in it, and a file without a whole header would only hold a name.
        ::close(fd_);
        fd_ = -1;
        unlink(path_.c_str());
        ResetCounters();
        return -1;
    }
    bytesWritten_ = kRecordHeaderBytes;
    return 0;
}

void RecordFileWriter::IndexKeyFrame(uint64_t recordOffset) {
    KeyFrameIndexEntry entry{static_cast<uint32_t>(recordOffset),
                             static_cast<uint32_t>(videoTimeMs_ / 1000)};
    // The entry only after its frame is in the file, the count after the entry: a crash between
    // these writes leaves an index that points at whole key frames and a count that may lag.
    if (!WriteAt(&entry, sizeof entry, kKeyFrameIndexOffset + 8 * entriesUsed_)) return;
    ++entriesUsed_;
    WriteAt(&videoFrameCount_, 4, kVideoFrameCountOffset);
}

bool RecordFileWriter::WriteParts(const FrameRecordParts& record, uint32_t skip, off_t offset) {
    for (int i = 0; i < 2; ++i) {
        uint32_t size = record.sizes[i];
        if (skip >= size) {
            skip -= size;
            continue;
        }
        if (!WriteAt(record.parts[i] + skip, size - skip, offset)) return false;
        offset += size - skip;
        skip = 0;
    }
    return true;
}

int RecordFileWriter::WriteFrame(const void* record, uint32_t length) {
    FrameRecordParts parts;
    parts.parts[0] = static_cast<const uint8_t*>(record);
    parts.sizes[0] = record ? length : 0;
    return WriteFrame(parts);
}

int RecordFileWriter::WriteFrame(const FrameRecordParts& record) {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return kNotOpen;
    const uint32_t length = record.Length();
    if (record.parts[0] == nullptr || length < kFrameHeaderBytes ||
        (record.sizes[1] != 0 && record.parts[1] == nullptr))
        return -1;
    FrameHeader h;
    uint32_t first = std::min<uint32_t>(record.sizes[0], sizeof h);
    memcpy(&h, record.parts[0], first);
    if (first < sizeof h) memcpy(reinterpret_cast<uint8_t*>(&h) + first, record.parts[1], sizeof h - first);
    // Readers walk the file by the data length: a record that disagrees with it is refused.
    if (h.dataLength > kMaxFrameDataLength || h.dataLength + kFrameHeaderBytes != length) return -1;

    bool video = IsVideoFrame(h);
    bool key = IsKeyFrame(h);
    if (waitingForKeyFrame_) {
        if (!key) return 0;
        waitingForKeyFrame_ = false;
        char fixed[kHeaderFixedBytes];
        memcpy(fixed, kRecordFileMagic, 4);
        memcpy(fixed + 4, &info_, sizeof info_);
        memcpy(fixed + kVideoFrameCountOffset, &videoFrameCount_, 4);
        memcpy(fixed + kStartTimeOffset, &startTimeMs_, 4);
        WriteAt(fixed, sizeof fixed, 0);  // the same bytes Open wrote; a failure loses nothing
    }

    // From the file's first key frame on every frame moves the time line, written or lost, so
    // the file keeps pace with the stream across a gap.
    if (video) {
        uint32_t d = h.timestampMs - lastVideoTs_;
        if (d > kMaxVideoStepMs) d = kMaxVideoStepMs;
        lastVideoTs_ = h.timestampMs;
        videoTimeMs_ += d;
        h.timestampMs = startTimeMs_ + static_cast<uint32_t>(videoTimeMs_);
    } else {
        uint32_t d = h.timestampMs - lastAudioTs_;
        if (d > kLongAudioGapMs) d = kAudioGapStepMs;
        lastAudioTs_ = h.timestampMs;
        audioTimeMs_ += d;
        h.timestampMs = startTimeMs_ + static_cast<uint32_t>(audioTimeMs_);
    }
    // After a lost frame the predicted pictures refer to it: only a key frame can follow.
    if (resumeAtKeyFrame_ && !key) return 0;

    // Header with the new timestamp, then the data, as one record at the end of the file.
    const uint64_t at = offset_;
    bool ok = WriteAt(&h, sizeof h, static_cast<off_t>(at)) &&
              WriteParts(record, sizeof h, static_cast<off_t>(at + sizeof h));
    if (!ok) {
        int error = errno;
        // Take the partial record back; if even that fails, appending behind it would hide
        // every later record from readers, so the file ends here.
        if (ftruncate_(fd_, static_cast<off_t>(at)) != 0) {
            Trace("recording %s: a frame could not be written (%s) nor cut back; file closed\n",
                  path_.c_str(), strerror(error));
            ::close(fd_);
            fd_ = -1;
            ResetCounters();
            return -1;
        }
        if (!resumeAtKeyFrame_)
            Trace("recording %s: a frame could not be written (%s); going on at the next key frame\n",
                  path_.c_str(), strerror(error));
        resumeAtKeyFrame_ = true;
        return -1;
    }
    resumeAtKeyFrame_ = false;
    offset_ += length;
    bytesWritten_ += length;
    if (video) {
        // Counted and indexed only now that the frame is in the file.
        ++videoFrameCount_;
        uint32_t kind = h.frameType % 10;
        if (kind == kFrameTypeKeyFrameAlt) {
            if (++type3Counter_ == kType3IndexInterval) type3Counter_ = 0;
        } else if (kind == kFrameTypeKeyFrame) {
            type3Counter_ = 0;
        }
        if (key && entriesUsed_ < kKeyFrameIndexEntries && type3Counter_ == 0) IndexKeyFrame(at);
    }
    return 0;
}

int RecordFileWriter::Close() {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return kNotOpen;
    ::close(fd_);
    fd_ = -1;
    ResetCounters();
    return 0;
}

bool RecordFileWriter::IsOpen() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

bool RecordFileWriter::WaitingForKeyFrame() const {
    std::lock_guard lock(mutex_);
    return waitingForKeyFrame_;
}

uint64_t RecordFileWriter::ByteCount() const {
    std::lock_guard lock(mutex_);
    return bytesWritten_;
}

uint64_t RecordFileWriter::VideoTimeMs() const {
    std::lock_guard lock(mutex_);
    return videoTimeMs_;
}

uint32_t RecordFileWriter::IndexEntriesUsed() const {
    std::lock_guard lock(mutex_);
    return entriesUsed_;
}

uint32_t RecordFileWriter::StartTimeMs() const {
    std::lock_guard lock(mutex_);
    return startTimeMs_;
}

}  // namespace ocv
