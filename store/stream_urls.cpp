#include "store/stream_urls.h"

#include <sqlite3.h>

#include <cctype>

#include "base/trace.h"
#include "store/config_store.h"
#include "store/relaxed.h"

namespace ocv {
namespace {

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS \"STREAMURL\" ("
    " \"ID\" INTEGER PRIMARY KEY AUTOINCREMENT,"
    " \"CHNID\" INTEGER NOT NULL,"
    " \"MAIN\" TEXT NOT NULL DEFAULT '',"
    " \"SUB\" TEXT NOT NULL DEFAULT '')";

// The CHANNEL.ID of a configured channel, 0 when there is none.
int ChannelIdOf(ConfigStore& store, int slot, int channel) {
    if (store.IsValidChannel(slot, channel) != 0) return 0;
    return Relaxed(store.device(slot).channels[channel].id);
}

bool ReadRow(DbRecordset& rs, ChannelStreamUrls* out) {
    return rs.GetText("MAIN", &out->main) && rs.GetText("SUB", &out->sub);
}

}  // namespace

bool IsStorableStreamUrl(const std::string& url) {
    if (url.empty()) return true;
    if (url.size() > kMaxStreamUrlBytes) return false;
    for (unsigned char c : url)
        if (c <= 0x20 || c >= 0x7F) return false;
    const std::string scheme = "rtsp://";
    if (url.size() <= scheme.size()) return false;
    for (size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return false;
    size_t end = url.find('/', scheme.size());
    std::string authority = url.substr(scheme.size(), end == std::string::npos ? std::string::npos : end - scheme.size());
    // Credentials in a stored URL would be a second, unmanaged copy of the password.
    return !authority.empty() && authority[0] != ':' && authority.find('@') == std::string::npos;
}

int CreateStreamUrlTable(DbConnection& db) { return db.Execute(kCreateTable) ? 0 : -1; }

bool HasStreamUrlTable(DbConnection& db) {
    if (!db.IsOpen()) return false;
    sqlite3_stmt* stmt = db.Acquire("select 1 from sqlite_master where type = 'table' and name = 'STREAMURL'");
    bool found = stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW;
    db.Release(stmt);
    return found;
}

int LoadChannelStreamUrls(ConfigStore& store, int slot, int channel, ChannelStreamUrls* out) {
    *out = ChannelStreamUrls{};
    int id = ChannelIdOf(store, slot, channel);
    if (id <= 0 || store.connection() == nullptr) return -1;
    DbRecordset rs(store.connection());
    if (!rs.Open("select * from STREAMURL where CHNID = %d", id)) {
        // A file opened only for reading may predate the table: it has no URLs.
        return HasStreamUrlTable(*store.connection()) ? -1 : 0;
    }
    if (rs.IsEof()) return rs.Failed() ? -1 : 0;
    return ReadRow(rs, out) ? 0 : -1;
}

int SaveChannelStreamUrls(ConfigStore& store, int slot, int channel, const ChannelStreamUrls& urls) {
    int id = ChannelIdOf(store, slot, channel);
    if (id <= 0 || store.connection() == nullptr) {
        Trace("stream URLs of channel %d of device %d: no such channel in an open database\n", channel, slot);
        return -1;
    }
    if (!IsStorableStreamUrl(urls.main) || !IsStorableStreamUrl(urls.sub)) {
        Trace("stream URLs of channel %d of device %d: not an rtsp:// URL without credentials of at most %zu "
              "characters\n",
              channel, slot, kMaxStreamUrlBytes);
        return -1;
    }
    DbConnection& db = *store.connection();
    bool ok;
    if (urls.main.empty() && urls.sub.empty()) {
        ok = db.Execute("delete from STREAMURL where CHNID = %d", id);
    } else {
        DbRecordset rs(&db);
        ok = rs.Open("select * from STREAMURL where CHNID = %d", id) && !rs.Failed();
        if (ok && rs.IsEof()) ok = rs.AddNew() && rs.PutLong("CHNID", id);
        ok = ok && rs.PutText("MAIN", urls.main.c_str()) && rs.PutText("SUB", urls.sub.c_str()) && rs.Update();
    }
    if (!ok) Trace("stream URLs of channel %d of device %d: the database refused the write\n", channel, slot);
    return ok ? 0 : -1;
}

int CopyChannelStreamUrls(DbConnection& from, int fromChannelId, DbConnection& to, int toChannelId) {
    DbRecordset in(&from);
    if (!in.Open("select * from STREAMURL where CHNID = %d", fromChannelId))
        return HasStreamUrlTable(from) ? -1 : 0;
    if (in.IsEof()) return in.Failed() ? -1 : 0;
    ChannelStreamUrls urls;
    // What another program planted is checked like what an operator types.
    if (!ReadRow(in, &urls) || !IsStorableStreamUrl(urls.main) || !IsStorableStreamUrl(urls.sub)) return 0;
    DbRecordset out(&to);
    bool ok = out.Open("select * from STREAMURL where CHNID = %d", toChannelId) && !out.Failed();
    if (ok && out.IsEof()) ok = out.AddNew() && out.PutLong("CHNID", toChannelId);
    ok = ok && out.PutText("MAIN", urls.main.c_str()) && out.PutText("SUB", urls.sub.c_str()) && out.Update();
    return ok ? 0 : -1;
}

std::string ReadStoredStreamUrl(const std::string& databasePath, int channelId, int streamType) {
    if (databasePath.empty() || channelId <= 0 || streamType < 0 || streamType > 1) return {};
    DbConnection db;
    if (!db.Open(databasePath, true)) {
        Trace("stream URL of channel %d: cannot read %s\n", channelId, databasePath.c_str());
        return {};
    }
    DbRecordset rs(&db);
    ChannelStreamUrls urls;
    if (!rs.Open("select * from STREAMURL where CHNID = %d", channelId) || rs.IsEof() || !ReadRow(rs, &urls))
        return {};
    const std::string& url = streamType == 0 ? urls.main : urls.sub;
    return IsStorableStreamUrl(url) ? url : std::string();
}

}  // namespace ocv
