#pragma once
// The head of an HTTP/1.x response as a device's web port sends it: a pure parser, shared by
// the CGI client and its fuzz target.
#include <cstddef>
#include <string>

namespace ocv::sdk {

struct HttpHead {
    int status = 0;
    bool chunked = false;
    size_t contentLength = std::string::npos;  // npos: not given, the body runs to the close
};

// Reads the status line and the headers (up to and including the last header line's CR LF).
// false when the text is not a well-formed HTTP/1.x response head.
bool ParseHttpHead(const std::string& head, HttpHead* out);

}  // namespace ocv::sdk
