#pragma once
// Fatal-signal handler: appends one line to AppDir/logsError.dat and ends the process.
//   "[yyyy-mm-dd hh:mm:ss] A:0x%08X C:0x%08X F:0x%08X P:0\n"
// A is the fault address, C the signal number, F the si_code. The handler uses only
// async-signal-safe calls; showing the line to the operator is the user interface's business.
#include <cstddef>
#include <string>

namespace ocv {

// Installs handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT writing to logPath.
// Must be called after AppDir is fixed; calling again re-targets the log.
void InstallCrashFilter(const std::string& logPath);

// Seconds east of UTC used for the crash line's local time; refreshed whenever the
// clock snapshot is renewed, since localtime is not safe inside a signal handler.
void SetCrashFilterUtcOffset(long seconds);

// Formats the crash line into buf (no terminating zero) and returns its length.
// Exposed for tests; async-signal-safe.
size_t FormatCrashLine(char* buf, size_t size, long long localSeconds, unsigned long long address,
                       unsigned code, unsigned flags, int params);

}  // namespace ocv
