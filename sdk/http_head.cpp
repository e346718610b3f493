#include "sdk/http_head.h"

#include <strings.h>

#include <cstring>

namespace ocv::sdk {

namespace {

constexpr size_t kMaxChallengeHeaders = 8;

}  // namespace

std::vector<std::string> HttpHeaderValues(const std::string& head, const char* name, size_t maxCount) {
    std::vector<std::string> values;
    size_t nameLen = std::strlen(name);
    size_t pos = 0;
    while (values.size() < maxCount && (pos = head.find("\r\n", pos)) != std::string::npos) {
        pos += 2;
        if (head.size() - pos > nameLen && strncasecmp(head.c_str() + pos, name, nameLen) == 0 &&
            head[pos + nameLen] == ':') {
            size_t start = pos + nameLen + 1;
            while (start < head.size() && (head[start] == ' ' || head[start] == '\t')) ++start;
            size_t end = head.find("\r\n", start);
            values.push_back(head.substr(start, end == std::string::npos ? std::string::npos : end - start));
        }
    }
    return values;
}

std::string HttpHeaderValue(const std::string& head, const char* name) {
    std::vector<std::string> values = HttpHeaderValues(head, name, 1);
    return values.empty() ? std::string() : values[0];
}

bool ParseHttpHead(const std::string& head, HttpHead* out) {
    *out = HttpHead{};
    // "HTTP/1.x NNN reason"
    if (head.size() < 12 || head.compare(0, 7, "HTTP/1.") != 0 || head[8] != ' ') return false;
    for (int i = 9; i < 12; ++i) {
        if (head[size_t(i)] < '0' || head[size_t(i)] > '9') return false;
    }
    if (head.size() > 12 && head[12] != ' ' && head[12] != '\r') return false;
    out->status = (head[9] - '0') * 100 + (head[10] - '0') * 10 + (head[11] - '0');
    std::string encoding = HttpHeaderValue(head, "Transfer-Encoding");
    out->chunked = !encoding.empty() && strncasecmp(encoding.c_str(), "identity", 8) != 0;
    std::string lengthText = HttpHeaderValue(head, "Content-Length");
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
    out->authenticate = HttpHeaderValues(head, "WWW-Authenticate", kMaxChallengeHeaders);
    return true;
}

}  // namespace ocv::sdk
