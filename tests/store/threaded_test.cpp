// Other threads read the configuration records without a lock while the user-interface thread
// changes them: every integer read is an old or a new value, every text stays terminated.
#include <atomic>
#include <thread>

#include "store/relaxed.h"
#include "tests/store/store_fixture.h"

namespace ocv::test {
namespace {

using ConcurrentReadTest = StoreTest;

TEST_F(ConcurrentReadTest, ReadersSeeOldOrNewValuesWhileTheTableChanges) {
    int slot = AddDevice("10.0.0.1", 80, 8);
    ASSERT_EQ(store_.LoadSettings(), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::atomic<long> reads{0};

    auto reader = [&] {
        while (!stop.load()) {
            const DeviceInfo& d = store_.device(slot);
            int count = Relaxed(d.channelCount);
            if (count != 8 && count != 4) bad++;
            for (int c = 0; c < kMaxChannels; ++c) {
                int md = Relaxed(d.channels[c].alarmMd);
                if (md != 0 && md != 12) bad++;
                uint32_t word = Relaxed(d.channels[c].planSchedule[5]);
                if (word != 0 && word != 0xFFFFFFu) bad++;
            }
            char name[kTextBytes];
            ReadTextRelaxed(d.name, name);
            if (FieldText(name).size() > 31) bad++;
            int alarmLen = Relaxed(store_.settings().ALARMLEN);
            if (alarmLen != 5 && alarmLen != 60) bad++;
            reads++;
        }
    };
    std::thread r1(reader), r2(reader);

    uint32_t allDay[kScheduleWords], none[kScheduleWords] = {};
    for (auto& w : allDay) w = 0xFFFFFF;
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(store_.ModifyChannel(0, -1, kChannelAlarmMd, i % 2 ? 0 : 12, nullptr, 0), 0);
        ASSERT_EQ(store_.ModifyChannel(0, -1, kChannelPlanSchedule, 0, i % 2 ? none : allDay, kScheduleBytes), 0);
        DeviceRecord rec = MakeDevice("10.0.0.1", 80, i % 2 ? 8 : 4, i % 2 ? "short" : "a much longer device name here");
        ASSERT_EQ(store_.ModifyDevice(rec, slot), 0);
        SystemSettings s = store_.settings();
        s.ALARMLEN = i % 2 ? 5 : 60;
        ASSERT_EQ(store_.SaveSettings(s, false), 0);
    }
    stop = true;
    r1.join();
    r2.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(reads.load(), 0);
}

}  // namespace
}  // namespace ocv::test
