#pragma once
// One recorder per open channel: keeps the last seconds of the stream in a ring (pre-record)
// and, while recording is wanted, writes them into .qvx files with an images.fi index.
//
// Threads: the device library's stream callback calls SetStreamInfo and AddFrame; the writer
// thread drains the ring; the scheduler, the UI and the device service call the start and stop
// operations. File operations are serialised by the recorder lock (taken before the writer's).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "record/index_file.h"
#include "record/record_file_writer.h"
#include "record/record_paths.h"
#include "record/ring_buffer.h"
#include "base/media_types.h"

namespace ocv {

class Recorder {
public:
    // Queued whenever a recording starts its first file or ends (channel id).
    using StateEventFn = std::function<void(int channelId)>;

    static constexpr uint32_t kFrameBufferBytes = 1048576;
    static constexpr uint32_t kCreateRingBytes = 204800;

    Recorder(int deviceIndex, int channelIndex, StateEventFn onStateEvent);
    ~Recorder();  // Destroy
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Ring of 6, 8 or 10 MiB by the pre-record seconds (outside 1..15 counts as 1), the frame
    // buffer and a fresh writer thread. 0 or -1.
    int Start(int preRecordSeconds);
    void SetStreamInfo(const StreamInfo& info);
    // kind 1 video (timestamp = the frame's), 2 audio (timestamp 0). 0; -1 refused (stopping,
    // or no picture size yet); -2 ring overflow (the ring has been emptied).
    int AddFrame(const void* frame, uint32_t length, uint32_t timestamp, int kind);

    int StartRecording(const RecordStartInfo& info, int start, bool split);
    int StartIfIdle(const RecordStartInfo& info);
    int StopRecording();
    // 0 unchanged, -1 changed (and now changed).
    int ChangeDisk(int disk);
    // Sets the disk only while none is set.
    void InitDisk(int disk);

    int ChannelId() const { return deviceIndex_ * 64 + channelIndex_; }
    int PreRecordSeconds() const { return preRecordSeconds_.load(); }
    uint32_t RingCapacity() const { return ring_.Capacity(); }
    bool IsRecording() const { return recording_.load(); }
    int DiskIndex() const { return diskIndex_.load(); }
    // Path of the open file, "" when none.
    std::string OpenFilePath();
    // Names of the files in which writing failed since the last call, oldest first, for the
    // system log: one per run of failures (a file that could not be created, or frames that
    // could not be written), however long the run.
    std::vector<std::string> TakeWriteFailures();
    RingBuffer::Statistics RingStats() { return ring_.Stats(); }

    // Written frames are handed to this writer (tests inject failing writes through it).
    RecordFileWriter& FileWriterForTesting() { return writer_; }
    // Runs the writer thread's work once on the calling thread (tests without timing).
    void DrainForTesting() { WriterPass(); }

private:
    void WriterLoop();
    void WriterPass();
    int WriteFrame(const uint8_t* record, uint32_t length);
    int OpenNextFileLocked();
    void EndFailedFileLocked(uint64_t wholeBytes);
    void NoteWriteFailureLocked(const std::string& fileName);
    void CloseFileLocked();
    void UpdateIndexRecordLocked();
    bool HasPictureSizeLocked() const { return streamInfo_.width != 0 && streamInfo_.height != 0; }
    void StopWriterThread();

    const int deviceIndex_, channelIndex_;
    StateEventFn onStateEvent_;
    RingBuffer ring_;
    std::unique_ptr<uint8_t[]> frameBuffer_;
    std::atomic<int> preRecordSeconds_{1};
    std::atomic<uint32_t> lastVideoTime_{0};
    std::atomic<bool> hasPictureSize_{false};
    std::atomic<bool> recording_{false};
    std::atomic<int> diskIndex_{-1};

    std::mutex mutex_;  // the recorder lock: file operations and the fields below
    StreamInfo streamInfo_{};
    RecordStartInfo startInfo_{};
    bool needNewFile_ = true;
    uint8_t recordRequest_ = 0;
    bool splitPending_ = false;
    RecordFileWriter writer_;
    IndexFile indexFile_;
    long indexRecordOffset_ = -1;
    IndexRecord indexRecord_{};
    int keyFramesSinceIndexUpdate_ = 0;
    bool writeFailing_ = false;               // the last write or file creation failed
    std::vector<std::string> writeFailures_;  // not yet taken by TakeWriteFailures

    std::thread thread_;
    std::mutex passMutex_;  // one consumer of the ring at a time, so frames stay in order
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool dataPending_ = false;
    std::atomic<bool> stopping_{false};
};

}  // namespace ocv
