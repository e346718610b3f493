#include "tools/devsim/site_config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ocv::devsim {

namespace {

bool ParseInt(const std::string& text, int lo, int hi, int* out) {
    if (text.empty() || text.size() > 10) return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != 0 || v < lo || v > hi) return false;
    *out = int(v);
    return true;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// Applies one key of a [device] section. false when key or value is bad.
bool ApplyDeviceKey(DeviceConfig* d, int* count, const std::string& key, const std::string& value) {
    if (key == "name") d->name = value;
    else if (key == "address") d->address = value;
    else if (key == "port") return ParseInt(value, 0, 65535, &d->port);
    else if (key == "web_port") return ParseInt(value, 0, 65535, &d->webPort);
    else if (key == "type") d->type = value;
    else if (key == "firmware") d->firmware = value;
    else if (key == "user") d->user = value;
    else if (key == "password") d->password = value;
    else if (key == "web_auth") {
        if (!ValidWebAuth(value)) return false;
        d->webAuth = value;
    }
    else if (key == "id") d->deviceId = value;
    else if (key == "channels") return ParseInt(value, 1, 64, &d->channels);
    else if (key == "main") return ParseStreamSize(value, &d->streams[0]);
    else if (key == "sub") return ParseStreamSize(value, &d->streams[1]);
    else if (key == "third") return ParseStreamSize(value, &d->streams[2]);
    else if (key == "fps") return ParseInt(value, 1, 60, &d->fps);
    else if (key == "key_interval") return ParseInt(value, 25, 50, &d->keyInterval);
    else if (key == "count") return ParseInt(value, 1, 1024, count);
    else if (key == "onvif") {
        if (value != "0" && value != "1") return false;
        d->onvif = value == "1";
    }
    else if (key == "rtsp_port") return ParseInt(value, 0, 65535, &d->rtspPort);
    else {
        // main.N / sub.N / third.N: one channel's stream
        static const char* kTypes[3] = {"main.", "sub.", "third."};
        for (int type = 0; type < 3; ++type) {
            size_t n = std::strlen(kTypes[type]);
            if (key.compare(0, n, kTypes[type]) != 0) continue;
            int channel = 0;
            StreamConfig cfg;
            if (!ParseInt(key.substr(n), 0, 63, &channel) || !ParseStreamSize(value, &cfg)) return false;
            d->streamOverrides[{channel, type}] = cfg;
            return true;
        }
        return false;
    }
    return true;
}

bool ApplySiteKey(SiteConfig* s, const std::string& key, const std::string& value) {
    if (key == "control_port") return ParseInt(value, 0, 65535, &s->controlPort);
    if (key == "control_address") s->controlAddress = value;
    else if (key == "cache_dir") s->cacheDir = value;
    else if (key == "loop_frames") return ParseInt(value, 25, 1500, &s->loopFrames);
    else if (key == "temp_interval") return ParseInt(value, 1, 86400, &s->tempIntervalSec);
    else if (key == "onvif") {
        if (value != "0" && value != "1") return false;
        s->onvif = value == "1";
    }
    else if (key == "rtsp_base_port") return ParseInt(value, 0, 65535, &s->rtspBasePort);
    else return false;
    return true;
}

void AddCopies(SiteConfig* site, const DeviceConfig& d, int count) {
    for (int i = 0; i < count; ++i) {
        DeviceConfig c = d;
        if (count > 1) {
            c.name = (d.name.empty() ? "DEV" : d.name) + std::to_string(i + 1);
            if (d.port) c.port = d.port + i;
            if (d.webPort) c.webPort = d.webPort + i;
            if (d.rtspPort > 0) c.rtspPort = d.rtspPort + i;
        }
        site->devices.push_back(c);
    }
}

}  // namespace

bool ValidWebAuth(const std::string& mode) {
    return mode == "digest" || mode == "digest-md5" || mode == "digest-sha256" || mode == "basic";
}

bool ParseStreamSize(const std::string& text, StreamConfig* out) {
    if (text == "off" || text == "0") {
        *out = StreamConfig{};
        return true;
    }
    int w = 0, h = 0, kbps = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%dx%d@%d%c", &w, &h, &kbps, &tail) != 3) return false;
    // x264 works on even sizes; keep pictures sane for a simulator.
    if (w < 32 || h < 32 || w > 3840 || h > 2160 || (w & 1) || (h & 1) || kbps < 16 || kbps > 20000) return false;
    *out = StreamConfig{w, h, kbps};
    return true;
}

