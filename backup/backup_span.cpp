#include "backup/backup_span.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <set>

#include "platform/drives.h"
#include "record/index_file.h"
#include "record/record_format.h"
#include "record/record_paths.h"

namespace ocv::backup {
namespace {

bool Digits(std::string_view s, size_t at, size_t count, int* value) {
    int v = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    *value = v;
    return true;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

long long Key(const LocalDateTime& t) {
    return ((((t.year * 100LL + t.month) * 100 + t.day) * 100 + t.hour) * 100 + t.minute) * 100 +
           t.second;
}

std::string RealDirectory(const std::string& dir) {
    char real[PATH_MAX];
    return realpath(dir.c_str(), real) ? std::string(real) : dir;
}

bool ValidIndexRecord(const IndexRecord& r) {
    return r.startHour < 24 && r.startMinute < 60 && r.startSecond < 60 && r.recordType >= 1 &&
           r.recordType <= 3;
}

}  // namespace

int ParseDateTime(std::string_view s, LocalDateTime* out) {
    // YYYY-MM-DD HH:MM:SS
    if (s.size() != 19 || s[4] != '-' || s[7] != '-' || (s[10] != ' ' && s[10] != 'T') ||
        s[13] != ':' || s[16] != ':')
        return -1;
    LocalDateTime t;
    if (!Digits(s, 0, 4, &t.year) || !Digits(s, 5, 2, &t.month) || !Digits(s, 8, 2, &t.day) ||
        !Digits(s, 11, 2, &t.hour) || !Digits(s, 14, 2, &t.minute) || !Digits(s, 17, 2, &t.second))
        return -1;
    if (!IsValidDateTime(t)) return -1;
    *out = t;
    return 0;
}

bool IsValidDateTime(const LocalDateTime& t) {
    if (t.year < 1970 || t.year > 9999 || t.month < 1 || t.month > 12) return false;
    if (t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return false;
    return t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 &&
           t.second < 60;
}

std::string FormatDateTime(const LocalDateTime& t) {
    char text[32];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
             t.minute, t.second);
    return text;
}

SpanCheck MakeSpan(const LocalDateTime& start, const LocalDateTime& end, BackupSpan* out) {
    if (!IsValidDateTime(start) || !IsValidDateTime(end)) return SpanCheck::kInvalid;
    if (Key(start) >= Key(end)) return SpanCheck::kStartNotBeforeEnd;
    if (start.year != end.year || start.month != end.month || start.day != end.day)
        return SpanCheck::kCrossesDay;
    out->year = start.year;
    out->month = start.month;
    out->day = start.day;
    out->startSecond = start.hour * 3600 + start.minute * 60 + start.second;
    out->endSecond = end.hour * 3600 + end.minute * 60 + end.second;
    return SpanCheck::kOk;
}

int FindSpanFiles(const std::vector<std::string>& driveDirs, const std::string& channelFolder,
                  const BackupSpan& span, int typeFilter, std::vector<SpanFile>* out) {
    out->clear();
    std::string day = DayFolderName(span.year, span.month, span.day);
    std::set<std::string> paths;
    for (size_t d = 0; d < driveDirs.size(); ++d) {
        std::string folder = driveDirs[d] + "/QVXFile/" + day + "/" + channelFolder;
        std::vector<IndexRecord> records;
        if (ReadIndexFile(folder + "/" + kIndexFileName, &records) != 0) continue;
        for (const IndexRecord& r : records) {
            if (!ValidIndexRecord(r) || r.durationSeconds == 0) continue;
            if (typeFilter != kAnyRecordType && r.recordType != typeFilter) continue;
            int start = r.startHour * 3600 + r.startMinute * 60 + r.startSecond;
            if (static_cast<int64_t>(start) + r.durationSeconds < span.startSecond) continue;
            if (start >= span.endSecond) continue;
            char name[64];
            snprintf(name, sizeof name, "%s%02d%02d%02d_%02d%02d%02d.qvx",
                     RecordPrefix(r.recordType), span.year % 100, span.month, span.day,
                     r.startHour, r.startMinute, r.startSecond);
            SpanFile f;
            f.path = folder + "/" + name;
            // Two starts within one second name the same file (the second replaced the first).
            if (!paths.insert(f.path).second) continue;
            f.startSecond = start;
            f.durationSeconds = r.durationSeconds;
            f.recordType = r.recordType;
            f.driveOrder = static_cast<int>(d);
            out->push_back(std::move(f));
        }
    }
    std::stable_sort(out->begin(), out->end(), [](const SpanFile& a, const SpanFile& b) {
        return a.startSecond < b.startSecond;
    });
    return out->empty() ? -2 : 0;
}

std::vector<std::string> AllDriveDirectories() {
    std::vector<std::string> dirs;
    std::set<std::string> seen;
    for (int n = 0; n < drives::kMaxDrives; ++n) {
        std::string dir = drives::DriveDirectory(drives::LetterOf(n));
        if (dir.empty()) continue;
        if (seen.insert(RealDirectory(dir)).second) dirs.push_back(dir);
    }
    return dirs;
}

}  // namespace ocv::backup
