#include <gtest/gtest.h>

#include <filesystem>

#include "record/index_file.h"
#include "tools/devsim/web_server.h"
#include "tests/device/device_test_support.h"

namespace ocv {
namespace {

using test::DevsimProcess;
using test::WaitUntil;

std::string SiteFile() {
    return "[site]\nloop_frames=50\n"
           "[device]\nname=CAM\ntype=IPC\nuser=admin\npassword=pw\nchannels=2\nmain=160x96@200\n"
           "sub=96x64@64\nkey_interval=25\n"
           "[device]\nname=NVR\ntype=NVR\nuser=admin\npassword=pw\nchannels=16\nmain=96x64@32\n"
           "sub=off\nkey_interval=25\n";
}

class DeviceServiceE2E : public test::DeviceServiceTest {
protected:
    DevsimProcess sim;
    void StartSim() {
        test::WriteText(sim.dir() / "site.ini", SiteFile());
        std::string error;
        ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
    }
};

TEST_F(DeviceServiceE2E, DeviceThatComesUpLaterIsLoggedInAtTheNextTurn) {
    int port = test::FreePort();
    int d = AddDevice("127.0.0.1", port, 1, "admin");
    StartService();
    service_->connections().DeviceTick(d, 0);  // nobody listens yet
    EXPECT_EQ(service_->runtime().device(d).loginHandle.load(), 0);
    std::string error;
    ASSERT_TRUE(sim.Start({"--devices", "1", "--base-port", std::to_string(port), "--main", "64x48@32",
                           "--sub", "off", "--loop-frames", "25", "--quiet"},
                          &error))
        << error;
    for (int tick = 1; tick < 300; ++tick) service_->connections().DeviceTick(d, tick);
    EXPECT_EQ(service_->runtime().device(d).loginHandle.load(), 0);  // only tick 0 logs in
    service_->connections().DeviceTick(d, 0);
    EXPECT_NE(service_->runtime().device(d).loginHandle.load(), 0);
    EXPECT_EQ(service_->runtime().device(d).deviceState.load(), 2);
}

TEST_F(DeviceServiceE2E, CutDeviceGoesOfflineAndComesBack) {
    StartSim();
    int d = AddDevice("127.0.0.1", sim.device(1).port, 16, "pw");
    StartService();
    test::HubWatch watch(service_->hub());
    ASSERT_EQ(service_->connections().StartDeviceThread(d), 0);
    DeviceRuntime& devRt = service_->runtime().device(d);
    ASSERT_TRUE(WaitUntil([&] { return devRt.deviceState.load() == 2; }, 20000));
    ASSERT_TRUE(sim.ControlOk("cut NVR"));
    ASSERT_TRUE(WaitUntil([&] { return devRt.deviceState.load() == 0; }, 20000));
    ASSERT_TRUE(WaitUntil([&] { return devRt.deviceState.load() == 2; }, 20000));
    // The device's state, on the way up, down and up again, announced once each.
    EXPECT_EQ(watch.DeviceStates(d), (std::vector<DeviceState>{kDeviceOnline, kDeviceOffline, kDeviceOnline}));
    EXPECT_EQ(service_->connections().StopDeviceThread(d), 0);
    EXPECT_EQ(devRt.loginHandle.load(), 0);
}

TEST_F(DeviceServiceE2E, SingleStreamDeviceOpensItsChannelsStoredStream) {
    StartSim();
    int d = AddDevice("127.0.0.1", sim.device(0).port, 2, "pw", 50, 1);  // TYPE 50, STREAM 1
    StartService(1);  // dual-stream system, but TYPE 50 is single-stream
    ASSERT_EQ(service_->connections().OpenChannel(d, 0), 0);
    ChannelRuntime& c = Channel(d, 0);
    EXPECT_NE(c.mainStream.load(), 0);
    EXPECT_EQ(c.subStream.load(), 0);
    EXPECT_EQ(c.connectState.load(), 2);
    ASSERT_TRUE(WaitUntil([&] { return c.MainStreamInfo().width != 0; }, 20000));
    EXPECT_EQ(c.MainStreamInfo().width, 96u);  // the sub stream's picture
    EXPECT_FALSE(service_->recording().HasRecorder(ChannelIdOf(d, 0)));  // only watched
    ASSERT_EQ(service_->connections().CloseChannel(d, 0), 0);
    EXPECT_EQ(c.connectState.load(), 0);
}

TEST_F(DeviceServiceE2E, DualStreamWithoutSubStreamLeavesTheChannelClosed) {
    StartSim();
    int d = AddDevice("127.0.0.1", sim.device(0).port, 2, "pw");
    StartService(1);
    ASSERT_TRUE(sim.ControlOk("refuse CAM sub on"));
    EXPECT_EQ(service_->connections().OpenChannel(d, 1), -1);
    ChannelRuntime& c = Channel(d, 1);
    EXPECT_EQ(c.mainStream.load(), 0);  // the main stream was open for a moment, and stopped
    EXPECT_EQ(c.subStream.load(), 0);
    EXPECT_EQ(c.connectState.load(), 0);
    EXPECT_FALSE(service_->recording().HasRecorder(ChannelIdOf(d, 1)));
    // The connect worker's next try succeeds once the device gives the sub stream again.
    ASSERT_TRUE(sim.ControlOk("refuse CAM sub off"));
    EXPECT_EQ(service_->connections().OpenChannel(d, 1), 0);
    EXPECT_NE(c.mainStream.load(), 0);
    EXPECT_NE(c.subStream.load(), 0);
    EXPECT_EQ(c.connectState.load(), 2);
}

TEST_F(DeviceServiceE2E, FramesReachTheRecorderAndOnlyTheCellsThatShowTheChannel) {
    StartSim();
    int d = AddDevice("127.0.0.1", sim.device(1).port, 16, "pw");
    StartService();
    PlayerChannelSet& players = service_->players();
    test::CountingSurface& shows0 = *NewSurface(64, 48);
    test::CountingSurface& shows1 = *NewSurface(64, 48);
    test::CountingSurface& empty = *NewSurface(64, 48);
    ASSERT_EQ(players.CreatePlayer(0, &shows0), 0);
    ASSERT_EQ(players.CreatePlayer(1, &shows1), 0);
    ASSERT_EQ(players.CreatePlayer(2, &empty), 0);
    players.SetVisibleSplit(4);
    ASSERT_EQ(players.AttachChannel(0, ChannelIdOf(d, 0), 0), 0);
    ASSERT_EQ(players.AttachChannel(1, ChannelIdOf(d, 1), 0), 0);
    ASSERT_EQ(service_->connections().OpenChannel(d, 0), 0) << sim.log();
    ASSERT_EQ(service_->connections().OpenChannel(d, 1), 0);
    ASSERT_TRUE(WaitUntil([&] { return shows0.pictures.load() > 5 && shows1.pictures.load() > 5; }, 20000));
    EXPECT_EQ(empty.pictures.load(), 0);
    // Recording through the scheduler's operations writes a file on drive D.
    service_->recording().InitRecorderDisk(ChannelIdOf(d, 0), 1);
    ASSERT_EQ(service_->recording().StartManualRecordingOn(d, 0, 1, clockSnapshot().SecondOfDay()), 0);
    EXPECT_EQ(Channel(d, 0).recordType.load(), 1);
    std::string folder = app_ / "d/QVXFile/2020_07_08/127.0.0.1-" + std::to_string(sim.device(1).port) + "-1";
    std::string file = folder + "/NREC200708_100000.qvx";
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(file) && std::filesystem::file_size(file) > 200040; },
                          8000));
    ASSERT_EQ(service_->recording().StopRecording(d, 0), 0);
    std::vector<IndexRecord> index;
    ASSERT_EQ(ReadIndexFile(folder + "/images.fi", &index), 0);
    ASSERT_EQ(index.size(), 1u);
    EXPECT_GT(index[0].sizeKiB, 195u);
}

