#include "device/temperature_log.h"

#include <cstdlib>
#include <string>

namespace ocv {
namespace {

constexpr size_t kMaxFieldChars = 99;
constexpr size_t kUsedFields = 14;

// A field as a decimal integer; text that is not a number reads as 0.
int32_t FieldValue(const std::string& field) {
    return static_cast<int32_t>(std::strtol(field.c_str(), nullptr, 10));
}

}  // namespace

bool TemperatureLogReader::AddPage(std::string_view page, std::vector<TemperatureRecord>* out) {
    size_t nul = page.find('\0');
    if (nul != std::string_view::npos) page = page.substr(0, nul);
    if (page.find("var endflg=") != std::string_view::npos) return false;
    std::string key = "lsa[" + std::to_string(index_) + "]=";
    size_t at = page.find(key);
    if (at == std::string_view::npos) return true;  // not this page; the same key is looked for next

    std::string_view value = page.substr(at + key.size());
    size_t stop = value.find(';');
    if (stop == std::string_view::npos) stop = value.find(' ');
    if (stop != std::string_view::npos) value = value.substr(0, stop);
    if (!value.empty() && value.front() == '"') value = value.size() >= 2 ? value.substr(1, value.size() - 2) : "";

    std::vector<std::string> fields;
    for (size_t from = 0; fields.size() < kUsedFields;) {
        size_t bar = value.find('|', from);
        size_t end = bar == std::string_view::npos ? value.size() : bar;
        fields.emplace_back(value.substr(from, std::min(kMaxFieldChars, end - from)));
        if (bar == std::string_view::npos) break;
        from = bar + 1;
    }
    ++index_;
    TemperatureRecord r{};
    r.time = fields.size() > 0 ? FieldValue(fields[0]) : 0;
    r.code = fields.size() > 1 ? FieldValue(fields[1]) : 0;
    bool abnormal = (r.code & 0x8000) != 0;
    if (filter_ == kTemperatureAll || (filter_ == kTemperatureNormal && !abnormal) ||
        (filter_ == kTemperatureAbnormal && abnormal))
        out->push_back(r);
    return true;
}

}  // namespace ocv
