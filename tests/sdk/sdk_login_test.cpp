// Login over loopback against the simulator and against misbehaving peers.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <thread>

#include "sdk/wire_format.h"
#include "tests/sdk/sdk_test_support.h"

namespace ocv::test {
namespace {

static_assert(sizeof(QVX_DEVICE_INFO) == QVX_DEVICE_INFO_SIZE);
static_assert(offsetof(QVX_DEVICE_INFO, firmwareVersion) == 232);
static_assert(offsetof(QVX_DEVICE_INFO, deviceType) == 32);
static_assert(offsetof(QVX_DEVICE_INFO, channelCount) == 4);

// A listening socket on an ephemeral loopback port; accepts nothing unless asked.
class RawListener {
public:
    RawListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 8);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~RawListener() {
        if (fd_ >= 0) ::close(fd_);
    }
    // Accepts one connection and sends bytes on it, keeping it open for a while.
    std::thread ServeOnce(std::vector<uint8_t> bytes) {
        return std::thread([this, bytes] {
            int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            ::send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            ::close(c);
        });
    }
    void Close() {
        ::close(fd_);
        fd_ = -1;
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

class SdkLogin : public SdkSite {};

TEST_F(SdkLogin, RightPasswordFillsTheInformationBlock) {
    QVX_DEVICE_INFO info;
    std::memset(&info, 0xAB, sizeof info);
    QVX_HANDLE h = LoginTo(kThermal, &info);
    ASSERT_GT(h, 0);
    const char* bytes = reinterpret_cast<const char*>(&info);
    EXPECT_STREQ(bytes + 232, "V27.3.1 build 20260101");
    EXPECT_NE(std::strstr(bytes + 232, "V27."), nullptr);
    EXPECT_EQ(info.structSize, 512u);
    EXPECT_EQ(info.channelCount, 1u);
    EXPECT_STREQ(info.deviceType, "IPC");
    EXPECT_STRNE(info.deviceId, "");
    EXPECT_EQ(info.webPort, uint32_t(sim_->device(kThermal).webPort));

    QVX_HANDLE nvr = LoginTo(kNvr, &info);
    EXPECT_STREQ(info.deviceType, "NVR");
    EXPECT_EQ(info.channelCount, 4u);
    EXPECT_NE(nvr, h);
    EXPECT_EQ(QVX_SDK_Logout(h), QVX_OK);
    EXPECT_EQ(QVX_SDK_Logout(nvr), QVX_OK);
    EXPECT_EQ(QVX_SDK_Logout(h), QVX_ERR_HANDLE);
}

TEST_F(SdkLogin, WrongPasswordUnreachableAndSilentHostAreDistinct) {
    const auto& cam = sim_->device(kCam);
    QVX_HANDLE h = 77;
    QVX_DEVICE_INFO info{};
    EXPECT_EQ(QVX_SDK_Login(&h, "127.0.0.1", uint16_t(cam.port), "admin", "wrong", 0, 1, &info), QVX_ERR_PASSWORD);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(QVX_SDK_Login(&h, "127.0.0.1", uint16_t(cam.port), "nobody", "secret", 0, 1, &info), QVX_ERR_PASSWORD);

    RawListener closed;
    int closedPort = closed.port();
    closed.Close();
    EXPECT_EQ(QVX_SDK_Login(&h, "127.0.0.1", uint16_t(closedPort), "admin", "x", 0, 1, &info), QVX_ERR_CONNECT);

    // Accepted by the kernel but never answered: the request time-out (2 s here) decides.
    RawListener silent;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QVX_SDK_Login(&h, "127.0.0.1", uint16_t(silent.port()), "admin", "x", 0, 1, &info), QVX_ERR_TIMEOUT);
    auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(tookMs, 1500);
    EXPECT_LT(tookMs, 5000);

    EXPECT_EQ(QVX_SDK_Login(&h, "", uint16_t(cam.port), "admin", "secret", 0, 1, &info), QVX_ERR_FAILED);
    EXPECT_EQ(QVX_SDK_Login(nullptr, "127.0.0.1", uint16_t(cam.port), "admin", "secret", 0, 1, &info), QVX_ERR_FAILED);
}

TEST_F(SdkLogin, MalformedOrOversizedPeerMessagesEndTheLoginWithAnError) {
    QVX_HANDLE h = 0;
    QVX_DEVICE_INFO info{};
    {
        RawListener peer;
        auto t = peer.ServeOnce(std::vector<uint8_t>(64, 'x'));
        EXPECT_EQ(QVX_SDK_Login(&h, "127.0.0.1", uint16_t(peer.port()), "admin", "x", 0, 1, &info), QVX_ERR_PROTOCOL);
        t.join();
    }
    {
        // A valid header announcing 16 MiB: refused at the header, nothing allocated for it.
        wire::Header hd;
        hd.kind = wire::kChallenge;
        hd.payloadBytes = 16u << 20;
        std::vector<uint8_t> bytes(wire::kHeaderBytes);
        wire::EncodeHeader(hd, bytes.data());
        RawListener peer;
        auto t = peer.ServeOnce(bytes);
        EXPECT_EQ(QVX_SDK_Login(&h, "127.0.0.1", uint16_t(peer.port()), "admin", "x", 0, 1, &info), QVX_ERR_PROTOCOL);
        t.join();
    }
    {
        // A challenge of the wrong length.
        auto bytes = wire::BuildMessage(wire::kChallenge, 0, "short", 5);
        RawListener peer;
        auto t = peer.ServeOnce(bytes);
        EXPECT_EQ(QVX_SDK_Login(&h, "127.0.0.1", uint16_t(peer.port()), "admin", "x", 0, 1, &info), QVX_ERR_PROTOCOL);
        t.join();
    }
    // The simulator's devices are unaffected.
    QVX_HANDLE good = LoginTo(kCam);
    EXPECT_GT(good, 0);
    QVX_SDK_Logout(good);
}

TEST(SdkNotInitialised, CallsBeforeInitAreRefused) {
    QVX_HANDLE h = 0;
    QVX_DEVICE_INFO info{};
    EXPECT_EQ(QVX_SDK_Login(&h, "127.0.0.1", 1, "a", "b", 0, 1, &info), QVX_ERR_NOT_INIT);
    EXPECT_EQ(QVX_SDK_Logout(1), QVX_ERR_NOT_INIT);
    EXPECT_EQ(QVX_SDK_Cleanup(), QVX_ERR_NOT_INIT);
}

}  // namespace
}  // namespace ocv::test

