#pragma once
// A bounded HTTP/1.1 GET for the CGI requests of devices' web ports. Credentials are sent only
// in answer to a 401 challenge: Digest (SHA-256, else MD5, qop "auth") when offered, else
// Basic; a stale Digest nonce gets one more answer. Redirections are not followed. Blocking
// with one time-out for the whole exchange; a body over maxBodyBytes is cut there.
#include <cstddef>
#include <string>

#include "sdk/http_head.h"

namespace ocv::sdk {

struct HttpResult {
    int result = 0;      // QVX_OK, QVX_ERR_CONNECT, QVX_ERR_TIMEOUT, QVX_ERR_HTTP, QVX_ERR_HTTP_AUTH, QVX_ERR_PROTOCOL
    int status = 0;      // HTTP status code when one was read
    bool cut = false;    // the body was longer than the bound
    std::string body;
};

HttpResult HttpGet(const std::string& host, int port, const std::string& path, const std::string& user,
                   const std::string& password, int timeoutMs, size_t maxBodyBytes);

// The path of a CGI request as callers give it: printable, starts with '/', bounded.
bool ValidCgiPath(const std::string& path);

}  // namespace ocv::sdk