TEST_F(DeviceServiceE2E, SplitChangePausesCellsBeyondTheLayoutAndResumesThem) {
    StartSim();
    int d = AddDevice("127.0.0.1", sim.device(1).port, 16, "pw");
    StartService();
    PlayerChannelSet& players = service_->players();
    std::vector<test::CountingSurface*> surfaces;
    for (int i = 0; i < 16; ++i) {
        surfaces.push_back(NewSurface(32, 24));
        ASSERT_EQ(players.CreatePlayer(i, surfaces.back()), 0);
        ASSERT_EQ(players.AttachChannel(i, ChannelIdOf(d, i), 0), 0);
    }
    players.SetVisibleSplit(16);
    for (int i = 0; i < 16; ++i) ASSERT_EQ(service_->connections().OpenChannel(d, i), 0);
    auto all = [&](int from, int to, int atLeast) {
        for (int i = from; i < to; ++i)
            if (surfaces[i]->pictures.load() < atLeast) return false;
        return true;
    };
    ASSERT_TRUE(WaitUntil([&] { return all(0, 16, 3); }, 20000));
    players.SetVisibleSplit(4);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // frames already decoding drain
    std::vector<int> before;
    for (auto& s : surfaces) before.push_back(s->pictures.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    for (int i = 4; i < 16; ++i) EXPECT_EQ(surfaces[i]->pictures.load(), before[i]) << "cell " << i;
    for (int i = 0; i < 4; ++i) EXPECT_GT(surfaces[i]->pictures.load(), before[i]) << "cell " << i;
    players.SetVisibleSplit(16);
    ASSERT_TRUE(WaitUntil([&] {
        for (int i = 4; i < 16; ++i)
            if (surfaces[i]->pictures.load() <= before[i] + 2) return false;
        return true;
    }, 20000));
}

TEST_F(DeviceServiceE2E, LogoutWaitsForAPendingConnectWorker) {
    StartSim();
    // The NVR has no sub stream, so a channel set to show it keeps its worker retrying.
    int d = AddDevice("127.0.0.1", sim.device(1).port, 16, "pw", 0, 1);
    StartService();
    ASSERT_EQ(service_->connections().StartDeviceThread(d), 0);
    DeviceRuntime& devRt = service_->runtime().device(d);
    ASSERT_TRUE(WaitUntil([&] { return devRt.deviceState.load() == 2; }, 20000));
    ASSERT_EQ(service_->connections().StartConnectWorker(d, 0), 0);
    EXPECT_EQ(service_->connections().StartConnectWorker(d, 0), 0);  // one worker per channel
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Channel(d, 0).connectPending.load(), 1);
    ASSERT_EQ(service_->connections().StopDeviceThread(d), 0);
    EXPECT_EQ(Channel(d, 0).connectPending.load(), 0);
    EXPECT_EQ(devRt.loginHandle.load(), 0);
    EXPECT_EQ(Channel(d, 0).mainStream.load(), 0);
    // An unreachable device's worker does not outlive the stop either.
    int port = test::FreePort();
    int other = -1;
    {
        ConfigStore& store = service_->store();
        DeviceRecord r{};
        CopyText(r.host, "127.0.0.1");
        r.port = port;
        r.channelCount = 1;
        CopyText(r.user, "admin");
        ASSERT_EQ(store.AddDevice(r, &other), 0);
    }
    ASSERT_EQ(service_->connections().StartDeviceThread(other), 0);
    ASSERT_EQ(service_->connections().StartConnectWorker(other, 0), 0);
    ASSERT_EQ(service_->connections().StopDeviceThread(other), 0);
    EXPECT_EQ(Channel(other, 0).connectPending.load(), 0);
}

