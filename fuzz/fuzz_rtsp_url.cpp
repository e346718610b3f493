// libFuzzer target: arbitrary bytes as a camera URL (what an operator types, what a device's
// GetStreamUri names) and as the URL and head of a request to the simulator's RTSP server (and
// the head of one to its web port, read much the same way).
// A URL that parses must survive having its credentials taken out and put back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sdk/stream_url.h"
#include "tools/devsim/http_request.h"
#include "tools/devsim/rtsp_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ocv;
    if (size > 4 * sdk::kMaxUrlBytes) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    sdk::Url url;
    if (sdk::ParseUrl(text, &url)) {
        if (text.size() > sdk::kMaxUrlBytes || url.host.empty() || url.path.empty() || url.path[0] != '/')
            __builtin_trap();
        if (url.scheme != "rtsp" && url.scheme != "http" && url.scheme != "https") __builtin_trap();
        // Without credentials: parses again to the same place, with none.
        sdk::Url bare;
        std::string without = sdk::UrlWithoutCredentials(url);
        if (!sdk::ParseUrl(without, &bare) || !bare.user.empty() || !bare.password.empty() || bare.host != url.host ||
            bare.port != url.port || bare.path != url.path)
            __builtin_trap();
        // With them put back (percent-encoded): the same credentials come out. (A password
        // without a user name is not put back.)
        sdk::Url again;
        std::string with = sdk::UrlWithCredentials(bare, url.user, url.password);
        if (!url.user.empty() && with.size() <= sdk::kMaxUrlBytes &&
            (!sdk::ParseUrl(with, &again) || again.user != url.user || again.password != url.password ||
             again.host != url.host))
            __builtin_trap();
    }
    devsim::RtspTarget target;
    if (devsim::ParseRtspTarget(text, &target) &&
        (target.channel < 0 || target.channel > 63 || target.streamType < 0 || target.streamType > 1 || target.track > 1))
        __builtin_trap();
    devsim::RtspRequest request;
    if (size <= devsim::kMaxRtspHeadBytes && devsim::ParseRtspRequest(text, &request) &&
        (request.cseq < 0 || request.method.empty()))
        __builtin_trap();
    devsim::HttpRequestHead http;
    if (size <= devsim::kMaxHttpHeadBytes && devsim::ParseHttpRequestHead(text, &http) &&
        (http.method.empty() || http.target.empty()))
        __builtin_trap();
    devsim::RtspTransport transport;
    if (devsim::ParseRtspTransport(text, &transport) &&
        (!transport.tcp || transport.interleaved[0] < 0 || transport.interleaved[1] > 255))
        __builtin_trap();
    return 0;
}
