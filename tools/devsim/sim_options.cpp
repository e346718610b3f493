#include "tools/devsim/sim_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sdk/wire_recorded.h"

namespace ocv::devsim {

namespace {

bool ParseNumber(const char* text, int lo, int hi, int* out) {
    if (!text || !*text || std::strlen(text) > 10) return false;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*end || v < lo || v > hi) return false;
    *out = int(v);
    return true;
}

bool ParseDate(const char* text, ArchiveOptions* a) {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (!text || std::sscanf(text, "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3) return false;
    if (y < 1970 || y > 2100 || d < 1 || d > wire::DaysInMonth(y, m)) return false;
    a->lastYear = y;
    a->lastMonth = m;
    a->lastDay = d;
    return true;
}

}  // namespace

const char* SimOptionsUsage() {
    return "  --record-last-day YYYY-MM-DD   last day with recordings on the devices (default today)\n"
           "  --record-days N        days with recordings up to the last one, 1..3660 (default 42)\n"
           "  --discovery-address A  where the discovery sockets listen (default 127.0.0.1)\n"
           "  --discovery-port P     UDP port for search probes (37020 on a LAN; default any free, -1 off)\n"
           "  --onvif-port P         UDP port for WS-Discovery probes (3702 on a LAN; default any free, -1 off)\n";
}

bool ExtractSimOptions(int* argc, char** argv, SimOptions* out, std::string* error) {
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        std::string a = argv[i];
        const char* value = i + 1 < *argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (a == "--record-last-day") {
            ok = ParseDate(value, &out->archive);
        } else if (a == "--record-days") {
            ok = ParseNumber(value, 1, 3660, &out->archive.historyDays);
        } else if (a == "--discovery-address") {
            ok = value && *value && std::strlen(value) < 64;
            if (ok) out->discovery.address = value;
        } else if (a == "--discovery-port") {
            ok = ParseNumber(value, -1, 65535, &out->discovery.port);
        } else if (a == "--onvif-port") {
            ok = ParseNumber(value, -1, 65535, &out->discovery.onvifPort);
        } else {
            argv[kept++] = argv[i];
            continue;
        }
        if (!ok) {
            *error = "bad option or value: " + a;
            return false;
        }
        ++i;  // the value
    }
    *argc = kept;
    argv[kept] = nullptr;
    return true;
}

}  // namespace ocv::devsim
