#pragma once
// What the simulator simulates: devices with their identity, login, channels and streams,
// read from a small site file and/or command-line flags.
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ocv::devsim {

struct StreamConfig {
    int width = 0;  // 0: stream not offered
    int height = 0;
    int bitrateKbps = 0;
};

struct DeviceConfig {
    std::string name;
    std::string address = "127.0.0.1";
    int port = 0;     // 0: any free port
    int webPort = 0;  // 0: any free port
    std::string type = "IPC";
    std::string firmware = "V1.0.0 build 20260101";
    std::string user = "admin";
    std::string password = "admin";
    // How the web port asks for credentials: "digest" (SHA-256 and MD5 offered), "digest-md5",
    // "digest-sha256" or "basic".
    std::string webAuth = "digest";
    std::string deviceId;
    int channels = 1;
    StreamConfig streams[3] = {{640, 360, 1024}, {320, 180, 256}, {0, 0, 0}};
    int fps = 25;
    int keyInterval = 50;  // frames between key frames, 25..50
    // Standard faces: ONVIF on the web port, and an RTSP server on this port (0 any free port,
    // -1 none). The device's keys "onvif" and "rtsp_port", or the site's options by FinishSite.
    bool onvif = false;
    int rtspPort = -1;
    // Per-channel exceptions to `streams`, keyed by (channel, stream type).
    std::map<std::pair<int, int>, StreamConfig> streamOverrides;

    StreamConfig StreamOf(int channel, int type) const {
        auto it = streamOverrides.find({channel, type});
        return it != streamOverrides.end() ? it->second : streams[type];
    }
};

struct SiteConfig {
    std::vector<DeviceConfig> devices;
    std::string controlAddress = "127.0.0.1";
    int controlPort = 0;
    std::string cacheDir;   // encoded loops; default $XDG_CACHE_HOME/ocuvant-devsim or /tmp
    std::string portsFile;  // written when every port is bound
    int loopFrames = 100;   // length of the encoded loop
    int tempIntervalSec = 60;  // spacing of generated temperature readings
    bool quiet = false;
    // Frame timestamps on the machine's monotonic clock (milliseconds, wrapping), so that a
    // measuring program on the same machine can tell how old a painted picture is.
    bool clockTimestamps = false;
    // Every device answers ONVIF on its web port (--onvif, [site] onvif=1).
    bool onvif = false;
    // Device i serves RTSP on rtspBasePort + i; 0: each on any free port; -1: no RTSP
    // (--rtsp-base-port, [site] rtsp_base_port).
    int rtspBasePort = -1;
};

// "640x360@1024" (width x height @ kbit/s); "off" or "0" for no stream. false when malformed.
bool ParseStreamSize(const std::string& text, StreamConfig* out);
// One of the web authentication modes above.
bool ValidWebAuth(const std::string& mode);

// Reads a site file: [site] keys control_port, control_address, cache_dir, loop_frames,
// temp_interval, onvif (0 or 1), rtsp_base_port; each [device] section: name, address, port, web_port, type, firmware, user,
// password, web_auth, id, channels, main, sub, third, fps, key_interval, count (that many copies with
// numbered names and consecutive ports), and main.N, sub.N, third.N for channel N (from 0)
// when it differs from the others. false with a message on error.
bool LoadSiteFile(const std::string& path, SiteConfig* site, std::string* error);

// Command-line flags (see Usage()); may add to a site file's devices. false with a message.
bool ParseCommandLine(int argc, char** argv, SiteConfig* site, std::string* error, bool* wantHelp);
const char* Usage();

// Checks limits and fills names, ids and defaults. false with a message.
bool FinishSite(SiteConfig* site, std::string* error);

}  // namespace ocv::devsim