namespace ocv::test {
namespace {

// The password changes on the device (another simulator takes the same ports): the login and
// its stream each try once, are refused, report it and stay down, instead of knocking every
// reconnect interval on a device that may lock the account.
TEST_F(SdkLogin, ReconnectionRefusedForThePasswordIsReportedOnceAndNotRepeated) {
    auto ports = FreePorts(2);
    auto startCamera = [&](DevsimProcess& p, const char* password) {
        std::string error;
        bool ok = p.Start({"--devices", "1", "--base-port", std::to_string(ports[0]), "--web-base-port",
                           std::to_string(ports[1]), "--password", password, "--main", "64x48@32", "--sub", "off",
                           "--loop-frames", "25", "--key-interval", "25"},
                          &error);
        EXPECT_TRUE(ok) << error;
        return ok;
    };
    DevsimProcess before;
    ASSERT_TRUE(startCamera(before, "old"));
    QVX_HANDLE login = 0;
    QVX_DEVICE_INFO info{};
    ASSERT_EQ(QVX_SDK_Login(&login, "127.0.0.1", uint16_t(ports[0]), "admin", "old", 0, 1, &info), QVX_OK);
    StreamSink sink;
    uint32_t request[QVX_REQUEST_WORDS];
    MakeRequest(request, 0, 0, 3);
    QVX_HANDLE stream = 0;
    ASSERT_EQ(QVX_SDK_RealPlay(login, request, &StreamSink::Callback, reinterpret_cast<intptr_t>(&sink), &stream),
              QVX_OK);
    ASSERT_TRUE(WaitUntil([&] { return sink.VideoCount() > 0; }, 20000));

    ASSERT_EQ(before.Stop(), 0);
    DevsimProcess after;
    ASSERT_TRUE(startCamera(after, "new"));
    EXPECT_TRUE(exceptions_->WaitFor(login, 0, QVX_EXCEPTION_LOGIN_REFUSED, 20000)) << after.log();
    EXPECT_TRUE(exceptions_->WaitFor(login, stream, QVX_EXCEPTION_LOGIN_REFUSED, 20000)) << after.log();
    EXPECT_EQ(RefusedLogins(after), 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // five reconnect intervals
    EXPECT_EQ(RefusedLogins(after), 2);
    auto count = [&](QVX_HANDLE s) {
        auto types = exceptions_->TypesFor(login, s);
        return std::count(types.begin(), types.end(), QVX_EXCEPTION_LOGIN_REFUSED);
    };
    EXPECT_EQ(count(0), 1);
    EXPECT_EQ(count(stream), 1);
    // Requests say why they cannot be made; the handles still close normally.
    uint8_t color[QVX_CMD_COLOR_SIZE] = {};
    EXPECT_EQ(QVX_SDK_GetConfig(login, 0, QVX_CMD_COLOR, color, sizeof color), QVX_ERR_PASSWORD);
    EXPECT_EQ(QVX_SDK_StopRealPlay(stream), QVX_OK);
    EXPECT_EQ(QVX_SDK_Logout(login), QVX_OK);
}

}  // namespace
}  // namespace ocv::test
