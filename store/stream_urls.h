#pragma once
// Stream URLs stored for channels: the main and sub stream of a camera known only by its RTSP
// URLs ("RTSP URL" devices), or the operator's choice for an ONVIF camera. One row of table
// STREAMURL per channel that has any, keyed by the channel's CHANNEL.ID:
//   STREAMURL(ID INTEGER PRIMARY KEY AUTOINCREMENT, CHNID INTEGER NOT NULL,
//             MAIN TEXT NOT NULL DEFAULT '', SUB TEXT NOT NULL DEFAULT '')
// Files written before the table existed open unchanged: the table is created when the store
// opens a file for writing and finds it missing, and a file without it simply has no URLs.
#include <string>

namespace ocv {

class ConfigStore;
class DbConnection;

constexpr size_t kMaxStreamUrlBytes = 1023;

struct ChannelStreamUrls {
    std::string main, sub;
};

// "" (none), or an rtsp:// URL of at most 1023 printable characters with a host and without
// credentials (the device's user and password are the ones sent).
bool IsStorableStreamUrl(const std::string& url);

// Creates the table when it is missing. 0 or -1.
int CreateStreamUrlTable(DbConnection& db);
bool HasStreamUrlTable(DbConnection& db);

// The URLs of a configured channel (empty when none are stored). User-interface thread, on the
// store's connection. 0, or -1 (no such channel, no database, a read failed).
int LoadChannelStreamUrls(ConfigStore& store, int slot, int channel, ChannelStreamUrls* out);
// Stores the URLs of a configured channel; both empty removes its row. A stream reads them at
// its next opening. User-interface thread. 0, or -1 (no such channel, a URL that cannot be
// stored, the write failed) with a trace line.
int SaveChannelStreamUrls(ConfigStore& store, int slot, int channel, const ChannelStreamUrls& urls);

// Configuration export and import: the URLs of channel fromChannelId in `from` (a file without
// the table has none) stored for channel toChannelId in `to`, which has the table. 0, or -1 when
// a read or the write failed.
int CopyChannelStreamUrls(DbConnection& from, int fromChannelId, DbConnection& to, int toChannelId);

// The stored URL of one stream (0 main, 1 sub) of a channel, read from any thread through a
// private read-only connection to the database file (the store's own connection belongs to the
// user-interface thread). "" when none is stored or the file cannot be read.
std::string ReadStoredStreamUrl(const std::string& databasePath, int channelId, int streamType);

}  // namespace ocv
