// A player port end to end: frame records in, pictures out of a memory surface.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstring>
#include <filesystem>

#include "player/audio_output.h"
#include "player/player_statistics.h"
#include "player/port_options.h"
#include "player/qvx_player.h"
#include "base/port_slots.h"
#include "tests/player/test_clip.h"
#include "tests/support/temp_dir.h"

namespace ocv::player {
namespace {

using test::EncodedPicture;
using test::MemorySurface;
using test::WaitFor;

const std::vector<EncodedPicture>& Clip64() {
    static const auto clip = test::MakeH264Clip(64, 48, 30, 10);
    return clip;
}
const std::vector<EncodedPicture>& Clip96() {
    static const auto clip = test::MakeH264Clip(96, 64, 20, 10);
    return clip;
}

PortStatistics Stats(int port) {
    PortStatistics s;
    EXPECT_EQ(GetPortStatistics(port, &s), 0);
    return s;
}

class PlayerPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Clip64().size(), 30u);
        portNumber_ = TakePort();
        ASSERT_GE(portNumber_, 0);
        ASSERT_EQ(QVXPlay_InitV2(&port_, portNumber_), 0);
        ASSERT_GT(port_, 0);
    }
    void TearDown() override {
        EXPECT_EQ(QVXPlay_DeInit(port_), 0);
        ReleasePort(portNumber_);
    }
    // The default header of a cell: 352 x 288 announced, whatever the stream really is.
    void OpenAndPlay() {
        StreamInfo info{};
        info.width = 352;
        info.height = 288;
        ASSERT_EQ(QVXPlay_OpenStream(port_, &info, sizeof info), 0);
        ASSERT_EQ(QVXPlay_Play(port_), 0);
    }
    void Feed(const std::vector<EncodedPicture>& clip, size_t from, size_t to,
              uint32_t firstTimestamp = 0, uint32_t stepMs = 40, int extensionBlocks = 0) {
        for (size_t i = from; i < to; ++i) {
            auto record = test::MakeVideoRecord(
                clip[i], firstTimestamp + static_cast<uint32_t>(i - from) * stepMs, extensionBlocks);
            ASSERT_EQ(QVXPlay_InputVideoData(port_, record.data(), static_cast<int>(record.size())), 0);
        }
    }
    bool WaitDecoded(uint64_t n) {
        return WaitFor([&] { return Stats(port_).decodedPictures >= n; });
    }
    bool WaitPresented(uint64_t n) {
        return WaitFor([&] { return Stats(port_).presentedPictures >= n; });
    }

    // Surfaces outlive the port's teardown, as a bound window must.
    MemorySurface& MakeSurface(int width, int height, PixelFormat format = PixelFormat::kBgra32) {
        surfaces_.push_back(std::make_unique<MemorySurface>(width, height, format));
        return *surfaces_.back();
    }

    std::vector<std::unique_ptr<MemorySurface>> surfaces_;
    int portNumber_ = -1;
    int port_ = 0;
};

TEST_F(PlayerPortTest, DecodesEveryPictureIntoTheSurfaceSize) {
    MemorySurface& surface = MakeSurface(40, 30);
    ASSERT_EQ(QVXPlay_SetDrawWnd(port_, &surface), 0);
    OpenAndPlay();
    Feed(Clip64(), 0, 30, 5000, 40, /*extensionBlocks=*/2);
    ASSERT_TRUE(WaitPresented(30));
    PortStatistics s = Stats(port_);
    EXPECT_EQ(s.decodedPictures, 30u);
    EXPECT_EQ(s.decodeErrors, 0u);
    EXPECT_EQ(s.pictureWidth, 64);
    EXPECT_EQ(s.pictureHeight, 48);
    auto pictures = surface.Pictures();
    ASSERT_EQ(pictures.size(), 30u);
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i]->width, 40);
        EXPECT_EQ(pictures[i]->height, 30);
        EXPECT_EQ(pictures[i]->sourceWidth, 64);
        EXPECT_EQ(pictures[i]->sequence, i + 1);
        EXPECT_EQ(pictures[i]->timestampMs, 5000 + 40 * i);
        EXPECT_EQ(pictures[i]->format, PixelFormat::kBgra32);
        EXPECT_GE(pictures[i]->strides[0], 40 * 4);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(pictures[i]->planes[0]) % 64, 0u);
    }
    // The picture follows a resized surface at once.
    surface.Resize(20, 10);
    Feed(Clip64(), 0, 10, 10000);
    ASSERT_TRUE(WaitPresented(40));
    EXPECT_EQ(surface.Pictures().back()->width, 20);
    EXPECT_EQ(surface.Pictures().back()->height, 10);
}

