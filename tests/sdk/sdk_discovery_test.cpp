// LAN discovery end to end on loopback: the simulator's devices found by search probes and by
// WS-Discovery, network settings applied through the library, and datagrams that break the
// rules ignored on both sides.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <thread>

#include "sdk/discovery_wire.h"
#include "sdk/qvx_sdk.h"
#include "sdk/wire_format.h"
#include "sdk/ws_discovery.h"
#include "tests/sdk/sdk_test_support.h"

namespace ocv::test {
namespace {

// Collects what the result callback reports.
struct FoundSink {
    std::mutex mutex;
    std::vector<QVX_FOUND_DEVICE> records;
    int badSizes = 0;
    static void Callback(const void* record, int32_t size, void* user) {
        auto* self = static_cast<FoundSink*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        if (size != QVX_FOUND_DEVICE_SIZE) {
            ++self->badSizes;
            return;
        }
        QVX_FOUND_DEVICE d;
        std::memcpy(&d, record, sizeof d);
        self->records.push_back(d);
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return records.size();
    }
};

// A UDP socket of the test's own on 127.0.0.1, standing in for a device.
class FakeDevice {
public:
    FakeDevice() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        timeval tv{3, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~FakeDevice() { close(fd_); }
    uint16_t port() const { return port_; }
    // The next datagram (empty after the time-out); remembers who sent it.
    std::vector<uint8_t> Receive() {
        std::vector<uint8_t> buf(65536);
        socklen_t n = sizeof peer_;
        ssize_t got = recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&peer_), &n);
        buf.resize(got > 0 ? size_t(got) : 0);
        return buf;
    }
    void Reply(const void* data, size_t size) {
        sendto(fd_, data, size, 0, reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_);
    }
    void SendTo(uint16_t port, const void* data, size_t size) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        sendto(fd_, data, size, 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
    sockaddr_in peer_{};
};

int FreeTcpPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    close(fd);
    return ntohs(a.sin_port);
}

class Discovery : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim_ = new DevsimProcess;
        WriteText(sim_->dir() / "site.ini",
                  "[site]\nloop_frames=25\n"
                  "[device]\nname=CAM\ntype=IPC\nfirmware=V5.2.1 build 20260101\npassword=cam\nchannels=1\n"
                  "main=64x64@32\nsub=off\nkey_interval=25\n"
                  "[device]\nname=NVR\ntype=NVR\npassword=nvr\nchannels=4\nmain=64x64@32\nsub=off\nkey_interval=25\n"
                  "[device]\nname=DEC\ntype=DECODER\npassword=dec\nchannels=1\nmain=64x64@32\nsub=off\nkey_interval=25\n");
        std::string error;
        ASSERT_TRUE(sim_->Start({"--site", sim_->dir() / "site.ini", "--quiet"}, &error)) << error;
        std::istringstream ports(ReadText(sim_->dir() / "ports"));
        std::string word;
        while (ports >> word) {
            if (word == "discovery") ports >> discoveryPort_;
            if (word == "onvif") ports >> onvifPort_;
        }
        ASSERT_GT(discoveryPort_, 0);
        ASSERT_GT(onvifPort_, 0);
        ASSERT_EQ(QVX_SDK_Init(), QVX_OK);
    }
    static void TearDownTestSuite() {
        QVX_SDK_Cleanup();
        std::string log = sim_->log();
        EXPECT_EQ(sim_->Stop(), 0) << log;
        delete sim_;
        sim_ = nullptr;
    }

    // A handle that probes only the given port on loopback, never the LAN.
    static QVX_HANDLE Open(int protocol, int port, int timeoutMs = 800) {
        QVX_HANDLE h = 0;
        EXPECT_EQ(QVX_SDK_SchInitEx(&h, timeoutMs, protocol), QVX_OK);
        EXPECT_EQ(QVX_SDK_SchLanSearch(h, 0), QVX_OK);
        EXPECT_EQ(QVX_SDK_SchAddTarget(h, "127.0.0.1", uint16_t(port)), QVX_OK);
        return h;
    }

    static std::vector<QVX_FOUND_DEVICE> Search(QVX_HANDLE h, uint32_t size = 66560) {
        std::vector<uint8_t> buffer(size, 0);
        int32_t count = -1;
        EXPECT_EQ(QVX_SDK_SchSearch(h, buffer.data(), size, &count), QVX_OK);
        std::vector<QVX_FOUND_DEVICE> out(size_t(std::max(count, 0)));
        if (count > 0) std::memcpy(out.data(), buffer.data(), out.size() * sizeof(QVX_FOUND_DEVICE));
        for (size_t i = out.size() * sizeof(QVX_FOUND_DEVICE); i < buffer.size(); ++i) {
            if (buffer[i] != 0) {
                ADD_FAILURE() << "bytes written past the records at " << i;
                break;
            }
        }
        return out;
    }

    static const QVX_FOUND_DEVICE* ById(const std::vector<QVX_FOUND_DEVICE>& found, const char* id) {
        for (const auto& d : found) {
            if (std::strcmp(d.deviceId, id) == 0) return &d;
        }
        return nullptr;
    }

    static bool LoginWorks(const char* host, int port, const char* password) {
        QVX_HANDLE h = 0;
        QVX_DEVICE_INFO info{};
        int r = QVX_SDK_Login(&h, host, uint16_t(port), "admin", password, 0, 1, &info);
        if (r == QVX_OK) QVX_SDK_Logout(h);
        return r == QVX_OK;
    }

    static DevsimProcess* sim_;
    static int discoveryPort_, onvifPort_;
};

