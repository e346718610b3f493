#include "platform/file_util.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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

std::filesystem::perms ModeOf(const std::string& path) {
    return std::filesystem::status(path).permissions() & std::filesystem::perms::all;
}

constexpr auto kOwnerOnly = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
constexpr auto kEveryoneReads = kOwnerOnly | std::filesystem::perms::group_read | std::filesystem::perms::others_read;

TEST(FileUtilTest, PrivateReplacementsAreOwnerOnlyAndKeepTheirMode) {
    TempDir dir;
    mode_t oldMask = umask(0);  // the widest umask: only the asked-for mode protects the file
    EXPECT_EQ(ReplaceFileAtomically(dir / "secret", "pw", kPrivateFileMode), 0);
    EXPECT_EQ(ModeOf(dir / "secret"), kOwnerOnly);
    // A shared replacement of a private file stays private; a private one of a shared file
    // becomes private.
    EXPECT_EQ(ReplaceFileAtomically(dir / "secret", "pw2"), 0);
    EXPECT_EQ(ModeOf(dir / "secret"), kOwnerOnly);
    EXPECT_EQ(ReadText(dir / "secret"), "pw2");
    EXPECT_EQ(ReplaceFileAtomically(dir / "open", "x"), 0);
    EXPECT_EQ(ModeOf(dir / "open"), kEveryoneReads);
    EXPECT_EQ(CopyFileAtomically(dir / "open", dir / "copy", kPrivateFileMode), 0);
    EXPECT_EQ(ModeOf(dir / "copy"), kOwnerOnly);
    EXPECT_EQ(CopyFileAtomically(dir / "secret", dir / "open", kPrivateFileMode), 0);
    EXPECT_EQ(ModeOf(dir / "open"), kOwnerOnly);
    umask(oldMask);
}

TEST(FileUtilTest, CreatePrivateFileAndTightenExisting) {
    TempDir dir;
    mode_t oldMask = umask(0);
    EXPECT_EQ(CreatePrivateFile(dir / "db"), 0);
    EXPECT_EQ(ModeOf(dir / "db"), kOwnerOnly);
    EXPECT_EQ(CreatePrivateFile(dir / "db"), -1);  // never takes over an existing file
    umask(oldMask);

    WriteText(dir / "loose", "x");
    std::filesystem::permissions(dir / "loose", kEveryoneReads | std::filesystem::perms::group_write);
    EXPECT_EQ(TightenFileMode(dir / "loose", kPrivateFileMode), 1);
    EXPECT_EQ(ModeOf(dir / "loose"), kOwnerOnly);
    EXPECT_EQ(TightenFileMode(dir / "loose", kPrivateFileMode), 0);  // already tight
    EXPECT_EQ(TightenFileMode(dir / "missing", kPrivateFileMode), 0);
    // A read-only file stays read-only: tightening never adds a permission.
    std::filesystem::permissions(dir / "loose", std::filesystem::perms::owner_read | std::filesystem::perms::others_read);
    EXPECT_EQ(TightenFileMode(dir / "loose", kPrivateFileMode), 1);
    EXPECT_EQ(ModeOf(dir / "loose"), std::filesystem::perms::owner_read);
}

}  // namespace
}  // namespace ocv