// The loop filter is left out only while pictures are drawn at less than half their size, only
// as far as the setting says, never for pictures that are not drawn; the pictures stay clean.
TEST_F(PlayerPortTest, SmallPictureShortcutOnlyWhereThePictureIsDrawnBelowHalfSize) {
    EXPECT_EQ(SetSmallPictureShortcut(port_, static_cast<SmallPictureShortcut>(3)), -1);
    EXPECT_EQ(SetSmallPictureShortcut(-5, SmallPictureShortcut::kNone), -1);
    MemorySurface& surface = MakeSurface(40, 30);  // 96 x 64 pictures: 80 < 96, 60 < 64
    ASSERT_EQ(QVXPlay_SetDrawWnd(port_, &surface), 0);
    ASSERT_EQ(SetSmallPictureShortcut(port_, SmallPictureShortcut::kAllButKey), 0);
    OpenAndPlay();
    Feed(Clip96(), 0, 20);
    ASSERT_TRUE(WaitPresented(20));
    PortStatistics s = Stats(port_);
    EXPECT_EQ(s.decodeErrors, 0u);
    EXPECT_EQ(s.shortcutDecodes, 19u);  // all but the first, whose size was not known yet
    // At half size or more in either direction: the whole decoding again.
    surface.Resize(48, 30);
    Feed(Clip96(), 0, 20, 1000);
    ASSERT_TRUE(WaitPresented(40));
    EXPECT_LE(Stats(port_).shortcutDecodes, 20u);  // the picture in flight at the resize
    uint64_t before = Stats(port_).shortcutDecodes;
    Feed(Clip96(), 0, 10, 2000);
    ASSERT_TRUE(WaitPresented(50));
    EXPECT_EQ(Stats(port_).shortcutDecodes, before);
    // Small again, but not drawn (captures keep their detail), or the setting off.
    surface.Resize(40, 30);
    ASSERT_EQ(QVXPlay_SetDrawEnable(port_, 0), 0);
    Feed(Clip96(), 0, 10, 3000);
    ASSERT_TRUE(WaitDecoded(60));
    EXPECT_EQ(Stats(port_).shortcutDecodes, before);
    ASSERT_EQ(QVXPlay_SetDrawEnable(port_, 1), 0);
    ASSERT_EQ(SetSmallPictureShortcut(port_, SmallPictureShortcut::kNone), 0);
    Feed(Clip96(), 0, 10, 4000);
    ASSERT_TRUE(WaitPresented(60));
    EXPECT_EQ(Stats(port_).shortcutDecodes, before);
    EXPECT_EQ(Stats(port_).decodeErrors, 0u);
}

TEST_F(PlayerPortTest, FollowsAResolutionChangeMidStream) {
    MemorySurface& surface = MakeSurface(32, 32, PixelFormat::kI420);
    QVXPlay_SetDrawWnd(port_, &surface);
    OpenAndPlay();
    Feed(Clip64(), 0, 20);
    Feed(Clip96(), 0, 20, 800);
    ASSERT_TRUE(WaitPresented(40));
    auto pictures = surface.Pictures();
    ASSERT_EQ(pictures.size(), 40u);
    EXPECT_EQ(pictures[19]->sourceWidth, 64);
    EXPECT_EQ(pictures[20]->sourceWidth, 96);
    EXPECT_EQ(pictures[20]->sourceHeight, 64);
    EXPECT_NE(pictures[20]->planes[2], nullptr);
    EXPECT_EQ(Stats(port_).decodeErrors, 0u);
}

