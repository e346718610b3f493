#include "tools/devsim/web_server.h"

#include <openssl/crypto.h>
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "sdk/http_auth.h"
#include "sdk/http_head.h"
#include "sdk/wire_auth.h"
#include "tools/devsim/http_request.h"
#include "tools/devsim/listener.h"
#include "tools/devsim/onvif_service.h"
#include "tools/devsim/sim_device.h"

namespace ocv::devsim {

namespace {

constexpr size_t kMaxBodyBytes = 64 * 1024;
constexpr int kIdleSeconds = 10;
constexpr int64_t kMaxSpanSec = 86400;  // one generated day at most per query
constexpr const char* kRealm = "index.html";

const char* Reason(int status) {
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    default: return "Internal Server Error";
    }
}

// "20260101083000" -> seconds since 1970; the fields are the device's local time, as the
// client builds them from its own clock. -1 when malformed.
int64_t ParseStamp(const std::string& s) {
    if (s.size() != 14) return -1;
    for (char c : s) {
        if (c < '0' || c > '9') return -1;
    }
    std::tm t{};
    t.tm_year = std::stoi(s.substr(0, 4)) - 1900;
    t.tm_mon = std::stoi(s.substr(4, 2)) - 1;
    t.tm_mday = std::stoi(s.substr(6, 2));
    t.tm_hour = std::stoi(s.substr(8, 2));
    t.tm_min = std::stoi(s.substr(10, 2));
    t.tm_sec = std::stoi(s.substr(12, 2));
    if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 || t.tm_min > 59 ||
        t.tm_sec > 60) {
        return -1;
    }
    t.tm_isdst = -1;
    std::time_t v = mktime(&t);
    return v == std::time_t(-1) ? -1 : int64_t(v);
}

std::string QueryValue(const std::string& query, const std::string& key) {
    size_t at = query.find(key + "=");
    if (at == std::string::npos) return {};
    at += key.size() + 1;
    size_t end = query.find('&', at);
    return query.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// One connection: requests read one after another (keep-alive), each answered before the next
// is read. Everything runs on the connection's strand.
struct HttpConnection : std::enable_shared_from_this<HttpConnection> {
    HttpConnection(asio::ip::tcp::socket s, std::shared_ptr<WebServer> server, SimDevice& device)
        : socket(std::move(s)), timer(socket.get_executor()), server(std::move(server)), device(device) {}

    asio::ip::tcp::socket socket;
    asio::steady_timer timer;
    std::shared_ptr<WebServer> server;
    SimDevice& device;
    std::string in;
    std::string out;
    size_t requestBytes = 0;
    HttpRequestHead request;
    bool keepAlive = false;

    void Start() { ReadHead(); }

    void Idle() {
        timer.expires_after(std::chrono::seconds(kIdleSeconds));
        timer.async_wait([self = shared_from_this()](const asio::error_code& e) {
            if (!e) self->Close();
        });
    }

    void Close() {
        asio::error_code ignored;
        timer.cancel();
        socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket.close(ignored);
    }

    void ReadHead() {
        Idle();
        asio::async_read_until(socket, asio::dynamic_buffer(in, kMaxHttpHeadBytes + kMaxBodyBytes), "\r\n\r\n",
                               [self = shared_from_this()](const asio::error_code& e, size_t n) {
                                   if (e) return self->Close();
                                   self->OnHead(n);
                               });
    }

    void OnHead(size_t headBytes) {
        if (headBytes > kMaxHttpHeadBytes) return Fail(431);
        std::string head = in.substr(0, headBytes - 2);
        if (!ParseHttpRequestHead(head, &request)) return Fail(400);
        if (request.chunked) return Fail(411);
        if (request.contentLength > kMaxBodyBytes) return Fail(413);
        requestBytes = headBytes + request.contentLength;
        if (in.size() >= requestBytes) return Dispatch(head);
        auto readBody = [self = shared_from_this(), head] {
            asio::async_read(self->socket, asio::dynamic_buffer(self->in, kMaxHttpHeadBytes + kMaxBodyBytes),
                             asio::transfer_at_least(self->requestBytes - self->in.size()),
                             [self, head](const asio::error_code& e, size_t) {
                                 if (e) return self->Close();
                                 self->Dispatch(head);
                             });
        };
        if (!request.expectContinue) return readBody();
        out = "HTTP/1.1 100 Continue\r\n\r\n";
        asio::async_write(socket, asio::buffer(out), [self = shared_from_this(), readBody](const asio::error_code& e, size_t) {
            if (e) return self->Close();
            readBody();
        });
    }

    void Dispatch(const std::string& head) {
        // A frozen device hears the request and says nothing; the idle timer ends the connection.
        if (device.frozen()) return;
        timer.cancel();
        std::string body = in.substr(head.size() + 2, request.contentLength);
        server->Answer(request, head, body, [self = shared_from_this()](WebServer::Reply reply) {
            asio::post(self->socket.get_executor(), [self, reply = std::move(reply)]() mutable { self->Write(std::move(reply)); });
        });
    }

    void Fail(int status) {
        WebServer::Reply r;
        r.status = status;
        request.keepAlive = false;
        Write(std::move(r));
    }

    void Write(WebServer::Reply reply) {
        keepAlive = reply.keepAlive && request.keepAlive;
        out = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) + "\r\n";
        if (reply.status == 401) out += server->Challenges(reply.stale);
        out += "Content-Type: " + reply.contentType + "\r\nContent-Length: " + std::to_string(reply.body.size()) +
               "\r\nConnection: " + (keepAlive ? "keep-alive" : "close") + "\r\n\r\n";
        out += reply.body;
        asio::async_write(socket, asio::buffer(out), [self = shared_from_this()](const asio::error_code& e, size_t) {
            if (e || !self->keepAlive) return self->Close();
            self->in.erase(0, std::min(self->requestBytes, self->in.size()));
            self->ReadHead();
        });
    }
};

}  // namespace

