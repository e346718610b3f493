#include "tools/devsim/simulator.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "tools/devsim/control_server.h"
#include "tools/devsim/discovery_responder.h"
#include "tools/devsim/sim_device.h"

namespace ocv::devsim {

namespace {

const char* kHelp[] = {
    "devices                                list devices: index name address port webport type channels",
    "alarm <dev> <chan> motion|input|audio [on|off]   raise (or end) an alarm event (motion and input",
    "                                       also reach ONVIF pull points)",
    "temp <dev> <chan> <code>               send a temperature report (code: hundredths, +32768 abnormal)",
    "cut <dev>                              close every connection of the device (RTSP ones too)",
    "cutstream <dev> <chan> [main|sub|third|all]   close the channel's stream connections",
    "freeze <dev> on|off                    stop answering without closing (on) or resume (off)",
    "channel <dev> <chan> on|off            switch a channel; off ends its streams on purpose",
    "refuse <dev> main|sub|third on|off     refuse (or allow again) every open of that stream type",
    "report <dev>                           what the device received (ptz, preset, config, talk bytes;",
    "                                       onvif-ptz, onvif-preset, onvif time, reboot; rtsp streams)",
    "badfind <dev> count|name|oversize      answer the next search with a reply that breaks the protocol",
    "clear <dev>                            forget what the device received",
    "<dev> is the device index from 0 or its name; <chan> counts from 0",
};

bool ToInt(const std::string& s, int lo, int hi, int* out) {
    if (s.empty() || s.size() > 10) return false;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end || v < lo || v > hi) return false;
    *out = int(v);
    return true;
}

std::vector<std::string> Err(const std::string& text) { return {"ERR " + text}; }

}  // namespace

Simulator::Simulator(SiteConfig site, SimOptions options)
    : site_(std::move(site)), options_(options), work_(asio::make_work_guard(io_)) {}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start(std::string* error) {
    SetQuietLogging(site_.quiet);
    SetClockTimestamps(site_.clockTimestamps);
    loops_ = std::make_unique<VideoLoopCache>(site_.cacheDir);
    for (size_t i = 0; i < site_.devices.size(); ++i) {
        auto d = std::make_shared<SimDevice>(io_, site_.devices[i], int(i), site_.tempIntervalSec, options_.archive);
        if (!d->Start(*loops_, site_.loopFrames, error)) return false;
        devices_.push_back(d);
    }
    discovery_ = std::make_shared<DiscoveryResponder>(io_, devices_);
    const DiscoveryOptions& o = options_.discovery;
    if (!discovery_->Listen(o.address, o.port, o.onvifPort, error)) return false;
    control_ = std::make_shared<ControlServer>(io_, [this](const std::string& line) { return Execute(line); });
    if (!control_->Listen(site_.controlAddress, site_.controlPort, error)) return false;
    unsigned n = std::thread::hardware_concurrency();
    n = n < 2 ? 2 : (n > 4 ? 4 : n);
    for (unsigned i = 0; i < n; ++i) {
        threads_.emplace_back([this, i] {
            std::string name = "devsim-io-" + std::to_string(i);
            pthread_setname_np(pthread_self(), name.c_str());
            io_.run();
        });
    }
    return true;
}

void Simulator::Stop() {
    if (stopped_) return;
    stopped_ = true;
    if (control_) control_->Stop();
    if (discovery_) discovery_->Stop();
    for (auto& d : devices_) d->Stop();
    // Give the closes a moment to run, then end the loop.
    work_.reset();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < deadline && !threads_.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    io_.stop();
    for (auto& t : threads_) {
        if (t.joinable()) t.join();
    }
    threads_.clear();
}

int Simulator::controlPort() const { return control_ ? control_->port() : 0; }

std::string Simulator::PortsText() const {
    std::string out;
    char line[256];
    for (const auto& d : devices_) {
        NetSettings n = d->Network();
        std::snprintf(line, sizeof line, "device %d %s %s %d %d\n", d->index(), d->config().name.c_str(),
                      n.address.c_str(), n.port, d->webPort());
        out += line;
    }
    for (const auto& d : devices_)
        if (d->rtspPort() > 0) out += "rtsp " + std::to_string(d->index()) + " " + std::to_string(d->rtspPort()) + "\n";
    out += "control " + std::to_string(controlPort()) + "\n";
    if (discovery_ && discovery_->port() >= 0) out += "discovery " + std::to_string(discovery_->port()) + "\n";
    if (discovery_ && discovery_->onvifPort() >= 0) out += "onvif " + std::to_string(discovery_->onvifPort()) + "\n";
    return out;
}

SimDevice* Simulator::FindDevice(const std::string& key) const {
    int index = -1;
    if (ToInt(key, 0, int(devices_.size()) - 1, &index)) return devices_[size_t(index)].get();
    for (const auto& d : devices_) {
        if (d->config().name == key) return d.get();
    }
    return nullptr;
}

