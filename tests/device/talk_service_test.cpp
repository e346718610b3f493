// Talk, broadcast, PTZ and the live view's channel actions against the simulator: the voice
// goes both ways, one two-way talk at a time, a broadcast reaches several channels, talks end
// with their channel's stream, their login and their cell, PTZ commands reach the device as
// preset or control commands, and a disconnected channel stays closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/device/device_test_support.h"
#include "tests/device/fake_audio.h"

namespace ocv {
namespace {

using test::DevsimProcess;
using test::WaitUntil;

std::string SiteFile() {
    return "[site]\nloop_frames=25\n"
           "[device]\nname=CAM\ntype=IPC\nuser=admin\npassword=pw\nchannels=2\nmain=96x64@64\n"
           "sub=off\nkey_interval=25\n"
           "[device]\nname=NVR\ntype=NVR\nuser=admin\npassword=pw\nchannels=4\nmain=96x64@32\n"
           "sub=off\nkey_interval=25\n";
}

class TalkE2E : public test::DeviceServiceTest {
protected:
    void SetUp() override {
        test::DeviceServiceTest::SetUp();
        test::WriteText(sim.dir() / "site.ini", SiteFile());
        std::string error;
        ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
        speaker = test::InstallSpeakers();
        test::InstallToneMicrophone(&microphones);
        cam = AddDevice("127.0.0.1", sim.device(0).port, 2, "pw");
        nvr = AddDevice("127.0.0.1", sim.device(1).port, 4, "pw");
        StartService();
        for (int d : {cam, nvr}) ASSERT_EQ(service_->connections().StartDeviceThread(d), 0);
        for (int d : {cam, nvr})
            ASSERT_TRUE(WaitUntil([&] { return service_->runtime().device(d).deviceState.load() == 2; }, 20000));
    }
    void TearDown() override {
        service_.reset();
        test::RemoveFakeAudio();
        test::DeviceServiceTest::TearDown();
    }
    std::vector<std::string> Report(const char* device) { return sim.Control(std::string("report ") + device); }
    bool ReportHas(const char* device, const std::string& line) {
        auto r = Report(device);
        return std::find(r.begin(), r.end(), line) != r.end();
    }
    long TalkBytes(const char* device) {
        for (const std::string& line : Report(device))
            if (line.rfind("talkbytes ", 0) == 0) return std::stol(line.substr(10));
        return -1;
    }
    int Count(const char* device, const std::string& line) {
        auto r = Report(device);
        return int(std::count(r.begin(), r.end(), line));
    }
    TalkControl& talk() { return service_->talk(); }

