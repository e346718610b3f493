// The settings page's form: list positions to values and back, what a record the lists cannot
// show turns into, the refused alarm durations and capture paths, and the daily time.
#include <gtest/gtest.h>

#include <cstring>

#include "setup/system_settings_form.h"
#include "store/text_field.h"

using namespace ocv;

namespace {

SystemSettings Record() {
    SystemSettings s{};
    s.TIMEOUT = 10;
    s.RECLEN = 5;
    s.ALARMLEN = 5;
    s.LOGMONTH = 1;
    s.ROTALEN = 20;
    s.PREREC = 5;
    s.DISKREMAIN = 5;
    CopyText(s.PHOTOPATH, "D:\\");
    return s;
}

}  // namespace

TEST(SystemSettingsForm, ListPositionsAreValueMinusOneAtBothEnds) {
    SystemSettings s = Record();
    s.TIMEOUT = 180;
    s.RECLEN = 1;
    s.LOGMONTH = 52;
    SystemSettingsForm f = FormFromSettings(s);
    EXPECT_EQ(f.timeoutPosition, 179);
    EXPECT_EQ(f.recLengthPosition, 0);
    EXPECT_EQ(f.logWeeksPosition, 51);

    f.timeoutPosition = 0;
    f.recLengthPosition = kRecLengthItems - 1;
    f.logWeeksPosition = 3;
    ASSERT_EQ(SettingsFromForm(f, &s), nullptr);
    EXPECT_EQ(s.TIMEOUT, 1);
    EXPECT_EQ(s.RECLEN, kRecLengthItems);
    EXPECT_EQ(s.LOGMONTH, 4);
}

TEST(SystemSettingsForm, RecordValuesOutsideTheListsShowAsTheNearestEntry) {
    SystemSettings s = Record();
    s.TIMEOUT = 0;
    s.RECLEN = 500;
    s.LOGMONTH = -3;
    s.SHOWMODE = 7;
    s.RECSTREAM = -1;
    s.PHOTOTYPE = 2;  // any value but 0 is a bitmap
    s.netPriority = 9;
    s.tempUnit = 3;
    s.CHECKTIME = 90000;  // beyond the day
    s.ROTALEN = 50;       // between 40 and 60: 40 is nearer
    s.ROTATYPE = 4;
    s.PREREC = 0;
    s.DISKREMAIN = 1000;
    s.DISK = -1;  // bits beyond the 24 letters are dropped
    SystemSettingsForm f = FormFromSettings(s);
    EXPECT_EQ(f.timeoutPosition, 0);
    EXPECT_EQ(f.recLengthPosition, kRecLengthItems - 1);
    EXPECT_EQ(f.logWeeksPosition, 0);
    EXPECT_EQ(f.streamMode, 1);
    EXPECT_EQ(f.recStream, 0);
    EXPECT_EQ(f.photoType, 1);
    EXPECT_EQ(f.realplay, 1);
    EXPECT_EQ(f.tempUnit, 1);
    EXPECT_EQ(f.syncHour, 23);
    EXPECT_EQ(f.syncMinute, 59);
    EXPECT_EQ(f.syncSecond, 59);
    EXPECT_EQ(kTourIntervalSeconds[f.tourPosition], 40);
    EXPECT_EQ(f.tourType, 1);
    EXPECT_EQ(f.preRecordSeconds, kMinPreRecordSeconds);
    EXPECT_EQ(f.diskReserveGiB, kMaxDiskReserveGiB);
    EXPECT_EQ(f.diskMask, (1 << 24) - 1);

    // What is shown is what a save writes.
    SystemSettings saved = Record();
    ASSERT_EQ(SettingsFromForm(f, &saved), nullptr);
    EXPECT_EQ(saved.RECLEN, kRecLengthItems);
    EXPECT_EQ(saved.PHOTOTYPE, 1);
    EXPECT_EQ(saved.CHECKTIME, 86399);
    EXPECT_EQ(saved.ROTALEN, 40);
    EXPECT_EQ(saved.DISK, (1 << 24) - 1);
    EXPECT_EQ(saved.netPriority * 10 + saved.tempUnit, 11);
}

TEST(SystemSettingsForm, AlarmDurationOutsideFiveTo1800IsRefusedAndNothingChanges) {
    const SystemSettings before = Record();
    for (const char* typed : {"4", "0", "1801", "", "   ", "abc", "12a", "-5", "5.5", "9999999999", "+60"}) {
        SystemSettingsForm f = FormFromSettings(before);
        f.alarmSeconds = typed;
        f.recLengthPosition = 30;  // would change RECLEN if anything were written
        SystemSettings s = before;
        const char* refusal = SettingsFromForm(f, &s);
        ASSERT_NE(refusal, nullptr) << typed;
        EXPECT_STREQ(refusal, "The alarm time range from 5 to 1800 seconds") << typed;
        EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0) << typed;
    }
    for (const auto& [typed, value] : {std::pair{"5", 5}, std::pair{"1800", 1800}, std::pair{" 60 ", 60}}) {
        SystemSettingsForm f = FormFromSettings(before);
        f.alarmSeconds = typed;
        SystemSettings s = before;
        EXPECT_EQ(SettingsFromForm(f, &s), nullptr) << typed;
        EXPECT_EQ(s.ALARMLEN, value);
    }
}

TEST(SystemSettingsForm, CapturePathMustBeADriveOrAFullFolder) {
    EXPECT_EQ(CapturePathRefusal("D:\\"), nullptr);
    EXPECT_EQ(CapturePathRefusal("e:\\pictures"), nullptr);
    EXPECT_EQ(CapturePathRefusal("/srv/pictures"), nullptr);
    EXPECT_NE(CapturePathRefusal(""), nullptr);
    EXPECT_NE(CapturePathRefusal("pictures"), nullptr);
    EXPECT_NE(CapturePathRefusal("1:\\"), nullptr);
    EXPECT_NE(CapturePathRefusal("/srv/a\nb"), nullptr);
    // 258 bytes leave room for the "\" the captures append and the end of the 260-byte field.
    EXPECT_EQ(CapturePathRefusal("/" + std::string(kPathBytes - 3, 'a')), nullptr);
    EXPECT_NE(CapturePathRefusal("/" + std::string(kPathBytes - 2, 'a')), nullptr);

    SystemSettings s = Record();
    SystemSettingsForm f = FormFromSettings(s);
    f.photoPath = "relative";
    EXPECT_NE(SettingsFromForm(f, &s), nullptr);
    EXPECT_STREQ(s.PHOTOPATH, "D:\\");
}

TEST(SystemSettingsForm, SyncTimePartsAreClampedAndSplitBack) {
    EXPECT_EQ(CheckTimeOf(1, 0, 0), 3600);
    EXPECT_EQ(CheckTimeOf(24, 60, 60), 23 * 3600 + 59 * 60 + 59);
    EXPECT_EQ(CheckTimeOf(-1, -1, -1), 0);
    int h = 0, m = 0, sec = 0;
    SplitCheckTime(45296, &h, &m, &sec);
    EXPECT_EQ(h * 10000 + m * 100 + sec, 123456);
    SplitCheckTime(-5, &h, &m, &sec);
    EXPECT_EQ(h + m + sec, 0);
    SplitCheckTime(86400, &h, &m, &sec);
    EXPECT_EQ(h * 10000 + m * 100 + sec, 235959);
}
