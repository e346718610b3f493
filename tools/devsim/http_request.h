#pragma once
// The head of an HTTP/1.x request as the simulator's web port reads it (CGI and snapshot GETs,
// ONVIF POSTs): a pure, bounded parser, shared with the fuzz target.
#include <cstddef>
#include <string>

namespace ocv::devsim {

constexpr size_t kMaxHttpHeadBytes = 8192;

struct HttpRequestHead {
    std::string method;  // as sent ("GET", "POST", ...)
    std::string target;  // origin form, "/path?query"
    int minorVersion = 1;
    size_t contentLength = 0;
    bool keepAlive = true;       // HTTP/1.1 unless "Connection: close"; HTTP/1.0 only with keep-alive
    bool expectContinue = false; // "Expect: 100-continue"
    bool chunked = false;        // a chunked body (the simulator refuses it)
};

// head: the request line and headers, up to and including the blank line. false when it is not
// a well-formed HTTP/1.0 or 1.1 request head (request line, target, Content-Length given twice
// differently or not a number).
bool ParseHttpRequestHead(const std::string& head, HttpRequestHead* out);

}  // namespace ocv::devsim
