#include "monitor/log_results.h"

#include <cstring>

namespace ocv {

LogTextNumbering::LogTextNumbering() { numbers_.emplace(std::string(), 0); }

uint32_t LogTextNumbering::Number(const char* field, size_t size, std::vector<std::string>* fresh) {
    std::string_view text(field, strnlen(field, size));
    if (text.empty()) return 0;
    auto found = numbers_.find(text);
    if (found != numbers_.end()) return found->second;
    uint32_t number = static_cast<uint32_t>(numbers_.size());
    numbers_.emplace(std::string(text), number);
    fresh->emplace_back(text);
    return number;
}

void LogResults::Clear() {
    rows_.clear();
    rows_.shrink_to_fit();
    texts_.assign(1, std::string());
}

bool LogResults::Accepts(const LogRowBatch& batch) const {
    size_t known = texts_.size() + batch.newTexts.size();
    for (const LogRow& r : batch.rows)
        if (r.user >= known || r.device >= known || r.note >= known) return false;
    return true;
}

bool LogResults::Append(LogRowBatch&& batch) {
    if (!Accepts(batch)) return false;
    for (std::string& t : batch.newTexts) texts_.push_back(std::move(t));
    rows_.insert(rows_.end(), batch.rows.begin(), batch.rows.end());
    return true;
}

const std::string& LogResults::Text(uint32_t number) const {
    return number < texts_.size() ? texts_[number] : texts_[0];
}

LogRecord LogResults::Record(size_t i) const {
    const LogRow& r = rows_[i];
    LogRecord out{};
    out.time = r.time;
    out.logType = r.logType;
    out.subtype = r.subtype;
    auto put = [](char* field, size_t size, const std::string& text) {
        size_t n = std::min(text.size(), size - 1);
        memcpy(field, text.data(), n);
    };
    put(out.user, sizeof out.user, Text(r.user));
    put(out.device, sizeof out.device, Text(r.device));
    put(out.note, sizeof out.note, Text(r.note));
    return out;
}

bool LogBatchBox::Put(LogRowBatch&& batch) {
    std::lock_guard lock(mutex_);
    bool wasEmpty = batches_.empty();
    batches_.push_back(std::move(batch));
    return wasEmpty;
}

std::vector<LogRowBatch> LogBatchBox::TakeAll() {
    std::lock_guard lock(mutex_);
    std::vector<LogRowBatch> out;
    out.swap(batches_);
    return out;
}

}  // namespace ocv
