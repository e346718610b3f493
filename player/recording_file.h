#pragma once
// Reads a .qvx recording for playback (layout in record/record_format.h and
// docs/storage-format.md). Nothing read from the file is trusted: index entries are used
// only after the record they point at proved to be the key frame they announce, and a
// walk through the records stops at the first record that the recording file writer could
// not have written after the ones before it (see RecordSequence). So a file cut short by a
// crash, a zeroed or damaged index and garbage after the last record all read as the
// whole records before the damage.
//
// One thread at a time (the port's file thread, or the caller of a preview picture).
#include <cstdint>
#include <string>
#include <vector>

#include "record/record_format.h"
#include "base/media_types.h"

namespace ocv::player {

enum class ReadStatus {
    kRecord,  // a whole record
    kEnd,     // the file ends before the record does (a file still being written may grow)
    kBad,     // not a record: a data length above the limit, or outside the frame area
};

struct FileRecord {
    FrameHeader header{};
    uint64_t offset = 0;  // of its 16-byte header
    uint64_t NextOffset() const { return offset + kFrameHeaderBytes + header.dataLength; }
};

// A key frame found in the file: where it is and its time since the file's start.
struct KeyFramePlace {
    FrameHeader header{};
    uint64_t offset = 0;
    uint32_t timeMs = 0;
};

// The writer's timestamp rules, used to tell records from garbage: video timestamps step
// by 0..1000 ms (a longer step is written as 1000), audio timestamps by 0..1000 ms (a long
// gap is written as 20), and the first record of each kind lies within a second of the
// file's start time.
class RecordSequence {
public:
    static constexpr uint32_t kMaxStepMs = 1000;

    // Expects the first records of the file.
    void StartOfFile(uint32_t startTimeMs);
    // Continues after a key frame found in the middle of the file: audio then only has
    // to lie after the file's start until its first record sets the pace.
    void AfterKeyFrame(uint32_t startTimeMs, const FrameHeader& keyFrame);
    // True, and remembered, when the header can follow the records accepted so far.
    bool Accept(const FrameHeader& header);

private:
    uint32_t start_ = 0;
    bool fromStart_ = true;
    bool haveVideo_ = false, haveAudio_ = false;
    uint32_t lastVideo_ = 0, lastAudio_ = 0;
};

class RecordingFile {
public:
    // Header lookups a damaged index entry may cost before the search falls back to
    // earlier entries or to walking from the first record.
    static constexpr int kIndexTries = 8;

    RecordingFile() = default;
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    // 0; -1 with a trace line: missing or unreadable, shorter than its header, without
    // the magic, or with a video codec the player does not decode.
    int Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    const StreamInfo& Info() const { return info_; }
    uint32_t StartTimeMs() const { return startTimeMs_; }
    uint64_t Size() const { return size_; }

    // Looks at the file's size again; true when it grew.
    bool Refresh();
    // True when the file was written to within the last ms milliseconds (its
    // modification time against the real-time clock): a recorder is still at it.
    bool ModifiedWithin(int64_t ms) const;

    // The record header at offset. kRecord only for a whole record.
    ReadStatus ReadHeader(uint64_t offset, FileRecord* out);
    // The record's data, followed by padding zero bytes. 0, or -1 (read error, file cut).
    int ReadData(const FileRecord& record, size_t padding, std::vector<uint8_t>* data);

    // Walks to the last whole record (from the last usable index entry the first time,
    // then on from where it stopped, for a growing file), so that DurationMs() is the
    // time of the last whole video record since the file's start.
    void ScanToEnd();
    uint32_t DurationMs() const { return durationMs_; }

    // The latest key frame at or before targetMs (ms since the file's start), found
    // through the index and by walking the records after it; the first key frame when
    // none lies that early. 0, or -1 when the file holds no readable key frame.
    int FindKeyFrame(uint32_t targetMs, KeyFramePlace* out);
    // The first indexed key frame after offset that checks out: where reading goes on
    // after a damaged record. 0, or -1 when there is none.
    int NextIndexedKeyFrame(uint64_t after, KeyFramePlace* out);
    // Index entries of plausible shape (ascending offsets inside the frame area,
    // non-decreasing seconds), before the first that is not.
    size_t UsableIndexEntries();

private:
    void LoadIndexIfStale();
    bool CheckIndexEntry(size_t i, KeyFramePlace* out);
    bool FillBuffer(uint64_t offset);

    int fd_ = -1;
    std::string path_;
    StreamInfo info_{};
    uint32_t startTimeMs_ = 0;
    uint64_t size_ = 0;

    std::vector<KeyFrameIndexEntry> index_;
    uint64_t indexReadAtSize_ = 0;

    // Read-ahead for record headers: most records are small, so one read serves many.
    std::vector<uint8_t> buffer_;
    uint64_t bufferOffset_ = 0;
    size_t bufferLength_ = 0;

    bool scanStarted_ = false;
    bool scanStopped_ = false;  // met data that no growth can mend
    uint64_t scanOffset_ = 0;
    RecordSequence scanSequence_;
    uint32_t durationMs_ = 0;
};

}  // namespace ocv::player
