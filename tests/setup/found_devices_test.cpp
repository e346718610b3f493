// The search window's rules: the list (order by address text, each id once), the modes and
// their protocols, the progress, and the network settings sent for a found device.
#include <gtest/gtest.h>

#include <cstring>

#include "setup/found_devices.h"

namespace ocv {
namespace {

QVX_FOUND_DEVICE Found(const char* address, const char* id) {
    QVX_FOUND_DEVICE f;
    std::memset(&f, 0, sizeof f);
    std::strncpy(f.address, address, sizeof f.address - 1);
    std::strncpy(f.deviceId, id, sizeof f.deviceId - 1);
    return f;
}

std::vector<std::string> Addresses(const FoundDeviceList& list) {
    std::vector<std::string> out;
    for (const auto& r : list.records()) out.push_back(FoundText(r.address));
    return out;
}

TEST(FoundDevices, AddressesAreOrderedAsTextSo20ComesBefore3) {
    FoundDeviceList list;
    int row = -1;
    ASSERT_TRUE(list.Insert(Found("192.168.1.3", "a"), &row));
    EXPECT_EQ(row, 0);
    ASSERT_TRUE(list.Insert(Found("192.168.1.20", "b"), &row));
    EXPECT_EQ(row, 0);
    ASSERT_TRUE(list.Insert(Found("10.0.0.1", "c")));
    ASSERT_TRUE(list.Insert(Found("192.168.1.200", "d")));
    // Equal addresses (two devices behind one address) keep their arrival order.
    ASSERT_TRUE(list.Insert(Found("192.168.1.3", "e"), &row));
    EXPECT_EQ(row, 4);
    EXPECT_EQ(Addresses(list),
              (std::vector<std::string>{"10.0.0.1", "192.168.1.20", "192.168.1.200", "192.168.1.3", "192.168.1.3"}));
    EXPECT_EQ(FoundText(list.records()[4].deviceId), "e");
}

TEST(FoundDevices, TheFirstReportOfADeviceWins) {
    FoundDeviceList list;
    ASSERT_TRUE(list.Insert(Found("127.0.0.1", "SIM-1")));
    EXPECT_FALSE(list.Insert(Found("127.0.0.9", "SIM-1")));
    EXPECT_EQ(list.size(), 1);
    EXPECT_EQ(FoundText(list.records()[0].address), "127.0.0.1");
}

TEST(FoundDevices, DeviceIdsMustHaveOneTo36Characters) {
    FoundDeviceList list;
    EXPECT_FALSE(list.Insert(Found("127.0.0.1", "")));
    EXPECT_TRUE(list.Insert(Found("127.0.0.1", std::string(36, 'x').c_str())));
    EXPECT_FALSE(list.Insert(Found("127.0.0.2", std::string(37, 'y').c_str())));
    // Fields without their terminator are read to the field's end and stored terminated.
    QVX_FOUND_DEVICE raw = Found("", "z");
    std::memset(raw.address, '7', sizeof raw.address);
    EXPECT_TRUE(list.Insert(raw));
    EXPECT_EQ(FoundText(list.records()[1].address), std::string(31, '7'));
}

TEST(FoundDevices, ModesOfferTheirProtocols) {
    auto zero = SearchModeEntries(kSearchModeDefault);
    ASSERT_EQ(zero.size(), 2u);
    EXPECT_STREQ(zero[1].text, "MDR/NAS");
    EXPECT_EQ(SearchProtocolOf(0, zero, 1), 5);
    EXPECT_EQ(SearchProtocolOf(0, zero, 0), 0);
    auto all = SearchModeEntries(kSearchModeAll);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(SearchProtocolOf(255, all, 1), 12);
    EXPECT_EQ(SearchProtocolOf(255, all, 4), 6);
    for (int mode : {3, 4, 5, 6}) EXPECT_FALSE(SearchModeShowsCombo(mode));
    EXPECT_TRUE(SearchModeShowsCombo(kSearchModeOnvif));
    EXPECT_EQ(SearchProtocolOf(4, {}, -1), 4);
    EXPECT_EQ(SearchProtocolOf(6, zero, 1), 6);
    EXPECT_EQ(SearchProtocolOf(3, {}, -1), 0);
    EXPECT_TRUE(SearchModeEntries(kSearchModeOnvif).empty());
    EXPECT_EQ(SearchProtocolOf(kSearchModeOnvif, {}, -1), QVX_SCH_PROTOCOL_ONVIF);
    EXPECT_FALSE(SettingsOfferedFor(12));
    EXPECT_FALSE(SettingsOfferedFor(9));
    EXPECT_TRUE(SettingsOfferedFor(5));
}

TEST(FoundDevices, ProgressReaches100AndHandsTheControlsBackAfter51Ticks) {
    SearchProgress p;
    int handedBack = 0;
    for (int i = 1; i <= 50; ++i) handedBack += p.Tick();
    EXPECT_EQ(p.value(), 100);
    EXPECT_FALSE(p.done());
    EXPECT_EQ(handedBack, 0);
    EXPECT_TRUE(p.Tick());
    EXPECT_TRUE(p.done());
    EXPECT_FALSE(p.Tick());  // once
    EXPECT_EQ(p.value(), 100);
    p.Reset();
    EXPECT_EQ(p.value(), 0);
}

TEST(FoundDevices, EmptyAddressesAreSentAsZerosAndABadPortSendsNothing) {
    QVX_FOUND_DEVICE r = Found("127.0.0.2", "SIM");
    std::strcpy(r.gateway, "127.0.0.254");
    r.port = 37002;
    NetworkEdits e{"127.0.0.2", "37100", "255.0.0.0", "", "8.8.8.8", ""};
    ASSERT_EQ(ApplyNetworkEdits(e, &r), nullptr);
    EXPECT_EQ(FoundText(r.gateway), "0.0.0.0");
    EXPECT_EQ(FoundText(r.dns2), "0.0.0.0");
    EXPECT_EQ(FoundText(r.mask), "255.0.0.0");
    EXPECT_EQ(r.port, 37100u);
    QVX_FOUND_DEVICE before = r;
    e.port = "79";
    e.gateway = "1.2.3.4";
    EXPECT_STREQ(ApplyNetworkEdits(e, &r), "Invalid Port (80-65535)!");
    EXPECT_EQ(std::memcmp(&before, &r, sizeof r), 0);
    e.port = "65536";
    EXPECT_STREQ(ApplyNetworkEdits(e, &r), "Invalid Port (80-65535)!");
    e.port = "80";
    e.mask = std::string(20, '1');  // no room in its 16-byte field
    EXPECT_NE(ApplyNetworkEdits(e, &r), nullptr);
    EXPECT_EQ(std::memcmp(&before, &r, sizeof r), 0);
}

TEST(FoundDevices, SearchTargetsAreAnAddressWithAnOptionalPort) {
    std::string a;
    uint16_t p = 9;
    EXPECT_TRUE(ParseSearchTarget(" 127.0.0.1 ", &a, &p));
    EXPECT_EQ(a, "127.0.0.1");
    EXPECT_EQ(p, 0);
    EXPECT_TRUE(ParseSearchTarget("10.1.2.3:37020", &a, &p));
    EXPECT_EQ(p, 37020);
    EXPECT_FALSE(ParseSearchTarget("10.1.2.3:0", &a, &p));
    EXPECT_FALSE(ParseSearchTarget("10.1.2.3:70000", &a, &p));
    EXPECT_FALSE(ParseSearchTarget("camera.local", &a, &p));
    EXPECT_FALSE(ParseSearchTarget("", &a, &p));
    EXPECT_FALSE(ParseSearchTarget("1.2.3.4:", &a, &p));
}

}  // namespace
}  // namespace ocv
