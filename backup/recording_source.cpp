#include "backup/recording_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "base/trace.h"

namespace ocv::backup {

RecordingSpanSource::RecordingSpanSource(std::vector<SpanFile> files, const BackupSpan& span)
    : files_(std::move(files)),
      spanStartMs_(static_cast<uint64_t>(span.startSecond) * 1000),
      spanEndMs_(static_cast<uint64_t>(span.endSecond) * 1000) {
    for (const SpanFile& f : files_) {
        struct stat st {};
        uint64_t size = stat(f.path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
        sizes_.push_back(size);
        total_ += size;
    }
}

bool RecordingSpanSource::OpenFile(const SpanFile& file) {
    if (reader_.Open(file.path) != 0) {
        problems_.push_back(file.path + ": missing, unreadable or not a recording file");
        Trace("backup: %s skipped (cannot be read)\n", file.path.c_str());
        doneBefore_ += sizes_[nextFile_ - 1];
        return false;
    }
    const StreamInfo& info = reader_.Info();
    if (info.width == 0 || info.height == 0 || info.width > kMaxBackupWidth ||
        info.height > kMaxBackupHeight) {
        char why[96];
        snprintf(why, sizeof why, ": picture size %ux%u is not backed up (up to %ux%u)",
                 info.width, info.height, kMaxBackupWidth, kMaxBackupHeight);
        problems_.push_back(file.path + why);
        Trace("backup: %s skipped%s\n", file.path.c_str(), why);
        reader_.Close();
        doneBefore_ += sizes_[nextFile_ - 1];
        return false;
    }
    open_ = true;
    ++serial_;
    if (!PositionAtSpanStart()) {
        FinishFile();
        return false;
    }
    return true;
}

bool RecordingSpanSource::PositionAtSpanStart() {
    uint64_t fileStart = reader_.StartTimeMs();
    if (fileStart >= spanStartMs_) return true;  // everything in the file is from the span on
    // The index gives whole seconds on the file's time line, so an entry is certainly before
    // the span start only when its second ends by then. A damaged index is trusted only up
    // to its first implausible entry.
    uint64_t from = kRecordHeaderBytes;
    uint64_t previous = 0;
    for (const KeyFrameIndexEntry& e : reader_.KeyFrames()) {
        if (e.fileOffset < kRecordHeaderBytes || e.fileOffset >= reader_.FileSize() ||
            e.fileOffset <= previous)
            break;
        previous = e.fileOffset;
        if (fileStart + static_cast<uint64_t>(e.seconds) * 1000 + 1000 > spanStartMs_) break;
        from = e.fileOffset;
    }
    if (reader_.Seek(from) != 0) return false;
    // Not every key frame is indexed: walk on to the last key frame at or before the start.
    uint64_t keyAt = 0;
    bool haveKey = false;
    for (;;) {
        uint64_t at = reader_.Offset();
        FrameHeader h;
        if (!reader_.Next(&h, &data_)) return false;  // the file ends before the span
        if (!IsVideoFrame(h)) continue;
        if (IsKeyFrame(h) && h.timestampMs <= spanStartMs_) {
            keyAt = at;
            haveKey = true;
        }
        if (h.timestampMs >= spanStartMs_) return reader_.Seek(haveKey ? keyAt : at) == 0;
    }
}

void RecordingSpanSource::FinishFile() {
    doneBefore_ += sizes_[nextFile_ - 1];
    reader_.Close();
    open_ = false;
}

int RecordingSpanSource::Next(SourceRecord* out) {
    for (;;) {
        if (!open_) {
            if (nextFile_ >= files_.size()) return 0;
            const SpanFile& file = files_[nextFile_++];
            if (!OpenFile(file)) continue;
        }
        FrameHeader h;
        if (!reader_.Next(&h, &data_)) {
            FinishFile();
            continue;
        }
        if (IsVideoFrame(h) && h.timestampMs >= spanEndMs_) {
            FinishFile();
            continue;
        }
        out->header = h;
        out->data = data_.data();
        out->info = &reader_.Info();
        out->streamSerial = serial_;
        return 1;
    }
}

SourceProgress RecordingSpanSource::Progress() const {
    uint64_t current = open_ ? std::min(reader_.Offset(), sizes_[nextFile_ - 1]) : 0;
    return SourceProgress{doneBefore_ + current, total_};
}

}  // namespace ocv::backup