int TemperatureCodeAt(int64_t time) {
    // A calm day around 36.5 with an abnormal reading now and then; fixed by the time so a
    // query always answers the same.
    uint32_t h = uint32_t(time) * 2654435761u;
    int code = 3600 + int((h >> 8) % 121);
    if ((time / 60) % 17 == 0) code = 32768 + 3780 + int((h >> 16) % 70);
    return code;
}

WebServer::WebServer(asio::io_context& io, SimDevice& device, int tempIntervalSec, OnvifService* onvif)
    : io_(io), device_(device), tempIntervalSec_(tempIntervalSec), onvif_(onvif), acceptor_(io) {}

DigestPolicy WebServer::Policy() const {
    const DeviceConfig& cfg = device_.config();
    DigestPolicy p;
    p.realm = kRealm;
    p.user = cfg.user;
    p.password = cfg.password;
    p.opaque = sdk::DigestHex(sdk::DigestHash::kMd5, cfg.name + cfg.deviceId);
    p.sha256 = cfg.webAuth == "digest" || cfg.webAuth == "digest-sha256";
    p.md5 = cfg.webAuth == "digest" || cfg.webAuth == "digest-md5";
    return p;
}

std::string WebServer::Challenges(bool stale) const {
    if (device_.config().webAuth == "basic") return std::string("WWW-Authenticate: Basic realm=\"") + kRealm + "\"\r\n";
    std::string out;
    for (const std::string& c : digest_.Challenges(Policy(), stale)) out += "WWW-Authenticate: " + c + "\r\n";
    return out;
}

WebServer::Auth WebServer::Authorize(const std::string& head, const std::string& target) const {
    std::string value = sdk::HttpHeaderValue(head, "Authorization");
    if (value.empty()) return Auth::kMissing;
    const DeviceConfig& cfg = device_.config();
    if (cfg.webAuth != "basic") {
        switch (digest_.Check(Policy(), value, "GET", target)) {
        case DigestServer::Verdict::kGood: return Auth::kGood;
        case DigestServer::Verdict::kStale: return Auth::kStale;
        default: return Auth::kMissing;
        }
    }
    sdk::AuthParams c;
    if (!sdk::ParseCredentials(value, &c) || strcasecmp(c.scheme.c_str(), "Basic") != 0) return Auth::kMissing;
    bool ok = false;
    std::string decoded = wire::Base64Decode(c.token68, &ok);
    std::string expected = cfg.user + ":" + cfg.password;
    return ok && decoded.size() == expected.size() && CRYPTO_memcmp(decoded.data(), expected.data(), expected.size()) == 0
               ? Auth::kGood
               : Auth::kMissing;
}

bool WebServer::Listen(const std::string& address, int port, std::string* error) {
    port_ = OpenListener(acceptor_, address, port, "web port", error);
    if (port_ == 0) return false;
    Accept();
    return true;
}

