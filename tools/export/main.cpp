// ocuvant-export: the recordings of one channel and span as AVI, MP4 or recording files,
// through the same backup job as the client's backup window.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

#include "backup/backup_job.h"
#include "backup/backup_names.h"
#include "backup/backup_span.h"
#include "backup/recording_source.h"
#include "platform/file_util.h"
#include "record/record_paths.h"
#include "base/clock.h"
#include "tools/export/export_args.h"

namespace {

using namespace ocv;
using namespace ocv::exporter;

volatile sig_atomic_t gStop = 0;

void OnSignal(int) { gStop = 1; }

int Fail(int status, const std::string& message) {
    fprintf(stderr, "ocuvant-export: %s\n", message.c_str());
    return status;
}

std::string ClockText(uint32_t msOfDay) {
    uint32_t s = msOfDay / 1000;
    char text[16];
    snprintf(text, sizeof text, "%02u:%02u:%02u", (s / 3600) % 100, s / 60 % 60, s % 60);
    return text;
}

int Run(const ExportArgs& a) {
    backup::BackupSpan span;
    switch (backup::MakeSpan(a.from, a.to, &span)) {
        case backup::SpanCheck::kOk: break;
        case backup::SpanCheck::kInvalid: return Fail(kExitUsage, "invalid date or time");
        case backup::SpanCheck::kStartNotBeforeEnd:
            return Fail(kExitUsage, "the start time must be before the end time");
        case backup::SpanCheck::kCrossesDay:
            return Fail(kExitUsage,
                        "the span crosses midnight; export each day on its own (a backup covers "
                        "one day)");
    }
    std::string channelText = a.host + ":" + std::to_string(a.port) + ":" + std::to_string(a.channel);
    std::string folder = ChannelFolderName(a.host.c_str(), a.port, a.channel);
    std::vector<backup::SpanFile> files;
    if (backup::FindSpanFiles(a.roots, folder, span, a.typeFilter, &files) != 0) {
        return Fail(kExitEmptySpan, "no recordings of " + channelText + " between " +
                                        backup::FormatDateTime(a.from) + " and " +
                                        backup::FormatDateTime(a.to));
    }

    backup::BackupOptions options;
    options.format = a.format;
    options.pauseEveryRecords = 0;  // nothing else is recording through this process
    if (DirectoryExists(a.out)) {
        ClockSnapshot started = RenewClockSnapshot();
        std::string dir = a.out;
        backup::ExportFormat format = a.format;
        options.outputPath = [dir, format, started](int n) {
            return dir + "/" + backup::BackupFileName(format, started, n);
        };
    } else {
        std::string first = a.out;
        options.outputPath = [first](int n) { return backup::NumberedPath(first, n); };
    }

    backup::BackupJob job(std::make_unique<backup::RecordingSpanSource>(files, span), options);
    if (job.Start() != 0) return Fail(kExitFailed, "the export could not be started");
    bool showProgress = !a.quiet && isatty(STDERR_FILENO);
    int shown = -1;
    while (!job.Finished()) {
        if (gStop) job.Cancel();
        int percent = job.Progress();
        if (showProgress && percent != shown) {
            fprintf(stderr, "\rexporting %s  %3d%%", channelText.c_str(), percent);
            fflush(stderr);
            shown = percent;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    backup::BackupResult r = job.Wait();
    if (showProgress) fprintf(stderr, "\rexporting %s  %3d%%\n", channelText.c_str(), job.Progress());

    for (const std::string& p : r.problems) fprintf(stderr, "ocuvant-export: left out %s\n", p.c_str());
    switch (r.status) {
        case backup::BackupStatus::kComplete:
            for (const std::string& f : r.files) printf("%s\n", f.c_str());
            if (!a.quiet)
                fprintf(stderr, "ocuvant-export: pictures from %s to %s in %zu file(s)\n",
                        ClockText(r.firstPictureMs).c_str(), ClockText(r.lastPictureMs).c_str(),
                        r.files.size());
            if (!r.problems.empty())
                return Fail(kExitFailed, "the export is incomplete: " +
                                             std::to_string(r.problems.size()) +
                                             " recording file(s) could not be read");
            return kExitComplete;
        case backup::BackupStatus::kNothingWritten:
            return Fail(kExitEmptySpan, "the recordings of " + channelText +
                                            " hold no picture to start from in the span");
        case backup::BackupStatus::kCancelled:
            return Fail(kExitInterrupted, "interrupted; no output was kept");
        case backup::BackupStatus::kFailed:
        case backup::BackupStatus::kRunning:
            break;
    }
    return Fail(kExitFailed, r.error.empty() ? "the export failed" : r.error);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    ExportArgs a;
    std::string error;
    if (ParseExportArgs(args, &a, &error) != 0) {
        fprintf(stderr, "ocuvant-export: %s\n%s", error.c_str(), ExportUsage());
        return kExitUsage;
    }
    if (a.help) {
        fputs(ExportUsage(), stdout);
        return kExitComplete;
    }
    av_log_set_level(AV_LOG_ERROR);  // the encoders' closing statistics are not for the operator
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    return Run(a);
}