bool LoadSiteFile(const std::string& path, SiteConfig* site, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read site file " + path;
        return false;
    }
    enum { kNone, kSite, kDevice } section = kNone;
    DeviceConfig device;
    int count = 1;
    bool haveDevice = false;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.size() > 4096) {
            *error = "line too long in site file at line " + std::to_string(lineNo);
            return false;
        }
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line == "[site]" || line == "[device]") {
            if (haveDevice) AddCopies(site, device, count);
            haveDevice = line == "[device]";
            section = haveDevice ? kDevice : kSite;
            device = DeviceConfig{};
            count = 1;
            continue;
        }
        size_t eq = line.find('=');
        bool ok = eq != std::string::npos && section != kNone;
        if (ok) {
            std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
            ok = section == kSite ? ApplySiteKey(site, key, value) : ApplyDeviceKey(&device, &count, key, value);
        }
        if (!ok) {
            *error = path + ":" + std::to_string(lineNo) + ": bad line: " + line;
            return false;
        }
    }
    if (haveDevice) AddCopies(site, device, count);
    return true;
}

const char* Usage() {
    return "usage: ocuvant-devsim [options]\n"
           "  --site FILE            devices from a site file (see docs/device-protocol.md)\n"
           "  --devices N            add N devices made from the flags below (default 1 without --site)\n"
           "  --name NAME            name of the flag devices (numbered when N > 1), default DEV\n"
           "  --type TEXT            device type text: IPC, NVR, DVR, DECODER (default IPC)\n"
           "  --firmware TEXT        firmware version; one containing V27. makes a screening camera\n"
           "  --user U --password P  login (default admin/admin)\n"
           "  --web-auth MODE        web port login: digest (SHA-256 and MD5), digest-md5, digest-sha256\n"
           "                         or basic (default digest)\n"
           "  --channels C           channels per device, 1..64 (default 1)\n"
           "  --main WxH@KBPS        main stream (default 640x360@1024)\n"
           "  --sub WxH@KBPS|off     sub stream (default 320x180@256)\n"
           "  --third WxH@KBPS|off   third stream (default off)\n"
           "  --fps N                frames per second (default 25)\n"
           "  --key-interval N       frames between key frames, 25..50 (default 50)\n"
           "  --address A            listen address of the flag devices (default 127.0.0.1)\n"
           "  --spread-addresses     flag device i listens on 127.0.0.(1+i), like distinct hosts\n"
           "  --base-port P          device i listens on P+i (default: any free port)\n"
           "  --web-base-port P      web port of device i is P+i (default: any free port)\n"
           "  --control-port P       control port (default: any free port)\n"
           "  --cache-dir DIR        where encoded video loops are kept\n"
           "  --loop-frames N        frames per encoded loop, 25..1500 (default 100)\n"
           "  --temp-interval S      seconds between generated temperature readings (default 60)\n"
           "  --ports-file FILE      write the bound ports there once ready\n"
           "  --quiet                log only errors\n"
           "  --clock-timestamps     frame timestamps from the monotonic clock (delay measurements); RTSP\n"
           "                         pictures carry the sending time in an SEI message\n"
           "  --onvif                every device answers ONVIF on its web port at /onvif/device_service\n"
           "  --rtsp-base-port P     device i serves its channels' streams over RTSP on port P+i\n"
           "                         (rtsp://ADDRESS:P+i/ch<c>/main and /sub; 0: any free ports)\n"
           "  --exit-with-parent     stop when the process that started the simulator ends\n";
}

