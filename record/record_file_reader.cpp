#include "record/record_file_reader.h"

#include <sys/stat.h>

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

}  // namespace ocv
