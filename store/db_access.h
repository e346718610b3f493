#pragma once
// Thin access layer over SQLite through which every table operation is issued. Statements are
// written with "%d" marks ("select * from DEVICE where ID = %d"); each mark becomes a bound
// parameter, so no value is ever pasted into SQL text. Failures are reported as false and
// never thrown.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ocv {

class DbConnection {
public:
    DbConnection() = default;
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    // Opens an existing database file for reading and writing, or only for reading; never
    // creates a file. A read-only connection writes nothing beside the file either (no log, no
    // shared-memory file), so a file on read-only media or in someone else's folder stays as it
    // is. An open connection is closed first. Checking the tables is the caller's business.
    bool Open(const std::string& path, bool readOnly = false);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }

    // Runs a statement that returns no rows; each "%d" takes the next integer argument.
    template <typename... Ints>
    bool Execute(const char* sql, Ints... args) {
        const int64_t values[] = {0, static_cast<int64_t>(args)...};
        return ExecuteBound(sql, values + 1, static_cast<int>(sizeof...(args)));
    }
    bool ExecuteBound(const char* sql, const int64_t* args, int count);

    // A prepared statement for sql (with "?" parameters), reused between operations. Hand it
    // back with Release; a statement still in use is never handed out twice.
    sqlite3_stmt* Acquire(const std::string& sql);
    void Release(sqlite3_stmt* stmt);

    sqlite3* handle() const { return db_; }

private:
    struct CachedStatement {
        std::string sql;
        sqlite3_stmt* stmt;
        bool inUse;
    };
    sqlite3* db_ = nullptr;
    std::vector<CachedStatement> cache_;
    std::vector<sqlite3_stmt*> orphans_;
};

// "%d" marks to "?" parameters; nullopt-like empty result when the text holds other '%' uses.
std::string ToParameterSql(const char* sql);

class DbRecordset {
public:
    explicit DbRecordset(DbConnection* connection) : connection_(connection) {}
    ~DbRecordset() { Close(); }
    DbRecordset(const DbRecordset&) = delete;
    DbRecordset& operator=(const DbRecordset&) = delete;

    // Opens a selection ("select * from TABLE ..."); each "%d" takes the next integer argument.
    // Rows come in ascending ID. True on success; the recordset is then on the first row or at
    // the end.
    template <typename... Ints>
    bool Open(const char* sql, Ints... args) {
        const int64_t values[] = {0, static_cast<int64_t>(args)...};
        return OpenBound(sql, values + 1, static_cast<int>(sizeof...(args)));
    }
    bool OpenBound(const char* sql, const int64_t* args, int count);

    // True at the end of the selection, and after a failed step (see Failed).
    bool IsEof() const { return !hasRow_; }
    void MoveNext();
    // A step that failed (a damaged page, an I/O error) ends the rows but is no end of the
    // table: every loop over rows asks this afterwards.
    bool Failed() const { return failed_; }
    // The database's words for the failure ("" when none).
    const std::string& ErrorText() const { return error_; }
    // Number of rows of the selection, or -1 when stepping through it failed; the recordset is
    // moved back to the first row.
    int RecordCount();

    // Starts a new row; Update inserts it and leaves the recordset on it (its ID readable).
    bool AddNew();
    // Writes the pending field values: inserts the new row, or changes the current row.
    bool Update();

    // Reads a field as text: NULL gives "", a 32-bit integer its decimal text, text itself;
    // any other type (16-bit column, floating point, blob, integers beyond 32 bits) gives ""
    // and false.
    bool GetText(const char* column, std::string* text) const;
    // GetText followed by the decimal conversion of TextToInt, without building the text.
    bool GetTextAsInt(const char* column, int32_t* value) const;
    // Reads a field as a 32-bit integer; NULL and empty text give 0.
    bool GetInt(const char* column, int32_t* value) const;

    bool PutText(const char* column, const char* text);
    bool PutShort(const char* column, int16_t value);
    bool PutLong(const char* column, int32_t value);

    void Close();

    // Longest text kept of one field; stored texts are cut to their record fields anyway.
    static constexpr size_t kMaxFieldBytes = 4096;

private:
    enum class Kind { kNull, kInteger, kFloat, kText, kBlob };
    struct Value {
        Kind kind = Kind::kNull;
        int64_t integer = 0;
        double real = 0;
        std::string text;
    };
    struct Pending {
        int column;
        Value value;
    };

    int ColumnIndex(const char* column) const;
    bool Put(const char* column, Value value);
    bool Step();
    void NoteFailure(int rc);
    void CaptureRow(sqlite3_stmt* stmt);
    bool FetchRowById(int64_t id);
    bool BindValue(sqlite3_stmt* stmt, int index, const Value& v);

    DbConnection* connection_;
    sqlite3_stmt* stmt_ = nullptr;
    std::string table_;
    std::vector<std::string> columns_;
    std::vector<bool> shortColumn_;  // declared as a 16-bit (or smaller) integer type
    std::vector<Value> row_;
    std::vector<Pending> pending_;
    bool hasRow_ = false;
    bool adding_ = false;
    bool failed_ = false;
    std::string error_;
    mutable size_t nextColumnHint_ = 0;
};

}  // namespace ocv
