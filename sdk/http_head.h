#pragma once
// The head of an HTTP/1.x message as a device's web port and its clients send it: pure
// parsers, shared by the CGI client, the simulator's web server and the fuzz target.
#include <cstddef>
#include <string>
#include <vector>

namespace ocv::sdk {

struct HttpHead {
    int status = 0;
    bool chunked = false;
    size_t contentLength = std::string::npos;  // npos: not given, the body runs to the close
    std::vector<std::string> authenticate;     // the WWW-Authenticate values, in order
};

// Reads the status line and the headers (up to and including the last header line's CR LF).
// false when the text is not a well-formed HTTP/1.x response head.
bool ParseHttpHead(const std::string& head, HttpHead* out);

// The values of a header (name matched without regard to case) in a head whose first line is
// the start line; leading blanks dropped. At most maxCount of them.
std::vector<std::string> HttpHeaderValues(const std::string& head, const char* name, size_t maxCount);
// The first value of a header, "" when absent.
std::string HttpHeaderValue(const std::string& head, const char* name);

}  // namespace ocv::sdk
