#include "player/plane_scaler.h"

#include <libyuv/scale.h>

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#include <tmmintrin.h>
#define OCV_PLANE_SCALER_X86 1
#endif

namespace ocv::player {

namespace {

// A group of eight output columns, 48 bytes: i32 first source pixel, 12 unused, 16 shuffle
// bytes (left and right neighbour of each output, relative to the first), 16 weights (64 - f, f).
constexpr size_t kGroupBytes = 48;

constexpr int kWeightBits = 6;
constexpr int kWeightOne = 1 << kWeightBits;
constexpr int kPadding = 32;  // readable bytes after a blended row

// Centred positions of count outputs over size inputs: first input and weight of the next.
void Positions(int size, int count, std::vector<int32_t>* first, std::vector<uint8_t>* weight) {
    first->resize(static_cast<size_t>(count));
    weight->resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        int64_t p = (int64_t{2 * i + 1} * size * 65536) / (2 * int64_t{count}) - 32768;
        if (p < 0) p = 0;
        int32_t at = static_cast<int32_t>(p >> 16);
        int f = static_cast<int>((p >> (16 - kWeightBits)) & (kWeightOne - 1));
        if (at >= size - 1) {
            at = size - 1;
            f = 0;
        }
        (*first)[static_cast<size_t>(i)] = at;
        (*weight)[static_cast<size_t>(i)] = static_cast<uint8_t>(f);
    }
}

void BlendRows(const uint8_t* a, const uint8_t* b, int n, int f, uint8_t* out) {
    if (f == 0) {
        memcpy(out, a, static_cast<size_t>(n));
        return;
    }
    int i = 0;
#ifdef OCV_PLANE_SCALER_X86
    const __m128i zero = _mm_setzero_si128();
    const __m128i w0 = _mm_set1_epi16(static_cast<int16_t>(kWeightOne - f));
    const __m128i w1 = _mm_set1_epi16(static_cast<int16_t>(f));
    const __m128i round = _mm_set1_epi16(kWeightOne / 2);
    for (; i + 16 <= n; i += 16) {
        __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), w0),
                                   _mm_mullo_epi16(_mm_unpacklo_epi8(vb, zero), w1));
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), w0),
                                   _mm_mullo_epi16(_mm_unpackhi_epi8(vb, zero), w1));
        lo = _mm_srli_epi16(_mm_add_epi16(lo, round), kWeightBits);
        hi = _mm_srli_epi16(_mm_add_epi16(hi, round), kWeightBits);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; i < n; ++i) out[i] = static_cast<uint8_t>((a[i] * (kWeightOne - f) + b[i] * f + kWeightOne / 2) >> kWeightBits);
}

// Halves a plane: each output pixel is the rounded mean of its 2 x 2 (or 2 x 1, 1 x 2) block;
// an odd last column or row is paired with itself.
void Halve(const uint8_t* src, int stride, int sw, int sh, bool across, bool down, uint8_t* out, int outStride) {
    const int w = across ? (sw + 1) / 2 : sw;
    const int h = down ? (sh + 1) / 2 : sh;
    if (across && down && sw % 2 == 0 && sh % 2 == 0) {
        // libyuv's 2 x 2 box rows are AVX2 and round the same way.
        libyuv::ScalePlane(src, stride, sw, sh, out, outStride, w, h, libyuv::kFilterBox);
        return;
    }
    for (int y = 0; y < h; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(down ? 2 * y : y) * stride;
        const uint8_t* r1 = down && 2 * y + 1 < sh ? r0 + stride : r0;
        uint8_t* o = out + static_cast<ptrdiff_t>(y) * outStride;
        int x = 0;
        if (!across) {
            BlendRows(r0, r1, sw, kWeightOne / 2, o);
            continue;
        }
#ifdef OCV_PLANE_SCALER_X86
        const __m128i low = _mm_set1_epi16(0x00FF);
        const __m128i round = _mm_set1_epi16(down ? 2 : 1);
        for (; 2 * x + 32 <= sw; x += 16) {
            __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + 2 * x));
            __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + 2 * x + 16));
            __m128i lo = _mm_add_epi16(_mm_and_si128(a0, low), _mm_srli_epi16(a0, 8));
            __m128i hi = _mm_add_epi16(_mm_and_si128(a1, low), _mm_srli_epi16(a1, 8));
            if (down) {
                __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + 2 * x));
                __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + 2 * x + 16));
                lo = _mm_add_epi16(lo, _mm_add_epi16(_mm_and_si128(b0, low), _mm_srli_epi16(b0, 8)));
                hi = _mm_add_epi16(hi, _mm_add_epi16(_mm_and_si128(b1, low), _mm_srli_epi16(b1, 8)));
            }
            const int shift = down ? 2 : 1;
            lo = _mm_srli_epi16(_mm_add_epi16(lo, round), shift);
            hi = _mm_srli_epi16(_mm_add_epi16(hi, round), shift);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + x), _mm_packus_epi16(lo, hi));
        }
#endif
        for (; x < w; ++x) {
            int a = 2 * x, b = std::min(2 * x + 1, sw - 1);
            int sum = r0[a] + r0[b];
            if (down) o[x] = static_cast<uint8_t>((sum + r1[a] + r1[b] + 2) >> 2);
            else o[x] = static_cast<uint8_t>((sum + 1) >> 1);
        }
    }
}

