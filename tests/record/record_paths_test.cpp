#include "record/record_paths.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace ocv {
namespace {

// A channel folder must hold the whole "-port-channel" suffix, or channels of one device with a
// long host share a folder and their writers destroy each other's files.
TEST(ChannelFolderNameTest, LongHostsAreCutButEveryChannelKeepsItsOwnFolder) {
    const std::string host24(24, 'a');
    const std::string host25(25, 'b');
    const std::string host31(31, 'c');  // the longest HOST a device record holds
    for (const std::string& host : {host24, host25, host31}) {
        for (int port : {80, 5000, 65535}) {
            std::set<std::string> names;
            for (int channel = 1; channel <= 64; ++channel) {
                std::string name = ChannelFolderName(host.c_str(), port, channel);
                std::string suffix = "-" + std::to_string(port) + "-" + std::to_string(channel);
                ASSERT_LE(name.size(), sizeof(RecordStartInfo::folder) - 1) << name;
                ASSERT_GE(name.size(), suffix.size());
                EXPECT_EQ(name.substr(name.size() - suffix.size()), suffix) << name;
                // Whatever is left of the host is its beginning.
                EXPECT_EQ(host.compare(0, name.size() - suffix.size(), name, 0,
                                       name.size() - suffix.size()), 0) << name;
                names.insert(name);
            }
            EXPECT_EQ(names.size(), 64u) << host.size() << " " << port;
        }
    }
    // The case that was found: 24 characters, port 5000, channels 1 and 10.
    EXPECT_NE(ChannelFolderName(host24.c_str(), 5000, 1), ChannelFolderName(host24.c_str(), 5000, 10));
    EXPECT_EQ(ChannelFolderName(host24.c_str(), 5000, 10), std::string(23, 'a') + "-5000-10");
}

TEST(ChannelFolderNameTest, ShortHostsAreKeptWholeAndSeparatorsNeverReachThePath) {
    EXPECT_EQ(ChannelFolderName("cam01", 5000, 1), "cam01-5000-1");
    EXPECT_EQ(ChannelFolderName("10.0.0.12", 37777, 64), "10.0.0.12-37777-64");
    EXPECT_EQ(ChannelFolderName("../etc\\x", 80, 2), ".._etc_x-80-2");
    EXPECT_EQ(ChannelFolderName(nullptr, 80, 2), "-80-2");
}

TEST(DayFolderNameTest, OnlyTheRecordersOwnDayNamesCount) {
    EXPECT_EQ(DayFolderName(2020, 7, 8), "2020_07_08");
    EXPECT_TRUE(IsDayFolderName("2020_07_08"));
    EXPECT_TRUE(IsDayFolderName("1999_12_31"));
    for (const char* name : {"1999", "0notes.txt", ".DS_Store", "2020_07_8", "2020-07-08",
                             "2020_07_08x", "2020_0a_08", "backup", "", "2020_07_08/"})
        EXPECT_FALSE(IsDayFolderName(name)) << name;
}

TEST(RecordFileNameTest, NamesParseBackToTheirKindAndTime) {
    RecordStartInfo info{};
    info.year = 2020;
    info.month = 7;
    info.day = 8;
    info.hour = 23;
    info.minute = 59;
    info.second = 59;
    for (uint32_t type : {1u, 2u, 3u}) {
        info.recordType = type;
        std::string name = RecordFileName(info);
        RecordStartInfo back{};
        ASSERT_TRUE(ParseRecordFileName(name, &back)) << name;
        EXPECT_EQ(back.year, 2020u);
        EXPECT_EQ(back.month, 7u);
        EXPECT_EQ(back.day, 8u);
        EXPECT_EQ(back.hour, 23u);
        EXPECT_EQ(back.minute, 59u);
        EXPECT_EQ(back.second, 59u);
        EXPECT_EQ(back.recordType, type);
        EXPECT_EQ(RecordFileName(back), name);
    }
    RecordStartInfo out{};
    for (const char* bad : {"XREC200708_101500.qvx", "PREC200708_101500.qvxx", "PREC200708-101500.qvx",
                            "PREC200708_106000.qvx", "PREC201308_101500.qvx", "PREC200708_241500.qvx",
                            "PREC20070_101500.qvx", "images.fi", ""})
        EXPECT_FALSE(ParseRecordFileName(bad, &out)) << bad;
}

TEST(RecordFileNameTest, NextSecondCarriesAndStopsAtTheEndOfTheDay) {
    RecordStartInfo info{};
    info.year = 2020;
    info.month = 7;
    info.day = 8;
    info.hour = 1;
    info.minute = 59;
    info.second = 59;
    ASSERT_TRUE(NextSecondOfDay(&info));
    EXPECT_EQ(info.hour, 2u);
    EXPECT_EQ(info.minute, 0u);
    EXPECT_EQ(info.second, 0u);
    info.hour = 23;
    info.minute = 59;
    info.second = 59;
    EXPECT_FALSE(NextSecondOfDay(&info));
    EXPECT_EQ(info.hour, 23u);
    EXPECT_EQ(info.second, 59u);
}

}  // namespace
}  // namespace ocv
