#include "player/recording_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "player/video_decoder.h"
#include "base/trace.h"

namespace ocv::player {
namespace {

// One page or two: enough for a run of small records (sound, small pictures), and a walk over
// large records reads little more than their headers.
constexpr size_t kReadAheadBytes = 8 * 1024;

// Reads count bytes at offset, as many as the file has. The count read, or -1.
ssize_t PreadAll(int fd, void* data, size_t count, uint64_t offset) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd, static_cast<char*>(data) + done, count - done,
                            static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool IsVideo(const FrameHeader& h) { return h.kind == kFrameKindVideo; }

}  // namespace

void RecordSequence::StartOfFile(uint32_t startTimeMs) {
    *this = RecordSequence{};
    start_ = startTimeMs;
}

void RecordSequence::AfterKeyFrame(uint32_t startTimeMs, const FrameHeader& keyFrame) {
    *this = RecordSequence{};
    start_ = startTimeMs;
    fromStart_ = false;
    haveVideo_ = true;
    lastVideo_ = keyFrame.timestampMs;
}

bool RecordSequence::Accept(const FrameHeader& header) {
    const uint32_t ts = header.timestampMs;
    // Unsigned differences: a step backwards is a huge step forwards.
    if (IsVideo(header)) {
        if (ts - (haveVideo_ ? lastVideo_ : start_) > kMaxStepMs) return false;
        haveVideo_ = true;
        lastVideo_ = ts;
        return true;
    }
    if (haveAudio_) {
        if (ts - lastAudio_ > kMaxStepMs) return false;
    } else if (fromStart_) {
        if (ts - start_ > kMaxStepMs) return false;
    } else if (static_cast<int32_t>(ts - start_) < 0) {
        return false;  // the audio time line never runs before the file's start
    }
    haveAudio_ = true;
    lastAudio_ = ts;
    return true;
}

RecordingFile::~RecordingFile() { Close(); }

void RecordingFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_.clear();
    info_ = StreamInfo{};
    startTimeMs_ = 0;
    size_ = 0;
    index_.clear();
    indexReadAtSize_ = 0;
    bufferOffset_ = 0;
    bufferLength_ = 0;
    scanStarted_ = scanStopped_ = false;
    scanOffset_ = 0;
    durationMs_ = 0;
}

int RecordingFile::Open(const std::string& path) {
    Close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Trace("Player: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return -1;
    }
    const char* problem = nullptr;
    struct stat st {};
    uint8_t fixed[kHeaderFixedBytes];
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = "not a regular file";
    } else if (static_cast<uint64_t>(st.st_size) < kRecordHeaderBytes) {
        problem = "shorter than a recording header";
    } else if (PreadAll(fd, fixed, sizeof fixed, 0) != static_cast<ssize_t>(sizeof fixed)) {
        problem = "header unreadable";
    } else if (std::memcmp(fixed, kRecordFileMagic, sizeof kRecordFileMagic) != 0) {
        problem = "not a recording file";
    }
    StreamInfo info{};
    if (!problem) {
        std::memcpy(&info, fixed + 4, sizeof info);
        if (!IsSupportedVideoCodec(info.videoCodec)) problem = "video codec not supported";
    }
    if (problem) {
        Trace("Player: cannot play %s: %s\n", path.c_str(), problem);
        ::close(fd);
        return -1;
    }
    fd_ = fd;
    path_ = path;
    info_ = info;
    std::memcpy(&startTimeMs_, fixed + kStartTimeOffset, sizeof startTimeMs_);
    size_ = static_cast<uint64_t>(st.st_size);
    return 0;
}

bool RecordingFile::Refresh() {
    struct stat st {};
    if (fd_ < 0 || fstat(fd_, &st) != 0) return false;
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (size == size_) return false;
    bool grew = size > size_;
    size_ = size;
    bufferLength_ = 0;  // a cut-back tail may have been written anew
    return grew;
}

