// Live streams end to end: the frames are real H.264 that decodes, key frames are flagged,
// and StopRealPlay ends callbacks for good.
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <atomic>
#include <cstring>
#include <random>

#include "base/media_types.h"
#include "tests/sdk/sdk_test_support.h"

namespace ocv::test {
namespace {

class SdkStream : public SdkSite {};

struct Decoder {
    Decoder() {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        ctx = avcodec_alloc_context3(codec);
        ctx->thread_count = 1;
        avcodec_open2(ctx, codec, nullptr);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
    }
    ~Decoder() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&ctx);
    }
    // Decodes one access unit; 1 when a picture came out (its key flag in *key), 0 if none, -1 on error.
    int Decode(const uint8_t* data, size_t size, bool* key, int* width, int* height) {
        packet->data = const_cast<uint8_t*>(data);
        packet->size = int(size);
        if (avcodec_send_packet(ctx, packet) < 0) return -1;
        int rc = avcodec_receive_frame(ctx, frame);
        if (rc == AVERROR(EAGAIN)) return 0;
        if (rc < 0) return -1;
        *key = frame->key_frame != 0;
        *width = frame->width;
        *height = frame->height;
        av_frame_unref(frame);
        return 1;
    }
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
};

TEST_F(SdkStream, MainStreamFramesDecodeAndKeyFramesAreFlagged) {
    QVX_HANDLE login = LoginTo(kCam);
    ASSERT_GT(login, 0);
    StreamSink sink;
    uint32_t request[QVX_REQUEST_WORDS];
    MakeRequest(request, 0, 0, 3);
    QVX_HANDLE stream = 0;
    ASSERT_EQ(QVX_SDK_RealPlay(login, request, &StreamSink::Callback, reinterpret_cast<intptr_t>(&sink), &stream),
              QVX_OK);
    ASSERT_GT(stream, 0);
    // Key frames every 25 frames at 25 fps: 60 video frames hold at least two of them.
    ASSERT_TRUE(WaitUntil([&] { return sink.VideoCount() >= 60; }, 8000));
    ASSERT_EQ(QVX_SDK_StopRealPlay(stream), QVX_OK);

    std::lock_guard<std::mutex> lock(sink.mutex);
    ASSERT_EQ(sink.headers.size(), 1u);
    ASSERT_EQ(sink.headers[0].size(), sizeof(StreamInfo));
    StreamInfo info;
    std::memcpy(&info, sink.headers[0].data(), sizeof info);
    EXPECT_EQ(info.width, 160u);
    EXPECT_EQ(info.height, 96u);
    EXPECT_EQ(info.audioEncoding, kAudioG711ALaw);

    Decoder decoder;
    int video = 0, audio = 0, keys = 0, decoded = 0;
    uint32_t lastVideoTs = 0;
    for (size_t i = 0; i < sink.frames.size(); ++i) {
        const auto& rec = sink.frames[i];
        ASSERT_GE(rec.size(), sizeof(FrameHeader));
        FrameHeader h;
        std::memcpy(&h, rec.data(), sizeof h);
        ASSERT_EQ(h.dataLength, rec.size() - sizeof h);
        if (h.kind == kFrameKindAudio) {
            ++audio;
            ASSERT_EQ(h.dataLength, kAudioHeaderBytes + 320);
            continue;
        }
        ASSERT_EQ(h.kind, kFrameKindVideo);
        if (video == 0) {
            EXPECT_TRUE(IsKeyFrame(h)) << "a stream starts with a key frame";
        }
        if (video > 0) {
            EXPECT_GE(h.timestampMs, lastVideoTs);
        }
        lastVideoTs = h.timestampMs;
        ++video;
        // Annex-B start code.
        ASSERT_GE(h.dataLength, 4u);
        EXPECT_TRUE(rec[16] == 0 && rec[17] == 0 && (rec[18] == 1 || (rec[18] == 0 && rec[19] == 1)));
        bool key = false;
        int w = 0, hgt = 0;
        int rc = decoder.Decode(rec.data() + sizeof h, h.dataLength, &key, &w, &hgt);
        ASSERT_GE(rc, 0) << "frame " << i << " does not decode";
        if (rc == 1) {
            ++decoded;
            EXPECT_EQ(key, IsKeyFrame(h)) << "frame " << i;
            EXPECT_EQ(w, 160);
            EXPECT_EQ(hgt, 96);
        }
        keys += IsKeyFrame(h);
    }
    EXPECT_GE(video, 60);
    EXPECT_GE(keys, 2);
    EXPECT_GE(decoded, video - 2);
    EXPECT_GE(audio, video - 5);
    // 25 fps: 60 frames take more than two seconds of stream time.
    EXPECT_GE(lastVideoTs, 2000u);
    QVX_SDK_Logout(login);
}

