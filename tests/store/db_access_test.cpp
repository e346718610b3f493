// The access layer and opening the database: missing, foreign and corrupt files, field
// conversions, identifiers, bound values and durability of committed rows.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "platform/file_util.h"
#include "store/db_access.h"
#include "tests/store/store_fixture.h"

namespace ocv::test {
namespace {

TEST(StoreOpen, MissingFileIsRefusedNotCreatedAndEveryOperationFails) {
    TempDir dir;
    std::string path = dir / "QVXVMS.dat";
    ConfigStore store;
    EXPECT_EQ(store.Open(path), -1);
    EXPECT_FALSE(store.IsOpen());
    EXPECT_FALSE(FileExists(path));

    int slot = 7;
    EXPECT_EQ(store.LoadSettings(), -1);
    EXPECT_EQ(store.LoadDevices(), -1);
    EXPECT_EQ(store.LoadGroups(), -1);
    EXPECT_EQ(store.LoadMaps(), -1);
    EXPECT_EQ(store.LoadUsers(), -1);
    EXPECT_EQ(store.AddDevice(MakeDevice("10.0.0.1", 80, 4), &slot), -1);
    EXPECT_EQ(slot, -1);
    EXPECT_EQ(store.ModifyChannel(0, -1, kChannelPlanRecord, 1, nullptr, 0), -1);
    EXPECT_EQ(store.DeleteDevice(0), -1);
    EXPECT_EQ(store.AddGroup("g"), -1);
    EXPECT_EQ(store.AddMap("m", "/x.png"), -1);
    UserInfo u{};
    CopyText(u.userName, "admin");
    EXPECT_EQ(store.AddUser(u), -1);
    EXPECT_EQ(store.SaveSettings(store.settings(), false), -1);
    EXPECT_EQ(store.SaveLoginMemory(1, "", 1), -1);
    EXPECT_EQ(store.WriteConfiguration((dir / "x.bak").c_str()), -1);
    // Nothing reached memory.
    EXPECT_TRUE(store.device(0).IsEmpty());
    EXPECT_TRUE(store.groups().empty());
    EXPECT_EQ(store.settings().ALARMLEN, 0);
}

TEST(StoreOpen, ForeignEmptyAndIncompleteFilesAreRefusedUntouched) {
    TempDir dir;
    ConfigStore store;

    std::string garbage = dir / "garbage.dat";
    WriteText(garbage, std::string(8192, 'x'));
    EXPECT_EQ(store.Open(garbage), -1);

    std::string empty = dir / "empty.dat";
    WriteText(empty, "");
    EXPECT_EQ(store.Open(empty), -1);
    EXPECT_EQ(ReadText(empty), "");  // not turned into a database

    std::string partial = dir / "partial.dat";
    ASSERT_EQ(mkdb::CreateEmptyDatabase(partial), 0);
    Sql(partial, "drop table SUBMAP");
    EXPECT_EQ(store.Open(partial), -1);

    std::string oldColumns = dir / "columns.dat";
    ASSERT_EQ(mkdb::CreateEmptyDatabase(oldColumns), 0);
    Sql(oldColumns, "alter table DEVICE drop column AREA");
    EXPECT_EQ(store.Open(oldColumns), -1);
    EXPECT_FALSE(store.IsOpen());
    EXPECT_FALSE(FileExists(oldColumns + "-wal"));
}

// Numbers of the leaf pages of a table, from SQLite's own page statistics.
std::vector<int> LeafPages(const std::string& path, const std::string& table) {
    std::vector<int> pages;
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "select pageno from dbstat where name = ?1 and pagetype = 'leaf' order by pageno", -1,
                           &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(stmt) == SQLITE_ROW) pages.push_back(sqlite3_column_int(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return pages;
}

// A live database of 40 devices with 16 channels each, two pages of its CHANNEL table
// overwritten with noise (what a bad sector or a torn copy leaves).
std::string DamagedDatabase(const TempDir& dir) {
    std::string path = dir / "QVXVMS.dat";
    EXPECT_EQ(mkdb::CreateEmptyDatabase(path), 0);
    {
        ConfigStore store;
        EXPECT_EQ(store.Open(path), 0);
        for (int i = 0; i < 40; ++i) {
            int slot = -1;
            EXPECT_EQ(store.AddDevice(MakeDevice("10.0.0." + std::to_string(i), 80, 16), &slot), 0);
        }
    }  // the last close folds the log into the file
    std::vector<int> leaves = LeafPages(path, "CHANNEL");
    EXPECT_GE(leaves.size(), 4u);
    if (leaves.size() < 4) return path;
    std::string bytes = ReadText(path);
    const size_t page = 4096;
    for (int n : {leaves[1], leaves[2]}) {
        size_t at = static_cast<size_t>(n - 1) * page;
        for (size_t i = 0; i < page && at + i < bytes.size(); ++i) bytes[at + i] = static_cast<char>((i * 131 + 7) & 0xFF);
    }
    WriteText(path, bytes);
    return path;
}

TEST(StoreOpen, DamagedPagesGiveFailuresNotCrashes) {
    TempDir dir;
    std::string path = DamagedDatabase(dir);
    const std::string before = ReadText(path);

    // The store refuses the file at open: the quick integrity check finds the pages.
    ConfigStore store;
    EXPECT_EQ(store.Open(path), -1);
    EXPECT_FALSE(store.IsOpen());
    EXPECT_EQ(store.databaseProblem().state, DatabaseCheck::kDamaged);
    EXPECT_FALSE(store.databaseProblem().detail.empty());
    EXPECT_EQ(store.problemPath(), path);
    EXPECT_EQ(store.LoadDevices(), -1);
    EXPECT_TRUE(store.device(0).IsEmpty());
    int slot = -1;
    EXPECT_EQ(store.AddDevice(MakeDevice("10.9.9.9", 80, 1), &slot), -1);

    // Below the store, stepping over the damaged pages is a failure, never the end of the
    // table and never a crash; the intact DEVICE table still reads whole.
    DbConnection raw;
    ASSERT_TRUE(raw.Open(path));
    DbRecordset channels(&raw);
    int rows = 0;
    if (channels.Open("select * from CHANNEL")) {
        for (; !channels.IsEof(); channels.MoveNext()) ++rows;
    }
    EXPECT_TRUE(channels.Failed());
    EXPECT_FALSE(channels.ErrorText().empty());
    EXPECT_LT(rows, 640);
    DbRecordset devices(&raw);
    ASSERT_TRUE(devices.Open("select * from DEVICE"));
    EXPECT_EQ(devices.RecordCount(), 40);
    EXPECT_FALSE(devices.Failed());
    channels.Close();
    devices.Close();
    raw.Close();

    // Nothing was written into the damaged file.
    EXPECT_EQ(ReadText(path), before);
    EXPECT_FALSE(FileExists(path + "-wal"));
}

TEST(DbRecordsetTest, StepErrorIsAFailureNotTheEndOfTheTable) {
    TempDir dir;
    std::string path = dir / "QVXVMS.dat";
    ASSERT_EQ(mkdb::CreateEmptyDatabase(path), 0);
    Sql(path, "insert into MAINGROUP (NAME) values ('a'), ('b'), ('c'), ('d')");
    DbConnection conn;
    ASSERT_TRUE(conn.Open(path));
    // abs() of the smallest 64-bit integer is an error; the expression reaches it at ID 3 only,
    // so the third step fails after two good rows.
    const char* sql = "select * from MAINGROUP where abs(ID - 3 - 9223372036854775807 - 1) >= 0";
    DbRecordset rs(&conn);
    ASSERT_TRUE(rs.Open(sql));
    EXPECT_FALSE(rs.Failed());
    int rows = 0;
    for (; !rs.IsEof(); rs.MoveNext()) ++rows;
    EXPECT_EQ(rows, 2);
    EXPECT_TRUE(rs.Failed());
    EXPECT_NE(rs.ErrorText().find("overflow"), std::string::npos) << rs.ErrorText();
    // Counting the rows meets the same step: no count rather than a short one.
    DbRecordset counted(&conn);
    ASSERT_TRUE(counted.Open(sql));
    EXPECT_EQ(counted.RecordCount(), -1);
    EXPECT_TRUE(counted.Failed());
    // A recordset opened again starts clean.
    ASSERT_TRUE(rs.Open("select * from MAINGROUP"));
    EXPECT_FALSE(rs.Failed());
    EXPECT_EQ(rs.RecordCount(), 4);
}

// CHANNEL turned into a view over the real rows whose third row cannot be read: the file passes
// the integrity check, and the load meets the failure as a step error half-way.
TEST(StoreLoad, StepErrorInTheChannelsIsReportedAndNothingIsLoaded) {
    TempDir dir;
    std::string path = dir / "QVXVMS.dat";
    ASSERT_EQ(mkdb::CreateEmptyDatabase(path), 0);
    {
        ConfigStore store;
        ASSERT_EQ(store.Open(path), 0);
        int slot = -1;
        ASSERT_EQ(store.AddDevice(MakeDevice("10.0.0.1", 80, 4), &slot), 0);
        UserInfo admin{};
        CopyText(admin.userName, "admin");
        ASSERT_EQ(store.AddUser(admin), 0);
        ASSERT_EQ(store.LoadSettings(), 0);  // the settings row exists, so loading writes nothing
    }
    std::string columns = "ID, DEVID, CASE WHEN abs(ID - 3 - 9223372036854775807 - 1) >= 0 THEN NAME END AS NAME";
    for (const char* c : {"STREAM", "ALARMMD", "ALARMINPUT", "ALARMDISCONN", "ALARMDISKFULL", "ALARMDISKERR",
                          "AUTOADJUST", "PLANREC", "ALARMARM", "STENABLE"})
        columns += std::string(", ") + c;
    for (const char* day : {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"})
        for (const char* prefix : {"", "A"})
            for (int half : {1, 2}) columns += std::string(", ") + prefix + day + std::to_string(half);
    Sql(path, "alter table CHANNEL rename to CHANNELROWS; create view CHANNEL as select " + columns +
                  " from CHANNELROWS");
    const std::string before = ReadText(path);

    ConfigStore store;
    ASSERT_EQ(store.Open(path), 0);  // the file itself is sound
    EXPECT_EQ(store.LoadSettings(), 0);
    EXPECT_EQ(store.LoadDevices(), -1);
    // Not a device with two of its four channels: nothing, a closed store, and the reason.
    EXPECT_TRUE(store.device(0).IsEmpty());
    EXPECT_EQ(store.device(0).channels[0].id, 0);
    EXPECT_FALSE(store.IsOpen());
    EXPECT_EQ(store.databaseProblem().state, DatabaseCheck::kDamaged);
    EXPECT_NE(store.databaseProblem().detail.find("CHANNEL"), std::string::npos);
    EXPECT_EQ(store.LoadUsers(), -1);
    EXPECT_EQ(store.user(0).userName[0], '\0');
    EXPECT_EQ(store.SaveSettings(store.settings(), false), -1);
    store.Close();
    EXPECT_EQ(ReadText(path), before);
}

TEST(StoreOpen, SetsWriteAheadLogAndReopeningSwitchesFiles) {
    TempDir dir;
    std::string a = dir / "a.dat", b = dir / "b.dat";
    ASSERT_EQ(mkdb::CreateEmptyDatabase(a), 0);
    ASSERT_EQ(mkdb::CreateEmptyDatabase(b), 0);
    ConfigStore store;
    ASSERT_EQ(store.Open(a), 0);
    EXPECT_EQ(Query(a, "pragma journal_mode"), "wal");
    int slot = -1;
    ASSERT_EQ(store.AddDevice(MakeDevice("10.0.0.1", 80, 1), &slot), 0);
    ASSERT_EQ(store.Open(b), 0);  // the connection on a is closed first
    EXPECT_EQ(store.path(), b);
    EXPECT_EQ(store.LoadDevices(), 0);
    EXPECT_TRUE(store.device(0).IsEmpty());
    EXPECT_EQ(QueryInt(a, "select count(*) from DEVICE"), 1);
}

TEST(StoreOpen, CommittedRowsSurviveACrashedProcess) {
    TempDir dir;
    std::string path = dir / "QVXVMS.dat";
    ASSERT_EQ(mkdb::CreateEmptyDatabase(path), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ConfigStore store;
        int slot = -1;
        bool ok = store.Open(path) == 0 && store.AddDevice(MakeDevice("10.1.1.1", 8000, 2), &slot) == 0 &&
                  store.ModifyChannel(slot, 1, kChannelAlarmMd, 12, nullptr, 0) == 0;
        _exit(ok ? 0 : 1);  // no close, no checkpoint: the rows are only in the log
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(FileExists(path + "-wal"));

    ConfigStore store;
    ASSERT_EQ(store.Open(path), 0);
    ASSERT_EQ(store.LoadDevices(), 0);
    EXPECT_STREQ(store.device(0).host, "10.1.1.1");
    EXPECT_EQ(store.device(0).channels[1].alarmMd, 12);
}

class RecordsetTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_ / "t.db";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                               "create table T (ID integer primary key autoincrement, S smallint, F real, "
                               "TX text, N integer, BIG integer, B blob);"
                               "insert into T (S, F, TX, N, BIG, B) values (7, 1.5, '12', NULL, 1099511627776, x'00');"
                               "insert into T (TX) values ('abc');",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        ASSERT_TRUE(conn_.Open(path_));
    }
    TempDir dir_;
    std::string path_;
    DbConnection conn_;
};

TEST_F(RecordsetTest, FieldConversionsFollowTheStoredType) {
    DbRecordset rs(&conn_);
    ASSERT_TRUE(rs.Open("select * from T"));
    EXPECT_EQ(rs.RecordCount(), 2);
    ASSERT_FALSE(rs.IsEof());  // back on the first row
    std::string text = "x";
    int32_t v = 5;
    EXPECT_TRUE(rs.GetText("N", &text));  // NULL
    EXPECT_EQ(text, "");
    EXPECT_TRUE(rs.GetInt("N", &v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(rs.GetText("S", &text));  // a 16-bit column reads as no text
    EXPECT_EQ(text, "");
    EXPECT_TRUE(rs.GetInt("S", &v));
    EXPECT_EQ(v, 7);
    EXPECT_FALSE(rs.GetText("F", &text));
    EXPECT_FALSE(rs.GetText("BIG", &text));  // beyond 32 bits
    EXPECT_FALSE(rs.GetInt("BIG", &v));
    EXPECT_FALSE(rs.GetText("B", &text));
    EXPECT_TRUE(rs.GetText("TX", &text));
    EXPECT_EQ(text, "12");
    EXPECT_TRUE(rs.GetInt("TX", &v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(rs.GetText("ID", &text));
    EXPECT_EQ(text, "1");
    EXPECT_FALSE(rs.GetText("NOPE", &text));
    // The text-then-number read gives what GetText and the conversion give.
    EXPECT_TRUE(rs.GetTextAsInt("TX", &v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(rs.GetTextAsInt("N", &v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(rs.GetTextAsInt("S", &v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(rs.GetTextAsInt("BIG", &v));
    EXPECT_TRUE(rs.GetTextAsInt("id", &v));  // names in any letter case
    EXPECT_EQ(v, 1);
    rs.MoveNext();
    EXPECT_FALSE(rs.GetInt("TX", &v));  // "abc" is no number
    EXPECT_TRUE(rs.GetTextAsInt("TX", &v));
    EXPECT_EQ(v, 0);
    rs.MoveNext();
    EXPECT_TRUE(rs.IsEof());
    EXPECT_FALSE(rs.GetText("TX", &text));
}

TEST_F(RecordsetTest, InsertsReadBackIncreasingIdsAndValuesAreNeverSqlText) {
    const char* hostile = "x'); drop table T; --\"%d";
    DbRecordset rs(&conn_);
    ASSERT_TRUE(rs.Open("select * from T where ID = %d", 999));
    EXPECT_TRUE(rs.IsEof());
    ASSERT_TRUE(rs.AddNew());
    ASSERT_TRUE(rs.PutText("TX", hostile));
    EXPECT_FALSE(rs.PutText("NOT_A_COLUMN", "x"));
    EXPECT_FALSE(rs.PutText("TX\" = 1; --", "x"));
    ASSERT_TRUE(rs.Update());
    std::string id1;
    ASSERT_TRUE(rs.GetText("ID", &id1));
    ASSERT_TRUE(rs.AddNew());
    ASSERT_TRUE(rs.PutLong("N", -5));
    ASSERT_TRUE(rs.Update());
    std::string id2;
    ASSERT_TRUE(rs.GetText("ID", &id2));
    EXPECT_EQ(id1, "3");
    EXPECT_EQ(id2, "4");
    rs.Close();

    DbRecordset check(&conn_);
    ASSERT_TRUE(check.Open("select * from T where ID = %d", 3));
    std::string text;
    ASSERT_TRUE(check.GetText("TX", &text));
    EXPECT_EQ(text, hostile);
    check.Close();
    // The last row deleted, its identifier is still not handed out again.
    ASSERT_TRUE(conn_.Execute("delete from T where ID = %d", 4));
    ASSERT_TRUE(check.Open("select * from T"));
    ASSERT_TRUE(check.AddNew());
    ASSERT_TRUE(check.Update());
    ASSERT_TRUE(check.GetText("ID", &text));
    EXPECT_EQ(text, "5");
}

TEST_F(RecordsetTest, UpdateChangesOnlyTheCurrentRowAndPutShortIsSixteenBits) {
    DbRecordset rs(&conn_);
    ASSERT_TRUE(rs.Open("select * from T"));
    rs.MoveNext();
    ASSERT_TRUE(rs.PutShort("N", static_cast<int16_t>(70000)));
    ASSERT_TRUE(rs.Update());
    int32_t v = 0;
    ASSERT_TRUE(rs.GetInt("N", &v));
    EXPECT_EQ(v, static_cast<int16_t>(70000));
    rs.Close();
    EXPECT_EQ(Query(path_, "select N from T where ID = 2"), std::to_string(static_cast<int16_t>(70000)));
    EXPECT_EQ(Query(path_, "select N from T where ID = 1"), "");
    // A statement with another kind of mark is refused rather than guessed at.
    EXPECT_FALSE(rs.Open("select * from T where TX = '%s'"));
    EXPECT_FALSE(conn_.Execute("delete from T where ID = %d"));  // mark without a value
}

TEST(TextField, CutsAtCharacterBoundaryAndConvertsNumbers) {
    char field[8];
    CopyText(field, "abcdefghij");
    EXPECT_STREQ(field, "abcdefg");
    CopyText(field, "abcde\xE2\x82\xAC");  // the euro sign would need bytes 5..7
    EXPECT_STREQ(field, "abcde");
    EXPECT_EQ(TextToInt(""), 0);
    EXPECT_EQ(TextToInt("  -42x"), -42);
    EXPECT_EQ(TextToInt("99999999999"), INT32_MAX);
    EXPECT_EQ(TextToInt("-99999999999"), INT32_MIN);
    EXPECT_EQ(TextToInt("abc"), 0);
}

TEST(TextField, CompleteLengthDropsOnlyACharacterLeftIncompleteAtTheEnd) {
    EXPECT_EQ(CompleteLength(""), 0u);
    EXPECT_EQ(CompleteLength("plain"), 5u);
    EXPECT_EQ(CompleteLength("caf\xC3\xA9"), 5u);           // whole two-byte character
    EXPECT_EQ(CompleteLength("caf\xC3"), 3u);                // its first byte only
    EXPECT_EQ(CompleteLength("x\xE2\x82\xAC"), 4u);         // whole euro sign
    EXPECT_EQ(CompleteLength("x\xE2\x82"), 1u);              // two of its three bytes
    EXPECT_EQ(CompleteLength("x\xF0\x9F\x98"), 1u);          // three of four
    EXPECT_EQ(CompleteLength("x\xF0\x9F\x98\x80"), 5u);
    EXPECT_EQ(CompleteLength("\x80\x80"), 2u);               // no lead byte: left alone
}

}  // namespace
}  // namespace ocv::test
