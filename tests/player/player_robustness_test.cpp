// Hostile and broken input: the port survives, never stalls, and shows pictures again
// from the next good key frame.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "player/player_statistics.h"
#include "player/qvx_player.h"
#include "base/port_slots.h"
#include "tests/player/test_clip.h"

namespace ocv::player {
namespace {

using test::EncodedPicture;
using test::MemorySurface;
using test::WaitFor;

const std::vector<EncodedPicture>& Clip() {
    static const auto clip = test::MakeH264Clip(48, 32, 20, 10);
    return clip;
}

PortStatistics Stats(int port) {
    PortStatistics s;
    GetPortStatistics(port, &s);
    return s;
}

class RobustnessTest : public ::testing::Test {
protected:
    void SetUp() override {
        portNumber_ = TakePort();
        ASSERT_EQ(QVXPlay_InitV2(&port_, portNumber_), 0);
        QVXPlay_SetDrawWnd(port_, &surface_);
        StreamInfo info = test::MakeStreamInfo(352, 288);
        ASSERT_EQ(QVXPlay_OpenStream(port_, &info, 28), 0);
        ASSERT_EQ(QVXPlay_Play(port_), 0);
    }
    void TearDown() override {
        EXPECT_EQ(QVXPlay_DeInit(port_), 0);
        ReleasePort(portNumber_);
    }
    int Input(const std::vector<uint8_t>& record) {
        return QVXPlay_InputVideoData(port_, record.data(), static_cast<int>(record.size()));
    }
    int Input(const std::vector<uint8_t>& bytes, bool key, uint32_t ts) {
        EncodedPicture p;
        p.bytes = bytes;
        p.keyFrame = key;
        return Input(test::MakeVideoRecord(p, ts));
    }
    // Waits until the decoder has worked through its queue.
    bool Drained() {
        return WaitFor([&] { return Stats(port_).queuedFrames == 0; });
    }
    // A clean clip after the damage: every one of its pictures comes out.
    void ExpectCleanRecovery() {
        ASSERT_TRUE(Drained());
        uint64_t decoded = Stats(port_).decodedPictures;
        for (size_t i = 0; i < Clip().size(); ++i)
            ASSERT_EQ(Input(test::MakeVideoRecord(Clip()[i], 900000 + 40 * static_cast<uint32_t>(i))), 0);
        EXPECT_TRUE(WaitFor([&] { return Stats(port_).decodedPictures >= decoded + Clip().size(); }))
            << "decoded " << Stats(port_).decodedPictures - decoded;
        EXPECT_EQ(Stats(port_).pictureWidth, 48);
    }

    int portNumber_ = -1;
    int port_ = 0;
    MemorySurface surface_{32, 32};
};

TEST_F(RobustnessTest, TruncatedAccessUnitsAreSurvived) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3; ++round) {
        for (size_t i = 0; i < Clip().size(); ++i) {
            std::vector<uint8_t> bytes = Clip()[i].bytes;
            bytes.resize(std::uniform_int_distribution<size_t>(1, bytes.size())(rng));
            ASSERT_EQ(Input(bytes, Clip()[i].keyFrame, static_cast<uint32_t>(i * 40)), 0);
        }
    }
    ExpectCleanRecovery();
}

TEST_F(RobustnessTest, FuzzedAccessUnitsAreSurvived) {
    std::mt19937 rng(11);
    for (int round = 0; round < 15; ++round) {
        for (size_t i = 0; i < Clip().size(); ++i) {
            std::vector<uint8_t> bytes = Clip()[i].bytes;
            int flips = std::uniform_int_distribution<int>(1, 12)(rng);
            for (int f = 0; f < flips; ++f) {
                size_t at = std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(rng);
                bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            }
            if (rng() % 4 == 0) {
                // Splice in a random run, possibly growing the unit.
                size_t at = std::uniform_int_distribution<size_t>(0, bytes.size())(rng);
                std::vector<uint8_t> noise(rng() % 64);
                for (auto& b : noise) b = static_cast<uint8_t>(rng());
                bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(at), noise.begin(), noise.end());
            }
            ASSERT_EQ(Input(bytes, Clip()[i].keyFrame || rng() % 5 == 0, static_cast<uint32_t>(i * 40)), 0);
        }
    }
    // Pure noise labelled as key frames.
    for (int i = 0; i < 40; ++i) {
        std::vector<uint8_t> noise(1 + rng() % 3000);
        for (auto& b : noise) b = static_cast<uint8_t>(rng());
        if (i % 2 == 0 && noise.size() > 4) noise[0] = noise[1] = noise[2] = 0, noise[3] = 1;
        ASSERT_EQ(Input(noise, true, static_cast<uint32_t>(i)), 0);
    }
    ASSERT_TRUE(Drained());
    EXPECT_GT(Stats(port_).decodeErrors, 0u);
    ExpectCleanRecovery();
}

