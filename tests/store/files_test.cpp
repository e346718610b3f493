// Database files: configuration export and import (with the product check and recovery of a
// failed import), whole-file backups.
#include <unistd.h>

#include "platform/file_util.h"
#include "store/config_files.h"
#include "tests/store/store_fixture.h"

namespace ocv::test {
namespace {

class FilesTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        templatePath_ = dir_ / "QVXVMS.bak";
        std::string error;
        ASSERT_EQ(mkdb::WriteTemplate(templatePath_, &error), 0) << error;
        ASSERT_EQ(store_.LoadSettings(), 0);
        ASSERT_EQ(store_.AddUser(MakeUser("admin")), 0);
        ASSERT_EQ(store_.AddUser(MakeUser("night shift")), 0);
    }

    static UserInfo MakeUser(const std::string& name) {
        UserInfo u{};
        CopyText(u.userName, name);
        u.option = kAllRights;
        return u;
    }

    // Two devices of four channels, a group of three of their channels, a map, settings.
    void BuildSite() {
        ASSERT_EQ(AddDevice("10.0.0.1", 80, 4), 0);
        ASSERT_EQ(AddDevice("10.0.0.2", 8000, 4), 1);
        DeviceRecord thermal = MakeDevice("10.0.0.2", 8000, 4, "Thermal");
        thermal.thermalFlag = 1;
        ASSERT_EQ(store_.ModifyDevice(thermal, 1), 0);
        ASSERT_EQ(store_.ModifyChannel(0, 2, kChannelName, 0, "Gate", 0), 0);
        ASSERT_EQ(store_.ModifyChannel(1, 3, kChannelAlarmMd, 12, nullptr, 0), 0);
        Sql(path_, "update CHANNEL set ALARMDISKERR = 8");
        ASSERT_EQ(store_.LoadDevices(), 0);
        int group = 0;
        ASSERT_EQ(store_.AddGroup("perimeter", &group), 0);
        for (auto [d, c] : {std::pair{0, 1}, {0, 2}, {1, 3}}) {
            GroupMember m{};
            m.deviceIndex = d;
            m.channelIndex = c;
            ASSERT_EQ(store_.AddGroupMember(group, &m), 0);
        }
        int map = 0;
        ASSERT_EQ(store_.AddMap("site", "/maps/site.png", &map), 0);
        MapItem item{};
        item.type = kMapItemChannel;
        item.deviceIndex = 0;
        item.channelIndex = 1;
        ASSERT_EQ(store_.AddMapItem(map, &item), 0);
        SystemSettings s = store_.settings();
        s.RECLEN = 15;
        s.ALARMLEN = 30;
        s.DISK = 6;
        s.ROTATYPE = 1;
        ASSERT_EQ(store_.SaveSettings(s, false), 0);
    }

    std::string ExportTo(const std::string& name) {
        std::string path = dir_ / name;
        EXPECT_EQ(CopyFileAtomically(templatePath_, path), 0);
        EXPECT_EQ(store_.WriteConfiguration(path.c_str()), 0);
        return path;
    }

    // What a start-up would load from the live file.
    std::string Summary(ConfigStore& s) {
        std::string out;
        for (int d = 0; d < kMaxDevices; ++d) {
            const DeviceInfo& dev = s.device(d);
            if (dev.IsEmpty()) continue;
            out += std::string(dev.host) + ":" + std::to_string(dev.port) + "/" + std::to_string(dev.channelCount) + "[";
            for (int c = 0; c < dev.channelCount; ++c)
                out += std::string(dev.channels[c].name) + "," + std::to_string(dev.channels[c].alarmMd) + ";";
            out += "]";
        }
        for (const auto& g : s.groups()) {
            out += " G:" + std::string(g.name);
            for (const auto& m : g.members) out += "," + std::to_string(m.deviceIndex) + "." + std::to_string(m.channelIndex);
        }
        for (const auto& m : s.maps()) out += " M:" + std::string(m.name) + "#" + std::to_string(m.itemCount());
        for (int u = 0; u < kMaxUsers; ++u) {
            if (s.user(u).userName[0]) out += " U:" + std::string(s.user(u).userName);
        }
        out += " RECLEN=" + std::to_string(s.settings().RECLEN);
        return out;
    }

    std::string templatePath_;
};