std::vector<std::string> Simulator::Execute(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    std::string word;
    while (in >> word && w.size() < 8) w.push_back(word);
    if (w.empty()) return Err("empty command");
    const std::string& cmd = w[0];
    if (cmd == "help") {
        std::vector<std::string> out{"OK " + std::to_string(sizeof kHelp / sizeof kHelp[0])};
        for (const char* h : kHelp) out.push_back(h);
        return out;
    }
    if (cmd == "devices") {
        std::vector<std::string> out{"OK " + std::to_string(devices_.size())};
        char l[256];
        for (const auto& d : devices_) {
            NetSettings n = d->Network();
            std::snprintf(l, sizeof l, "%d %s %s %d %d %s %d", d->index(), d->config().name.c_str(), n.address.c_str(),
                          n.port, d->webPort(), d->config().type.c_str(), d->config().channels);
            out.push_back(l);
        }
        return out;
    }
    if (w.size() < 2) return Err("missing device");
    SimDevice* dev = FindDevice(w[1]);
    if (!dev) return Err("no such device: " + w[1]);
    int channel = -1;
    auto needChannel = [&]() { return w.size() >= 3 && ToInt(w[2], 0, dev->config().channels - 1, &channel); };
    if (cmd == "alarm") {
        if (!needChannel() || w.size() < 4) return Err("usage: alarm <dev> <chan> motion|input|audio [on|off]");
        int type = w[3] == "motion" ? 0 : w[3] == "input" ? 1 : w[3] == "audio" ? 3 : -1;
        if (type < 0) return Err("alarm kind must be motion, input or audio");
        int state = (w.size() >= 5 && w[4] == "off") ? 0 : 1;
        char text[96];
        std::snprintf(text, sizeof text, "ALARM:%s|%d|%d", w[3].c_str(), channel, state);
        int n = dev->RaiseEvent(channel, type, state, text);
        return {"OK " + std::to_string(0) + " sent to " + std::to_string(n)};
    }
    if (cmd == "temp") {
        int code = 0;
        if (!needChannel() || w.size() < 4 || !ToInt(w[3], 0, 65535, &code)) return Err("usage: temp <dev> <chan> <code>");
        char text[128];
        std::snprintf(text, sizeof text, "HeartBeat:tmp|%d|%lld|%d|", code, static_cast<long long>(std::time(nullptr)),
                      channel);
        int n = dev->RaiseEvent(channel, 14, 1, text);
        return {"OK 0 sent to " + std::to_string(n)};
    }
    if (cmd == "cut") {
        dev->CutAll();
        return {"OK"};
    }
    if (cmd == "cutstream") {
        if (!needChannel()) return Err("usage: cutstream <dev> <chan> [main|sub|third|all]");
        int type = -1;
        if (w.size() >= 4) {
            type = w[3] == "main" ? 0 : w[3] == "sub" ? 1 : w[3] == "third" ? 2 : w[3] == "all" ? -1 : -2;
            if (type == -2) return Err("stream must be main, sub, third or all");
        }
        return {"OK 0 cut " + std::to_string(dev->CutStream(channel, type))};
    }
    if (cmd == "freeze") {
        if (w.size() < 3 || (w[2] != "on" && w[2] != "off")) return Err("usage: freeze <dev> on|off");
        dev->SetFrozen(w[2] == "on");
        dev->Log("%s", w[2] == "on" ? "frozen" : "thawed");
        return {"OK"};
    }
    if (cmd == "channel") {
        if (!needChannel() || w.size() < 4 || (w[3] != "on" && w[3] != "off")) {
            return Err("usage: channel <dev> <chan> on|off");
        }
        dev->SetChannelOn(channel, w[3] == "on");
        return {"OK"};
    }
    if (cmd == "refuse") {
        int type = w.size() >= 3 ? (w[2] == "main" ? 0 : w[2] == "sub" ? 1 : w[2] == "third" ? 2 : -1) : -1;
        if (type < 0 || w.size() < 4 || (w[3] != "on" && w[3] != "off"))
            return Err("usage: refuse <dev> main|sub|third on|off");
        dev->SetStreamRefused(type, w[3] == "on");
        return {"OK"};
    }
    if (cmd == "badfind") {
        using Bad = SimDevice::BadReply;
        Bad bad = Bad::kNone;
        if (w.size() >= 3) bad = w[2] == "count" ? Bad::kCount : w[2] == "name" ? Bad::kName : w[2] == "oversize" ? Bad::kOversize : Bad::kNone;
        if (bad == Bad::kNone) return Err("usage: badfind <dev> count|name|oversize");
        dev->SetBadFindReply(bad);
        return {"OK"};
    }
    if (cmd == "report") {
        auto lines = dev->Report();
        std::vector<std::string> out{"OK " + std::to_string(lines.size())};
        out.insert(out.end(), lines.begin(), lines.end());
        return out;
    }
    if (cmd == "clear") {
        dev->ClearReport();
        return {"OK"};
    }
    return Err("unknown command: " + cmd + " (try help)");
}

}  // namespace ocv::devsim