bool ParseCommandLine(int argc, char** argv, SiteConfig* site, std::string* error, bool* wantHelp) {
    DeviceConfig flagDevice;
    flagDevice.name = "DEV";
    int flagCount = -1;
    int basePort = 0, webBasePort = 0;
    bool hadSite = false;
    bool spread = false;
    *wantHelp = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        bool ok = true;
        if (a == "--help" || a == "-h") {
            *wantHelp = true;
            return true;
        } else if (a == "--quiet") {
            site->quiet = true;
        } else if (a == "--clock-timestamps") {
            site->clockTimestamps = true;
        } else if (a == "--exit-with-parent") {
            // handled by main before anything starts
        } else if (a == "--onvif") {
            site->onvif = true;
        } else if (a == "--spread-addresses") {
            spread = true;
        } else if (!value(&v)) {
            ok = false;
        } else if (a == "--site") {
            if (!LoadSiteFile(v, site, error)) return false;
            hadSite = true;
        } else if (a == "--devices") ok = ParseInt(v, 0, 1024, &flagCount);
        else if (a == "--name") flagDevice.name = v;
        else if (a == "--type") flagDevice.type = v;
        else if (a == "--firmware") flagDevice.firmware = v;
        else if (a == "--user") flagDevice.user = v;
        else if (a == "--password") flagDevice.password = v;
        else if (a == "--web-auth") {
            ok = ValidWebAuth(v);
            flagDevice.webAuth = v;
        }
        else if (a == "--channels") ok = ParseInt(v, 1, 64, &flagDevice.channels);
        else if (a == "--main") ok = ParseStreamSize(v, &flagDevice.streams[0]);
        else if (a == "--sub") ok = ParseStreamSize(v, &flagDevice.streams[1]);
        else if (a == "--third") ok = ParseStreamSize(v, &flagDevice.streams[2]);
        else if (a == "--fps") ok = ParseInt(v, 1, 60, &flagDevice.fps);
        else if (a == "--key-interval") ok = ParseInt(v, 25, 50, &flagDevice.keyInterval);
        else if (a == "--address") flagDevice.address = v;
        else if (a == "--base-port") ok = ParseInt(v, 0, 65535, &basePort);
        else if (a == "--web-base-port") ok = ParseInt(v, 0, 65535, &webBasePort);
        else if (a == "--control-port") ok = ParseInt(v, 0, 65535, &site->controlPort);
        else if (a == "--rtsp-base-port") ok = ParseInt(v, 0, 65535, &site->rtspBasePort);
        else if (a == "--cache-dir") site->cacheDir = v;
        else if (a == "--loop-frames") ok = ParseInt(v, 25, 1500, &site->loopFrames);
        else if (a == "--temp-interval") ok = ParseInt(v, 1, 86400, &site->tempIntervalSec);
        else if (a == "--ports-file") site->portsFile = v;
        else ok = false;
        if (!ok) {
            *error = "bad option or value: " + a;
            return false;
        }
    }
    if (flagCount < 0) flagCount = hadSite ? 0 : 1;
    flagDevice.port = basePort;
    flagDevice.webPort = webBasePort;
    size_t firstFlagDevice = site->devices.size();
    if (flagCount == 1) {
        site->devices.push_back(flagDevice);
    } else if (flagCount > 1) {
        AddCopies(site, flagDevice, flagCount);
    }
    if (spread) {
        if (flagCount > 254) {
            *error = "--spread-addresses takes at most 254 devices";
            return false;
        }
        for (size_t i = firstFlagDevice; i < site->devices.size(); ++i) {
            site->devices[i].address = "127.0.0." + std::to_string(1 + i - firstFlagDevice);
        }
    }
    return true;
}

bool FinishSite(SiteConfig* site, std::string* error) {
    if (site->devices.empty()) {
        *error = "no devices to simulate";
        return false;
    }
    for (size_t i = 0; i < site->devices.size(); ++i) {
        DeviceConfig& d = site->devices[i];
        if (d.name.empty()) d.name = "DEV" + std::to_string(i + 1);
        if (d.deviceId.empty()) {
            char id[64];
            std::snprintf(id, sizeof id, "QVXSIM%08zu", i + 1);
            d.deviceId = id;
        }
        if (d.streams[0].width == 0) {
            *error = "device " + d.name + " has no main stream";
            return false;
        }
        for (const auto& [key, cfg] : d.streamOverrides) {
            if (key.first >= d.channels || (key.second == 0 && cfg.width == 0)) {
                *error = "device " + d.name + ": bad stream of channel " + std::to_string(key.first);
                return false;
            }
        }
        // The site's options give every device the standard faces; a device's own keys add
        // them to that device alone (its own RTSP port wins).
        d.onvif = d.onvif || site->onvif;
        if (d.rtspPort < 0 && site->rtspBasePort >= 0)
            d.rtspPort = site->rtspBasePort == 0 ? 0 : site->rtspBasePort + int(i);
        if (d.rtspPort > 65535) {
            *error = "device " + d.name + ": RTSP port beyond 65535";
            return false;
        }
        if (d.user.size() > 31 || d.type.size() > 31 || d.firmware.size() > 63 || d.deviceId.size() > 63 ||
            d.name.size() > 63) {
            *error = "device " + d.name + ": a text is too long";
            return false;
        }
    }
    if (site->cacheDir.empty()) {
        const char* xdg = std::getenv("XDG_CACHE_HOME");
        const char* home = std::getenv("HOME");
        if (xdg && *xdg) site->cacheDir = std::string(xdg) + "/ocuvant-devsim";
        else if (home && *home) site->cacheDir = std::string(home) + "/.cache/ocuvant-devsim";
        else site->cacheDir = "/tmp/ocuvant-devsim";
    }
    return true;
}

}  // namespace ocv::devsim
