#include "backup/snapshot.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/drives.h"
#include "platform/file_util.h"
#include "base/trace.h"

namespace ocv::backup {
namespace {

std::atomic<int> gSequence{0};

// A host is a name, never a path: separators would open folders of their own.
std::string FolderSafe(const char* host) {
    std::string s = host ? host : "";
    for (char& c : s)
        if (c == '/' || c == '\\') c = '_';
    return s;
}

int Capture(SnapshotKind kind, SystemSettings& settings, const char* host, int port,
            int channelNumber, PictureGrabber& grabber, std::string* written) {
    if (!host || !*host || channelNumber < 1) return -1;
    if (EnsureTrailingBackslash(settings.PHOTOPATH) != 0) return -1;
    ClockSnapshot now = clockSnapshot();
    bool bitmap = settings.PHOTOTYPE != 0;
    std::string folder = SnapshotFolder(kind, settings.PHOTOPATH, now, host, port, channelNumber);
    std::string name = SnapshotName(kind, now, TakeSnapshotSequence(), bitmap);
    std::string dir = drives::ResolveStoredPath(folder);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (dir.empty()) {
        Trace("snapshot: the drive of %s is not mapped\n", folder.c_str());
        return -1;
    }
    if (MakeDirectories(dir) != 0) {
        Trace("snapshot: cannot create %s\n", dir.c_str());
        return -1;
    }
    std::string bytes;
    int rc = grabber.Grab(bitmap, 100, &bytes);
    if (rc != 0) return rc;
    std::string path = dir + "/" + name;
    if (ReplaceFileAtomically(path, bytes) != 0) {
        Trace("snapshot: cannot write %s\n", path.c_str());
        return -1;
    }
    if (written) *written = path;
    return 0;
}

}  // namespace

int EnsureTrailingBackslash(char (&photoPath)[kPathBytes]) {
    size_t n = strnlen(photoPath, kPathBytes);
    if (n == 0 || n == kPathBytes) return -1;
    if (photoPath[n - 1] == '\\') return 0;
    if (n + 1 >= kPathBytes) return -1;
    photoPath[n] = '\\';
    photoPath[n + 1] = '\0';
    return 0;
}

std::string SnapshotFolder(SnapshotKind kind, const char* photoPath, const ClockSnapshot& now,
                           const char* host, int port, int channelNumber) {
    char tail[160];
    snprintf(tail, sizeof tail, "%s\\%04d_%02d_%02d\\%s-%d-C%d\\",
             kind == SnapshotKind::kLive ? "QVXPhoto" : "QVXPhotoPB", now.year, now.month, now.day,
             FolderSafe(host).c_str(), port, channelNumber);
    return std::string(photoPath ? photoPath : "") + tail;
}

std::string SnapshotName(SnapshotKind kind, const ClockSnapshot& now, int sequence, bool bitmap) {
    char name[64];
    snprintf(name, sizeof name, "%s%02d%02d%02d%02d%02d%02d%02d.%s",
             kind == SnapshotKind::kLive ? "" : "PB", now.year % 100, now.month, now.day, now.hour,
             now.minute, now.second, sequence, bitmap ? "bmp" : "jpg");
    return name;
}

int TakeSnapshotSequence() {
    int current = gSequence.load();
    while (!gSequence.compare_exchange_weak(current, current >= 99 ? 0 : current + 1)) {
    }
    return current;
}

void ResetSnapshotSequenceForTesting() { gSequence = 0; }

int CaptureLive(SystemSettings& settings, const char* host, int port, int channelNumber,
                PictureGrabber& grabber, std::string* path) {
    return Capture(SnapshotKind::kLive, settings, host, port, channelNumber, grabber, path);
}

int CapturePlayback(SystemSettings& settings, const char* host, int port, int channelNumber,
                    PictureGrabber& grabber, std::string* path) {
    return Capture(SnapshotKind::kPlayback, settings, host, port, channelNumber, grabber, path);
}

}  // namespace ocv::backup
