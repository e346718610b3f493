// MP4 exports of live recordings: pictures stamped on arrival come with jitter (73 ms, then
// 6 ms), and the file must still decode cleanly as a steady stream (ffmpeg's default conversion
// puts two pictures closer than half a frame into one slot and reports it as an error).
#include <gtest/gtest.h>

#include <filesystem>

#include "backup/mp4_writer.h"
#include "base/media_types.h"
#include "tests/backup/recording_maker.h"
#include "tests/player/test_clip.h"
#include "tests/support/temp_dir.h"

namespace ocv::backup {
namespace {

TEST(Mp4Jitter, PicturesArrivingAFewMsApartStillDecodeWithoutErrors) {
    test::TempDir dir;
    const std::string path = dir / "jitter.mp4";
    const std::vector<test::EncodedPicture> clip = test::MakeH264Clip(320, 240, 100, 50);
    Mp4Writer writer;
    ASSERT_EQ(writer.Open(path, 320, 240, kAudioNone, 40), 0) << writer.Error();
    uint32_t t = 36000000;
    for (size_t i = 0; i < clip.size(); ++i) {
        // Every tenth pair: one picture late, the next right behind it.
        const uint32_t step = i % 10 == 3 ? 73 : i % 10 == 4 ? 6 : 40;
        if (i > 0) t += step;
        ASSERT_EQ(writer.WriteVideo(clip[i].bytes.data(), static_cast<uint32_t>(clip[i].bytes.size()),
                                    clip[i].keyFrame, t), 0);
    }
    ASSERT_EQ(writer.Close(), 0) << writer.Error();
    EXPECT_EQ(test::DecodeErrors(path), "");
    const std::string video = test::Probe(path, "v:0", "nb_frames");
    EXPECT_EQ(test::ProbeValue(video, "nb_frames"), "100") << "no picture dropped";
    // The time line keeps its length: 99 steps of 40 ms on average.
    const double duration = std::stod(test::ProbeValue(test::Probe(path, "", "duration"), "duration"));
    EXPECT_NEAR(duration, 4.0, 0.1);
}

}  // namespace
}  // namespace ocv::backup