TEST_F(DeviceServiceE2E, StopAllDevicesEndsWith32DevicesAndPendingWorkers) {
    StartSim();
    AddDevice("127.0.0.1", sim.device(1).port, 2, "pw");
    AddDevice("127.0.0.1", sim.device(0).port, 2, "pw");
    std::vector<int> unreachable = test::FreePorts(30);
    for (int port : unreachable) ASSERT_GE(AddDevice("127.0.0.1", port, 2, "pw"), 0);
    StartService();
    service_->connections().StartAllDeviceThreads();
    for (int d = 0; d < 32; ++d) service_->connections().StartConnectWorker(d, 0);
    ASSERT_TRUE(WaitUntil([&] { return service_->runtime().device(0).deviceState.load() == 2; }, 20000));
    auto start = std::chrono::steady_clock::now();
    service_.reset();  // StopAllDevices, then the database is closed
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
}  // namespace ocv

namespace ocv {
namespace {

// The thermal picture of a screening camera reaches the window given for it through a player
// of its own; other devices refuse it and leave nothing behind.
TEST_F(DeviceServiceE2E, ScreeningCameraThermalPictureReachesItsWindowAndStopsOnClose) {
    test::WriteText(sim.dir() / "site.ini",
                    "[site]\nloop_frames=50\n"
                    "[device]\nname=SCREEN\ntype=IPC\nfirmware=V27.1.0 build 20260101\nuser=admin\n"
                    "password=pw\nchannels=1\nmain=160x96@200\nsub=96x64@64\nkey_interval=25\n"
                    "[device]\nname=CAM\ntype=IPC\nuser=admin\npassword=pw\nchannels=1\nmain=160x96@200\n"
                    "sub=off\nkey_interval=25\n");
    std::string error;
    ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
    int screening = AddDevice("127.0.0.1", sim.device(0).port, 1, "pw");
    int plain = AddDevice("127.0.0.1", sim.device(1).port, 1, "pw");
    StartService();
    ASSERT_EQ(service_->connections().StartDeviceThread(screening), 0);
    ASSERT_EQ(service_->connections().StartDeviceThread(plain), 0);
    ASSERT_TRUE(WaitUntil([&] {
        return service_->runtime().device(screening).deviceState.load() == 2 &&
               service_->runtime().device(plain).deviceState.load() == 2;
    }, 20000)) << sim.log();

    test::CountingSurface* inset = NewSurface(64, 48);
    ASSERT_EQ(service_->connections().OpenThermalStream(screening, 0, inset), 0);
    ASSERT_TRUE(WaitUntil([&] { return inset->pictures.load() >= 3; }, 20000)) << sim.log();
    EXPECT_EQ(inset->lastWidth.load(), 64);
    EXPECT_NE(service_->runtime().device(screening).thermalStream.load(), 0);
    ASSERT_EQ(service_->connections().CloseThermalStream(screening), 0);
    EXPECT_EQ(service_->runtime().device(screening).thermalStream.load(), 0);
    int after = inset->pictures.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(inset->pictures.load(), after);
    EXPECT_EQ(service_->connections().CloseThermalStream(screening), 0);  // twice is harmless

    EXPECT_EQ(service_->connections().OpenThermalStream(plain, 0, NewSurface(64, 48)), -1);
    EXPECT_EQ(service_->connections().OpenThermalStream(screening, 0, nullptr), -1);
    // Reopening works: the refused attempt gave its player port back.
    ASSERT_EQ(service_->connections().OpenThermalStream(screening, 0, inset), 0);
    ASSERT_TRUE(WaitUntil([&] { return inset->pictures.load() > after + 2; }, 20000));
    service_->connections().StopDeviceThread(screening);
    service_->connections().StopDeviceThread(plain);
}

}  // namespace
}  // namespace ocv

