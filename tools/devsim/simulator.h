#pragma once
// The whole simulator: one I/O context with a few threads serving every device, and the
// line-based control port. Usable in a process of its own (main.cpp) or inside a test.
#include <asio.hpp>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/devsim/sim_options.h"
#include "tools/devsim/site_config.h"
#include "tools/devsim/video_loop.h"

namespace ocv::devsim {

class SimDevice;
class ControlServer;
class DiscoveryResponder;

class Simulator {
public:
    explicit Simulator(SiteConfig site, SimOptions options = {});
    ~Simulator();

    // Encodes or loads the video, binds every port and starts serving. false with a message.
    bool Start(std::string* error);
    void Stop();

    int controlPort() const;
    const std::vector<std::shared_ptr<SimDevice>>& devices() const { return devices_; }
    // "device <index> <name> <address> <port> <web port>" lines, "rtsp <index> <port>" lines of
    // devices with an RTSP server, "control <port>", and "discovery <port>" and "onvif <port>"
    // (WS-Discovery) when those are on.
    std::string PortsText() const;
    // Runs one control command line; the reply lines (first "OK ..." or "ERR ...").
    std::vector<std::string> Execute(const std::string& line);

    asio::io_context& io() { return io_; }

private:
    SimDevice* FindDevice(const std::string& key) const;

    SiteConfig site_;
    SimOptions options_;
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::vector<std::thread> threads_;
    std::unique_ptr<VideoLoopCache> loops_;
    std::vector<std::shared_ptr<SimDevice>> devices_;
    std::shared_ptr<ControlServer> control_;
    std::shared_ptr<DiscoveryResponder> discovery_;
    bool stopped_ = false;
};

}  // namespace ocv::devsim
