// The layouts of the recorded-media messages: conditions, the 208-byte file description at
// its offsets, and the refusal of replies that do not match their layout.
#include <gtest/gtest.h>

#include <cstring>

#include "sdk/qvx_sdk.h"
#include "sdk/wire_format.h"
#include "sdk/wire_recorded.h"

namespace ocv::wire {
namespace {

SearchCondition Day(int y, int m, int d) {
    SearchCondition c;
    c.channel = 1;
    c.recordType = 2;
    c.start = DateTime{y, m, d, 0, 0, 0};
    c.end = DateTime{y, m, d, 23, 59, 59};
    return c;
}

TEST(RemoteWire, ConditionTravelsAsFourteenWordsInItsOrder) {
    SearchCondition c = Day(2025, 1, 31);
    uint8_t bytes[kConditionBytes];
    EncodeCondition(c, bytes);
    const int32_t want[14] = {1, 2, 2025, 1, 31, 0, 0, 0, 2025, 1, 31, 23, 59, 59};
    for (int i = 0; i < 14; ++i) EXPECT_EQ(int32_t(GetU32(bytes + 4 * i)), want[i]) << "word " << i;
    SearchCondition back = DecodeCondition(bytes);
    EXPECT_EQ(back.end.SecondOfDay(), 86399);
    EXPECT_EQ(back.start.day, 31);
    // The C structure of the interface is the same 56 bytes.
    QVX_FIND_COND api{1, 2, 2025, 1, 31, 0, 0, 0, 2025, 1, 31, 23, 59, 59};
    EXPECT_EQ(std::memcmp(&api, bytes, sizeof bytes), 0);
}

TEST(RemoteWire, ConditionChecksCalendarAndSpan) {
    EXPECT_EQ(CheckCondition(Day(2025, 1, 31)), nullptr);
    EXPECT_EQ(CheckCondition(Day(2024, 2, 29)), nullptr);  // leap day
    EXPECT_NE(CheckCondition(Day(2025, 2, 29)), nullptr);
    EXPECT_NE(CheckCondition(Day(2100, 2, 29)), nullptr);  // a century is no leap year
    EXPECT_NE(CheckCondition(Day(2025, 4, 31)), nullptr);
    EXPECT_NE(CheckCondition(Day(2025, 13, 1)), nullptr);
    SearchCondition c = Day(2025, 1, 1);
    c.end.second = 60;
    EXPECT_NE(CheckCondition(c), nullptr);
    c = Day(2025, 1, 1);
    c.recordType = 4;
    EXPECT_NE(CheckCondition(c), nullptr);
    c = Day(2025, 1, 1);
    c.channel = 64;
    EXPECT_NE(CheckCondition(c), nullptr);
    c = Day(2025, 1, 1);
    c.end = c.start;  // a single second is a span
    EXPECT_EQ(CheckCondition(c), nullptr);
    c.start.second = 1;
    EXPECT_NE(CheckCondition(c), nullptr) << "start after end";
    // 31 calendar days are allowed, 32 are not, across a year's end.
    c = Day(2024, 12, 15);
    c.end = DateTime{2025, 1, 14, 23, 59, 59};
    EXPECT_EQ(CheckCondition(c), nullptr);
    c.end.day = 15;
    EXPECT_NE(CheckCondition(c), nullptr);
}

TEST(RemoteWire, CivilDaysRoundTripOverTheWholeRange) {
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1), 11017);
    int64_t first = DaysFromCivil(1970, 1, 1), last = DaysFromCivil(2100, 12, 31);
    int32_t py = 1969, pm = 12, pd = 31;
    for (int64_t n = first; n <= last; ++n) {
        int32_t y, m, d;
        CivilFromDays(n, &y, &m, &d);
        ASSERT_EQ(DaysFromCivil(y, m, d), n);
        // Consecutive numbers are consecutive dates.
        bool next = (y == py && m == pm && d == pd + 1) || (y == py && m == pm + 1 && d == 1 && pd == DaysInMonth(py, pm)) ||
                    (y == py + 1 && m == 1 && d == 1 && pm == 12 && pd == 31);
        ASSERT_TRUE(next) << y << "-" << m << "-" << d;
        py = y, pm = m, pd = d;
    }
}