bool RecordingFile::ModifiedWithin(int64_t ms) const {
    struct stat st {};
    timespec now{};
    if (fd_ < 0 || fstat(fd_, &st) != 0 || clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
    int64_t ageMs = (int64_t{now.tv_sec} - st.st_mtim.tv_sec) * 1000 +
                    (int64_t{now.tv_nsec} - st.st_mtim.tv_nsec) / 1000000;
    // A time far in the future (the clock was set back) does not count as recent.
    return ageMs > -ms && ageMs < ms;
}

bool RecordingFile::FillBuffer(uint64_t offset) {
    if (buffer_.size() < kReadAheadBytes) buffer_.resize(kReadAheadBytes);
    ssize_t n = PreadAll(fd_, buffer_.data(), kReadAheadBytes, offset);
    bufferOffset_ = offset;
    bufferLength_ = n > 0 ? static_cast<size_t>(n) : 0;
    return bufferLength_ >= kFrameHeaderBytes;
}

ReadStatus RecordingFile::ReadHeader(uint64_t offset, FileRecord* out) {
    if (fd_ < 0 || offset < kRecordHeaderBytes) return ReadStatus::kBad;
    if (offset > size_ || size_ - offset < kFrameHeaderBytes) return ReadStatus::kEnd;
    bool buffered = offset >= bufferOffset_ && offset - bufferOffset_ <= bufferLength_ &&
                    bufferLength_ - (offset - bufferOffset_) >= kFrameHeaderBytes;
    if (!buffered && !FillBuffer(offset)) return ReadStatus::kEnd;
    std::memcpy(&out->header, buffer_.data() + (offset - bufferOffset_), sizeof out->header);
    out->offset = offset;
    if (out->header.dataLength > kMaxFrameDataLength) return ReadStatus::kBad;
    if (size_ - offset - kFrameHeaderBytes < out->header.dataLength) return ReadStatus::kEnd;
    return ReadStatus::kRecord;
}

int RecordingFile::ReadData(const FileRecord& record, size_t padding, std::vector<uint8_t>* data) {
    if (fd_ < 0) return -1;
    const size_t length = record.header.dataLength;
    const uint64_t at = record.offset + kFrameHeaderBytes;
    data->resize(length + padding);
    if (at >= bufferOffset_ && at - bufferOffset_ <= bufferLength_ &&
        bufferLength_ - (at - bufferOffset_) >= length) {
        std::memcpy(data->data(), buffer_.data() + (at - bufferOffset_), length);
    } else if (PreadAll(fd_, data->data(), length, at) != static_cast<ssize_t>(length)) {
        return -1;
    }
    std::memset(data->data() + length, 0, padding);
    return 0;
}

void RecordingFile::LoadIndexIfStale() {
    // Entries are added as a file grows; a file of unchanged size has the same index.
    if (fd_ < 0 || indexReadAtSize_ == size_) return;
    indexReadAtSize_ = size_;
    index_.clear();
    std::vector<KeyFrameIndexEntry> raw(kKeyFrameIndexEntries);
    const size_t bytes = raw.size() * sizeof(KeyFrameIndexEntry);
    if (PreadAll(fd_, raw.data(), bytes, kKeyFrameIndexOffset) != static_cast<ssize_t>(bytes)) return;
    for (const KeyFrameIndexEntry& e : raw) {
        if (e.fileOffset == 0 || e.fileOffset < kRecordHeaderBytes) break;
        if (!index_.empty() &&
            (e.fileOffset <= index_.back().fileOffset || e.seconds < index_.back().seconds))
            break;
        index_.push_back(e);
    }
}

size_t RecordingFile::UsableIndexEntries() {
    LoadIndexIfStale();
    return index_.size();
}

bool RecordingFile::CheckIndexEntry(size_t i, KeyFramePlace* out) {
    const KeyFrameIndexEntry entry = index_[i];
    FileRecord record;
    if (ReadHeader(entry.fileOffset, &record) != ReadStatus::kRecord) return false;
    if (!IsKeyFrame(record.header)) return false;
    uint32_t time = record.header.timestampMs - startTimeMs_;
    if (static_cast<int32_t>(time) < 0 || time / 1000 != entry.seconds) return false;
    out->header = record.header;
    out->offset = entry.fileOffset;
    out->timeMs = time;
    return true;
}

void RecordingFile::ScanToEnd() {
    if (fd_ < 0 || scanStopped_) return;
    if (!scanStarted_) {
        LoadIndexIfStale();
        scanOffset_ = kRecordHeaderBytes;
        scanSequence_.StartOfFile(startTimeMs_);
        int tries = 0;
        for (size_t i = index_.size(); i-- > 0 && tries < kIndexTries; ++tries) {
            KeyFramePlace place;
            if (CheckIndexEntry(i, &place)) {
                scanOffset_ = place.offset;
                scanSequence_.AfterKeyFrame(startTimeMs_, place.header);
                break;
            }
        }
        scanStarted_ = true;
    }
    for (;;) {
        FileRecord record;
        ReadStatus status = ReadHeader(scanOffset_, &record);
        if (status == ReadStatus::kEnd) return;  // a growing file goes on from here
        if (status == ReadStatus::kRecord && scanSequence_.Accept(record.header)) {
            if (IsVideo(record.header))
                durationMs_ = std::max(durationMs_, record.header.timestampMs - startTimeMs_);
            scanOffset_ = record.NextOffset();
            continue;
        }
        KeyFramePlace place;
        if (NextIndexedKeyFrame(scanOffset_, &place) == 0) {
            scanOffset_ = place.offset;
            scanSequence_.AfterKeyFrame(startTimeMs_, place.header);
            continue;
        }
        scanStopped_ = true;
        return;
    }
}

int RecordingFile::FindKeyFrame(uint32_t targetMs, KeyFramePlace* out) {
    if (fd_ < 0) return -1;
    LoadIndexIfStale();
    KeyFramePlace best;
    bool found = false;
    uint64_t offset = kRecordHeaderBytes;
    RecordSequence sequence;
    sequence.StartOfFile(startTimeMs_);

    // Entries of the target's second or earlier; the walk below finds any later key frame
    // that is not indexed (only every 50th key frame of the second kind is).
    auto firstLater = std::upper_bound(
        index_.begin(), index_.end(), targetMs / 1000,
        [](uint32_t seconds, const KeyFrameIndexEntry& e) { return seconds < e.seconds; });
    int tries = 0;
    for (size_t i = static_cast<size_t>(firstLater - index_.begin()); i-- > 0 && tries < kIndexTries;
         ++tries) {
        KeyFramePlace place;
        if (CheckIndexEntry(i, &place) && place.timeMs <= targetMs) {
            best = place;
            found = true;
            offset = place.offset;
            sequence.AfterKeyFrame(startTimeMs_, place.header);
            break;
        }
    }
    for (;;) {
        FileRecord record;
        if (ReadHeader(offset, &record) != ReadStatus::kRecord || !sequence.Accept(record.header))
            break;
        if (IsVideo(record.header)) {
            uint32_t time = record.header.timestampMs - startTimeMs_;
            if (time > targetMs && found) break;
            if (IsKeyFrameType(record.header.frameType)) {
                best = KeyFramePlace{record.header, offset, time};
                found = true;
                if (time > targetMs) break;  // the first key frame, later than asked
            }
        }
        offset = record.NextOffset();
    }
    if (!found) return -1;
    *out = best;
    return 0;
}

int RecordingFile::NextIndexedKeyFrame(uint64_t after, KeyFramePlace* out) {
    if (fd_ < 0) return -1;
    LoadIndexIfStale();
    auto it = std::upper_bound(
        index_.begin(), index_.end(), after,
        [](uint64_t offset, const KeyFrameIndexEntry& e) { return offset < e.fileOffset; });
    int tries = 0;
    for (size_t i = static_cast<size_t>(it - index_.begin()); i < index_.size() && tries < kIndexTries;
         ++i, ++tries) {
        if (CheckIndexEntry(i, out)) return 0;
    }
    return -1;
}

}  // namespace ocv::player
