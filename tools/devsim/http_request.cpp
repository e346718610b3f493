#include "tools/devsim/http_request.h"

#include <strings.h>

#include "sdk/http_head.h"

namespace ocv::devsim {

namespace {

bool ContainsToken(const std::string& value, const char* token) {
    // Comma-separated, case-insensitive: "keep-alive, Upgrade".
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(',', start);
        if (end == std::string::npos) end = value.size();
        std::string item = value.substr(start, end - start);
        size_t b = item.find_first_not_of(" \t"), e = item.find_last_not_of(" \t");
        if (b != std::string::npos && strcasecmp(item.substr(b, e - b + 1).c_str(), token) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

bool ParseHttpRequestHead(const std::string& head, HttpRequestHead* out) {
    if (head.size() > kMaxHttpHeadBytes) return false;
    for (unsigned char c : head)
        if ((c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7F) return false;
    size_t lineEnd = head.find("\r\n");
    if (lineEnd == std::string::npos) return false;
    std::string line = head.substr(0, lineEnd);
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string::npos ? std::string::npos : line.find(' ', sp1 + 1);
    if (sp1 == std::string::npos || sp2 == std::string::npos || line.find(' ', sp2 + 1) != std::string::npos) return false;
    HttpRequestHead r;
    r.method = line.substr(0, sp1);
    r.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string version = line.substr(sp2 + 1);
    if (r.method.empty() || r.method.size() > 16) return false;
    for (char c : r.method)
        if (c < 'A' || c > 'Z') return false;
    if (r.target.empty() || r.target[0] != '/' || r.target.size() > 2048) return false;
    for (char c : r.target)
        if (c == '\t') return false;
    if (version == "HTTP/1.1") r.minorVersion = 1;
    else if (version == "HTTP/1.0") r.minorVersion = 0;
    else return false;

    std::vector<std::string> lengths = sdk::HttpHeaderValues(head, "Content-Length", 4);
    for (const std::string& raw : lengths) {
        std::string v = raw.substr(0, raw.find_last_not_of(" \t") + 1);
        if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos) return false;
        size_t n = std::stoul(v);
        if (&raw != &lengths.front() && n != r.contentLength) return false;
        r.contentLength = n;
    }
    std::string connection = sdk::HttpHeaderValue(head, "Connection");
    r.keepAlive = r.minorVersion == 1 ? !ContainsToken(connection, "close") : ContainsToken(connection, "keep-alive");
    r.expectContinue = ContainsToken(sdk::HttpHeaderValue(head, "Expect"), "100-continue");
    r.chunked = ContainsToken(sdk::HttpHeaderValue(head, "Transfer-Encoding"), "chunked");
    *out = std::move(r);
    return true;
}

}  // namespace ocv::devsim
