// The pending import at start-up ("Import Data" leaves QVXDATA.bak), and the modes of the
// database files that hold the accounts' passwords.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/file_util.h"
#include "store/config_files.h"
#include "store/pending_import.h"
#include "tests/store/store_fixture.h"

namespace ocv::test {
namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0xFFFF;
}

class PendingImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = dir_ / "QVXVMS.dat";
        pending_ = dir_ / "QVXDATA.bak";
        std::string error;
        ASSERT_EQ(mkdb::WriteLiveDatabase(live_, {{"10.0.0.1", 80, 2}}, &error), 0) << error;
    }

    // A device added by a process that ended without closing: its rows are only in the log.
    void AddDeviceLeftInTheLog(const std::string& host) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ConfigStore store;
            int slot = -1;
            bool ok = store.Open(live_) == 0 && store.LoadDevices() == 0 &&
                      store.AddDevice(MakeDevice(host, 80, 1), &slot) == 0;
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ASSERT_TRUE(FileExists(live_ + "-wal"));
    }

    std::vector<std::string> Hosts(const std::string& path) {
        ConfigStore store;
        std::vector<std::string> hosts;
        if (store.Open(path) != 0 || store.LoadDevices() != 0) return {"<cannot load>"};
        for (int s = 0; s < kMaxDevices; ++s)
            if (!store.device(s).IsEmpty()) hosts.emplace_back(FieldText(store.device(s).host));
        return hosts;
    }

    TempDir dir_;
    std::string live_, pending_;
};

TEST_F(PendingImportTest, NothingPendingChangesNothing) {
    const std::string before = ReadText(live_);
    EXPECT_EQ(ApplyPendingImport(dir_.str()), 0);
    EXPECT_EQ(ReadText(live_), before);
    EXPECT_FALSE(FileExists(live_ + kBeforeImportSuffix));
}

TEST_F(PendingImportTest, ValidDatabaseReplacesTheLiveOneWhichIsKeptAsideWithItsLog) {
    AddDeviceLeftInTheLog("10.0.0.99");
    std::string error;
    ASSERT_EQ(mkdb::WriteLiveDatabase(dir_ / "backup.dat", {{"10.7.7.7", 8000, 4}}, &error), 0) << error;
    ASSERT_EQ(ImportData(dir_ / "backup.dat", dir_.str()), 0);
    EXPECT_EQ(ModeOf(pending_), 0600u);

    EXPECT_EQ(ApplyPendingImport(dir_.str()), 1);
    EXPECT_FALSE(FileExists(pending_));
    EXPECT_EQ(Hosts(live_), std::vector<std::string>{"10.7.7.7"});
    EXPECT_EQ(ModeOf(live_), 0600u);
    // The replaced database, committed rows of its log included, is there to go back to.
    const std::string aside = live_ + kBeforeImportSuffix;
    EXPECT_EQ(ModeOf(aside), 0600u);
    EXPECT_EQ(Hosts(aside), (std::vector<std::string>{"10.0.0.1", "10.0.0.99"}));
    // No staging copy is left behind.
    EXPECT_FALSE(FileExists(live_ + ".import"));
}

TEST_F(PendingImportTest, GarbageOrADatabaseWithoutAccountsIsRefusedAndTheLiveOneStays) {
    AddDeviceLeftInTheLog("10.0.0.99");
    const std::string liveBytes = ReadText(live_);
    const std::string logBytes = ReadText(live_ + "-wal");

    WriteText(pending_, std::string(10000, 'z'));
    EXPECT_EQ(ApplyPendingImport(dir_.str()), -1);
    EXPECT_EQ(ReadText(live_), liveBytes);
    EXPECT_EQ(ReadText(live_ + "-wal"), logBytes);  // the log of the live database is not touched
    EXPECT_FALSE(FileExists(pending_));            // not tried again at every start...
    EXPECT_EQ(ReadText(pending_ + kRefusedImportSuffix), std::string(10000, 'z'));  // ...and not lost
    EXPECT_FALSE(FileExists(live_ + kBeforeImportSuffix));

    // The empty template is a database, but nobody could log in to a client running on it.
    std::string error;
    ASSERT_EQ(mkdb::WriteTemplate(pending_, &error), 0) << error;
    EXPECT_EQ(ApplyPendingImport(dir_.str()), -1);
    EXPECT_EQ(ReadText(live_), liveBytes);
    EXPECT_EQ(Hosts(live_), (std::vector<std::string>{"10.0.0.1", "10.0.0.99"}));
}

TEST_F(PendingImportTest, FailedReplaceLeavesBothFilesAndTheLog) {
    AddDeviceLeftInTheLog("10.0.0.99");
    std::string error;
    ASSERT_EQ(mkdb::WriteLiveDatabase(pending_, {}, &error), 0) << error;
    // The live name cannot be replaced: a folder stands beside it in its place.
    const std::string moved = dir_ / "moved.dat";
    ASSERT_EQ(rename(live_.c_str(), moved.c_str()), 0);
    std::filesystem::create_directory(live_);
    WriteText(live_ + "/keep", "x");
    EXPECT_EQ(ApplyPendingImport(dir_.str()), -1);
    EXPECT_TRUE(FileExists(pending_));  // tried again at the next start
    EXPECT_EQ(ReadText(live_ + "/keep"), "x");
    EXPECT_TRUE(FileExists(live_ + "-wal"));
}

// Files that hold passwords are created for their owner only, whatever the umask allows.
class DatabaseModesTest : public StoreTest {
protected:
    void SetUp() override {
        oldMask_ = umask(022);
        StoreTest::SetUp();
    }
    void TearDown() override { umask(oldMask_); }
    mode_t oldMask_ = 0;
};

TEST_F(DatabaseModesTest, LiveDatabaseItsLogsAndEveryCopyAreOwnerOnly) {
    EXPECT_EQ(ModeOf(path_), 0600u);
    ASSERT_EQ(AddDevice("10.0.0.1", 80, 2), 0);  // the log files exist while the store is open
    EXPECT_EQ(ModeOf(path_ + "-wal"), 0600u);
    EXPECT_EQ(ModeOf(path_ + "-shm"), 0600u);

    EXPECT_EQ(ExportData(path_, dir_ / "VMS20260101000000.bak"), 0);
    EXPECT_EQ(ModeOf(dir_ / "VMS20260101000000.bak"), 0600u);

    std::string error;
    ASSERT_EQ(mkdb::WriteTemplate(dir_ / "QVXVMS.bak", &error), 0) << error;
    EXPECT_EQ(ModeOf(dir_ / "QVXVMS.bak"), 0600u);
    ClockSnapshot now = MakeClockSnapshot(1767225600);
    std::string exported;
    ASSERT_EQ(ExportConfigurationFile(store_, dir_ / "QVXVMS.bak", dir_.str(), now, &exported), 0);
    EXPECT_EQ(ModeOf(exported), 0600u);

    // A loose copy replaced by a new backup does not keep its looser mode.
    WriteText(dir_ / "old.bak", "x");
    chmod((dir_ / "old.bak").c_str(), 0644);
    EXPECT_EQ(ExportData(path_, dir_ / "old.bak"), 0);
    EXPECT_EQ(ModeOf(dir_ / "old.bak"), 0600u);
}

}  // namespace
}  // namespace ocv::test
