// Recorders made only for channels that may record, against a live simulated camera; and the
// opening of a device's channels in parallel under the connection service's locks.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "record/record_file_reader.h"
#include "tests/device/device_test_support.h"

namespace ocv {
namespace {

using test::WaitUntil;
namespace fs = std::filesystem;

class RecorderLifecycle : public test::DeviceServiceTest {
protected:
    test::DevsimProcess sim;
    int d = -1;
    int id = -1;

    void SetUp() override {
        test::DeviceServiceTest::SetUp();
        test::WriteText(sim.dir() / "site.ini",
                        "[site]\nloop_frames=50\n[device]\nname=CAM\ntype=IPC\nuser=admin\npassword=pw\n"
                        "channels=1\nmain=96x64@64\nsub=off\nkey_interval=25\n");
        std::string error;
        ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini", "--quiet"}, &error)) << error;
        d = AddDevice("127.0.0.1", sim.device(0).port, 1, "pw");
        id = ChannelIdOf(d, 0);
        StartService();
        SystemSettings& s = service_->store().MutableSettingsForTesting();
        SetRelaxed(s.DISK, 2);  // drive D
        SetRelaxed(s.DISKREMAIN, 1);
        SetRelaxed(s.RECLEN, 5);
        SetRelaxed(s.ALARMLEN, 5);
        SetRelaxed(s.PLANREC, 1);
        SetRelaxed(s.ARMFLAG, 1);
        service_->disks().CheckDisks();
        ASSERT_EQ(service_->disks().CurrentRecordDisk(), 1);
    }
    void Open() {
        ASSERT_EQ(service_->connections().OpenChannel(d, 0), 0);
        ASSERT_TRUE(WaitUntil([&] { return Channel(d, 0).MainStreamInfo().width != 0; }, 20000));
    }
    bool HasRecorder() { return service_->recording().HasRecorder(id); }
    // The recorder takes the stream's frames (it learnt the picture size, also when it was
    // made after the stream's header).
    bool RecorderTakesFrames() {
        return WaitUntil([&] {
            Recorder* r = service_->recording().RecorderForTesting(id);
            return r != nullptr && r->LastVideoTime() != 0;
        }, 20000);
    }
    std::string Folder() {
        return app_ / ("d/QVXFile/2020_07_08/127.0.0.1-" + std::to_string(sim.device(0).port) + "-1");
    }
    bool AppearsWithFrames(const std::string& path) {
        return WaitUntil([&] { return fs::exists(path) && fs::file_size(path) > 200040 + 2000; }, 30000);
    }
    bool BeginsWithAKeyFrame(const std::string& path) {
        RecordFileReader reader;
        EXPECT_EQ(reader.Open(path), 0);
        FrameHeader h;
        std::vector<uint8_t> data;
        while (reader.Next(&h, &data))
            if (IsVideoFrame(h)) return IsKeyFrame(h);
        return false;
    }
};

TEST_F(RecorderLifecycle, WatchedChannelGetsARecorderOnlyWhileItMayRecord) {
    ChannelInfo& cfg = Stored(d, 0);
    Open();
    EXPECT_FALSE(HasRecorder());
    service_->recording().SchedulerPass();
    EXPECT_FALSE(HasRecorder());

    // In a weekly plan, even one whose half hours are all still to come: pre-record begins at
    // the next sweep, while the stream flows, from the stream's header kept by the service.
    SetRelaxed(cfg.planRecord, 1);
    SetRelaxed(cfg.planSchedule[0], 1u);  // Sunday 00:00; the test's clock is a Wednesday
    service_->recording().SchedulerPass();
    ASSERT_TRUE(HasRecorder());
    EXPECT_TRUE(RecorderTakesFrames());
    EXPECT_EQ(Channel(d, 0).recordType.load(), kRecordNone);

    // Out of the plan: deleted while its stream keeps flowing.
    SetRelaxed(cfg.planRecord, 0);
    service_->recording().SchedulerPass();
    EXPECT_FALSE(HasRecorder());
    EXPECT_NE(Channel(d, 0).mainStream.load(), 0);

    // An armed channel whose motion alarm records.
    SetRelaxed(cfg.armAlarm, 1);
    SetRelaxed(cfg.alarmMd, kLinkRecord);
    SetRelaxed(cfg.armSchedule[0], 1u);
    service_->recording().SchedulerPass();
    ASSERT_TRUE(HasRecorder());
    EXPECT_TRUE(RecorderTakesFrames());
    // Alarms that only sound do not record.
    SetRelaxed(cfg.alarmMd, kLinkSound);
    service_->recording().SchedulerPass();
    EXPECT_FALSE(HasRecorder());
    SetRelaxed(cfg.alarmMd, kLinkRecord);
    service_->recording().SchedulerPass();
    EXPECT_TRUE(HasRecorder());

    // No drive selected: nothing can be written, nothing is kept.
    SetRelaxed(service_->store().MutableSettingsForTesting().DISK, 0);
    service_->recording().SchedulerPass();
    EXPECT_FALSE(HasRecorder());
    SetRelaxed(service_->store().MutableSettingsForTesting().DISK, 2);
    service_->recording().SchedulerPass();
    EXPECT_TRUE(HasRecorder());

    // Closing the channel takes it; opening it again brings it back at once.
    ASSERT_EQ(service_->connections().CloseChannel(d, 0), 0);
    EXPECT_FALSE(HasRecorder());
    ASSERT_EQ(service_->connections().OpenChannel(d, 0), 0);
    EXPECT_TRUE(HasRecorder());
}

TEST_F(RecorderLifecycle, ManualSwitchOnAWatchedChannelRecordsAndItsRecorderGoesAfterwards) {
    Open();
    ASSERT_FALSE(HasRecorder());
    ASSERT_EQ(service_->recording().StartManualRecording(d, 0), 0);
    EXPECT_TRUE(HasRecorder());
    EXPECT_EQ(Channel(d, 0).recordType.load(), kRecordManual);
    std::string path = Folder() + "/NREC200708_100000.qvx";
    ASSERT_TRUE(AppearsWithFrames(path));
    // A sweep keeps it while the switch is on.
    service_->recording().SchedulerPass();
    EXPECT_TRUE(HasRecorder());
    AdvanceClockForTesting(1);
    ASSERT_EQ(service_->recording().StopRecording(d, 0), 0);
    EXPECT_TRUE(BeginsWithAKeyFrame(path));
    service_->recording().SchedulerPass();
    EXPECT_FALSE(HasRecorder());
    EXPECT_EQ(Channel(d, 0).recordType.load(), kRecordNone);
}

// A channel linked to record on alarm keeps its pre-record from the moment it opens, so an alarm
// recording holds the seconds before the alarm, as it did when every channel had a recorder.
TEST_F(RecorderLifecycle, AlarmRecordingKeepsEveryPreRecordSecondOfAChannelLinkedToRecord) {
    constexpr uint32_t kPreRecordSeconds = 4;
    SetRelaxed(service_->store().MutableSettingsForTesting().PREREC, static_cast<int>(kPreRecordSeconds));
    ChannelInfo& cfg = Stored(d, 0);
    SetRelaxed(cfg.armAlarm, 1);
    SetRelaxed(cfg.alarmMd, kLinkRecord);
    for (uint32_t& w : cfg.armSchedule) SetRelaxed(w, 0xFFFFFFu);
    Open();
    ASSERT_TRUE(HasRecorder());
    Recorder* r = service_->recording().RecorderForTesting(id);
    // More of the stream than the pre-record seconds has passed through the ring.
    ASSERT_TRUE(WaitUntil([&] { return r->LastVideoTime() > (kPreRecordSeconds + 1) * 1000 + 500; }, 20000));
    uint32_t alarmAt = r->LastVideoTime();  // the stream's own clock, ms since it began
    ASSERT_EQ(service_->alarms().OnDeviceAlarm(d, 0, 0, nullptr, 0), 0);  // motion
    service_->recording().SchedulerPass();
    ASSERT_EQ(Channel(d, 0).recordType.load(), kRecordAlarm);
    std::string path = Folder() + "/AREC200708_100000.qvx";
    ASSERT_TRUE(AppearsWithFrames(path));
    AdvanceClockForTesting(1);
    ASSERT_EQ(service_->recording().StopRecording(d, 0), 0);
    uint32_t stoppedAt = r->LastVideoTime();  // no frame after it is in the file

    // The file keeps the stream's time differences on a time line of its own: its span back
    // from the stop tells where on the stream's clock it began, at the latest.
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(path), 0);
    FrameHeader h;
    std::vector<uint8_t> data;
    uint32_t first = 0, last = 0;
    bool firstIsKey = false;
    while (reader.Next(&h, &data)) {
        if (!IsVideoFrame(h)) continue;
        if (first == 0) {
            first = h.timestampMs;
            firstIsKey = IsKeyFrame(h);
        }
        last = h.timestampMs;
    }
    EXPECT_TRUE(firstIsKey);
    uint32_t beganAtTheLatest = stoppedAt - (last - first);
    // Key frames come every second, so of the ring's four seconds before the alarm the file
    // keeps more than two; a recorder made at the alarm would begin after it.
    EXPECT_LE(beganAtTheLatest, alarmAt - 2000) << "alarm at " << alarmAt << ", stopped at " << stoppedAt;
    // And the ring held no more than the pre-record seconds.
    EXPECT_GE(beganAtTheLatest, alarmAt - kPreRecordSeconds * 1000) << "alarm at " << alarmAt;
}

// Sixteen channels of a recorder opened at once, each by two threads: every stream is requested
// once, and a logout racing with closes and opens leaves no stream or recorder behind.
class ParallelOpens : public test::DeviceServiceTest {
protected:
    test::DevsimProcess sim;
    static constexpr int kChannels = 16;
    int d = -1;