TEST_F(PlayerPortTest, ResumeRestartsOnlyAtAKeyFrame) {
    MemorySurface& surface = MakeSurface(32, 24);
    QVXPlay_SetDrawWnd(port_, &surface);
    OpenAndPlay();
    Feed(Clip64(), 0, 5, 0);
    ASSERT_TRUE(WaitPresented(5));
    ASSERT_EQ(QVXPlay_PauseDecoder(port_), 0);
    ASSERT_EQ(QVXPlay_PauseDecoder(port_), 0);  // again, as every frame of a hidden cell does
    for (size_t i = 5; i < 8; ++i) {
        auto r = test::MakeVideoRecord(Clip64()[i], static_cast<uint32_t>(i * 40));
        EXPECT_EQ(QVXPlay_InputVideoData(port_, r.data(), static_cast<int>(r.size())), 0);
    }
    ASSERT_EQ(QVXPlay_ResumeDecoder(port_), 0);
    // Pictures 8 and 9 depend on the discarded ones; 10 is the next key frame.
    ASSERT_FALSE(Clip64()[8].keyFrame);
    ASSERT_TRUE(Clip64()[10].keyFrame);
    for (size_t i = 8; i < 13; ++i) {
        auto r = test::MakeVideoRecord(Clip64()[i], static_cast<uint32_t>(i * 40));
        ASSERT_EQ(QVXPlay_InputVideoData(port_, r.data(), static_cast<int>(r.size())), 0);
    }
    ASSERT_TRUE(WaitPresented(8));
    auto pictures = surface.Pictures();
    ASSERT_EQ(pictures.size(), 8u);
    EXPECT_EQ(pictures[4]->timestampMs, 4u * 40);
    EXPECT_EQ(pictures[5]->timestampMs, 10u * 40);  // the first picture after the pause
    EXPECT_EQ(pictures[7]->timestampMs, 12u * 40);
    PortStatistics s = Stats(port_);
    EXPECT_EQ(s.decodedPictures, 8u);
    EXPECT_EQ(s.framesDiscarded, 5u);  // three while paused, two waiting for the key frame
    EXPECT_EQ(s.decodeErrors, 0u);
}

TEST_F(PlayerPortTest, ResetDropsBufferedPicturesAndTheCapturePicture) {
    test::TempDir dir;
    MemorySurface& surface = MakeSurface(32, 24);
    surface.Hold(true);
    QVXPlay_SetDrawWnd(port_, &surface);
    ASSERT_EQ(QVXPlay_SetPlayerBufNumber(port_, 20), 0);
    OpenAndPlay();
    // 1.5 s apart: the first is drawn at once, the others wait for their time.
    Feed(Clip64(), 0, 6, 0, 1500);
    ASSERT_TRUE(WaitDecoded(6));
    ASSERT_TRUE(WaitFor([&] { return Stats(port_).scheduledPictures == 5; }));
    EXPECT_EQ(Stats(port_).presentedPictures, 1u);

    ASSERT_EQ(QVXPlay_ResetSourceBuffer(port_), 0);
    EXPECT_EQ(surface.TakePicture(), nullptr);  // the picture waiting in the surface went too
    EXPECT_EQ(QVXPlay_Capture(port_, (dir / "a.bmp").c_str(), 1, 100), -2);
    EXPECT_FALSE(std::filesystem::exists(dir / "a.bmp"));
    ASSERT_TRUE(WaitFor([&] { return Stats(port_).scheduledPictures == 0; }));
    EXPECT_EQ(Stats(port_).presentedPictures, 1u);

    // After the reset only a key frame starts decoding again.
    ASSERT_EQ(QVXPlay_SetPlayerBufNumber(port_, 0), 0);
    Feed(Clip64(), 11, 13, 90000);
    Feed(Clip64(), 20, 22, 95000);
    ASSERT_TRUE(WaitPresented(3));
    EXPECT_EQ(Stats(port_).decodedPictures, 8u);
    EXPECT_EQ(surface.TakePicture()->timestampMs, 95040u);
}

TEST_F(PlayerPortTest, BufferedPicturesAllArriveInOrder) {
    MemorySurface& surface = MakeSurface(16, 16);
    QVXPlay_SetDrawWnd(port_, &surface);
    EXPECT_EQ(QVXPlay_SetPlayerBufNumber(port_, -1), -1);
    ASSERT_EQ(QVXPlay_SetPlayerBufNumber(port_, 4), 0);
    OpenAndPlay();
    Feed(Clip64(), 0, 20, 0, 10);
    ASSERT_TRUE(WaitPresented(20));
    auto pictures = surface.Pictures();
    ASSERT_EQ(pictures.size(), 20u);
    for (size_t i = 0; i < pictures.size(); ++i) EXPECT_EQ(pictures[i]->sequence, i + 1);
}

