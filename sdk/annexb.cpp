#include "sdk/annexb.h"

namespace ocv::sdk {

namespace {

constexpr int kH264Idr = 5, kH264Sps = 7, kH264Pps = 8;
constexpr int kH265BlaWlp = 16, kH265Cra = 21, kH265IdrWRadl = 19, kH265IdrNLp = 20;
constexpr int kH265Vps = 32, kH265Sps = 33, kH265Pps = 34;

int NalType(const uint8_t* p, size_t size, VideoCodec codec) {
    if (size == 0) return -1;
    return codec == VideoCodec::kH264 ? (p[0] & 0x1F) : ((p[0] >> 1) & 0x3F);
}

bool IsSlice(int type, VideoCodec codec) {
    return codec == VideoCodec::kH264 ? (type >= 1 && type <= 5) : (type >= 0 && type <= 21);
}

const uint8_t kStartCode[4] = {0, 0, 0, 1};

}  // namespace

std::vector<NalUnit> SplitAnnexB(const uint8_t* data, size_t size, VideoCodec codec) {
    std::vector<NalUnit> out;
    if (!data || size < 4) return out;
    // Positions just after each start code.
    size_t i = 0;
    auto nextStart = [&](size_t from, size_t* codeAt) -> size_t {
        for (size_t k = from; k + 2 < size; ++k) {
            if (data[k] == 0 && data[k + 1] == 0 && data[k + 2] == 1) {
                *codeAt = (k > 0 && data[k - 1] == 0) ? k - 1 : k;
                return k + 3;
            }
        }
        *codeAt = size;
        return size;
    };
    size_t codeAt = 0;
    i = nextStart(0, &codeAt);
    if (codeAt != 0) return out;  // not Annex-B at its head
    while (i < size) {
        size_t nextCode = size;
        size_t next = nextStart(i, &nextCode);
        size_t end = nextCode;
        // Trailing zero bytes belong to no NAL unit.
        while (end > i && data[end - 1] == 0 && next < size) --end;
        if (end > i) out.push_back(NalUnit{i, end - i, NalType(data + i, end - i, codec)});
        i = next;
    }
    return out;
}

int PictureKind(const std::vector<NalUnit>& nals, VideoCodec codec) {
    int kind = 0;
    for (const NalUnit& n : nals) {
        if (!IsSlice(n.type, codec)) continue;
        if (codec == VideoCodec::kH264) {
            if (n.type == kH264Idr) return 1;
        } else {
            if (n.type == kH265IdrWRadl || n.type == kH265IdrNLp) return 1;
            if (n.type >= kH265BlaWlp && n.type <= kH265Cra) kind = 3;
        }
        if (kind == 0) kind = 2;
    }
    return kind;
}

void ParameterSets::Learn(const uint8_t* data, size_t size) {
    for (const NalUnit& n : SplitAnnexB(data, size, codec_)) {
        std::string unit(reinterpret_cast<const char*>(data + n.offset), n.size);
        if (codec_ == VideoCodec::kH264) {
            if (n.type == kH264Sps) sps_ = unit;
            if (n.type == kH264Pps) pps_ = unit;
        } else {
            if (n.type == kH265Vps) vps_ = unit;
            if (n.type == kH265Sps) sps_ = unit;
            if (n.type == kH265Pps) pps_ = unit;
        }
    }
}

bool ParameterSets::Complete() const {
    return !sps_.empty() && !pps_.empty() && (codec_ == VideoCodec::kH264 || !vps_.empty());
}

std::vector<uint8_t> ParameterSets::Prefix(const uint8_t* au, size_t size, const std::vector<NalUnit>& nals) const {
    std::vector<uint8_t> out;
    bool hasVps = false, hasSps = false, hasPps = false;
    for (const NalUnit& n : nals) {
        if (codec_ == VideoCodec::kH264) {
            hasSps |= n.type == kH264Sps;
            hasPps |= n.type == kH264Pps;
        } else {
            hasVps |= n.type == kH265Vps;
            hasSps |= n.type == kH265Sps;
            hasPps |= n.type == kH265Pps;
        }
    }
    bool needVps = codec_ == VideoCodec::kH265 && !hasVps;
    if (PictureKind(nals, codec_) == 2 || PictureKind(nals, codec_) == 0 || (!needVps && hasSps && hasPps)) {
        out.assign(au, au + size);
        return out;
    }
    auto put = [&](const std::string& unit) {
        if (unit.empty()) return;
        out.insert(out.end(), kStartCode, kStartCode + 4);
        out.insert(out.end(), unit.begin(), unit.end());
    };
    // Decoding order: VPS, SPS, PPS, then the picture. Sets the unit carries itself stay where
    // they are; only missing ones are added.
    if (needVps) put(vps_);
    if (!hasSps) put(sps_);
    if (!hasPps) put(pps_);
    out.insert(out.end(), au, au + size);
    return out;
}

}  // namespace ocv::sdk
