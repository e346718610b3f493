// The alarm window's rules without a window: its options block, which list an event goes to,
// how rows read, the bounded lists and the popup-video rule.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "monitor/alarm_options.h"
#include "monitor/alarm_rows.h"
#include "platform/profile.h"
#include "tests/liveview/live_view_fakes.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

AlarmEvent Event(int code, int channelId = 0, uint32_t time = 1594202400, const char* text = "") {
    AlarmEvent e{};
    e.valid = 1;
    e.channelId = channelId;
    e.code = code;
    e.time = time;
    strncpy(e.text, text, sizeof e.text - 1);
    return e;
}

TEST(AlarmOptionsTest, AMissingOrDamagedBlockGivesTheDefaultsWithSoundAndPopupOn) {
    test::TempDir dir;
    const std::string ini = dir / "config.ini";
    const uint8_t expected[10] = {1, 1, 1, 1, 0, 1, 1, 1, 0, 0};
    AlarmDialogOptions o = LoadAlarmDialogOptions(ini);  // no file at all
    EXPECT_EQ(memcmp(&o, expected, sizeof expected), 0);

    // A block of another length is not taken for ours.
    const uint8_t shortBlock[4] = {0, 0, 0, 0};
    ASSERT_TRUE(WritePrivateProfileStructA("CONFIG", "ALARMDIALOG", shortBlock, sizeof shortBlock, ini.c_str()));
    o = LoadAlarmDialogOptions(ini);
    EXPECT_EQ(memcmp(&o, expected, sizeof expected), 0);

    // Garbage in the value.
    {
        std::ofstream f(ini, std::ios::trunc);
        f << "[CONFIG]\nALARMDIALOG=ZZ00\n";
    }
    o = LoadAlarmDialogOptions(ini);
    EXPECT_EQ(memcmp(&o, expected, sizeof expected), 0);
}

TEST(AlarmOptionsTest, TheBlockRoundTripsAndDamagedBytesReadAsOn) {
    test::TempDir dir;
    const std::string ini = dir / "config.ini";
    AlarmDialogOptions o = DefaultAlarmDialogOptions();
    o.soundOn = 0;
    o.popupVideo = 0;
    o.floating = 1;
    o.listsShown = 1;
    ASSERT_TRUE(SaveAlarmDialogOptions(ini, o));
    AlarmDialogOptions back = LoadAlarmDialogOptions(ini);
    EXPECT_EQ(memcmp(&o, &back, sizeof o), 0);
    // The block is 10 raw bytes in the section CONFIG, other keys untouched.
    ASSERT_TRUE(WritePrivateProfileStringA("CONFIG", "DRAWMODE", "ON", ini.c_str()));
    uint8_t raw[10];
    ASSERT_TRUE(GetPrivateProfileStructA("CONFIG", "ALARMDIALOG", raw, sizeof raw, ini.c_str()));
    EXPECT_EQ(raw[2], 0);
    EXPECT_EQ(raw[8], 1);

    uint8_t damaged[10] = {7, 200, 0, 1, 9, 1, 1, 1, 2, 0};
    ASSERT_TRUE(WritePrivateProfileStructA("CONFIG", "ALARMDIALOG", damaged, sizeof damaged, ini.c_str()));
    back = LoadAlarmDialogOptions(ini);
    EXPECT_EQ(back.showAlarmList, 1);
    EXPECT_EQ(back.popupVideo, 1);
    EXPECT_EQ(back.soundOn, 0);
    EXPECT_EQ(back.floating, 1);
    EXPECT_EQ(back.reserved, 9);  // not an option: kept as it was
}

TEST(AlarmRowsTest, NormalReadingsGoToTheEventListAbnormalOnesToBoth) {
    AlarmDialogOptions o = DefaultAlarmDialogOptions();
    EXPECT_EQ(ListsFor(Event(kEventTemperatureNormal), o), kInEventList);
    EXPECT_EQ(ListsFor(Event(kEventTemperatureAbnormal), o), kInAlarmList | kInEventList);
    EXPECT_TRUE(IsAbnormalReading(kEventTemperatureAbnormal));
    EXPECT_FALSE(IsAbnormalReading(kEventTemperatureNormal));
    // Device alarms follow their option, starts and stops alike.
    EXPECT_EQ(ListsFor(Event(kEventMotionStart), o), kInEventList);
    o.motion = 0;
    EXPECT_EQ(ListsFor(Event(kEventMotionStart), o), 0);
    EXPECT_EQ(ListsFor(Event(kEventMotionStop), o), 0);
    EXPECT_EQ(ListsFor(Event(kEventInputStop), o), kInEventList);
    o.input = 0;
    o.other = 0;
    EXPECT_EQ(ListsFor(Event(kEventInputStart), o), 0);
    EXPECT_EQ(ListsFor(Event(kEventAudioStart), o), 0);
    // Readings are listed whatever the device alarm options say; other codes never.
    EXPECT_EQ(ListsFor(Event(kEventTemperatureNormal), o), kInEventList);
    EXPECT_EQ(ListsFor(Event(1), DefaultAlarmDialogOptions()), 0);
    EXPECT_EQ(ListsFor(Event(20), DefaultAlarmDialogOptions()), 0);
}