namespace ocv {
namespace {

// The temperature log of a screening camera read through the device service: every reading of
// the span, in order, with the simulator's values, split by the filter.
TEST_F(DeviceServiceE2E, TemperatureLogQueryReadsEveryRecordOfTheSpanAndFilters) {
    test::WriteText(sim.dir() / "site.ini",
                    "[site]\nloop_frames=25\n"
                    "[device]\nname=SCREEN\ntype=IPC\nfirmware=V27.1.0 build 20260101\nuser=admin\n"
                    "password=pw\nchannels=1\nmain=64x48@32\nsub=off\nkey_interval=25\n");
    std::string error;
    ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
    int d = AddDevice("127.0.0.1", sim.device(0).port, 1, "pw");
    StartService();
    TimeBound from{2026, 1, 1, 8, 0, 0}, to{2026, 1, 1, 10, 0, 0};
    std::vector<TemperatureRecord> all;
    EXPECT_EQ(service_->temperature().QueryTemperatureLog(d, 0, from, to, kTemperatureAll, &all), -1);  // not logged in
    service_->connections().DeviceTick(d, 0);
    ASSERT_EQ(service_->runtime().device(d).deviceState.load(), 2) << sim.log();
    EXPECT_EQ(service_->connections().IsThermalCapable(d, 0), 0);

    ASSERT_EQ(service_->temperature().QueryTemperatureLog(d, 0, from, to, kTemperatureAll, &all), 0);
    ASSERT_EQ(all.size(), 121u);  // one reading a minute, both ends included
    std::tm start{};
    start.tm_year = 126;
    start.tm_mday = 1;
    start.tm_hour = 8;
    int32_t first = static_cast<int32_t>(timegm(&start));  // the test runs in UTC
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].time, first + static_cast<int32_t>(60 * i));
        EXPECT_EQ(all[i].code, devsim::TemperatureCodeAt(all[i].time));
    }
    std::vector<TemperatureRecord> normal, abnormal;
    ASSERT_EQ(service_->temperature().QueryTemperatureLog(d, 0, from, to, kTemperatureNormal, &normal), 0);
    ASSERT_EQ(service_->temperature().QueryTemperatureLog(d, 0, from, to, kTemperatureAbnormal, &abnormal), 0);
    EXPECT_FALSE(abnormal.empty());
    EXPECT_EQ(normal.size() + abnormal.size(), all.size());
    for (const TemperatureRecord& r : normal) EXPECT_EQ(r.code & 0x8000, 0);
    for (const TemperatureRecord& r : abnormal) EXPECT_NE(r.code & 0x8000, 0);
}

