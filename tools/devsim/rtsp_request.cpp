#include "tools/devsim/rtsp_request.h"

#include <strings.h>

#include "sdk/http_head.h"

namespace ocv::devsim {

namespace {

bool Number(const std::string& text, int low, int high, int* out) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    int v = std::stoi(text);
    if (v < low || v > high) return false;
    *out = v;
    return true;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

}  // namespace

bool ParseRtspRequest(const std::string& head, RtspRequest* out) {
    if (head.size() > kMaxRtspHeadBytes) return false;
    for (unsigned char c : head)
        if ((c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7F) return false;
    size_t lineEnd = head.find("\r\n");
    if (lineEnd == std::string::npos) return false;
    std::string line = head.substr(0, lineEnd);
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string::npos ? std::string::npos : line.find(' ', sp1 + 1);
    if (sp2 == std::string::npos || line.find(' ', sp2 + 1) != std::string::npos) return false;
    RtspRequest r;
    r.method = line.substr(0, sp1);
    r.url = line.substr(sp1 + 1, sp2 - sp1 - 1);
    if (line.substr(sp2 + 1) != "RTSP/1.0") return false;
    if (r.method.empty() || r.method.size() > 16) return false;
    for (char c : r.method)
        if ((c < 'A' || c > 'Z') && c != '_') return false;
    if (r.url.empty() || r.url.size() > 1024 || (r.url != "*" && strncasecmp(r.url.c_str(), "rtsp://", 7) != 0))
        return false;
    if (!Number(Trim(sdk::HttpHeaderValue(head, "CSeq")), 0, 999999999, &r.cseq)) return false;
    std::string session = Trim(sdk::HttpHeaderValue(head, "Session"));
    r.session = session.substr(0, session.find(';'));
    r.transport = Trim(sdk::HttpHeaderValue(head, "Transport"));
    r.authorization = Trim(sdk::HttpHeaderValue(head, "Authorization"));
    std::string length = Trim(sdk::HttpHeaderValue(head, "Content-Length"));
    int n = 0;
    if (!length.empty() && !Number(length, 0, 65536, &n)) return false;
    r.contentLength = size_t(n);
    *out = std::move(r);
    return true;
}

bool ParseRtspTransport(const std::string& value, RtspTransport* out) {
    if (value.size() > 1024) return false;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(',', start);
        if (end == std::string::npos) end = value.size();
        std::string item = value.substr(start, end - start);
        start = end + 1;
        RtspTransport t;
        bool unicast = true, ok = true;
        size_t at = 0;
        bool first = true;
        while (at <= item.size() && ok) {
            size_t semi = item.find(';', at);
            if (semi == std::string::npos) semi = item.size();
            std::string part = Trim(item.substr(at, semi - at));
            at = semi + 1;
            if (first) {
                first = false;
                if (strcasecmp(part.c_str(), "RTP/AVP/TCP") == 0) t.tcp = true;
                else if (strcasecmp(part.c_str(), "RTP/AVP") == 0 || strcasecmp(part.c_str(), "RTP/AVP/UDP") == 0) t.tcp = false;
                else ok = false;
            } else if (strcasecmp(part.c_str(), "multicast") == 0) {
                unicast = false;
            } else if (strncasecmp(part.c_str(), "interleaved=", 12) == 0) {
                std::string range = part.substr(12);
                size_t dash = range.find('-');
                int a = 0, b = 0;
                if (dash == std::string::npos) {
                    ok = Number(range, 0, 254, &a);
                    b = a + 1;
                } else {
                    ok = Number(range.substr(0, dash), 0, 255, &a) && Number(range.substr(dash + 1), 0, 255, &b);
                }
                t.interleaved[0] = a;
                t.interleaved[1] = b;
            }
            if (semi == item.size()) break;
        }
        if (ok && t.tcp && unicast) {
            if (t.interleaved[0] < 0) {
                t.interleaved[0] = 0;
                t.interleaved[1] = 1;
            }
            *out = t;
            return true;
        }
        if (end == value.size()) break;
    }
    return false;
}

bool ParseRtspTarget(const std::string& url, RtspTarget* out) {
    if (strncasecmp(url.c_str(), "rtsp://", 7) != 0) return false;
    size_t slash = url.find('/', 7);
    if (slash == std::string::npos) return false;
    std::string path = url.substr(slash);
    path = path.substr(0, path.find('?'));
    RtspTarget t;
    size_t track = path.find("/trackID=");
    if (track != std::string::npos) {
        if (!Number(path.substr(track + 9), 0, 1, &t.track)) return false;
        path = path.substr(0, track);
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.compare(0, 3, "/ch") != 0) return false;
    size_t sep = path.find('/', 3);
    if (sep == std::string::npos || !Number(path.substr(3, sep - 3), 0, 63, &t.channel)) return false;
    std::string kind = path.substr(sep + 1);
    if (kind == "main") t.streamType = 0;
    else if (kind == "sub") t.streamType = 1;
    else return false;
    *out = t;
    return true;
}

}  // namespace ocv::devsim