TEST(AlarmRowsTest, RowTextsAndStartCodes) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(AlarmTimeText(1594202405), "2020-07-08 10:00:05");
    EXPECT_EQ(AlarmTimeText(0), "1970-01-01 00:00:00");
    EXPECT_STREQ(AlarmEventName(kEventTemperatureAbnormal), "Temperature abnormal");
    EXPECT_STREQ(AlarmEventName(kEventInputStop), "Stop Input alarm");
    EXPECT_STREQ(AlarmEventName(99), "Unkown");
    EXPECT_STREQ(AlarmEventName(-1), "Unkown");
    EXPECT_EQ(DeviceAlarmTypeOfStart(kEventMotionStart), 0);
    EXPECT_EQ(DeviceAlarmTypeOfStart(kEventInputStart), 1);
    EXPECT_EQ(DeviceAlarmTypeOfStart(kEventAudioStart), 3);
    EXPECT_EQ(DeviceAlarmTypeOfStart(kEventMotionStop), -1);
    EXPECT_EQ(DeviceAlarmTypeOfStart(kEventTemperatureAbnormal), -1);
}

TEST(AlarmRowsTest, AListKeepsTheNewestFirstAndDropsTheOldestWhenFull) {
    AlarmRowList rows(3);
    for (uint32_t t = 1; t <= 3; ++t) EXPECT_FALSE(rows.Add(Event(kEventTemperatureNormal, 0, t)));
    EXPECT_TRUE(rows.Full());
    EXPECT_TRUE(rows.Add(Event(kEventTemperatureNormal, 0, 4)));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows.at(0).time, 4u);
    EXPECT_EQ(rows.at(2).time, 2u);
    rows.DropOldest();
    EXPECT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.at(1).time, 3u);
    rows.Clear();
    rows.DropOldest();  // on an empty list: nothing
    EXPECT_EQ(rows.size(), 0u);
    AlarmRowList one(0);  // a capacity of 0 still keeps the newest row
    one.Add(Event(kEventTemperatureNormal, 0, 1));
    one.Add(Event(kEventTemperatureNormal, 0, 2));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one.at(0).time, 2u);
}

TEST(AlarmPopupTest, PopsUpOnlyForALinkedArmedChannelWithTheOptionOn) {
    test::FakeDirectory dir;
    int dev = dir.AddDevice("cam01", 5000, 4);
    ChannelInfo& c = dir.Stored(dev).channels[1];
    const int id = ChannelIdOf(dev, 1);
    c.alarmMd = kLinkPopupVideo | kLinkMap;
    c.alarmInput = kLinkMap;
    c.alarmDiskFull = kLinkPopupVideo;  // the audio alarm's word
    dir.runtime.channel(id).armedNow.store(1);

    EXPECT_TRUE(PopupWanted(dir, id, 0, true));
    EXPECT_FALSE(PopupWanted(dir, id, 0, false));  // videoOption off
    EXPECT_FALSE(PopupWanted(dir, id, 1, true));   // input not linked to the popup
    EXPECT_TRUE(PopupWanted(dir, id, 3, true));
    EXPECT_FALSE(PopupWanted(dir, id, 100, true));
    EXPECT_FALSE(PopupWanted(dir, id, 5, true));
    EXPECT_FALSE(PopupWanted(dir, id, -1, true));
    EXPECT_FALSE(PopupWanted(dir, -1, 0, true));
    EXPECT_FALSE(PopupWanted(dir, kChannelIdCount, 0, true));
    EXPECT_FALSE(PopupWanted(dir, ChannelIdOf(dev + 1, 0), 0, true));  // an empty device slot
    dir.runtime.channel(id).armedNow.store(0);
    EXPECT_FALSE(PopupWanted(dir, id, 0, true));
}

}  // namespace
}  // namespace ocv
