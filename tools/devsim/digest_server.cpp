#include "tools/devsim/digest_server.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "sdk/http_auth.h"
#include "sdk/wire_auth.h"

namespace ocv::devsim {

namespace {

constexpr int64_t kNonceLifeSec = 300;
constexpr size_t kStampDigits = 16;
constexpr size_t kNonceMacBytes = 16;

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

std::string ParamOf(const sdk::AuthParams& p, const char* name) {
    auto it = p.params.find(name);
    return it == p.params.end() ? std::string() : it->second;
}

int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool Offers(const DigestPolicy& p, const std::string& algorithm) {
    if (algorithm == "SHA-256") return p.sha256;
    if (algorithm == "MD5") return p.md5;
    return false;  // no session variants, no others
}

}  // namespace

DigestServer::DigestServer() {
    // Without a random secret the nonces would be predictable; a fixed fallback still works.
    if (wire::RandomNonce(secret_) != 0) std::memset(secret_, 0x5A, sizeof secret_);
}

std::string DigestServer::MakeNonce() const {
    char stamp[kStampDigits + 1];
    std::snprintf(stamp, sizeof stamp, "%016llx", static_cast<unsigned long long>(NowSeconds()));
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macBytes = 0;
    HMAC(EVP_sha256(), secret_, sizeof secret_, reinterpret_cast<const unsigned char*>(stamp), kStampDigits, mac,
         &macBytes);
    return std::string(stamp) + Hex(mac, kNonceMacBytes);
}

DigestServer::Verdict DigestServer::CheckNonce(const std::string& nonce) const {
    if (nonce.size() != kStampDigits + 2 * kNonceMacBytes) return Verdict::kMissing;
    for (char c : nonce)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return Verdict::kMissing;
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macBytes = 0;
    HMAC(EVP_sha256(), secret_, sizeof secret_, reinterpret_cast<const unsigned char*>(nonce.data()), kStampDigits,
         mac, &macBytes);
    if (!EqualInConstantTime(nonce.substr(kStampDigits), Hex(mac, kNonceMacBytes))) return Verdict::kMissing;
    int64_t made = static_cast<int64_t>(std::stoull(nonce.substr(0, kStampDigits), nullptr, 16));
    int64_t age = NowSeconds() - made;
    if (age < 0) return Verdict::kMissing;
    return age > kNonceLifeSec ? Verdict::kStale : Verdict::kGood;
}

std::vector<std::string> DigestServer::Challenges(const DigestPolicy& p, bool stale) const {
    std::vector<std::string> out;
    for (const char* algorithm : {"SHA-256", "MD5"}) {  // the stronger one first
        if (!Offers(p, algorithm)) continue;
        std::string c = "Digest realm=\"" + p.realm + "\", qop=\"auth\", algorithm=" + algorithm + ", nonce=\"" +
                        MakeNonce() + "\"";
        if (!p.opaque.empty()) c += ", opaque=\"" + p.opaque + "\"";
        if (stale) c += ", stale=true";
        out.push_back(c);
    }
    return out;
}

DigestServer::Verdict DigestServer::Check(const DigestPolicy& p, const std::string& value, const std::string& method,
                                          const std::string& uri) const {
    sdk::AuthParams c;
    if (!sdk::ParseCredentials(value, &c) || strcasecmp(c.scheme.c_str(), "Digest") != 0) return Verdict::kMissing;
    sdk::DigestInput in;
    if (!sdk::ParseDigestAlgorithm(ParamOf(c, "algorithm"), &in.algorithm) ||
        !Offers(p, sdk::DigestAlgorithmName(in.algorithm)))
        return Verdict::kMissing;
    if (ParamOf(c, "username") != p.user || ParamOf(c, "realm") != p.realm || ParamOf(c, "uri") != uri ||
        strcasecmp(ParamOf(c, "qop").c_str(), "auth") != 0 || ParamOf(c, "nc").size() != 8 ||
        ParamOf(c, "cnonce").empty() || ParamOf(c, "opaque") != p.opaque)
        return Verdict::kMissing;
    Verdict nonce = CheckNonce(ParamOf(c, "nonce"));
    if (nonce == Verdict::kMissing) return Verdict::kMissing;
    in.user = p.user;
    in.realm = p.realm;
    in.password = p.password;
    in.method = method;
    in.uri = uri;
    in.nonce = ParamOf(c, "nonce");
    in.nc = ParamOf(c, "nc");
    in.cnonce = ParamOf(c, "cnonce");
    std::string given = ParamOf(c, "response");
    for (char& ch : given)
        if (ch >= 'A' && ch <= 'F') ch = char(ch - 'A' + 'a');
    if (!EqualInConstantTime(given, sdk::DigestResponse(in))) return Verdict::kMissing;
    return nonce;
}

}  // namespace ocv::devsim