#ifdef OCV_PLANE_SCALER_X86
__attribute__((target("ssse3"))) void ColumnsSsse3(const uint8_t* row, uint8_t* out, const uint8_t* groups,
                                                   int count) {
    const __m128i round = _mm_set1_epi16(kWeightOne / 2);
    for (int g = 0; g < count; ++g) {
        const uint8_t* rec = groups + kGroupBytes * static_cast<size_t>(g);
        int32_t base;
        memcpy(&base, rec, 4);
        __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rec + 16));
        __m128i weights = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rec + 32));
        __m128i src = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + base));
        __m128i sum = _mm_maddubs_epi16(_mm_shuffle_epi8(src, mask), weights);
        sum = _mm_srli_epi16(_mm_add_epi16(sum, round), kWeightBits);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 8 * g), _mm_packus_epi16(sum, sum));
    }
}
#endif

}  // namespace

PlaneScaler::PlaneScaler() {
#ifdef OCV_PLANE_SCALER_X86
    simdAvailable_ = __builtin_cpu_supports("ssse3");
#endif
    simd_ = simdAvailable_;
}

void PlaneScaler::PrepareColumns(int sw, int dw) {
    if (columnsFor_[0] == sw && columnsFor_[1] == dw) return;
    columnsFor_[0] = sw;
    columnsFor_[1] = dw;
    Positions(sw, dw, &columnX_, &columnWeight_);
    const int groups = dw / 8;
    groups_.assign(static_cast<size_t>(groups) * kGroupBytes, 0);
    for (int g = 0; g < groups; ++g) {
        uint8_t* rec = groups_.data() + static_cast<size_t>(g) * kGroupBytes;
        int32_t base = columnX_[static_cast<size_t>(8 * g)];
        memcpy(rec, &base, 4);
        for (int i = 0; i < 8; ++i) {
            size_t x = static_cast<size_t>(8 * g + i);
            // At most half a plane is skipped per output (halving sees to it), so eight outputs
            // read from 15 consecutive pixels: one 16-byte load.
            int k = columnX_[x] - base;
            rec[16 + 2 * i] = static_cast<uint8_t>(k);
            rec[16 + 2 * i + 1] = static_cast<uint8_t>(k + 1);
            rec[32 + 2 * i] = static_cast<uint8_t>(kWeightOne - columnWeight_[x]);
            rec[32 + 2 * i + 1] = columnWeight_[x];
        }
    }
}

void PlaneScaler::PrepareRows(int sh, int dh) {
    if (rowsFor_[0] == sh && rowsFor_[1] == dh) return;
    rowsFor_[0] = sh;
    rowsFor_[1] = dh;
    Positions(sh, dh, &rowY_, &rowWeight_);
}

void PlaneScaler::Columns(const uint8_t* row, uint8_t* out, int dw) const {
    int x = 0;
#ifdef OCV_PLANE_SCALER_X86
    if (simd_) {
        const int groups = dw / 8;
        ColumnsSsse3(row, out, groups_.data(), groups);
        x = 8 * groups;
    }
#endif
    for (; x < dw; ++x) {
        const int at = columnX_[static_cast<size_t>(x)];
        const int f = columnWeight_[static_cast<size_t>(x)];
        out[x] = static_cast<uint8_t>((row[at] * (kWeightOne - f) + row[at + 1] * f + kWeightOne / 2) >> kWeightBits);
    }
}

int PlaneScaler::Bilinear(const uint8_t* src, int srcStride, int sw, int sh, uint8_t* dst, int dstStride, int dw,
                          int dh) {
    PrepareColumns(sw, dw);
    PrepareRows(sh, dh);
    if (blended_.size() < static_cast<size_t>(sw) + kPadding) blended_.assign(static_cast<size_t>(sw) + kPadding, 0);
    for (int y = 0; y < dh; ++y) {
        const int y0 = rowY_[static_cast<size_t>(y)];
        const int f = rowWeight_[static_cast<size_t>(y)];
        const uint8_t* a = src + static_cast<ptrdiff_t>(y0) * srcStride;
        const uint8_t* b = f ? a + srcStride : a;
        BlendRows(a, b, sw, f, blended_.data());
        Columns(blended_.data(), dst + static_cast<ptrdiff_t>(y) * dstStride, dw);
    }
    return 0;
}

int PlaneScaler::Scale(const uint8_t* src, int srcStride, int sw, int sh, uint8_t* dst, int dstStride, int dw,
                       int dh) {
    if (!src || !dst || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return -1;
    int which = 0;
    while (sw >= 2 * dw || sh >= 2 * dh) {
        const bool across = sw >= 2 * dw, down = sh >= 2 * dh;
        const int w = across ? (sw + 1) / 2 : sw, h = down ? (sh + 1) / 2 : sh;
        if (w == dw && h == dh) {  // an exact half: the box is the whole scaling
            Halve(src, srcStride, sw, sh, across, down, dst, dstStride);
            return 0;
        }
        halves_[which].resize(static_cast<size_t>(w) * h + kPadding);
        Halve(src, srcStride, sw, sh, across, down, halves_[which].data(), w);
        src = halves_[which].data();
        srcStride = w;
        sw = w;
        sh = h;
        which ^= 1;
    }
    if (sw == dw && sh == dh) {
        for (int y = 0; y < dh; ++y)
            memcpy(dst + static_cast<ptrdiff_t>(y) * dstStride, src + static_cast<ptrdiff_t>(y) * srcStride,
                   static_cast<size_t>(dw));
        return 0;
    }
    return Bilinear(src, srcStride, sw, sh, dst, dstStride, dw, dh);
}

}  // namespace ocv::player
