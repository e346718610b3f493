#pragma once
// Search and text export of the log files, for the log window.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "events/log_record.h"

namespace ocv {

struct LogQuery {
    int logType = kLogAlarm;
    int subtypeEntry = 0;      // 0 = every subtype of the log type
    int64_t startTime = 0;     // inclusive, seconds since 1970
    int64_t endTime = 0;       // inclusive
    bool anyDevice = true;
    std::string deviceHost;    // with anyDevice false: the device's HOST ...
    int devicePort = 0;        // ... and PORT
    bool anyUser = true;
    std::string user;          // with anyUser false (operation log only)
};

// Whether an entry of the log window's subtype choice keeps a subtype.
bool SubtypeEntryKeeps(int logType, int entry, int subtype);

// Receives what a search finds, in file and record order. Called on the searching thread.
class LogSearchSink {
public:
    virtual ~LogSearchSink() = default;
    // A record that passes the query; false stops the search.
    virtual bool Found(const LogRecord& record) = 0;
    // Candidate file `index` of `count` has been read; false stops the search.
    virtual bool FileDone(size_t index, size_t count) {
        (void)index;
        (void)count;
        return true;
    }
};

// The files a query reads, in reading (name) order: those of the log type's prefix whose names
// lie, in byte order, between the day files of the start and of the end, both inclusive.
std::vector<std::string> CandidateLogFiles(const std::string& logDirectory, const LogQuery& query);

// Reads the candidate files of the query's days and hands the matching records to the sink.
// 0 (also when the sink stopped it); -1 when the start is not before the end or the log type
// is invalid.
int SearchLogs(const std::string& logDirectory, const LogQuery& query, LogSearchSink& sink);

// The same, appending the matching records to *out.
int SearchLogs(const std::string& logDirectory, const LogQuery& query, std::vector<LogRecord>* out);

// "[1][yyyy-mm-dd hh:mm:ss][type][user][device][subtype][note]\n"
std::string FormatLogExportLine(const LogRecord& record, const std::string& typeName,
                                const std::string& subtypeText);

// Appends one line per record to path. translate turns the English type and subtype names into
// the shown ones. 0; -2 with no records; -1 when the file cannot be written.
int ExportLogs(const std::string& path, const std::vector<LogRecord>& records,
               const std::function<std::string(const std::string&)>& translate);

}  // namespace ocv
