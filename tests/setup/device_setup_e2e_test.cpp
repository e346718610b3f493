// The device pages' work end to end against the simulator: a device restarted by an edit opens
// again the channels its cells showed and the one the operator recorded; discovery finds the
// devices and moves one to a new port, where the client follows it; "Test" and "GET CHN" log in
// for real; configuration records go to the device and come back; the preview is drawn over.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include "setup/config_records.h"
#include "setup/device_form_rules.h"
#include "setup/device_list_editor.h"
#include "setup/device_probe.h"
#include "setup/discovery_run.h"
#include "setup/found_devices.h"
#include "setup/motion_areas.h"
#include "tests/device/device_test_support.h"

namespace ocv {
namespace {

using test::WaitUntil;

std::string SiteFile() {
    return "[site]\nloop_frames=50\n"
           "[device]\nname=CAM\naddress=127.0.0.1\ntype=IPC\nuser=admin\npassword=pw\nchannels=2\nmain=160x96@200\n"
           "sub=off\nkey_interval=25\n"
           "[device]\nname=DEC\naddress=127.0.0.3\ntype=DECODER\nuser=admin\npassword=pw\nchannels=4\n"
           "main=96x64@32\nsub=off\nkey_interval=25\n"
           "[device]\nname=NVR\naddress=127.0.0.20\ntype=NVR\nuser=admin\npassword=pw\nchannels=8\n"
           "main=96x64@32\nsub=off\nkey_interval=25\n";
}

class SetupE2E : public test::DeviceServiceTest {
protected:
    void StartSim() {
        test::WriteText(sim.dir() / "site.ini", SiteFile());
        std::string error;
        ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
        std::istringstream ports(test::ReadText(sim.dir() / "ports"));
        std::string word;
        while (ports >> word)
            if (word == "discovery") ports >> discoveryPort;
        ASSERT_GT(discoveryPort, 0);
    }
    void RecordOnDriveD() {
        SystemSettings& s = service_->store().MutableSettingsForTesting();
        SetRelaxed(s.DISK, 2);
        SetRelaxed(s.DISKREMAIN, 1);
        SetRelaxed(s.RECLEN, 5);
        service_->disks().CheckDisks();
        ASSERT_EQ(service_->disks().CurrentRecordDisk(), 1);
    }
    bool Online(int d) {
        return WaitUntil([&] { return service_->runtime().device(d).deviceState.load() == kDeviceOnline; }, 20000);
    }
    bool Open(int d, int ch) {
        return WaitUntil([&] { return Channel(d, ch).connectState.load() == kStreamOpen; }, 20000);
    }

