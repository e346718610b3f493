// The microphone's way to a device before the network: the player's voice capture cuts the
// samples into 20 ms A-law blocks and stops cleanly; a talk sender hands blocks on in order on
// its own thread and drops rather than waits when it is behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "base/g711.h"
#include "device/talk_sender.h"
#include "player/qvx_player.h"
#include "player/voice_capture.h"
#include "tests/device/fake_audio.h"

namespace ocv {
namespace {

const QVXPlayVoiceAttr kFormat{QVXPLAY_VOICE_ALAW, 8000, 16, 128000, 2, 1, 0};

struct Blocks {
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> blocks;
    std::vector<uint32_t> times;
    static void Take(const uint8_t* data, int length, uint32_t ms, void* context) {
        auto* self = static_cast<Blocks*>(context);
        std::lock_guard lock(self->mutex);
        self->blocks.emplace_back(data, data + length);
        self->times.push_back(ms);
    }
    size_t Count() {
        std::lock_guard lock(mutex);
        return blocks.size();
    }
};

// A microphone the test feeds by hand.
class HandMicrophone : public player::AudioInput {
public:
    static inline SamplesFn sink;
    static inline std::atomic<int> stops{0};
    int Start(int, int, SamplesFn s) override {
        sink = std::move(s);
        return 0;
    }
    void Stop() override {
        sink = nullptr;
        ++stops;
    }
};

class VoiceCaptureTest : public ::testing::Test {
protected:
    void TearDown() override { test::RemoveFakeAudio(); }
};

TEST_F(VoiceCaptureTest, SamplesBecomeTwentyMillisecondALawBlocksAcrossDeliveries) {
    player::SetAudioInputFactory([] { return std::make_unique<HandMicrophone>(); });
    player::VoiceCapture capture;
    Blocks got;
    ASSERT_EQ(capture.SetAttributes(kFormat), 0);
    ASSERT_EQ(capture.Start(Blocks::Take, &got), 0);
    ASSERT_TRUE(HandMicrophone::sink);
    std::vector<int16_t> ramp(400);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = int16_t(i * 50 - 10000);
    // 100 + 100 + 200 samples: a block ends in the middle of each delivery, the rest waits.
    HandMicrophone::sink(ramp.data(), 100);
    EXPECT_EQ(got.Count(), 0u);
    HandMicrophone::sink(ramp.data() + 100, 100);
    ASSERT_EQ(got.Count(), 1u);
    HandMicrophone::sink(ramp.data() + 200, 200);
    ASSERT_EQ(got.Count(), 2u);
    for (size_t b = 0; b < 2; ++b) {
        ASSERT_EQ(got.blocks[b].size(), 160u);
        for (size_t i = 0; i < 160; ++i) {
            int16_t back = g711::ALawToLinear(got.blocks[b][i]);
            EXPECT_NEAR(back, ramp[b * 160 + i], 260) << "block " << b << " sample " << i;
        }
    }
    EXPECT_LE(got.times[0], got.times[1]);
    ASSERT_EQ(capture.Stop(), 0);
    EXPECT_FALSE(HandMicrophone::sink) << "the microphone was stopped";
}

TEST_F(VoiceCaptureTest, OnlyTheOneFormatAndAMicrophoneStartACapture) {
    player::VoiceCapture capture;
    Blocks got;
    EXPECT_EQ(capture.Start(Blocks::Take, &got), -1) << "no format yet";
    QVXPlayVoiceAttr stereo = kFormat;
    stereo.channels = 2;
    EXPECT_EQ(capture.SetAttributes(stereo), -1);
    QVXPlayVoiceAttr pcm = kFormat;
    pcm.encoding = 1;
    EXPECT_EQ(capture.SetAttributes(pcm), -1);
    ASSERT_EQ(capture.SetAttributes(kFormat), 0);
    EXPECT_EQ(capture.Start(Blocks::Take, &got), -1) << "no microphone installed";
    player::SetAudioInputFactory([] { return std::make_unique<HandMicrophone>(); });
    ASSERT_EQ(capture.Start(Blocks::Take, &got), 0);
    EXPECT_EQ(capture.Start(Blocks::Take, &got), -1) << "already running";
    EXPECT_EQ(capture.SetAttributes(kFormat), -1) << "not while running";
    capture.Stop();
}

TEST_F(VoiceCaptureTest, TheCInterfaceRunsACaptureAndNoBlockArrivesAfterStop) {
    std::atomic<int> running{0};
    test::InstallToneMicrophone(&running);
    int handle = 0;
    ASSERT_EQ(QVXPlay_VoInit(&handle), QVXPLAY_OK);
    ASSERT_GT(handle, 0);
    Blocks got;
    EXPECT_EQ(QVXPlay_VoStart(handle, Blocks::Take, &got), QVXPLAY_ERROR) << "format first";
    ASSERT_EQ(QVXPlay_VoSetVAttr(handle, &kFormat), QVXPLAY_OK);
    ASSERT_EQ(QVXPlay_VoStart(handle, Blocks::Take, &got), QVXPLAY_OK);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.Count() < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(got.Count(), 5u);
    ASSERT_EQ(QVXPlay_VoStop(handle), QVXPLAY_OK);
    EXPECT_EQ(running.load(), 0) << "the microphone's thread ended";
    size_t after = got.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(got.Count(), after);
    ASSERT_EQ(QVXPlay_VoDeInit(handle), QVXPLAY_OK);
    EXPECT_EQ(QVXPlay_VoStart(handle, Blocks::Take, &got), QVXPLAY_ERROR) << "handle gone";
    EXPECT_EQ(QVXPlay_VoDeInit(handle), QVXPLAY_ERROR);
    int second = 0;
    ASSERT_EQ(QVXPlay_VoInit(&second), QVXPLAY_OK);
    EXPECT_NE(second, handle) << "handles are not reused";
    EXPECT_EQ(QVXPlay_VoDeInit(second), QVXPLAY_OK);
}

TEST(TalkSenderTest, BlocksGoOutInOrderOnTheSendersThread) {
    std::mutex mutex;
    std::vector<int> order;
    std::thread::id sendThread;
    TalkSender sender(65, [&](const uint8_t* data, uint32_t length) {
        std::lock_guard lock(mutex);
        EXPECT_EQ(length, 160u);
        order.push_back(data[0]);
        sendThread = std::this_thread::get_id();
        return 0;
    });
    ASSERT_EQ(sender.Start(), 0);
    std::vector<uint8_t> block(160);
    for (int i = 0; i < 50; ++i) {
        block[0] = uint8_t(i);
        sender.Push(block.data(), uint32_t(block.size()), 1000 + uint32_t(i));
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sender.Sent() < 50 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    sender.Stop();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[size_t(i)], i);
    EXPECT_NE(sendThread, std::this_thread::get_id());
    EXPECT_EQ(sender.LastCaptureMs(), 1049u);
    EXPECT_EQ(sender.Dropped(), 0u);
}

TEST(TalkSenderTest, ASenderThatIsBehindDropsNewBlocksWithoutBlockingTheCapture) {
    std::atomic<bool> release{false};
    std::atomic<int> sent{0};
    TalkSender sender(7, [&](const uint8_t*, uint32_t) {
        while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++sent;
        return 0;
    });
    ASSERT_EQ(sender.Start(), 0);
    std::vector<uint8_t> block(1000);
    auto start = std::chrono::steady_clock::now();
    int pushes = 100;  // 100 kB into a 32 kB queue while the network is stuck
    for (int i = 0; i < pushes; ++i) sender.Push(block.data(), uint32_t(block.size()), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_GT(sender.Dropped(), 60u);
    release = true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sender.Sent() + sender.Dropped() < uint64_t(pushes) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(sender.Sent() + sender.Dropped(), uint64_t(pushes));
    // Oversized and empty blocks are refused; a stopped sender takes nothing.
    std::vector<uint8_t> huge(TalkSender::kMaxBlockBytes + 1);
    uint64_t dropped = sender.Dropped();
    sender.Push(huge.data(), uint32_t(huge.size()), 0);
    sender.Push(block.data(), 0, 0);
    sender.Stop();
    sender.Push(block.data(), 10, 0);
    EXPECT_EQ(sender.Dropped(), dropped + 1) << "only the push to the stopped sender counts as dropped";
}

TEST(TalkSenderTest, AFailedSendCountsAsDroppedAndTheNextBlockStillGoes) {
    std::atomic<int> calls{0};
    TalkSender sender(3, [&](const uint8_t*, uint32_t) { return ++calls == 1 ? -11 : 0; });
    ASSERT_EQ(sender.Start(), 0);
    uint8_t b[4] = {1, 2, 3, 4};
    sender.Push(b, 4, 0);
    sender.Push(b, 4, 0);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (calls.load() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    sender.Stop();
    EXPECT_EQ(sender.Sent(), 1u);
    EXPECT_EQ(sender.Dropped(), 1u);
}

}  // namespace
}  // namespace ocv
