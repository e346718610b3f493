// G.711 both ways: known codes, symmetry, order, and the round trip of every sample.
#include "base/g711.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "base/media_types.h"

namespace ocv {
namespace {

TEST(G711, KnownCodesAndSymmetry) {
    EXPECT_EQ(g711::ALawToLinear(0xD5), 8);
    EXPECT_EQ(g711::ALawToLinear(0x55), -8);
    EXPECT_EQ(g711::ALawToLinear(0xAA), 32256);
    EXPECT_EQ(g711::ALawToLinear(0x2A), -32256);
    EXPECT_EQ(g711::MuLawToLinear(0xFF), 0);
    EXPECT_EQ(g711::MuLawToLinear(0x7F), 0);
    EXPECT_EQ(g711::MuLawToLinear(0x80), 32124);
    EXPECT_EQ(g711::MuLawToLinear(0x00), -32124);
    for (int c = 0; c < 128; ++c) {
        EXPECT_EQ(g711::ALawToLinear(static_cast<uint8_t>(c)), -g711::ALawToLinear(static_cast<uint8_t>(c | 0x80)));
        EXPECT_EQ(g711::MuLawToLinear(static_cast<uint8_t>(c)), -g711::MuLawToLinear(static_cast<uint8_t>(c | 0x80)));
    }
    // Magnitudes grow monotonically with the code within one sign.
    for (int c = 0x80; c < 0xFF; ++c)
        EXPECT_GT(g711::MuLawToLinear(static_cast<uint8_t>(c)), g711::MuLawToLinear(static_cast<uint8_t>(c + 1)));
    uint8_t codes[3] = {0xD5, 0x55, 0xAA};
    int16_t out[3] = {1, 1, 1};
    EXPECT_EQ(g711::Decode(kAudioG711ALaw, codes, 3, out), 0);
    EXPECT_EQ(out[2], 32256);
    int16_t untouched[3] = {7, 7, 7};
    EXPECT_EQ(g711::Decode(kAudioAdpcm2Bit, codes, 3, untouched), -1);
    EXPECT_EQ(untouched[0], 7);
}

TEST(G711, ALawRoundTripStaysClose) {
    for (int s = -32768; s <= 32767; s += 97) {
        int16_t back = g711::ALawToLinear(g711::LinearToALaw(int16_t(s)));
        int err = std::abs(back - s);
        // A-law keeps about 5% relative precision, and a small absolute step near zero.
        EXPECT_LE(err, std::max(32, std::abs(s) / 16)) << s;
    }
    EXPECT_EQ(g711::LinearToALaw(0), 0xD5);
}

}  // namespace
}  // namespace ocv