TEST_F(PlayerPortTest, SlowSurfaceGetsTheNewestPictureOnly) {
    MemorySurface& surface = MakeSurface(16, 16);
    surface.Hold(true);
    QVXPlay_SetDrawWnd(port_, &surface);
    OpenAndPlay();
    Feed(Clip64(), 0, 30);
    ASSERT_TRUE(WaitPresented(30));
    auto newest = surface.TakePicture();
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->sequence, 30u);
    EXPECT_EQ(surface.DroppedPictureCount(), 29u);
    EXPECT_EQ(surface.TakePicture(), nullptr);
    EXPECT_EQ(surface.ReadyCount(), 30);
}

struct OverlayCall {
    int port = 0, pw = 0, ph = 0, ww = 0, wh = 0, mx = 0, my = 0;
    int contextWidth = 0, contextHeight = 0, contextFormat = -1;
    intptr_t user = 0;
    int calls = 0;
};
std::mutex overlayMutex;
OverlayCall lastOverlay;

void RecordOverlay(int port, QVXPlayDrawContext* c, int pw, int ph, int ww, int wh, int mx,
                   int my, intptr_t user) {
    // Mark the top-left pixel so the test sees that the drawing reached the surface.
    c->planes[0][0] = 1;
    c->planes[0][1] = 2;
    c->planes[0][2] = 3;
    std::lock_guard lock(overlayMutex);
    int calls = lastOverlay.calls + 1;
    lastOverlay = OverlayCall{port, pw, ph, ww, wh, mx, my, c->width, c->height, c->pixelFormat,
                              user, calls};
}

OverlayCall Overlay() {
    std::lock_guard lock(overlayMutex);
    return lastOverlay;
}

TEST_F(PlayerPortTest, DisplayModeRegionAndOverlayGeometry) {
    {
        std::lock_guard lock(overlayMutex);
        lastOverlay = OverlayCall{};
    }
    MemorySurface& surface = MakeSurface(200, 100);
    QVXPlay_SetDrawWnd(port_, &surface);
    ASSERT_EQ(QVXPlay_RegisterDrawFun(port_, &RecordOverlay, 17), 0);
    EXPECT_EQ(QVXPlay_GetDisplayMode(port_), QVXPLAY_DISPLAY_STRETCH);
    EXPECT_EQ(QVXPlay_SetDisplayMode(port_, 2), -1);
    ASSERT_EQ(QVXPlay_SetDisplayMode(port_, QVXPLAY_DISPLAY_KEEP), 0);
    EXPECT_EQ(QVXPlay_GetDisplayMode(port_), QVXPLAY_DISPLAY_KEEP);
    OpenAndPlay();
    Feed(Clip64(), 0, 1);
    ASSERT_TRUE(WaitPresented(1));
    // 64 x 48 kept in 200 x 100: 133.3 x 100 drawn, margins of 33 on both sides.
    OverlayCall o = Overlay();
    EXPECT_EQ(o.port, port_);
    EXPECT_EQ(o.user, 17);
    EXPECT_EQ(o.pw, 64);
    EXPECT_EQ(o.ph, 48);
    EXPECT_EQ(o.ww, 200);
    EXPECT_EQ(o.wh, 100);
    EXPECT_EQ(o.mx, 33);
    EXPECT_EQ(o.my, 0);
    EXPECT_EQ(o.contextWidth, 200 - 2 * 33);
    EXPECT_EQ(o.contextHeight, 100);
    EXPECT_EQ(o.contextFormat, QVXPLAY_PIXEL_BGRA32);
    auto picture = surface.Pictures().back();
    EXPECT_EQ(picture->x, 33);
    EXPECT_EQ(picture->width, 134);
    EXPECT_EQ(picture->planes[0][0], 1);
    EXPECT_EQ(picture->planes[0][2], 3);

    // Zoom on the left half of the picture: stretched over the whole surface.
    QVXPlayRect half{0, 0, 32, 48};
    ASSERT_EQ(QVXPlay_SetDisplayRegion(port_, &half), 0);
    Feed(Clip64(), 1, 2, 40);
    ASSERT_TRUE(WaitPresented(2));
    o = Overlay();
    EXPECT_EQ(o.pw, 64);  // always the whole picture's size
    EXPECT_EQ(o.mx, 0);
    EXPECT_EQ(o.my, 0);
    EXPECT_EQ(surface.Pictures().back()->width, 200);
    EXPECT_EQ(surface.Pictures().back()->height, 100);

    // Stretched without zoom: the whole surface too.
    ASSERT_EQ(QVXPlay_SetDisplayRegion(port_, nullptr), 0);
    ASSERT_EQ(QVXPlay_SetDisplayMode(port_, QVXPLAY_DISPLAY_STRETCH), 0);
    Feed(Clip64(), 2, 3, 80);
    ASSERT_TRUE(WaitPresented(3));
    o = Overlay();
    EXPECT_EQ(o.mx, 0);
    EXPECT_EQ(o.my, 0);
    EXPECT_EQ(surface.Pictures().back()->width, 200);
    EXPECT_EQ(surface.Pictures().back()->height, 100);

    // Back to the whole picture, kept in proportion.
    ASSERT_EQ(QVXPlay_SetDisplayMode(port_, QVXPLAY_DISPLAY_KEEP), 0);
    ASSERT_EQ(QVXPlay_SetDisplayRegion(port_, nullptr), 0);
    ASSERT_EQ(QVXPlay_SetDrawMode(port_, QVXPLAY_DRAW_SMOOTH), 0);
    EXPECT_EQ(QVXPlay_SetDrawMode(port_, 2), -1);
    Feed(Clip64(), 3, 4, 120);
    ASSERT_TRUE(WaitPresented(4));
    EXPECT_EQ(Overlay().mx, 33);
    EXPECT_EQ(Overlay().calls, 4);
}