TEST(RemoteWire, FileDescriptionFieldsSitAtTheirOffsets) {
    FileDescription d;
    d.channel = 3;
    d.fileNumber = 0x11223344;
    d.recordType = 2;
    d.durationSec = 180;
    d.sizeKiB = 4500;
    d.start = DateTime{2025, 1, 31, 2, 47, 30};
    d.name = "CH04_20250131_024730_A.rec";
    uint8_t b[kFileDescriptionBytes];
    std::memset(b, 0xAA, sizeof b);
    EncodeFileDescription(d, b);
    EXPECT_EQ(GetU32(b + 0), 3u);
    EXPECT_EQ(GetU32(b + 4), 0u);
    EXPECT_EQ(GetU32(b + 8), 0x11223344u);
    EXPECT_EQ(GetU32(b + 12), 2u);
    EXPECT_EQ(GetU32(b + 16), 180u);
    EXPECT_EQ(GetU32(b + 20), 4500u);
    EXPECT_EQ(GetU32(b + 24), 2025u);
    EXPECT_EQ(GetU32(b + 28), 1u);
    EXPECT_EQ(GetU32(b + 32), 31u);
    EXPECT_EQ(GetU32(b + 36), 2u);
    EXPECT_EQ(GetU32(b + 40), 47u);
    EXPECT_EQ(GetU32(b + 44), 30u);
    EXPECT_STREQ(reinterpret_cast<const char*>(b + 48), "CH04_20250131_024730_A.rec");
    EXPECT_EQ(b[207], 0);  // the rest of the name field is zero, not left over
    FileDescription back;
    ASSERT_TRUE(DecodeFileDescription(b, &back));
    EXPECT_EQ(back.name, d.name);
    EXPECT_EQ(back.start.SecondOfDay(), d.start.SecondOfDay());
    QVX_FILE_DESC api;
    std::memcpy(&api, b, sizeof api);
    EXPECT_EQ(api.startMinute, 47u);

    // A name of 159 characters fits with its terminator; a longer one is cut to it.
    d.name = std::string(300, 'n');
    EncodeFileDescription(d, b);
    ASSERT_TRUE(DecodeFileDescription(b, &back));
    EXPECT_EQ(back.name.size(), kFileNameBytes - 1);
    // Unterminated, empty or with an impossible time, a description is refused.
    std::memset(b + kFileNameOffset, 'x', kFileNameBytes);
    EXPECT_FALSE(DecodeFileDescription(b, nullptr));
    d.name = "";
    EncodeFileDescription(d, b);
    EXPECT_FALSE(DecodeFileDescription(b, nullptr));
    d.name = "x";
    d.start.hour = 24;
    EncodeFileDescription(d, b);
    EXPECT_FALSE(DecodeFileDescription(b, nullptr));
}

std::vector<uint8_t> FindReply(int32_t result, uint32_t countWord, uint32_t carried, const char* marks = nullptr) {
    std::string m = marks ? marks : std::string(kDayMarkBytes, '0');
    PayloadWriter w;
    w.I32(result).U32(countWord).Bytes(m.data(), kDayMarkBytes);
    for (uint32_t i = 0; i < carried; ++i) {
        FileDescription d;
        d.start = DateTime{2025, 1, 31, 8, 0, 0};
        d.name = "CH01_20250131_080000_P.rec";
        uint8_t b[kFileDescriptionBytes];
        EncodeFileDescription(d, b);
        w.Bytes(b, sizeof b);
    }
    return w.bytes();
}

const char* Check(uint16_t kind, const std::vector<uint8_t>& payload) {
    auto message = BuildMessage(kind, 7, payload.data(), payload.size());
    MessageView view;
    ParseResult r = ParseMessage(message.data(), message.size(), &view);
    return r.status == ParseStatus::kComplete ? nullptr : (r.error ? r.error : "incomplete");
}