DevsimProcess* Discovery::sim_ = nullptr;
int Discovery::discoveryPort_ = 0;
int Discovery::onvifPort_ = 0;

TEST_F(Discovery, SearchListsEveryDeviceOnceWithItsSettings) {
    QVX_HANDLE h = Open(QVX_SCH_PROTOCOL_ALL, discoveryPort_);
    // The same address twice: every device answers twice and is still listed once.
    ASSERT_EQ(QVX_SDK_SchAddTarget(h, "127.0.0.1", uint16_t(discoveryPort_)), QVX_OK);
    FoundSink sink;
    ASSERT_EQ(QVX_SDK_SchCallBack(h, &FoundSink::Callback, &sink), QVX_OK);
    auto found = Search(h);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(sink.Count(), 3u);
    EXPECT_EQ(sink.badSizes, 0);
    const QVX_FOUND_DEVICE* cam = ById(found, "QVXSIM00000001");
    const QVX_FOUND_DEVICE* nvr = ById(found, "QVXSIM00000002");
    ASSERT_TRUE(cam && nvr && ById(found, "QVXSIM00000003"));
    EXPECT_STREQ(cam->address, "127.0.0.1");
    EXPECT_EQ(int(cam->port), sim_->device(0).port);
    EXPECT_EQ(int(cam->webPort), sim_->device(0).webPort);
    EXPECT_EQ(cam->channels, 1u);
    EXPECT_STREQ(cam->firmware, "V5.2.1 build 20260101");
    EXPECT_STREQ(cam->deviceType, "IPC");
    EXPECT_STREQ(cam->mac, "02:51:56:58:00:00");
    EXPECT_STREQ(cam->mask, "255.0.0.0");
    EXPECT_EQ(cam->protocol, uint32_t(QVX_SCH_PROTOCOL_ALL));
    EXPECT_EQ(nvr->channels, 4u);
    EXPECT_STREQ(nvr->deviceType, "NVR");

    // A buffer with room for one record gets one.
    EXPECT_EQ(Search(h, QVX_FOUND_DEVICE_SIZE + 100).size(), 1u);
    EXPECT_EQ(QVX_SDK_SchDestroy(h), QVX_OK);
    EXPECT_EQ(QVX_SDK_SchDestroy(h), QVX_ERR_HANDLE);
    int32_t count = 0;
    uint8_t buffer[QVX_FOUND_DEVICE_SIZE];
    EXPECT_EQ(QVX_SDK_SchSearch(h, buffer, sizeof buffer, &count), QVX_ERR_HANDLE);
}

