#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "events/log_file_reader.h"
#include "events/log_writer.h"
#include "base/clock.h"
#include "tests/support/temp_dir.h"

namespace ocv {
namespace {

TEST(LogThreadedTest, ConcurrentWritersNeverInterleaveRecords) {
    setenv("TZ", "UTC", 1);
    tzset();
    test::TempDir dir;
    LogWriter writer(dir.str());
    int64_t t = SetClockForTesting(2020, 7, 8, 12, 0, 0);
    std::vector<std::thread> threads;
    for (int w = 0; w < 4; ++w)
        threads.emplace_back([&, w] {
            char note[32];
            for (int i = 0; i < 500; ++i) {
                snprintf(note, sizeof note, "w%d-%d", w, i);
                writer.LogWrite(kLogAlarm, w, -1, 0, note, "", t);
            }
        });
    for (auto& th : threads) th.join();
    LogFileReader reader(dir / "A20200708.log");
    LogRecord r;
    int count = 0;
    while (reader.Next(&r)) {
        ++count;
        char expectedPrefix[8];
        snprintf(expectedPrefix, sizeof expectedPrefix, "w%d-", r.subtype);
        EXPECT_EQ(std::string(r.note).rfind(expectedPrefix, 0), 0u) << r.note;
        EXPECT_EQ(r.time, static_cast<uint32_t>(t));
    }
    EXPECT_EQ(count, 2000);
    SetClockSourceForTesting(nullptr);
}

}  // namespace
}  // namespace ocv
