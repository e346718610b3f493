#pragma once
// Shared pieces of the end-to-end tests: the simulated site, exception and event recorders,
// and small waits.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sdk/qvx_sdk.h"
#include "tests/sdk/devsim_process.h"

namespace ocv::test {

// Devices of the test site, by index.
enum SiteDevice { kCam = 0, kThermal = 1, kCutMe = 2, kFreezeMe = 3, kNvr = 4 };

inline std::string TestSiteFile() {
    return "[site]\n"
           "loop_frames=50\n"
           "[device]\nname=CAM\ntype=IPC\nfirmware=V5.2.1 build 20260101\nuser=admin\npassword=secret\n"
           "channels=2\nmain=160x96@200\nsub=96x64@64\nmain.1=128x72@128\nkey_interval=25\n"
           "[device]\nname=THERM\ntype=IPC\nfirmware=V27.3.1 build 20260101\nuser=admin\npassword=hot\n"
           "channels=1\nmain=96x64@64\nsub=off\nkey_interval=25\n"
           "[device]\nname=CUTME\ntype=DVR\nuser=admin\npassword=cut\nchannels=1\nmain=96x64@64\nsub=off\n"
           "key_interval=25\n"
           "[device]\nname=FRZ\ntype=IPC\nuser=admin\npassword=ice\nchannels=1\nmain=96x64@64\nsub=off\n"
           "key_interval=25\n"
           "[device]\nname=NVR\ntype=NVR\nuser=admin\npassword=nvr\nchannels=4\nmain=96x64@64\nsub=off\n"
           "key_interval=25\n";
}

inline const char* PasswordOf(SiteDevice d) {
    static const char* kPasswords[] = {"secret", "hot", "cut", "ice", "nvr"};
    return kPasswords[d];
}

// Distinct ports nobody listens on: all bound at once, then released.
inline std::vector<int> FreePorts(int count) {
    std::vector<int> fds, ports;
    for (int i = 0; i < count; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        fds.push_back(fd);
        ports.push_back(ntohs(a.sin_port));
    }
    for (int fd : fds) close(fd);
    return ports;
}
inline int FreePort() { return FreePorts(1)[0]; }

// How many logins a simulator (started without --quiet) refused so far.
inline int RefusedLogins(const DevsimProcess& sim) {
    std::string log = sim.log();
    int n = 0;
    for (size_t at = log.find("login refused for user"); at != std::string::npos;
         at = log.find("login refused for user", at + 1))
        ++n;
    return n;
}

// Polls a condition until it holds or the time is up.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

struct ExceptionRecord {
    int32_t type;
    QVX_HANDLE login, stream;
    std::chrono::steady_clock::time_point at;
};

class ExceptionRecorder {
public:
    static void Callback(int32_t type, QVX_HANDLE login, QVX_HANDLE stream, void* context) {
        auto* self = static_cast<ExceptionRecorder*>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->records_.push_back({type, login, stream, std::chrono::steady_clock::now()});
    }
    std::vector<ExceptionRecord> Snapshot() {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_;
    }
    // Types raised for a login (stream 0) or for a stream handle, in order.
    std::vector<int32_t> TypesFor(QVX_HANDLE login, QVX_HANDLE stream) {
        std::vector<int32_t> out;
        for (auto& r : Snapshot()) {
            if (r.login == login && r.stream == stream) out.push_back(r.type);
        }
        return out;
    }
    bool WaitFor(QVX_HANDLE login, QVX_HANDLE stream, int32_t type, int timeoutMs) {
        return WaitUntil(
            [&] {
                for (auto t : TypesFor(login, stream)) {
                    if (t == type) return true;
                }
                return false;
            },
            timeoutMs);
    }

private:
    std::mutex mutex_;
    std::vector<ExceptionRecord> records_;
};

// The simulator and the library, shared by every test of a binary.
class SdkSite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim_ = new DevsimProcess;
        WriteText(sim_->dir() / "site.ini", TestSiteFile());
        std::string error;
        ASSERT_TRUE(sim_->Start({"--site", sim_->dir() / "site.ini", "--quiet"}, &error)) << error;
        ASSERT_EQ(QVX_SDK_Init(), QVX_OK);
        // Short supervision times so losses and reconnections show within a few seconds, yet
        // ten missed heartbeats before a loss, so a loaded machine does not fake one.
        ASSERT_EQ(QVX_SDK_SetSupervision(200, 2000, 300, 2000), QVX_OK);
        exceptions_ = new ExceptionRecorder;
        ASSERT_EQ(QVX_SDK_SetExceptionCallBack(0, 0, &ExceptionRecorder::Callback, exceptions_), QVX_OK);
    }
    static void TearDownTestSuite() {
        QVX_SDK_Cleanup();
        // SIGTERM ends the simulator cleanly (and, in sanitizer builds, without findings).
        std::string log = sim_->log();
        EXPECT_EQ(sim_->Stop(), 0) << log;
        delete sim_;
        sim_ = nullptr;
        delete exceptions_;
        exceptions_ = nullptr;
    }

    static QVX_HANDLE LoginTo(SiteDevice d, QVX_DEVICE_INFO* info = nullptr) {
        QVX_HANDLE h = 0;
        QVX_DEVICE_INFO local{};
        const auto& a = sim_->device(d);
        int r = QVX_SDK_Login(&h, a.address.c_str(), uint16_t(a.port), "admin", PasswordOf(d), 0, 1,
                              info ? info : &local);
        EXPECT_EQ(r, QVX_OK);
        return h;
    }

    static DevsimProcess* sim_;
    static ExceptionRecorder* exceptions_;
};

inline DevsimProcess* SdkSite::sim_ = nullptr;
inline ExceptionRecorder* SdkSite::exceptions_ = nullptr;

// Collects what a live stream delivers.
struct StreamSink {
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> headers;  // data kind 0
    std::vector<std::vector<uint8_t>> frames;   // data kind 1, whole frame records
    int other = 0;

    static void Callback(QVX_HANDLE, int32_t kind, const uint8_t* data, int32_t length, intptr_t user) {
        auto* self = reinterpret_cast<StreamSink*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        if (kind == QVX_DATA_STREAM_INFO) {
            self->headers.emplace_back(data, data + length);
        } else if (kind == QVX_DATA_FRAME) {
            self->frames.emplace_back(data, data + length);
        } else {
            ++self->other;
        }
    }
    size_t FrameCount() {
        std::lock_guard<std::mutex> lock(mutex);
        return frames.size();
    }
    size_t VideoCount() {
        std::lock_guard<std::mutex> lock(mutex);
        size_t n = 0;
        for (auto& f : frames) n += f.size() >= 16 && f[0] == 1;
        return n;
    }
};

inline void MakeRequest(uint32_t request[QVX_REQUEST_WORDS], uint32_t channel, uint32_t streamType, uint32_t mode) {
    for (int i = 0; i < QVX_REQUEST_WORDS; ++i) request[i] = 0;
    request[1] = channel;
    request[2] = streamType;
    request[4] = mode;
}

}  // namespace ocv::test
