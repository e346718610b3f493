#pragma once
// HTTP authentication of the devices' web ports: the challenges of a 401 reply
// (WWW-Authenticate), the credentials that answer them (Authorization) with Digest (MD5 or
// SHA-256, qop "auth") preferred over Basic, and the Digest computations both sides share.
// Pure text and hashing; bounded input, no exceptions.
#include <map>
#include <string>
#include <vector>

namespace ocv::sdk {

// One challenge (or one set of credentials): the scheme as sent, parameter names in lower case,
// values unquoted. token68 holds the lone token of schemes such as Basic credentials.
struct AuthParams {
    std::string scheme;
    std::map<std::string, std::string> params;
    std::string token68;
};

// A WWW-Authenticate value holds one or more challenges. false when it is malformed (an
// unterminated quote, a parameter twice, control characters, more than the bounds allow).
bool ParseChallenges(const std::string& value, std::vector<AuthParams>* out);
// An Authorization value: exactly one scheme with its parameters or token68.
bool ParseCredentials(const std::string& value, AuthParams* out);

enum class DigestHash { kMd5, kSha256 };

struct DigestAlgorithm {
    DigestHash hash = DigestHash::kMd5;
    bool session = false;  // the "-sess" variants
};
// "MD5", "MD5-sess", "SHA-256", "SHA-256-sess" (any case); an absent parameter means MD5.
bool ParseDigestAlgorithm(const std::string& name, DigestAlgorithm* out);
std::string DigestAlgorithmName(const DigestAlgorithm& algorithm);

// Lower-case hex digest of text.
std::string DigestHex(DigestHash hash, const std::string& text);

struct DigestInput {
    DigestAlgorithm algorithm;
    std::string user, realm, password;
    std::string method, uri;
    std::string nonce, nc, cnonce;  // qop is always "auth"
};
// The "response" value of a Digest answer with qop=auth.
std::string DigestResponse(const DigestInput& in);

// The challenge a client answers among those offered: Digest with SHA-256, then Digest with
// MD5, then Basic. A Digest challenge is usable only with a realm, a nonce, qop "auth" offered
// and a known algorithm. -1 when none is usable.
int ChooseChallenge(const std::vector<AuthParams>& challenges);

// The Authorization value answering a chosen challenge for GET of uri. cnonce is the client's
// fresh random nonce (Digest only). "" when the challenge cannot be answered.
std::string AuthorizationFor(const AuthParams& challenge, const std::string& user, const std::string& password,
                             const std::string& method, const std::string& uri, const std::string& cnonce);

// A client nonce: 16 random bytes as hex. "" when the random source fails.
std::string NewClientNonce();

// A quoted-string with the backslash escapes it needs.
std::string Quoted(const std::string& text);

}  // namespace ocv::sdk
