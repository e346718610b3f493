#include "tools/devsim/web_server.h"
#include "tools/devsim/listener.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "sdk/http_auth.h"
#include "sdk/http_head.h"
#include "sdk/wire_auth.h"
#include "tools/devsim/sim_device.h"

namespace ocv::devsim {

namespace {

constexpr size_t kMaxRequestBytes = 8192;
constexpr int64_t kMaxSpanSec = 86400;  // one generated day at most per query
constexpr const char* kRealm = "index.html";
constexpr int64_t kNonceLifeSec = 300;
constexpr size_t kStampDigits = 16;
constexpr size_t kNonceMacBytes = 16;

using ocv::sdk::AuthParams;

std::string Hex(const unsigned char* bytes, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 15]);
    }
    return out;
}

bool EqualInConstantTime(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string ParamOf(const AuthParams& p, const char* name) {
    auto it = p.params.find(name);
    return it == p.params.end() ? std::string() : it->second;
}

int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct HttpConnection : std::enable_shared_from_this<HttpConnection> {
    explicit HttpConnection(asio::ip::tcp::socket s) : socket(std::move(s)), timer(socket.get_executor()) {}
    asio::ip::tcp::socket socket;
    asio::steady_timer timer;
    std::string in;
    std::string out;
};

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

}  // namespace

int TemperatureCodeAt(int64_t time) {
    // A calm day around 36.5 with an abnormal reading now and then; fixed by the time so a
    // query always answers the same.
    uint32_t h = uint32_t(time) * 2654435761u;
    int code = 3600 + int((h >> 8) % 121);
    if ((time / 60) % 17 == 0) code = 32768 + 3780 + int((h >> 16) % 70);
    return code;
}

WebServer::WebServer(asio::io_context& io, SimDevice& device, int tempIntervalSec)
    : io_(io), device_(device), tempIntervalSec_(tempIntervalSec), acceptor_(io) {
    // Without a random secret the nonces would be predictable; a fixed fallback still works.
    if (wire::RandomNonce(secret_) != 0) std::memset(secret_, 0x5A, sizeof secret_);
}

std::string WebServer::MakeNonce() const {
    char stamp[kStampDigits + 1];
    std::snprintf(stamp, sizeof stamp, "%016llx", static_cast<unsigned long long>(NowSeconds()));
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macBytes = 0;
    HMAC(EVP_sha256(), secret_, sizeof secret_, reinterpret_cast<const unsigned char*>(stamp), kStampDigits, mac,
         &macBytes);
    return std::string(stamp) + Hex(mac, kNonceMacBytes);
}

WebServer::Auth WebServer::CheckNonce(const std::string& nonce) const {
    if (nonce.size() != kStampDigits + 2 * kNonceMacBytes) return Auth::kMissing;
    for (char c : nonce)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return Auth::kMissing;
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macBytes = 0;
    HMAC(EVP_sha256(), secret_, sizeof secret_, reinterpret_cast<const unsigned char*>(nonce.data()), kStampDigits,
         mac, &macBytes);
    if (!EqualInConstantTime(nonce.substr(kStampDigits), Hex(mac, kNonceMacBytes))) return Auth::kMissing;
    int64_t made = static_cast<int64_t>(std::stoull(nonce.substr(0, kStampDigits), nullptr, 16));
    int64_t age = NowSeconds() - made;
    if (age < 0) return Auth::kMissing;
    return age > kNonceLifeSec ? Auth::kStale : Auth::kGood;
}

bool WebServer::Offers(const std::string& algorithm) const {
    const std::string& mode = device_.config().webAuth;
    if (algorithm == "SHA-256") return mode == "digest" || mode == "digest-sha256";
    if (algorithm == "MD5") return mode == "digest" || mode == "digest-md5";
    return false;  // no session variants, no others
}

std::string WebServer::Challenges(bool stale) const {
    const DeviceConfig& cfg = device_.config();
    if (cfg.webAuth == "basic") return std::string("WWW-Authenticate: Basic realm=\"") + kRealm + "\"\r\n";
    std::string out;
    std::string opaque = sdk::DigestHex(sdk::DigestHash::kMd5, cfg.name + cfg.deviceId);
    for (const char* algorithm : {"SHA-256", "MD5"}) {  // the stronger one first
        if (!Offers(algorithm)) continue;
        out += std::string("WWW-Authenticate: Digest realm=\"") + kRealm + "\", qop=\"auth\", algorithm=" + algorithm +
               ", nonce=\"" + MakeNonce() + "\", opaque=\"" + opaque + "\"" + (stale ? ", stale=true" : "") + "\r\n";
    }
    return out;
}