TEST_F(PlayerPortTest, DrawDisabledStillDecodesAndUnboundSurfaceIsLeftAlone) {
    MemorySurface& surface = MakeSurface(16, 16);
    QVXPlay_SetDrawWnd(port_, &surface);
    ASSERT_EQ(QVXPlay_SetDrawEnable(port_, 0), 0);
    EXPECT_EQ(QVXPlay_SetDrawEnable(port_, 5), -1);
    OpenAndPlay();
    Feed(Clip64(), 0, 5);
    ASSERT_TRUE(WaitDecoded(5));
    EXPECT_EQ(surface.ReadyCount(), 0);
    ASSERT_EQ(QVXPlay_SetDrawEnable(port_, 1), 0);
    Feed(Clip64(), 5, 10, 200);
    ASSERT_TRUE(WaitPresented(5));
    ASSERT_EQ(QVXPlay_SetDrawWnd(port_, nullptr), 0);
    int before = surface.ReadyCount();
    Feed(Clip64(), 10, 20, 400);
    ASSERT_TRUE(WaitDecoded(20));
    EXPECT_EQ(surface.ReadyCount(), before);
}

TEST_F(PlayerPortTest, CaptureWritesJpegAndBmpAtFullSize) {
    test::TempDir dir;
    const std::string jpg = dir / "shot.jpg";
    const std::string bmp = dir / "shot.bmp";
    EXPECT_EQ(QVXPlay_Capture(port_, jpg.c_str(), 0, 100), -2);
    EXPECT_FALSE(std::filesystem::exists(jpg));
    // A surface at the picture's own size: its BGRA pixels must match the capture.
    MemorySurface& surface = MakeSurface(96, 64, PixelFormat::kBgra32);
    QVXPlay_SetDrawWnd(port_, &surface);
    OpenAndPlay();
    Feed(Clip96(), 0, 3);
    ASSERT_TRUE(WaitPresented(3));

    ASSERT_EQ(QVXPlay_Capture(port_, jpg.c_str(), 0, 100), 0);
    std::string jpeg = test::ReadText(jpg);
    tjhandle d = tjInitDecompress();
    int w = 0, h = 0, sub = 0, cs = 0;
    ASSERT_EQ(tjDecompressHeader3(d, reinterpret_cast<const unsigned char*>(jpeg.data()),
                                  jpeg.size(), &w, &h, &sub, &cs),
              0);
    std::vector<unsigned char> rgb(96 * 64 * 3);
    EXPECT_EQ(tjDecompress2(d, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(),
                            rgb.data(), 96, 0, 64, TJPF_RGB, 0),
              0);
    tjDestroy(d);
    EXPECT_EQ(w, 96);
    EXPECT_EQ(h, 64);

    ASSERT_EQ(QVXPlay_Capture(port_, bmp.c_str(), 1, 100), 0);
    std::string b = test::ReadText(bmp);
    ASSERT_EQ(b.size(), 54u + 96u * 3u * 64u);  // 288-byte rows need no padding
    int32_t bw, bh;
    uint16_t bpp;
    std::memcpy(&bw, b.data() + 18, 4);
    std::memcpy(&bh, b.data() + 22, 4);
    std::memcpy(&bpp, b.data() + 28, 2);
    EXPECT_EQ(bw, 96);
    EXPECT_EQ(bh, 64);
    EXPECT_EQ(bpp, 24);
    // Same picture in both files: BMP rows bottom-up in B,G,R order, JPEG top-down R,G,B.
    for (auto [x, y] : {std::pair{3, 2}, std::pair{50, 30}, std::pair{90, 60}}) {
        const unsigned char* j = &rgb[(y * 96 + x) * 3];
        const unsigned char* m = reinterpret_cast<const unsigned char*>(b.data()) + 54 +
                                 (63 - y) * 96 * 3 + x * 3;
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(j[c], m[2 - c], 12) << x << "," << y << " channel " << c;
        const uint8_t* s = surface.Pictures().back()->planes[0] +
                           y * surface.Pictures().back()->strides[0] + x * 4;
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(j[c], s[2 - c], 12) << x << "," << y << " surface " << c;
        EXPECT_EQ(s[3], 255);
    }

    EXPECT_EQ(QVXPlay_Capture(port_, (dir / "q.jpg").c_str(), 0, 0), -1);
    EXPECT_EQ(QVXPlay_Capture(port_, (dir / "missing/x.jpg").c_str(), 0, 100), -1);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_EQ(QVXPlay_Capture(port_, nullptr, 1, 100), -1);
    EXPECT_EQ(QVXPlay_Capture(port_, "", 1, 100), -1);
}

