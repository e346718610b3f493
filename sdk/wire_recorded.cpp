#include "sdk/wire_recorded.h"

#include <cstring>

#include "sdk/wire_format.h"

namespace ocv::wire {

namespace {

const char* Exact(size_t bytes, size_t want) { return bytes == want ? nullptr : "payload size wrong for its kind"; }

bool Terminated(const uint8_t* field, size_t bytes) { return std::memchr(field, 0, bytes) != nullptr; }

}  // namespace

int DaysInMonth(int32_t year, int32_t month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool ValidDateTime(const DateTime& t) {
    return t.year >= 1970 && t.year <= 2100 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= DaysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
           t.second >= 0 && t.second <= 59;
}

// Counting in 400-year eras that start on 1 March, so the leap day is the last day of a year.
int64_t DaysFromCivil(int32_t year, int32_t month, int32_t day) {
    int64_t y = int64_t(year) - (month <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yearOfEra = y - era * 400;
    int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int32_t* year, int32_t* month, int32_t* day) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t mp = (5 * dayOfYear + 2) / 153;
    *day = int32_t(dayOfYear - (153 * mp + 2) / 5 + 1);
    *month = int32_t(mp < 10 ? mp + 3 : mp - 9);
    *year = int32_t(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

void EncodeCondition(const SearchCondition& c, uint8_t out[kConditionBytes]) {
    const int32_t words[kConditionWords] = {c.channel,     c.recordType,   c.start.year, c.start.month, c.start.day,
                                            c.start.hour,  c.start.minute, c.start.second, c.end.year,  c.end.month,
                                            c.end.day,     c.end.hour,     c.end.minute, c.end.second};
    for (size_t i = 0; i < kConditionWords; ++i) PutU32(out + 4 * i, uint32_t(words[i]));
}

SearchCondition DecodeCondition(const uint8_t in[kConditionBytes]) {
    auto w = [in](size_t i) { return int32_t(GetU32(in + 4 * i)); };
    SearchCondition c;
    c.channel = w(0);
    c.recordType = w(1);
    c.start = DateTime{w(2), w(3), w(4), w(5), w(6), w(7)};
    c.end = DateTime{w(8), w(9), w(10), w(11), w(12), w(13)};
    return c;
}

const char* CheckCondition(const SearchCondition& c) {
    if (c.channel < 0 || c.channel > 63) return "channel out of range";
    if (c.recordType < 0 || c.recordType > 3) return "record type out of range";
    if (!ValidDateTime(c.start) || !ValidDateTime(c.end)) return "not a valid date and time";
    int64_t startDay = DaysFromCivil(c.start.year, c.start.month, c.start.day);
    int64_t endDay = DaysFromCivil(c.end.year, c.end.month, c.end.day);
    int64_t from = startDay * 86400 + c.start.SecondOfDay(), to = endDay * 86400 + c.end.SecondOfDay();
    if (from > to) return "start after end";
    if (endDay - startDay >= kMaxConditionDays) return "span too long";
    return nullptr;
}

void EncodeFileDescription(const FileDescription& d, uint8_t out[kFileDescriptionBytes]) {
    std::memset(out, 0, kFileDescriptionBytes);
    PutU32(out + 0, d.channel);
    PutU32(out + 8, d.fileNumber);
    PutU32(out + 12, d.recordType);
    PutU32(out + 16, d.durationSec);
    PutU32(out + 20, d.sizeKiB);
    const int32_t t[6] = {d.start.year, d.start.month, d.start.day, d.start.hour, d.start.minute, d.start.second};
    for (int i = 0; i < 6; ++i) PutU32(out + 24 + 4 * i, uint32_t(t[i]));
    size_t n = d.name.size() < kFileNameBytes ? d.name.size() : kFileNameBytes - 1;
    std::memcpy(out + kFileNameOffset, d.name.data(), n);
}

bool DecodeFileDescription(const uint8_t in[kFileDescriptionBytes], FileDescription* out) {
    FileDescription d;
    d.channel = GetU32(in);
    d.fileNumber = GetU32(in + 8);
    d.recordType = GetU32(in + 12);
    d.durationSec = GetU32(in + 16);
    d.sizeKiB = GetU32(in + 20);
    auto w = [in](size_t offset) { return int32_t(GetU32(in + offset)); };
    d.start = DateTime{w(24), w(28), w(32), w(36), w(40), w(44)};
    d.name = ReadFixedText(in + kFileNameOffset, kFileNameBytes);
    if (d.name.empty() || !ValidDateTime(d.start)) return false;
    if (out) *out = std::move(d);
    return true;
}

const char* ValidateRecordedPayload(uint16_t kind, const uint8_t* p, size_t bytes) {
    switch (kind) {
    case kFindFile:
    case kDownloadOpen: return Exact(bytes, kConditionBytes);
    case kFindFileReply: {
        if (bytes < kFindReplyFixedBytes) return "find reply too short";
        int32_t result = int32_t(GetU32(p));
        uint32_t count = GetU32(p + 4);
        if (count > kMaxFindResults) return "too many files in a find reply";
        if (result != kDeviceOk && count != 0) return "files in a refused find reply";
        if (bytes != kFindReplyFixedBytes + size_t(count) * kFileDescriptionBytes) return "find reply size disagrees";
        for (size_t i = 0; i < kDayMarkBytes; ++i) {
            if (p[8 + i] != '0' && p[8 + i] != '1') return "day mark not '0' or '1'";
        }
        for (uint32_t i = 0; i < count; ++i) {
            if (!DecodeFileDescription(p + kFindReplyFixedBytes + size_t(i) * kFileDescriptionBytes, nullptr))
                return "malformed file description";
        }
        return nullptr;
    }
    case kPlaybackOpen:
        if (bytes != kPlaybackOpenBytes) return "payload size wrong for its kind";
        return Terminated(p + 8, kFileNameBytes) ? nullptr : "file name not terminated";
    case kPlaybackOpenReply:
    case kDownloadOpenReply: return Exact(bytes, kOpenReplyBytes);
    case kPlaybackControl: return Exact(bytes, 8);
    case kPlaybackEnd:
    case kPlaybackSeeked:
    case kDownloadEnd: return Exact(bytes, 4);
    case kDownloadStart: return Exact(bytes, 0);
    default: return nullptr;
    }
}

}  // namespace ocv::wire
