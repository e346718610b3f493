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

private:
    bool Refill();
    FILE* file_ = nullptr;
    std::vector<char> buffer_;
    size_t pos_ = 0, end_ = 0;
};

}  // namespace ocv
