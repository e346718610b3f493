#include "platform/crash_filter.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace ocv {
namespace {

char gLogPath[4096];
std::atomic<long> gUtcOffset{0};
alignas(16) char gAltStack[64 * 1024];

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(long long z, int* y, unsigned* m, unsigned* d) {
    z += 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long year = static_cast<long long>(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<int>(year + (*m <= 2));
}

struct Out {
    char* buf;
    size_t size;
    size_t len = 0;
    void Put(char c) {
        if (len < size) buf[len] = c;
        ++len;
    }
    void Text(const char* s) {
        while (*s) Put(*s++);
    }
    void Dec(unsigned long long v, int width) {
        char tmp[24];
        int n = 0;
        do {
            tmp[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v);
        while (n < width) tmp[n++] = '0';
        while (n) Put(tmp[--n]);
    }
    void Hex(unsigned long long v, int width) {
        char tmp[24];
        int n = 0;
        do {
            tmp[n++] = "0123456789ABCDEF"[v & 15];
            v >>= 4;
        } while (v);
        while (n < width) tmp[n++] = '0';
        while (n) Put(tmp[--n]);
    }
};

void OnFatalSignal(int sig, siginfo_t* info, void*) {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    char line[160];
    size_t len = FormatCrashLine(line, sizeof line, now.tv_sec + gUtcOffset.load(),
                                 reinterpret_cast<unsigned long long>(info ? info->si_addr : nullptr),
                                 static_cast<unsigned>(sig),
                                 static_cast<unsigned>(info ? info->si_code : 0), 0);
    int fd = open(gLogPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ssize_t ignored = write(fd, line, len < sizeof line ? len : sizeof line);
        (void)ignored;
        close(fd);
    }
    // Let the default action end the process so the exit status still names the signal.
    signal(sig, SIG_DFL);
    raise(sig);
}

}  // namespace

size_t FormatCrashLine(char* buf, size_t size, long long localSeconds, unsigned long long address,
                       unsigned code, unsigned flags, int params) {
    long long days = localSeconds >= 0 ? localSeconds / 86400 : (localSeconds - 86399) / 86400;
    long long secs = localSeconds - days * 86400;
    int y;
    unsigned m, d;
    CivilFromDays(days, &y, &m, &d);
    Out o{buf, size};
    o.Put('[');
    o.Dec(static_cast<unsigned long long>(y), 1);
    o.Put('-');
    o.Dec(m, 2);
    o.Put('-');
    o.Dec(d, 2);
    o.Put(' ');
    o.Dec(static_cast<unsigned long long>(secs / 3600), 2);
    o.Put(':');
    o.Dec(static_cast<unsigned long long>(secs / 60 % 60), 2);
    o.Put(':');
    o.Dec(static_cast<unsigned long long>(secs % 60), 2);
    o.Text("] A:0x");
    o.Hex(address, 8);
    o.Text(" C:0x");
    o.Hex(code, 8);
    o.Text(" F:0x");
    o.Hex(flags, 8);
    o.Text(" P:");
    if (params < 0) {
        o.Put('-');
        o.Dec(static_cast<unsigned long long>(-static_cast<long long>(params)), 1);
    } else {
        o.Dec(static_cast<unsigned long long>(params), 1);
    }
    o.Put('\n');
    return o.len;
}

void SetCrashFilterUtcOffset(long seconds) { gUtcOffset.store(seconds); }

void InstallCrashFilter(const std::string& logPath) {
    size_t n = std::min(logPath.size(), sizeof gLogPath - 1);
    memcpy(gLogPath, logPath.data(), n);
    gLogPath[n] = '\0';

    time_t t = time(nullptr);
    struct tm local {};
    localtime_r(&t, &local);
    SetCrashFilterUtcOffset(local.tm_gmtoff);

    // A stack overflow must still reach the handler.
    stack_t ss{};
    ss.ss_sp = gAltStack;
    ss.ss_size = sizeof gAltStack;
    sigaltstack(&ss, nullptr);

    struct sigaction sa {};
    sa.sa_sigaction = OnFatalSignal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : kSignals) sigaction(sig, &sa, nullptr);
}

}  // namespace ocv
