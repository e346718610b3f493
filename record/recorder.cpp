#include "record/recorder.h"

#include <pthread.h>

#include <chrono>
#include <cstring>
#include <new>

#include "platform/file_util.h"
#include "shell/base/clock.h"
#include "shell/base/trace.h"

namespace ocv {
namespace {

constexpr uint32_t kMiB = 1048576;
// Index records are brought up to date every this many key frames of each kind.
constexpr int kIndexUpdateType1 = 15;
constexpr int kIndexUpdateType3 = 150;
// The longest a file can be; anything above is a clock step, stored as one hour.
constexpr uint32_t kMaxPlausibleDurationSeconds = 3660;
constexpr uint32_t kClampedDurationSeconds = 3600;

uint32_t RingBytesFor(int preRecordSeconds) {
    if (preRecordSeconds <= 5) return 6 * kMiB;
    if (preRecordSeconds <= 10) return 8 * kMiB;
    return 10 * kMiB;
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
            if (!writer_.IsOpen()) {
                std::string folder = RecordFolderPath(startInfo_);
                std::string path = folder.empty() ? "" : folder + "/" + RecordFileName(startInfo_);
                MakeDirectories(folder);
                if (path.empty() || writer_.Create(path) != 0 || writer_.SetStreamInfo(streamInfo_) != 0 ||
                    writer_.Open(static_cast<uint32_t>(clockSnapshot().SecondOfDay()) * 1000) != 0) {
                    writer_.Close();
                    return 0;
                }
                indexFile_.Close();
                indexRecord_ = {};
                indexRecord_.startHour = static_cast<uint16_t>(startInfo_.hour);
                indexRecord_.startMinute = static_cast<uint16_t>(startInfo_.minute);
                indexRecord_.startSecond = static_cast<uint16_t>(startInfo_.second);
                indexRecord_.recordType = static_cast<uint16_t>(startInfo_.recordType);
                if (indexFile_.Open(folder + "/" + kIndexFileName) != 0 ||
                    (indexRecordOffset_ = indexFile_.Append(indexRecord_)) < 0) {
                    indexFile_.Close();
                    writer_.Close();
                    return 0;
                }
                keyFramesSinceIndexUpdate_ = 0;
            }
            startedFile = true;
            needNewFile_ = false;
        }
        if (writer_.IsOpen()) {
            rc = writer_.WriteFrame(record, length);
            if (key) {
                ++keyFramesSinceIndexUpdate_;
                uint32_t kind = h.frameType % 10;
                if ((kind == kFrameTypeKeyFrameAlt && keyFramesSinceIndexUpdate_ >= kIndexUpdateType3) ||
                    (kind == kFrameTypeKeyFrame && keyFramesSinceIndexUpdate_ >= kIndexUpdateType1)) {
                    UpdateIndexRecordLocked();
                    keyFramesSinceIndexUpdate_ = 0;
                }
            }
        }
    }
    if (startedFile && onStateEvent_) onStateEvent_(ChannelId());
    return rc;
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
