#include "platform/system_control.h"

#include <sys/stat.h>
#include <time.h>

#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::mutex gMutex;
std::string gRoot = "/";

struct CpuState {
    bool ready = false;
    unsigned long long busy = 0, total = 0;
};
CpuState gCpu;

struct NetCounters {
    unsigned long long rx = 0, tx = 0;
};
struct NetState {
    bool ready = false;
    double lastSeconds = 0;
    std::map<std::string, NetCounters> last;
};
NetState gNet;

double MonotonicSeconds() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

bool ReadCpuTimes(unsigned long long* busy, unsigned long long* total) {
    std::ifstream f(gRoot + "proc/stat");
    std::string cpu;
    if (!(f >> cpu) || cpu != "cpu") return false;
    unsigned long long v[8] = {};
    for (int i = 0; i < 8; ++i)
        if (!(f >> v[i])) {
            if (i < 4) return false;
            break;
        }
    unsigned long long idle = v[3] + v[4];  // idle + iowait
    *total = 0;
    for (unsigned long long x : v) *total += x;
    *busy = *total - idle;
    return true;
}

std::map<std::string, NetCounters> ReadNetCounters() {
    std::map<std::string, NetCounters> out;
    std::ifstream f(gRoot + "proc/net/dev");
    std::string line;
    while (std::getline(f, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of(' '));
        if (name.empty() || name.size() >= sizeof(QVX_NET_RECORD{}.name)) continue;
        std::istringstream fields(line.substr(colon + 1));
        unsigned long long v[9] = {};
        bool ok = true;
        for (auto& x : v)
            if (!(fields >> x)) ok = false;
        if (!ok) continue;
        out[name] = NetCounters{v[0], v[8]};
    }
    return out;
}

uint64_t LinkSpeedBits(const std::string& name) {
    std::ifstream f(gRoot + "sys/class/net/" + name + "/speed");
    long long mbit = 0;
    if (!(f >> mbit) || mbit <= 0) return 0;
    return static_cast<uint64_t>(mbit) * 1000000ull;
}

uint32_t RateKBps(unsigned long long now, unsigned long long before, double seconds) {
    if (now < before || seconds <= 0) return 0;  // counter reset or wrapped
    double kbps = static_cast<double>(now - before) / seconds / 1000.0;
    return kbps > 4e9 ? 4000000000u : static_cast<uint32_t>(kbps);
}

}  // namespace

namespace ocv {
void SetSystemRootForTesting(std::string root) {
    std::lock_guard lock(gMutex);
    if (root.empty() || root.back() != '/') root += '/';
    gRoot = root;
}
}  // namespace ocv

extern "C" {

int QVX_CPU_Init(void) {
    std::lock_guard lock(gMutex);
    gCpu = CpuState{};
    if (!ReadCpuTimes(&gCpu.busy, &gCpu.total)) return -1;
    gCpu.ready = true;
    return 0;
}

int QVX_CPU_Usage(void) {
    std::lock_guard lock(gMutex);
    if (!gCpu.ready) return -1;
    unsigned long long busy = 0, total = 0;
    if (!ReadCpuTimes(&busy, &total)) return 0;
    unsigned long long dBusy = busy >= gCpu.busy ? busy - gCpu.busy : 0;
    unsigned long long dTotal = total >= gCpu.total ? total - gCpu.total : 0;
    gCpu.busy = busy;
    gCpu.total = total;
    if (dTotal == 0) return 0;
    unsigned long long pct = dBusy * 100 / dTotal;
    return static_cast<int>(pct > 100 ? 100 : pct);
}

void QVX_CPU_Free(void) {
    std::lock_guard lock(gMutex);
    gCpu = CpuState{};
}

int QVX_NET_Init(void) {
    std::lock_guard lock(gMutex);
    gNet = NetState{};
    gNet.last = ReadNetCounters();
    gNet.lastSeconds = MonotonicSeconds();
    gNet.ready = true;
    return 0;
}

int QVX_NET_Usage(QVX_NET_RECORD* records, int maxRecords) {
    std::lock_guard lock(gMutex);
    if (!gNet.ready || records == nullptr || maxRecords < 0) return -1;
    double now = MonotonicSeconds();
    double elapsed = now - gNet.lastSeconds;
    std::map<std::string, NetCounters> current = ReadNetCounters();
    int n = 0;
    for (const auto& [name, counters] : current) {
        if (n >= maxRecords) break;
        QVX_NET_RECORD& r = records[n++];
        memset(&r, 0, sizeof r);
        memcpy(r.name, name.data(), name.size());
        r.linkSpeed = LinkSpeedBits(name);
        auto before = gNet.last.find(name);
        if (before != gNet.last.end()) {
            r.received = RateKBps(counters.rx, before->second.rx, elapsed);
            r.sent = RateKBps(counters.tx, before->second.tx, elapsed);
        }
    }
    gNet.last = std::move(current);
    gNet.lastSeconds = now;
    return n;
}

void QVX_NET_Free(void) {
    std::lock_guard lock(gMutex);
    gNet = NetState{};
}

int QVX_CloseFileHandle(const char* path) {
    struct stat st {};
    if (path == nullptr) return -1;
    return stat(path, &st) == 0 ? 0 : -1;
}

}  // extern "C"
