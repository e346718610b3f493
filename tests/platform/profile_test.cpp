#include "platform/profile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

class ProfileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string ini = dir / "config.ini";
    std::string Get(const char* section, const char* key, const char* def = "", uint32_t size = 256) {
        std::string buf(size, '\x7f');
        uint32_t n = GetPrivateProfileStringA(section, key, def, buf.data(), size, ini.c_str());
        EXPECT_EQ(buf[n], '\0');
        return buf.substr(0, n);
    }
};

TEST_F(ProfileTest, ReadsCaseInsensitiveTrimsAndUnquotes) {
    WriteText(ini,
              "; comment\r\n[Config]\r\n  Key One =  value with blanks  \r\nq=\"quoted \"\r\n"
              "[other]\nkey one=wrong section\n");
    EXPECT_EQ(Get("CONFIG", "key one"), "value with blanks");
    EXPECT_EQ(Get("config", "Q"), "quoted ");
    EXPECT_EQ(Get("other", "KEY ONE"), "wrong section");
    EXPECT_EQ(Get("config", "missing", "fallback   "), "fallback");
    EXPECT_EQ(Get("nosection", "k", nullptr), "");
}

TEST_F(ProfileTest, CutsToBufferAndListsNames) {
    WriteText(ini, "[A]\nlong=abcdefghij\nsecond=2\n[B]\n");
    EXPECT_EQ(Get("A", "long", "", 5), "abcd");
    char buf[64];
    uint32_t n = GetPrivateProfileStringA(nullptr, nullptr, "", buf, sizeof buf, ini.c_str());
    EXPECT_EQ(std::string(buf, n), std::string("A\0B\0", 4));
    n = GetPrivateProfileStringA("a", nullptr, "", buf, sizeof buf, ini.c_str());
    EXPECT_EQ(std::string(buf, n), std::string("long\0second\0", 12));
    EXPECT_EQ(buf[n], '\0');
    // Too small: cut, still double-terminated, size - 2 reported.
    n = GetPrivateProfileStringA("a", nullptr, "", buf, 6, ini.c_str());
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(buf[4], '\0');
    EXPECT_EQ(buf[5], '\0');
}

TEST_F(ProfileTest, GarbledLinesAreSkippedAndKeptOnRewrite) {
    WriteText(ini, std::string("[S]\nno equals sign\n[broken\n=novalue\nbin\0ary=1\nk=v\n", 50));
    EXPECT_EQ(Get("S", "k"), "v");
    EXPECT_EQ(Get("S", "no equals sign"), "");
    ASSERT_TRUE(WritePrivateProfileStringA("S", "new", "1", ini.c_str()));
    std::string text = ReadText(ini);
    EXPECT_NE(text.find("no equals sign\n"), std::string::npos);
    EXPECT_NE(text.find("[broken\n"), std::string::npos);
    EXPECT_EQ(Get("S", "new"), "1");
    EXPECT_EQ(Get("S", "k"), "v");
}

