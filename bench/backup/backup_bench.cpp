// Export throughput of a recorded span as AVI and MP4 against copying the same recording
// files, byte for byte, to one output. Both write through the page cache and end with fsync.
// MP4 is measured with G.711 sound (which it encodes as AAC) and without sound.
// The job runs without its rests (pauseEveryRecords 0), as ocuvant-export does; the backup
// window's rest of 5 ms after every 100 records is a deliberate limit on top of this.
//
//   build/bench/backup_bench [--benchmark_repetitions=N]
//
// Prints each figure and, at the end, the best export rates as a share of the best copy rate.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "backup/backup_job.h"
#include "backup/recording_source.h"
#include "tests/backup/recording_maker.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace ocv;
using namespace ocv::backup;

struct Fixture {
    test::TempDir dir;
    std::string drive = dir / "D";
    std::string out = dir / "out";
    BackupSpan span{2020, 7, 8, 10 * 3600, 10 * 3600 + 130};
    std::vector<SpanFile> files;
    uint64_t bytes = 0;

    explicit Fixture(uint32_t audioEncoding) {
        // Two minutes of 1280x720 pictures, in two files.
        for (int i = 0; i < 2; ++i) {
            test::TestRecording s;
            s.driveDir = drive;
            s.startSecond = 10 * 3600 + i * 62;
            s.seconds = 60;
            s.width = 1280;
            s.height = 720;
            s.audioEncoding = audioEncoding;
            test::WriteRecording(s);
        }
        FindSpanFiles({drive}, "cam01-5000-1", span, kAnyRecordType, &files);
        for (const SpanFile& f : files) {
            FILE* fp = fopen(f.path.c_str(), "rb");
            fseek(fp, 0, SEEK_END);
            bytes += static_cast<uint64_t>(ftell(fp));
            fclose(fp);
        }
        mkdir(out.c_str(), 0755);
    }
};

// With G.711 sound (the MP4 export encodes it as AAC) and without sound.
Fixture& Data(bool sound) {
    static Fixture withSound(kAudioG711ALaw);
    static Fixture silent(kAudioNone);
    return sound ? withSound : silent;
}

void Copy(benchmark::State& state, bool sound) {
    Fixture& f = Data(sound);
    std::vector<char> buffer(1 << 20);
    std::string target = f.out + "/copy.bin";
    for (auto _ : state) {
        int outFd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        for (const SpanFile& file : f.files) {
            int in = open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
            ssize_t n;
            while ((n = read(in, buffer.data(), buffer.size())) > 0) {
                if (write(outFd, buffer.data(), static_cast<size_t>(n)) != n) state.SkipWithError("write");
            }
            close(in);
        }
        fsync(outFd);
        close(outFd);
        unlink(target.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes));
}

void Export(benchmark::State& state, ExportFormat format, bool sound) {
    Fixture& f = Data(sound);
    std::string first = f.out + "/export." + FormatExtension(format);
    for (auto _ : state) {
        BackupOptions options;
        options.format = format;
        options.outputPath = [first](int n) { return NumberedPath(first, n); };
        options.pauseEveryRecords = 0;
        BackupJob job(std::make_unique<RecordingSpanSource>(f.files, f.span), options);
        job.Start();
        BackupResult r = job.Wait();
        if (r.status != BackupStatus::kComplete) state.SkipWithError(r.error.c_str());
        for (const std::string& path : r.files) unlink(path.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes));
}

void Copy(benchmark::State& state) { Copy(state, true); }
void ExportAvi(benchmark::State& state) { Export(state, ExportFormat::kAvi, true); }
void ExportMp4(benchmark::State& state) { Export(state, ExportFormat::kMp4, true); }
void CopySilent(benchmark::State& state) { Copy(state, false); }
void ExportMp4Silent(benchmark::State& state) { Export(state, ExportFormat::kMp4, false); }

#define OCV_BACKUP_BENCH(fn) \
    BENCHMARK(fn)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5)
OCV_BACKUP_BENCH(Copy);
OCV_BACKUP_BENCH(ExportAvi);
OCV_BACKUP_BENCH(ExportMp4);
OCV_BACKUP_BENCH(CopySilent);
OCV_BACKUP_BENCH(ExportMp4Silent);

// Keeps each benchmark's best rate for the summary: on a machine shared with other work the
// best of several repetitions is the one least disturbed.
class RateReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> rates;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (run.error_occurred || run.run_type != Run::RT_Iteration || it == run.counters.end())
                continue;
            double& best = rates[run.run_name.function_name];
            best = std::max(best, it->second.value);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    fprintf(stderr, "recordings: %.1f MiB with sound, %.1f MiB without\n",
            Data(true).bytes / 1048576.0, Data(false).bytes / 1048576.0);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printf("\n");
    const char* pairs[][2] = {{"ExportAvi", "Copy"}, {"ExportMp4", "Copy"}, {"ExportMp4Silent", "CopySilent"}};
    for (auto [name, base] : pairs) {
        double copy = reporter.rates[base];
        double rate = reporter.rates[name];
        if (copy <= 0 || rate <= 0) continue;
        printf("%-16s %5.0f MiB/s against %-10s %5.0f MiB/s = %3.0f%% (target at least 80%%)\n",
               name, rate / 1048576, base, copy / 1048576, 100 * rate / copy);
    }
    benchmark::Shutdown();
    return 0;
}
