// The access layer and opening the database: missing, foreign and corrupt files, field
// conversions, identifiers, bound values and durability of committed rows.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

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

TEST(StoreOpen, DamagedPagesGiveFailuresNotCrashes) {
    TempDir dir;
    std::string path = dir / "QVXVMS.dat";
    ASSERT_EQ(mkdb::CreateEmptyDatabase(path), 0);
    {
        ConfigStore store;
        ASSERT_EQ(store.Open(path), 0);
        for (int i = 0; i < 40; ++i) {
            int slot = -1;
            ASSERT_EQ(store.AddDevice(MakeDevice("10.0.0." + std::to_string(i), 80, 16), &slot), 0);
        }
    }
    // Overwrite everything after the schema page with noise.
    std::string bytes = ReadText(path);
    ASSERT_GT(bytes.size(), 16384u);
    for (size_t i = 8192; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131) & 0xFF);
    WriteText(path, bytes);

    ConfigStore store;
    if (store.Open(path) == 0) {
        store.LoadSettings();
        store.LoadDevices();
        store.LoadGroups();
        for (int s = 0; s < kMaxDevices; ++s) {
            const DeviceInfo& d = store.device(s);
            EXPECT_LE(FieldText(d.host).size(), 31u);
            EXPECT_GE(d.channelCount, 0);
            EXPECT_LE(d.channelCount, kMaxChannels);
        }
    }
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

}  // namespace
}  // namespace ocv::test
