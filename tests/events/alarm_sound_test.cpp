#include "events/alarm_sound.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

class RecordingPlayer : public WavPlayer {
public:
    void PlayBlocking(const std::string& path) override { played.push_back(path); }
    void PlayAsync(const std::string& path) override { started.push_back(path); }
    std::vector<std::string> played, started;
};

class AlarmSoundTest : public ::testing::Test {
protected:
    RecordingPlayer player;
    std::map<SoundKind, bool> qualifies;
    AlarmSoundPlayer sounds{&player, "/app/Sound", [this](SoundKind k) { return qualifies[k]; }};
    std::vector<int> sleeps;
    void SetUp() override {
        sounds.SetSleepForTesting([this](int ms) { sleeps.push_back(ms); });
    }
};

TEST_F(AlarmSoundTest, TemperaturePlaysTheRepeatCountThenStops) {
    sounds.SetTemperatureRepeat(3);
    sounds.Raise(SoundKind::kTemperature);
    int passes = 0;
    while (sounds.RunPass()) ++passes;
    EXPECT_EQ(passes, 3);
    ASSERT_EQ(player.played.size(), 3u);
    EXPECT_EQ(player.played[0], "/app/Sound/AlarmTemperature.wav");
    EXPECT_EQ(sleeps, (std::vector<int>{100, 100, 100}));
    EXPECT_FALSE(sounds.IsRaised(SoundKind::kTemperature));
}

TEST_F(AlarmSoundTest, SoundOffIsSilentButKeepsTheFlagRules) {
    sounds.SetSoundOn(false);
    sounds.SetTemperatureRepeat(2);
    sounds.Raise(SoundKind::kTemperature);
    sounds.Raise(SoundKind::kMotion);
    EXPECT_TRUE(sounds.RunPass());
    EXPECT_FALSE(sounds.IsRaised(SoundKind::kMotion));  // nothing qualifies any more
    EXPECT_TRUE(sounds.IsRaised(SoundKind::kTemperature));
    EXPECT_TRUE(sounds.RunPass());
    EXPECT_FALSE(sounds.IsRaised(SoundKind::kTemperature));
    EXPECT_FALSE(sounds.RunPass());
    EXPECT_TRUE(player.played.empty());
}

TEST_F(AlarmSoundTest, KindsPlayInOrderAndLastWhileTheyQualify) {
    qualifies[SoundKind::kVideoLoss] = true;  // two channels lost: still qualifies
    sounds.Raise(SoundKind::kVideoLoss);
    sounds.Raise(SoundKind::kInput);
    sounds.Raise(SoundKind::kDiskFull);
    ASSERT_TRUE(sounds.RunPass());
    EXPECT_EQ(player.played, (std::vector<std::string>{"/app/Sound/AlarmInput.wav",
                                                       "/app/Sound/AlarmVideoLoss.wav",
                                                       "/app/Sound/AlarmHardFull.wav"}));
    EXPECT_FALSE(sounds.IsRaised(SoundKind::kInput));
    EXPECT_TRUE(sounds.IsRaised(SoundKind::kVideoLoss));
    EXPECT_TRUE(sounds.IsRaised(SoundKind::kDiskFull));  // only the hold pass lowers it
    sounds.RunPass();
    EXPECT_TRUE(sounds.IsRaised(SoundKind::kVideoLoss));
    qualifies[SoundKind::kVideoLoss] = false;  // both channels back
    sounds.RunPass();
    EXPECT_FALSE(sounds.IsRaised(SoundKind::kVideoLoss));
}

TEST_F(AlarmSoundTest, TestSoundStartsWithoutWaiting) {
    sounds.TestSound(4);
    sounds.TestSound(9);
    sounds.TestSound(0);
    EXPECT_EQ(player.started, (std::vector<std::string>{"/app/Sound/AlarmTemperature.wav",
                                                        "/app/Sound/AlarmHardFull.wav",
                                                        "/app/Sound/AlarmMotionDetect.wav"}));
    EXPECT_TRUE(player.played.empty());
}

TEST(SoundAttributesTest, MissingOrUnsetBlockDefaultsAndRoundTrips) {
    test::TempDir dir;
    std::string ini = dir / "config.ini";
    SoundAttributes a = LoadSoundAttributes(ini);
    EXPECT_EQ(a.words[0], 1);
    EXPECT_EQ(a.TemperatureRepeat(), 1);
    a.words[6] = 5;
    a.words[30] = 77;
    ASSERT_TRUE(SaveSoundAttributes(ini, a));
    SoundAttributes b = LoadSoundAttributes(ini);
    EXPECT_EQ(b.TemperatureRepeat(), 5);
    EXPECT_EQ(b.words[30], 77);
    b.words[0] = 0;
    b.words[6] = 9;
    ASSERT_TRUE(SaveSoundAttributes(ini, b));
    SoundAttributes c = LoadSoundAttributes(ini);
    EXPECT_EQ(c.words[0], 1);
    EXPECT_EQ(c.TemperatureRepeat(), 1);
}

}  // namespace
}  // namespace ocv