void WebServer::Stop() {
    asio::post(io_, [self = shared_from_this()] {
        asio::error_code ignored;
        self->acceptor_.close(ignored);
    });
}

void WebServer::Accept() {
    acceptor_.async_accept(asio::make_strand(io_), [self = shared_from_this()](const asio::error_code& ec,
                                                                               asio::ip::tcp::socket socket) {
        if (ec) {
            if (ec != asio::error::operation_aborted && self->acceptor_.is_open()) self->Accept();
            return;
        }
        std::make_shared<HttpConnection>(std::move(socket), self, self->device_)->Start();
        self->Accept();
    });
}

void WebServer::Answer(const HttpRequestHead& request, const std::string& head, const std::string& body,
                       ReplyDone done) {
    std::string path = request.target.substr(0, request.target.find('?'));
    std::string query = request.target.find('?') == std::string::npos ? "" : request.target.substr(request.target.find('?') + 1);
    Reply r;
    if (onvif_ && path.compare(0, 7, "/onvif/") == 0 && path != "/onvif/snapshot") {
        if (request.method != "POST") {
            r.status = 405;
            return done(std::move(r));
        }
        onvif_->Handle(path, body, [done](int status, std::string xml) {
            Reply soap;
            soap.status = status;
            soap.contentType = "application/soap+xml; charset=utf-8";
            soap.body = std::move(xml);
            soap.keepAlive = true;
            done(std::move(soap));
        });
        return;
    }
    if (request.method != "GET") {
        r.status = 405;
        return done(std::move(r));
    }
    Auth auth = Authorize(head, request.target);
    if (auth != Auth::kGood) {
        r.status = 401;
        r.stale = auth == Auth::kStale;
    } else if (onvif_ && path == "/onvif/snapshot") {
        std::string channel = QueryValue(query, "channel");
        int c = channel.size() == 1 || channel.size() == 2 ? std::atoi(channel.c_str()) : -1;
        bool digits = !channel.empty() && channel.find_first_not_of("0123456789") == std::string::npos;
        std::vector<uint8_t> jpeg;
        if (digits && c >= 0 && c < device_.config().channels) jpeg = device_.SnapshotJpeg(c, int(++snapshots_));
        r.status = jpeg.empty() ? 404 : 200;
        r.contentType = "image/jpeg";
        r.body.assign(jpeg.begin(), jpeg.end());
        r.keepAlive = true;
    } else {
        r.body = Cgi(request.target, &r.status);
    }
    device_.Log("web %s -> %d", request.target.c_str(), r.status);
    done(std::move(r));
}

std::string WebServer::Cgi(const std::string& path, int* status) const {
    *status = 200;
    std::string script = path.substr(0, path.find('?'));
    std::string query = path.find('?') == std::string::npos ? "" : path.substr(path.find('?') + 1);
    if (script == "/cgi-bin/hi3510/getdevsupportx.cgi") {
        return device_.IsScreeningCamera() ? "var devsupx=\"1\";\r\n" : "var devsupx=\"0\";\r\n";
    }
    if (script == "/cgi-bin/hi3510/gettplogs.cgi" && device_.IsScreeningCamera()) return TemperatureLog(query);
    *status = 404;
    return {};
}

// One record a line, "lsa[i]=<time>|<code>|<channel>|<x>|<y>;", then "var endflg=1;".
std::string WebServer::TemperatureLog(const std::string& query) const {
    int64_t start = ParseStamp(QueryValue(query, "-stime"));
    int64_t end = ParseStamp(QueryValue(query, "-etime"));
    std::string out = "var lsa=new Array();\r\n";
    if (start >= 0 && end >= start) {
        if (end - start > kMaxSpanSec) end = start + kMaxSpanSec;
        int64_t step = tempIntervalSec_ > 0 ? tempIntervalSec_ : 60;
        int64_t first = (start + step - 1) / step * step;
        int i = 0;
        char line[128];
        for (int64_t t = first; t <= end; t += step, ++i) {
            std::snprintf(line, sizeof line, "lsa[%d]=%lld|%d|0|%d|%d;\r\n", i, static_cast<long long>(t),
                          TemperatureCodeAt(t), int(t % 320), int(t % 240));
            out += line;
        }
    }
    out += "var endflg=1;\r\n";
    return out;
}

}  // namespace ocv::devsim
