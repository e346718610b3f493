#include "monitor/log_search_job.h"

#include <pthread.h>

namespace ocv {

class LogSearchJob::Sink : public LogSearchSink {
public:
    explicit Sink(LogSearchJob& job) : job_(job), lastDelivery_(std::chrono::steady_clock::now()) {
        batch_.search = job.search_;
    }

    bool Found(const LogRecord& r) override {
        if (found_ >= job_.maxRows_) {
            batch_.truncated = true;
            return false;
        }
        ++found_;
        LogRow row;
        row.time = r.time;
        row.logType = r.logType;
        row.subtype = r.subtype;
        row.user = numbering_.Number(r.user, sizeof r.user, &batch_.newTexts);
        row.device = numbering_.Number(r.device, sizeof r.device, &batch_.newTexts);
        row.note = numbering_.Number(r.note, sizeof r.note, &batch_.newTexts);
        batch_.rows.push_back(row);
        size_t wanted = delivered_ ? kMaxBatchRows : kFirstBatchRows;
        if (batch_.rows.size() >= wanted) Deliver(false);
        // Checked every 4096 rows so a search with many matches also stops promptly.
        if ((batch_.rows.size() & 4095) == 0 && job_.stop_.load()) return false;
        return true;
    }

    bool FileDone(size_t index, size_t count) override {
        batch_.filesRead = index + 1;
        batch_.fileCount = count;
        auto now = std::chrono::steady_clock::now();
        // Rows of the first file at once; after that rows, or at least the progress, now and then.
        if ((!batch_.rows.empty() && !delivered_) || now - lastDelivery_ >= kBatchInterval) Deliver(false);
        return !job_.stop_.load();
    }

    void Finish() { Deliver(true); }

private:
    void Deliver(bool last) {
        batch_.last = last;
        const bool truncated = batch_.truncated;
        size_t filesRead = batch_.filesRead, fileCount = batch_.fileCount;
        job_.deliver_(std::move(batch_));
        batch_ = LogRowBatch{};
        batch_.search = job_.search_;
        batch_.filesRead = filesRead;
        batch_.fileCount = fileCount;
        batch_.truncated = truncated;
        delivered_ = true;
        lastDelivery_ = std::chrono::steady_clock::now();
    }

    LogSearchJob& job_;
    LogTextNumbering numbering_;
    LogRowBatch batch_;
    bool delivered_ = false;
    size_t found_ = 0;
    std::chrono::steady_clock::time_point lastDelivery_;
};

LogSearchJob::LogSearchJob(std::string logDirectory, LogQuery query, uint64_t search, DeliverFn deliver,
                           size_t maxRows)
    : directory_(std::move(logDirectory)),
      query_(std::move(query)),
      search_(search),
      deliver_(std::move(deliver)),
      maxRows_(maxRows) {}

LogSearchJob::~LogSearchJob() {
    Stop();
    if (thread_.joinable()) thread_.join();
}

void LogSearchJob::Start() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "log-search");
        Run();
    });
}

void LogSearchJob::Stop() { stop_.store(true); }

int LogSearchJob::Run() {
    Sink sink(*this);
    int rc = SearchLogs(directory_, query_, sink);
    sink.Finish();
    return rc;
}

}  // namespace ocv
