#include "sdk/onvif_soap.h"

#include "sdk/xml_doc.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace ocv::onvif {

namespace {

constexpr size_t kMaxText = 4096;
constexpr size_t kMaxProfiles = 128;
constexpr size_t kMaxNotifications = 64;

using xml::Doc;

Doc Read(const std::string& text) {
    return xml::ReadBounded(text.data(), text.size(), kMaxSoapBytes, "soap.xml");
}

bool Named(const xmlNode* n, const char* local) {
    return n && n->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(n->name), local) == 0;
}

const xmlNode* Child(const xmlNode* parent, const char* local) {
    if (!parent) return nullptr;
    for (const xmlNode* c = parent->children; c; c = c->next)
        if (Named(c, local)) return c;
    return nullptr;
}

// The first element of that local name at or below n, depth first.
const xmlNode* Find(const xmlNode* n, const char* local) {
    for (; n; n = n->next) {
        if (Named(n, local)) return n;
        if (n->type == XML_ELEMENT_NODE) {
            if (const xmlNode* f = Find(n->children, local)) return f;
        }
    }
    return nullptr;
}

std::string Text(const xmlNode* n) { return xml::ElementText(n, kMaxText); }

std::string Attr(const xmlNode* n, const char* name) {
    if (!n) return {};
    for (const xmlAttr* a = n->properties; a; a = a->next) {
        if (std::strcmp(reinterpret_cast<const char*>(a->name), name) == 0 && a->children && a->children->content) {
            std::string v = reinterpret_cast<const char*>(a->children->content);
            return v.size() > kMaxText ? std::string() : v;
        }
    }
    return {};
}

const xmlNode* Body(const xmlDoc* doc) {
    const xmlNode* root = xmlDocGetRootElement(const_cast<xmlDoc*>(doc));
    if (!Named(root, "Envelope")) return nullptr;
    return Child(root, "Body");
}

const xmlNode* Header(const xmlDoc* doc) {
    const xmlNode* root = xmlDocGetRootElement(const_cast<xmlDoc*>(doc));
    if (!Named(root, "Envelope")) return nullptr;
    return Child(root, "Header");
}

int Int(const std::string& s) {
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(s);
}

std::string DateTimeBody(const struct tm& t) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "<tt:Time><tt:Hour>%d</tt:Hour><tt:Minute>%d</tt:Minute><tt:Second>%d</tt:Second></tt:Time>"
                  "<tt:Date><tt:Year>%d</tt:Year><tt:Month>%d</tt:Month><tt:Day>%d</tt:Day></tt:Date>",
                  t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    return buf;
}

void Items(const xmlNode* parent, std::map<std::string, std::string>* out) {
    if (!parent) return;
    for (const xmlNode* c = parent->children; c && out->size() < 32; c = c->next) {
        if (Named(c, "SimpleItem")) (*out)[Attr(c, "Name")] = Attr(c, "Value");
    }
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

std::string Base64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()));
    out.resize(size_t(n));
    return out;
}

