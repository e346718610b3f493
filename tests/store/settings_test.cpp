// System settings: factory row, clamps, NETTYPE, save, restore defaults, login memory.
#include "tests/store/store_fixture.h"

namespace ocv::test {
namespace {

using SettingsTest = StoreTest;

TEST_F(SettingsTest, EmptyTableGetsTheFactoryRowAndMemoryItsValues) {
    ASSERT_EQ(Count("SYSTERM"), 0);
    ASSERT_EQ(store_.LoadSettings(), 0);
    EXPECT_EQ(Count("SYSTERM"), 1);
    EXPECT_EQ(Query(path_, "select RECLEN || ',' || ROTALEN || ',' || PBPORT || ',' || SNAPTIME || ',' || PRODUCT || "
                           "',' || USER || ',' || DISKREMAIN || ',' || PHOTOPATH from SYSTERM"),
              "5,10,9000,60,MERVAL,-1,1,D:\\");
    const SystemSettings& s = store_.settings();
    EXPECT_EQ(s.ALARMLEN, 5);
    EXPECT_EQ(s.RECLEN, 5);
    EXPECT_EQ(s.ROTALEN, 10);
    EXPECT_EQ(s.DISKREMAIN, 5);  // memory differs from the row's 1
    EXPECT_EQ(s.AUTOMATIC, 1);
    EXPECT_EQ(s.USER, -1);
    EXPECT_STREQ(s.PHOTOPATH, "D:\\");

    // The next load reads the row: texts written into number columns read as numbers.
    ASSERT_EQ(store_.LoadSettings(), 0);
    EXPECT_EQ(Count("SYSTERM"), 1);
    EXPECT_EQ(s.DISK, 0);
    EXPECT_EQ(s.LOGMONTH, 1);
    EXPECT_EQ(s.DISKREMAIN, 1);
    EXPECT_EQ(s.TIMEOUT, 10);  // never written: falls back
    EXPECT_EQ(s.netPriority, 0);
}

TEST_F(SettingsTest, AlarmLengthAndTimeoutAreClampedAtLoad) {
    ASSERT_EQ(store_.LoadSettings(), 0);
    struct Case {
        const char* alarmLen;
        const char* timeout;
        int wantAlarm;
        int wantTimeout;
    } cases[] = {{"2", "0", 5, 10},      {"5000", "181", 1800, 10}, {"5", "180", 5, 180},
                 {"1800", "1", 1800, 1}, {"-3", "-1", 5, 10},       {"NULL", "2.5", 5, 10}};
    for (const auto& c : cases) {
        Sql(path_, std::string("update SYSTERM set ALARMLEN = ") + c.alarmLen + ", TIMEOUT = " + c.timeout);
        ASSERT_EQ(store_.LoadSettings(), 0);
        EXPECT_EQ(store_.settings().ALARMLEN, c.wantAlarm) << c.alarmLen;
        EXPECT_EQ(store_.settings().TIMEOUT, c.wantTimeout) << c.timeout;
    }
}

TEST_F(SettingsTest, NetTypeElevenSplitsAndIsWrittenBack) {
    ASSERT_EQ(store_.LoadSettings(), 0);
    Sql(path_, "update SYSTERM set NETTYPE = 11");
    ASSERT_EQ(store_.LoadSettings(), 0);
    EXPECT_EQ(store_.settings().netPriority, 1);
    EXPECT_EQ(store_.settings().tempUnit, 1);
    Sql(path_, "update SYSTERM set NETTYPE = 0");
    ASSERT_EQ(store_.SaveSettings(store_.settings(), false), 0);
    EXPECT_EQ(Query(path_, "select NETTYPE from SYSTERM"), "11");
    SystemSettings s = store_.settings();
    s.tempUnit = 1;
    s.netPriority = 0;
    ASSERT_EQ(store_.SaveSettings(s, false), 0);
    EXPECT_EQ(Query(path_, "select NETTYPE from SYSTERM"), "10");
}

TEST_F(SettingsTest, SaveWritesTheRecordAndAReloadShowsIt) {
    ASSERT_EQ(store_.LoadSettings(), 0);
    SystemSettings s = store_.settings();
    s.RECLEN = 30;
    s.ROTALEN = 15;
    s.ROTATYPE = 1;
    s.ALARMLEN = 120;
    s.DISK = (1 << 1) | (1 << 3);
    s.CHECKTIME = 23 * 3600 + 59 * 60 + 59;
    s.PREREC = 10;
    s.COVER = 1;
    s.TIMEOUT = 60;
    s.SHOWMODE = 0;
    s.RECSTREAM = 1;
    CopyText(s.PHOTOPATH, "E:\\snapshots\\site");
    ASSERT_EQ(store_.SaveSettings(s, false), 0);
    EXPECT_EQ(store_.settings().RECLEN, 30);

    ConfigStore other;
    ASSERT_EQ(other.Open(path_), 0);
    ASSERT_EQ(other.LoadSettings(), 0);
    const SystemSettings& r = other.settings();
    EXPECT_EQ(r.RECLEN, 30);
    EXPECT_EQ(r.ROTALEN, 15);
    EXPECT_EQ(r.ROTATYPE, 1);
    EXPECT_EQ(r.ALARMLEN, 120);
    EXPECT_EQ(r.DISK, 10);
    EXPECT_EQ(r.CHECKTIME, 86399);
    EXPECT_EQ(r.PREREC, 10);
    EXPECT_EQ(r.COVER, 1);
    EXPECT_EQ(r.TIMEOUT, 60);
    EXPECT_EQ(r.SHOWMODE, 0);
    EXPECT_EQ(r.RECSTREAM, 1);
    EXPECT_STREQ(r.PHOTOPATH, "E:\\snapshots\\site");
}

TEST_F(SettingsTest, RestoreDefaultsReplacesTheListedValuesOnly) {
    ASSERT_EQ(store_.LoadSettings(), 0);
    SystemSettings s = store_.settings();
    s.ROTALEN = 10;
    s.DISK = 0;
    s.PLANREC = 1;
    s.RECTYPE = 3;
    s.tempUnit = 1;
    s.netPriority = 1;
    CopyText(s.PASS, "kept");
    ASSERT_EQ(store_.SaveSettings(s, true), 0);
    EXPECT_EQ(store_.settings().ROTALEN, 20);
    EXPECT_EQ(store_.settings().DISK, 2);
    EXPECT_EQ(store_.settings().PLANREC, 1);
    EXPECT_EQ(store_.settings().RECTYPE, 3);
    EXPECT_EQ(store_.settings().tempUnit, 1);
    EXPECT_EQ(store_.settings().netPriority, 0);
    EXPECT_STREQ(store_.settings().PASS, "kept");
    EXPECT_EQ(Query(path_, "select ROTALEN || ',' || DISK || ',' || NETTYPE || ',' || PLANREC from SYSTERM"),
              "20,2,10,1");
}

TEST_F(SettingsTest, SaveWithoutARowWritesNothingAndKeepsMemory) {
    SystemSettings s{};
    s.RECLEN = 44;
    EXPECT_EQ(store_.SaveSettings(s, false), 0);
    EXPECT_EQ(store_.settings().RECLEN, 0);
    EXPECT_EQ(Count("SYSTERM"), 0);
    EXPECT_EQ(store_.SaveLoginMemory(3, "pw", 1), 0);
    EXPECT_EQ(Count("SYSTERM"), 0);
}

TEST_F(SettingsTest, LoginMemoryIsStoredAndForgotten) {
    ASSERT_EQ(store_.LoadSettings(), 0);
    ASSERT_EQ(store_.SaveLoginMemory(4, "secret", 1), 0);
    EXPECT_EQ(Query(path_, "select USER || ',' || REMEMBER || ',' || PASS from SYSTERM"), "4,1,secret");
    EXPECT_EQ(store_.settings().USER, 4);
    EXPECT_EQ(store_.settings().REMEMBER, 1);
    EXPECT_STREQ(store_.settings().PASS, "secret");
    // SaveSettings leaves the login memory of the row alone.
    SystemSettings s = store_.settings();
    s.REMEMBER = 0;
    ASSERT_EQ(store_.SaveSettings(s, false), 0);
    EXPECT_EQ(Query(path_, "select REMEMBER from SYSTERM"), "1");

    ASSERT_EQ(store_.SaveLoginMemory(4, "secret", 0), 0);
    EXPECT_EQ(Query(path_, "select USER || ',' || REMEMBER || ',[' || PASS || ']' from SYSTERM"), "0,0,[]");
    EXPECT_EQ(store_.settings().REMEMBER, 0);
}

TEST_F(SettingsTest, StartupOverridesChangeMemoryOnly) {
    ASSERT_EQ(store_.LoadSettings(), 0);
    ASSERT_EQ(store_.LoadSettings(), 0);
    EXPECT_EQ(store_.settings().PLANREC, 0);
    store_.ApplyStartupOverrides();
    EXPECT_EQ(store_.settings().PLANREC, 1);
    EXPECT_EQ(store_.settings().ARMFLAG, 1);
    EXPECT_EQ(store_.settings().DISKREMAIN, 10);
    EXPECT_EQ(Query(path_, "select PLANREC || ',' || ARMFLAG || ',' || DISKREMAIN from SYSTERM"), "0,0,1");
}

}  // namespace
}  // namespace ocv::test
