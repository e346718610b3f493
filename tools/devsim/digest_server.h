#pragma once
// The server side of HTTP Digest authentication (RFC 7616, qop "auth"), shared by the
// simulator's web port and its RTSP server: challenges with nonces that carry the second they
// were made and a MAC of it under this server's secret (no table, cannot be forged, good for a
// few minutes, then answered as stale), and the check of an Authorization value.
#include <cstdint>
#include <string>
#include <vector>

namespace ocv::devsim {

struct DigestPolicy {
    std::string realm, user, password;
    std::string opaque;  // "" : none sent, none checked
    bool sha256 = true;  // algorithms offered
    bool md5 = true;
};

class DigestServer {
public:
    DigestServer();

    // The challenge values (what follows "WWW-Authenticate: "), the stronger algorithm first.
    std::vector<std::string> Challenges(const DigestPolicy& policy, bool stale) const;

    enum class Verdict { kMissing, kGood, kStale };
    // authorization: the Authorization header's value; method and uri as the request sent them.
    Verdict Check(const DigestPolicy& policy, const std::string& authorization, const std::string& method,
                  const std::string& uri) const;

private:
    std::string MakeNonce() const;
    Verdict CheckNonce(const std::string& nonce) const;
    uint8_t secret_[32] = {};
};

}  // namespace ocv::devsim
