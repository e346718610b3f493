// Log search over a year of daily files against reading the same bytes sequentially (the
// limit), and LogWrite throughput from several threads.
//   build/bench/bench_logs [--benchmark_filter=...]
// The year of logs (365 files x 10,000 records, about 440 MB) is made once under
// /tmp/ocv-bench-logs and reused.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "events/log_search.h"
#include "events/log_writer.h"
#include "base/clock.h"

namespace {

constexpr int kDays = 365;
constexpr int kRecordsPerDay = 10000;
const std::string kDir = "/tmp/ocv-bench-logs";
int64_t gYearStart = 0;

void MakeYearOfLogs() {
    setenv("TZ", "UTC", 1);
    tzset();
    gYearStart = ocv::SetClockForTesting(2020, 1, 1, 0, 0, 0);
    if (std::filesystem::exists(kDir + "/A20201230.log")) return;
    std::filesystem::create_directories(kDir);
    std::vector<ocv::LogRecord> day(kRecordsPerDay);
    for (int d = 0; d < kDays; ++d) {
        for (int i = 0; i < kRecordsPerDay; ++i) {
            ocv::LogRecord& r = day[i];
            memset(&r, 0, sizeof r);
            r.time = static_cast<uint32_t>(gYearStart + d * 86400 + i * 8);
            r.logType = 0;
            r.subtype = static_cast<uint16_t>(i % 6);
            snprintf(r.device, sizeof r.device, "10.0.%d.%d:5000-%d", i % 4, i % 200, i % 16 + 1);
        }
        std::string name = kDir + "/" + ocv::LogFileName(0, gYearStart + d * 86400);
        FILE* f = fopen(name.c_str(), "wb");
        fwrite(day.data(), sizeof(ocv::LogRecord), day.size(), f);
        fclose(f);
    }
}

void BM_SearchYear(benchmark::State& state) {
    MakeYearOfLogs();
    ocv::LogQuery q;
    q.logType = 0;
    q.subtypeEntry = 1;  // motion
    q.startTime = gYearStart;
    q.endTime = gYearStart + kDays * 86400LL - 1;
    q.anyDevice = false;
    q.deviceHost = "10.0.1.1";
    q.devicePort = 5000;
    size_t found = 0;
    for (auto _ : state) {
        std::vector<ocv::LogRecord> out;
        ocv::SearchLogs(kDir, q, &out);
        found = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["found"] = static_cast<double>(found);
    state.SetBytesProcessed(state.iterations() * int64_t{kDays} * kRecordsPerDay * 120);
}
BENCHMARK(BM_SearchYear)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SequentialReadYear(benchmark::State& state) {
    MakeYearOfLogs();
    std::vector<char> buf(120 * 8192);
    for (auto _ : state) {
        std::vector<std::string> files;
        for (auto& e : std::filesystem::directory_iterator(kDir)) files.push_back(e.path());
        uint64_t sum = 0;
        for (const std::string& f : files) {
            int fd = open(f.c_str(), O_RDONLY);
            ssize_t n;
            while ((n = read(fd, buf.data(), buf.size())) > 0) sum += static_cast<uint8_t>(buf[0]);
            close(fd);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kDays} * kRecordsPerDay * 120);
}
BENCHMARK(BM_SequentialReadYear)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LogWrite(benchmark::State& state) {
    static ocv::LogWriter* writer = nullptr;
    static std::string dir = "/tmp/ocv-bench-logwrite";
    if (state.thread_index() == 0) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        writer = new ocv::LogWriter(dir);
    }
    for (auto _ : state) writer->LogWrite(0, 0, -1, 0, "36.50", "admin", 1594166400);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        delete writer;
        writer = nullptr;
    }
}
BENCHMARK(BM_LogWrite)->Threads(1)->Threads(4)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
