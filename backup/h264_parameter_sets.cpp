#include "backup/h264_parameter_sets.h"

#include <cstring>

namespace ocv::backup {
namespace {

// Position just after the next 00 00 01 at or after from, or size when there is none. 0x01
// bytes are rare in coded data, so the search jumps from one to the next.
size_t NextStart(const uint8_t* d, size_t size, size_t from) {
    size_t i = from + 2;
    while (i < size) {
        const void* one = memchr(d + i, 1, size - i);
        if (!one) return size;
        i = static_cast<size_t>(static_cast<const uint8_t*>(one) - d);
        if (d[i - 1] == 0 && d[i - 2] == 0) return i + 1;
        ++i;
    }
    return size;
}

// Calls fn(begin, length) for every NAL unit, without the zero bytes before a start code.
template <typename Fn>
void ForEachNal(const uint8_t* data, size_t size, Fn&& fn) {
    size_t nal = NextStart(data, size, 0);
    while (nal < size) {
        size_t next = NextStart(data, size, nal);
        size_t end = next < size ? next - 3 : size;
        while (end > nal && data[end - 1] == 0) --end;
        if (end > nal) fn(data + nal, end - nal);
        nal = next;
    }
}

// Exp-Golomb reader over an SPS with its emulation-prevention bytes removed.
class BitReader {
public:
    BitReader(const uint8_t* nal, size_t size) {
        for (size_t i = 0; i < size && bytes_.size() < 64; ++i) {
            if (i >= 2 && nal[i] == 3 && nal[i - 1] == 0 && nal[i - 2] == 0) continue;
            bytes_.push_back(nal[i]);
        }
    }
    bool Bits(int n, uint32_t* v) {
        *v = 0;
        for (int k = 0; k < n; ++k) {
            if (pos_ >= bytes_.size() * 8) return false;
            *v = *v << 1 | ((bytes_[pos_ / 8] >> (7 - pos_ % 8)) & 1u);
            ++pos_;
        }
        return true;
    }
    bool Ue(uint32_t* v) {
        int zeros = 0;
        uint32_t bit = 0;
        while (Bits(1, &bit) && bit == 0)
            if (++zeros > 31) return false;
        if (bit != 1) return false;
        uint32_t rest = 0;
        if (!Bits(zeros, &rest)) return false;
        *v = (1u << zeros) - 1 + rest;
        return true;
    }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

// Profiles whose SPS carries the chroma format and bit depths.
bool HasChromaInfo(uint32_t profile) {
    switch (profile) {
        case 100: case 110: case 122: case 244: case 44: case 83:
        case 86: case 118: case 128: case 138: case 139: case 134: case 135:
            return true;
        default:
            return false;
    }
}

void PutU16(std::string* s, size_t v) {
    *s += static_cast<char>((v >> 8) & 0xFF);
    *s += static_cast<char>(v & 0xFF);
}

}  // namespace

std::string H264ParameterSets(const uint8_t* data, size_t size) {
    std::string out;
    bool sps = false, pps = false;
    ForEachNal(data, size, [&](const uint8_t* nal, size_t n) {
        int type = nal[0] & 0x1F;
        if (type != 7 && type != 8) return;
        out.append("\0\0\0\1", 4);
        out.append(reinterpret_cast<const char*>(nal), n);
        (type == 7 ? sps : pps) = true;
    });
    return sps && pps ? out : std::string();
}

std::string HevcParameterSets(const uint8_t* data, size_t size) {
    std::string out;
    bool vps = false, sps = false, pps = false;
    ForEachNal(data, size, [&](const uint8_t* nal, size_t n) {
        int type = (nal[0] >> 1) & 0x3F;
        if (type < 32 || type > 34 || n < 2) return;
        out.append("\0\0\0\1", 4);
        out.append(reinterpret_cast<const char*>(nal), n);
        (type == 32 ? vps : type == 33 ? sps : pps) = true;
    });
    return vps && sps && pps ? out : std::string();
}

std::string AvcDecoderConfiguration(const uint8_t* data, size_t size) {
    std::vector<std::pair<const uint8_t*, size_t>> sps, pps;
    ForEachNal(data, size, [&](const uint8_t* nal, size_t n) {
        int type = nal[0] & 0x1F;
        if (type == 7 && n >= 4 && n <= 0xFFFF) sps.emplace_back(nal, n);
        if (type == 8 && n <= 0xFFFF) pps.emplace_back(nal, n);
    });
    if (sps.empty() || pps.empty() || sps.size() > 31 || pps.size() > 255) return {};
    const uint8_t* s = sps[0].first;
    std::string c;
    c += static_cast<char>(1);  // configuration version
    c += static_cast<char>(s[1]);  // profile
    c += static_cast<char>(s[2]);  // compatibility flags
    c += static_cast<char>(s[3]);  // level
    c += static_cast<char>(0xFF);  // 4-byte NAL lengths
    c += static_cast<char>(0xE0 | sps.size());
    for (auto [nal, n] : sps) {
        PutU16(&c, n);
        c.append(reinterpret_cast<const char*>(nal), n);
    }
    c += static_cast<char>(pps.size());
    for (auto [nal, n] : pps) {
        PutU16(&c, n);
        c.append(reinterpret_cast<const char*>(nal), n);
    }
    uint32_t profile = s[1];
    if (profile != 66 && profile != 77 && profile != 88) {
        uint32_t chroma = 1, lumaDepth = 0, chromaDepth = 0, skip = 0;
        if (HasChromaInfo(profile)) {
            BitReader r(s + 4, sps[0].second - 4);  // after the NAL header, profile, flags, level
            if (!r.Ue(&skip) || !r.Ue(&chroma)) return {};  // seq_parameter_set_id first
            if (chroma == 3 && !r.Bits(1, &skip)) return {};
            if (!r.Ue(&lumaDepth) || !r.Ue(&chromaDepth) || chroma > 3 || lumaDepth > 6 ||
                chromaDepth > 6)
                return {};
        }
        c += static_cast<char>(0xFC | chroma);
        c += static_cast<char>(0xF8 | lumaDepth);
        c += static_cast<char>(0xF8 | chromaDepth);
        c += static_cast<char>(0);  // no SPS extensions
    }
    return c;
}

void AnnexBToLengthPrefixed(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
    out->clear();
    out->reserve(size + 64);  // a 3-byte start code becomes a 4-byte length
    ForEachNal(data, size, [&](const uint8_t* nal, size_t n) {
        const uint8_t length[4] = {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                                   static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
        out->insert(out->end(), length, length + 4);
        out->insert(out->end(), nal, nal + n);
    });
}

}  // namespace ocv::backup
