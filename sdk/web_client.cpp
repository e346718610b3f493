#include "sdk/web_client.h"

#include <curl/curl.h>

#include "sdk/qvx_sdk.h"

namespace ocv::sdk {

namespace {

struct Sink {
    std::string* body;
    size_t cap;
    bool overflow = false;
};

size_t Write(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    size_t n = size * count;
    if (sink->body->size() + n > sink->cap) {
        sink->overflow = true;
        return 0;  // makes curl stop with a write error
    }
    sink->body->append(data, n);
    return n;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

WebClient::WebClient() {
    GlobalInit();
    curl_ = curl_easy_init();
}

WebClient::~WebClient() {
    if (curl_) curl_easy_cleanup(static_cast<CURL*>(curl_));
}

WebReply WebClient::Request(const std::string& url, const std::string& body, const std::string& contentType,
                            const std::string& user, const std::string& password, int timeoutMs,
                            size_t maxBodyBytes) {
    WebReply reply;
    std::lock_guard<std::mutex> lock(mutex_);
    CURL* c = static_cast<CURL*>(curl_);
    if (!c) {
        reply.result = QVX_ERR_FAILED;
        return reply;
    }
    curl_easy_reset(c);
    Sink sink{&reply.body, maxBodyBytes};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Write);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    if (!user.empty()) {
        // More than one scheme: curl asks first without credentials and answers the challenge
        // the device gives, Digest before Basic. Nothing secret goes to a peer that does not ask.
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, long(CURLAUTH_DIGEST | CURLAUTH_BASIC));
        curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
    }
    curl_slist* headers = nullptr;
    if (!body.empty()) {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, long(body.size()));
        headers = curl_slist_append(headers, ("Content-Type: " + contentType).c_str());
        headers = curl_slist_append(headers, "Expect:");
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    }
    CURLcode rc = curl_easy_perform(c);
    if (headers) curl_slist_free_all(headers);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    reply.status = int(status);
    char* type = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) reply.contentType = type;
    switch (rc) {
    case CURLE_OK: break;
    case CURLE_OPERATION_TIMEDOUT: reply.result = QVX_ERR_TIMEOUT; return reply;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT: reply.result = QVX_ERR_CONNECT; return reply;
    case CURLE_WRITE_ERROR:
        reply.result = sink.overflow ? QVX_ERR_PROTOCOL : QVX_ERR_CONNECT;
        reply.body.clear();
        return reply;
    default:
        // The peer closed or sent what is not HTTP.
        reply.result = status == 0 ? QVX_ERR_CONNECT : QVX_ERR_PROTOCOL;
        reply.body.clear();
        return reply;
    }
    if (status == 401) reply.result = QVX_ERR_HTTP_AUTH;
    else if (status < 200 || status > 299) reply.result = QVX_ERR_HTTP;
    return reply;
}

}  // namespace ocv::sdk
