#include "sdk/http_head.h"

#include <strings.h>

#include <cstring>

namespace ocv::sdk {

namespace {

// The value of a header line (name matched without regard to case), "" when absent.
std::string HeaderValue(const std::string& headers, const char* name) {
    size_t nameLen = std::strlen(name);
    size_t pos = 0;
    while ((pos = headers.find("\r\n", pos)) != std::string::npos) {
        pos += 2;
        if (headers.size() - pos > nameLen && strncasecmp(headers.c_str() + pos, name, nameLen) == 0 &&
            headers[pos + nameLen] == ':') {
            size_t start = pos + nameLen + 1;
            while (start < headers.size() && headers[start] == ' ') ++start;
            size_t end = headers.find("\r\n", start);
            return headers.substr(start, end == std::string::npos ? std::string::npos : end - start);
        }
    }
    return {};
}

}  // namespace

bool ParseHttpHead(const std::string& head, HttpHead* out) {
    *out = HttpHead{};
    // "HTTP/1.x NNN reason"
    if (head.size() < 12 || head.compare(0, 7, "HTTP/1.") != 0 || head[8] != ' ') return false;
    for (int i = 9; i < 12; ++i) {
        if (head[size_t(i)] < '0' || head[size_t(i)] > '9') return false;
    }
    if (head.size() > 12 && head[12] != ' ' && head[12] != '\r') return false;
    out->status = (head[9] - '0') * 100 + (head[10] - '0') * 10 + (head[11] - '0');
    std::string encoding = HeaderValue(head, "Transfer-Encoding");
    out->chunked = !encoding.empty() && strncasecmp(encoding.c_str(), "identity", 8) != 0;
    std::string lengthText = HeaderValue(head, "Content-Length");
    if (!lengthText.empty()) {
        while (!lengthText.empty() && lengthText.back() == ' ') lengthText.pop_back();
        if (lengthText.empty() || lengthText.size() > 15) return false;
        size_t v = 0;
        for (char c : lengthText) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + size_t(c - '0');
        }
        out->contentLength = v;
    }
    return true;
}

}  // namespace ocv::sdk