TEST_F(Discovery, ProtocolChoosesTheDeviceFamily) {
    QVX_HANDLE storage = Open(QVX_SCH_PROTOCOL_STORAGE, discoveryPort_);
    auto found = Search(storage);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_STREQ(found[0].deviceType, "NVR");
    QVX_SDK_SchDestroy(storage);
    QVX_HANDLE decoders = Open(QVX_SCH_PROTOCOL_DECODER, discoveryPort_);
    found = Search(decoders);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_STREQ(found[0].deviceType, "DECODER");
    QVX_SDK_SchDestroy(decoders);

    QVX_HANDLE h = 0;
    EXPECT_EQ(QVX_SDK_SchInitEx(&h, 2000, 9), QVX_ERR_FAILED) << "a protocol this library does not speak";
    EXPECT_EQ(QVX_SDK_SchInitEx(&h, 50, 0), QVX_ERR_FAILED);
    EXPECT_EQ(QVX_SDK_SchInitEx(nullptr, 2000, 0), QVX_ERR_FAILED);
    ASSERT_EQ(QVX_SDK_SchInitEx(&h, 2000, 0), QVX_OK);
    EXPECT_EQ(QVX_SDK_SchAddTarget(h, "cam.local", 0), QVX_ERR_FAILED) << "numeric addresses only";
    EXPECT_EQ(QVX_SDK_SchAddTarget(h, "0.0.0.0", 0), QVX_ERR_FAILED);
    EXPECT_EQ(QVX_SDK_SchDestroy(h), QVX_OK);
}

TEST_F(Discovery, OnvifProbesFindTheServiceAddresses) {
    QVX_HANDLE h = Open(QVX_SCH_PROTOCOL_ONVIF, onvifPort_);
    FoundSink sink;
    ASSERT_EQ(QVX_SDK_SchCallBack(h, &FoundSink::Callback, &sink), QVX_OK);
    auto found = Search(h);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(sink.Count(), 3u);
    for (size_t i = 0; i < found.size(); ++i) {
        const auto& d = found[i];
        EXPECT_STREQ(d.deviceType, "ONVIF");
        EXPECT_EQ(d.protocol, uint32_t(QVX_SCH_PROTOCOL_ONVIF));
        EXPECT_STREQ(d.address, "127.0.0.1");
        EXPECT_STREQ(d.servicePath, "/onvif/device_service");
        EXPECT_EQ(std::strlen(d.deviceId), 36u) << "the endpoint's UUID";
    }
    std::vector<int> ports, webPorts;
    for (const auto& d : found) ports.push_back(int(d.port));
    for (size_t i = 0; i < 3; ++i) webPorts.push_back(sim_->device(i).webPort);
    std::sort(ports.begin(), ports.end());
    std::sort(webPorts.begin(), webPorts.end());
    EXPECT_EQ(ports, webPorts) << "the service addresses are on the web ports";
    // Network settings are not ours to change on an ONVIF device.
    EXPECT_EQ(QVX_SDK_SchCmd(h, &found[0], "admin", "cam"), QVX_ERR_FAILED);
    QVX_SDK_SchDestroy(h);
}

TEST_F(Discovery, NetworkSettingsMoveTheDeviceAndNeedItsPassword) {
    const int oldPort = sim_->device(0).port;
    QVX_HANDLE h = Open(QVX_SCH_PROTOCOL_ALL, discoveryPort_, 1000);
    auto found = Search(h);
    const QVX_FOUND_DEVICE* cam = ById(found, "QVXSIM00000001");
    ASSERT_NE(cam, nullptr);
    QVX_FOUND_DEVICE edit = *cam;
    const int newPort = FreeTcpPort();
    edit.port = uint32_t(newPort);
    std::strcpy(edit.gateway, "10.9.8.7");
    std::strcpy(edit.mask, "255.255.0.0");

    EXPECT_EQ(QVX_SDK_SchCmd(h, &edit, "admin", "wrong"), QVX_SCH_REFUSED);
    EXPECT_EQ(QVX_SDK_SchCmd(h, &edit, "guest", "cam"), QVX_SCH_REFUSED);
    EXPECT_TRUE(LoginWorks("127.0.0.1", oldPort, "cam")) << "a refused change changes nothing";

    ASSERT_EQ(QVX_SDK_SchCmd(h, &edit, "admin", "cam"), QVX_OK);
    EXPECT_TRUE(LoginWorks("127.0.0.1", newPort, "cam"));
    EXPECT_FALSE(LoginWorks("127.0.0.1", oldPort, "cam")) << "the old port is closed";
    auto again = Search(h);
    cam = ById(again, "QVXSIM00000001");
    ASSERT_NE(cam, nullptr);
    EXPECT_EQ(int(cam->port), newPort);
    EXPECT_STREQ(cam->gateway, "10.9.8.7");
    EXPECT_STREQ(cam->mask, "255.255.0.0");

    // Another loopback address: the device listens there from now on.
    edit = *cam;
    std::strcpy(edit.address, "127.0.0.2");
    ASSERT_EQ(QVX_SDK_SchCmd(h, &edit, "admin", "cam"), QVX_OK);
    EXPECT_TRUE(LoginWorks("127.0.0.2", newPort, "cam"));

    // Values the device cannot take are refused; so is a device this search did not find.
    QVX_FOUND_DEVICE bad = edit;
    std::strcpy(bad.address, "192.0.2.10");
    EXPECT_EQ(QVX_SDK_SchCmd(h, &bad, "admin", "cam"), QVX_SCH_REFUSED);
    bad = edit;
    std::strcpy(bad.gateway, "no.where");
    EXPECT_EQ(QVX_SDK_SchCmd(h, &bad, "admin", "cam"), QVX_SCH_REFUSED);
    bad = edit;
    std::strcpy(bad.deviceId, "NOSUCHDEVICE");
    EXPECT_EQ(QVX_SDK_SchCmd(h, &bad, "admin", "cam"), QVX_ERR_FAILED);
    bad = edit;
    std::memset(bad.deviceId, 'x', sizeof bad.deviceId);
    EXPECT_EQ(QVX_SDK_SchCmd(h, &bad, "admin", "cam"), QVX_ERR_FAILED) << "a record that is no record";
    EXPECT_TRUE(LoginWorks("127.0.0.2", newPort, "cam"));

    // And back where the other tests expect it.
    edit = *cam;
    std::strcpy(edit.address, "127.0.0.1");
    edit.port = uint32_t(oldPort);
    std::strcpy(edit.gateway, "127.0.0.1");
    std::strcpy(edit.mask, "255.0.0.0");
    ASSERT_EQ(QVX_SDK_SchCmd(h, &edit, "admin", "cam"), QVX_OK);
    EXPECT_TRUE(LoginWorks("127.0.0.1", oldPort, "cam"));
    QVX_SDK_SchDestroy(h);
}

