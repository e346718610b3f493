// The configuration store against plain SQLite doing the same work.
//   LoadDevices of a full table (128 devices x 64 channels), reference: the same reads in one
//   read transaction.
//   All-channels ModifyChannel over 8192 rows, references: 8192 prepared single-row updates each
//   committed on its own (the limit when every change is committed by itself), and the same in
//   one transaction.
//   AddDevice with 64 channels, reference: the 65 inserts in one transaction.
// Run: build/bench/store_bench (the default build type is RelWithDebInfo).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>

#include "store/config_store.h"
#include "store/text_field.h"
#include "tests/support/temp_dir.h"
#include "tools/mkdb/mkdb.h"

namespace ocv {
namespace {

constexpr int kChannelsPerDevice = kMaxChannels;

void Exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
}

sqlite3* OpenRaw(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) std::abort();
    Exec(db, "PRAGMA journal_mode=WAL");
    Exec(db, "PRAGMA synchronous=NORMAL");
    return db;
}

// A database with 128 devices of 64 channels, written in one transaction.
struct FullSite {
    test::TempDir dir;
    std::string path = dir / "QVXVMS.dat";
    FullSite() {
        if (mkdb::CreateEmptyDatabase(path) != 0) std::abort();
        sqlite3* db = OpenRaw(path);
        Exec(db, "BEGIN");
        for (int d = 0; d < kMaxDevices; ++d) {
            std::string sql = "insert into DEVICE (HOST, PORT, USER, PASS, NAME, CHNM, TYPE) values ('10.0." +
                              std::to_string(d / 200) + "." + std::to_string(d % 200) +
                              "', 80, 'admin', 'kestr', 'Device', 64, 0)";
            Exec(db, sql.c_str());
            long long id = sqlite3_last_insert_rowid(db);
            for (int c = 0; c < kChannelsPerDevice; ++c) {
                std::string ch = "insert into CHANNEL (DEVID, NAME, STREAM, SUN1, ASUN1) values (" + std::to_string(id) +
                                 ", 'Camera " + std::to_string(c + 1) + "', 1, 16777215, 16777215)";
                Exec(db, ch.c_str());
            }
        }
        Exec(db, "COMMIT");
        sqlite3_close(db);
    }
};

void BM_LoadDevicesFullTable(benchmark::State& state) {
    FullSite site;
    ConfigStore store;
    if (store.Open(site.path) != 0) std::abort();
    for (auto _ : state) {
        if (store.LoadDevices() != 0) std::abort();
        benchmark::DoNotOptimize(store.device(127).channels[63].id);
    }
    if (store.device(127).channels[63].id <= 0) state.SkipWithError("table not full");
}
BENCHMARK(BM_LoadDevicesFullTable)->Unit(benchmark::kMillisecond);

