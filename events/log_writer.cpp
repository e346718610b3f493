#include "events/log_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "events/log_file_reader.h"
#include "base/clock.h"
#include "base/trace.h"

namespace ocv {
namespace {

constexpr mode_t kLogFileMode = 0640;

template <size_t N>
void CopyField(char (&dst)[N], const char* src) {
    if (src == nullptr) return;
    strncpy(dst, src, N - 1);
}

int64_t Now() {
    int64_t t = clockSnapshot().time;
    return t != 0 ? t : static_cast<int64_t>(::time(nullptr));
}

std::string DateName(int64_t t) {
    time_t tt = static_cast<time_t>(t);
    struct tm local {};
    localtime_r(&tt, &local);
    char name[32];
    snprintf(name, sizeof name, "%d%02d%02d.log", local.tm_year + 1900, local.tm_mon + 1,
             local.tm_mday);
    return name;
}

}  // namespace

bool IsLogFileName(const std::string& name) {
    if (name.size() != 13 || (name[0] != 'A' && name[0] != 'S' && name[0] != 'O')) return false;
    for (size_t i = 1; i <= 8; ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return name.compare(9, 4, ".log") == 0;
}

LogWriter::LogWriter(std::string logDirectory) : directory_(std::move(logDirectory)) {}

int LogWriter::LogWrite(int logType, int subtype, int deviceIndex, int channelIndex,
                        const char* note, const char* user, int64_t time) {
    if (logType < 0 || logType >= kLogTypeCount) return -1;
    LogRecord r;
    memset(&r, 0, sizeof r);
    if (time == 0) time = Now();
    r.time = static_cast<uint32_t>(time);
    r.logType = static_cast<uint16_t>(logType);
    r.subtype = static_cast<uint16_t>(subtype);
    CopyField(r.user, user);
    std::string host;
    int port = 0;
    if (deviceIndex >= 0 && deviceIndex <= 127 && deviceAddress_ &&
        deviceAddress_(deviceIndex, &host, &port)) {
        std::string text = FormatLogDeviceText(host.c_str(), port, channelIndex + 1);
        CopyField(r.device, text.c_str());
    }
    if (note != nullptr && note[0] != '\0') CopyField(r.note, note);

    std::string path = directory_ + "/" + LogFileName(logType, time);
    std::lock_guard lock(typeLocks_[logType]);
    // Owner and group only: the logs name users and devices.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kLogFileMode);
    if (fd < 0) return 0;
    // Bytes that are not a whole record at the end (a crash, a stray append) would shift this
    // record and every later one of the day: they are cut off first.
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size % static_cast<off_t>(sizeof r) != 0 &&
        ftruncate(fd, st.st_size - st.st_size % static_cast<off_t>(sizeof r)) != 0) {
        Trace("log: %s ends in a partial record that cannot be cut off; record lost\n", path.c_str());
        close(fd);
        return 0;
    }
    // One write of the whole record: appends of the same file never interleave.
    ssize_t n;
    do {
        n = write(fd, &r, sizeof r);
    } while (n < 0 && errno == EINTR);
    if (n > 0 && static_cast<size_t>(n) < sizeof r) {
        // A short append (disk full) would shift every later record: take it back.
        off_t end = lseek(fd, 0, SEEK_END);
        if (end >= n && ftruncate(fd, end - n) != 0) {
            // Nothing more can be done; the next reader stops at the partial tail.
        }
    }
    close(fd);
    if (n == static_cast<ssize_t>(sizeof r)) {
        int channelId = deviceIndex >= 0 && deviceIndex < kMaxDevices && channelIndex >= 0 && channelIndex < kMaxChannels
                            ? ChannelIdOf(deviceIndex, channelIndex)
                            : -1;
        PublishTo(hub_, LogWritten{logType, subtype, channelId, r.time});
    }
    return 0;
}

int LogWriter::DeleteOldLogs(int logMonth) {
    int units = logMonth < 0 ? 1 : logMonth;
    std::string cutoffName = DateName(Now() - static_cast<int64_t>(units) * 604800);
    std::vector<std::string> doomed;
    if (DIR* dir = opendir(directory_.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (IsLogFileName(name) && name.compare(1, std::string::npos, cutoffName) < 0)
                doomed.push_back(name);
        }
        closedir(dir);
    }
    int deleted = 0;
    for (const std::string& name : doomed) {
        if (unlink((directory_ + "/" + name).c_str()) != 0) continue;
        ++deleted;
        LogWrite(kLogSystem, kLogDeleteLogs, -1, 0, name.c_str(), "");
    }
    return deleted;
}

int ReloadTodaysTemperatures(const std::string& logDirectory, const ChannelByDeviceTextFn& channelOf,
                             const PostTemperatureFn& post) {
    ClockSnapshot now = clockSnapshot();
    char name[32];
    snprintf(name, sizeof name, "A%04d%02d%02d.log", now.year, now.month, now.day);
    LogFileReader reader(logDirectory + "/" + name);
    int posted = 0;
    LogRecord r;
    while (reader.Next(&r)) {
        if (r.subtype != kLogTemperatureNormal && r.subtype != kLogTemperatureAbnormal) continue;
        std::string device(r.device, strnlen(r.device, sizeof r.device));
        int channelId = channelOf(device);
        if (channelId < 0) continue;
        std::string note(r.note, strnlen(r.note, sizeof r.note));
        post(channelId, r.subtype == kLogTemperatureNormal ? 18 : 19, note.c_str(), r.time);
        ++posted;
    }
    return posted;
}

}  // namespace ocv
