#pragma once
// RTSP/1.0 requests as the simulator's RTSP server reads them: the request line, the headers
// it uses, the Transport a SETUP asks for, and the stream a URL names. Pure and bounded, shared
// with the fuzz target.
#include <cstddef>
#include <string>

namespace ocv::devsim {

constexpr size_t kMaxRtspHeadBytes = 8192;

struct RtspRequest {
    std::string method;  // "OPTIONS", "DESCRIBE", ...
    std::string url;     // as sent: "rtsp://host:port/path" or "*"
    int cseq = -1;
    std::string session;        // without ";timeout=..."
    std::string transport;
    std::string authorization;
    size_t contentLength = 0;
};
// head: the request line and headers, up to and including the blank line's first CR LF.
// false when it is not a well-formed RTSP/1.0 request with a CSeq.
bool ParseRtspRequest(const std::string& head, RtspRequest* out);

struct RtspTransport {
    bool tcp = false;            // RTP/AVP/TCP
    int interleaved[2] = {-1, -1};
};
// The first transport of a SETUP's list the simulator can serve (TCP interleaved, unicast);
// false when none.
bool ParseRtspTransport(const std::string& value, RtspTransport* out);

// What a request URL names: channel and stream ("/ch<c>/main" or "/ch<c>/sub") and, for a
// SETUP, the track ("/trackID=0" video, "/trackID=1" sound; -1 when the URL names the stream).
struct RtspTarget {
    int channel = -1;
    int streamType = -1;
    int track = -1;
};
bool ParseRtspTarget(const std::string& url, RtspTarget* out);

}  // namespace ocv::devsim
