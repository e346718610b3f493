#pragma once
// Showing crash lines: the crash handler only appends its line to logsError.dat (it must stay
// async-signal-safe), and the next start shows the lines written since the last showing.
// How far the file was shown is kept in config.ini, section CONFIG, key "CRASHSHOWN".
#include <string>
#include <vector>

namespace ocv {

// Lines of logPath beyond the shown offset (at most the last 20, at most 64 KiB read); the new
// offset goes to *endOffset. A file shorter than the offset (replaced) is read from the start.
std::vector<std::string> UnshownCrashLines(const std::string& logPath, const std::string& configIni,
                                           long long* endOffset);
bool MarkCrashLinesShown(const std::string& configIni, long long endOffset);

}  // namespace ocv
