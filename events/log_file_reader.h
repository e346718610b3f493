#pragma once
// Sequential reader of a log file in large blocks. A truncated last record ends the file.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "events/log_record.h"

namespace ocv {

class LogFileReader {
public:
    explicit LogFileReader(const std::string& path);
    ~LogFileReader();
    LogFileReader(const LogFileReader&) = delete;
    LogFileReader& operator=(const LogFileReader&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // Copies the next whole record; false at the end (or a truncated tail).
    bool Next(LogRecord* record);
    // The next whole record in place (valid until the following call), or nullptr at the end.
    const LogRecord* NextView() {
        if (end_ - pos_ < sizeof(LogRecord) && !Refill()) return nullptr;
        // LogRecord is packed, so any byte offset is a valid address for it.
        const auto* r = reinterpret_cast<const LogRecord*>(buffer_.data() + pos_);
        pos_ += sizeof(LogRecord);
        return r;
    }

private:
    bool Refill();
    FILE* file_ = nullptr;
    std::vector<char> buffer_;
    size_t pos_ = 0, end_ = 0;
};

}  // namespace ocv