TEST_F(SdkStream, SubStreamAndRefusedRequests) {
    QVX_HANDLE login = LoginTo(kCam);
    StreamSink sink;
    uint32_t request[QVX_REQUEST_WORDS];
    MakeRequest(request, 1, 1, 1);
    QVX_HANDLE stream = 0;
    ASSERT_EQ(QVX_SDK_RealPlay(login, request, &StreamSink::Callback, reinterpret_cast<intptr_t>(&sink), &stream),
              QVX_OK);
    ASSERT_TRUE(WaitUntil([&] { return sink.VideoCount() >= 3; }, 15000));
    {
        std::lock_guard<std::mutex> lock(sink.mutex);
        StreamInfo info;
        std::memcpy(&info, sink.headers.at(0).data(), sizeof info);
        EXPECT_EQ(info.width, 96u);
    }
    EXPECT_EQ(QVX_SDK_StopRealPlay(stream), QVX_OK);
    EXPECT_EQ(QVX_SDK_StopRealPlay(stream), QVX_ERR_HANDLE);

    StreamSink other;  // channel 1's main stream is configured apart from channel 0's
    MakeRequest(request, 1, 0, 3);
    ASSERT_EQ(QVX_SDK_RealPlay(login, request, &StreamSink::Callback, reinterpret_cast<intptr_t>(&other), &stream),
              QVX_OK);
    ASSERT_TRUE(WaitUntil([&] { return other.VideoCount() >= 1; }, 15000));
    EXPECT_EQ(QVX_SDK_StopRealPlay(stream), QVX_OK);
    {
        std::lock_guard<std::mutex> lock(other.mutex);
        StreamInfo info;
        std::memcpy(&info, other.headers.at(0).data(), sizeof info);
        EXPECT_EQ(info.width, 128u);
        EXPECT_EQ(info.height, 72u);
    }

    QVX_HANDLE refused = 0;
    MakeRequest(request, 2, 0, 3);  // the device has two channels
    EXPECT_EQ(QVX_SDK_RealPlay(login, request, &StreamSink::Callback, reinterpret_cast<intptr_t>(&sink), &refused),
              QVX_ERR_DEVICE);
    MakeRequest(request, 0, 2, 3);  // no third stream
    EXPECT_EQ(QVX_SDK_RealPlay(login, request, &StreamSink::Callback, reinterpret_cast<intptr_t>(&sink), &refused),
              QVX_ERR_DEVICE);
    MakeRequest(request, 0, 0, 7);  // not a live stream mode
    EXPECT_EQ(QVX_SDK_RealPlay(login, request, &StreamSink::Callback, reinterpret_cast<intptr_t>(&sink), &refused),
              QVX_ERR_FAILED);
    EXPECT_EQ(QVX_SDK_RealPlay(9999, request, &StreamSink::Callback, 0, &refused), QVX_ERR_HANDLE);
    EXPECT_EQ(refused, 0);
    QVX_SDK_Logout(login);
}

// Callbacks record whether they ran after the stop of their stream returned.
struct StopProbe {
    std::atomic<bool> stopped{false};
    std::atomic<int> afterStop{0};
    std::atomic<int> calls{0};
    std::atomic<int> inside{0};
    bool stopFromCallback = false;
    QVX_HANDLE handle = 0;

    static void Callback(QVX_HANDLE h, int32_t, const uint8_t*, int32_t, intptr_t user) {
        auto* p = reinterpret_cast<StopProbe*>(user);
        p->inside++;
        if (p->stopped) p->afterStop++;
        p->calls++;
        if (p->stopFromCallback && p->calls == 5) {
            QVX_SDK_StopRealPlay(h);
            p->stopped = true;  // no later callback may come either
        }
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        p->inside--;
    }
};

