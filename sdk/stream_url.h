#pragma once
// URLs of standard cameras: rtsp:// stream addresses and http:// service addresses as devices
// and operators write them. Parsed strictly (bounded, printable, a known scheme, a port in
// range); credentials are never kept in a URL we hand on or print.
#include <cstdint>
#include <string>

namespace ocv::sdk {

constexpr size_t kMaxUrlBytes = 1023;

struct Url {
    std::string scheme;    // "rtsp", "http" or "https", lower case
    std::string user;      // from "user:password@", percent-decoded ("" when absent)
    std::string password;
    std::string host;      // without brackets for IPv6
    uint16_t port = 0;     // the scheme's default when not written
    std::string path;      // from the first '/' on, with the query; "/" when absent
};

// false for anything that is not such a URL.
bool ParseUrl(const std::string& text, Url* out);

// The URL without credentials: scheme://host[:port]path (IPv6 hosts in brackets). For traces,
// messages and comparisons.
std::string UrlWithoutCredentials(const Url& url);

// The URL with the given credentials percent-encoded into it (for clients that take them
// only there). Empty user: none.
std::string UrlWithCredentials(const Url& url, const std::string& user, const std::string& password);

// A device's service address may name another host than the one we reached it at (a camera
// behind port forwarding reports its inner address). The path of url, on host and port.
Url OnHost(const Url& url, const std::string& host, uint16_t port);

}  // namespace ocv::sdk
