#pragma once
// The local recordings of a span as one stream of frame records: the chosen files one after
// another, the first and last cut to the span. A file that begins before the span start is
// entered at the key frame at or before the span start (found through the file's key-frame
// index and a short walk), so the output starts with a whole picture; a file is left at its
// first video frame at or after the span end.
#include <cstdint>
#include <string>
#include <vector>

#include "backup/backup_span.h"
#include "backup/frame_source.h"
#include "record/record_file_reader.h"

namespace ocv::backup {

// Larger pictures are not backed up; such a file is skipped like an unreadable one.
constexpr uint32_t kMaxBackupWidth = 1920;
constexpr uint32_t kMaxBackupHeight = 1080;

class RecordingSpanSource : public FrameSource {
public:
    RecordingSpanSource(std::vector<SpanFile> files, const BackupSpan& span);

    int Next(SourceRecord* out) override;
    SourceProgress Progress() const override;
    const std::vector<std::string>& Problems() const override { return problems_; }

private:
    bool OpenFile(const SpanFile& file);
    // Places the reader at the key frame at or before the span start. false when the file
    // holds nothing from the span start on.
    bool PositionAtSpanStart();
    void FinishFile();

    std::vector<SpanFile> files_;
    std::vector<uint64_t> sizes_;
    size_t nextFile_ = 0;
    uint64_t spanStartMs_ = 0;
    uint64_t spanEndMs_ = 0;
    RecordFileReader reader_;
    bool open_ = false;
    uint64_t doneBefore_ = 0;  // bytes of the files already finished
    uint64_t total_ = 0;
    uint32_t serial_ = 0;
    std::vector<uint8_t> data_;
    std::vector<std::string> problems_;
};

}  // namespace ocv::backup