class RecordingOutput : public AudioOutput {
public:
    struct Log {
        std::mutex mutex;
        std::vector<int16_t> samples;
        int starts = 0, stops = 0, rate = 0, channels = 0, made = 0;
    };
    explicit RecordingOutput(std::shared_ptr<Log> log) : log_(std::move(log)) {}
    int Start(int sampleRate, int channels) override {
        std::lock_guard lock(log_->mutex);
        ++log_->starts;
        log_->rate = sampleRate;
        log_->channels = channels;
        return 0;
    }
    void Write(const int16_t* samples, size_t count) override {
        std::lock_guard lock(log_->mutex);
        log_->samples.insert(log_->samples.end(), samples, samples + count);
    }
    void Stop() override {
        std::lock_guard lock(log_->mutex);
        ++log_->stops;
    }

private:
    std::shared_ptr<Log> log_;
};

TEST_F(PlayerPortTest, SoundDecodesG711IntoTheApplicationsOutput) {
    auto log = std::make_shared<RecordingOutput::Log>();
    SetAudioOutputFactory([log] {
        std::lock_guard lock(log->mutex);
        ++log->made;
        return std::make_unique<RecordingOutput>(log);
    });
    OpenAndPlay();
    EXPECT_EQ(QVXPlay_GetSoundState(port_), QVXPLAY_SOUND_CLOSED);
    auto alaw = test::MakeAudioRecord({0xD5, 0x55, 0xAA}, 0);
    // Sound closed: taken and thrown away.
    EXPECT_EQ(QVXPlay_InputAudioData(port_, alaw.data(), static_cast<int>(alaw.size())), 0);

    QVXPlayAudioAttr attr{kAudioG711ALaw, 8000, 1, 0};
    ASSERT_EQ(QVXPlay_SetAudioAttr(port_, &attr), 0);
    ASSERT_EQ(QVXPlay_OpenSound(port_), 0);
    ASSERT_EQ(QVXPlay_OpenSound(port_), 0);  // twice: still one output
    EXPECT_EQ(QVXPlay_GetSoundState(port_), QVXPLAY_SOUND_PLAYING);
    ASSERT_EQ(QVXPlay_InputAudioData(port_, alaw.data(), static_cast<int>(alaw.size())), 0);
    ASSERT_TRUE(WaitFor([&] { return Stats(port_).audioFramesPlayed == 1; }));

    QVXPlayAudioAttr mulaw{kAudioG711MuLaw, 16000, 1, 0};
    QVXPlay_SetAudioAttr(port_, &mulaw);
    auto mu = test::MakeAudioRecord({0xFF, 0x80}, 20);
    ASSERT_EQ(QVXPlay_InputAudioData(port_, mu.data(), static_cast<int>(mu.size())), 0);
    ASSERT_TRUE(WaitFor([&] { return Stats(port_).audioFramesPlayed == 2; }));

    // An encoding the player does not know is dropped without reaching the output.
    QVXPlayAudioAttr adpcm{kAudioAdpcm2Bit, 8000, 1, 0};
    QVXPlay_SetAudioAttr(port_, &adpcm);
    ASSERT_EQ(QVXPlay_InputAudioData(port_, mu.data(), static_cast<int>(mu.size())), 0);
    auto truncated = mu;
    truncated.resize(18);  // header announces 6 bytes of data, 2 are there
    EXPECT_EQ(QVXPlay_InputAudioData(port_, truncated.data(), static_cast<int>(truncated.size())), -1);

    ASSERT_EQ(QVXPlay_CloseSound(port_), 0);
    EXPECT_EQ(QVXPlay_GetSoundState(port_), QVXPLAY_SOUND_CLOSED);
    SetAudioOutputFactory(nullptr);
    std::lock_guard lock(log->mutex);
    EXPECT_EQ(log->made, 1);
    EXPECT_EQ(log->samples, (std::vector<int16_t>{8, -8, 32256, 0, 32124}));
    EXPECT_EQ(log->starts, 2);  // 8000 Hz, then restarted at 16000 Hz
    EXPECT_EQ(log->rate, 16000);
    EXPECT_EQ(log->stops, 2);
    EXPECT_EQ(Stats(port_).audioFramesDiscarded, 2u);
}

