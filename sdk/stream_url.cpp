#include "sdk/stream_url.h"

#include <cctype>
#include <cstdio>

namespace ocv::sdk {

namespace {

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Decode(const std::string& in, std::string* out) {
    out->clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            *out += in[i];
            continue;
        }
        if (i + 2 >= in.size()) return false;
        int a = Hex(in[i + 1]), b = Hex(in[i + 2]);
        if (a < 0 || b < 0) return false;
        char c = char(a * 16 + b);
        if (c == 0) return false;
        *out += c;
        i += 2;
    }
    return true;
}

std::string Encode(const std::string& in) {
    std::string out;
    for (unsigned char c : in) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

uint16_t DefaultPort(const std::string& scheme) {
    if (scheme == "rtsp") return 554;
    if (scheme == "https") return 443;
    return 80;
}

std::string Authority(const Url& url) {
    std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
    if (url.port != DefaultPort(url.scheme)) host += ":" + std::to_string(url.port);
    return host;
}

}  // namespace

bool ParseUrl(const std::string& text, Url* out) {
    if (text.empty() || text.size() > kMaxUrlBytes) return false;
    for (unsigned char c : text)
        if (c <= 0x20 || c >= 0x7F) return false;
    size_t colon = text.find("://");
    if (colon == std::string::npos || colon == 0 || colon > 5) return false;
    Url u;
    for (size_t i = 0; i < colon; ++i) u.scheme += char(std::tolower(static_cast<unsigned char>(text[i])));
    if (u.scheme != "rtsp" && u.scheme != "http" && u.scheme != "https") return false;
    size_t authStart = colon + 3;
    size_t pathStart = text.find_first_of("/?", authStart);
    std::string authority = text.substr(authStart, pathStart == std::string::npos ? std::string::npos : pathStart - authStart);
    u.path = pathStart == std::string::npos ? "/" : text.substr(pathStart);
    if (!u.path.empty() && u.path[0] == '?') u.path = "/" + u.path;
    size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        std::string info = authority.substr(0, at);
        authority = authority.substr(at + 1);
        size_t sep = info.find(':');
        if (!Decode(info.substr(0, sep), &u.user)) return false;
        if (sep != std::string::npos && !Decode(info.substr(sep + 1), &u.password)) return false;
    }
    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == std::string::npos) return false;
        u.host = authority.substr(1, close - 1);
        std::string rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return false;
            port = rest.substr(1);
            if (port.empty()) return false;
        }
        if (u.host.empty() || u.host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos) return false;
    } else {
        size_t sep = authority.find(':');
        u.host = authority.substr(0, sep);
        if (sep != std::string::npos) {
            port = authority.substr(sep + 1);
            if (port.empty()) return false;
        }
        if (u.host.empty() || u.host.size() > 253) return false;
        for (unsigned char c : u.host)
            if (!std::isalnum(c) && c != '-' && c != '.' && c != '_') return false;
    }
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
        int p = std::stoi(port);
        if (p < 1 || p > 65535) return false;
        u.port = uint16_t(p);
    } else {
        u.port = DefaultPort(u.scheme);
    }
    *out = std::move(u);
    return true;
}

std::string UrlWithoutCredentials(const Url& url) { return url.scheme + "://" + Authority(url) + url.path; }

std::string UrlWithCredentials(const Url& url, const std::string& user, const std::string& password) {
    if (user.empty()) return UrlWithoutCredentials(url);
    return url.scheme + "://" + Encode(user) + ":" + Encode(password) + "@" + Authority(url) + url.path;
}

Url OnHost(const Url& url, const std::string& host, uint16_t port) {
    Url u = url;
    u.user.clear();
    u.password.clear();
    u.host = host;
    u.port = port;
    return u;
}

}  // namespace ocv::sdk