// The library's exception events change the connection state and nothing else; each change is
// announced once.
class ConnectionEvents : public test::DeviceServiceTest {};

TEST_F(ConnectionEvents, TrackStreamsAndDeviceStateAndAnnounceEachChangeOnce) {
    int d = AddDevice("127.0.0.1", test::FreePort(), 2, "pw");
    StartService();
    DeviceRuntime& rt = service_->runtime().device(d);
    rt.loginHandle = 7;
    rt.channels[0].mainStream = 11;
    rt.channels[0].connectState = kStreamOpen;
    test::HubWatch watch(service_->hub());
    ConnectionService& connections = service_->connections();

    connections.OnException(QVX_EXCEPTION_STREAM_LOST, 7, 11);
    EXPECT_EQ(rt.channels[0].connectState.load(), kStreamClosed);
    EXPECT_EQ(watch.ChannelStates(), std::vector<int>{ChannelIdOf(d, 0)});
    connections.OnException(QVX_EXCEPTION_STREAM_RESTORED, 7, 11);
    EXPECT_EQ(rt.channels[0].connectState.load(), kStreamOpen);
    // A stream back after a loss has its device clock checked again.
    EXPECT_TRUE(service_->timeSync().Take(ChannelIdOf(d, 0)));
    connections.OnException(QVX_EXCEPTION_STREAM_LOST, 7, 99);  // no such stream
    connections.OnException(QVX_EXCEPTION_STREAM_LOST, 8, 11);  // no such login
    EXPECT_EQ(rt.channels[0].connectState.load(), kStreamOpen);
    EXPECT_EQ(watch.ChannelStates(), std::vector<int>{ChannelIdOf(d, 0)});

    // Device events flip the device state once.
    connections.OnException(QVX_EXCEPTION_LOGIN_RESTORED, 7, 0);
    connections.OnException(QVX_EXCEPTION_LOGIN_RESTORED, 7, 0);
    EXPECT_EQ(rt.deviceState.load(), kDeviceOnline);
    connections.OnException(QVX_EXCEPTION_LOGIN_LOST, 7, 0);
    EXPECT_EQ(watch.DeviceStates(d), (std::vector<DeviceState>{kDeviceOnline, kDeviceOffline}));
    // The alarm side kept the system log of the stream events.
    rt.loginHandle = 0;
}

}  // namespace
}  // namespace ocv