TEST(PlayerHandles, PortNumbersHandlesAndOrderOfCalls) {
    int handle = 0;
    EXPECT_EQ(QVXPlay_InitV2(&handle, -1), -1);
    EXPECT_EQ(QVXPlay_InitV2(&handle, 256), -1);
    EXPECT_EQ(QVXPlay_InitV2(nullptr, 3), -1);
    ASSERT_EQ(QVXPlay_InitV2(&handle, 255), 0);
    int second = 0;
    EXPECT_EQ(QVXPlay_InitV2(&second, 255), -2);
    EXPECT_EQ(second, 0);

    // Nothing to play before a stream is opened; no input before playing.
    auto record = test::MakeVideoRecord(Clip64()[0], 0);
    EXPECT_EQ(QVXPlay_Play(handle), -1);
    EXPECT_EQ(QVXPlay_InputVideoData(handle, record.data(), static_cast<int>(record.size())), -1);
    StreamInfo info = test::MakeStreamInfo(64, 48);
    EXPECT_EQ(QVXPlay_OpenStream(handle, &info, 27), -1);
    info.videoCodec = 7;
    EXPECT_EQ(QVXPlay_OpenStream(handle, &info, 28), -1);
    info.videoCodec = kVideoCodecH264;
    ASSERT_EQ(QVXPlay_OpenStream(handle, &info, 28), 0);
    ASSERT_EQ(QVXPlay_Play(handle), 0);
    EXPECT_EQ(QVXPlay_Play(handle), 0);
    EXPECT_EQ(QVXPlay_InputVideoData(handle, record.data(), static_cast<int>(record.size())), 0);
    EXPECT_EQ(QVXPlay_InputVideoData(handle, record.data(), 15), -1);
    EXPECT_EQ(QVXPlay_InputVideoData(handle, record.data(), static_cast<int>(record.size()) - 1), -1);
    EXPECT_EQ(QVXPlay_InputVideoData(handle, nullptr, 100), -1);
    ASSERT_EQ(QVXPlay_Stop(handle), 0);
    EXPECT_EQ(QVXPlay_InputVideoData(handle, record.data(), static_cast<int>(record.size())), -1);
    ASSERT_EQ(QVXPlay_Play(handle), 0);  // the stream stays open across a stop

    ASSERT_EQ(QVXPlay_DeInit(handle), 0);
    EXPECT_EQ(QVXPlay_DeInit(handle), -1);
    EXPECT_EQ(QVXPlay_Play(handle), -1);
    EXPECT_EQ(QVXPlay_GetSoundState(handle), -1);
    EXPECT_EQ(QVXPlay_GetDisplayMode(handle), -1);
    // The same number again: a new handle; the old one stays dead.
    int again = 0;
    ASSERT_EQ(QVXPlay_InitV2(&again, 255), 0);
    EXPECT_NE(again, handle);
    EXPECT_EQ(QVXPlay_SetDisplayMode(handle, 1), -1);
    EXPECT_EQ(QVXPlay_SetDisplayMode(again, 1), 0);
    EXPECT_EQ(QVXPlay_DeInit(again), 0);
    EXPECT_EQ(QVXPlay_SetDisplayMode(0, 1), -1);
    EXPECT_EQ(QVXPlay_SetDisplayMode(-5, 1), -1);
}

