#pragma once
// Just enough of H.264 Annex-B to tell which NAL unit types an access unit carries.
#include <cstddef>
#include <cstdint>

namespace ocv::test {

constexpr int kNalNonIdrSlice = 1;
constexpr int kNalIdrSlice = 5;
constexpr int kNalSps = 7;

inline bool HasNalType(const uint8_t* data, size_t size, int type) {
    for (size_t i = 0; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if ((data[i + 3] & 0x1F) == type) return true;
            i += 2;
        }
    }
    return false;
}

}  // namespace ocv::test