bool Base64Decode(const std::string& text, std::string* out) {
    if (text.size() > kMaxText || text.size() % 4 != 0) return false;
    std::string raw(text.size() / 4 * 3 + 1, '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(raw.data()),
                            reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    if (n < 0) return false;
    size_t pad = 0;
    if (!text.empty() && text.back() == '=') ++pad;
    if (text.size() > 1 && text[text.size() - 2] == '=') ++pad;
    raw.resize(size_t(n) - pad);
    *out = std::move(raw);
    return true;
}

std::string PasswordDigest(const std::string& nonce, const std::string& created, const std::string& password) {
    std::string all = nonce + created + password;
    unsigned char hash[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(all.data()), all.size(), hash);
    return Base64(std::string(reinterpret_cast<char*>(hash), sizeof hash));
}

std::string UtcText(time_t t) {
    struct tm u {};
    gmtime_r(&t, &u);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &u);
    return buf;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Envelope(const std::string& body, const UsernameToken* token) {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
        " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
        " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
        " xmlns:tptz=\"http://www.onvif.org/ver20/ptz/wsdl\""
        " xmlns:tev=\"http://www.onvif.org/ver10/events/wsdl\""
        " xmlns:tt=\"http://www.onvif.org/ver10/schema\""
        " xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\""
        " xmlns:tns1=\"http://www.onvif.org/ver10/topics\">";
    x += "<s:Header>";
    if (token) {
        x += "<wsse:Security s:mustUnderstand=\"1\" "
             "xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\" "
             "xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\">"
             "<wsse:UsernameToken><wsse:Username>" + Escape(token->user) +
             "</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
             "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">" +
             PasswordDigest(token->nonce, token->created, token->password) +
             "</wsse:Password><wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
             "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">" + Base64(token->nonce) +
             "</wsse:Nonce><wsu:Created>" + Escape(token->created) + "</wsu:Created></wsse:UsernameToken></wsse:Security>";
    }
    x += "</s:Header><s:Body>" + body + "</s:Body></s:Envelope>";
    return x;
}

std::string GetSystemDateAndTime() { return "<tds:GetSystemDateAndTime/>"; }
std::string GetDeviceInformation() { return "<tds:GetDeviceInformation/>"; }
std::string GetCapabilities() { return "<tds:GetCapabilities><tds:Category>All</tds:Category></tds:GetCapabilities>"; }
std::string SystemReboot() { return "<tds:SystemReboot/>"; }
std::string GetProfiles() { return "<trt:GetProfiles/>"; }

std::string SetSystemDateAndTime(time_t utc) {
    struct tm u {};
    gmtime_r(&utc, &u);
    return "<tds:SetSystemDateAndTime><tds:DateTimeType>Manual</tds:DateTimeType>"
           "<tds:DaylightSavings>false</tds:DaylightSavings><tds:UTCDateTime>" + DateTimeBody(u) +
           "</tds:UTCDateTime></tds:SetSystemDateAndTime>";
}

std::string GetStreamUri(const std::string& profile) {
    return "<trt:GetStreamUri><trt:StreamSetup><tt:Stream>RTP-Unicast</tt:Stream><tt:Transport><tt:Protocol>RTSP"
           "</tt:Protocol></tt:Transport></trt:StreamSetup><trt:ProfileToken>" + Escape(profile) +
           "</trt:ProfileToken></trt:GetStreamUri>";
}

std::string GetSnapshotUri(const std::string& profile) {
    return "<trt:GetSnapshotUri><trt:ProfileToken>" + Escape(profile) + "</trt:ProfileToken></trt:GetSnapshotUri>";
}

std::string ContinuousMove(const std::string& profile, double pan, double tilt, double zoom) {
    char velocity[256];
    std::snprintf(velocity, sizeof velocity, "<tt:PanTilt x=\"%.3f\" y=\"%.3f\"/><tt:Zoom x=\"%.3f\"/>", pan, tilt,
                  zoom);
    return "<tptz:ContinuousMove><tptz:ProfileToken>" + Escape(profile) + "</tptz:ProfileToken><tptz:Velocity>" +
           velocity + "</tptz:Velocity></tptz:ContinuousMove>";
}

std::string PtzStop(const std::string& profile) {
    return "<tptz:Stop><tptz:ProfileToken>" + Escape(profile) +
           "</tptz:ProfileToken><tptz:PanTilt>true</tptz:PanTilt><tptz:Zoom>true</tptz:Zoom></tptz:Stop>";
}

std::string GotoPreset(const std::string& profile, const std::string& preset) {
    return "<tptz:GotoPreset><tptz:ProfileToken>" + Escape(profile) + "</tptz:ProfileToken><tptz:PresetToken>" +
           Escape(preset) + "</tptz:PresetToken></tptz:GotoPreset>";
}

std::string SetPreset(const std::string& profile, const std::string& preset) {
    return "<tptz:SetPreset><tptz:ProfileToken>" + Escape(profile) + "</tptz:ProfileToken><tptz:PresetName>" +
           Escape(preset) + "</tptz:PresetName><tptz:PresetToken>" + Escape(preset) +
           "</tptz:PresetToken></tptz:SetPreset>";
}

std::string RemovePreset(const std::string& profile, const std::string& preset) {
    return "<tptz:RemovePreset><tptz:ProfileToken>" + Escape(profile) + "</tptz:ProfileToken><tptz:PresetToken>" +
           Escape(preset) + "</tptz:PresetToken></tptz:RemovePreset>";
}

std::string CreatePullPointSubscription(int terminationSeconds) {
    return "<tev:CreatePullPointSubscription><tev:InitialTerminationTime>PT" + std::to_string(terminationSeconds) +
           "S</tev:InitialTerminationTime></tev:CreatePullPointSubscription>";
}

std::string PullMessages(int timeoutSeconds, int limit) {
    return "<tev:PullMessages><tev:Timeout>PT" + std::to_string(timeoutSeconds) + "S</tev:Timeout><tev:MessageLimit>" +
           std::to_string(limit) + "</tev:MessageLimit></tev:PullMessages>";
}

std::string Unsubscribe() { return "<wsnt:Unsubscribe/>"; }

Fault ParseFault(const std::string& xml) {
    Fault f;
    Doc doc = Read(xml);
    const xmlNode* body = doc ? Body(doc.get()) : nullptr;
    const xmlNode* fault = body ? Child(body, "Fault") : nullptr;
    if (!fault) return f;
    f.present = true;
    f.reason = Text(Find(fault->children, "Text"));
    if (f.reason.empty()) f.reason = Text(Find(fault->children, "faultstring"));
    // Every Value of the code chain, and the reason, may carry the verdict.
    for (const xmlNode* code = Find(fault->children, "Code"); code; code = Child(code, "Subcode")) {
        std::string value = Text(Child(code, "Value"));
        if (Contains(value, "NotAuthorized") || Contains(value, "FailedAuthentication")) f.notAuthorized = true;
    }
    if (Contains(f.reason, "Not Authorized") || Contains(f.reason, "not authorized")) f.notAuthorized = true;
    return f;
}

bool ParseSystemDateAndTime(const std::string& xml, time_t* utc) {
    Doc doc = Read(xml);
    const xmlNode* body = doc ? Body(doc.get()) : nullptr;
    const xmlNode* when = body ? Find(body->children, "UTCDateTime") : nullptr;
    if (!when) return false;
    const xmlNode* time = Child(when, "Time");
    const xmlNode* date = Child(when, "Date");
    struct tm t {};
    t.tm_hour = Int(Text(Child(time, "Hour")));
    t.tm_min = Int(Text(Child(time, "Minute")));
    t.tm_sec = Int(Text(Child(time, "Second")));
    t.tm_year = Int(Text(Child(date, "Year"))) - 1900;
    t.tm_mon = Int(Text(Child(date, "Month"))) - 1;
    t.tm_mday = Int(Text(Child(date, "Day")));
    if (t.tm_hour < 0 || t.tm_hour > 23 || t.tm_min < 0 || t.tm_min > 59 || t.tm_sec < 0 || t.tm_sec > 60 ||
        t.tm_year < 70 || t.tm_year > 1100 || t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > 31)
        return false;
    *utc = timegm(&t);
    return true;
}

bool ParseDeviceInformation(const std::string& xml, DeviceInformation* out) {
    Doc doc = Read(xml);
    const xmlNode* body = doc ? Body(doc.get()) : nullptr;
    const xmlNode* r = body ? Child(body, "GetDeviceInformationResponse") : nullptr;
    if (!r) return false;
    out->manufacturer = Text(Child(r, "Manufacturer"));
    out->model = Text(Child(r, "Model"));
    out->firmware = Text(Child(r, "FirmwareVersion"));
    out->serial = Text(Child(r, "SerialNumber"));
    out->hardware = Text(Child(r, "HardwareId"));
    return true;
}

bool ParseCapabilities(const std::string& xml, Capabilities* out) {
    Doc doc = Read(xml);
    const xmlNode* body = doc ? Body(doc.get()) : nullptr;
    const xmlNode* caps = body ? Find(body->children, "Capabilities") : nullptr;
    if (!caps) return false;
    *out = Capabilities{};
    out->device = Text(Child(Child(caps, "Device"), "XAddr"));
    out->media = Text(Child(Child(caps, "Media"), "XAddr"));
    out->ptz = Text(Child(Child(caps, "PTZ"), "XAddr"));
    out->events = Text(Child(Child(caps, "Events"), "XAddr"));
    const xmlNode* io = Child(Child(caps, "Device"), "IO");
    int inputs = Int(Text(Child(io, "InputConnectors")));
    int outputs = Int(Text(Child(io, "RelayOutputs")));
    out->inputs = inputs > 0 && inputs <= 64 ? inputs : 0;
    out->outputs = outputs > 0 && outputs <= 64 ? outputs : 0;
    return true;
}

bool ParseProfiles(const std::string& xml, std::vector<Profile>* out) {
    Doc doc = Read(xml);
    const xmlNode* body = doc ? Body(doc.get()) : nullptr;
    const xmlNode* r = body ? Child(body, "GetProfilesResponse") : nullptr;
    if (!r) return false;
    out->clear();
    for (const xmlNode* p = r->children; p && out->size() < kMaxProfiles; p = p->next) {
        if (!Named(p, "Profiles")) continue;
        Profile profile;
        profile.token = Attr(p, "token");
        if (profile.token.empty()) continue;
        profile.name = Text(Child(p, "Name"));
        profile.source = Text(Child(Child(p, "VideoSourceConfiguration"), "SourceToken"));
        const xmlNode* enc = Child(p, "VideoEncoderConfiguration");
        profile.encoding = Text(Child(enc, "Encoding"));
        const xmlNode* res = Child(enc, "Resolution");
        profile.width = Int(Text(Child(res, "Width")));
        profile.height = Int(Text(Child(res, "Height")));
        if (profile.width < 0 || profile.width > 16384) profile.width = 0;
        if (profile.height < 0 || profile.height > 16384) profile.height = 0;
        profile.ptz = Child(p, "PTZConfiguration") != nullptr;
        out->push_back(std::move(profile));
    }
    return true;
}

bool ParseMediaUri(const std::string& xml, std::string* uri) {
    Doc doc = Read(xml);
    const xmlNode* body = doc ? Body(doc.get()) : nullptr;
    const xmlNode* media = body ? Find(body->children, "MediaUri") : nullptr;
    *uri = Text(Child(media, "Uri"));
    return !uri->empty();
}

bool ParseSubscription(const std::string& xml, std::string* address) {
    Doc doc = Read(xml);
    const xmlNode* body = doc ? Body(doc.get()) : nullptr;
    const xmlNode* r = body ? Child(body, "CreatePullPointSubscriptionResponse") : nullptr;
    *address = Text(Child(Child(r, "SubscriptionReference"), "Address"));
    return !address->empty();
}

bool ParsePullMessages(const std::string& xml, std::vector<Notification>* out) {
    Doc doc = Read(xml);
    const xmlNode* body = doc ? Body(doc.get()) : nullptr;
    const xmlNode* r = body ? Child(body, "PullMessagesResponse") : nullptr;
    if (!r) return false;
    out->clear();
    for (const xmlNode* m = r->children; m && out->size() < kMaxNotifications; m = m->next) {
        if (!Named(m, "NotificationMessage")) continue;
        Notification n;
        n.topic = Text(Child(m, "Topic"));
        const xmlNode* inner = Child(Child(m, "Message"), "Message");
        Items(Child(inner, "Source"), &n.source);
        Items(Child(inner, "Data"), &n.data);
        out->push_back(std::move(n));
    }
    return true;
}

bool AlarmOf(const Notification& n, int* type, int* state) {
    auto value = [&](std::initializer_list<const char*> names) -> std::string {
        for (const char* name : names) {
            auto it = n.data.find(name);
            if (it != n.data.end()) return it->second;
        }
        return {};
    };
    std::string v;
    if (Contains(n.topic, "Motion")) {
        *type = 0;
        v = value({"State", "IsMotion"});
    } else if (Contains(n.topic, "DigitalInput")) {
        *type = 1;
        v = value({"LogicalState", "State"});
    } else {
        return false;
    }
    if (v == "true" || v == "1") *state = 1;
    else if (v == "false" || v == "0") *state = 0;
    else return false;
    return true;
}

namespace {
void Collect(const xmlNode* n, Request* out) {
    for (; n; n = n->next) {
        if (n->type != XML_ELEMENT_NODE) continue;
        std::string name = reinterpret_cast<const char*>(n->name);
        for (const xmlAttr* a = n->properties; a && out->attributes.size() < 64; a = a->next) {
            std::string key = name + "@" + reinterpret_cast<const char*>(a->name);
            if (!out->attributes.count(key)) out->attributes[key] = Attr(n, reinterpret_cast<const char*>(a->name));
        }
        bool leaf = true;
        for (const xmlNode* c = n->children; c; c = c->next)
            if (c->type == XML_ELEMENT_NODE) leaf = false;
        if (leaf && out->fields.size() < 64 && !out->fields.count(name)) out->fields[name] = Text(n);
        Collect(n->children, out);
    }
}
}  // namespace

bool ParseRequest(const std::string& xml, Request* out) {
    Doc doc = Read(xml);
    const xmlNode* body = doc ? Body(doc.get()) : nullptr;
    if (!body) return false;
    *out = Request{};
    const xmlNode* op = body->children;
    while (op && op->type != XML_ELEMENT_NODE) op = op->next;
    if (!op) return false;
    out->operation = reinterpret_cast<const char*>(op->name);
    Collect(op, out);
    const xmlNode* token = Find(Header(doc.get()) ? Header(doc.get())->children : nullptr, "UsernameToken");
    if (token) {
        out->hasToken = true;
        out->user = Text(Child(token, "Username"));
        const xmlNode* password = Child(token, "Password");
        out->digest = Text(password);
        out->plainPassword = Contains(Attr(password, "Type"), "PasswordText");
        if (!Base64Decode(Text(Child(token, "Nonce")), &out->nonce)) out->nonce.clear();
        out->created = Text(Child(token, "Created"));
    }
    return true;
}

}  // namespace ocv::onvif
