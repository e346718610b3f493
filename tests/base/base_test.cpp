#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/app_dir.h"
#include "base/build_string.h"
#include "base/clock.h"
#include "base/device_types.h"
#include "base/lang.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

class AppDirFixture : public ::testing::Test {
protected:
    TempDir app;
    std::string saved = AppDir();
    void SetUp() override { SetAppDir(app.str()); }
    void TearDown() override { SetAppDir(saved); }
};

TEST(BuildStringTest, FollowsTheCompilerDateRule) {
    EXPECT_EQ(BuildStringFromDate("Jul  8 2020"), "BUILD:200708");
    EXPECT_EQ(BuildStringFromDate("Dec 31 1999"), "BUILD:991231");
    EXPECT_EQ(BuildStringFromDate("Foo 12 2021"), "BUILD:210112");  // unknown month is 1
    EXPECT_EQ(BuildStringFromDate("Jul 2020"), "BUILD:000000");
    EXPECT_EQ(BuildStringFromDate("Jul 8 2020 extra"), "BUILD:000000");
    EXPECT_EQ(BuildStringFromDate(nullptr), "BUILD:000000");
    EXPECT_EQ(GetBuildString().size(), 12u);
}

using LangTest = AppDirFixture;

TEST_F(LangTest, TranslatesFromFileReadOnEachCall) {
    EXPECT_EQ(GetLangString("Loading, please wait ..."), "Loading, please wait ...");
    WriteText(app / "lang.lang", "[LANGUAGE]\nLoading, please wait ...=Bitte warten ...\nOK=\n");
    EXPECT_EQ(GetLangString("Loading, please wait ..."), "Bitte warten ...");
    EXPECT_EQ(GetLangString("OK"), "OK");  // empty value falls back to English
    WriteText(app / "lang.lang", "[LANGUAGE]\nOK=" + std::string(300, 'x') + "\n");
    EXPECT_EQ(GetLangString("OK"), std::string(kMaxLangValue, 'x'));
    LoadSharedTexts();
    EXPECT_EQ(Shared().title, "BODY TEMPERATURESCREENING SYSTEM");
    EXPECT_EQ(Shared().ok, std::string(kMaxLangValue, 'x'));
}

TEST(DeviceTypeTableTest, ResetFillsOnlyTheDefaultSlot) {
    ResetDeviceTypeTable();
    const DeviceTypeRecord* d = FindDeviceType(0);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->name, "Default");
    EXPECT_STREQ(d->user, "admin");
    EXPECT_STREQ(d->password, "kestr");
    EXPECT_EQ(d->port, 80);
    EXPECT_EQ(FindDeviceType(1), nullptr);
    EXPECT_EQ(DeviceTypeSlot(31)->inUse, 0);
    EXPECT_EQ(DeviceTypeSlot(32), nullptr);
}

TEST(ClockTest, DrivenClockGivesLocalFieldsAndWeekday) {
    setenv("TZ", "UTC", 1);
    tzset();
    int64_t t = SetClockForTesting(2020, 7, 8, 23, 59, 59);
    EXPECT_EQ(t, 1594252799);
    ClockSnapshot s = clockSnapshot();
    EXPECT_EQ(s.time, t);
    EXPECT_EQ(s.year, 2020);
    EXPECT_EQ(s.month, 7);
    EXPECT_EQ(s.day, 8);
    EXPECT_EQ(s.SecondOfDay(), 86399);
    EXPECT_EQ(s.weekday, 3);  // a Wednesday
    AdvanceClockForTesting(1);
    s = clockSnapshot();
    EXPECT_EQ(s.day, 9);
    EXPECT_EQ(s.SecondOfDay(), 0);
    // Out-of-range fields normalise like the calendar does.
    SetClockForTesting(2020, 2, 30, 0, 0, 0);
    EXPECT_EQ(clockSnapshot().month, 3);
    EXPECT_EQ(clockSnapshot().day, 1);
    SetClockSourceForTesting(nullptr);
    EXPECT_NEAR(static_cast<double>(RenewClockSnapshot().time), static_cast<double>(time(nullptr)), 2);
}

}  // namespace
}  // namespace ocv