TEST_F(SdkStream, NoCallbackRunsAfterStopRealPlayReturns) {
    QVX_HANDLE login = LoginTo(kCam);
    std::mt19937 rng(7);
    for (int round = 0; round < 4; ++round) {
        std::vector<std::unique_ptr<StopProbe>> probes;
        for (int i = 0; i < 4; ++i) {
            auto p = std::make_unique<StopProbe>();
            p->stopFromCallback = i == 3;
            uint32_t request[QVX_REQUEST_WORDS];
            MakeRequest(request, uint32_t(i % 2), uint32_t(i / 2 % 2), 3);
            ASSERT_EQ(QVX_SDK_RealPlay(login, request, &StopProbe::Callback, reinterpret_cast<intptr_t>(p.get()),
                                       &p->handle),
                      QVX_OK);
            probes.push_back(std::move(p));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100 + rng() % 200));
        // Stop three of them from other threads while frames arrive.
        std::vector<std::thread> stoppers;
        for (int i = 0; i < 3; ++i) {
            stoppers.emplace_back([p = probes[size_t(i)].get()] {
                ASSERT_EQ(QVX_SDK_StopRealPlay(p->handle), QVX_OK);
                EXPECT_EQ(p->inside.load(), 0);
                p->stopped = true;
            });
        }
        for (auto& t : stoppers) t.join();
        ASSERT_TRUE(WaitUntil([&] { return probes[3]->stopped.load(); }, 15000));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        for (auto& p : probes) {
            EXPECT_GT(p->calls.load(), 0);
            EXPECT_EQ(p->afterStop.load(), 0);
        }
        // The stream stopped from its own callback: its handle is gone.
        EXPECT_EQ(QVX_SDK_StopRealPlay(probes[3]->handle), QVX_ERR_HANDLE);
    }
    QVX_SDK_Logout(login);
}

TEST_F(SdkStream, LogoutEndsTheLoginsStreams) {
    QVX_HANDLE login = LoginTo(kCam);
    StopProbe probe;
    uint32_t request[QVX_REQUEST_WORDS];
    MakeRequest(request, 0, 1, 1);
    ASSERT_EQ(QVX_SDK_RealPlay(login, request, &StopProbe::Callback, reinterpret_cast<intptr_t>(&probe), &probe.handle),
              QVX_OK);
    ASSERT_TRUE(WaitUntil([&] { return probe.calls.load() > 3; }, 15000));
    ASSERT_EQ(QVX_SDK_Logout(login), QVX_OK);
    probe.stopped = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(probe.afterStop.load(), 0);
    EXPECT_EQ(QVX_SDK_StopRealPlay(probe.handle), QVX_ERR_HANDLE);
}

TEST_F(SdkStream, CleanupEndsEverythingAndInitStartsAfresh) {
    QVX_HANDLE login = LoginTo(kCam);
    StopProbe probe;
    uint32_t request[QVX_REQUEST_WORDS];
    MakeRequest(request, 1, 0, 3);
    ASSERT_EQ(QVX_SDK_RealPlay(login, request, &StopProbe::Callback, reinterpret_cast<intptr_t>(&probe), &probe.handle),
              QVX_OK);
    ASSERT_TRUE(WaitUntil([&] { return probe.calls.load() > 3; }, 15000));
    ASSERT_EQ(QVX_SDK_Cleanup(), QVX_OK);
    probe.stopped = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(probe.afterStop.load(), 0);
    EXPECT_EQ(QVX_SDK_StopRealPlay(probe.handle), QVX_ERR_NOT_INIT);

    ASSERT_EQ(QVX_SDK_Init(), QVX_OK);
    ASSERT_EQ(QVX_SDK_SetSupervision(200, 1000, 300, 2000), QVX_OK);
    ASSERT_EQ(QVX_SDK_SetExceptionCallBack(0, 0, &ExceptionRecorder::Callback, exceptions_), QVX_OK);
    EXPECT_EQ(QVX_SDK_Logout(login), QVX_ERR_HANDLE);  // handles of the old run are gone
    QVX_HANDLE again = LoginTo(kCam);
    EXPECT_GT(again, 0);
    QVX_SDK_Logout(again);
}

}  // namespace
}  // namespace ocv::test
