#include "platform/autostart.h"

#include <gtest/gtest.h>

#include "platform/app_dir.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

TEST(AutostartTest, EntryLaunchesTheClientAndCanBeRemoved) {
    test::TempDir home;
    std::string saved = AppDir();
    SetAppDir("/opt/ocu vant");
    SetAutostartDirForTesting(home / "autostart");
    EXPECT_FALSE(IsAutostartEnabled());
    ASSERT_EQ(SetAutostart(true), 0);
    EXPECT_TRUE(IsAutostartEnabled());
    std::string entry = test::ReadText(home / "autostart/ocuvant.desktop");
    EXPECT_NE(entry.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(entry.find("Exec=\"/opt/ocu vant/ocuvant\"\n"), std::string::npos);
    EXPECT_NE(entry.find("Type=Application\n"), std::string::npos);
    ASSERT_EQ(SetAutostart(false), 0);
    EXPECT_FALSE(IsAutostartEnabled());
    EXPECT_EQ(SetAutostart(false), 0);  // removing twice is fine
    SetAutostartDirForTesting("");
    SetAppDir(saved);
}

}  // namespace
}  // namespace ocv
