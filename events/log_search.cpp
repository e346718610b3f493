#include "events/log_search.h"

#include <dirent.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "events/log_file_reader.h"
#include "events/log_writer.h"

namespace ocv {
namespace {

struct SubtypeRange {
    int first, last;
};

// Entry -> subtype ranges, per log type; entries missing from the table keep nothing.
bool EntryRanges(int logType, int entry, std::vector<SubtypeRange>* ranges) {
    switch (logType) {
        case kLogAlarm:
            switch (entry) {
                case 1: *ranges = {{0, 1}}; return true;
                case 2: *ranges = {{2, 3}}; return true;
                case 3: *ranges = {{42, 42}}; return true;
                case 4: *ranges = {{43, 43}}; return true;
            }
            return false;
        case kLogSystem:
            switch (entry) {
                case 1: *ranges = {{6, 7}}; return true;
                case 2: *ranges = {{9, 10}}; return true;
                case 3: *ranges = {{8, 13}}; return true;
            }
            return false;
        case kLogOperate:
            switch (entry) {
                case 1: *ranges = {{14, 15}}; return true;
                case 2: *ranges = {{33, 41}}; return true;
                case 3: *ranges = {{22, 23}}; return true;
                case 4: *ranges = {{30, 32}}; return true;
                case 5: *ranges = {{16, 21}}; return true;
                case 6: *ranges = {{29, 29}}; return true;
                case 7: *ranges = {{24, 36}}; return true;
                case 8: *ranges = {{16, 18}}; return true;
                case 10: *ranges = {{27, 28}}; return true;
            }
            return false;
    }
    return false;
}

std::string DayFileName(char prefix, int64_t t) {
    time_t tt = static_cast<time_t>(t);
    struct tm local {};
    localtime_r(&tt, &local);
    char name[32];
    snprintf(name, sizeof name, "%c%04d%02d%02d.log", prefix, local.tm_year + 1900,
             local.tm_mon + 1, local.tm_mday);
    return name;
}

std::string FieldText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

// The device field names the chosen device when it is exactly what the writer would have made
// for that host and port and the record's channel: a plain "contains the host" test would also
// take 10.0.0.12 for 10.0.0.1, and could not see a host that the writer had to cut.
class DeviceMatcher {
public:
    explicit DeviceMatcher(const LogQuery& q) : query_(q) {
        for (int ch = 1; ch <= kChannels; ++ch)
            texts_[ch - 1] = FormatLogDeviceText(q.deviceHost.c_str(), q.devicePort, ch);
        // Bytes every channel's text begins with: most records are rejected on them alone.
        commonPrefix_ = texts_[0].size();
        for (const std::string& t : texts_) {
            size_t n = 0;
            while (n < commonPrefix_ && n < t.size() && t[n] == texts_[0][n]) ++n;
            commonPrefix_ = n;
        }
    }
    bool Matches(const LogRecord& r) const {
        if (memcmp(r.device, texts_[0].data(), commonPrefix_) != 0) return false;
        size_t len = strnlen(r.device, sizeof r.device);
        const char* dash = static_cast<const char*>(memrchr(r.device, '-', len));
        if (dash == nullptr) return false;
        int channel = 0;
        for (const char* p = dash + 1; p < r.device + len && *p >= '0' && *p <= '9'; ++p)
            channel = channel * 10 + (*p - '0');
        if (channel >= 1 && channel <= kChannels) return Same(texts_[channel - 1], r.device, len);
        return Same(FormatLogDeviceText(query_.deviceHost.c_str(), query_.devicePort, channel),
                    r.device, len);
    }

private:
    static bool Same(const std::string& text, const char* field, size_t len) {
        return text.size() == len && memcmp(text.data(), field, len) == 0;
    }
    static constexpr int kChannels = 64;
    const LogQuery& query_;
    std::string texts_[kChannels];
    size_t commonPrefix_ = 0;
};

}  // namespace

bool SubtypeEntryKeeps(int logType, int entry, int subtype) {
    if (entry == 0) return true;
    std::vector<SubtypeRange> ranges;
    if (!EntryRanges(logType, entry, &ranges)) return false;
    return std::any_of(ranges.begin(), ranges.end(),
                       [&](const SubtypeRange& r) { return subtype >= r.first && subtype <= r.last; });
}

std::vector<std::string> CandidateLogFiles(const std::string& logDirectory, const LogQuery& q) {
    std::vector<std::string> files;
    char prefix = LogFilePrefix(q.logType);
    if (prefix == '\0') return files;
    std::string first = DayFileName(prefix, q.startTime), last = DayFileName(prefix, q.endTime);
    if (DIR* dir = opendir(logDirectory.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (!name.empty() && name[0] == prefix && name >= first && name <= last)
                files.push_back(name);
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

int SearchLogs(const std::string& logDirectory, const LogQuery& q, LogSearchSink& sink) {
    if (q.startTime >= q.endTime) return -1;
    if (LogFilePrefix(q.logType) == '\0') return -1;
    std::vector<SubtypeRange> ranges;
    bool allSubtypes = q.subtypeEntry == 0;
    bool knownEntry = allSubtypes || EntryRanges(q.logType, q.subtypeEntry, &ranges);
    if (!knownEntry) return 0;
    std::vector<std::string> files = CandidateLogFiles(logDirectory, q);
    bool keep[kLogSubtypeCount + 1] = {};
    for (int st = 0; st < kLogSubtypeCount; ++st) keep[st] = allSubtypes;
    for (const SubtypeRange& range : ranges)
        for (int st = range.first; st <= range.last && st < kLogSubtypeCount; ++st) keep[st] = true;
    std::optional<DeviceMatcher> device;
    if (!q.anyDevice) device.emplace(q);
    bool userFilter = q.logType == kLogOperate && !q.anyUser;
    for (size_t i = 0; i < files.size(); ++i) {
        LogFileReader reader(logDirectory + "/" + files[i]);
        while (const LogRecord* r = reader.NextView()) {
            if (r->time < q.startTime || r->time > q.endTime) continue;
            if (r->subtype >= kLogSubtypeCount ? !allSubtypes : !keep[r->subtype]) continue;
            if (device && !device->Matches(*r)) continue;
            if (userFilter && FieldText(r->user, sizeof r->user) != q.user) continue;
            if (!sink.Found(*r)) return 0;
        }
        if (!sink.FileDone(i, files.size())) return 0;
    }
    return 0;
}

int SearchLogs(const std::string& logDirectory, const LogQuery& q, std::vector<LogRecord>* out) {
    class Collect : public LogSearchSink {
    public:
        explicit Collect(std::vector<LogRecord>* out) : out_(out) {}
        bool Found(const LogRecord& record) override {
            out_->push_back(record);
            return true;
        }

    private:
        std::vector<LogRecord>* out_;
    } collect(out);
    return SearchLogs(logDirectory, q, collect);
}

std::string FormatLogExportLine(const LogRecord& r, const std::string& typeName,
                                const std::string& subtypeText) {
    time_t tt = static_cast<time_t>(r.time);
    struct tm local {};
    localtime_r(&tt, &local);
    char head[64];
    snprintf(head, sizeof head, "[%d][%d-%02d-%02d %02d:%02d:%02d]", 1, local.tm_year + 1900,
             local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return std::string(head) + "[" + typeName + "][" + FieldText(r.user, sizeof r.user) + "][" +
           FieldText(r.device, sizeof r.device) + "][" + subtypeText + "][" +
           FieldText(r.note, sizeof r.note) + "]\n";
}

int ExportLogs(const std::string& path, const std::vector<LogRecord>& records,
               const std::function<std::string(const std::string&)>& translate) {
    if (records.empty()) return -2;
    FILE* f = fopen(path.c_str(), "ae");
    if (!f) return -1;
    bool ok = true;
    for (const LogRecord& r : records) {
        std::string line = FormatLogExportLine(r, translate(LogTypeName(r.logType)),
                                               translate(LogSubtypeText(r.subtype)));
        ok = fwrite(line.data(), 1, line.size(), f) == line.size() && ok;
    }
    ok = fclose(f) == 0 && ok;
    return ok ? 0 : -1;
}

}  // namespace ocv
