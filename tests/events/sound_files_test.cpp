#include <gtest/gtest.h>

#include <cstring>

#include "events/alarm_sound.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

// The build writes the five alarm sounds into the application directory; each must be a
// well-formed PCM WAV file whose sizes agree, or the client would play nothing.
TEST(SoundFilesTest, BuildMakesFiveWellFormedWavFiles) {
    for (int k = 0; k < kSoundKindCount; ++k) {
        std::string path = std::string(OCV_APPDIR) + "/Sound/" + SoundFileName(static_cast<SoundKind>(k));
        std::string bytes = test::ReadText(path);
        ASSERT_GT(bytes.size(), 44u) << path;
        EXPECT_EQ(bytes.substr(0, 4), "RIFF");
        EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
        uint32_t riffSize, dataSize;
        uint16_t format, channels, bits;
        memcpy(&riffSize, bytes.data() + 4, 4);
        memcpy(&format, bytes.data() + 20, 2);
        memcpy(&channels, bytes.data() + 22, 2);
        memcpy(&bits, bytes.data() + 34, 2);
        memcpy(&dataSize, bytes.data() + 40, 4);
        EXPECT_EQ(riffSize + 8, bytes.size());
        EXPECT_EQ(dataSize + 44, bytes.size());
        EXPECT_EQ(format, 1);
        EXPECT_EQ(channels, 1);
        EXPECT_EQ(bits, 16);
        // Not silence.
        EXPECT_NE(bytes.find_first_not_of('\0', 44), std::string::npos);
    }
}

}  // namespace
}  // namespace ocv