    test::DevsimProcess sim;
    int discoveryPort = 0;
};

TEST_F(SetupE2E, ARestartedDeviceOpensAgainWhatItsCellsShowedAndWhatWasRecorded) {
    StartSim();
    int d = AddDevice("127.0.0.1", sim.device(0).port, 2, "pw");
    StartService();
    RecordOnDriveD();
    ConnectionService& connections = service_->connections();
    test::CountingSurface& cell = *NewSurface(64, 48);
    ASSERT_EQ(service_->players().CreatePlayer(0, &cell), 0);
    service_->players().SetVisibleSplit(4);
    ASSERT_EQ(service_->players().AttachChannel(0, ChannelIdOf(d, 1), 0), 0);
    ASSERT_EQ(connections.StartDeviceThread(d), 0);
    ASSERT_EQ(connections.StartConnectWorker(d, 0), 0);
    ASSERT_EQ(connections.StartConnectWorker(d, 1), 0);
    ASSERT_TRUE(Open(d, 0) && Open(d, 1));
    // Channel 0 records by the operator's switch once its stream has told the picture size.
    ASSERT_TRUE(WaitUntil([&] { return Channel(d, 0).MainStreamInfo().width != 0; }, 20000));
    ASSERT_EQ(service_->recording().StartManualRecording(d, 0), 0);
    // Only the cell keeps channel 1: its connect worker was done once it opened.
    ASSERT_EQ(connections.SetConnectPending(d, 1, 0), 0);
    EXPECT_EQ(connections.ChannelsInUse(d), (std::vector<int>{0, 1}));
    int mainBefore = Channel(d, 0).mainStream.load();

    // A change of the device type restarts the device.
    test::HubWatch watch(service_->hub());
    DeviceListEditor editor(service_->store(), connections, service_->log());
    DeviceRecord edited = service_->store().device(d);
    edited.type = 50;
    ASSERT_EQ(editor.Modify(d, edited, "boss"), 0);
    EXPECT_EQ(watch.DeviceStates(d).front(), kDeviceOffline);
    ASSERT_TRUE(Open(d, 0) && Open(d, 1));
    EXPECT_NE(Channel(d, 0).mainStream.load(), mainBefore);
    int pictures = cell.pictures.load();
    ASSERT_TRUE(WaitUntil([&] { return cell.pictures.load() > pictures + 3; }, 20000));
    ASSERT_TRUE(WaitUntil([&] {
        service_->recording().SchedulerPass();
        return Channel(d, 0).recordType.load() == kRecordManual;
    }, 20000));
    EXPECT_EQ(service_->store().device(d).type, 50);
}

TEST_F(SetupE2E, ChannelsNobodyUsesStayClosedAfterARestart) {
    StartSim();
    int d = AddDevice("127.0.0.1", sim.device(0).port, 2, "pw");
    StartService();
    ConnectionService& connections = service_->connections();
    ASSERT_EQ(connections.StartDeviceThread(d), 0);
    ASSERT_TRUE(Online(d));
    EXPECT_TRUE(connections.ChannelsInUse(d).empty());
    DeviceListEditor editor(service_->store(), connections, service_->log());
    DeviceRecord edited = service_->store().device(d);
    edited.channelCount = 1;
    ASSERT_EQ(editor.Modify(d, edited, "boss"), 0);
    ASSERT_TRUE(Online(d));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Channel(d, 0).connectState.load(), kStreamClosed);
    EXPECT_EQ(Channel(d, 0).connectPending.load(), 0);
    // Channels the device no longer has are never reopened.
    EXPECT_EQ(connections.ReopenChannels(d, {1, 5}), 0);
    EXPECT_EQ(connections.ReopenChannels(99, {0}), -1);
}

// Collects the records a search reports, as the search window does.
struct Collected {
    std::mutex mutex;
    FoundDeviceList list;
    void Add(const QVX_FOUND_DEVICE& r) {
        std::lock_guard<std::mutex> lock(mutex);
        list.Insert(r);
    }
    std::vector<QVX_FOUND_DEVICE> Records() {
        std::lock_guard<std::mutex> lock(mutex);
        return list.records();
    }
};

TEST_F(SetupE2E, DiscoveryListsTheDevicesAndMovesOneToANewPortWhereTheClientFollowsIt) {
    StartSim();
    int d = AddDevice("127.0.0.1", sim.device(0).port, 2, "pw");
    StartService();
    ASSERT_EQ(service_->connections().StartDeviceThread(d), 0);
    ASSERT_TRUE(Online(d));

    Collected found;
    DiscoveryRun run([&](const QVX_FOUND_DEVICE& r) { found.Add(r); });
    std::vector<SearchTarget> targets{{"127.0.0.1", uint16_t(discoveryPort)}};
    ASSERT_EQ(run.Start(QVX_SCH_PROTOCOL_ALL, targets, false), DiscoveryRun::kStarted);
    EXPECT_EQ(run.Start(QVX_SCH_PROTOCOL_ALL, targets, false), DiscoveryRun::kStillSearching);
    ASSERT_TRUE(WaitUntil([&] { return found.Records().size() == 3; }, 10000));
    auto records = found.Records();
    // Address order by text: 127.0.0.20 before 127.0.0.3.
    EXPECT_EQ(FoundText(records[0].address), "127.0.0.1");
    EXPECT_EQ(FoundText(records[1].address), "127.0.0.20");
    EXPECT_EQ(FoundText(records[2].address), "127.0.0.3");
    ASSERT_EQ(records[0].port, uint32_t(sim.device(0).port));

    // The settings panel: a new port, the gateway left empty.
    QVX_FOUND_DEVICE moved = records[0];
    int newPort = test::FreePort();
    NetworkEdits edits{"127.0.0.1", std::to_string(newPort), FoundText(moved.mask), "", "", ""};
    ASSERT_EQ(ApplyNetworkEdits(edits, &moved), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !run.Searching(); }, 10000));
    std::atomic<int> result{1};
    ASSERT_TRUE(run.ApplyAsync(moved, "admin", "wrong", [&](int r) { result = r; }));
    ASSERT_TRUE(WaitUntil([&] { return result.load() != 1; }, 10000));
    EXPECT_EQ(result.load(), QVX_SCH_REFUSED);
    result = 1;
    ASSERT_TRUE(run.ApplyAsync(moved, "admin", "pw", [&](int r) { result = r; }));
    ASSERT_TRUE(WaitUntil([&] { return result.load() != 1; }, 10000));
    ASSERT_EQ(result.load(), 0);

    // The device answers on the new port, with the gateway sent as zeros.
    Collected again;
    DiscoveryRun second([&](const QVX_FOUND_DEVICE& r) { again.Add(r); });
    ASSERT_EQ(second.Start(QVX_SCH_PROTOCOL_ALL, targets, false), DiscoveryRun::kStarted);
    ASSERT_TRUE(WaitUntil([&] { return again.Records().size() == 3; }, 10000));
    EXPECT_EQ(again.Records()[0].port, uint32_t(newPort));
    EXPECT_EQ(FoundText(again.Records()[0].gateway), "0.0.0.0");

    // The device page follows it: the stored device moves and logs in there.
    DeviceListEditor editor(service_->store(), service_->connections(), service_->log());
    EXPECT_EQ(editor.MoveDevice("127.0.0.1", sim.device(0).port, "127.0.0.1", newPort, "boss"), 1);
    EXPECT_EQ(service_->store().device(d).port, newPort);
    ASSERT_TRUE(Online(d));
    EXPECT_EQ(ProbeDevice("127.0.0.1", newPort, "admin", "pw", 0).result, 0);
}

