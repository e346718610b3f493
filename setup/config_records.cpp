#include "setup/config_records.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "store/text_field.h"

namespace ocv {

ConfigRecord::ConfigRecord(uint32_t command) : command_(command) {
    int32_t size = QVX_SDK_ConfigSize(command);
    bytes_.assign(size > 0 ? size_t(size) : 0, 0);
}

uint32_t ConfigRecord::Word(uint32_t offset) const {
    if (offset > bytes_.size() || bytes_.size() - offset < 4) return 0;
    const uint8_t* p = bytes_.data() + offset;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void ConfigRecord::SetWord(uint32_t offset, uint32_t value) {
    if (offset > bytes_.size() || bytes_.size() - offset < 4) return;
    uint8_t* p = bytes_.data() + offset;
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

std::string ConfigRecord::Text(uint32_t offset, uint32_t fieldBytes) const {
    if (offset > bytes_.size() || bytes_.size() - offset < fieldBytes) return {};
    const char* p = reinterpret_cast<const char*>(bytes_.data() + offset);
    return std::string(p, strnlen(p, fieldBytes));
}

void ConfigRecord::SetText(uint32_t offset, uint32_t fieldBytes, std::string_view text) {
    if (fieldBytes == 0 || offset > bytes_.size() || bytes_.size() - offset < fieldBytes) return;
    CopyText(reinterpret_cast<char*>(bytes_.data() + offset), fieldBytes, text);
}

ConfigRecord DefaultColorRecord() {
    ConfigRecord r(QVX_CMD_COLOR);
    for (uint32_t offset : {cfg::kColorBrightness, cfg::kColorSaturation, cfg::kColorContrast, cfg::kColorHue})
        r.SetWord(offset, 128);
    return r;
}

const char* PictureSizeName(int width, int height) {
    struct Size {
        int w, h;
        const char* name;
    };
    static const Size kSizes[] = {
        {640, 480, "VGA"},    {640, 360, "VGA"},     {320, 240, "QVGA"},   {160, 120, "QQVGA"}, {160, 112, "QQVGA"},
        {704, 576, "D1"},     {704, 480, "D1"},      {352, 288, "CIF"},    {352, 240, "CIF"},   {176, 144, "QCIF"},
        {176, 120, "QCIF"},   {176, 112, "QCIF"},    {1280, 720, "720P"},  {640, 352, "Q720"},  {320, 176, "QQ720"},
        {320, 180, "QQ720"},  {1600, 1200, "UXQA"},  {928, 576, "960H"},   {464, 288, "Q960H"}, {224, 144, "QQ960H"},
        {1920, 1072, "1080P"}, {1920, 1080, "1080P"}, {1280, 960, "960P"},
    };
    for (const Size& s : kSizes)
        if (s.w == width && s.h == height) return s.name;
    return "";
}

bool ParseDecimal(std::string_view text, int* value) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    if (b == e) return false;
    int64_t v = 0;
    for (size_t i = b; i < e; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
        if (v > INT32_MAX) return false;
    }
    *value = static_cast<int>(v);
    return true;
}

namespace {
bool InRange(std::string_view text, int low, int high) {
    int v = 0;
    return ParseDecimal(text, &v) && v >= low && v <= high;
}
}  // namespace

const char* CheckQualityInput(std::string_view iFrameText, std::string_view bitRateText) {
    if (!InRange(iFrameText, 1, 300)) return "Invalid I frame interval!";
    if (!InRange(bitRateText, 32, 10000)) return "Invalid bit rate (32-10000)!";
    return nullptr;
}

const char* CheckPtzAddress(std::string_view text) {
    return InRange(text, 0, 255) ? nullptr : "Invalid IP Address(0~255)!";
}

const char* CheckDevicePort(std::string_view text) {
    return InRange(text, 80, 65535) ? nullptr : "Invalid Port (80-65535)!";
}

std::string ClockText(const ConfigRecord& clock) {
    char text[64];
    std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", int(clock.Word(0)), int(clock.Word(4)),
                  int(clock.Word(8)), int(clock.Word(12)), int(clock.Word(16)), int(clock.Word(20)));
    return text;
}

ConfigRecord ClockRecordOf(int year, int month, int day, int hour, int minute, int second) {
    ConfigRecord r(QVX_CMD_CLOCK);
    const int words[6] = {year, month, day, hour, minute, second};
    for (uint32_t i = 0; i < 6; ++i) r.SetWord(cfg::kClockYear + i * 4, uint32_t(words[i]));
    return r;
}

int IndexOfValue(const int* table, int count, int value) {
    for (int i = 0; i < count; ++i)
        if (table[i] == value) return i;
    return -1;
}

}  // namespace ocv