TEST_F(Discovery, BrokenAnswersAreIgnoredAndTheGoodOneCounts) {
    FakeDevice fake;
    QVX_HANDLE h = Open(QVX_SCH_PROTOCOL_ALL, fake.port(), 1500);
    FoundSink sink;
    QVX_SDK_SchCallBack(h, &FoundSink::Callback, &sink);
    std::vector<QVX_FOUND_DEVICE> found;
    std::thread search([&] { found = Search(h); });
    std::vector<uint8_t> probe = fake.Receive();
    uint16_t kind = 0;
    const uint8_t* p = nullptr;
    size_t bytes = 0;
    uint32_t seq = 0;
    ASSERT_TRUE(wire::ParseDiscoveryDatagram(probe.data(), probe.size(), &kind, &p, &bytes, &seq));
    ASSERT_EQ(kind, wire::kSearchProbe);
    EXPECT_EQ(wire::GetU32(p), 0u);
    uint8_t searchId[wire::kSearchIdBytes];
    std::memcpy(searchId, p + 8, sizeof searchId);

    auto answer = [&](const char* id, const uint8_t* sid) {
        wire::FoundDevice d;
        d.address = "127.0.0.1";
        d.port = 1;
        d.deviceId = id;
        std::vector<uint8_t> payload(wire::kSearchIdBytes + wire::kFoundRecordBytes);
        std::memcpy(payload.data(), sid, wire::kSearchIdBytes);
        wire::EncodeFoundDevice(d, payload.data() + wire::kSearchIdBytes);
        return wire::BuildMessage(wire::kSearchAnswer, seq, payload.data(), payload.size());
    };
    uint8_t otherSearch[wire::kSearchIdBytes] = {9};
    auto stale = answer("STALE", otherSearch);
    fake.Reply(stale.data(), stale.size());
    auto good = answer("GOOD1", searchId);
    fake.Reply(good.data(), good.size() - 1);  // truncated
    std::vector<uint8_t> longer(good.size() + 1, 0);
    std::memcpy(longer.data(), good.data(), good.size());
    fake.Reply(longer.data(), longer.size());  // a byte too many
    std::vector<uint8_t> oversized(3000, 0);
    std::memcpy(oversized.data(), good.data(), good.size());
    fake.Reply(oversized.data(), oversized.size());
    auto unterminated = good;
    std::memset(unterminated.data() + wire::kHeaderBytes + wire::kSearchIdBytes + 116, 'z', wire::kDeviceIdField);
    fake.Reply(unterminated.data(), unterminated.size());
    const char junk[] = "<s:Envelope>not for this protocol</s:Envelope>";
    fake.Reply(junk, sizeof junk);
    fake.Reply(good.data(), good.size());
    fake.Reply(good.data(), good.size());  // the same device twice
    search.join();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_STREQ(found[0].deviceId, "GOOD1");
    EXPECT_EQ(sink.Count(), 1u);
    QVX_SDK_SchDestroy(h);
}