TEST(PlayerConcurrency, ControlCallsRaceWithInputAndTeardown) {
    int port = 0;
    ASSERT_EQ(QVXPlay_InitV2(&port, 200), 0);
    MemorySurface a(24, 16), b(16, 24);
    StreamInfo info = test::MakeStreamInfo(64, 48);
    ASSERT_EQ(QVXPlay_OpenStream(port, &info, 28), 0);
    ASSERT_EQ(QVXPlay_Play(port), 0);
    std::atomic<bool> running{true};
    auto feeder = [&](uint32_t offset) {
        uint32_t ts = offset;
        while (running) {
            for (const auto& p : Clip64()) {
                auto r = test::MakeVideoRecord(p, ts += 40);
                QVXPlay_InputVideoData(port, r.data(), static_cast<int>(r.size()));
                auto audio = test::MakeAudioRecord(std::vector<uint8_t>(160, 0xD5), ts);
                QVXPlay_InputAudioData(port, audio.data(), static_cast<int>(audio.size()));
            }
        }
    };
    std::thread f1(feeder, 0), f2(feeder, 100000);
    QVXPlayAudioAttr attr{kAudioG711ALaw, 8000, 1, 0};
    QVXPlay_SetAudioAttr(port, &attr);
    for (int i = 0; i < 200; ++i) {
        QVXPlay_SetDrawWnd(port, i % 2 ? &a : &b);
        QVXPlay_SetDisplayMode(port, i % 2);
        QVXPlayRect r{i % 30, 0, 40, 40};
        QVXPlay_SetDisplayRegion(port, i % 3 ? &r : nullptr);
        QVXPlay_SetPlayerBufNumber(port, i % 4);
        if (i % 5 == 0) QVXPlay_PauseDecoder(port);
        if (i % 5 == 2) QVXPlay_ResumeDecoder(port);
        if (i % 7 == 0) QVXPlay_ResetSourceBuffer(port);
        if (i % 11 == 0) QVXPlay_OpenSound(port);
        if (i % 13 == 0) QVXPlay_CloseSound(port);
        if (i % 17 == 0) {
            QVXPlay_Stop(port);
            QVXPlay_Play(port);
        }
        a.TakePicture();
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    QVXPlay_ResumeDecoder(port);
    // Still decoding after all that.
    uint64_t before = Stats(port).decodedPictures;
    EXPECT_TRUE(WaitFor([&] { return Stats(port).decodedPictures > before + 10; }));
    // Tear down while the feeders are still pushing.
    ASSERT_EQ(QVXPlay_DeInit(port), 0);
    int presentedA = a.ReadyCount(), presentedB = b.ReadyCount();
    running = false;
    f1.join();
    f2.join();
    EXPECT_EQ(a.ReadyCount(), presentedA);
    EXPECT_EQ(b.ReadyCount(), presentedB);
    EXPECT_GT(presentedA + presentedB, 0);
}

}  // namespace
}  // namespace ocv::player
