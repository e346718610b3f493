#include "store/config_store.h"

#include <sqlite3.h>

#include <cctype>
#include <cstring>
#include <string>

#include "base/trace.h"
#include "store/relaxed.h"
#include "store/stream_urls.h"

namespace ocv {
namespace {

// Every table and column the store reads or writes. A file lacking any of them is refused at
// open, so no table operation later fails half-way for a missing column.
struct RequiredTable {
    const char* name;
    const char* columns;  // space-separated
};

constexpr RequiredTable kRequiredTables[] = {
    {"DEVICE", "ID HOST PORT USER PASS NAME CHNM TYPE SETALARM AREA"},
    {"CHANNEL",
     "ID DEVID NAME STREAM ALARMMD ALARMINPUT ALARMDISCONN ALARMDISKFULL ALARMDISKERR AUTOADJUST "
     "PLANREC ALARMARM SUN1 SUN2 MON1 MON2 TUE1 TUE2 WED1 WED2 THU1 THU2 FRI1 FRI2 SAT1 SAT2 "
     "ASUN1 ASUN2 AMON1 AMON2 ATUE1 ATUE2 AWED1 AWED2 ATHU1 ATHU2 AFRI1 AFRI2 ASAT1 ASAT2 STENABLE"},
    {"MAINGROUP", "ID NAME"},
    {"SUBGROUP", "ID GROUPID CHNID"},
    {"MAINMAP", "ID NAME PATH"},
    {"SUBMAP", "ID MAPID CHNID X Y TYPE URL COLOR"},
    {"USERINFO", "ID USERNAME PASSWORD LEVEL OPTION"},
    {"SYSTERM",
     "ID TIMEOUT RECLEN RECTYPE RECSTREAM ALARMLEN PHOTOTYPE PHOTOPATH ENABLETIME CHECKTIME DISK "
     "ROTALEN ROTATYPE DISKREMAIN COVER PLANREC ARMFLAG PREREC LOGMONTH USER REMEMBER AUTOMATIC "
     "SHOWMODE CONNECT ENABLEOSD PASS NETTYPE SCREEN SNAPTIME PBPORT PBSTARTUP PRODUCT VERSION"},
};

bool TableHasColumns(sqlite3* db, const RequiredTable& table) {
    std::string sql = std::string("select name from pragma_table_info('") + table.name + "')";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    std::string present = " ";
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const unsigned char* name = sqlite3_column_text(stmt, 0);
        if (name != nullptr) {
            for (const unsigned char* p = name; *p; ++p) present += static_cast<char>(std::toupper(*p));
            present += ' ';
        }
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) return false;
    std::string wanted = table.columns;
    size_t start = 0;
    while (start < wanted.size()) {
        size_t end = wanted.find(' ', start);
        if (end == std::string::npos) end = wanted.size();
        if (present.find(" " + wanted.substr(start, end - start) + " ") == std::string::npos) return false;
        start = end + 1;
    }
    return true;
}

bool RunPragma(sqlite3* db, const char* sql, const char* expected) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    int rc = sqlite3_step(stmt);
    bool ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
    if (ok && expected != nullptr) {
        const unsigned char* v = rc == SQLITE_ROW ? sqlite3_column_text(stmt, 0) : nullptr;
        ok = v != nullptr && sqlite3_stricmp(reinterpret_cast<const char*>(v), expected) == 0;
    }
    sqlite3_finalize(stmt);
    return ok;
}

}  // namespace

// "ok", or the first problem PRAGMA quick_check finds. It reads every page of the file (without
// comparing indexes with their tables), so a damaged table is found before its rows are needed.
std::string QuickCheck(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    std::string result;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &stmt, nullptr) == SQLITE_OK) {
        int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            const unsigned char* v = sqlite3_column_text(stmt, 0);
            result = v != nullptr ? reinterpret_cast<const char*>(v) : "";
        } else {
            result = sqlite3_errmsg(db);
        }
    } else {
        result = sqlite3_errmsg(db);
    }
    sqlite3_finalize(stmt);
    return result.empty() ? "quick_check gave no answer" : result;
}

