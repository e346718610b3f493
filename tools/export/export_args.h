#pragma once
// Command line of ocuvant-export.
#include <string>
#include <vector>

#include "backup/backup_names.h"
#include "backup/backup_span.h"

namespace ocv::exporter {

struct ExportArgs {
    std::vector<std::string> roots;  // drive directories (each holding QVXFile)
    std::string host;
    int port = 0;
    int channel = 0;  // from 1
    backup::LocalDateTime from;
    backup::LocalDateTime to;
    backup::ExportFormat format = backup::ExportFormat::kAvi;
    std::string out;
    int typeFilter = backup::kAnyRecordType;
    bool quiet = false;
    bool help = false;
};

// Exit statuses.
constexpr int kExitComplete = 0;
constexpr int kExitFailed = 1;       // nothing or not all of the span could be written
constexpr int kExitUsage = 2;        // bad arguments, a span that is refused
constexpr int kExitEmptySpan = 3;    // no recordings in the span
constexpr int kExitInterrupted = 130;

// 0, or -1 with *error set. --drive letters are resolved into roots here.
int ParseExportArgs(const std::vector<std::string>& args, ExportArgs* out, std::string* error);

// "HOST:PORT:CH" (the host may itself hold colons). 0 or -1.
int ParseChannel(const std::string& text, std::string* host, int* port, int* channel);

const char* ExportUsage();

}  // namespace ocv::exporter
