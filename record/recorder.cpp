#include "record/recorder.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/file_util.h"
#include "base/clock.h"
#include "base/trace.h"

namespace ocv {
namespace {

constexpr uint32_t kMiB = 1048576;
constexpr uint32_t kMaxDrives = 24;  // C..Z
// Index records are brought up to date every this many key frames of each kind.
constexpr int kIndexUpdateType1 = 15;
constexpr int kIndexUpdateType3 = 150;
// The longest a file can be; anything above is a clock step, stored as one hour.
constexpr uint32_t kMaxPlausibleDurationSeconds = 3660;
constexpr uint32_t kClampedDurationSeconds = 3600;

// Seconds tried after a start time whose file name is taken.
constexpr int kMaxNameTries = 3600;
// Failure reports kept for the scheduler's log when nobody takes them.
constexpr size_t kMaxFailureReports = 16;

uint32_t RingLimitFor(int preRecordSeconds) {
    if (preRecordSeconds <= 5) return 6 * kMiB;
    if (preRecordSeconds <= 10) return 8 * kMiB;
    return 10 * kMiB;
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

Recorder::Recorder(int deviceIndex, int channelIndex, StateEventFn onStateEvent)
    : deviceIndex_(deviceIndex),
      channelIndex_(channelIndex),
      onStateEvent_(std::move(onStateEvent)),
      pool_(RecordWriterPool::Shared()) {
    pool_->Add(this);
}

Recorder::~Recorder() {
    stopping_ = true;
    // No writer pass runs or begins after this: the file may be closed under nobody's feet.
    pool_->Remove(this);
    {
        std::lock_guard lock(mutex_);
        if (recording_) {
            streamInfo_ = {};
            hasPictureSize_ = false;
            recordRequest_ = 0;
            splitPending_ = false;
            CloseFileLocked();
        }
        indexFile_.Close();
    }
}

int Recorder::Start(int preRecordSeconds) {
    if (preRecordSeconds < 1 || preRecordSeconds > 15) preRecordSeconds = 1;
    std::lock_guard pass(passMutex_);
    ring_.Reset();
    lastVideoTime_ = 0;
    preRecordSeconds_ = preRecordSeconds;
    uint32_t limit = RingLimitFor(preRecordSeconds);
    // A ring above the new limit goes; the next frame maps a small one again.
    if (ring_.Capacity() > limit) ring_.Init(0);
    ringLimit_ = limit;
    return 0;
}

void Recorder::SetStreamInfo(const StreamInfo& info) {
    {
        std::lock_guard lock(mutex_);
        streamInfo_ = info;
        hasPictureSize_ = HasPictureSizeLocked();
    }
    ring_.Reset();
    lastVideoTime_ = 0;
}

int Recorder::AddFrame(const void* frame, uint32_t length, uint32_t timestamp, int kind) {
    if (stopping_ || !hasPictureSize_ || ringLimit_.load(std::memory_order_relaxed) == 0) return -1;
    if (lastVideoTime_ == 0 || kind == 1) lastVideoTime_ = timestamp;
    int rc = MakeRoomFor(length) ? ring_.Put(frame, length, lastVideoTime_, 0) : -2;
    if (rc != 0) {
        ring_.Reset();
        lastVideoTime_ = 0;
        Trace("QVX_REC_AddToRingBuffer ERROR 0x%x\n", static_cast<unsigned>(rc));
        return -2;
    }
    largestEntryBytes_ = std::max(largestEntryBytes_, static_cast<uint32_t>(RingBuffer::EntryBytes(length)));
    if (recording_.load(std::memory_order_relaxed)) {
        // The worker comes at its interval; only a ring half full calls it sooner.
        if (ring_.UsedBytes() >= ring_.Capacity() / 2 && !wakeRequested_.exchange(true)) {
            ++wakeRequests_;
            WakeWriter();
        }
    } else if (passMutex_.try_lock()) {
        // Not recording: the pre-record seconds are kept here, on the stream's thread. When a
        // writer pass holds the ring it trims it itself.
        ring_.TrimTo(lastVideoTime_, static_cast<uint32_t>(preRecordSeconds_.load()) * 1000);
        passMutex_.unlock();
    }
    return 0;
}

bool Recorder::MakeRoomFor(uint32_t length) {
    if (ring_.Capacity() != 0 && ring_.Fits(length)) return true;
    uint32_t bytes = GrownRingBytes(length);
    if (bytes == 0) return false;
    // Grow keeps the entries; a first ring is simply mapped.
    int rc = ring_.Capacity() == 0 ? ring_.Init(bytes) : ring_.Grow(bytes);
    return rc == 0 && ring_.Fits(length);
}

uint32_t Recorder::GrownRingBytes(uint32_t length) {
    constexpr uint64_t kStep = 64 * 1024;
    const uint64_t limit = ringLimit_.load();
    const uint64_t capacity = ring_.Capacity();
    const uint64_t entry = RingBuffer::EntryBytes(length);
    if (capacity >= limit) return 0;
    const uint64_t used = ring_.UsedBytes();
    uint64_t target;
    if (capacity == 0) {
        target = kMinRingBytes;
    } else {
        // The stream's rate over what the ring holds, once that is a second or more, for the
        // pre-record seconds and the slack; before that, twice the ring.
        const uint32_t spanMs = lastVideoTime_.load() - ring_.PeekTag1();
        const uint64_t windowMs = uint64_t{static_cast<uint32_t>(preRecordSeconds_.load())} * 1000 + kRingSlackMs;
        if (spanMs >= 1000 && spanMs < windowMs * 4)
            target = used * windowMs / spanMs + largestEntryBytes_;
        else
            target = 2 * capacity;
    }
    // Room for this entry in any case, and never less than a step more.
    target = std::max({target, used + 2 * entry, capacity + kStep});
    target = (target + kStep - 1) / kStep * kStep;
    return static_cast<uint32_t>(std::min(target, limit));
}

int Recorder::WriterDiskFor(const RecordStartInfo& info) const {
    // The disk the files go to; a request without a drive letter is still drained by a worker.
    return info.disk < kMaxDrives ? static_cast<int>(info.disk) : std::max(diskIndex_.load(), 0);
}

void Recorder::WakeWriter() {
    int disk = writerDisk_.load();
    if (disk >= 0) pool_->Wake(disk);
}

void Recorder::RunWriterPass() {
    std::lock_guard pass(passMutex_);
    wakeRequested_ = false;
    if (ring_.IsEmpty() || lastVideoTime_ == 0) return;
    if (recording_) {
        RingBuffer::EntryView entry;
        while (!stopping_ && ring_.Peek(&entry) == 0) {
            FrameRecordParts record;
            for (int i = 0; i < 2; ++i) {
                record.parts[i] = entry.parts[i];
                record.sizes[i] = entry.sizes[i];
            }
            WriteFrame(record);
            ring_.Release(true);
        }
    }
    // Keep only the pre-record seconds while nothing is being written.
    ring_.TrimTo(lastVideoTime_, static_cast<uint32_t>(preRecordSeconds_.load()) * 1000);
}

void Recorder::DrainForTesting() { RunWriterPass(); }

int Recorder::WriteFrame(const FrameRecordParts& record) {
    if (record.Length() < kFrameHeaderBytes) return -1;
    FrameHeader h;
    uint32_t first = std::min<uint32_t>(record.sizes[0], sizeof h);
    memcpy(&h, record.parts[0], first);
    if (first < sizeof h) memcpy(reinterpret_cast<uint8_t*>(&h) + first, record.parts[1], sizeof h - first);
    bool key = IsKeyFrame(h);
    bool startedFile = false;
    int rc = 0;
    {
        std::lock_guard lock(mutex_);
        if (!recording_) return -1;
        if (splitPending_ && key) {
            CloseFileLocked();
            splitPending_ = false;
            needNewFile_ = true;
        }
        if (needNewFile_) {
            if (!HasPictureSizeLocked() || recordRequest_ == 0) return -1;
            if (!key) return 0;
            recordRequest_ = 0;
            if (!writer_.IsOpen() && OpenNextFileLocked() != 0) return 0;  // the request is consumed
            startedFile = true;
            needNewFile_ = false;
        }
        if (writer_.IsOpen()) {
            const uint64_t whole = writer_.ByteCount();
            rc = writer_.WriteFrame(record);
            if (rc == 0 && writer_.ByteCount() > whole) {
                writeFailing_ = false;
                if (key) {
                    ++keyFramesSinceIndexUpdate_;
                    uint32_t kind = h.frameType % 10;
                    if ((kind == kFrameTypeKeyFrameAlt && keyFramesSinceIndexUpdate_ >= kIndexUpdateType3) ||
                        (kind == kFrameTypeKeyFrame && keyFramesSinceIndexUpdate_ >= kIndexUpdateType1)) {
                        UpdateIndexRecordLocked();
                        keyFramesSinceIndexUpdate_ = 0;
                    }
                }
            } else if (rc == -1) {
                NoteWriteFailureLocked(FileNameOf(writer_.Path()));
                if (!writer_.IsOpen()) EndFailedFileLocked(whole);
            }
        }
    }
    if (startedFile && onStateEvent_) onStateEvent_(ChannelId());
    return rc;
}

int Recorder::OpenNextFileLocked() {
    std::string folder = RecordFolderPath(startInfo_);
    if (folder.empty() || MakeDirectories(folder) != 0) {
        Trace("recorder %d: no folder for %s\n", ChannelId(), folder.c_str());
        NoteWriteFailureLocked(RecordFileName(startInfo_));
        return -1;
    }
    indexFile_.Close();
    std::vector<IndexRecord> listed;
    if (indexFile_.Open(folder + "/" + kIndexFileName) != 0 || indexFile_.ReadAll(&listed) != 0) {
        Trace("recorder %d: cannot open %s/%s\n", ChannelId(), folder.c_str(), kIndexFileName);
        indexFile_.Close();
        NoteWriteFailureLocked(kIndexFileName);
        return -1;
    }
    // A name that is listed or taken is never reused (the clock set back, the hour that comes
    // twice when summer time ends): the file starts under the next free second's name.
    std::set<std::string> taken;
    for (const IndexRecord& r : listed) taken.insert(ListedFileName(startInfo_, r));
    RecordStartInfo name = startInfo_;
    std::string path;
    int rc = RecordFileWriter::kExists;
    for (int tries = 0; tries < kMaxNameTries && rc == RecordFileWriter::kExists; ++tries) {
        if (tries > 0 && !NextSecondOfDay(&name)) break;
        std::string file = RecordFileName(name);
        if (taken.count(file)) continue;
        path = folder + "/" + file;
        if (writer_.Create(path) != 0 || writer_.SetStreamInfo(streamInfo_) != 0) {
            rc = -1;
            break;
        }
        rc = writer_.Open(static_cast<uint32_t>(clockSnapshot().SecondOfDay()) * 1000);
    }
    if (rc != 0) {
        if (rc == RecordFileWriter::kExists)
            Trace("recorder %d: no free file name left in %s\n", ChannelId(), folder.c_str());
        indexFile_.Close();
        NoteWriteFailureLocked(RecordFileName(name));
        return -1;
    }
    indexRecord_ = {};
    indexRecord_.startHour = static_cast<uint16_t>(name.hour);
    indexRecord_.startMinute = static_cast<uint16_t>(name.minute);
    indexRecord_.startSecond = static_cast<uint16_t>(name.second);
    indexRecord_.recordType = static_cast<uint16_t>(startInfo_.recordType);
    indexRecordOffset_ = indexFile_.Append(indexRecord_);
    if (indexRecordOffset_ < 0) {
        Trace("recorder %d: cannot list %s in %s\n", ChannelId(), path.c_str(), kIndexFileName);
        // Only its header is in the file; unlisted it would be found by nobody.
        writer_.Close();
        unlink(path.c_str());
        indexFile_.Close();
        NoteWriteFailureLocked(RecordFileName(name));
        return -1;
    }
    keyFramesSinceIndexUpdate_ = 0;
    return 0;
}

void Recorder::EndFailedFileLocked(uint64_t wholeBytes) {
    // The writer gave the file up after a frame it could not take back: its whole records end
    // at wholeBytes. Recording goes on in a new file from the next key frame, named by the time
    // it begins.
    indexRecord_.sizeKiB = static_cast<uint32_t>(wholeBytes / 1024);
    UpdateIndexRecordLocked();
    indexFile_.Close();
    needNewFile_ = true;
    recordRequest_ = static_cast<uint8_t>(startInfo_.recordType != 0 ? startInfo_.recordType : 1);
    ClockSnapshot now = clockSnapshot();
    startInfo_.year = static_cast<uint32_t>(now.year);
    startInfo_.month = static_cast<uint32_t>(now.month);
    startInfo_.day = static_cast<uint32_t>(now.day);
    startInfo_.hour = static_cast<uint32_t>(now.hour);
    startInfo_.minute = static_cast<uint32_t>(now.minute);
    startInfo_.second = static_cast<uint32_t>(now.second);
}

void Recorder::NoteWriteFailureLocked(const std::string& fileName) {
    if (writeFailing_) return;  // one report per run of failures
    writeFailing_ = true;
    if (writeFailures_.size() < kMaxFailureReports) writeFailures_.push_back(fileName);
}

std::vector<std::string> Recorder::TakeWriteFailures() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    out.swap(writeFailures_);
    return out;
}

void Recorder::UpdateIndexRecordLocked() {
    if (!indexFile_.IsOpen()) return;
    int now = clockSnapshot().SecondOfDay();
    int start = indexRecord_.startHour * 3600 + indexRecord_.startMinute * 60 + indexRecord_.startSecond;
    int duration = now - start;
    if (duration < 0) duration += 86400;
    uint32_t seconds = static_cast<uint32_t>(duration);
    if (seconds > kMaxPlausibleDurationSeconds) seconds = kClampedDurationSeconds;
    indexRecord_.durationSeconds = seconds;
    indexFile_.Rewrite(indexRecordOffset_, indexRecord_);
}

void Recorder::CloseFileLocked() {
    if (!recording_) return;
    bool ending = recordRequest_ == 0;
    if (ending) recording_ = false;
    if (writer_.IsOpen()) {
        indexRecord_.sizeKiB = static_cast<uint32_t>(writer_.ByteCount() / 1024);
        writer_.Close();
    }
    UpdateIndexRecordLocked();
    indexFile_.Close();
    needNewFile_ = true;
    if (ending && onStateEvent_) onStateEvent_(ChannelId());
}

int Recorder::StartRecording(const RecordStartInfo& info, int start, bool split) {
    std::lock_guard lock(mutex_);
    if (!HasPictureSizeLocked()) return -1;
    startInfo_ = info;
    if (start == 0) {
        recordRequest_ = 0;
        splitPending_ = false;
        CloseFileLocked();
        recording_ = false;
        return 0;
    }
    splitPending_ = split;
    if (diskIndex_ == -1) return -1;
    writerDisk_ = WriterDiskFor(info);
    recording_ = true;
    recordRequest_ = static_cast<uint8_t>(start);
    // The pre-record seconds wait in the ring: the disk's worker takes them now.
    WakeWriter();
    return 0;
}

int Recorder::StartIfIdle(const RecordStartInfo& info) {
    std::lock_guard lock(mutex_);
    if (diskIndex_ == -1 || recording_) return -1;
    startInfo_ = info;
    writerDisk_ = WriterDiskFor(info);
    recording_ = true;
    recordRequest_ = 1;
    WakeWriter();
    return 0;
}

int Recorder::StopRecording() {
    std::lock_guard lock(mutex_);
    if (recording_) {
        recordRequest_ = 0;
        splitPending_ = false;
        CloseFileLocked();
    }
    return 0;
}

int Recorder::ChangeDisk(int disk) {
    return diskIndex_.exchange(disk) == disk ? 0 : -1;
}

void Recorder::InitDisk(int disk) {
    int none = -1;
    diskIndex_.compare_exchange_strong(none, disk);
}

std::string Recorder::OpenFilePath() {
    std::lock_guard lock(mutex_);
    return writer_.IsOpen() ? writer_.Path() : std::string();
}

}  // namespace ocv
