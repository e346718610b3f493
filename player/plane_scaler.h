#pragma once
// Bilinear scaling of one 8-bit plane, the way the grid draws: the cell is rarely an integer
// fraction of the stream (CIF into 320 x 240), and there libyuv's and libswscale's bilinear
// column filters cost more than the colour conversion. Here each output row is a blend of two
// source rows, then a column pass whose positions and weights are worked out once per size:
// with SSSE3 it makes eight pixels per shuffle and multiply-add.
//
// Sampling is centred (output pixel x covers source (x + 0.5) * sw / dw - 0.5), weights have
// 6 bits. Shrinking to half or less in a direction first halves the plane with a 2 x 2 (or
// 2 x 1) box, as often as needed, so every source pixel counts and nothing aliases; an exact
// half is that box alone.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ocv::player {

class PlaneScaler {
public:
    PlaneScaler();
    // Scales src (sw x sh, srcStride bytes per row) to dst (dw x dh). 0, or -1 for empty sizes.
    // Reads whole 16-byte blocks of a row only inside the row.
    int Scale(const uint8_t* src, int srcStride, int sw, int sh, uint8_t* dst, int dstStride, int dw, int dh);

    // Tests compare the SIMD column pass with the plain one.
    void SetSimdForTesting(bool enabled) { simd_ = enabled; }
    bool SimdAvailable() const { return simdAvailable_; }

private:
    void PrepareColumns(int sw, int dw);
    void PrepareRows(int sh, int dh);
    int Bilinear(const uint8_t* src, int srcStride, int sw, int sh, uint8_t* dst, int dstStride, int dw, int dh);
    void Columns(const uint8_t* row, uint8_t* out, int dw) const;

    bool simdAvailable_ = false;
    bool simd_ = false;
    // Per output column (x0 and weight) and per output row (y0 and weight), for the last sizes.
    int columnsFor_[2] = {0, 0};
    std::vector<int32_t> columnX_;
    std::vector<uint8_t> columnWeight_;
    std::vector<uint8_t> groups_;  // per eight output columns: where they read, with which weights
    int rowsFor_[2] = {0, 0};
    std::vector<int32_t> rowY_;
    std::vector<uint8_t> rowWeight_;
    std::vector<uint8_t> blended_;      // one blended source row, padded for 16-byte reads
    std::vector<uint8_t> halves_[2];    // halved planes
};

}  // namespace ocv::player
