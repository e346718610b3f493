// Devices that change under a running service: a password the device no longer accepts, and a
// channel the device switches off and on again.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/device/device_test_support.h"

namespace ocv {
namespace {

using test::DevsimProcess;
using test::RefusedLogins;
using test::WaitUntil;

class DeviceRecovery : public test::DeviceServiceTest {
protected:
    DevsimProcess sim;

    // One simulated camera with one channel on fixed ports (so a second simulator can take its
    // place) and the given password; the log tells its refused logins.
    static bool StartCamera(DevsimProcess& p, int port, int webPort, const char* password, std::string* error) {
        return p.Start({"--devices", "1", "--name", "CAM", "--base-port", std::to_string(port), "--web-base-port",
                        std::to_string(webPort), "--password", password, "--main", "64x48@32", "--sub", "off",
                        "--loop-frames", "25", "--key-interval", "25"},
                       error);
    }
    // Occurrences of a text in today's system log (the clock is driven to 2020-07-08).
    int SystemLogCount(const std::string& text) {
        std::ifstream in(app_ / "Logx/S20200708.log", std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        int n = 0;
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }
};

TEST_F(DeviceRecovery, RefusedPasswordIsItsOwnStateRetriedAfterAGrowingPause) {
    auto ports = test::FreePorts(2);
    std::string error;
    ASSERT_TRUE(StartCamera(sim, ports[0], ports[1], "right", &error)) << error;
    int d = AddDevice("127.0.0.1", ports[0], 1, "wrong");
    StartService();
    test::HubWatch watch(service_->hub());
    DeviceInfo& dev = service_->store().device(d);
    DeviceRuntime& devRt = service_->runtime().device(d);

    service_->connections().DeviceTick(d, 0);
    EXPECT_EQ(devRt.loginHandle.load(), 0);
    EXPECT_EQ(devRt.deviceState.load(), kDeviceWrongPassword);
    EXPECT_EQ(RefusedLogins(sim), 1);
    // Announced once: the live view redraws the device's channels.
    EXPECT_EQ(watch.DeviceStates(d), std::vector<DeviceState>{kDeviceWrongPassword});
    // A channel opening does not try the refused password on its own.
    EXPECT_EQ(service_->connections().OpenChannel(d, 0), -1);
    EXPECT_EQ(RefusedLogins(sim), 1);

    // Pauses of 30 s, 1, 2, 4 and 8 min, then 10 min each, in device-thread turns of 100 ms;
    // tick 0 of a cycle does not shorten them.
    int refused = 1;
    for (int pause : {300, 600, 1200, 2400, 4800, 6000, 6000}) {
        for (int turn = 1; turn < pause; ++turn) service_->connections().DeviceTick(d, turn % 300);
        ASSERT_EQ(RefusedLogins(sim), refused) << "pause " << pause;
        service_->connections().DeviceTick(d, pause % 300);
        ASSERT_EQ(RefusedLogins(sim), ++refused) << "pause " << pause;
        EXPECT_EQ(devRt.deviceState.load(), kDeviceWrongPassword);
    }
    EXPECT_EQ(SystemLogCount("Wrong user name or password"), 1);  // once for the whole streak

    // The operator corrects the password: the next turn tries at once.
    CopyText(dev.password, "right");
    ASSERT_EQ(service_->connections().RetryLoginNow(d), 0);
    service_->connections().DeviceTick(d, 1);
    EXPECT_NE(devRt.loginHandle.load(), 0);
    EXPECT_EQ(devRt.deviceState.load(), kDeviceOnline);
    EXPECT_EQ(RefusedLogins(sim), refused);
    EXPECT_EQ(watch.DeviceStates(d), std::vector<DeviceState>{kDeviceOnline});
}

TEST_F(DeviceRecovery, RetryNowAfterAnEditStartsThePausesAfresh) {
    auto ports = test::FreePorts(2);
    std::string error;
    ASSERT_TRUE(StartCamera(sim, ports[0], ports[1], "right", &error)) << error;
    int d = AddDevice("127.0.0.1", ports[0], 1, "wrong");
    StartService();
    service_->connections().DeviceTick(d, 0);
    ASSERT_EQ(service_->runtime().device(d).deviceState.load(), kDeviceWrongPassword);
    for (int turn = 1; turn <= 300; ++turn) service_->connections().DeviceTick(d, turn % 300);
    ASSERT_EQ(RefusedLogins(sim), 2);  // the next pause would be a minute
    ASSERT_EQ(service_->connections().RetryLoginNow(d), 0);  // still the wrong password
    service_->connections().DeviceTick(d, 1);
    EXPECT_EQ(RefusedLogins(sim), 3);
    for (int turn = 1; turn < 300; ++turn) service_->connections().DeviceTick(d, turn % 300);
    EXPECT_EQ(RefusedLogins(sim), 3);
    service_->connections().DeviceTick(d, 0);
    EXPECT_EQ(RefusedLogins(sim), 4);  // 30 s again, not 60
    // Restarting the device thread (after an edit) also gives the login a fresh try.
    ASSERT_EQ(service_->connections().StartDeviceThread(d), 0);
    ASSERT_TRUE(WaitUntil([&] { return RefusedLogins(sim) == 5; }, 20000));
    ASSERT_EQ(service_->connections().StopDeviceThread(d), 0);
}

// The password changes on the device while the service is logged in: the library's
// reconnections are refused once each and not repeated, the device thread takes over with its
// pauses, and the corrected password brings the login and the open channel back.
TEST_F(DeviceRecovery, PasswordChangedOnTheDeviceDropsTheLoginInsteadOfRetryingEveryFewSeconds) {
    auto ports = test::FreePorts(2);
    std::string error;
    ASSERT_TRUE(StartCamera(sim, ports[0], ports[1], "pw", &error)) << error;
    int d = AddDevice("127.0.0.1", ports[0], 1, "pw");
    StartService();
    DeviceInfo& dev = service_->store().device(d);
    DeviceRuntime& devRt = service_->runtime().device(d);
    // In a weekly plan (not at this hour): the channel has a recorder that comes and goes with it.
    SetRelaxed(service_->store().MutableSettingsForTesting().PLANREC, 1);
    SetRelaxed(service_->store().MutableSettingsForTesting().DISK, 2);
    SetRelaxed(Stored(d, 0).planRecord, 1);
    SetRelaxed(Stored(d, 0).planSchedule[0], 1u);
    service_->connections().DeviceTick(d, 0);
    ASSERT_EQ(devRt.deviceState.load(), kDeviceOnline);
    ASSERT_EQ(service_->connections().OpenChannel(d, 0), 0);
    ChannelRuntime& c = Channel(d, 0);
    ASSERT_TRUE(WaitUntil([&] { return c.MainStreamInfo().width != 0; }, 20000));
    EXPECT_TRUE(service_->recording().HasRecorder(ChannelIdOf(d, 0)));

    ASSERT_EQ(sim.Stop(), 0);
    DevsimProcess changed;
    ASSERT_TRUE(StartCamera(changed, ports[0], ports[1], "changed", &error)) << error;
    ASSERT_TRUE(WaitUntil([&] {
        service_->connections().DeviceTick(d, 1);
        return devRt.deviceState.load() == kDeviceWrongPassword;
    }, 20000)) << changed.log();
    EXPECT_EQ(devRt.loginHandle.load(), 0);
    EXPECT_EQ(c.mainStream.load(), 0);
    EXPECT_FALSE(service_->recording().HasRecorder(ChannelIdOf(d, 0)));
    // The stream's connection may be refused a moment after the control connection: let both
    // land before counting (a retry would still show as a third refusal).
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int refused = RefusedLogins(changed);
    EXPECT_GE(refused, 1);  // the control connection, and the stream's
    EXPECT_LE(refused, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // five reconnect intervals
    EXPECT_EQ(RefusedLogins(changed), refused);
    for (int turn = 1; turn < 300; ++turn) service_->connections().DeviceTick(d, turn % 300);
    EXPECT_EQ(RefusedLogins(changed), refused);
    service_->connections().DeviceTick(d, 0);
    EXPECT_EQ(RefusedLogins(changed), refused + 1);

    // The operator enters the new password: the login comes back and so does the open channel.
    CopyText(dev.password, "changed");
    ASSERT_EQ(service_->connections().RetryLoginNow(d), 0);
    service_->connections().DeviceTick(d, 0);
    EXPECT_EQ(devRt.deviceState.load(), kDeviceOnline);
    ASSERT_TRUE(WaitUntil([&] { return c.mainStream.load() != 0 && c.connectState.load() == 2; }, 20000))
        << changed.log();
    EXPECT_TRUE(service_->recording().HasRecorder(ChannelIdOf(d, 0)));
}

// A channel switched off on the device gives up its stream and recorder; once the channel
// status reports it on again, it is opened again and its planned recording goes on.
TEST_F(DeviceRecovery, ChannelClosedByTheDeviceIsReopenedWhenItIsOnAgainAndRecordsAgain) {
    test::WriteText(sim.dir() / "site.ini",
                    "[site]\nloop_frames=50\n[device]\nname=CAM\ntype=IPC\nuser=admin\npassword=pw\n"
                    "channels=1\nmain=96x64@64\nsub=off\nkey_interval=25\n");
    std::string error;
    ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
    int d = AddDevice("127.0.0.1", sim.device(0).port, 1, "pw");
    StartService();
    SystemSettings& s = service_->store().MutableSettingsForTesting();
    SetRelaxed(s.DISK, 2);  // drive D
    SetRelaxed(s.DISKREMAIN, 1);
    SetRelaxed(s.RECLEN, 5);
    SetRelaxed(s.PLANREC, 1);
    SetRelaxed(Stored(d, 0).planRecord, 1);
    for (uint32_t& w : Stored(d, 0).planSchedule) SetRelaxed(w, 0xFFFFFFu);
    ChannelRuntime& c = Channel(d, 0);
    service_->disks().CheckDisks();
    ASSERT_EQ(service_->disks().CurrentRecordDisk(), 1);
    int id = ChannelIdOf(d, 0);

    service_->connections().DeviceTick(d, 0);  // logs in and polls the channel status
    ASSERT_EQ(c.channelOn.load(), 1);
    ASSERT_EQ(service_->connections().OpenChannel(d, 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return c.MainStreamInfo().width != 0; }, 20000));
    service_->recording().SchedulerPass();
    ASSERT_EQ(c.recordActive.load(), 1);
    EXPECT_EQ(c.recordType.load(), 3);

    ASSERT_TRUE(sim.ControlOk("channel CAM 0 off"));
    ASSERT_TRUE(WaitUntil([&] {
        service_->connections().DeviceTick(d, 1);
        return c.mainStream.load() == 0;
    }, 20000));
    EXPECT_FALSE(service_->recording().HasRecorder(id));
    EXPECT_EQ(c.connectState.load(), 0);
    service_->recording().SchedulerPass();
    EXPECT_EQ(c.recordActive.load(), 0);
    service_->connections().DeviceTick(d, 60);  // the status poll: off, nothing to open
    EXPECT_EQ(c.channelOn.load(), 0);
    EXPECT_EQ(c.connectPending.load(), 0);

    ASSERT_TRUE(sim.ControlOk("channel CAM 0 on"));
    service_->connections().DeviceTick(d, 120);
    EXPECT_EQ(c.channelOn.load(), 1);
    ASSERT_TRUE(WaitUntil([&] { return c.mainStream.load() != 0 && c.connectState.load() == 2; }, 20000))
        << sim.log();
    EXPECT_TRUE(service_->recording().HasRecorder(id));
    ASSERT_TRUE(WaitUntil([&] {
        service_->recording().SchedulerPass();
        return c.recordActive.load() == 1;
    }, 20000));
    EXPECT_EQ(c.recordType.load(), 3);
    ASSERT_TRUE(WaitUntil([&] { return c.connectPending.load() == 0; }, 20000));  // the worker is done
    // Opened once more, the channel is not opened a second time by a later poll.
    int stream = c.mainStream.load();
    service_->connections().DeviceTick(d, 180);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(c.mainStream.load(), stream);
    EXPECT_EQ(c.connectPending.load(), 0);
}

}  // namespace
}  // namespace ocv
