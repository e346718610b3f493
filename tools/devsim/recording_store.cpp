#include "tools/devsim/recording_store.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace ocv::devsim {

using wire::DateTime;

namespace {

constexpr char kTypeLetters[4] = {'?', 'M', 'A', 'P'};

int64_t Today(int* secondOfDay) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    if (secondOfDay) *secondOfDay = (tm.tm_hour * 60 + tm.tm_min) * 60 + tm.tm_sec;
    return wire::DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

StoredFile MakeFile(int channel, int year, int month, int day, int startSec, int durationSec, int type, int kbps) {
    StoredFile f;
    f.channel = channel;
    f.start = DateTime{year, month, day, startSec / 3600, startSec / 60 % 60, startSec % 60};
    f.durationSec = durationSec;
    f.recordType = type;
    f.sizeKiB = uint32_t(int64_t(durationSec) * kbps * 1000 / 8 / 1024);
    char name[64];
    std::snprintf(name, sizeof name, "CH%02d_%04d%02d%02d_%02d%02d%02d_%c.rec", channel + 1, year, month, day,
                  f.start.hour, f.start.minute, f.start.second, kTypeLetters[type]);
    f.name = name;
    return f;
}

}  // namespace

int64_t StoredFile::StartMs() const {
    return (wire::DaysFromCivil(start.year, start.month, start.day) * 86400 + start.SecondOfDay()) * int64_t(1000);
}

RecordingStore::RecordingStore(ArchiveOptions options, std::vector<int> channelKbps)
    : options_(options), kbps_(std::move(channelKbps)) {}

int64_t RecordingStore::LastDayNumber() const {
    if (options_.lastYear == 0) return Today(nullptr);
    return wire::DaysFromCivil(options_.lastYear, options_.lastMonth, options_.lastDay);
}

bool RecordingStore::HasRecordings(int channel, int year, int month, int day) const {
    if (channel < 0 || channel >= channels() || day < 1 || day > wire::DaysInMonth(year, month)) return false;
    int64_t n = wire::DaysFromCivil(year, month, day);
    int64_t last = LastDayNumber();
    if (n > last || n <= last - options_.historyDays || n > Today(nullptr)) return false;
    // Every eighth day (shifted by the channel) the channel recorded nothing.
    return (day + channel) % 8 != 0;
}

std::vector<StoredFile> RecordingStore::FilesOfDay(int channel, int year, int month, int day) const {
    std::vector<StoredFile> files;
    if (!HasRecordings(channel, year, month, day)) return files;
    int kbps = kbps_[size_t(channel)];
    int d = day, c = channel;
    int alarmSeconds = 60 + 30 * ((d + c) % 5);
    files.push_back(MakeFile(c, year, month, day, 2 * 3600 + (7 * d + 13 * c) % 60 * 60, alarmSeconds, 2, kbps));
    files.push_back(MakeFile(c, year, month, day, 3 * 3600 + (11 * d + 5 * c) % 60 * 60 + 30, alarmSeconds, 2, kbps));
    for (int i = 0; i < 20; ++i) files.push_back(MakeFile(c, year, month, day, 8 * 3600 + i * 1800, 1800, 3, kbps));
    if (d % 2 == 0) files.push_back(MakeFile(c, year, month, day, 20 * 3600 + 15 * 60 + c * 60, 600, 1, kbps));
    // Today holds only what has already been recorded.
    int nowSec = 0;
    if (wire::DaysFromCivil(year, month, day) == Today(&nowSec)) {
        files.erase(std::remove_if(files.begin(), files.end(),
                                   [&](const StoredFile& f) { return f.start.SecondOfDay() + f.durationSec > nowSec; }),
                    files.end());
    }
    for (size_t i = 0; i < files.size(); ++i) files[i].number = uint32_t(i + 1);
    return files;
}

std::vector<StoredFile> RecordingStore::Search(const wire::SearchCondition& c, size_t limit) const {
    std::vector<StoredFile> out;
    int64_t first = wire::DaysFromCivil(c.start.year, c.start.month, c.start.day);
    int64_t last = wire::DaysFromCivil(c.end.year, c.end.month, c.end.day);
    int64_t spanStart = (first * 86400 + c.start.SecondOfDay()) * int64_t(1000);
    int64_t spanEnd = (last * 86400 + c.end.SecondOfDay() + 1) * int64_t(1000);  // the end second counts
    for (int64_t n = first; n <= last && out.size() < limit; ++n) {
        int32_t y, m, d;
        wire::CivilFromDays(n, &y, &m, &d);
        for (auto& f : FilesOfDay(c.channel, y, m, d)) {
            if (c.recordType != 0 && f.recordType != c.recordType) continue;
            if (f.StartMs() >= spanEnd || f.EndMs() <= spanStart) continue;
            out.push_back(std::move(f));
            if (out.size() >= limit) break;
        }
    }
    return out;
}

std::string RecordingStore::DayMarks(int channel, int year, int month) const {
    std::string marks(wire::kDayMarkBytes, '0');
    for (int d = 1; d <= wire::DaysInMonth(year, month); ++d) {
        if (HasRecordings(channel, year, month, d)) marks[size_t(d)] = '1';
    }
    return marks;
}

bool RecordingStore::FindByName(int channel, const std::string& name, StoredFile* out) const {
    // The name carries the date; the day's list decides whether the file exists.
    int ch = 0, y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0;
    char type = 0;
    if (name.size() > 40 ||
        std::sscanf(name.c_str(), "CH%2d_%4d%2d%2d_%2d%2d%2d_%c.rec", &ch, &y, &m, &d, &hh, &mm, &ss, &type) != 8) {
        return false;
    }
    if (ch != channel + 1 || m < 1 || m > 12) return false;
    for (auto& f : FilesOfDay(channel, y, m, d)) {
        if (f.name == name) {
            *out = std::move(f);
            return true;
        }
    }
    return false;
}

}  // namespace ocv::devsim