TEST_F(Discovery, BrokenWsDiscoveryAnswersAreIgnored) {
    FakeDevice fake;
    QVX_HANDLE h = Open(QVX_SCH_PROTOCOL_ONVIF, fake.port(), 1500);
    std::vector<QVX_FOUND_DEVICE> found;
    std::thread search([&] { found = Search(h); });
    std::vector<uint8_t> probe = fake.Receive();
    wire::ProbeRequest request;
    ASSERT_TRUE(wire::ParseProbe(reinterpret_cast<const char*>(probe.data()), probe.size(), &request));
    EXPECT_EQ(request.types, "dn:NetworkVideoTransmitter");

    wire::ProbeMatch m;
    m.endpoint = "urn:uuid:11111111-2222-4333-8444-555555555555";
    m.xaddrs = "http://127.0.0.1:8999/onvif/device_service";
    std::string good = wire::BuildProbeMatches("urn:uuid:" + wire::NewUuid(), request.messageId, {m});
    std::string stale = wire::BuildProbeMatches("urn:uuid:" + wire::NewUuid(), "urn:uuid:old-probe", {m});
    fake.Reply(stale.data(), stale.size());
    fake.Reply(good.data(), good.size() / 2);
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaaaaaa\">]>" + good.substr(good.find("<s:Envelope"));
    fake.Reply(bomb.data(), bomb.size());
    wire::ProbeMatch noHttp = m;
    noHttp.endpoint = "urn:uuid:99999999-2222-4333-8444-555555555555";
    noHttp.xaddrs = "https://127.0.0.1/onvif/device_service";
    std::string secureOnly = wire::BuildProbeMatches("urn:uuid:" + wire::NewUuid(), request.messageId, {noHttp});
    fake.Reply(secureOnly.data(), secureOnly.size());
    fake.Reply(good.data(), good.size());
    search.join();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_STREQ(found[0].deviceId, "11111111-2222-4333-8444-555555555555");
    EXPECT_EQ(found[0].port, 8999u);
    QVX_SDK_SchDestroy(h);
}

TEST_F(Discovery, SimulatorIgnoresBrokenProbes) {
    FakeDevice client;
    std::vector<uint8_t> probe(8 + wire::kSearchIdBytes, 0);
    auto good = wire::BuildMessage(wire::kSearchProbe, 0, probe.data(), probe.size());
    client.SendTo(uint16_t(discoveryPort_), good.data(), good.size() - 1);
    std::vector<uint8_t> big(4000, 0);
    std::memcpy(big.data(), good.data(), good.size());
    client.SendTo(uint16_t(discoveryPort_), big.data(), big.size());
    const char garbage[] = "hello?";
    client.SendTo(uint16_t(discoveryPort_), garbage, sizeof garbage);
    client.SendTo(uint16_t(onvifPort_), garbage, sizeof garbage);
    // The whole probe last: the first answer to arrive must be an answer to it.
    client.SendTo(uint16_t(discoveryPort_), good.data(), good.size());
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> answer = client.Receive();
        uint16_t kind = 0;
        const uint8_t* p = nullptr;
        size_t bytes = 0;
        uint32_t seq = 0;
        ASSERT_TRUE(wire::ParseDiscoveryDatagram(answer.data(), answer.size(), &kind, &p, &bytes, &seq)) << i;
        EXPECT_EQ(kind, wire::kSearchAnswer);
    }
}

TEST_F(Discovery, DestroyEndsARunningSearchAndItsCallbacks) {
    QVX_HANDLE h = Open(QVX_SCH_PROTOCOL_ALL, discoveryPort_, 10000);
    FoundSink sink;
    QVX_SDK_SchCallBack(h, &FoundSink::Callback, &sink);
    auto start = std::chrono::steady_clock::now();
    std::thread search([&] {
        std::vector<uint8_t> buffer(66560);
        int32_t count = 0;
        QVX_SDK_SchSearch(h, buffer.data(), uint32_t(buffer.size()), &count);
    });
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 3; }, 5000));
    ASSERT_EQ(QVX_SDK_SchDestroy(h), QVX_OK);
    search.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8)) << "the 10 s search ended early";
    EXPECT_EQ(sink.Count(), 3u);
}

}  // namespace
}  // namespace ocv::test
