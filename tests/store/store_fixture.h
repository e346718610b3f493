#pragma once
// A fresh configuration database per test, opened in a store, plus direct SQL on the file to
// look at what the store wrote (or to plant what another program might have written).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "store/config_store.h"
#include "store/text_field.h"
#include "tests/support/temp_dir.h"
#include "tools/mkdb/mkdb.h"

namespace ocv::test {

// Runs SQL on a database file through its own connection.
inline void Sql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* err = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    std::string message = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << sql << ": " << message;
}

// The first column of the first row as text ("" for NULL or no row).
inline std::string Query(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(stmt, 0);
            if (t) out = reinterpret_cast<const char*>(t);
        } else {
            out = "<error>";
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return out;
}

inline int QueryInt(const std::string& path, const std::string& sql) { return std::stoi(Query(path, sql)); }

inline DeviceRecord MakeDevice(const std::string& host, int port, int channels, const std::string& name = "") {
    DeviceRecord r{};
    CopyText(r.host, host);
    r.port = port;
    r.channelCount = channels;
    CopyText(r.user, "admin");
    CopyText(r.password, "kestr");
    CopyText(r.name, name);
    r.type = 0;
    return r;
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_ / "QVXVMS.dat";
        ASSERT_EQ(mkdb::CreateEmptyDatabase(path_), 0);
        ASSERT_EQ(store_.Open(path_), 0);
    }

    // A second store on the same file, loaded the way start-up loads it.
    std::unique_ptr<ConfigStore> Reload() {
        auto s = std::make_unique<ConfigStore>();
        EXPECT_EQ(s->Open(path_), 0);
        s->LoadAll();
        return s;
    }

    int AddDevice(const std::string& host, int port, int channels) {
        int slot = -1;
        EXPECT_EQ(store_.AddDevice(MakeDevice(host, port, channels), &slot), 0);
        return slot;
    }

    int Count(const std::string& table, const std::string& where = "") {
        return QueryInt(path_, "select count(*) from " + table + (where.empty() ? "" : " where " + where));
    }

    TempDir dir_;
    std::string path_;
    ConfigStore store_;
};

}  // namespace ocv::test
