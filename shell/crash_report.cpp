#include "shell/crash_report.h"

#include <cstdlib>
#include <fstream>

#include "platform/profile.h"

namespace ocv {

namespace {
constexpr long long kMaxReadBytes = 64 * 1024;
constexpr size_t kMaxLines = 20;
}  // namespace

std::vector<std::string> UnshownCrashLines(const std::string& logPath, const std::string& configIni,
                                           long long* endOffset) {
    std::vector<std::string> lines;
    *endOffset = 0;
    std::ifstream in(logPath, std::ios::binary | std::ios::ate);
    if (!in) return lines;
    long long size = static_cast<long long>(in.tellg());
    if (size < 0) return lines;
    *endOffset = size;
    char text[32] = {};
    GetPrivateProfileStringA("CONFIG", "CRASHSHOWN", "0", text, sizeof(text), configIni.c_str());
    long long shown = std::atoll(text);
    if (shown < 0 || shown > size) shown = 0;
    if (size - shown > kMaxReadBytes) shown = size - kMaxReadBytes;
    std::string chunk(static_cast<size_t>(size - shown), '\0');
    in.seekg(shown);
    if (!in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()))) return lines;
    size_t start = 0;
    while (start < chunk.size()) {
        size_t end = chunk.find('\n', start);
        std::string line = chunk.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty()) lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (lines.size() > kMaxLines) lines.erase(lines.begin(), lines.end() - kMaxLines);
    return lines;
}

bool MarkCrashLinesShown(const std::string& configIni, long long endOffset) {
    return WritePrivateProfileStringA("CONFIG", "CRASHSHOWN", std::to_string(endOffset).c_str(), configIni.c_str());
}

}  // namespace ocv