TEST_F(SetupE2E, TestAndGetChannelsLogInForReal) {
    StartSim();
    ProbeResult cam = ProbeDevice("127.0.0.1", sim.device(0).port, "admin", "pw", 0);
    EXPECT_EQ(cam.result, 0);
    EXPECT_EQ(cam.channelCount, 2);
    EXPECT_STREQ(TestVerdict(cam.result, cam.deviceType), "Test successful");
    ProbeResult decoder = ProbeDevice("127.0.0.3", sim.device(1).port, "admin", "pw", 0);
    EXPECT_EQ(decoder.result, 0);
    EXPECT_EQ(decoder.deviceType, "DECODER");
    EXPECT_STREQ(TestVerdict(decoder.result, decoder.deviceType), "Invalid device!");
    ProbeResult refused = ProbeDevice("127.0.0.1", sim.device(0).port, "admin", "nope", 0);
    EXPECT_STREQ(TestVerdict(refused.result, refused.deviceType), "Connection Failed");
    ProbeResult nobody = ProbeDevice("127.0.0.1", test::FreePort(), "admin", "pw", 0);
    EXPECT_NE(nobody.result, 0);
}

TEST_F(SetupE2E, ConfigurationRecordsGoToTheDeviceAndComeBack) {
    StartSim();
    int d = AddDevice("127.0.0.1", sim.device(0).port, 2, "pw");
    int offline = AddDevice("127.0.0.1", test::FreePort(), 1, "pw");
    StartService();
    DeviceConfiguration& config = service_->deviceConfig();
    ConfigRecord colour(QVX_CMD_COLOR);
    EXPECT_EQ(config.GetChannelConfig(d, 1, QVX_CMD_COLOR, colour.data(), colour.size()), -1);  // not logged in
    ASSERT_EQ(service_->connections().StartDeviceThread(d), 0);
    ASSERT_TRUE(Online(d));

    ASSERT_EQ(config.GetChannelConfig(d, 1, QVX_CMD_COLOR, colour.data(), colour.size()), 0);
    EXPECT_EQ(colour.Word(cfg::kColorBrightness), 128u);
    colour.SetWord(cfg::kColorBrightness, 201);
    ASSERT_EQ(config.SendChannelConfig(d, 1, QVX_CMD_COLOR, colour.data(), colour.size()), 0);

    ConfigRecord quality(QVX_CMD_QUALITY);
    quality.SetWord(cfg::kQualityStream, 0);
    ASSERT_EQ(config.GetChannelConfig(d, 1, QVX_CMD_QUALITY, quality.data(), quality.size()), 0);
    EXPECT_EQ(quality.Word(cfg::kQualityWidth), 160u);
    quality.SetWord(cfg::kQualityBitRate, 777);
    ASSERT_EQ(config.SendChannelConfig(d, 1, QVX_CMD_QUALITY, quality.data(), quality.size()), 0);

    ConfigRecord motion(QVX_CMD_MOTION);
    ASSERT_EQ(config.GetChannelConfig(d, 1, QVX_CMD_MOTION, motion.data(), motion.size()), 0);
    std::vector<AreaRect> areas{{0, 0, 80, 48}, {100, 50, 160, 96}};
    motion.SetWord(cfg::kMotionEnable, 1);
    SetMotionAreas(&motion, areas);
    ASSERT_EQ(config.SendChannelConfig(d, 1, QVX_CMD_MOTION, motion.data(), motion.size()), 0);

    ConfigRecord back(QVX_CMD_COLOR);
    ASSERT_EQ(config.GetChannelConfig(d, 1, QVX_CMD_COLOR, back.data(), back.size()), 0);
    EXPECT_EQ(back.Word(cfg::kColorBrightness), 201u);
    ConfigRecord q(QVX_CMD_QUALITY);
    ASSERT_EQ(config.GetChannelConfig(d, 1, QVX_CMD_QUALITY, q.data(), q.size()), 0);
    EXPECT_EQ(q.Word(cfg::kQualityBitRate), 777u);
    ConfigRecord m(QVX_CMD_MOTION);
    ASSERT_EQ(config.GetChannelConfig(d, 1, QVX_CMD_MOTION, m.data(), m.size()), 0);
    EXPECT_EQ(MotionAreasOf(m), areas);
    EXPECT_EQ(m.Word(cfg::kMotionEnable), 1u);
    // Channel 0 kept its own record.
    ConfigRecord other(QVX_CMD_COLOR);
    ASSERT_EQ(config.GetChannelConfig(d, 0, QVX_CMD_COLOR, other.data(), other.size()), 0);
    EXPECT_EQ(other.Word(cfg::kColorBrightness), 128u);

    ConfigRecord capability(QVX_CMD_CAPABILITY);
    ASSERT_EQ(config.GetChannelConfig(d, 0, QVX_CMD_CAPABILITY, capability.data(), capability.size()), 0);
    EXPECT_EQ(capability.Word(cfg::kCapabilityChannels), 2u);
    EXPECT_EQ(config.GetChannelConfig(offline, 0, QVX_CMD_CAPABILITY, capability.data(), capability.size()), -1);
    EXPECT_EQ(config.GetChannelConfig(d, 9, QVX_CMD_COLOR, back.data(), back.size()), -1);
}

