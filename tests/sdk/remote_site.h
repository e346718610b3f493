#pragma once
// A simulated camera with recordings on its own disk: two channels, recordings on the 60 days
// up to 31 January 2025 (the simulator's rules, docs/device-protocol.md), short supervision
// times. Shared by the tests of remote search, playback and download.
#include <cstring>
#include <string>

#include "sdk/qvx_sdk.h"
#include "tests/sdk/sdk_test_support.h"

namespace ocv::test {

class RemoteSite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim_ = new DevsimProcess;
        WriteText(sim_->dir() / "site.ini",
                  "[site]\nloop_frames=50\n"
                  "[device]\nname=REC\ntype=NVR\nuser=admin\npassword=disk\nchannels=2\n"
                  "main=160x96@200\nsub=off\nkey_interval=25\n");
        std::string error;
        ASSERT_TRUE(sim_->Start({"--site", sim_->dir() / "site.ini", "--quiet", "--record-last-day", "2025-01-31",
                                 "--record-days", "60"},
                                &error))
            << error;
        ASSERT_EQ(QVX_SDK_Init(), QVX_OK);
        ASSERT_EQ(QVX_SDK_SetSupervision(200, 2000, 300, 2000), QVX_OK);
        exceptions_ = new ExceptionRecorder;
        ASSERT_EQ(QVX_SDK_SetExceptionCallBack(0, 0, &ExceptionRecorder::Callback, exceptions_), QVX_OK);
    }
    static void TearDownTestSuite() {
        QVX_SDK_Cleanup();
        std::string log = sim_->log();
        EXPECT_EQ(sim_->Stop(), 0) << log;
        delete sim_;
        sim_ = nullptr;
        delete exceptions_;
        exceptions_ = nullptr;
    }

    static QVX_HANDLE Login() {
        QVX_HANDLE h = 0;
        QVX_DEVICE_INFO info{};
        const auto& a = sim_->device(0);
        EXPECT_EQ(QVX_SDK_Login(&h, a.address.c_str(), uint16_t(a.port), "admin", "disk", 0, 1, &info), QVX_OK);
        return h;
    }

    // A condition over one day, or the given times of it.
    static QVX_FIND_COND Day(int channel, int type, int y, int m, int d, int h0 = 0, int m0 = 0, int s0 = 0,
                             int h1 = 23, int m1 = 59, int s1 = 59) {
        return QVX_FIND_COND{channel, type, y, m, d, h0, m0, s0, y, m, d, h1, m1, s1};
    }

    // Waits while the search is busy; the first other result.
    static int NextFile(QVX_HANDLE find, uint8_t* description) {
        int r = QVX_FIND_BUSY;
        for (int i = 0; i < 1000 && r == QVX_FIND_BUSY; ++i) {
            std::memset(description, 0, QVX_FILE_DESC_SIZE);
            r = QVX_SDK_FindNextFile(find, description);
            if (r == QVX_FIND_BUSY) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return r;
    }

    static int32_t Control(QVX_HANDLE h, uint32_t command) {
        int32_t value = -1;
        EXPECT_EQ(QVX_SDK_PlayBackControl(h, command, 0, &value), QVX_OK);
        return value;
    }

    static DevsimProcess* sim_;
    static ExceptionRecorder* exceptions_;
};

inline DevsimProcess* RemoteSite::sim_ = nullptr;
inline ExceptionRecorder* RemoteSite::exceptions_ = nullptr;

inline uint32_t WordAt(const uint8_t* p, size_t offset) {
    uint32_t v;
    std::memcpy(&v, p + offset, 4);
    return v;
}

}  // namespace ocv::test
