#pragma once
// The temperature log of a body-temperature screening camera as its query returns it, one page
// at a time: "lsa[i]=<time>|<reading code>|..." records, ended by a page holding "var endflg=".
// Pure text handling, so the rules are tested without a device.
#include <cstdint>
#include <string_view>
#include <vector>

namespace ocv {

struct TemperatureRecord {
    int32_t code;  // low 15 bits hundredths of a degree, bit 15 abnormal
    int32_t time;  // seconds since 1970
};

// Which readings a query keeps.
enum TemperatureFilter : int { kTemperatureAll = 0, kTemperatureNormal = 1, kTemperatureAbnormal = 2 };

class TemperatureLogReader {
public:
    explicit TemperatureLogReader(int filter) : filter_(filter) {}

    // Reads one page (at most the first NUL). Appends the page's record when it holds the next
    // expected key and the filter keeps it. false when the page marks the end of the log; its
    // records are not read then.
    bool AddPage(std::string_view page, std::vector<TemperatureRecord>* out);

    // Records read so far, kept or not (the index of the next expected key).
    int RecordsRead() const { return index_; }

private:
    int filter_;
    int index_ = 0;
};

}  // namespace ocv
