#include "platform/system_control.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

using test::TempDir;
using test::WriteText;

class SystemControlTest : public ::testing::Test {
protected:
    TempDir root;
    void SetUp() override {
        std::filesystem::create_directories(root / "proc/net");
        std::filesystem::create_directories(root / "sys/class/net/eth0");
        SetSystemRootForTesting(root.str());
    }
    void TearDown() override {
        QVX_CPU_Free();
        QVX_NET_Free();
        SetSystemRootForTesting("/");
    }
    void Stat(int user, int system, int idle, int iowait) {
        WriteText(root / "proc/stat", "cpu  " + std::to_string(user) + " 0 " + std::to_string(system) +
                                          " " + std::to_string(idle) + " " + std::to_string(iowait) +
                                          " 0 0 0 0 0\ncpu0 1 2 3 4\n");
    }
    void NetDev(unsigned long long rx, unsigned long long tx) {
        WriteText(root / "proc/net/dev",
                  "Inter-|   Receive                                                |  Transmit\n"
                  " face |bytes    packets errs drop fifo frame compressed multicast|bytes ...\n"
                  "    lo: 100 1 0 0 0 0 0 0 100 1 0 0 0 0 0 0\n"
                  "  eth0: " + std::to_string(rx) + " 10 0 0 0 0 0 0 " + std::to_string(tx) +
                  " 10 0 0 0 0 0 0\n"
                  "  bad: 1 2\n");
    }
};

TEST_F(SystemControlTest, CpuUsageIsBusyShareSinceLastCall) {
    EXPECT_EQ(QVX_CPU_Usage(), -1);
    Stat(100, 100, 700, 100);
    ASSERT_EQ(QVX_CPU_Init(), 0);
    Stat(130, 120, 740, 110);  // busy +50 of total +100
    EXPECT_EQ(QVX_CPU_Usage(), 50);
    EXPECT_EQ(QVX_CPU_Usage(), 0);  // nothing elapsed
    Stat(100, 100, 700, 100);       // counters went backwards: no nonsense
    EXPECT_EQ(QVX_CPU_Usage(), 0);
    WriteText(root / "proc/stat", "garbage\n");
    EXPECT_EQ(QVX_CPU_Usage(), 0);
}

TEST_F(SystemControlTest, NetworkRecordsPerAdapterWithLinkSpeed) {
    WriteText(root / "sys/class/net/eth0/speed", "1000\n");
    NetDev(0, 0);
    ASSERT_EQ(QVX_NET_Init(), 0);
    NetDev(50'000'000, 10'000'000);
    QVX_NET_RECORD rec[8];
    int n = QVX_NET_Usage(rec, 8);
    ASSERT_EQ(n, 2);  // "bad" is skipped
    const QVX_NET_RECORD* eth = std::string(rec[0].name) == "eth0" ? &rec[0] : &rec[1];
    EXPECT_STREQ(eth->name, "eth0");
    EXPECT_EQ(eth->linkSpeed, 1000000000ull);
    EXPECT_GT(eth->received, 0u);
    EXPECT_GT(eth->received, eth->sent);
    const QVX_NET_RECORD* lo = eth == &rec[0] ? &rec[1] : &rec[0];
    EXPECT_EQ(lo->linkSpeed, 0u);
    EXPECT_EQ(QVX_NET_Usage(rec, 1), 1);  // never more than asked
    QVX_NET_Free();
    EXPECT_EQ(QVX_NET_Usage(rec, 8), -1);
}

TEST_F(SystemControlTest, RealSystemGivesSaneValues) {
    SetSystemRootForTesting("/");
    ASSERT_EQ(QVX_CPU_Init(), 0);
    int usage = QVX_CPU_Usage();
    EXPECT_GE(usage, 0);
    EXPECT_LE(usage, 100);
    ASSERT_EQ(QVX_NET_Init(), 0);
    QVX_NET_RECORD rec[16];
    EXPECT_GE(QVX_NET_Usage(rec, 16), 1);  // at least the loopback adapter
}

}  // namespace
}  // namespace ocv
