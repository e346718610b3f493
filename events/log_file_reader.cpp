#include "events/log_file_reader.h"

#include <cstring>

namespace ocv {
namespace {
// A multiple of the record size, so a refill never splits a record except at the file's end.
constexpr size_t kBlockBytes = sizeof(LogRecord) * 2048;
}

LogFileReader::LogFileReader(const std::string& path) : buffer_(kBlockBytes) {
    file_ = fopen(path.c_str(), "rbe");
    if (file_) setvbuf(file_, nullptr, _IONBF, 0);
}

LogFileReader::~LogFileReader() {
    if (file_) fclose(file_);
}

bool LogFileReader::Refill() {
    if (!file_) return false;
    size_t keep = end_ - pos_;
    if (keep) memmove(buffer_.data(), buffer_.data() + pos_, keep);
    pos_ = 0;
    end_ = keep + fread(buffer_.data() + keep, 1, buffer_.size() - keep, file_);
    return end_ - pos_ >= sizeof(LogRecord);
}

bool LogFileReader::Next(LogRecord* record) {
    const LogRecord* r = NextView();
    if (r == nullptr) return false;
    memcpy(record, r, sizeof(LogRecord));
    return true;
}

}  // namespace ocv
