// libFuzzer target: arbitrary bytes as the pages of a screening camera's temperature log. A
// 0xFF byte (never in the device's text) separates pages; each page is cut at the query's
// 4096-byte buffer. The same pages go through the three filters, which must split the readings
// between them exactly.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "device/temperature_log.h"

namespace {

constexpr size_t kPageBytes = 4096;

std::vector<std::string_view> Pages(const uint8_t* data, size_t size) {
    std::vector<std::string_view> pages;
    std::string_view all(reinterpret_cast<const char*>(data), size);
    for (size_t from = 0; from <= all.size();) {
        size_t cut = all.find('\xFF', from);
        size_t end = cut == std::string_view::npos ? all.size() : cut;
        pages.push_back(all.substr(from, std::min(kPageBytes, end - from)));
        if (cut == std::string_view::npos) break;
        from = cut + 1;
    }
    return pages;
}

// Reads the pages as the query loop does; returns the pages read before the end mark.
size_t ReadLog(const std::vector<std::string_view>& pages, int filter, std::vector<ocv::TemperatureRecord>* out) {
    ocv::TemperatureLogReader reader(filter);
    size_t read = 0;
    for (std::string_view page : pages) {
        int before = reader.RecordsRead();
        if (!reader.AddPage(page, out)) break;
        // A page holds at most one record of the sequence.
        if (reader.RecordsRead() - before > 1 || reader.RecordsRead() < before) __builtin_trap();
        ++read;
    }
    if (static_cast<size_t>(reader.RecordsRead()) > read) __builtin_trap();
    return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;
    std::vector<std::string_view> pages = Pages(data, size);
    std::vector<ocv::TemperatureRecord> all, normal, abnormal;
    size_t readAll = ReadLog(pages, ocv::kTemperatureAll, &all);
    size_t readNormal = ReadLog(pages, ocv::kTemperatureNormal, &normal);
    size_t readAbnormal = ReadLog(pages, ocv::kTemperatureAbnormal, &abnormal);
    if (readAll != readNormal || readAll != readAbnormal) __builtin_trap();
    if (all.size() != normal.size() + abnormal.size()) __builtin_trap();
    for (const ocv::TemperatureRecord& r : normal)
        if (r.code & 0x8000) __builtin_trap();
    for (const ocv::TemperatureRecord& r : abnormal)
        if (!(r.code & 0x8000)) __builtin_trap();
    return 0;
}