    void SetUp() override {
        test::DeviceServiceTest::SetUp();
        // Not quiet: the simulator's log lists every stream it opens.
        test::WriteText(sim.dir() / "site.ini",
                        "[site]\nloop_frames=25\n[device]\nname=NVR\ntype=NVR\nuser=admin\npassword=pw\n"
                        "channels=16\nmain=64x48@32\nsub=off\nkey_interval=25\n");
        std::string error;
        ASSERT_TRUE(sim.Start({"--site", sim.dir() / "site.ini"}, &error)) << error;
        d = AddDevice("127.0.0.1", sim.device(0).port, kChannels, "pw");
        StartService();
        SystemSettings& s = service_->store().MutableSettingsForTesting();
        SetRelaxed(s.PLANREC, 1);
        SetRelaxed(s.DISK, 2);
        // Every channel may record (in a plan at another hour): recorders come and go with them.
        for (int ch = 0; ch < kChannels; ++ch) {
            SetRelaxed(Stored(d, ch).planRecord, 1);
            SetRelaxed(Stored(d, ch).planSchedule[0], 1u);
        }
    }
    // How many times the simulator opened each channel's main stream so far.
    std::map<int, int> StreamOpens() {
        std::map<int, int> opens;
        std::string log = sim.log();
        const std::string mark = "stream open: channel ";
        for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1))
            ++opens[std::atoi(log.c_str() + at + mark.size())];
        return opens;
    }
    template <typename Fn>
    void RunTogether(int threads, Fn&& fn) {
        std::atomic<int> ready{0};
        std::vector<std::thread> all;
        for (int t = 0; t < threads; ++t)
            all.emplace_back([&, t] {
                ready.fetch_add(1);
                while (ready.load() < threads) std::this_thread::yield();
                fn(t);
            });
        for (std::thread& t : all) t.join();
    }
};

