// The hand-over of the decoder's own YUV planes to a surface that converts on the GPU: the
// planes of the drawn region are referenced, never copied or converted, they outlive the
// decoder's frame, and whatever cannot be handed over (not 4:2:0, a draw callback that draws on
// the picture) still comes converted to BGRA.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "base/port_slots.h"
#include "player/picture_converter.h"
#include "player/qvx_player.h"
#include "tests/player/test_clip.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace ocv {
namespace {

using player::DisplayLayout;
using player::PixelFormat;
using player::VideoPicture;

// A decoded picture whose every sample tells its plane, row and column.
AVFrame* PatternFrame(AVPixelFormat format, int width, int height) {
    AVFrame* f = av_frame_alloc();
    f->format = format;
    f->width = width;
    f->height = height;
    if (av_frame_get_buffer(f, 0) < 0) {
        av_frame_free(&f);
        return nullptr;
    }
    for (int plane = 0; plane < 3; ++plane) {
        int rows = plane == 0 || format == AV_PIX_FMT_YUV444P ? height : height / 2;
        int cols = plane == 0 || format == AV_PIX_FMT_YUV444P ? width : width / 2;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) f->data[plane][r * f->linesize[plane] + c] = static_cast<uint8_t>(plane * 80 + r + c);
    }
    return f;
}

DisplayLayout Layout(player::PixelRect source, player::PixelRect destination) {
    DisplayLayout layout;
    layout.source = source;
    layout.destination = destination;
    layout.marginX = destination.x;
    layout.marginY = destination.y;
    return layout;
}

TEST(DecodedYuvHandOver, PlanesOfTheRegionAreReferencedAndOutliveTheDecodersFrame) {
    AVFrame* frame = PatternFrame(AV_PIX_FMT_YUV420P, 64, 48);
    ASSERT_NE(frame, nullptr);
    const uint8_t* y0 = frame->data[0];
    const int strideY = frame->linesize[0];
    player::PictureConverter converter;
    auto picture = converter.Convert(*frame, Layout({8, 4, 32, 24}, {10, 5, 100, 80}), PixelFormat::kDecodedYuv,
                                     QVXPLAY_DRAW_FAST);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->format, PixelFormat::kDecodedYuv);
    // The drawn place in the surface, and the planes at the region's own size.
    EXPECT_EQ(picture->x, 10);
    EXPECT_EQ(picture->y, 5);
    EXPECT_EQ(picture->width, 100);
    EXPECT_EQ(picture->height, 80);
    EXPECT_EQ(picture->planeWidth, 32);
    EXPECT_EQ(picture->planeHeight, 24);
    EXPECT_EQ(picture->sourceWidth, 64);
    // Not a copy: the luma plane is the decoder's own buffer, at the region's corner.
    EXPECT_EQ(picture->planes[0], y0 + 4 * strideY + 8);
    EXPECT_FALSE(picture->fullRange);
    EXPECT_FALSE(picture->bt709);

    // The decoder lets go of its frame (and reuses nothing the picture still shows).
    av_frame_free(&frame);
    EXPECT_EQ(picture->planes[0][0], 0 + 4 + 8);
    EXPECT_EQ(picture->planes[1][0], 80 + 2 + 4);  // chroma at half the corner
    EXPECT_EQ(picture->planes[2][picture->strides[2] * 3 + 5], 160 + (2 + 3) + (4 + 5));
    EXPECT_EQ(picture->planes[0][picture->strides[0] * 23 + 31], 4 + 23 + 8 + 31);
}

TEST(DecodedYuvHandOver, ColourDescriptionFollowsTheStreamAndOtherLayoutsComeAsBgra) {
    player::PictureConverter converter;
    AVFrame* full = PatternFrame(AV_PIX_FMT_YUVJ420P, 32, 32);
    ASSERT_NE(full, nullptr);
    full->colorspace = AVCOL_SPC_BT709;
    auto picture = converter.Convert(*full, Layout({0, 0, 32, 32}, {0, 0, 32, 32}), PixelFormat::kDecodedYuv,
                                     QVXPLAY_DRAW_FAST);
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->fullRange);
    EXPECT_TRUE(picture->bt709);
    av_frame_free(&full);

    // 4:4:4 has no hand-over: converted for the surface as BGRA at the drawn size.
    AVFrame* other = PatternFrame(AV_PIX_FMT_YUV444P, 32, 32);
    ASSERT_NE(other, nullptr);
    picture = converter.Convert(*other, Layout({0, 0, 32, 32}, {2, 0, 28, 32}), PixelFormat::kDecodedYuv,
                                QVXPLAY_DRAW_FAST);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->format, PixelFormat::kBgra32);
    EXPECT_EQ(picture->width, 28);
    EXPECT_EQ(picture->x, 2);
    EXPECT_EQ(picture->decodedFrame, nullptr);
    av_frame_free(&other);

    // A region with an odd corner would split chroma samples: refused rather than shifted.
    AVFrame* odd = PatternFrame(AV_PIX_FMT_YUV420P, 32, 32);
    EXPECT_EQ(converter.Convert(*odd, Layout({1, 0, 16, 16}, {0, 0, 32, 32}), PixelFormat::kDecodedYuv,
                                QVXPLAY_DRAW_FAST),
              nullptr);
    av_frame_free(&odd);
}