    DevsimProcess sim;
    std::shared_ptr<test::SpeakerLog> speaker;
    std::atomic<int> microphones{0};
    int cam = -1, nvr = -1;
};

TEST_F(TalkE2E, TwoWayTalkCarriesTheMicrophoneToTheDeviceAndTheDevicesVoiceToTheSpeaker) {
    test::HubWatch watch(service_->hub());
    ASSERT_EQ(talk().StartTalk(cam, 1), 0);
    int id = ChannelIdOf(cam, 1);
    EXPECT_EQ(talk().GetTalkChannel(), id);
    EXPECT_TRUE(talk().IsTalking(id));
    EXPECT_TRUE(ReportHas("CAM", "talk open mode 1"));
    // Up: the tone of the microphone, block after block.
    ASSERT_TRUE(WaitUntil([&] { return TalkBytes("CAM") >= 1600; }, 15000)) << TalkBytes("CAM");
    // Down: the device's own voice reaches the speaker.
    ASSERT_TRUE(WaitUntil([&] { return speaker->Count() >= 1600; }, 15000));
    ASSERT_EQ(talk().StopTalk(cam, 1), 0);
    EXPECT_EQ(talk().GetTalkChannel(), -1);
    EXPECT_FALSE(talk().IsTalking(id));
    EXPECT_EQ(microphones.load(), 0) << "the microphone is closed with the talk";
    long after = TalkBytes("CAM");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(TalkBytes("CAM"), after) << "nothing is sent after the stop";
    // The tree learns of both changes.
    std::vector<int> states = watch.ChannelStates();
    EXPECT_GE(std::count(states.begin(), states.end(), id), 2);
    EXPECT_EQ(talk().StopTalk(cam, 1), 0) << "stopping again is nothing";
}

TEST_F(TalkE2E, ASecondTalkIsRefusedWhileOneRunsAndDuringABroadcastCapture) {
    ASSERT_EQ(talk().StartTalk(cam, 0), 0);
    EXPECT_EQ(talk().StartTalk(nvr, 2), -1);
    EXPECT_EQ(talk().StartTalk(cam, 0), -1);
    EXPECT_EQ(talk().GetTalkChannel(), ChannelIdOf(cam, 0)) << "the holder can be named";
    EXPECT_FALSE(talk().IsTalking(ChannelIdOf(nvr, 2)));
    ASSERT_EQ(talk().StopTalk(cam, 0), 0);

    ASSERT_EQ(talk().StartBroadcastCapture(), 0);
    EXPECT_EQ(talk().IsBroadcasting(), 0);
    EXPECT_EQ(talk().StartTalk(nvr, 2), -1);
    ASSERT_EQ(talk().StopBroadcastCapture(), 0);
    EXPECT_EQ(talk().IsBroadcasting(), -1);
    EXPECT_EQ(talk().StartTalk(nvr, 2), 0);
    ASSERT_EQ(talk().StopTalk(nvr, 2), 0);
    // Channels that do not exist or devices that are not up are refused.
    EXPECT_EQ(talk().StartTalk(cam, 5), -1);
    EXPECT_EQ(talk().StartTalk(77, 0), -1);
    EXPECT_EQ(talk().StartBroadcastMember(cam, 9), -1);
}

TEST_F(TalkE2E, BroadcastReachesEveryMemberOnce) {
    ASSERT_EQ(talk().StartBroadcastCapture(), 0);
    ASSERT_EQ(talk().StartBroadcastCapture(), 0) << "one capture only";
    ASSERT_EQ(talk().StartBroadcastMember(cam, 0), 0);
    ASSERT_EQ(talk().StartBroadcastMember(nvr, 1), 0);
    ASSERT_EQ(talk().StartBroadcastMember(nvr, 3), 0);
    EXPECT_EQ(talk().StartBroadcastMember(nvr, 3), -1) << "already a member";
    EXPECT_EQ(talk().GetTalkChannel(), -1) << "a broadcast holds no two-way talk";
    EXPECT_EQ(Count("NVR", "talk open mode 0"), 2);
    EXPECT_EQ(Count("CAM", "talk open mode 0"), 1);
    ASSERT_TRUE(WaitUntil([&] { return TalkBytes("CAM") >= 1600 && TalkBytes("NVR") >= 3200; }, 15000));
    // Each member gets every block once: the NVR's two channels together get twice the camera's.
    for (int id : {ChannelIdOf(cam, 0), ChannelIdOf(nvr, 1), ChannelIdOf(nvr, 3)})
        EXPECT_GT(service_->talk().SentBlocks(id), 5u);
    EXPECT_EQ(microphones.load(), 1) << "one microphone feeds every member";
    EXPECT_EQ(speaker->Count(), 0u) << "a broadcast brings no voice back";
    ASSERT_EQ(talk().StopBroadcastCapture(), 0);
    EXPECT_EQ(microphones.load(), 0);
    for (auto [d, c] : {std::pair{cam, 0}, std::pair{nvr, 1}, std::pair{nvr, 3}}) ASSERT_EQ(talk().StopTalk(d, c), 0);
    for (int id : {ChannelIdOf(cam, 0), ChannelIdOf(nvr, 1)}) EXPECT_FALSE(talk().IsTalking(id));
}

TEST_F(TalkE2E, WithoutAMicrophoneATalkOnlyListensAndNoBroadcastStarts) {
    player::SetAudioInputFactory(nullptr);
    ASSERT_EQ(talk().StartTalk(cam, 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return speaker->Count() >= 800; }, 15000));
    EXPECT_EQ(TalkBytes("CAM"), 0);
    ASSERT_EQ(talk().StopTalk(cam, 0), 0);
    EXPECT_EQ(talk().StartBroadcastCapture(), -1);
    EXPECT_EQ(talk().IsBroadcasting(), -1);
}

TEST_F(TalkE2E, ATalkEndsWithItsChannelsStreamItsLoginAndItsCell) {
    ConnectionService& connections = service_->connections();
    // The channel's stream closes.
    ASSERT_EQ(connections.OpenChannel(cam, 0), 0);
    ASSERT_EQ(talk().StartTalk(cam, 0), 0);
    ASSERT_EQ(connections.CloseChannel(cam, 0), 0);
    EXPECT_TRUE(WaitUntil([&] { return !talk().IsTalking(ChannelIdOf(cam, 0)); }, 10000));
    EXPECT_EQ(talk().GetTalkChannel(), -1);

    // The cell showing it lets it go (a broadcast member of another channel stays).
    PlayerChannelSet& players = service_->players();
    ASSERT_EQ(players.CreatePlayer(0, NewSurface(64, 48)), 0);
    ASSERT_EQ(players.AttachChannel(0, ChannelIdOf(nvr, 0), 0), 0);
    ASSERT_EQ(talk().StartTalk(nvr, 0), 0);
    ASSERT_EQ(players.AttachChannel(0, -1, 0), 0);
    EXPECT_FALSE(talk().IsTalking(ChannelIdOf(nvr, 0)));
    EXPECT_EQ(talk().GetTalkChannel(), -1);

    // The device logs out.
    ASSERT_EQ(talk().StartBroadcastCapture(), 0);
    ASSERT_EQ(talk().StartBroadcastMember(nvr, 2), 0);
    ASSERT_EQ(talk().StartBroadcastMember(cam, 1), 0);
    ASSERT_EQ(connections.StopDeviceThread(nvr), 0);
    EXPECT_TRUE(WaitUntil([&] { return !talk().IsTalking(ChannelIdOf(nvr, 2)); }, 10000));
    EXPECT_TRUE(talk().IsTalking(ChannelIdOf(cam, 1))) << "another device's member goes on";
    EXPECT_EQ(talk().SendTalkData(nvr, 2, reinterpret_cast<const uint8_t*>("abcd"), 4), -1);
    players.DestroyPlayer(0);
}

TEST_F(TalkE2E, PtzPresetsAndMovesReachTheDevice) {
    PtzControl& ptz = service_->ptz();
    ASSERT_TRUE(sim.ControlOk("clear CAM"));
    EXPECT_EQ(ptz.SendPtz(cam, 1, kPtzPresetGoto, 0, 5), 0);
    EXPECT_EQ(ptz.SendPtz(cam, 1, 23, 0, 5), 0);
    EXPECT_EQ(ptz.SendPtz(cam, 1, 23, 1, 5), 0);
    EXPECT_EQ(ptz.SendPtz(cam, 0, kPtzPresetSet, 0, 11), 0);
    EXPECT_EQ(ptz.SendPtz(cam, 0, kPtzPresetClear, 0, 128), 0);
    EXPECT_EQ(ptz.SendPtz(cam, 0, 2, 1, 5), 0);  // light on
    auto r = Report("CAM");
    std::vector<std::string> want = {"preset 1 39 5", "ptz 1 23 0 5", "ptz 1 23 1 5", "preset 0 8 11", "preset 0 9 128",
                                     "ptz 0 2 1 5"};
    std::vector<std::string> got;
    for (const std::string& line : r)
        if (line.rfind("ptz ", 0) == 0 || line.rfind("preset ", 0) == 0) got.push_back(line);
    EXPECT_EQ(got, want);
    // Nothing goes to a channel that does not exist or a device that is down.
    EXPECT_EQ(ptz.SendPtz(cam, 2, 21, 0, 5), -1);
    EXPECT_EQ(ptz.SendPtz(cam, 0, 21, -1, 5), -1);
    ASSERT_EQ(service_->connections().StopDeviceThread(cam), 0);
    EXPECT_EQ(ptz.SendPtz(cam, 0, 21, 0, 5), -1);
}

TEST_F(TalkE2E, ADisconnectedChannelStaysClosedAndItsWorkerEnds) {
    ChannelActions& actions = service_->channelActions();
    ChannelRuntime& c = Channel(nvr, 1);
    ASSERT_EQ(service_->connections().StartConnectWorker(nvr, 1), 0);
    ASSERT_TRUE(WaitUntil([&] { return c.mainStream.load() != 0; }, 10000));
    ASSERT_EQ(actions.DisconnectChannel(nvr, 1), 0);
    EXPECT_EQ(c.mainStream.load(), 0);
    EXPECT_EQ(c.connectPending.load(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(c.mainStream.load(), 0) << "no worker opened it again";
    // A worker for a device that is down ends too (by itself or by the disconnect, whichever
    // comes first: a slow machine may see either).
    ASSERT_EQ(service_->connections().StopDeviceThread(cam), 0);
    ASSERT_EQ(service_->connections().StartConnectWorker(cam, 0), 0);
    ASSERT_EQ(actions.DisconnectChannel(cam, 0), 0);
    EXPECT_TRUE(WaitUntil([&] { return Channel(cam, 0).connectPending.load() == 0; }, 2000));
    EXPECT_EQ(actions.DisconnectChannel(cam, 9), -1);
    // Check time marks the channel for the time-sync worker.
    ASSERT_EQ(actions.MarkTimeSync(nvr, 3), 0);
    EXPECT_TRUE(service_->timeSync().Take(ChannelIdOf(nvr, 3)));
    EXPECT_EQ(actions.MarkTimeSync(nvr, 4), -1);
}

TEST_F(TalkE2E, ACaptureOfACellWritesItsPictureIntoTheSnapshotFolder) {
    SystemSettings& s = service_->store().MutableSettingsForTesting();
    CopyText(s.PHOTOPATH, "D:\\");
    s.PHOTOTYPE = 0;
    PlayerChannelSet& players = service_->players();
    test::CountingSurface* surface = NewSurface(96, 64);
    ASSERT_EQ(players.CreatePlayer(3, surface), 0);
    players.SetVisibleSplit(4);
    std::string path;
    EXPECT_EQ(service_->channelActions().CaptureCell(3, &path), -1) << "empty cell";
    ASSERT_EQ(players.AttachChannel(3, ChannelIdOf(cam, 1), 0), 0);
    ASSERT_EQ(service_->connections().OpenChannel(cam, 1), 0);
    ASSERT_TRUE(WaitUntil([&] { return surface->pictures.load() > 2; }, 20000));
    ASSERT_EQ(service_->channelActions().CaptureCell(3, &path), 0);
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    EXPECT_NE(path.find("QVXPhoto"), std::string::npos);
    EXPECT_NE(path.find("-C2"), std::string::npos) << path;
    std::ifstream in(path, std::ios::binary);
    unsigned char head[2] = {};
    in.read(reinterpret_cast<char*>(head), 2);
    EXPECT_EQ(head[0], 0xFF);
    EXPECT_EQ(head[1], 0xD8) << "a JPEG file";
    EXPECT_EQ(service_->channelActions().CaptureCell(36, &path), -1);
    players.DestroyPlayer(3);
}

}  // namespace
}  // namespace ocv
