#include "tools/devsim/onvif_service.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/devsim/sim_device.h"

namespace ocv::devsim {

namespace R = onvif_reply;
using Done = OnvifService::Done;

namespace {

constexpr size_t kMaxPresetsPerChannel = 255;
constexpr const char* kPullPointPath = "/onvif/pullpoint/";

std::string Field(const onvif::Request& r, const char* name) {
    auto it = r.fields.find(name);
    return it == r.fields.end() ? std::string() : it->second;
}

double Number(const onvif::Request& r, const char* key) {
    auto it = r.attributes.find(key);
    if (it == r.attributes.end() || it->second.empty() || it->second.size() > 32) return 0;
    char* end = nullptr;
    double v = std::strtod(it->second.c_str(), &end);
    if (*end != '\0' || v != v) return 0;
    return v < -1 ? -1 : v > 1 ? 1 : v;
}

void Ok(const Done& done, const std::string& body) { done(200, R::Envelope(body)); }
void SenderFault(const Done& done, const std::string& subcode, const std::string& reason) {
    done(400, R::Envelope(R::Fault(true, subcode, reason)));
}
void ReceiverFault(const Done& done, const std::string& subcode, const std::string& reason) {
    done(500, R::Envelope(R::Fault(false, subcode, reason)));
}

// Operations a client may call before it knows the device's clock or its credentials.
bool NeedsNoToken(const std::string& op) {
    return op == "GetSystemDateAndTime" || op == "GetServices" || op == "GetCapabilities" ||
           op == "GetServiceCapabilities" || op == "GetWsdlUrl" || op == "GetEndpointReference";
}

bool Valid(int y, int mo, int d, int h, int mi, int s) {
    return y >= 1970 && y <= 2999 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h >= 0 && h <= 23 && mi >= 0 &&
           mi <= 59 && s >= 0 && s <= 60;
}

int IntField(const onvif::Request& r, const char* name) {
    std::string v = Field(r, name);
    if (v.empty() || v.size() > 4 || v.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::atoi(v.c_str());
}

}  // namespace

int ParseDurationSeconds(const std::string& text) {
    if (text.size() < 3 || text.size() > 24 || text.compare(0, 2, "PT") != 0) return -1;
    long total = 0, value = -1;
    bool any = false;
    for (size_t i = 2; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            value = (value < 0 ? 0 : value) * 10 + (c - '0');
            if (value > 86400) return -1;
            continue;
        }
        if (value < 0) return -1;
        if (c == 'H') total += value * 3600;
        else if (c == 'M') total += value * 60;
        else if (c == 'S') total += value;
        else return -1;
        value = -1;
        any = true;
    }
    if (value >= 0 || !any || total > 86400) return -1;
    return int(total);
}

OnvifService::OnvifService(asio::io_context& io, SimDevice& device, int rtspPort)
    : device_(device),
      rtspPort_(rtspPort),
      pulls_(std::make_shared<PullPoints>(io, [&device] { return device.DeviceUtc(); })) {}

OnvifService::~OnvifService() { pulls_->Stop(); }

void OnvifService::Stop() { pulls_->Stop(); }

R::DeviceView OnvifService::View() const {
    const DeviceConfig& c = device_.config();
    R::DeviceView v;
    v.model = "devsim " + c.type;
    v.firmware = c.firmware;
    v.serial = c.deviceId;
    v.hardware = c.name;
    v.address = device_.Network().address;
    v.webPort = device_.webPort();
    v.rtspPort = rtspPort_;
    v.fps = c.fps;
    v.keyInterval = c.keyInterval;
    for (int ch = 0; ch < c.channels; ++ch) v.channels.push_back({c.StreamOf(ch, 0), c.StreamOf(ch, 1)});
    return v;
}

void OnvifService::Notify(int channel, int type, bool on) {
    if (type != 0 && type != 1) return;  // pull points carry motion and input alarms
    R::Notification n;
    n.channel = channel;
    n.type = type;
    n.on = on;
    n.when = device_.DeviceUtc();
    pulls_->Notify(n);
}

void OnvifService::Handle(const std::string& target, const std::string& body, Done done) {
    onvif::Request r;
    if (!onvif::ParseRequest(body, &r)) return SenderFault(done, "ter:WellFormed", "not a SOAP 1.2 request");
    const std::string& op = r.operation;
    if (!NeedsNoToken(op)) {
        const DeviceConfig& c = device_.config();
        TokenVerdict v = CheckUsernameToken(r, c.user, c.password, device_.DeviceUtc(), &nonces_);
        if (v != TokenVerdict::kGood) {
            static const char* kWhy[] = {"", "no token", "unknown user", "wrong password", "created outside the window",
                                         "nonce used before"};
            device_.Log("onvif %s refused: %s", op.c_str(), kWhy[int(v)]);
            return SenderFault(done, "ter:NotAuthorized", "Sender not Authorized");
        }
    }
    if (target.compare(0, std::strlen(kPullPointPath), kPullPointPath) == 0) {
        if (HandleEvents(op, target, r, done)) return;
    } else if (HandleDevice(op, r, done) || HandleMedia(op, r, done) || HandlePtz(op, r, done) ||
               HandleEvents(op, target, r, done)) {
        return;
    }
    device_.Log("onvif %s: not offered", op.c_str());
    ReceiverFault(done, "ter:ActionNotSupported", "Optional Action Not Implemented");
}

bool OnvifService::HandleDevice(const std::string& op, const onvif::Request& r, const Done& done) {
    R::DeviceView v = View();
    if (op == "GetSystemDateAndTime") {
        Ok(done, R::SystemDateAndTime(device_.DeviceUtc()));
    } else if (op == "GetDeviceInformation") {
        Ok(done, R::DeviceInformation(v));
    } else if (op == "GetServices") {
        Ok(done, R::Services(v, Field(r, "IncludeCapability") == "true"));
    } else if (op == "GetCapabilities") {
        Ok(done, R::Capabilities(v));
    } else if (op == "SetSystemDateAndTime") {
        if (Field(r, "DateTimeType") == "NTP") {
            Ok(done, R::Empty("tds:SetSystemDateAndTimeResponse"));
            return true;
        }
        int y = IntField(r, "Year"), mo = IntField(r, "Month"), d = IntField(r, "Day"), h = IntField(r, "Hour"),
            mi = IntField(r, "Minute"), s = IntField(r, "Second");
        if (!Valid(y, mo, d, h, mi, s)) {
            SenderFault(done, "ter:InvalidArgVal/ter:InvalidDateTime", "no valid UTCDateTime");
            return true;
        }
        struct tm t {};
        t.tm_year = y - 1900;
        t.tm_mon = mo - 1;
        t.tm_mday = d;
        t.tm_hour = h;
        t.tm_min = mi;
        t.tm_sec = s;
        time_t utc = timegm(&t);
        device_.SetDeviceUtc(utc);
        device_.Record("onvif time " + onvif::UtcText(utc));
        Ok(done, R::Empty("tds:SetSystemDateAndTimeResponse"));
    } else if (op == "SystemReboot") {
        device_.Record("reboot");
        Ok(done, R::Empty("tds:SystemRebootResponse", "<tds:Message>Rebooting in a moment</tds:Message>"));
        device_.ScheduleReboot();
    } else {
        return false;
    }
    return true;
}

bool OnvifService::ProfileChannel(const onvif::Request& r, const Done& done, int* channel) {
    int type = 0;
    if (R::ParseProfileToken(View(), Field(r, "ProfileToken"), channel, &type)) return true;
    SenderFault(done, "ter:InvalidArgVal/ter:NoProfile", "no such profile");
    return false;
}

bool OnvifService::HandleMedia(const std::string& op, const onvif::Request& r, const Done& done) {
    R::DeviceView v = View();
    if (op == "GetProfiles") {
        Ok(done, "<trt:GetProfilesResponse>" + R::Profiles(v, "trt:Profiles") + "</trt:GetProfilesResponse>");
    } else if (op == "GetProfile" || op == "GetStreamUri" || op == "GetSnapshotUri") {
        int channel = 0, type = 0;
        if (!R::ParseProfileToken(v, Field(r, "ProfileToken"), &channel, &type)) {
            SenderFault(done, "ter:InvalidArgVal/ter:NoProfile", "no such profile");
        } else if (op == "GetProfile") {
            Ok(done, "<trt:GetProfileResponse>" + R::Profiles(v, "trt:Profile", channel, type) +
                         "</trt:GetProfileResponse>");
        } else if (op == "GetSnapshotUri") {
            Ok(done, R::MediaUri("trt:GetSnapshotUriResponse",
                                 R::ServiceUrl(v, "snapshot?channel=" + std::to_string(channel))));
        } else if (rtspPort_ == 0) {
            ReceiverFault(done, "ter:ActionNotSupported/ter:StreamingNotSupported",
                          "no RTSP server (the simulator runs without --rtsp-base-port)");
        } else {
            Ok(done, R::MediaUri("trt:GetStreamUriResponse", R::StreamUrl(v, channel, type)));
        }
    } else if (op == "GetVideoSources") {
        Ok(done, R::VideoSources(v));
    } else if (op == "SetSynchronizationPoint") {
        Ok(done, R::Empty("trt:SetSynchronizationPointResponse"));
    } else {
        return false;
    }
    return true;
}

bool OnvifService::HandlePtz(const std::string& op, const onvif::Request& r, const Done& done) {
    if (op != "ContinuousMove" && op != "Stop" && op != "SetPreset" && op != "GotoPreset" && op != "RemovePreset" &&
        op != "GetPresets")
        return false;
    int channel = 0;
    if (!ProfileChannel(r, done, &channel)) return true;
    char line[160];
    if (op == "ContinuousMove") {
        std::snprintf(line, sizeof line, "onvif-ptz %d move %.2f %.2f %.2f", channel, Number(r, "PanTilt@x"),
                      Number(r, "PanTilt@y"), Number(r, "Zoom@x"));
        device_.Record(line);
        Ok(done, R::Empty("tptz:ContinuousMoveResponse"));
        return true;
    }
    if (op == "Stop") {
        device_.Record("onvif-ptz " + std::to_string(channel) + " stop");
        Ok(done, R::Empty("tptz:StopResponse"));
        return true;
    }
    std::string token = Field(r, "PresetToken");
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<R::Preset>& presets = presets_[channel];
    auto found = std::find_if(presets.begin(), presets.end(), [&](const R::Preset& p) { return p.token == token; });
    if (op == "GetPresets") {
        Ok(done, R::Presets(presets));
    } else if (op == "SetPreset") {
        if (token.size() > 64 || Field(r, "PresetName").size() > 64) {
            SenderFault(done, "ter:InvalidArgVal/ter:InvalidPresetName", "preset name or token too long");
            return true;
        }
        if (found == presets.end()) {
            if (presets.size() >= kMaxPresetsPerChannel) {
                ReceiverFault(done, "ter:Action/ter:TooManyPresets", "no room for another preset");
                return true;
            }
            if (token.empty()) token = std::to_string(nextPreset_++);
            std::string name = Field(r, "PresetName");
            presets.push_back({token, name.empty() ? token : name});
        }
        device_.Record("onvif-preset " + std::to_string(channel) + " set " + token);
        Ok(done, R::Empty("tptz:SetPresetResponse", "<tptz:PresetToken>" + onvif::Escape(token) + "</tptz:PresetToken>"));
    } else if (found == presets.end()) {
        SenderFault(done, "ter:InvalidArgVal/ter:NoToken", "no such preset");
    } else {
        bool remove = op == "RemovePreset";
        device_.Record("onvif-preset " + std::to_string(channel) + (remove ? " remove " : " goto ") + token);
        if (remove) presets.erase(found);
        Ok(done, R::Empty(remove ? "tptz:RemovePresetResponse" : "tptz:GotoPresetResponse"));
    }
    return true;
}

bool OnvifService::HandleEvents(const std::string& op, const std::string& target, const onvif::Request& r,
                                const Done& done) {
    R::DeviceView v = View();
    if (op == "GetEventProperties") {
        Ok(done, R::EventProperties());
        return true;
    }
    if (op == "CreatePullPointSubscription") {
        int life = ParseDurationSeconds(Field(r, "InitialTerminationTime"));
        time_t termination = 0;
        int id = pulls_->Create(life > 0 ? life : 60, &termination);
        if (id < 0) {
            ReceiverFault(done, "ter:Action/ter:MaxPullPoints", "too many subscriptions");
            return true;
        }
        Ok(done, R::Subscription(R::ServiceUrl(v, "pullpoint/" + std::to_string(id)), device_.DeviceUtc(),
                                 termination));
        return true;
    }
    if (op != "PullMessages" && op != "Renew" && op != "Unsubscribe" && op != "SetSynchronizationPoint") return false;
    std::string idText = target.compare(0, std::strlen(kPullPointPath), kPullPointPath) == 0
                             ? target.substr(std::strlen(kPullPointPath))
                             : std::string();
    int id = idText.empty() || idText.size() > 6 || idText.find_first_not_of("0123456789") != std::string::npos
                 ? -1
                 : std::atoi(idText.c_str());
    auto unknown = [&] { SenderFault(done, "ter:InvalidArgVal/ter:ResourceUnknown", "no such subscription"); };
    if (op == "Unsubscribe") {
        if (!pulls_->Remove(id)) return unknown(), true;
        Ok(done, R::Empty("wsnt:UnsubscribeResponse"));
    } else if (op == "Renew") {
        int life = ParseDurationSeconds(Field(r, "TerminationTime"));
        time_t termination = 0;
        if (!pulls_->Renew(id, life > 0 ? life : 60, &termination)) return unknown(), true;
        Ok(done, R::Empty("wsnt:RenewResponse", "<wsnt:TerminationTime>" + onvif::UtcText(termination) +
                                                    "</wsnt:TerminationTime><wsnt:CurrentTime>" +
                                                    onvif::UtcText(device_.DeviceUtc()) + "</wsnt:CurrentTime>"));
    } else if (op == "SetSynchronizationPoint") {
        Ok(done, R::Empty("tev:SetSynchronizationPointResponse"));
    } else {
        int wait = ParseDurationSeconds(Field(r, "Timeout"));
        int limit = IntField(r, "MessageLimit");
        SimDevice* device = &device_;
        pulls_->Pull(id, wait < 0 ? 0 : wait * 1000, limit <= 0 ? 16 : size_t(limit),
                     [done, device](bool found, std::vector<R::Notification> messages, time_t termination) {
                         if (!found) {
                             SenderFault(done, "ter:InvalidArgVal/ter:ResourceUnknown", "no such subscription");
                             return;
                         }
                         Ok(done, R::PulledMessages(messages, device->DeviceUtc(), termination));
                     });
    }
    return true;
}

}  // namespace ocv::devsim