TEST_F(ParallelOpens, EveryStreamIsRequestedOnceAndALogoutLeavesNothingHalfOpen) {
    service_->connections().DeviceTick(d, 0);
    ASSERT_NE(service_->runtime().device(d).loginHandle.load(), 0);
    std::atomic<int> failures{0};
    RunTogether(2 * kChannels, [&](int t) {
        if (service_->connections().OpenChannel(d, t % kChannels) != 0) ++failures;
    });
    EXPECT_EQ(failures.load(), 0);
    std::set<int> handles;
    for (int ch = 0; ch < kChannels; ++ch) {
        EXPECT_EQ(Channel(d, ch).connectState.load(), kStreamOpen) << ch;
        handles.insert(Channel(d, ch).mainStream.load());
        EXPECT_TRUE(service_->recording().HasRecorder(ChannelIdOf(d, ch))) << ch;
    }
    EXPECT_EQ(handles.size(), static_cast<size_t>(kChannels));
    EXPECT_EQ(handles.count(0), 0u);
    ASSERT_TRUE(WaitUntil([&] { return StreamOpens().size() == kChannels; }, 10000)) << sim.log();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (auto [channel, opens] : StreamOpens()) EXPECT_EQ(opens, 1) << "channel " << channel;

    // Closes and opens of every channel while the device is logged out: an open that began
    // before the logout is finished or undone, one after it logs in again.
    RunTogether(kChannels + 1, [&](int t) {
        if (t == kChannels) {
            service_->connections().LogoutDevice(d);
            return;
        }
        service_->connections().CloseChannel(d, t);
        service_->connections().OpenChannel(d, t);
    });
    int login = service_->runtime().device(d).loginHandle.load();
    for (int ch = 0; ch < kChannels; ++ch) {
        const ChannelRuntime& c = Channel(d, ch);
        if (login == 0) {
            EXPECT_EQ(c.mainStream.load(), 0) << ch;
        }
        EXPECT_EQ(c.mainStream.load() != 0, c.connectState.load() == kStreamOpen) << ch;
        EXPECT_EQ(c.mainStream.load() != 0, service_->recording().HasRecorder(ChannelIdOf(d, ch))) << ch;
    }
    service_->connections().LogoutDevice(d);
    for (int ch = 0; ch < kChannels; ++ch) {
        EXPECT_EQ(Channel(d, ch).mainStream.load(), 0) << ch;
        EXPECT_FALSE(service_->recording().HasRecorder(ChannelIdOf(d, ch))) << ch;
    }
}

}  // namespace
}  // namespace ocv