WebServer::Auth WebServer::CheckDigest(const std::string& value, const std::string& target) const {
    AuthParams c;
    if (!sdk::ParseCredentials(value, &c) || strcasecmp(c.scheme.c_str(), "Digest") != 0) return Auth::kMissing;
    const DeviceConfig& cfg = device_.config();
    sdk::DigestInput in;
    if (!sdk::ParseDigestAlgorithm(ParamOf(c, "algorithm"), &in.algorithm) ||
        !Offers(sdk::DigestAlgorithmName(in.algorithm)))
        return Auth::kMissing;
    if (ParamOf(c, "username") != cfg.user || ParamOf(c, "realm") != kRealm || ParamOf(c, "uri") != target ||
        strcasecmp(ParamOf(c, "qop").c_str(), "auth") != 0 || ParamOf(c, "nc").size() != 8 ||
        ParamOf(c, "cnonce").empty() ||
        ParamOf(c, "opaque") != sdk::DigestHex(sdk::DigestHash::kMd5, cfg.name + cfg.deviceId))
        return Auth::kMissing;
    Auth nonce = CheckNonce(ParamOf(c, "nonce"));
    if (nonce == Auth::kMissing) return Auth::kMissing;
    in.user = cfg.user;
    in.realm = kRealm;
    in.password = cfg.password;
    in.method = "GET";
    in.uri = target;
    in.nonce = ParamOf(c, "nonce");
    in.nc = ParamOf(c, "nc");
    in.cnonce = ParamOf(c, "cnonce");
    std::string given = ParamOf(c, "response");
    for (char& ch : given)
        if (ch >= 'A' && ch <= 'F') ch = char(ch - 'A' + 'a');
    if (!EqualInConstantTime(given, sdk::DigestResponse(in))) return Auth::kMissing;
    return nonce;
}

WebServer::Auth WebServer::Authorize(const std::string& head, const std::string& target) const {
    std::string value = sdk::HttpHeaderValue(head, "Authorization");
    if (value.empty()) return Auth::kMissing;
    const DeviceConfig& cfg = device_.config();
    if (cfg.webAuth != "basic") return CheckDigest(value, target);
    AuthParams c;
    if (!sdk::ParseCredentials(value, &c) || strcasecmp(c.scheme.c_str(), "Basic") != 0) return Auth::kMissing;
    bool ok = false;
    std::string decoded = wire::Base64Decode(c.token68, &ok);
    return ok && EqualInConstantTime(decoded, cfg.user + ":" + cfg.password) ? Auth::kGood : Auth::kMissing;
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
    acceptor_.async_accept([self = shared_from_this()](const asio::error_code& ec, asio::ip::tcp::socket socket) {
        if (ec) {
            if (ec != asio::error::operation_aborted && self->acceptor_.is_open()) self->Accept();
            return;
        }
        auto conn = std::make_shared<HttpConnection>(std::move(socket));
        conn->timer.expires_after(std::chrono::seconds(10));
        conn->timer.async_wait([conn](const asio::error_code& e) {
            if (!e) {
                asio::error_code ignored;
                conn->socket.close(ignored);
            }
        });
        auto self2 = self;
        asio::async_read_until(
            conn->socket, asio::dynamic_buffer(conn->in, kMaxRequestBytes), "\r\n\r\n",
            [self2, conn](const asio::error_code& e, size_t) {
                if (e) {
                    conn->timer.cancel();
                    return;
                }
                std::string head = conn->in.substr(0, conn->in.find("\r\n\r\n") + 2);
                std::string line = head.substr(0, head.find("\r\n"));
                int status = 400;
                bool stale = false;
                std::string body;
                if (line.compare(0, 4, "GET ") == 0 && line.size() > 13 &&
                    line.compare(line.size() - 9, 9, " HTTP/1.1") == 0) {
                    std::string path = line.substr(4, line.size() - 13);
                    WebServer::Auth auth = self2->Authorize(head, path);
                    if (auth != WebServer::Auth::kGood) {
                        status = 401;
                        stale = auth == WebServer::Auth::kStale;
                    } else {
                        body = self2->Respond(path, &status);
                    }
                    self2->device_.Log("web %s -> %d", path.c_str(), status);
                }
                const char* reason = status == 200 ? "OK" : status == 401 ? "Unauthorized" : status == 404 ? "Not Found" : "Bad Request";
                conn->out = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
                if (status == 401) conn->out += self2->Challenges(stale);
                conn->out += "Content-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                             "\r\nConnection: close\r\n\r\n" + body;
                asio::async_write(conn->socket, asio::buffer(conn->out), [conn](const asio::error_code&, size_t) {
                    asio::error_code ignored;
                    conn->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
                    conn->socket.close(ignored);
                    conn->timer.cancel();
                });
            });
        self->Accept();
    });
}

std::string WebServer::Respond(const std::string& path, int* status) const {
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
