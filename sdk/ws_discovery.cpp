#include "sdk/ws_discovery.h"

#include "sdk/xml_doc.h"

#include <arpa/inet.h>
#include <openssl/rand.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

namespace ocv::wire {

namespace {

constexpr const char* kSoap12 = "http://www.w3.org/2003/05/soap-envelope";
constexpr const char* kSoap11 = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char* kAddressing = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr const char* kDiscovery = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr const char* kProbeAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
constexpr const char* kMatchesAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches";
constexpr const char* kAnonymous = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";
constexpr size_t kMaxText = 4096;

using xml::Doc;

Doc Read(const char* text, size_t size) { return xml::ReadBounded(text, size, kMaxSoapDatagram, "datagram.xml"); }

bool Is(const xmlNode* n, const char* ns, const char* name) {
    return n && n->type == XML_ELEMENT_NODE && n->ns && n->ns->href &&
           std::strcmp(reinterpret_cast<const char*>(n->ns->href), ns) == 0 &&
           std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

const xmlNode* Child(const xmlNode* parent, const char* ns, const char* name) {
    if (!parent) return nullptr;
    for (const xmlNode* c = parent->children; c; c = c->next) {
        if (Is(c, ns, name)) return c;
    }
    return nullptr;
}

std::string Text(const xmlNode* n) { return xml::ElementText(n, kMaxText); }

// Envelope, Header and Body of a SOAP message.
bool Envelope(const xmlDoc* doc, const xmlNode** header, const xmlNode** body) {
    const xmlNode* root = xmlDocGetRootElement(const_cast<xmlDoc*>(doc));
    const char* ns = Is(root, kSoap12, "Envelope") ? kSoap12 : Is(root, kSoap11, "Envelope") ? kSoap11 : nullptr;
    if (!ns) return false;
    *header = Child(root, ns, "Header");
    *body = Child(root, ns, "Body");
    return *header && *body;
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

std::string Head(const std::string& action, const std::string& messageId, const std::string& relatesTo) {
    std::string h = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                    "<s:Envelope xmlns:s=\"" + std::string(kSoap12) + "\" xmlns:a=\"" + kAddressing +
                    "\" xmlns:d=\"" + kDiscovery + "\" xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\">"
                    "<s:Header><a:Action s:mustUnderstand=\"1\">" + action + "</a:Action>"
                    "<a:MessageID>" + Escape(messageId) + "</a:MessageID>";
    if (relatesTo.empty()) {
        h += "<a:ReplyTo><a:Address>" + std::string(kAnonymous) + "</a:Address></a:ReplyTo>"
             "<a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>";
    } else {
        h += "<a:RelatesTo>" + Escape(relatesTo) + "</a:RelatesTo><a:To s:mustUnderstand=\"1\">" +
             std::string(kAnonymous) + "</a:To>";
    }
    return h + "</s:Header>";
}

uint64_t Fnv1a(const std::string& s) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace

std::string NewUuid() {
    uint8_t b[16];
    if (RAND_bytes(b, sizeof b) != 1) {
        // No randomness: a message id only has to differ from recent ones.
        static std::atomic<uint64_t> counter{0};
        uint64_t n = ++counter ^ uint64_t(reinterpret_cast<uintptr_t>(&counter));
        std::memcpy(b, &n, 8);
        std::memcpy(b + 8, &n, 8);
    }
    b[6] = uint8_t((b[6] & 0x0F) | 0x40);
    b[8] = uint8_t((b[8] & 0x3F) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                  b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

std::string BuildProbe(const std::string& messageId) {
    return Head(kProbeAction, messageId, "") +
           "<s:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe></s:Body></s:Envelope>";
}

bool ParseProbe(const char* xml, size_t size, ProbeRequest* out) {
    Doc doc = Read(xml, size);
    const xmlNode *header = nullptr, *body = nullptr;
    if (!doc || !Envelope(doc.get(), &header, &body)) return false;
    if (Text(Child(header, kAddressing, "Action")) != kProbeAction) return false;
    const xmlNode* probe = Child(body, kDiscovery, "Probe");
    if (!probe) return false;
    out->messageId = Text(Child(header, kAddressing, "MessageID"));
    out->types = Text(Child(probe, kDiscovery, "Types"));
    return !out->messageId.empty();
}

std::string BuildProbeMatches(const std::string& messageId, const std::string& relatesTo,
                              const std::vector<ProbeMatch>& matches) {
    std::string x = Head(kMatchesAction, messageId, relatesTo) + "<s:Body><d:ProbeMatches>";
    for (const auto& m : matches) {
        x += "<d:ProbeMatch><a:EndpointReference><a:Address>" + Escape(m.endpoint) +
             "</a:Address></a:EndpointReference><d:Types>" + Escape(m.types) + "</d:Types><d:Scopes>" +
             Escape(m.scopes) + "</d:Scopes><d:XAddrs>" + Escape(m.xaddrs) +
             "</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch>";
    }
    return x + "</d:ProbeMatches></s:Body></s:Envelope>";
}

bool ParseProbeMatches(const char* xml, size_t size, const std::string& relatesTo, std::vector<ProbeMatch>* out) {
    Doc doc = Read(xml, size);
    const xmlNode *header = nullptr, *body = nullptr;
    if (!doc || !Envelope(doc.get(), &header, &body)) return false;
    if (Text(Child(header, kAddressing, "Action")) != kMatchesAction) return false;
    if (!relatesTo.empty() && Text(Child(header, kAddressing, "RelatesTo")) != relatesTo) return false;
    const xmlNode* matches = Child(body, kDiscovery, "ProbeMatches");
    if (!matches) return false;
    out->clear();
    for (const xmlNode* c = matches->children; c && out->size() < kMaxProbeMatches; c = c->next) {
        if (!Is(c, kDiscovery, "ProbeMatch")) continue;
        ProbeMatch m;
        m.endpoint = Text(Child(Child(c, kAddressing, "EndpointReference"), kAddressing, "Address"));
        m.types = Text(Child(c, kDiscovery, "Types"));
        m.scopes = Text(Child(c, kDiscovery, "Scopes"));
        m.xaddrs = Text(Child(c, kDiscovery, "XAddrs"));
        if (!m.endpoint.empty()) out->push_back(std::move(m));
    }
    return true;
}

bool FoundDeviceFromMatch(const ProbeMatch& match, FoundDevice* out) {
    // The first http service address on an IPv4 host.
    std::string host, path;
    int port = 80;
    size_t at = 0;
    bool found = false;
    while (!found && at < match.xaddrs.size()) {
        size_t end = match.xaddrs.find(' ', at);
        if (end == std::string::npos) end = match.xaddrs.size();
        std::string url = match.xaddrs.substr(at, end - at);
        at = end + 1;
        if (url.compare(0, 7, "http://") != 0) continue;
        std::string rest = url.substr(7);
        size_t slash = rest.find('/');
        std::string authority = rest.substr(0, slash);
        path = slash == std::string::npos ? "/" : rest.substr(slash);
        size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        port = 80;
        if (colon != std::string::npos) {
            std::string p = authority.substr(colon + 1);
            if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos) continue;
            port = std::atoi(p.c_str());
            if (port < 1 || port > 65535) continue;
        }
        in_addr a{};
        found = host.size() < 32 && inet_pton(AF_INET, host.c_str(), &a) == 1;
    }
    if (!found) return false;
    FoundDevice d;
    d.address = host;
    d.port = uint32_t(port);
    d.servicePath = path.size() < 32 ? path : "";
    d.protocol = kSearchOnvif;
    d.channels = 1;
    d.type = "ONVIF";
    const std::string uuidPrefix = "urn:uuid:";
    if (match.endpoint.compare(0, uuidPrefix.size(), uuidPrefix) == 0 &&
        match.endpoint.size() - uuidPrefix.size() <= kMaxDeviceIdChars) {
        d.deviceId = match.endpoint.substr(uuidPrefix.size());
    } else if (match.endpoint.size() <= kMaxDeviceIdChars) {
        d.deviceId = match.endpoint;
    } else {
        char hash[24];
        std::snprintf(hash, sizeof hash, "epr-%016llx", static_cast<unsigned long long>(Fnv1a(match.endpoint)));
        d.deviceId = hash;
    }
    if (d.deviceId.empty()) return false;
    const std::string hardware = "onvif://www.onvif.org/hardware/";
    size_t h = match.scopes.find(hardware);
    if (h != std::string::npos) {
        size_t from = h + hardware.size();
        size_t end = match.scopes.find(' ', from);
        d.firmware = match.scopes.substr(from, (end == std::string::npos ? match.scopes.size() : end) - from).substr(0, 39);
    }
    *out = std::move(d);
    return true;
}

}  // namespace ocv::wire
