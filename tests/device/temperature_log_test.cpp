// The temperature log pages of a screening camera, read by the same reader the device service
// uses for its queries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/temperature_log.h"

namespace ocv {
namespace {

std::vector<TemperatureRecord> ReadPages(int filter, const std::vector<std::string>& pages, size_t* pagesRead = nullptr) {
    TemperatureLogReader reader(filter);
    std::vector<TemperatureRecord> out;
    size_t n = 0;
    for (const std::string& page : pages) {
        ++n;
        if (!reader.AddPage(page, &out)) break;
    }
    if (pagesRead) *pagesRead = n;
    return out;
}

TEST(TemperatureLog, NormalReadingIsKeptByAllAndNormalFiltersOnly) {
    const std::vector<std::string> pages = {"lsa[0]=1600000000|13650;"};
    for (int filter : {kTemperatureAll, kTemperatureNormal}) {
        auto got = ReadPages(filter, pages);
        ASSERT_EQ(got.size(), 1u) << filter;
        EXPECT_EQ(got[0].time, 1600000000);
        EXPECT_EQ(got[0].code, 13650);
        EXPECT_EQ(got[0].code & 0x8000, 0);
    }
    EXPECT_TRUE(ReadPages(kTemperatureAbnormal, pages).empty());
}

TEST(TemperatureLog, BitFifteenMarksAnAbnormalReading) {
    const std::vector<std::string> pages = {"lsa[0]=1600000000|" + std::to_string(32768 + 3810) + ";",
                                            "lsa[1]=1600000060|3650;"};
    auto abnormal = ReadPages(kTemperatureAbnormal, pages);
    ASSERT_EQ(abnormal.size(), 1u);
    EXPECT_EQ(abnormal[0].code & 0x7FFF, 3810);
    EXPECT_EQ(abnormal[0].time, 1600000000);
    auto normal = ReadPages(kTemperatureNormal, pages);
    ASSERT_EQ(normal.size(), 1u);
    EXPECT_EQ(normal[0].time, 1600000060);
    EXPECT_EQ(ReadPages(kTemperatureAll, pages).size(), 2u);
}

TEST(TemperatureLog, EndMarkEndsTheLogEvenOnAPageWithRecords) {
    size_t pagesRead = 0;
    auto got = ReadPages(kTemperatureAll,
                         {"var lsa=new Array();", "lsa[0]=1|3650;", "lsa[1]=2|3651; var endflg=1;", "lsa[2]=3|3652;"},
                         &pagesRead);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].time, 1);
    EXPECT_EQ(pagesRead, 3u);  // the page after the end mark is never asked for
}

TEST(TemperatureLog, PageWithoutTheExpectedKeyIsSkippedAndTheIndexKept) {
    TemperatureLogReader reader(kTemperatureAll);
    std::vector<TemperatureRecord> out;
    EXPECT_TRUE(reader.AddPage("lsa[1]=5|3700;", &out));  // out of order: not the key looked for
    EXPECT_TRUE(reader.AddPage("garbage", &out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(reader.RecordsRead(), 0);
    EXPECT_TRUE(reader.AddPage("lsa[0]=4|3600;", &out));
    EXPECT_TRUE(reader.AddPage("lsa[1]=5|3700;", &out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].time, 5);
    EXPECT_EQ(reader.RecordsRead(), 2);
    // The index counts records the filter drops too.
    TemperatureLogReader abnormalOnly(kTemperatureAbnormal);
    std::vector<TemperatureRecord> none;
    EXPECT_TRUE(abnormalOnly.AddPage("lsa[0]=4|3600;", &none));
    EXPECT_TRUE(abnormalOnly.AddPage("lsa[1]=5|36418;", &none));
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].time, 5);
}

TEST(TemperatureLog, ValueEndsAtSemicolonElseBlankElsePageEndAndLosesItsQuotes) {
    auto got = ReadPages(kTemperatureAll, {"x lsa[0]=\"10|3650\";tail", "lsa[1]=11|3651 9|9",
                                           "lsa[2]=12|3652", "lsa[3]=\"", "lsa[4]=13|3653|7|8|9;"});
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].time, 10);
    EXPECT_EQ(got[0].code, 3650);
    EXPECT_EQ(got[1].time, 11);
    EXPECT_EQ(got[1].code, 3651);  // without a semicolon the blank ends the value
    EXPECT_EQ(got[2].time, 12);
    EXPECT_EQ(got[2].code, 3652);
    EXPECT_EQ(got[3].time, 0);  // a lone quote leaves nothing
    EXPECT_EQ(got[3].code, 0);
    EXPECT_EQ(got[4].code, 3653);
}

TEST(TemperatureLog, FieldsThatAreNotNumbersReadAsZeroAndLongFieldsAreCut) {
    std::string longTime = "1234" + std::string(120, '5');  // cut to 99 characters, still digits
    auto got = ReadPages(kTemperatureAll, {"lsa[0]=abc|x36;", "lsa[1]=;", "lsa[2]=" + longTime + "|3650;",
                                           std::string("lsa[3]=7|3650\0lsa[4]=8|1;", 25)});
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].time, 0);
    EXPECT_EQ(got[0].code, 0);
    EXPECT_EQ(got[1].time, 0);
    EXPECT_EQ(got[2].code, 3650);
    EXPECT_EQ(got[3].time, 7);  // text after a NUL is not part of the page
}

}  // namespace
}  // namespace ocv