// The same reads by hand in one read transaction: every column of every row.
void BM_LoadDevicesReferenceOneTransaction(benchmark::State& state) {
    FullSite site;
    sqlite3* db = OpenRaw(site.path);
    sqlite3_stmt* devices = nullptr;
    sqlite3_stmt* channels = nullptr;
    sqlite3_prepare_v2(db, "select * from DEVICE", -1, &devices, nullptr);
    sqlite3_prepare_v2(db, "select * from CHANNEL where DEVID = ?", -1, &channels, nullptr);
    long long sum = 0;
    for (auto _ : state) {
        Exec(db, "BEGIN");
        while (sqlite3_step(devices) == SQLITE_ROW) {
            sqlite3_bind_int64(channels, 1, sqlite3_column_int64(devices, 0));
            while (sqlite3_step(channels) == SQLITE_ROW) {
                int n = sqlite3_column_count(channels);
                for (int i = 0; i < n; ++i) {
                    if (sqlite3_column_type(channels, i) == SQLITE_TEXT) {
                        sum += sqlite3_column_bytes(channels, i);
                    } else {
                        sum += sqlite3_column_int(channels, i);
                    }
                }
            }
            sqlite3_reset(channels);
        }
        sqlite3_reset(devices);
        Exec(db, "COMMIT");
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_finalize(devices);
    sqlite3_finalize(channels);
    sqlite3_close(db);
}
BENCHMARK(BM_LoadDevicesReferenceOneTransaction)->Unit(benchmark::kMillisecond);

void BM_ModifyChannelAllChannels(benchmark::State& state) {
    FullSite site;
    ConfigStore store;
    if (store.Open(site.path) != 0 || store.LoadDevices() != 0) std::abort();
    int value = 0;
    for (auto _ : state) {
        if (store.ModifyChannel(0, -1, kChannelPlanRecord, value ^= 1, nullptr, 0) != 0) std::abort();
    }
    state.counters["rows"] = kMaxDevices * kChannelsPerDevice;
}
BENCHMARK(BM_ModifyChannelAllChannels)->Unit(benchmark::kMillisecond);

void UpdateEveryChannel(benchmark::State& state, bool oneTransaction) {
    FullSite site;
    sqlite3* db = OpenRaw(site.path);
    sqlite3_stmt* update = nullptr;
    sqlite3_prepare_v2(db, "update CHANNEL set PLANREC = ? where ID = ?", -1, &update, nullptr);
    int value = 0;
    for (auto _ : state) {
        value ^= 1;
        if (oneTransaction) Exec(db, "BEGIN");
        for (int id = 1; id <= kMaxDevices * kChannelsPerDevice; ++id) {
            sqlite3_bind_int(update, 1, value);
            sqlite3_bind_int(update, 2, id);
            if (sqlite3_step(update) != SQLITE_DONE) std::abort();
            sqlite3_reset(update);
        }
        if (oneTransaction) Exec(db, "COMMIT");
    }
    sqlite3_finalize(update);
    sqlite3_close(db);
}

void BM_PlainSqlite8192UpdatesEachCommitted(benchmark::State& state) { UpdateEveryChannel(state, false); }
BENCHMARK(BM_PlainSqlite8192UpdatesEachCommitted)->Unit(benchmark::kMillisecond);

void BM_PlainSqlite8192UpdatesOneTransaction(benchmark::State& state) { UpdateEveryChannel(state, true); }
BENCHMARK(BM_PlainSqlite8192UpdatesOneTransaction)->Unit(benchmark::kMillisecond);

void BM_AddDevice64Channels(benchmark::State& state) {
    test::TempDir dir;
    std::string path = dir / "QVXVMS.dat";
    if (mkdb::CreateEmptyDatabase(path) != 0) std::abort();
    ConfigStore store;
    if (store.Open(path) != 0) std::abort();
    DeviceRecord rec{};
    CopyText(rec.host, "10.1.1.1");
    CopyText(rec.user, "admin");
    rec.port = 80;
    rec.channelCount = kChannelsPerDevice;
    for (auto _ : state) {
        int slot = -1;
        if (store.AddDevice(rec, &slot) != 0 || slot != 0) std::abort();
        state.PauseTiming();
        store.DeleteDevice(slot);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddDevice64Channels)->Unit(benchmark::kMillisecond);

void BM_AddDevice64ChannelsReferenceOneTransaction(benchmark::State& state) {
    test::TempDir dir;
    std::string path = dir / "QVXVMS.dat";
    if (mkdb::CreateEmptyDatabase(path) != 0) std::abort();
    sqlite3* db = OpenRaw(path);
    sqlite3_stmt* device = nullptr;
    sqlite3_stmt* channel = nullptr;
    sqlite3_prepare_v2(db, "insert into DEVICE (HOST, PORT, USER, PASS, NAME, CHNM, TYPE) values (?, ?, ?, ?, ?, ?, ?)",
                       -1, &device, nullptr);
    sqlite3_prepare_v2(db, "insert into CHANNEL (DEVID, STREAM) values (?, 1)", -1, &channel, nullptr);
    for (auto _ : state) {
        Exec(db, "BEGIN");
        sqlite3_bind_text(device, 1, "10.1.1.1", -1, SQLITE_STATIC);
        sqlite3_bind_int(device, 2, 80);
        sqlite3_bind_text(device, 3, "admin", -1, SQLITE_STATIC);
        sqlite3_bind_text(device, 4, "", -1, SQLITE_STATIC);
        sqlite3_bind_text(device, 5, "", -1, SQLITE_STATIC);
        sqlite3_bind_int(device, 6, kChannelsPerDevice);
        sqlite3_bind_int(device, 7, 0);
        if (sqlite3_step(device) != SQLITE_DONE) std::abort();
        sqlite3_reset(device);
        long long id = sqlite3_last_insert_rowid(db);
        for (int c = 0; c < kChannelsPerDevice; ++c) {
            sqlite3_bind_int64(channel, 1, id);
            if (sqlite3_step(channel) != SQLITE_DONE) std::abort();
            sqlite3_reset(channel);
        }
        Exec(db, "COMMIT");
        state.PauseTiming();
        Exec(db, "delete from DEVICE");
        state.ResumeTiming();
    }
    sqlite3_finalize(device);
    sqlite3_finalize(channel);
    sqlite3_close(db);
}
BENCHMARK(BM_AddDevice64ChannelsReferenceOneTransaction)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ocv

BENCHMARK_MAIN();