TEST_F(RobustnessTest, PicturesAboveTheSizeLimitAreRefused) {
    // 8208 wide (taller side fine) and 8208 tall: both beyond 8192.
    for (auto [w, h] : {std::pair{8208, 16}, std::pair{16, 8208}}) {
        auto big = test::MakeH264Clip(w, h, 2, 10);
        uint64_t decodedBefore = Stats(port_).decodedPictures;
        uint64_t errorsBefore = Stats(port_).decodeErrors;
        for (size_t i = 0; i < big.size(); ++i)
            ASSERT_EQ(Input(test::MakeVideoRecord(big[i], static_cast<uint32_t>(i))), 0);
        ASSERT_TRUE(WaitFor([&] { return Stats(port_).decodeErrors > errorsBefore; }));
        ASSERT_TRUE(Drained());
        EXPECT_EQ(Stats(port_).decodedPictures, decodedBefore);
        ExpectCleanRecovery();
    }
    for (const auto& p : surface_.Pictures()) EXPECT_EQ(p->sourceWidth, 48);

    // Exactly at the limit is still a picture.
    auto widest = test::MakeH264Clip(8192, 16, 1, 10);
    uint64_t decodedBefore = Stats(port_).decodedPictures;
    ASSERT_EQ(Input(test::MakeVideoRecord(widest[0], 5)), 0);
    ASSERT_TRUE(WaitFor([&] { return Stats(port_).decodedPictures == decodedBefore + 1; }));
    EXPECT_EQ(Stats(port_).pictureWidth, 8192);
}

TEST_F(RobustnessTest, MalformedRecordsAreRefusedAtTheDoor) {
    auto good = test::MakeVideoRecord(Clip()[0], 0);
    FrameHeader h;
    std::memcpy(&h, good.data(), sizeof h);

    auto tooLong = good;  // announces more data than it carries
    h.dataLength = static_cast<uint32_t>(good.size());
    std::memcpy(tooLong.data(), &h, sizeof h);
    EXPECT_EQ(Input(tooLong), -1);

    auto huge = good;
    h.dataLength = 0xFFFFFFFFu;
    std::memcpy(huge.data(), &h, sizeof h);
    EXPECT_EQ(Input(huge), -1);

    // Nine extension blocks (648 bytes) announced on a frame of 600 bytes.
    std::vector<uint8_t> extension(16 + 600, 0);
    FrameHeader eh{kFrameKindVideo, 600, 0, 93};
    std::memcpy(extension.data(), &eh, sizeof eh);
    EXPECT_EQ(Input(extension), -1);
    std::memcpy(&h, good.data(), sizeof h);

    auto audioKind = good;
    h.frameType = 3;
    h.kind = 2;
    std::memcpy(audioKind.data(), &h, sizeof h);
    EXPECT_EQ(Input(audioKind), -1);

    EXPECT_EQ(QVXPlay_InputVideoData(port_, good.data(), 0), -1);
    EXPECT_EQ(QVXPlay_InputVideoData(port_, good.data(), -4), -1);
    EXPECT_EQ(QVXPlay_InputAudioData(port_, good.data(), 10), -1);
    // Longer than announced: only the announced part is the picture.
    auto padded = good;
    padded.resize(good.size() + 5000, 0x33);
    EXPECT_EQ(Input(padded), 0);
    EXPECT_TRUE(WaitFor([&] { return Stats(port_).decodedPictures == 1; }));
    EXPECT_EQ(Stats(port_).decodeErrors, 0u);
}

void SlowOverlay(int, QVXPlayDrawContext*, int, int, int, int, int, int, intptr_t) {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
}

TEST_F(RobustnessTest, FloodIsBoundedAndResyncsAtAKeyFrame) {
    // A slow picture path: input arrives far faster than it is worked off.
    QVXPlay_RegisterDrawFun(port_, &SlowOverlay, 0);
    uint32_t ts = 0;
    for (int round = 0; round < 40; ++round)
        for (const auto& p : Clip()) ASSERT_EQ(Input(test::MakeVideoRecord(p, ts += 40)), 0);
    EXPECT_LE(Stats(port_).queuedFrames, 250);
    EXPECT_GT(Stats(port_).framesDiscarded, 0u);
    QVXPlay_RegisterDrawFun(port_, nullptr, 0);
    ASSERT_TRUE(Drained());
    EXPECT_EQ(Stats(port_).decodeErrors, 0u);  // dropping never fed a broken chain
    ExpectCleanRecovery();
}

}  // namespace
}  // namespace ocv::player
