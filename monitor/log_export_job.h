#pragma once
// The log window's text export on a thread of its own ("log-export"): one line per result, in
// list order, appended to the chosen file, with progress and a cancel. The results must not
// change while the export runs (the window keeps its search off meanwhile).
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

#include "events/log_record.h"
#include "monitor/log_results.h"

namespace ocv {

// The log type names and subtype texts as the export writes them (translated once, by the
// window).
struct LogExportTexts {
    std::string typeNames[kLogTypeCount];
    std::string subtypes[kLogSubtypeCount];
    const std::string& TypeName(int logType) const;
    const std::string& Subtype(int subtype) const;
};
// The English texts, passed through translate.
LogExportTexts MakeLogExportTexts(const std::function<std::string(const char* english)>& translate);

class LogExportJob {
public:
    // Called on the export thread: lines written so far and in all; at most every 100 ms and
    // once more when the export has ended.
    using ProgressFn = std::function<void(size_t written, size_t total, bool ended)>;

    LogExportJob(const LogResults& results, std::string path, LogExportTexts texts, ProgressFn progress);
    ~LogExportJob();  // cancels and joins
    LogExportJob(const LogExportJob&) = delete;
    LogExportJob& operator=(const LogExportJob&) = delete;

    void Start();
    void Cancel() { cancel_.store(true); }
    // The export on the calling thread (tests, and what Start runs): 0 (also when cancelled),
    // -2 without results, -1 when the file cannot be opened or written.
    int Run();

    // After the end: Run's result, whether it was cancelled and how many lines were written.
    int result() const { return result_.load(); }
    bool cancelled() const { return cancelled_.load(); }
    size_t written() const { return written_.load(); }

private:
    const LogResults& results_;
    std::string path_;
    LogExportTexts texts_;
    ProgressFn progress_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<int> result_{0};
    std::atomic<size_t> written_{0};
    std::thread thread_;
};

}  // namespace ocv