struct DrawCount {
    std::atomic<int> calls{0};
    std::atomic<int> width{0};
    static void Draw(int, QVXPlayDrawContext* context, int pictureWidth, int, intptr_t user) {
        auto* self = reinterpret_cast<DrawCount*>(user);
        if (context && context->planes[0]) ++self->calls;
        self->width = pictureWidth;
    }
};

TEST_F(SetupE2E, ThePreviewIsDrawnOverUntilItIsClosed) {
    StartSim();
    int d = AddDevice("127.0.0.1", sim.device(0).port, 2, "pw");
    StartService();
    ASSERT_EQ(service_->connections().StartDeviceThread(d), 0);
    ASSERT_TRUE(Online(d));
    test::CountingSurface& surface = *NewSurface(80, 48);
    DrawCount draws;
    int preview = 0;
    DeviceConfiguration& config = service_->deviceConfig();
    ASSERT_EQ(config.OpenPreview(d, 1, 0, &surface, &DrawCount::Draw, reinterpret_cast<intptr_t>(&draws), &preview), 0);
    ASSERT_NE(preview, 0);
    ASSERT_TRUE(WaitUntil([&] { return surface.pictures.load() > 3 && draws.calls.load() > 3; }, 20000));
    EXPECT_EQ(draws.width.load(), 160);
    // Only streams the library draws take a draw callback.
    EXPECT_EQ(QVX_SDK_RegisterDrawFun(999999, &DrawCount::Draw, 0), QVX_ERR_HANDLE);
    ASSERT_EQ(config.ClosePreview(preview), 0);
    int after = draws.calls.load(), shown = surface.pictures.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(draws.calls.load(), after);
    EXPECT_EQ(surface.pictures.load(), shown);
    EXPECT_EQ(config.ClosePreview(preview), -1);
}

}  // namespace
}  // namespace ocv
