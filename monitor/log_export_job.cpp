#include "monitor/log_export_job.h"

#include <pthread.h>

#include <cstdio>

#include "base/trace.h"
#include "events/log_search.h"

namespace ocv {
namespace {
constexpr size_t kLinesPerWrite = 1024;
constexpr std::chrono::milliseconds kProgressInterval{100};
const std::string kNoText;
}  // namespace

const std::string& LogExportTexts::TypeName(int logType) const {
    return logType >= 0 && logType < kLogTypeCount ? typeNames[logType] : kNoText;
}

const std::string& LogExportTexts::Subtype(int subtype) const {
    return subtype >= 0 && subtype < kLogSubtypeCount ? subtypes[subtype] : kNoText;
}

LogExportTexts MakeLogExportTexts(const std::function<std::string(const char* english)>& translate) {
    LogExportTexts t;
    for (int i = 0; i < kLogTypeCount; ++i) t.typeNames[i] = translate(LogTypeName(i));
    for (int i = 0; i < kLogSubtypeCount; ++i) t.subtypes[i] = translate(LogSubtypeText(i));
    return t;
}

LogExportJob::LogExportJob(const LogResults& results, std::string path, LogExportTexts texts, ProgressFn progress)
    : results_(results), path_(std::move(path)), texts_(std::move(texts)), progress_(std::move(progress)) {}

LogExportJob::~LogExportJob() {
    Cancel();
    if (thread_.joinable()) thread_.join();
}

void LogExportJob::Start() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "log-export");
        Run();
    });
}

int LogExportJob::Run() {
    const size_t total = results_.size();
    auto end = [&](int rc) {
        result_.store(rc);
        if (progress_) progress_(written_.load(), total, true);
        return rc;
    };
    if (total == 0) return end(-2);
    FILE* f = fopen(path_.c_str(), "ae");
    if (f == nullptr) {
        Trace("log export to %s: the file cannot be opened\n", path_.c_str());
        return end(-1);
    }
    bool ok = true;
    auto lastReport = std::chrono::steady_clock::now();
    std::string chunk;
    for (size_t i = 0; i < total && ok;) {
        if (cancel_.load()) {
            cancelled_.store(true);
            break;
        }
        chunk.clear();
        size_t upTo = std::min(total, i + kLinesPerWrite);
        for (; i < upTo; ++i) {
            LogRecord r = results_.Record(i);
            chunk += FormatLogExportLine(r, texts_.TypeName(r.logType), texts_.Subtype(r.subtype));
        }
        ok = fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size();
        if (ok) written_.store(i);
        auto now = std::chrono::steady_clock::now();
        if (progress_ && now - lastReport >= kProgressInterval) {
            progress_(written_.load(), total, false);
            lastReport = now;
        }
    }
    ok = fclose(f) == 0 && ok;
    if (!ok) {
        Trace("log export to %s: writing failed after %zu lines\n", path_.c_str(), written_.load());
        return end(-1);
    }
    return end(0);
}

}  // namespace ocv
