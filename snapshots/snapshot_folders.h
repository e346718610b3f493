#pragma once
// Where the snapshot viewer finds the pictures: the day folders under QVXPhoto and QVXPhotoPB
// of the capture path, the channel folders of a day ("<host>-<port>-C<n>", as backup/snapshot.h
// names them) and the ".jpg" and ".bmp" files in them. Qt-free; reads the file system, so the
// viewer calls it from its loader thread.
#include <cstdint>
#include <string>
#include <vector>

#include "backup/snapshot.h"

namespace ocv::snapshots {

// The folder that holds QVXPhoto and QVXPhotoPB: the capture path setting resolved through the
// drive map ("D:\" is drive D's folder). "" when it is empty or names an unmapped drive.
std::string PhotoRoot(const char* photoPath);

struct SnapshotDay {
    int year = 0, month = 0, day = 0;
    bool operator==(const SnapshotDay& o) const { return year == o.year && month == o.month && day == o.day; }
    bool valid() const { return year > 0; }
};
// "yyyy_mm_dd" of a day, and back (false for any other name).
std::string DayFolderName(const SnapshotDay& day);
bool ParseDayFolderName(const std::string& name, SnapshotDay* day);

// The days that have a folder under either kind, newest first (at most maxDays).
std::vector<SnapshotDay> ListSnapshotDays(const std::string& root, size_t maxDays = 3660);

struct ChannelFolder {
    std::string name;  // "<host>-<port>-C<n>"
    std::string host;
    int port = 0;
    int channelNumber = 0;  // from 1; 0 when the name does not follow the pattern
};
// The channel folder name of a device's channel (channel numbers from 1).
std::string ChannelFolderName(const char* host, int port, int channelNumber);
ChannelFolder ParseChannelFolderName(const std::string& name);
// The channel folders of a day under either kind, sorted by name, each once.
std::vector<ChannelFolder> ListChannelFolders(const std::string& root, const SnapshotDay& day);

struct SnapshotFile {
    std::string path;
    std::string name;
    std::string channelFolder;
    backup::SnapshotKind kind = backup::SnapshotKind::kLive;
    int hour = -1, minute = -1, second = -1;  // from the name; -1 when it does not follow the pattern
    uint64_t bytes = 0;
};
struct SnapshotListing {
    std::vector<SnapshotFile> files;  // in time order, live and playback pictures mixed
    bool truncated = false;           // more files than asked for
};
// Whether a name ends in ".jpg" or ".bmp" (any case).
bool IsSnapshotFileName(const std::string& name);
// The pictures of a day, of one channel folder ("" for all of them). Only plain files count,
// never links.
SnapshotListing ListSnapshotFiles(const std::string& root, const SnapshotDay& day, const std::string& channelFolder,
                                  size_t maxFiles = 5000);

// Deletes one picture the viewer listed: a plain file with a snapshot name inside a channel
// folder of a day folder under root. 0, or -1 with a trace line (anything else is refused).
int DeleteSnapshot(const std::string& root, const std::string& path);

}  // namespace ocv::snapshots
