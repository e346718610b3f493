// The installed database files and the demo site written by ocuvant-mkdb.
#include "platform/file_util.h"
#include "tests/store/store_fixture.h"

namespace ocv::test {
namespace {

TEST(Mkdb, LiveFileHoldsTheAdministratorAndTheTemplateOneProductRow) {
    TempDir dir;
    std::string error;
    std::string live = dir / "QVXVMS.dat", tmpl = dir / "QVXVMS.bak";
    ASSERT_EQ(mkdb::WriteLiveDatabase(live, {}, &error), 0) << error;
    ASSERT_EQ(mkdb::WriteTemplate(tmpl, &error), 0) << error;
    EXPECT_EQ(Query(live, "select USERNAME || ',' || PASSWORD || ',' || LEVEL || ',' || OPTION from USERINFO"),
              "admin,,0,16383");
    EXPECT_EQ(QueryInt(live, "select count(*) from USERINFO"), 1);
    EXPECT_EQ(QueryInt(tmpl, "select count(*) from SYSTERM"), 1);
    EXPECT_EQ(Query(tmpl, "select PRODUCT from SYSTERM"), "TOLVE");
    for (const char* table : {"DEVICE", "CHANNEL", "MAINGROUP", "SUBGROUP", "MAINMAP", "SUBMAP", "USERINFO"}) {
        EXPECT_EQ(QueryInt(tmpl, std::string("select count(*) from ") + table), 0) << table;
    }
    EXPECT_FALSE(FileExists(live + "-wal"));
    EXPECT_FALSE(FileExists(tmpl + "-wal"));

    // Both open as configuration databases; the live one logs "admin" in with an empty password.
    ConfigStore store;
    ASSERT_EQ(store.Open(live), 0);
    ASSERT_EQ(store.LoadUsers(), 0);
    EXPECT_STREQ(store.user(0).userName, "admin");
    EXPECT_STREQ(store.user(0).password, "");
    ASSERT_EQ(store.Open(tmpl), 0);
}

TEST(Mkdb, DemoSiteHasDevicesAGroupOfAllChannelsAndRecordingSettings) {
    TempDir dir;
    std::vector<mkdb::DemoDevice> demo;
    std::string error;
    ASSERT_TRUE(mkdb::ParseDemoDevices("127.0.0.1:9101:4,127.0.0.1:9102:2", &demo, &error)) << error;
    std::string live = dir / "QVXVMS.dat";
    ASSERT_EQ(mkdb::WriteLiveDatabase(live, demo, &error), 0) << error;

    ConfigStore store;
    ASSERT_EQ(store.Open(live), 0);
    store.LoadSettings();
    store.LoadDevices();
    store.LoadGroups();
    EXPECT_STREQ(store.device(0).host, "127.0.0.1");
    EXPECT_EQ(store.device(0).port, 9101);
    EXPECT_EQ(store.device(1).channelCount, 2);
    ASSERT_EQ(store.groups().size(), 1u);
    EXPECT_EQ(store.groups()[0].memberCount(), 6);
    EXPECT_EQ(store.settings().DISK, 2);  // drive D
    const ChannelInfo& c = store.device(1).channels[1];
    EXPECT_EQ(c.planRecord, 1);
    EXPECT_EQ(c.armAlarm, 1);
    EXPECT_EQ(c.alarmMd, kLinkRecord | kLinkSound);
    for (int day = 0; day < 7; ++day) {
        EXPECT_TRUE(IsScheduleActive(c.planSchedule, day, 0));
        EXPECT_TRUE(IsScheduleActive(c.planSchedule, day, 47));
        EXPECT_TRUE(IsScheduleActive(c.armSchedule, day, 47));
    }
    // A second identical device is a duplicate and fails the whole file.
    demo.push_back(demo[0]);
    EXPECT_EQ(mkdb::WriteLiveDatabase(dir / "dup.dat", demo, &error), -1);
    EXPECT_FALSE(FileExists(dir / "dup.dat"));
}

TEST(Mkdb, AnExistingLiveDatabaseIsKeptUnlessForced) {
    TempDir dir;
    bool kept = true;
    std::string message;
    ASSERT_EQ(mkdb::InstallDatabaseFiles(dir.str(), false, {}, &kept, &message), 0) << message;
    EXPECT_FALSE(kept);
    std::string live = dir / "QVXVMS.dat";
    Sql(live, "insert into DEVICE (HOST, PORT, CHNM) values ('operator.site', 80, 1)");
    std::vector<mkdb::DemoDevice> demo{{"127.0.0.1", 9101, 2}};

    ASSERT_EQ(mkdb::InstallDatabaseFiles(dir.str(), false, {}, &kept, &message), 0);
    EXPECT_TRUE(kept);
    EXPECT_EQ(mkdb::InstallDatabaseFiles(dir.str(), false, demo, &kept, &message), 1);
    EXPECT_EQ(Query(live, "select HOST from DEVICE"), "operator.site");
    EXPECT_EQ(Query(dir / "QVXVMS.bak", "select PRODUCT from SYSTERM"), "TOLVE");

    ASSERT_EQ(mkdb::InstallDatabaseFiles(dir.str(), true, demo, &kept, &message), 0) << message;
    EXPECT_FALSE(kept);
    EXPECT_EQ(Query(live, "select HOST || ':' || PORT from DEVICE"), "127.0.0.1:9101");
    EXPECT_EQ(QueryInt(live, "select count(*) from USERINFO"), 1);
}

TEST(Mkdb, DemoDeviceListsAreValidated) {
    std::vector<mkdb::DemoDevice> out;
    std::string error;
    EXPECT_TRUE(mkdb::ParseDemoDevices("::1:8000:64", &out, &error));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].host, "::1");
    EXPECT_EQ(out[0].port, 8000);
    for (const char* bad : {"host:80", "host:0:4", "host:65536:4", "host:80:0", "host:80:65", ":80:4",
                            "host:8x:4", "a-host-name-that-is-much-too-long.example:80:1"}) {
        out.clear();
        EXPECT_FALSE(mkdb::ParseDemoDevices(bad, &out, &error)) << bad;
    }
}

}  // namespace
}  // namespace ocv::test
