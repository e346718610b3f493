#pragma once
// The simulator's ONVIF replies as SOAP text: what a device says about itself (information,
// services, capabilities, clock), its media profiles and their URIs, PTZ presets, pull-point
// subscriptions and notifications, and faults. Built from a plain description of the device so
// they can be checked without a network.
#include <ctime>
#include <string>
#include <vector>

#include "tools/devsim/site_config.h"

namespace ocv::devsim::onvif_reply {

struct ChannelView {
    StreamConfig main, sub;  // width 0: not offered
};

struct DeviceView {
    std::string manufacturer = "Ocuvant";
    std::string model, firmware, serial, hardware;
    std::string address;  // where clients reach the device
    int webPort = 0;
    int rtspPort = 0;     // 0: no RTSP server
    int fps = 25;
    int keyInterval = 50;
    std::vector<ChannelView> channels;
};

// Tokens: sources "VideoSource_<c>", profiles "Profile_<c>_main" / "_sub" (c from 0).
std::string SourceToken(int channel);
std::string ProfileToken(int channel, int streamType);
// The channel and stream type a profile token names; false for tokens of no profile.
bool ParseProfileToken(const DeviceView& d, const std::string& token, int* channel, int* streamType);
// Service addresses on the device's web port, e.g. "http://127.0.0.5:38005/onvif/media_service".
std::string ServiceUrl(const DeviceView& d, const std::string& service);
// rtsp://address:port/ch<c>/main|sub, the paths the simulator's RTSP server serves.
std::string StreamUrl(const DeviceView& d, int channel, int streamType);

// A SOAP 1.2 envelope around a reply body (namespaces tds, trt, tptz, tev, tt, wsnt, wsa, tns1, ter).
std::string Envelope(const std::string& body);
// Sender faults (not authorised, invalid argument) and receiver faults (action not supported).
std::string Fault(bool sender, const std::string& subcode, const std::string& reason);

std::string SystemDateAndTime(time_t deviceUtc);
std::string DeviceInformation(const DeviceView& d);
std::string Services(const DeviceView& d, bool withCapabilities);
std::string Capabilities(const DeviceView& d);
std::string Profiles(const DeviceView& d, const char* element, int onlyChannel = -1, int onlyStream = -1);
std::string VideoSources(const DeviceView& d);
std::string MediaUri(const char* element, const std::string& uri);

struct Preset {
    std::string token, name;
};
std::string Presets(const std::vector<Preset>& presets);

std::string Subscription(const std::string& address, time_t now, time_t termination);
struct Notification {
    int channel = 0;
    int type = 0;   // 0 motion, 1 alarm input
    bool on = false;
    time_t when = 0;
};
std::string PulledMessages(const std::vector<Notification>& messages, time_t now, time_t termination);
std::string EventProperties();

// An empty reply element of an operation: "<tds:SystemRebootResponse>...".
std::string Empty(const std::string& qualifiedName, const std::string& inner = "");

}  // namespace ocv::devsim::onvif_reply
