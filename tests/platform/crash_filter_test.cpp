#include "platform/crash_filter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>

#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

TEST(CrashFilterTest, FormatsTheLineExactly) {
    char buf[128];
    // 2020-07-08 12:34:56 as local seconds.
    long long t = 1594211696;
    size_t n = FormatCrashLine(buf, sizeof buf, t, 0x1234, 11, 1, 0);
    EXPECT_EQ(std::string(buf, n),
              "[2020-07-08 12:34:56] A:0x00001234 C:0x0000000B F:0x00000001 P:0\n");
    // Wide addresses are not cut; a short buffer is never overrun.
    n = FormatCrashLine(buf, sizeof buf, 0, 0x7ffdeadbeef0ull, 6, 0, 0);
    EXPECT_EQ(std::string(buf, n),
              "[1970-01-01 00:00:00] A:0x7FFDEADBEEF0 C:0x00000006 F:0x00000000 P:0\n");
    char small[8] = {};
    n = FormatCrashLine(small, 4, t, 0, 0, 0, 0);
    EXPECT_GT(n, 4u);
    EXPECT_EQ(small[4], '\0');
    n = FormatCrashLine(buf, sizeof buf, 951825600, 0, 0, 0, 0);  // leap day
    EXPECT_EQ(std::string(buf, 21), "[2000-02-29 12:00:00]");
}

TEST(CrashFilterTest, CrashingChildAppendsExactlyOneLine) {
    TempDir dir;
    std::string log = dir / "logsError.dat";
    WriteText(log, "[2020-01-01 00:00:00] A:0x00000000 C:0x00000000 F:0x00000000 P:0\n");
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    pid_t pid = fork();
    if (pid == 0) {
        InstallCrashFilter(log);
        *static_cast<volatile int*>(page) = 1;  // fault on purpose
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);

    std::string text = ReadText(log);
    size_t first = text.find('\n');
    ASSERT_NE(first, std::string::npos);
    std::string second = text.substr(first + 1);
    char expectedAddress[32];
    snprintf(expectedAddress, sizeof expectedAddress, "A:0x%08llX",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(page)));
    std::regex line(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] A:0x[0-9A-F]{8,16} C:0x0000000B F:0x[0-9A-F]{8} P:0\n)");
    EXPECT_TRUE(std::regex_match(second, line)) << second;
    EXPECT_NE(second.find(expectedAddress), std::string::npos) << second;
    munmap(page, 4096);
}

TEST(CrashFilterTest, AbortIsLoggedToo) {
    TempDir dir;
    std::string log = dir / "logsError.dat";
    pid_t pid = fork();
    if (pid == 0) {
        InstallCrashFilter(log);
        abort();
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    EXPECT_NE(ReadText(log).find("C:0x00000006"), std::string::npos);
}

}  // namespace
}  // namespace ocv
