#include "sdk/http_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "sdk/http_auth.h"
#include "sdk/qvx_sdk.h"

namespace ocv::sdk {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxHeaderBytes = 16 * 1024;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

class Socket {
public:
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
    int fd = -1;
};

// Connects within the deadline. QVX_OK, QVX_ERR_CONNECT or QVX_ERR_TIMEOUT.
int ConnectTo(Socket& s, const std::string& host, int port, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        return QVX_ERR_CONNECT;
    }
    s.fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int rc = s.fd < 0 ? -1 : ::connect(s.fd, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    if (s.fd < 0) return QVX_ERR_CONNECT;
    if (rc == 0) return QVX_OK;
    if (errno != EINPROGRESS) return QVX_ERR_CONNECT;
    pollfd p{s.fd, POLLOUT, 0};
    int n = ::poll(&p, 1, RemainingMs(deadline));
    if (n == 0) return QVX_ERR_TIMEOUT;
    int err = 0;
    socklen_t len = sizeof err;
    if (n < 0 || getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) return QVX_ERR_CONNECT;
    return QVX_OK;
}

int SendAll(int fd, const std::string& data, Clock::time_point deadline) {
    size_t sent = 0;
    while (sent < data.size()) {
        pollfd p{fd, POLLOUT, 0};
        int n = ::poll(&p, 1, RemainingMs(deadline));
        if (n == 0) return QVX_ERR_TIMEOUT;
        if (n < 0) return QVX_ERR_CONNECT;
        ssize_t w = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (w < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (w <= 0) return QVX_ERR_CONNECT;
        sent += size_t(w);
    }
    return QVX_OK;
}

// Appends what arrives to buf until EOF, the cap or the deadline. 1 on EOF, 0 when the cap
// was reached, QVX_ERR_TIMEOUT or QVX_ERR_CONNECT.
int ReadSome(int fd, std::string& buf, size_t cap, Clock::time_point deadline) {
    if (buf.size() >= cap) return 0;
    pollfd p{fd, POLLIN, 0};
    int n = ::poll(&p, 1, RemainingMs(deadline));
    if (n == 0) return QVX_ERR_TIMEOUT;
    if (n < 0) return QVX_ERR_CONNECT;
    char chunk[16384];
    size_t want = cap - buf.size() < sizeof chunk ? cap - buf.size() : sizeof chunk;
    ssize_t r = ::recv(fd, chunk, want, 0);
    if (r < 0 && (errno == EAGAIN || errno == EINTR)) return 2;
    if (r < 0) return QVX_ERR_CONNECT;
    if (r == 0) return 1;
    buf.append(chunk, size_t(r));
    return 2;
}

}  // namespace

bool ValidCgiPath(const std::string& path) {
    if (path.empty() || path.size() > 2048 || path[0] != '/') return false;
    for (unsigned char c : path) {
        if (c <= 0x20 || c >= 0x7F) return false;
    }
    return true;
}

namespace {

// One GET on a connection of its own (the devices close after every reply), with the given
// Authorization value or none. Fills status and, for a 200, the body; the head for the caller
// to read challenges from. The result of the transport (QVX_OK when a whole head arrived).
int OneRequest(const std::string& host, int port, const std::string& path, const std::string& authorization,
               Clock::time_point deadline, size_t maxBodyBytes, HttpResult* out, HttpHead* head) {
    out->status = 0;
    out->cut = false;
    out->body.clear();
    Socket s;
    int rc = ConnectTo(s, host, port, deadline);
    if (rc != QVX_OK) return rc;
    std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host + ":" + std::to_string(port) + "\r\n";
    if (!authorization.empty()) request += "Authorization: " + authorization + "\r\n";
    request += "Connection: close\r\n\r\n";
    rc = SendAll(s.fd, request, deadline);
    if (rc != QVX_OK) return rc;

    std::string buf;
    size_t headerEnd = std::string::npos;
    while ((headerEnd = buf.find("\r\n\r\n")) == std::string::npos) {
        int r = ReadSome(s.fd, buf, kMaxHeaderBytes, deadline);
        if (r < 0) return r;
        if (r == 0 || r == 1) {  // headers too long, or closed before they ended
            if (buf.find("\r\n\r\n") != std::string::npos) break;
            return QVX_ERR_PROTOCOL;
        }
    }
    headerEnd = buf.find("\r\n\r\n");
    if (!ParseHttpHead(buf.substr(0, headerEnd + 2), head)) return QVX_ERR_PROTOCOL;
    out->status = head->status;
    if (out->status != 200) return QVX_OK;  // nothing of another reply's body is used
    if (head->chunked) return QVX_ERR_PROTOCOL;  // devices of this family answer with a plain body
    size_t contentLength = head->contentLength;
    out->body = buf.substr(headerEnd + 4);
    size_t want = contentLength == std::string::npos ? maxBodyBytes + 1 : std::min(contentLength, maxBodyBytes + 1);
    while (out->body.size() < want) {
        int r = ReadSome(s.fd, out->body, want, deadline);
        if (r == 1) break;
        if (r < 0) {
            out->body.clear();
            return r;
        }
    }
    if (out->body.size() > maxBodyBytes) {
        out->body.resize(maxBodyBytes);
        out->cut = true;
    }
    if (contentLength != std::string::npos && !out->cut) {
        if (out->body.size() < contentLength) {
            out->body.clear();
            return QVX_ERR_PROTOCOL;  // closed before the announced end: not a whole reply
        }
        out->body.resize(contentLength);
    }
    return QVX_OK;
}

std::vector<AuthParams> OfferedChallenges(const HttpHead& head) {
    std::vector<AuthParams> offered;
    for (const std::string& value : head.authenticate) {
        std::vector<AuthParams> some;
        if (ParseChallenges(value, &some)) offered.insert(offered.end(), some.begin(), some.end());
    }
    return offered;
}

// A Digest challenge that says only the nonce was out of date: the same credentials may try
// once more with the new one.
bool StaleDigest(const std::vector<AuthParams>& offered) {
    for (const AuthParams& c : offered) {
        auto stale = c.params.find("stale");
        if (strcasecmp(c.scheme.c_str(), "Digest") == 0 && stale != c.params.end() &&
            strcasecmp(stale->second.c_str(), "true") == 0)
            return true;
    }
    return false;
}

}  // namespace

HttpResult HttpGet(const std::string& host, int port, const std::string& path, const std::string& user,
                   const std::string& password, int timeoutMs, size_t maxBodyBytes) {
    HttpResult out;
    if (!ValidCgiPath(path) || port <= 0 || port > 65535) {
        out.result = QVX_ERR_FAILED;
        return out;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    HttpHead head;
    // Credentials go only to a device that asks for them: whatever answers at a device's
    // address would otherwise be handed the password.
    out.result = OneRequest(host, port, path, "", deadline, maxBodyBytes, &out, &head);
    for (int answer = 0; out.result == QVX_OK && out.status == 401 && answer < 2; ++answer) {
        std::vector<AuthParams> offered = OfferedChallenges(head);
        if (answer > 0 && !StaleDigest(offered)) break;
        int chosen = ChooseChallenge(offered);
        if (chosen < 0) break;
        std::string authorization =
            AuthorizationFor(offered[size_t(chosen)], user, password, "GET", path, NewClientNonce());
        if (authorization.empty()) break;
        out.result = OneRequest(host, port, path, authorization, deadline, maxBodyBytes, &out, &head);
    }
    if (out.result != QVX_OK) return out;
    // Anything but 200 is a failure; a redirection is never followed, so credentials cannot be
    // led to another place.
    if (out.status == 401) out.result = QVX_ERR_HTTP_AUTH;
    else if (out.status != 200) out.result = QVX_ERR_HTTP;
    return out;
}

}  // namespace ocv::sdk
