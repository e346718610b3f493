#pragma once
// The results of a log search as the log window keeps them. A year of logs is millions of
// records: each is kept as a 20-byte row whose user, device and note are numbers of texts kept
// once each, so the list holds a year in memory and the window never reads a file to draw a
// row. The search thread builds rows in batches together with the texts they introduce; the
// window appends the batches in order.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "events/log_record.h"

namespace ocv {

struct LogRow {
    uint32_t time;
    uint16_t logType;
    uint16_t subtype;
    uint32_t user;    // text numbers; 0 is the empty text
    uint32_t device;
    uint32_t note;
};
static_assert(sizeof(LogRow) == 20);

// Rows found since the last batch, with the texts first used by them (numbered on from the
// texts of the batches before).
struct LogRowBatch {
    uint64_t search = 0;  // which search found them
    std::vector<LogRow> rows;
    std::vector<std::string> newTexts;
    size_t filesRead = 0, fileCount = 0;
    bool last = false;       // the search has ended (finished or stopped)
    bool truncated = false;  // it ended at the row limit: more records matched
};

// Numbers texts on the search thread: the same text gets the same number.
class LogTextNumbering {
public:
    LogTextNumbering();
    // The number of a NUL-terminated field of at most `size` bytes; new texts are added to
    // *fresh as well.
    uint32_t Number(const char* field, size_t size, std::vector<std::string>* fresh);

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, uint32_t, Hash, std::equal_to<>> numbers_;
};

// The window's side: every row found so far and the texts they use. UI thread.
class LogResults {
public:
    LogResults() { texts_.push_back(std::string()); }
    void Clear();
    // Whether a batch brings every text its rows refer to.
    bool Accepts(const LogRowBatch& batch) const;
    // Appends a batch; false (and nothing appended) when it does not pass Accepts.
    bool Append(LogRowBatch&& batch);
    size_t size() const { return rows_.size(); }
    const LogRow& row(size_t i) const { return rows_[i]; }
    const std::string& Text(uint32_t number) const;
    // The record a row stands for (the fields the window shows and exports).
    LogRecord Record(size_t i) const;

private:
    std::vector<LogRow> rows_;
    std::vector<std::string> texts_;
};

// Batches travel from the search thread to the window through this box.
class LogBatchBox {
public:
    // Returns whether the box was empty (the window must then be told).
    bool Put(LogRowBatch&& batch);
    std::vector<LogRowBatch> TakeAll();

private:
    std::mutex mutex_;
    std::vector<LogRowBatch> batches_;
};

}  // namespace ocv
