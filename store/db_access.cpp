#include "store/db_access.h"

#include <sys/stat.h>

#include <sqlite3.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <limits>

#include "store/text_field.h"

namespace ocv {
namespace {

// A field longer than this makes SQLite fail the statement instead of allocating it.
constexpr int kMaxValueBytes = 1 << 20;
// How long a statement waits for another connection's write lock.
constexpr int kBusyTimeoutMs = 2000;
// Statements kept prepared per connection.
constexpr size_t kMaxCachedStatements = 64;

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool IsIdentifier(const char* s) {
    if (s == nullptr || *s == '\0') return false;
    for (; *s; ++s) {
        if (!std::isalnum(static_cast<unsigned char>(*s)) && *s != '_') return false;
    }
    return true;
}

// The table a "select * from TABLE ..." statement reads.
std::string TableOf(const std::string& sql) {
    std::string upper;
    for (char c : sql) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    size_t at = upper.find(" FROM ");
    if (at == std::string::npos) return {};
    size_t i = at + 6;
    while (i < sql.size() && sql[i] == ' ') ++i;
    size_t start = i;
    while (i < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_')) ++i;
    return sql.substr(start, i - start);
}

bool IsShortType(const char* declared) {
    if (declared == nullptr) return false;
    std::string t;
    for (const char* p = declared; *p; ++p) t += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    return t.find("SMALLINT") != std::string::npos || t.find("TINYINT") != std::string::npos ||
           t.find("BOOL") != std::string::npos;
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

}  // namespace

std::string ToParameterSql(const char* sql) {
    std::string out;
    for (const char* p = sql; *p; ++p) {
        if (p[0] == '%' && p[1] == 'd') {
            out += '?';
            ++p;
        } else if (p[0] == '%') {
            return {};  // only integer marks are supported
        } else {
            out += *p;
        }
    }
    return out;
}

namespace {

// A path as the path part of a "file:" URI: the characters that would end it or start an escape
// are percent-encoded.
std::string UriPath(const std::string& path) {
    std::string out;
    for (unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20 || c >= 0x7F) {
            char hex[4];
            snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// DbConnection

DbConnection::~DbConnection() { Close(); }

bool DbConnection::Open(const std::string& path, bool readOnly) {
    Close();
    sqlite3* db = nullptr;
    // No SQLITE_OPEN_CREATE: a missing file stays missing.
    int rc;
    if (!readOnly) {
        rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    } else {
        // Without a write-ahead log beside it the file is all there is: "immutable" then reads it
        // without creating the shared-memory file a WAL-mode database otherwise needs. With a
        // log present, SQLite must read it too, so only plain read-only mode will do.
        struct stat st {};
        bool hasLog = stat((path + "-wal").c_str(), &st) == 0;
        std::string uri = "file:" + UriPath(path) + (hasLog ? "?mode=ro" : "?mode=ro&immutable=1");
        rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return false;
    }
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    db_ = db;
    return true;
}

void DbConnection::Close() {
    // A statement still held by a recordset is finalized when that recordset lets it go.
    for (auto& c : cache_) {
        if (c.inUse) {
            orphans_.push_back(c.stmt);
        } else {
            sqlite3_finalize(c.stmt);
        }
    }
    cache_.clear();
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

sqlite3_stmt* DbConnection::Acquire(const std::string& sql) {
    if (db_ == nullptr || sql.empty()) return nullptr;
    for (auto& c : cache_) {
        if (!c.inUse && c.sql == sql) {
            c.inUse = true;
            return c.stmt;
        }
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    if (cache_.size() < kMaxCachedStatements) cache_.push_back({sql, stmt, true});
    return stmt;
}

void DbConnection::Release(sqlite3_stmt* stmt) {
    if (stmt == nullptr) return;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    for (auto& c : cache_) {
        if (c.stmt == stmt) {
            c.inUse = false;
            return;
        }
    }
    for (size_t i = 0; i < orphans_.size(); ++i) {
        if (orphans_[i] == stmt) {
            orphans_.erase(orphans_.begin() + static_cast<long>(i));
            break;
        }
    }
    sqlite3_finalize(stmt);  // not cached, or left over from a closed connection
}

bool DbConnection::ExecuteBound(const char* sql, const int64_t* args, int count) {
    if (db_ == nullptr || sql == nullptr) return false;
    sqlite3_stmt* stmt = Acquire(ToParameterSql(sql));
    if (stmt == nullptr) return false;
    bool ok = sqlite3_bind_parameter_count(stmt) == count;
    for (int i = 0; ok && i < count; ++i) ok = sqlite3_bind_int64(stmt, i + 1, args[i]) == SQLITE_OK;
    if (ok) {
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        ok = rc == SQLITE_DONE;
    }
    Release(stmt);
    return ok;
}

// ---------------------------------------------------------------------------------------------
// DbRecordset

bool DbRecordset::OpenBound(const char* sql, const int64_t* args, int count) {
    Close();
    if (connection_ == nullptr || !connection_->IsOpen() || sql == nullptr) return false;
    std::string text = ToParameterSql(sql);
    stmt_ = connection_->Acquire(text);
    if (stmt_ == nullptr) {
        NoteFailure(SQLITE_ERROR);
        return false;
    }
    bool ok = sqlite3_bind_parameter_count(stmt_) == count;
    for (int i = 0; ok && i < count; ++i) ok = sqlite3_bind_int64(stmt_, i + 1, args[i]) == SQLITE_OK;
    if (ok) {
        table_ = TableOf(text);
        int n = sqlite3_column_count(stmt_);
        for (int i = 0; i < n; ++i) {
            const char* name = sqlite3_column_name(stmt_, i);
            columns_.push_back(name ? name : "");
            shortColumn_.push_back(IsShortType(sqlite3_column_decltype(stmt_, i)));
        }
        ok = Step();
    }
    if (!ok) {
        // The recordset closes, but keeps saying why it could not open.
        std::string why = failed_ ? error_ : "cannot bind the statement's values";
        Close();
        failed_ = true;
        error_ = std::move(why);
    }
    return ok;
}

void DbRecordset::CaptureRow(sqlite3_stmt* stmt) {
    int n = sqlite3_column_count(stmt);
    row_.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        Value& v = row_[static_cast<size_t>(i)];
        v.kind = Kind::kNull;
        v.text.clear();
        switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_INTEGER:
                v.kind = Kind::kInteger;
                v.integer = sqlite3_column_int64(stmt, i);
                break;
            case SQLITE_FLOAT:
                v.kind = Kind::kFloat;
                v.real = sqlite3_column_double(stmt, i);
                break;
            case SQLITE_TEXT: {
                v.kind = Kind::kText;
                const char* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
                std::string_view all(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(stmt, i)));
                v.text.assign(all.substr(0, CutLength(all, kMaxFieldBytes)));
                break;
            }
            case SQLITE_BLOB:
                v.kind = Kind::kBlob;
                break;
            default:
                break;
        }
    }
}

bool DbRecordset::Step() {
    int rc = sqlite3_step(stmt_);
    hasRow_ = rc == SQLITE_ROW;
    if (hasRow_) CaptureRow(stmt_);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
    NoteFailure(rc);
    return false;
}

void DbRecordset::NoteFailure(int rc) {
    failed_ = true;
    const char* message = connection_ != nullptr && connection_->handle() != nullptr
                              ? sqlite3_errmsg(connection_->handle())
                              : nullptr;
    error_ = message != nullptr ? message : sqlite3_errstr(rc);
}

void DbRecordset::MoveNext() {
    pending_.clear();
    adding_ = false;
    if (stmt_ == nullptr || !hasRow_) return;
    Step();
}

int DbRecordset::RecordCount() {
    if (stmt_ == nullptr) return failed_ ? -1 : 0;
    sqlite3_reset(stmt_);
    int count = 0;
    int rc;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) ++count;
    if (rc != SQLITE_DONE) NoteFailure(rc);
    sqlite3_reset(stmt_);
    pending_.clear();
    adding_ = false;
    if (!Step() || failed_) return -1;
    return count;
}

int DbRecordset::ColumnIndex(const char* column) const {
    if (column == nullptr || columns_.empty()) return -1;
    // Fields are mostly read in column order and named exactly as declared: try the column
    // after the last one found first, and exact names before letter case is ignored.
    size_t n = columns_.size();
    for (size_t k = 0; k < n; ++k) {
        size_t i = (nextColumnHint_ + k) % n;
        if (std::strcmp(columns_[i].c_str(), column) == 0) {
            nextColumnHint_ = i + 1;
            return static_cast<int>(i);
        }
    }
    for (size_t i = 0; i < n; ++i) {
        if (EqualsNoCase(columns_[i], column)) return static_cast<int>(i);
    }
    return -1;
}

bool DbRecordset::GetTextAsInt(const char* column, int32_t* value) const {
    *value = 0;
    int i = ColumnIndex(column);
    if (i < 0 || !hasRow_) return false;
    const Value& v = row_[static_cast<size_t>(i)];
    switch (v.kind) {
        case Kind::kNull:
            return true;
        case Kind::kText:
            *value = TextToInt(v.text);
            return true;
        case Kind::kInteger:
            if (shortColumn_[static_cast<size_t>(i)]) return false;
            if (v.integer < std::numeric_limits<int32_t>::min() || v.integer > std::numeric_limits<int32_t>::max())
                return false;
            *value = static_cast<int32_t>(v.integer);
            return true;
        default:
            return false;
    }
}

bool DbRecordset::GetText(const char* column, std::string* text) const {
    text->clear();
    int i = ColumnIndex(column);
    if (i < 0 || !hasRow_) return false;
    const Value& v = row_[static_cast<size_t>(i)];
    switch (v.kind) {
        case Kind::kNull:
            return true;
        case Kind::kText:
            *text = v.text;
            return true;
        case Kind::kInteger:
            if (shortColumn_[static_cast<size_t>(i)]) return false;
            if (v.integer < std::numeric_limits<int32_t>::min() || v.integer > std::numeric_limits<int32_t>::max())
                return false;
            *text = std::to_string(v.integer);
            return true;
        default:
            return false;
    }
}

bool DbRecordset::GetInt(const char* column, int32_t* value) const {
    *value = 0;
    int i = ColumnIndex(column);
    if (i < 0 || !hasRow_) return false;
    const Value& v = row_[static_cast<size_t>(i)];
    switch (v.kind) {
        case Kind::kNull:
            return true;
        case Kind::kInteger:
            if (v.integer < std::numeric_limits<int32_t>::min() || v.integer > std::numeric_limits<int32_t>::max())
                return false;
            *value = static_cast<int32_t>(v.integer);
            return true;
        case Kind::kFloat:
            if (!(v.real >= std::numeric_limits<int32_t>::min() && v.real <= std::numeric_limits<int32_t>::max()))
                return false;
            *value = static_cast<int32_t>(v.real);
            return true;
        case Kind::kText: {
            if (v.text.empty()) return true;
            // The whole text must be a decimal number within 32 bits.
            char* end = nullptr;
            errno = 0;
            long long parsed = std::strtoll(v.text.c_str(), &end, 10);
            if (end == v.text.c_str() || *end != '\0' || errno != 0 ||
                parsed < std::numeric_limits<int32_t>::min() || parsed > std::numeric_limits<int32_t>::max())
                return false;
            *value = static_cast<int32_t>(parsed);
            return true;
        }
        default:
            return false;
    }
}

bool DbRecordset::AddNew() {
    if (stmt_ == nullptr || table_.empty()) return false;
    pending_.clear();
    adding_ = true;
    return true;
}

bool DbRecordset::Put(const char* column, Value value) {
    if (stmt_ == nullptr || !IsIdentifier(column)) return false;
    int i = ColumnIndex(column);
    if (i < 0 || (!adding_ && !hasRow_)) return false;
    for (auto& p : pending_) {
        if (p.column == i) {
            p.value = std::move(value);
            return true;
        }
    }
    pending_.push_back({i, std::move(value)});
    return true;
}

bool DbRecordset::PutText(const char* column, const char* text) {
    Value v;
    v.kind = Kind::kText;
    v.text = text ? text : "";
    return Put(column, std::move(v));
}

bool DbRecordset::PutShort(const char* column, int16_t value) {
    Value v;
    v.kind = Kind::kInteger;
    v.integer = value;
    return Put(column, std::move(v));
}

bool DbRecordset::PutLong(const char* column, int32_t value) {
    Value v;
    v.kind = Kind::kInteger;
    v.integer = value;
    return Put(column, std::move(v));
}

bool DbRecordset::BindValue(sqlite3_stmt* stmt, int index, const Value& v) {
    switch (v.kind) {
        case Kind::kInteger:
            return sqlite3_bind_int64(stmt, index, v.integer) == SQLITE_OK;
        case Kind::kText:
            return sqlite3_bind_text(stmt, index, v.text.data(), static_cast<int>(v.text.size()),
                                     SQLITE_TRANSIENT) == SQLITE_OK;
        default:
            return sqlite3_bind_null(stmt, index) == SQLITE_OK;
    }
}

bool DbRecordset::FetchRowById(int64_t id) {
    sqlite3_stmt* stmt = connection_->Acquire("select * from " + Quoted(table_) + " where \"ID\" = ?");
    if (stmt == nullptr) return false;
    bool ok = sqlite3_bind_int64(stmt, 1, id) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW;
    if (ok) CaptureRow(stmt);
    connection_->Release(stmt);
    return ok;
}

bool DbRecordset::Update() {
    if (stmt_ == nullptr) return false;
    if (!adding_ && !hasRow_) return false;
    if (!adding_ && pending_.empty()) return true;  // nothing to write
    std::string sql;
    if (adding_) {
        if (pending_.empty()) {
            sql = "insert into " + Quoted(table_) + " default values";
        } else {
            std::string names, marks;
            for (const auto& p : pending_) {
                if (!names.empty()) {
                    names += ", ";
                    marks += ", ";
                }
                names += Quoted(columns_[static_cast<size_t>(p.column)]);
                marks += "?";
            }
            sql = "insert into " + Quoted(table_) + " (" + names + ") values (" + marks + ")";
        }
    } else {
        int idColumn = ColumnIndex("ID");
        if (idColumn < 0 || row_[static_cast<size_t>(idColumn)].kind != Kind::kInteger) return false;
        std::string sets;
        for (const auto& p : pending_) {
            if (!sets.empty()) sets += ", ";
            sets += Quoted(columns_[static_cast<size_t>(p.column)]) + " = ?";
        }
        sql = "update " + Quoted(table_) + " set " + sets + " where \"ID\" = ?";
    }
    sqlite3_stmt* stmt = connection_->Acquire(sql);
    if (stmt == nullptr) return false;
    bool ok = true;
    int index = 1;
    for (const auto& p : pending_) ok = ok && BindValue(stmt, index++, p.value);
    if (!adding_) {
        int idColumn = ColumnIndex("ID");
        ok = ok && sqlite3_bind_int64(stmt, index, row_[static_cast<size_t>(idColumn)].integer) == SQLITE_OK;
    }
    ok = ok && sqlite3_step(stmt) == SQLITE_DONE;
    connection_->Release(stmt);
    if (!ok) return false;

    if (adding_) {
        // Stay on the new row so its ID (and the defaults) can be read back.
        int64_t id = sqlite3_last_insert_rowid(connection_->handle());
        adding_ = false;
        pending_.clear();
        hasRow_ = FetchRowById(id);
        return hasRow_;
    }
    for (auto& p : pending_) row_[static_cast<size_t>(p.column)] = std::move(p.value);
    pending_.clear();
    return true;
}

void DbRecordset::Close() {
    if (stmt_ != nullptr && connection_ != nullptr) connection_->Release(stmt_);
    stmt_ = nullptr;
    table_.clear();
    columns_.clear();
    shortColumn_.clear();
    row_.clear();
    pending_.clear();
    hasRow_ = false;
    adding_ = false;
    failed_ = false;
    error_.clear();
    nextColumnHint_ = 0;
}

}  // namespace ocv
