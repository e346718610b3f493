#pragma once
// A log search on a thread of its own ("log-search"), so the window stays responsive while a
// year of files is read. What it finds is handed on in batches: the first as soon as the first
// file is read (or 1000 rows are found), then at least every 100 ms while rows come, and a last
// one when it ends (progress-only batches keep the window told while nothing matches). Stop()
// ends it after the file being read, or within 4096 rows found. A search ends at a row limit
// (ten million rows, 200 MB of results: decades of logs would not fit in memory); its last
// batch then says it was truncated.
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "events/log_search.h"
#include "monitor/log_results.h"

namespace ocv {

class LogSearchJob {
public:
    // Called on the search thread with each batch, in order; the last has `last` set.
    using DeliverFn = std::function<void(LogRowBatch&& batch)>;

    static constexpr size_t kMaxRows = 10'000'000;

    LogSearchJob(std::string logDirectory, LogQuery query, uint64_t search, DeliverFn deliver,
                 size_t maxRows = kMaxRows);
    ~LogSearchJob();  // stops and joins
    LogSearchJob(const LogSearchJob&) = delete;
    LogSearchJob& operator=(const LogSearchJob&) = delete;

    void Start();
    void Stop();
    // The search on the calling thread (tests, and what Start runs). SearchLogs' result.
    int Run();
    uint64_t search() const { return search_; }

    static constexpr size_t kFirstBatchRows = 1000;
    static constexpr size_t kMaxBatchRows = 65536;
    static constexpr std::chrono::milliseconds kBatchInterval{100};

private:
    class Sink;
    std::string directory_;
    LogQuery query_;
    uint64_t search_;
    DeliverFn deliver_;
    size_t maxRows_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace ocv