TEST_F(FilesTest, ExportWritesDevicesChannelsAndGroupsWithTheFilesOwnIdentifiers) {
    BuildSite();
    std::string out = ExportTo("export.bak");
    EXPECT_EQ(QueryInt(out, "select count(*) from DEVICE"), 2);
    EXPECT_EQ(QueryInt(out, "select count(*) from CHANNEL"), 8);
    EXPECT_EQ(QueryInt(out, "select count(*) from MAINGROUP"), 1);
    EXPECT_EQ(QueryInt(out, "select count(*) from SUBGROUP"), 3);
    // Every member points at a channel of this file, and at the right one.
    EXPECT_EQ(QueryInt(out, "select count(*) from SUBGROUP s join CHANNEL c on c.ID = s.CHNID"), 3);
    EXPECT_EQ(QueryInt(out, "select count(*) from SUBGROUP s join CHANNEL c on c.ID = s.CHNID where c.NAME = 'Gate'"), 1);
    for (auto [d, c] : {std::pair{0, 1}, {0, 2}, {1, 3}}) {
        EXPECT_EQ(QueryInt(out, "select count(*) from SUBGROUP where CHNID = " +
                                    std::to_string(store_.device(d).channels[c].exportId)),
                  1);
    }
    // Not carried: the thermal flag, the fifth linkage word, users, maps, tour mode.
    EXPECT_EQ(QueryInt(out, "select count(*) from DEVICE where SETALARM <> 0"), 0);
    EXPECT_EQ(QueryInt(out, "select count(*) from CHANNEL where ALARMDISKERR <> 0"), 0);
    EXPECT_EQ(QueryInt(out, "select count(*) from USERINFO"), 0);
    EXPECT_EQ(QueryInt(out, "select count(*) from MAINMAP"), 0);
    EXPECT_EQ(Query(out, "select RECLEN || ',' || ALARMLEN || ',' || DISK || ',' || ifnull(ROTATYPE, 'none') || ',' || PRODUCT from SYSTERM"),
              "15,30,6,none,TOLVE");
    EXPECT_EQ(QueryInt(out, "select ALARMMD from CHANNEL c join DEVICE d on d.ID = c.DEVID where d.PORT = 8000 "
                            "order by c.ID limit 1 offset 3"),
              12);
    EXPECT_FALSE(FileExists(out + "-wal"));
}

TEST_F(FilesTest, ExportToAFileThatIsNoDatabaseFailsAndTheHelperCleansUp) {
    BuildSite();
    std::string bogus = dir_ / "bogus.bak";
    WriteText(bogus, "not a database");
    EXPECT_EQ(store_.WriteConfiguration(bogus.c_str()), -1);
    EXPECT_EQ(store_.WriteConfiguration((dir_ / "missing.bak").c_str()), -1);

    ClockSnapshot now = MakeClockSnapshot(0);
    now.year = 2026, now.month = 3, now.day = 4, now.hour = 5, now.minute = 6, now.second = 7;
    std::string written;
    ASSERT_EQ(ExportConfigurationFile(store_, templatePath_, dir_.str(), now, &written), 0);
    EXPECT_EQ(written, dir_ / "2026-03-04-05-06-07.bak");
    EXPECT_EQ(QueryInt(written, "select count(*) from CHANNEL"), 8);
    EXPECT_EQ(ExportConfigurationFile(store_, dir_ / "no-template.bak", dir_.str(), now, &written), -1);
    EXPECT_EQ(BackupFileName(now), "VMS20260304050607.bak");
}

TEST_F(FilesTest, ImportWithoutTheProductCodeIsRefusedAndChangesNothing) {
    BuildSite();
    std::string backup = dir_ / "VMS-backup.bak";
    ASSERT_EQ(ExportData(path_, backup), 0);  // a plain backup carries "MERVAL"
    std::string before = Summary(store_);
    EXPECT_EQ(store_.ImportConfiguration(backup.c_str()), -1);
    EXPECT_TRUE(store_.IsOpen());
    EXPECT_EQ(Summary(store_), before);
    EXPECT_EQ(Summary(*Reload()), before);

    std::string lower = ExportTo("lower.bak");
    Sql(lower, "update SYSTERM set PRODUCT = 'tolve'");
    EXPECT_EQ(store_.ImportConfiguration(lower.c_str()), -1);
    EXPECT_EQ(store_.ImportConfiguration((dir_ / "absent.bak").c_str()), -1);
    // The live file itself is never imported into itself.
    Sql(path_, "update SYSTERM set PRODUCT = 'TOLVE'");
    EXPECT_EQ(store_.ImportConfiguration(path_.c_str()), -1);
    EXPECT_EQ(Summary(*Reload()), before);
}