// A surface that asks for the decoder's planes, as the OpenGL one does.
class YuvSurface : public player::VideoSurface {
public:
    player::SurfaceFormat CurrentFormat() const override { return {200, 150, PixelFormat::kDecodedYuv}; }
    void PictureReady() override {
        auto p = TakePicture();
        std::lock_guard lock(mutex);
        if (p) pictures.push_back(std::move(p));
    }
    std::mutex mutex;
    std::vector<std::shared_ptr<const VideoPicture>> pictures;
};

std::atomic<int> gDrawCalls{0};
void CountDraw(int, QVXPlayDrawContext*, int, int, int, int, int, int, intptr_t) { gDrawCalls.fetch_add(1); }

// A decoding port hands the surface its decoded pictures, held while the port decodes on; a
// draw callback gets BGRA it may draw on, never the decoder's planes.
TEST(DecodedYuvHandOver, PortHandsDecodedPicturesToTheSurfaceAndBgraToADrawCallback) {
    const int number = TakePort();
    ASSERT_GE(number, 0);
    int port = 0;
    ASSERT_EQ(QVXPlay_InitV2(&port, number), 0);
    auto surface = std::make_shared<YuvSurface>();
    ASSERT_EQ(QVXPlay_SetDrawWnd(port, surface.get()), 0);
    StreamInfo info = test::MakeStreamInfo(96, 64);
    ASSERT_EQ(QVXPlay_OpenStream(port, &info, sizeof info), 0);
    ASSERT_EQ(QVXPlay_Play(port), 0);
    const auto clip = test::MakeH264Clip(96, 64, 24, 6);
    auto feed = [&](size_t from, size_t to, uint32_t* ts) {
        for (size_t i = from; i < to; ++i) {
            auto record = test::MakeVideoRecord(clip[i], *ts);
            *ts += 40;
            ASSERT_EQ(QVXPlay_InputVideoData(port, record.data(), static_cast<int>(record.size())), 0);
        }
    };
    auto count = [&] {
        std::lock_guard lock(surface->mutex);
        return surface->pictures.size();
    };
    auto waitFor = [&](size_t n) {
        for (int i = 0; i < 500 && count() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return count() >= n;
    };
    uint32_t ts = 0;
    feed(0, 12, &ts);
    ASSERT_TRUE(waitFor(6));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const size_t handedOver = count();
    {
        std::lock_guard lock(surface->mutex);
        for (const auto& p : surface->pictures) {
            ASSERT_EQ(p->format, PixelFormat::kDecodedYuv);
            EXPECT_EQ(p->planeWidth, 96);
            EXPECT_EQ(p->planeHeight, 64);
            EXPECT_GT(p->width, 0);
            EXPECT_LE(p->x + p->width, 200);
        }
        // Distinct pictures: the decoder did not hand over one buffer again and again.
        EXPECT_NE(surface->pictures.front()->planes[0], surface->pictures.back()->planes[0]);
    }
    ASSERT_EQ(QVXPlay_RegisterDrawFun(port, CountDraw, 0), 0);
    feed(12, 24, &ts);
    ASSERT_TRUE(waitFor(handedOver + 6));
    {
        std::lock_guard lock(surface->mutex);
        EXPECT_EQ(surface->pictures.back()->format, PixelFormat::kBgra32);
    }
    EXPECT_GT(gDrawCalls.load(), 0);
    EXPECT_EQ(QVXPlay_DeInit(port), 0);
    ReleasePort(number);
    // Every kept picture of the decoder is still readable after the port went (the
    // sanitizers check the reads).
    std::lock_guard lock(surface->mutex);
    unsigned sum = 0;
    for (size_t i = 0; i < handedOver; ++i) {
        const VideoPicture& p = *surface->pictures[i];
        for (int row = 0; row < 64; ++row) sum += p.planes[0][row * p.strides[0] + 95];
        for (int row = 0; row < 32; ++row) sum += p.planes[1][row * p.strides[1] + 47] + p.planes[2][row * p.strides[2]];
    }
    EXPECT_GT(sum, 0u);
}

}  // namespace
}  // namespace ocv
