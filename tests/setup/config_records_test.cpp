// The remote configuration page's records and checks: byte layouts, the picture size names and
// the ranges the page refuses before anything is written.
#include <gtest/gtest.h>

#include <cstring>

#include "setup/config_records.h"

namespace ocv {
namespace {

TEST(ConfigRecords, FieldsSitAtTheirOffsetsLittleEndianAndTheRestTravelsUnchanged) {
    ConfigRecord q(QVX_CMD_QUALITY);
    ASSERT_EQ(q.size(), 56u);
    q.data()[55] = 0xAB;  // a byte the page does not know
    q.SetWord(cfg::kQualityBitRate, 0x01020304);
    q.SetWord(cfg::kQualityWidth, 640);
    EXPECT_EQ(q.data()[16], 0x04);
    EXPECT_EQ(q.data()[19], 0x01);
    EXPECT_EQ(q.Word(cfg::kQualityWidth), 640u);
    EXPECT_EQ(q.data()[55], 0xAB);
    // Offsets beyond the record are neither read nor written.
    q.SetWord(54, 0xFFFFFFFF);
    EXPECT_EQ(q.Word(54), 0u);
    EXPECT_EQ(q.data()[55], 0xAB);
}

TEST(ConfigRecords, TextFieldsAreCutInsideTheirFieldAndReadOnlyUpToIt) {
    ConfigRecord n(QVX_CMD_NETWORK);
    ASSERT_EQ(n.size(), 276u);
    n.SetText(cfg::kNetGateway, cfg::kNetTextBytes, std::string(40, 'g'));
    EXPECT_EQ(n.Text(cfg::kNetGateway, cfg::kNetTextBytes), std::string(31, 'g'));
    EXPECT_EQ(n.data()[cfg::kNetGateway + 31], 0);
    EXPECT_EQ(n.data()[cfg::kNetMac], 0);  // the next field is untouched
    // A field whose terminator is missing is read to its end, not beyond.
    std::memset(n.data() + cfg::kNetDns2, 'd', 32);
    std::memset(n.data() + cfg::kNetDns2 + 32, 'x', 4);
    EXPECT_EQ(n.Text(cfg::kNetDns2, cfg::kNetTextBytes), std::string(32, 'd'));
}

TEST(ConfigRecords, UnknownCommandGivesAnEmptyRecord) {
    ConfigRecord r(0x9999);
    EXPECT_TRUE(r.empty());
    r.SetWord(0, 1);
    EXPECT_EQ(r.Word(0), 0u);
}

TEST(ConfigRecords, PictureSizesAreNamedByTheTable) {
    EXPECT_STREQ(PictureSizeName(640, 352), "Q720");
    EXPECT_STREQ(PictureSizeName(640, 360), "VGA");
    EXPECT_STREQ(PictureSizeName(640, 480), "VGA");
    EXPECT_STREQ(PictureSizeName(1920, 1072), "1080P");
    EXPECT_STREQ(PictureSizeName(1920, 1080), "1080P");
    EXPECT_STREQ(PictureSizeName(176, 112), "QCIF");
    EXPECT_STREQ(PictureSizeName(320, 180), "QQ720");
    EXPECT_STREQ(PictureSizeName(224, 144), "QQ960H");
    EXPECT_STREQ(PictureSizeName(352, 640), "");
    EXPECT_STREQ(PictureSizeName(0, 0), "");
}

TEST(ConfigRecords, QualityPageRefusesIFrameAndBitRateOutsideTheirRanges) {
    EXPECT_STREQ(CheckQualityInput("0", "2048"), "Invalid I frame interval!");
    EXPECT_STREQ(CheckQualityInput("301", "2048"), "Invalid I frame interval!");
    EXPECT_EQ(CheckQualityInput("1", "2048"), nullptr);
    EXPECT_EQ(CheckQualityInput("300", "2048"), nullptr);
    EXPECT_STREQ(CheckQualityInput("50", "31"), "Invalid bit rate (32-10000)!");
    EXPECT_STREQ(CheckQualityInput("50", "10001"), "Invalid bit rate (32-10000)!");
    EXPECT_EQ(CheckQualityInput("50", "32"), nullptr);
    EXPECT_EQ(CheckQualityInput("50", "10000"), nullptr);
    // The I-frame check comes first; text that is no number is out of range.
    EXPECT_STREQ(CheckQualityInput("", "5"), "Invalid I frame interval!");
    EXPECT_STREQ(CheckQualityInput("50", "2k"), "Invalid bit rate (32-10000)!");
    EXPECT_STREQ(CheckQualityInput("-5", "2048"), "Invalid I frame interval!");
}

TEST(ConfigRecords, PtzAddressAndDevicePortRanges) {
    EXPECT_EQ(CheckPtzAddress("0"), nullptr);
    EXPECT_EQ(CheckPtzAddress("255"), nullptr);
    EXPECT_STREQ(CheckPtzAddress("256"), "Invalid IP Address(0~255)!");
    EXPECT_STREQ(CheckPtzAddress(""), "Invalid IP Address(0~255)!");
    EXPECT_STREQ(CheckDevicePort("79"), "Invalid Port (80-65535)!");
    EXPECT_EQ(CheckDevicePort("80"), nullptr);
    EXPECT_EQ(CheckDevicePort(" 65535 "), nullptr);
    EXPECT_STREQ(CheckDevicePort("65536"), "Invalid Port (80-65535)!");
    EXPECT_STREQ(CheckDevicePort("99999999999"), "Invalid Port (80-65535)!");
    EXPECT_STREQ(CheckDevicePort("8080x"), "Invalid Port (80-65535)!");
}

TEST(ConfigRecords, ClockRecordAndItsText) {
    ConfigRecord c = ClockRecordOf(2026, 3, 7, 9, 5, 4);
    ASSERT_EQ(c.size(), 60u);
    EXPECT_EQ(ClockText(c), "2026-03-07 09:05:04");
    for (uint32_t at = 24; at < 60; at += 4) EXPECT_EQ(c.Word(at), 0u);
}

TEST(ConfigRecords, PtzChoicesMapToRecordValues) {
    EXPECT_EQ(IndexOfValue(kBaudRates, 9, 9600), 3);
    EXPECT_EQ(IndexOfValue(kBaudRates, 9, 115200), 8);
    EXPECT_EQ(IndexOfValue(kBaudRates, 9, 14400), -1);
    EXPECT_STREQ(kStopBitTexts[IndexOfValue(kStopBitValues, 3, 3)], "1.5");
}

}  // namespace
}  // namespace ocv