TEST_F(FilesTest, ImportKeepsUsersDropsMapsAndLeavesTheStoreEmpty) {
    BuildSite();
    std::string exported = ExportTo("site.bak");
    std::string exportedSummary;
    {
        ConfigStore other;
        ASSERT_EQ(other.Open(exported), 0);
        other.LoadSettings();
        other.LoadDevices();
        other.LoadGroups();
        exportedSummary = Summary(other);
    }
    // The live site changes after the export; the import brings the exported state back.
    ASSERT_EQ(store_.DeleteDevice(0), 0);
    ASSERT_EQ(AddDevice("192.168.7.7", 80, 1), 0);

    ASSERT_EQ(store_.ImportConfiguration(exported.c_str()), 0);
    EXPECT_FALSE(store_.IsOpen());
    EXPECT_TRUE(store_.device(0).IsEmpty());
    EXPECT_TRUE(store_.device(1).IsEmpty());
    EXPECT_TRUE(store_.groups().empty());
    EXPECT_FALSE(FileExists(path_ + ".import-saved"));

    auto live = Reload();
    std::string summary = Summary(*live);
    EXPECT_NE(summary.find("10.0.0.1:80/4"), std::string::npos) << summary;
    EXPECT_NE(summary.find("10.0.0.2:8000/4"), std::string::npos) << summary;
    EXPECT_EQ(summary.find("192.168.7.7"), std::string::npos) << summary;
    EXPECT_NE(summary.find("G:perimeter,0.1,0.2,1.3"), std::string::npos) << summary;
    EXPECT_EQ(summary.find(" M:"), std::string::npos) << summary;
    EXPECT_NE(summary.find("U:admin U:night shift"), std::string::npos) << summary;
    EXPECT_EQ(live->settings().RECLEN, 15);
    EXPECT_EQ(Count("MAINMAP"), 0);
    // Same devices, channels and groups as the exported file describes.
    std::string expected = exportedSummary.substr(0, exportedSummary.find(" RECLEN"));
    EXPECT_EQ(summary.substr(0, summary.find(" U:")), expected);
}

TEST_F(FilesTest, AFailureAfterTheLiveRowsAreDeletedPutsTheConfigurationBack) {
    BuildSite();
    std::string exported = ExportTo("site.bak");
    ASSERT_EQ(store_.LoadMaps(), 0);
    std::string before = Summary(store_);
    ASSERT_NE(before.find(" M:site#1"), std::string::npos);
    for (int step : {6, 7, 8}) {
        store_.FailImportStepForTesting(step);
        EXPECT_EQ(store_.ImportConfiguration(exported.c_str()), -1) << step;
        EXPECT_TRUE(store_.IsOpen()) << step;
        EXPECT_EQ(store_.path(), path_);
        EXPECT_EQ(Summary(store_), before) << step;
        EXPECT_EQ(Summary(*Reload()), before) << step;
        EXPECT_EQ(Count("DEVICE"), 2) << step;
        EXPECT_EQ(Count("MAINMAP"), 1) << step;
        EXPECT_FALSE(FileExists(path_ + ".import-saved")) << step;
    }
    // The store still works on the restored file, and a clean import then succeeds.
    EXPECT_EQ(AddDevice("10.0.0.3", 80, 1), 2);
    store_.FailImportStepForTesting(0);
    EXPECT_EQ(store_.ImportConfiguration(exported.c_str()), 0);
}

TEST_F(FilesTest, AFailedImportGivesTheRestoredRecordsTheStartupOverrides) {
    BuildSite();
    std::string exported = ExportTo("site.bak");
    store_.ApplyStartupOverrides();
    for (int step : {6, 7, 8}) {
        store_.FailImportStepForTesting(step);
        EXPECT_EQ(store_.ImportConfiguration(exported.c_str()), -1) << step;
        // The reload reads the stored values; a running client works with the overrides.
        EXPECT_EQ(store_.settings().PLANREC, 1) << step;
        EXPECT_EQ(store_.settings().ARMFLAG, 1) << step;
        EXPECT_EQ(store_.settings().DISKREMAIN, 10) << step;
    }
}

