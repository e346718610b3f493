#include "backup/h264_parameter_sets.h"

namespace ocv::backup {
namespace {

// Position just after the next 00 00 01 at or after from, or size when there is none.
size_t NextStart(const uint8_t* d, size_t size, size_t from) {
    for (size_t i = from; i + 3 <= size; ++i) {
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) return i + 3;
    }
    return size;
}

}  // namespace

std::string H264ParameterSets(const uint8_t* data, size_t size) {
    std::string out;
    bool sps = false, pps = false;
    size_t nal = NextStart(data, size, 0);
    while (nal < size) {
        size_t next = NextStart(data, size, nal);
        // The unit ends where the next start code begins (its leading zero bytes included).
        size_t end = next < size ? next - 3 : size;
        while (end > nal && data[end - 1] == 0) --end;
        if (end > nal) {
            int type = data[nal] & 0x1F;
            if (type == 7 || type == 8) {
                out.append("\0\0\0\1", 4);
                out.append(reinterpret_cast<const char*>(data + nal), end - nal);
                (type == 7 ? sps : pps) = true;
            }
        }
        nal = next;
    }
    return sps && pps ? out : std::string();
}

}  // namespace ocv::backup
