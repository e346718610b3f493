#include "record/record_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ocv {

RecordFileReader::~RecordFileReader() { Close(); }

void RecordFileReader::Close() {
    if (file_) fclose(file_);
    file_ = nullptr;
    keyFrames_.clear();
}

int RecordFileReader::Open(const std::string& path) {
    Close();
    file_ = fopen(path.c_str(), "rbe");
    if (!file_) return -1;
    struct stat st {};
    if (fstat(fileno(file_), &st) != 0 || static_cast<uint64_t>(st.st_size) < kRecordHeaderBytes) {
        Close();
        return -1;
    }
    fileSize_ = static_cast<uint64_t>(st.st_size);
    std::vector<uint8_t> header(kRecordHeaderBytes);
    if (fread(header.data(), 1, header.size(), file_) != header.size() ||
        memcmp(header.data(), kRecordFileMagic, 4) != 0) {
        Close();
        return -1;
    }
    memcpy(&info_, header.data() + 4, sizeof info_);
    memcpy(&videoFrameCount_, header.data() + kVideoFrameCountOffset, 4);
    memcpy(&startTimeMs_, header.data() + kStartTimeOffset, 4);
    for (uint32_t i = 0; i < kKeyFrameIndexEntries; ++i) {
        KeyFrameIndexEntry e;
        memcpy(&e, header.data() + kKeyFrameIndexOffset + 8 * i, sizeof e);
        if (e.fileOffset == 0) break;
        keyFrames_.push_back(e);
    }
    offset_ = kRecordHeaderBytes;
    return 0;
}

int RecordFileReader::Seek(uint64_t offset) {
    if (!file_ || offset < kRecordHeaderBytes || offset > fileSize_) return -1;
    if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return -1;
    offset_ = offset;
    return 0;
}

bool RecordFileReader::Next(FrameHeader* header, std::vector<uint8_t>* data) {
    if (!file_) return false;
    FrameHeader h;
    if (fread(&h, 1, sizeof h, file_) != sizeof h) {
        fseeko(file_, static_cast<off_t>(offset_), SEEK_SET);
        return false;
    }
    if (h.dataLength > kMaxFrameDataLength) {
        fseeko(file_, static_cast<off_t>(offset_), SEEK_SET);
        return false;
    }
    data->resize(h.dataLength);
    if (h.dataLength > 0 && fread(data->data(), 1, h.dataLength, file_) != h.dataLength) {
        fseeko(file_, static_cast<off_t>(offset_), SEEK_SET);
        return false;
    }
    offset_ += sizeof h + h.dataLength;
    *header = h;
    return true;
}

int ReadIndexFile(const std::string& path, std::vector<IndexRecord>* records) {
    FILE* f = fopen(path.c_str(), "rbe");
    if (!f) return -1;
    IndexRecord r;
    while (fread(&r, 1, sizeof r, f) == sizeof r) records->push_back(r);
    fclose(f);
    return 0;
}

int AppendIndexRecord(const std::string& path, const IndexRecord& record) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return -1;
    }
    // A torn tail from a crash is overwritten, so records stay aligned.
    off_t whole = st.st_size - st.st_size % static_cast<off_t>(sizeof record);
    int position = static_cast<int>(whole / static_cast<off_t>(sizeof record));
    ssize_t n = pwrite(fd, &record, sizeof record, whole);
    bool ok = n == static_cast<ssize_t>(sizeof record);
    if (!ok && n > 0 && ftruncate(fd, whole) != 0) {
        // Left for the start-up repair.
    }
    close(fd);
    return ok ? position : -1;
}

int RewriteIndexRecord(const std::string& path, int position, const IndexRecord& record) {
    if (position < 0) return -1;
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    off_t at = static_cast<off_t>(position) * static_cast<off_t>(sizeof record);
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && at + static_cast<off_t>(sizeof record) <= st.st_size &&
              pwrite(fd, &record, sizeof record, at) == static_cast<ssize_t>(sizeof record);
    close(fd);
    return ok ? 0 : -1;
}

}  // namespace ocv
