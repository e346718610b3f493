#pragma once
// HTTP for standard cameras (ONVIF services, snapshots) through libcurl: Digest or Basic
// credentials only once the device asks for them (a first request goes without), chunked and
// plain bodies, keep-alive on one connection per client, a time-out for each exchange, bodies
// bounded, no redirections, http and https only. One request at a time per client.
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

namespace ocv::sdk {

struct WebReply {
    int result = 0;     // QVX_OK for 2xx; QVX_ERR_CONNECT, QVX_ERR_TIMEOUT, QVX_ERR_HTTP_AUTH (401),
                        // QVX_ERR_HTTP (another status; the body is kept), QVX_ERR_PROTOCOL (too long, garbled)
    int status = 0;
    std::string body;
    std::string contentType;
};

class WebClient {
public:
    WebClient();
    ~WebClient();
    WebClient(const WebClient&) = delete;
    WebClient& operator=(const WebClient&) = delete;

    // body empty: GET; otherwise POST with the content type.
    WebReply Request(const std::string& url, const std::string& body, const std::string& contentType,
                     const std::string& user, const std::string& password, int timeoutMs, size_t maxBodyBytes);

private:
    std::mutex mutex_;
    void* curl_ = nullptr;  // CURL*, reused so the connection stays open between requests
};

}  // namespace ocv::sdk