TEST(RemoteWire, FindRepliesThatBreakTheirLayoutAreRefused) {
    EXPECT_EQ(Check(kFindFileReply, FindReply(0, 0, 0)), nullptr);
    EXPECT_EQ(Check(kFindFileReply, FindReply(0, 3, 3)), nullptr);
    EXPECT_EQ(Check(kFindFileReply, FindReply(2, 0, 0)), nullptr);  // a refusal carries no files
    EXPECT_NE(Check(kFindFileReply, FindReply(2, 1, 1)), nullptr);
    EXPECT_NE(Check(kFindFileReply, FindReply(0, 4, 3)), nullptr);  // count above what is carried
    EXPECT_NE(Check(kFindFileReply, FindReply(0, 2, 3)), nullptr);
    EXPECT_NE(Check(kFindFileReply, FindReply(0, kMaxFindResults + 1, 0)), nullptr);
    auto shortReply = FindReply(0, 0, 0);
    shortReply.pop_back();
    EXPECT_NE(Check(kFindFileReply, shortReply), nullptr);
    std::string marks(kDayMarkBytes, '0');
    marks[31] = '1';
    EXPECT_EQ(Check(kFindFileReply, FindReply(0, 0, 0, marks.c_str())), nullptr);
    marks[5] = 'Y';
    EXPECT_NE(Check(kFindFileReply, FindReply(0, 0, 0, marks.c_str())), nullptr);
    auto badName = FindReply(0, 2, 2);
    std::memset(badName.data() + kFindReplyFixedBytes + kFileDescriptionBytes + kFileNameOffset, 'x', kFileNameBytes);
    EXPECT_NE(Check(kFindFileReply, badName), nullptr);
    // The largest reply fits a message.
    EXPECT_LE(kFindReplyFixedBytes + kMaxFindResults * kFileDescriptionBytes, kMaxPayloadBytes);
}

TEST(RemoteWire, PlaybackAndDownloadMessagesHaveExactSizes) {
    std::vector<uint8_t> open(kPlaybackOpenBytes, 0);
    std::memcpy(open.data() + 8, "CH01_20250131_080000_P.rec", 26);
    EXPECT_EQ(Check(kPlaybackOpen, open), nullptr);
    std::vector<uint8_t> unterminated = open;
    std::memset(unterminated.data() + 8, 'z', kFileNameBytes);
    EXPECT_NE(Check(kPlaybackOpen, unterminated), nullptr);
    open.push_back(0);
    EXPECT_NE(Check(kPlaybackOpen, open), nullptr);
    EXPECT_EQ(Check(kPlaybackOpenReply, std::vector<uint8_t>(12)), nullptr);
    EXPECT_NE(Check(kPlaybackOpenReply, std::vector<uint8_t>(8)), nullptr);
    EXPECT_EQ(Check(kDownloadOpenReply, std::vector<uint8_t>(12)), nullptr);
    EXPECT_EQ(Check(kPlaybackControl, std::vector<uint8_t>(8)), nullptr);
    EXPECT_NE(Check(kPlaybackControl, std::vector<uint8_t>(12)), nullptr);
    EXPECT_EQ(Check(kPlaybackEnd, std::vector<uint8_t>(4)), nullptr);
    EXPECT_EQ(Check(kPlaybackSeeked, std::vector<uint8_t>(4)), nullptr);
    EXPECT_EQ(Check(kDownloadEnd, std::vector<uint8_t>(4)), nullptr);
    EXPECT_EQ(Check(kDownloadStart, {}), nullptr);
    EXPECT_NE(Check(kDownloadStart, std::vector<uint8_t>(1)), nullptr);
    EXPECT_EQ(Check(kFindFile, std::vector<uint8_t>(kConditionBytes)), nullptr);
    EXPECT_NE(Check(kDownloadOpen, std::vector<uint8_t>(kConditionBytes - 4)), nullptr);
}

}  // namespace
}  // namespace ocv::wire
