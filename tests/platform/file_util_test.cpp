#include "platform/file_util.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

TEST(FileUtilTest, BoundedReadRefusesLargeFiles) {
    TempDir dir;
    WriteText(dir / "f", std::string(100, 'x'));
    std::string out = "unchanged";
    EXPECT_EQ(ReadFileBounded(dir / "f", 99, &out), -2);
    EXPECT_EQ(out, "unchanged");
    EXPECT_EQ(ReadFileBounded(dir / "f", 100, &out), 0);
    EXPECT_EQ(out.size(), 100u);
    EXPECT_EQ(ReadFileBounded(dir / "missing", 100, &out), -1);
    EXPECT_EQ(ReadFileBounded(dir.str(), 100, &out), -1);  // a folder is not a file
}

TEST(FileUtilTest, FailedCopyLeavesTargetAndNoTemporary) {
    TempDir dir;
    WriteText(dir / "dst", "old");
    EXPECT_EQ(CopyFileAtomically(dir / "missing", dir / "dst"), -1);
    EXPECT_EQ(ReadText(dir / "dst"), "old");
    // The target is a folder: rename fails, the temporary is removed.
    std::filesystem::create_directory(dir / "folder");
    WriteText(dir / "folder/inner", "keep");
    WriteText(dir / "src", "new");
    EXPECT_EQ(CopyFileAtomically(dir / "src", dir / "folder"), -1);
    EXPECT_EQ(ReadText(dir / "folder/inner"), "keep");
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.str())) (void)e, ++entries;
    EXPECT_EQ(entries, 3);
    EXPECT_EQ(CopyFileAtomically(dir / "src", dir / "dst"), 0);
    EXPECT_EQ(ReadText(dir / "dst"), "new");
}

TEST(FileUtilTest, MakeDirectoriesCreatesParents) {
    TempDir dir;
    EXPECT_EQ(MakeDirectories(dir / "a/b/c"), 0);
    EXPECT_TRUE(DirectoryExists(dir / "a/b/c"));
    WriteText(dir / "file", "x");
    EXPECT_EQ(MakeDirectories(dir / "file/sub"), -1);
}

}  // namespace
}  // namespace ocv