TEST_F(FilesTest, TheSavedLiveFileIsKeptWhenPuttingItBackFails) {
    BuildSite();
    std::string exported = ExportTo("site.bak");
    store_.FailImportStepForTesting(7);
    store_.FailImportRestoreForTesting(true);
    EXPECT_EQ(store_.ImportConfiguration(exported.c_str()), -1);
    // The only whole copy of the operator's configuration stays for recovery.
    ASSERT_TRUE(FileExists(path_ + ".import-saved"));
    ConfigStore saved;
    ASSERT_EQ(saved.Open(path_ + ".import-saved", true), 0);
    ASSERT_EQ(saved.LoadDevices(), 0);
    EXPECT_FALSE(saved.device(0).IsEmpty());
    EXPECT_FALSE(saved.device(1).IsEmpty());
}

TEST_F(FilesTest, TheChosenFileIsCheckedAndReadWithoutWritingIntoOrBesideIt) {
    BuildSite();
    std::string exported = ExportTo("site.bak");
    std::string plainBackup = dir_ / "VMS-backup.bak";
    ASSERT_EQ(ExportData(path_, plainBackup), 0);
    std::string garbage = dir_ / "garbage.bak";
    ASSERT_EQ(ReplaceFileAtomically(garbage, std::string(4096, 'x')), 0);
    auto noSideFiles = [](const std::string& p) {
        return !FileExists(p + "-wal") && !FileExists(p + "-shm") && !FileExists(p + "-journal");
    };
    std::string before;
    ASSERT_EQ(ReadFileBounded(exported, 1 << 24, &before), 0);
    ASSERT_TRUE(noSideFiles(exported));

    EXPECT_EQ(ConfigStore::CheckImportFile(garbage.c_str()), -1);
    EXPECT_EQ(ConfigStore::CheckImportFile(plainBackup.c_str()), -1);  // "MERVAL", not a configuration
    EXPECT_EQ(ConfigStore::CheckImportFile((dir_ / "absent.bak").c_str()), -1);
    EXPECT_EQ(ConfigStore::CheckImportFile(""), -1);
    EXPECT_EQ(ConfigStore::CheckImportFile(exported.c_str()), 0);
    for (const std::string& p : {garbage, plainBackup, exported}) EXPECT_TRUE(noSideFiles(p)) << p;
    EXPECT_FALSE(FileExists(dir_ / "absent.bak"));

    ASSERT_EQ(store_.ImportConfiguration(exported.c_str()), 0);
    EXPECT_TRUE(noSideFiles(exported));
    std::string after;
    ASSERT_EQ(ReadFileBounded(exported, 1 << 24, &after), 0);
    EXPECT_TRUE(after == before) << "the chosen file was written to";
}

TEST_F(FilesTest, WholeFileBackupHoldsWhatTheLogHasAndImportDataIsACopy) {
    AddDevice("10.0.0.5", 80, 2);  // still in the write-ahead log: the store is open
    ASSERT_TRUE(FileExists(path_ + "-wal"));
    std::string backup = dir_ / "out/VMS.bak";
    ASSERT_EQ(MakeDirectories(dir_ / "out"), 0);
    ASSERT_EQ(ExportData(path_, backup), 0);
    EXPECT_FALSE(FileExists(backup + "-wal"));
    EXPECT_EQ(QueryInt(backup, "select count(*) from CHANNEL"), 2);
    EXPECT_EQ(ExportData(dir_ / "none.dat", dir_ / "x.bak"), -1);
    EXPECT_FALSE(FileExists(dir_ / "x.bak"));
    EXPECT_EQ(ExportData(path_, path_), -1);
    // A live file that is no database is copied as it is.
    WriteText(dir_ / "broken.dat", "not a database");
    ASSERT_EQ(ExportData(dir_ / "broken.dat", dir_ / "broken.bak"), 0);
    EXPECT_EQ(ReadText(dir_ / "broken.bak"), "not a database");

    ASSERT_EQ(ImportData(backup, dir_.str()), 0);
    EXPECT_EQ(ReadText(dir_ / "QVXDATA.bak"), ReadText(backup));
    EXPECT_EQ(ImportData(dir_ / "none.bak", dir_.str()), -1);
}

}  // namespace
}  // namespace ocv::test
