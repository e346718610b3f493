#pragma once
// The ONVIF face of a simulated device (with --onvif): SOAP requests to /onvif/... on its web
// port, checked against its user and password by WS-UsernameToken (only the clock, the service
// list and the capabilities answer without one), answered from its configuration: device
// information, services and capabilities, clock (set moves the device's clock, which the own
// protocol reads too), media profiles with stream and snapshot URIs, PTZ continuous move, stop
// and presets (written to the device's report), pull-point events of the alarms the control
// interface raises, reboot.
#include <asio.hpp>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/devsim/onvif_events.h"
#include "tools/devsim/onvif_replies.h"
#include "tools/devsim/onvif_security.h"

namespace ocv::devsim {

class SimDevice;

class OnvifService {
public:
    // rtspPort: where the device's RTSP server listens, 0 for none (GetStreamUri then fails).
    OnvifService(asio::io_context& io, SimDevice& device, int rtspPort);
    ~OnvifService();

    // HTTP status and the SOAP reply; may run later (a pull waiting for events), on an I/O thread.
    using Done = std::function<void(int status, std::string xml)>;
    void Handle(const std::string& target, const std::string& body, Done done);

    // An alarm the control interface raised: type 0 motion, 1 input.
    void Notify(int channel, int type, bool on);
    void Stop();

    onvif_reply::DeviceView View() const;
    int Subscriptions() { return pulls_->Count(); }

private:
    bool HandleDevice(const std::string& op, const onvif::Request& r, const Done& done);
    bool HandleMedia(const std::string& op, const onvif::Request& r, const Done& done);
    bool HandlePtz(const std::string& op, const onvif::Request& r, const Done& done);
    bool HandleEvents(const std::string& op, const std::string& target, const onvif::Request& r, const Done& done);
    // The channel of the request's ProfileToken; answers the fault itself when there is none.
    bool ProfileChannel(const onvif::Request& r, const Done& done, int* channel);

    SimDevice& device_;
    const int rtspPort_;
    std::shared_ptr<PullPoints> pulls_;
    NonceMemory nonces_;
    std::mutex mutex_;
    std::map<int, std::vector<onvif_reply::Preset>> presets_;  // per channel
    int nextPreset_ = 1;
};

// "PT1M30S"-style durations (hours, minutes, seconds) in seconds; -1 when malformed or over a day.
int ParseDurationSeconds(const std::string& text);

}  // namespace ocv::devsim