std::unique_ptr<DbConnection> OpenConfigDatabase(const std::string& path, DatabaseCheck* check, bool readOnly) {
    DatabaseCheck local;
    DatabaseCheck& c = check != nullptr ? *check : local;
    c = DatabaseCheck{};
    auto conn = std::make_unique<DbConnection>();
    if (path.empty() || !conn->Open(path, readOnly)) {
        c = {DatabaseCheck::kMissing, "cannot open the file"};
        return nullptr;
    }
    // The tables are checked before anything is written: an empty or foreign file is refused
    // untouched. Reading sqlite_master also fails for a file that is not a database.
    for (const auto& table : kRequiredTables) {
        if (!TableHasColumns(conn->handle(), table)) {
            int code = sqlite3_errcode(conn->handle());
            if (code == SQLITE_CORRUPT) {
                c = {DatabaseCheck::kDamaged, sqlite3_errmsg(conn->handle())};
            } else if (code == SQLITE_NOTADB) {
                c = {DatabaseCheck::kNotConfiguration, "not a database"};
            } else {
                c = {DatabaseCheck::kNotConfiguration, std::string("no table ") + table.name + " with its columns"};
            }
            return nullptr;
        }
    }
    // A damaged database is refused before anything is written into it: a step error later
    // would otherwise read as the end of a table and the client would run on part of it.
    std::string integrity = QuickCheck(conn->handle());
    if (integrity != "ok") {
        c = {DatabaseCheck::kDamaged, integrity};
        return nullptr;
    }
    if (readOnly) return conn;
    // Write-ahead log with synchronous=NORMAL: every committed row survives a crash of the
    // process without an fsync per row.
    if (!RunPragma(conn->handle(), "PRAGMA journal_mode=WAL", "wal") ||
        !RunPragma(conn->handle(), "PRAGMA synchronous=NORMAL", nullptr)) {
        c = {DatabaseCheck::kMissing, std::string("cannot switch to the write-ahead log: ") +
                                          sqlite3_errmsg(conn->handle())};
        return nullptr;
    }
    return conn;
}

ConfigStore::ConfigStore() : devices_(new DeviceInfo[kMaxDevices]) {}

ConfigStore::~ConfigStore() { Close(); }

int ConfigStore::Open(const std::string& path, bool readOnly) {
    Close();
    retired_.reset();
    problemPath_ = path;
    connection_ = OpenConfigDatabase(path, &problem_, readOnly);
    if (!connection_) {
        Trace("configuration database %s: %s\n", path.c_str(), problem_.detail.c_str());
        return -1;
    }
    path_ = path;
    // Tables added after the first release are created in files written before them.
    if (!readOnly && CreateStreamUrlTable(*connection_) != 0)
        Trace("configuration database %s: cannot add the stream URL table; no stream URLs are kept\n", path.c_str());
    return 0;
}

int ConfigStore::LoadFailed(const char* table, const DbRecordset& rs) {
    const std::string why = rs.ErrorText().empty() ? "the rows cannot be read" : rs.ErrorText();
    Trace("configuration database %s: reading %s failed (%s); nothing of it is used or written\n",
          path_.c_str(), table, why.c_str());
    problem_ = {DatabaseCheck::kDamaged, std::string(table) + ": " + why};
    problemPath_ = path_;
    ClearDevices();
    groups_.clear();
    maps_.clear();
    for (auto& u : users_) u = UserInfo{};
    if (connection_) {
        connection_->Close();
        retired_ = std::move(connection_);
    }
    return -1;
}

int ConfigStore::Close() {
    if (connection_) connection_->Close();
    connection_.reset();
    return 0;
}

int ConfigStore::Refused(const char* operation, int rc) const {
    int code = connection_ && connection_->handle() ? sqlite3_errcode(connection_->handle()) : SQLITE_OK;
    bool databaseError = code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE;
    const char* why = !connection_     ? "no database open"
                      : databaseError ? sqlite3_errmsg(connection_->handle())
                      : rc == -2      ? "already present, or no room"
                                      : "refused: invalid or unknown";
    Trace("configuration: %s failed (%d): %s\n", operation, rc, why);
    return rc;
}

void ConfigStore::LoadAll() {
    LoadSettings();
    LoadDevices();
    LoadGroups();
    LoadMaps();
    LoadUsers();
}

}  // namespace ocv
