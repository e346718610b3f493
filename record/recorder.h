#pragma once
// One recorder per channel that records or may record: keeps the last seconds of the stream in
// a ring (pre-record) and, while recording is wanted, writes them into .qvx files with an
// images.fi index.
//
// Memory follows the stream. Constructing a recorder takes no ring and no thread; Start says how
// many seconds to keep and from then on frames are taken. The ring is mapped when the first
// frame comes, at kMinRingBytes, and grows when a frame does not fit: to what the stream's bit
// rate needs for the pre-record seconds (measured from the frames the ring holds), at most
// RingCapacityLimit() (6, 8 or 10 MiB by the pre-record seconds). Only a frame that does not
// fit a ring of that limit is an overflow.
//
// Threads: the device library's stream callback calls SetStreamInfo and AddFrame; while the
// channel does not record, AddFrame itself drops what is older than the pre-record seconds, so
// an idle recorder needs no thread at all. While it records, the writer pool's worker of its
// disk drains the ring at its interval, or sooner when AddFrame finds the ring half full: no
// thread is woken per frame. The scheduler, the UI and the device service call the start and
// stop operations. File operations are serialised by the recorder lock (taken before the
// writer's).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "record/index_file.h"
#include "record/record_file_writer.h"
#include "record/record_paths.h"
#include "record/record_writer_pool.h"
#include "record/ring_buffer.h"
#include "base/media_types.h"

namespace ocv {

class Recorder {
public:
    // Queued whenever a recording starts its first file or ends (channel id).
    using StateEventFn = std::function<void(int channelId)>;

    // The ring a stream starts with; about 8 s of a 256 kbit/s sub stream.
    static constexpr uint32_t kMinRingBytes = 256 * 1024;
    // Time the ring is sized to hold beyond the pre-record seconds: what arrives between the
    // writer's passes while recording, and the bit rate's ups and downs.
    static constexpr uint32_t kRingSlackMs = 250;

    // Cheap: no ring, no thread, no file.
    Recorder(int deviceIndex, int channelIndex, StateEventFn onStateEvent);
    ~Recorder();  // Destroy
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Pre-record begins: frames are taken from now on, and the last preRecordSeconds (outside
    // 1..15 counts as 1) of them kept. The ring may grow to 6, 8 or 10 MiB by those seconds.
    // Again later: what the ring holds is dropped and the new seconds apply. Called before the
    // recorder is handed to the stream callback, or on the stream's thread. 0.
    int Start(int preRecordSeconds);
    void SetStreamInfo(const StreamInfo& info);
    // kind 1 video (timestamp = the frame's), 2 audio (timestamp 0). 0; -1 refused (not started,
    // stopping, or no picture size yet); -2 ring overflow (the ring has been emptied).
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
    // The ring's storage now (0 before the first frame), and the most it may grow to.
    uint32_t RingCapacity() const { return ring_.Capacity(); }
    uint32_t RingCapacityLimit() const { return ringLimit_.load(); }
    bool IsRecording() const { return recording_.load(); }
    // Whether the stream's picture size is known (frames are refused before).
    bool HasPictureSize() const { return hasPictureSize_.load(); }
    // Timestamp of the newest video frame taken (0 before the first, or after a reset).
    uint32_t LastVideoTime() const { return lastVideoTime_.load(); }
    int DiskIndex() const { return diskIndex_.load(); }
    // Path of the open file, "" when none.
    std::string OpenFilePath();
    // Names of the files in which writing failed since the last call, oldest first, for the
    // system log: one per run of failures (a file that could not be created, or frames that
    // could not be written), however long the run.
    std::vector<std::string> TakeWriteFailures();
    RingBuffer::Statistics RingStats() { return ring_.Stats(); }

    // For the writer pool: the disk whose worker serves this recorder (that of the recording
    // requested last), -1 while it does not record; and one writer pass. Frames are written
    // from the ring where they lie.
    int WriterDisk() const { return recording_.load() ? writerDisk_.load() : -1; }
    void RunWriterPass();

    // Written frames are handed to this writer (tests inject failing writes through it).
    RecordFileWriter& FileWriterForTesting() { return writer_; }
    // Runs a writer pass on the calling thread (tests without timing).
    void DrainForTesting();
    // How often AddFrame asked the writer pool for a pass before its interval ended.
    uint64_t WakeRequestsForTesting() const { return wakeRequests_.load(); }

private:
    bool MakeRoomFor(uint32_t length);
    uint32_t GrownRingBytes(uint32_t length);
    void WakeWriter();
    int WriterDiskFor(const RecordStartInfo& info) const;
    int WriteFrame(const FrameRecordParts& record);
    int OpenNextFileLocked();
    void EndFailedFileLocked(uint64_t wholeBytes);
    void NoteWriteFailureLocked(const std::string& fileName);
    void CloseFileLocked();
    void UpdateIndexRecordLocked();
    bool HasPictureSizeLocked() const { return streamInfo_.width != 0 && streamInfo_.height != 0; }

    const int deviceIndex_, channelIndex_;
    StateEventFn onStateEvent_;
    RingBuffer ring_;
    std::atomic<uint32_t> ringLimit_{0};  // 0 until Start: no frame is taken
    uint32_t largestEntryBytes_ = 0;      // stream callback only
    std::atomic<int> preRecordSeconds_{1};
    std::atomic<uint32_t> lastVideoTime_{0};
    std::atomic<bool> hasPictureSize_{false};
    std::atomic<bool> recording_{false};
    std::atomic<int> diskIndex_{-1};
    std::atomic<int> writerDisk_{-1};

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

    const std::shared_ptr<RecordWriterPool> pool_;
    std::mutex passMutex_;  // one consumer of the ring at a time, so frames stay in order
    std::atomic<bool> wakeRequested_{false};  // asked for a pass, not begun yet
    std::atomic<uint64_t> wakeRequests_{0};
    std::atomic<bool> stopping_{false};
};

}  // namespace ocv