TEST_F(ProfileTest, WriteReplacesAddsAndDeletes) {
    ASSERT_TRUE(WritePrivateProfileStringA("CONFIG", "A", "1", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("CONFIG", "B", "2", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("OTHER", "A", "x", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("config", "a", "3", ini.c_str()));
    EXPECT_EQ(Get("CONFIG", "A"), "3");
    EXPECT_EQ(Get("CONFIG", "B"), "2");
    EXPECT_EQ(Get("OTHER", "A"), "x");
    ASSERT_TRUE(WritePrivateProfileStringA("CONFIG", "B", nullptr, ini.c_str()));
    EXPECT_EQ(Get("CONFIG", "B", "gone"), "gone");
    ASSERT_TRUE(WritePrivateProfileStringA("CONFIG", nullptr, nullptr, ini.c_str()));
    EXPECT_EQ(Get("CONFIG", "A", "gone"), "gone");
    EXPECT_EQ(Get("OTHER", "A"), "x");
    // Keys and values that would break the file are refused.
    EXPECT_FALSE(WritePrivateProfileStringA("CONFIG", "bad=key", "1", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("CONFIG", "k", "two\nlines", ini.c_str()));
    // No temporary file is left behind.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.str())) (void)e, ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(ProfileTest, IntParsesLeadingDigits) {
    WriteText(ini, "[S]\na=42abc\nb=-7\nc=x\n");
    EXPECT_EQ(GetPrivateProfileIntA("S", "a", 9, ini.c_str()), 42);
    EXPECT_EQ(GetPrivateProfileIntA("S", "b", 9, ini.c_str()), -7);
    EXPECT_EQ(GetPrivateProfileIntA("S", "c", 9, ini.c_str()), 0);
    EXPECT_EQ(GetPrivateProfileIntA("S", "d", 9, ini.c_str()), 9);
}

TEST_F(ProfileTest, StructRoundTripWithHexAndChecksum) {
    struct Block {
        int32_t width, height, flag;
    } in{1920, 1080, 1}, out{};
    ASSERT_TRUE(WritePrivateProfileStructA("CONFIG", "RESOLUTION", &in, sizeof in, ini.c_str()));
    // 1920 = 0x780, 1080 = 0x438; checksum = 0x80+7+0x38+4+1 = 0xC4.
    EXPECT_EQ(Get("CONFIG", "RESOLUTION"), "800700003804000001000000C4");
    ASSERT_TRUE(GetPrivateProfileStructA("CONFIG", "RESOLUTION", &out, sizeof out, ini.c_str()));
    EXPECT_EQ(out.width, 1920);
    EXPECT_EQ(out.height, 1080);
    EXPECT_EQ(out.flag, 1);
}

TEST_F(ProfileTest, StructWithBadChecksumLengthOrDigitsFails) {
    int32_t value = 0x11223344, out = 7;
    const char* cases[] = {"4433221155",  // wrong checksum
                           "44332211",    // checksum missing
                           "4433221100AA",  // one byte too many
                           "4433G211AA"};   // not hex
    for (const char* text : cases) {
        ASSERT_TRUE(WritePrivateProfileStringA("CONFIG", "X", text, ini.c_str()));
        EXPECT_FALSE(GetPrivateProfileStructA("CONFIG", "X", &out, sizeof out, ini.c_str())) << text;
        EXPECT_EQ(out, 7);
    }
    ASSERT_TRUE(WritePrivateProfileStringA("CONFIG", "X", "44332211AA", ini.c_str()));
    EXPECT_TRUE(GetPrivateProfileStructA("CONFIG", "X", &out, sizeof out, ini.c_str()));
    EXPECT_EQ(out, value);
    EXPECT_FALSE(GetPrivateProfileStructA("CONFIG", "missing", &out, sizeof out, ini.c_str()));
}

TEST_F(ProfileTest, OversizedFileIsNeitherReadNorRewritten) {
    std::string big = "[S]\nk=v\n" + std::string(kMaxProfileFileBytes, ';');
    WriteText(ini, big);
    EXPECT_EQ(Get("S", "k", "def"), "def");
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "new", ini.c_str()));
    EXPECT_EQ(ReadText(ini).size(), big.size());
}

TEST_F(ProfileTest, WriteIntoUnwritableFolderFailsAndKeepsFile) {
    std::string sub = dir / "ro";
    std::filesystem::create_directory(sub);
    std::string file = sub + "/config.ini";
    WriteText(file, "[S]\nk=old\n");
    std::filesystem::permissions(sub, std::filesystem::perms::owner_read |
                                          std::filesystem::perms::owner_exec);
    bool wrote = WritePrivateProfileStringA("S", "k", "new", file.c_str());
    std::filesystem::permissions(sub, std::filesystem::perms::owner_all);
    if (getuid() != 0) {  // root writes anyway
        EXPECT_FALSE(wrote);
        EXPECT_EQ(ReadText(file), "[S]\nk=old\n");
    }
}

TEST_F(ProfileTest, ByteOrderMarkBeforeTheFirstSectionIsSkippedAndKept) {
    // An editor saving UTF-8 puts the mark right before "[DRIVES]".
    WriteText(ini, "\xEF\xBB\xBF[DRIVES]\nD=/srv/video\n[CONFIG]\nk=v\n");
    EXPECT_EQ(Get("DRIVES", "D"), "/srv/video");
    std::vector<char> names(64);
    uint32_t n = GetPrivateProfileStringA(nullptr, nullptr, "", names.data(), 64, ini.c_str());
    EXPECT_EQ(std::string(names.data(), n), std::string("DRIVES\0CONFIG\0", 14));
    // A rewrite keeps the mark where it was and the section still reads.
    EXPECT_TRUE(WritePrivateProfileStringA("DRIVES", "E", "/srv/more", ini.c_str()));
    EXPECT_EQ(ReadText(ini).substr(0, 11), "\xEF\xBB\xBF[DRIVES]");
    EXPECT_EQ(Get("drives", "d"), "/srv/video");
    EXPECT_EQ(Get("DRIVES", "E"), "/srv/more");
    // Only a whole mark at the very start is one: a stray byte stays part of a garbled line.
    WriteText(ini, "\xEF\xBB[DRIVES]\nD=/x\n");
    EXPECT_EQ(Get("DRIVES", "D", "none"), "none");
}

TEST_F(ProfileTest, WrittenFileIsPrivateEvenWhenItWasNot) {
    // config.ini holds the remembered login: nobody but its owner reads it.
    EXPECT_TRUE(WritePrivateProfileStringA("CONFIG", "k", "v", ini.c_str()));
    EXPECT_EQ(std::filesystem::status(ini).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::permissions(ini, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                          std::filesystem::perms::group_read | std::filesystem::perms::others_read);
    EXPECT_TRUE(WritePrivateProfileStringA("CONFIG", "k", "w", ini.c_str()));
    EXPECT_EQ(std::filesystem::status(ini).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(Get("CONFIG", "k"), "w");
}

}  // namespace
}  // namespace ocv
