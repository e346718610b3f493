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

const uint8_t kStartCode[4] = {0, 0, 0, 1};

bool IsSlice(int type, VideoCodec codec) {
    return codec == VideoCodec::kH264 ? (type >= 1 && type <= 5) : (type >= 0 && type <= 21);
}

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

void AccessUnitAssembler::Add(const uint8_t* data, size_t size, int64_t timestamp, std::vector<Unit>* out) {
    auto append = [](std::vector<uint8_t>* to, const uint8_t* nal, size_t n) {
        to->insert(to->end(), kStartCode, kStartCode + 4);
        to->insert(to->end(), nal, nal + n);
    };
    auto flush = [&] {
        if (pendingHasSlice_) out->push_back(std::move(pending_));
        pending_ = Unit{};
        pendingHasSlice_ = false;
    };
    for (const NalUnit& n : SplitAnnexB(data, size, codec_)) {
        const uint8_t* nal = data + n.offset;
        bool slice = IsSlice(n.type, codec_);
        bool delimiter = codec_ == VideoCodec::kH264 ? n.type == 9 : n.type == 35;
        if (delimiter) {
            flush();
            held_.clear();
            pending_.timestamp = timestamp;
            append(&pending_.data, nal, n.size);
            continue;
        }
        if (!slice) {
            // Parameter sets and SEI after a slice belong to the next picture, unless another
            // slice of this picture follows (some servers repeat them before every slice).
            append(pendingHasSlice_ ? &held_ : &pending_.data, nal, n.size);
            if (!pendingHasSlice_ && pending_.timestamp < 0) pending_.timestamp = timestamp;
            continue;
        }
        // first_mb_in_slice is 0 exactly when its exp-Golomb code is the single bit 1;
        // first_slice_segment_in_pic_flag follows the two-byte H.265 header.
        bool first = codec_ == VideoCodec::kH264 ? (n.size > 1 && (nal[1] & 0x80)) : (n.size > 2 && (nal[2] & 0x80));
        if (first && pendingHasSlice_) {
            flush();
            pending_.timestamp = timestamp;
        }
        if (pending_.timestamp < 0) pending_.timestamp = timestamp;
        pending_.data.insert(pending_.data.end(), held_.begin(), held_.end());
        held_.clear();
        append(&pending_.data, nal, n.size);
        pendingHasSlice_ = true;
    }
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
    int kind = PictureKind(nals, codec_);
    if (kind == 2 || kind == 0 || (!needVps && hasSps && hasPps)) {
        out.assign(au, au + size);
        return out;
    }
    auto put = [&](const std::string& unit) {
        if (unit.empty()) return;
        out.insert(out.end(), kStartCode, kStartCode + 4);
        out.insert(out.end(), unit.begin(), unit.end());
    };
    // Decoding order: VPS, SPS, PPS, then the picture. A unit that lacks any of them gets all
    // known ones in front (a PPS must not come before the SPS it refers to); sets it carries
    // itself stay and, coming later, win.
    if (codec_ == VideoCodec::kH265) put(vps_);
    put(sps_);
    put(pps_);
    out.insert(out.end(), au, au + size);
    return out;
}

}  // namespace ocv::sdk
