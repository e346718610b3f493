#include "record/recorder.h"

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <new>
#include <set>

#include "platform/file_util.h"
#include "base/clock.h"
#include "base/trace.h"

namespace ocv {
namespace {

constexpr uint32_t kMiB = 1048576;
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

uint32_t RingBytesFor(int preRecordSeconds) {
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
    : deviceIndex_(deviceIndex), channelIndex_(channelIndex), onStateEvent_(std::move(onStateEvent)) {
    ring_.Init(kCreateRingBytes);
}

Recorder::~Recorder() {
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
    StopWriterThread();
}

void Recorder::StopWriterThread() {
    {
        std::lock_guard lock(wakeMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

int Recorder::Start(int preRecordSeconds) {
    ring_.Reset();
    if (preRecordSeconds < 1 || preRecordSeconds > 15) preRecordSeconds = 1;
    preRecordSeconds_ = preRecordSeconds;
    ring_.Init(RingBytesFor(preRecordSeconds));
    if (!frameBuffer_) {
        frameBuffer_.reset(new (std::nothrow) uint8_t[kFrameBufferBytes]);
        if (!frameBuffer_) return -1;
    }
    StopWriterThread();
    stopping_ = false;
    thread_ = std::thread([this] {
        char name[16];
        snprintf(name, sizeof name, "rec-%d-%d", deviceIndex_, channelIndex_);
        pthread_setname_np(pthread_self(), name);
        WriterLoop();
    });
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
    if (stopping_ || !hasPictureSize_) return -1;
    if (lastVideoTime_ == 0 || kind == 1) lastVideoTime_ = timestamp;
    int rc = ring_.Put(frame, length, lastVideoTime_, 0);
    if (rc != 0) {
        ring_.Reset();
        lastVideoTime_ = 0;
        Trace("QVX_REC_AddToRingBuffer ERROR 0x%x\n", static_cast<unsigned>(rc));
        return -2;
    }
    {
        std::lock_guard lock(wakeMutex_);
        dataPending_ = true;
    }
    wake_.notify_one();
    return 0;
}

void Recorder::WriterLoop() {
    while (!stopping_) {
        {
            std::unique_lock lock(wakeMutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(50),
                           [this] { return dataPending_ || stopping_; });
            dataPending_ = false;
        }
        if (stopping_) break;
        WriterPass();
    }
}

void Recorder::WriterPass() {
    std::lock_guard pass(passMutex_);
    if (ring_.IsEmpty() || lastVideoTime_ == 0 || !frameBuffer_) return;
    if (recording_) {
        uint32_t total = 0;
        while (!stopping_ && ring_.Get(frameBuffer_.get(), kFrameBufferBytes, &total) == 0) {
            if (total >= 8) WriteFrame(frameBuffer_.get() + 8, total - 8);
        }
    }
    // Keep only the pre-record seconds while nothing is being written.
    uint32_t keepMs = static_cast<uint32_t>(preRecordSeconds_.load()) * 1000;
    while (!stopping_ && !ring_.IsEmpty() && lastVideoTime_ - ring_.PeekTag1() > keepMs) {
        if (ring_.Skip() != 0) break;
    }
}

int Recorder::WriteFrame(const uint8_t* record, uint32_t length) {
    if (length < kFrameHeaderBytes) return -1;
    FrameHeader h;
    memcpy(&h, record, sizeof h);
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
            rc = writer_.WriteFrame(record, length);
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
    recording_ = true;
    recordRequest_ = static_cast<uint8_t>(start);
    return 0;
}

int Recorder::StartIfIdle(const RecordStartInfo& info) {
    std::lock_guard lock(mutex_);
    if (diskIndex_ == -1 || recording_) return -1;
    startInfo_ = info;
    recording_ = true;
    recordRequest_ = 1;
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
