#include "sdk/http_auth.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <strings.h>

#include "sdk/wire_auth.h"

namespace ocv::sdk {

namespace {

constexpr size_t kMaxHeaderValue = 8192;
constexpr size_t kMaxItems = 16;      // challenges in one header
constexpr size_t kMaxParams = 32;     // parameters of one challenge
constexpr size_t kMaxParamBytes = 1024;

bool IsTokenChar(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+': case '-': case '.':
    case '^': case '_': case '`': case '|': case '~':
        return true;
    default:
        return false;
    }
}

bool IsToken68Char(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '+' || c == '/';
}

bool SameText(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// Reading position over one header value.
struct Cursor {
    const std::string& s;
    size_t i = 0;
    bool End() const { return i >= s.size(); }
    char Peek() const { return End() ? '\0' : s[i]; }
    void SkipSpace() {
        while (!End() && (s[i] == ' ' || s[i] == '\t')) ++i;
    }
    bool Token(std::string* out) {
        size_t start = i;
        while (!End() && IsTokenChar(static_cast<unsigned char>(s[i]))) ++i;
        if (i == start || i - start > kMaxParamBytes) return false;
        *out = s.substr(start, i - start);
        return true;
    }
    // A quoted-string: backslash escapes one character; no control characters.
    bool QuotedString(std::string* out) {
        if (Peek() != '"') return false;
        ++i;
        out->clear();
        while (!End()) {
            unsigned char c = static_cast<unsigned char>(s[i++]);
            if (c == '"') return true;
            if (c == '\\') {
                if (End()) return false;
                c = static_cast<unsigned char>(s[i++]);
            }
            if ((c < 0x20 && c != '\t') || c == 0x7F || out->size() >= kMaxParamBytes) return false;
            out->push_back(char(c));
        }
        return false;  // unterminated
    }
};

// After a comma: does a parameter (token "=") follow, or the next challenge's scheme?
bool ParameterFollows(const std::string& s, size_t i) {
    Cursor c{s, i};
    c.SkipSpace();
    std::string name;
    if (!c.Token(&name)) return false;
    c.SkipSpace();
    return c.Peek() == '=';
}

// The list of challenges (or credentials) of one header value.
bool ParseList(const std::string& value, std::vector<AuthParams>* out) {
    out->clear();
    if (value.size() > kMaxHeaderValue) return false;
    Cursor c{value};
    for (;;) {
        while (!c.End() && (c.Peek() == ',' || c.Peek() == ' ' || c.Peek() == '\t')) ++c.i;
        if (c.End()) break;
        if (out->size() >= kMaxItems) return false;
        AuthParams item;
        if (!c.Token(&item.scheme)) return false;
        size_t afterScheme = c.i;
        c.SkipSpace();
        if (c.End() || c.Peek() == ',') {
            out->push_back(std::move(item));
            continue;
        }
        if (c.i == afterScheme) return false;  // the scheme and what follows need a space
        // token68: its characters, '=' padding, then the end of the item.
        size_t j = c.i;
        while (j < value.size() && IsToken68Char(static_cast<unsigned char>(value[j]))) ++j;
        size_t k = j;
        while (k < value.size() && value[k] == '=') ++k;
        size_t m = k;
        while (m < value.size() && (value[m] == ' ' || value[m] == '\t')) ++m;
        if (j > c.i && (m == value.size() || value[m] == ',')) {
            if (k - c.i > kMaxParamBytes) return false;
            item.token68 = value.substr(c.i, k - c.i);
            c.i = m;
            out->push_back(std::move(item));
            continue;
        }
        for (;;) {
            std::string name, v;
            if (!c.Token(&name)) return false;
            c.SkipSpace();
            if (c.Peek() != '=') return false;
            ++c.i;
            c.SkipSpace();
            if (c.Peek() == '"') {
                if (!c.QuotedString(&v)) return false;
            } else if (!c.Token(&v)) {
                return false;
            }
            if (item.params.size() >= kMaxParams || !item.params.emplace(Lower(name), v).second) return false;
            c.SkipSpace();
            if (c.End()) break;
            if (c.Peek() != ',') return false;
            size_t next = c.i;
            while (next < value.size() && (value[next] == ',' || value[next] == ' ' || value[next] == '\t')) ++next;
            if (next == value.size()) {
                c.i = next;
                break;
            }
            if (!ParameterFollows(value, next)) break;  // the next challenge begins
            c.i = next;
        }
        out->push_back(std::move(item));
    }
    return true;
}

std::string Param(const AuthParams& p, const char* name) {
    auto it = p.params.find(name);
    return it == p.params.end() ? std::string() : it->second;
}

bool OffersQopAuth(const std::string& qop) {
    size_t from = 0;
    while (from <= qop.size()) {
        size_t comma = qop.find(',', from);
        std::string item = qop.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        size_t b = item.find_first_not_of(" \t");
        size_t e = item.find_last_not_of(" \t");
        if (b != std::string::npos && SameText(item.substr(b, e - b + 1), "auth")) return true;
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return false;
}

// A user name that cannot travel as a plain quoted-string goes as username* (RFC 8187).
bool NeedsExtendedName(const std::string& user) {
    for (unsigned char c : user)
        if (c < 0x20 || c >= 0x7F) return true;
    return false;
}

std::string ExtendedValue(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "UTF-8''";
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out.push_back(char(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::string ToHex(const unsigned char* bytes, size_t n) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        out.push_back(kHex[bytes[i] >> 4]);
        out.push_back(kHex[bytes[i] & 15]);
    }
    return out;
}

}  // namespace

bool ParseChallenges(const std::string& value, std::vector<AuthParams>* out) {
    return ParseList(value, out) && !out->empty();
}

bool ParseCredentials(const std::string& value, AuthParams* out) {
    std::vector<AuthParams> items;
    if (!ParseList(value, &items) || items.size() != 1) return false;
    *out = std::move(items[0]);
    return true;
}

bool ParseDigestAlgorithm(const std::string& name, DigestAlgorithm* out) {
    if (name.empty() || SameText(name, "MD5")) *out = {DigestHash::kMd5, false};
    else if (SameText(name, "MD5-sess")) *out = {DigestHash::kMd5, true};
    else if (SameText(name, "SHA-256")) *out = {DigestHash::kSha256, false};
    else if (SameText(name, "SHA-256-sess")) *out = {DigestHash::kSha256, true};
    else return false;
    return true;
}

std::string DigestAlgorithmName(const DigestAlgorithm& algorithm) {
    std::string name = algorithm.hash == DigestHash::kSha256 ? "SHA-256" : "MD5";
    return algorithm.session ? name + "-sess" : name;
}

std::string DigestHex(DigestHash hash, const std::string& text) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    const EVP_MD* md = hash == DigestHash::kSha256 ? EVP_sha256() : EVP_md5();
    if (EVP_Digest(text.data(), text.size(), out, &n, md, nullptr) != 1) return {};
    return ToHex(out, n);
}

std::string DigestResponse(const DigestInput& in) {
    DigestHash h = in.algorithm.hash;
    std::string ha1 = DigestHex(h, in.user + ":" + in.realm + ":" + in.password);
    if (in.algorithm.session) ha1 = DigestHex(h, ha1 + ":" + in.nonce + ":" + in.cnonce);
    std::string ha2 = DigestHex(h, in.method + ":" + in.uri);
    return DigestHex(h, ha1 + ":" + in.nonce + ":" + in.nc + ":" + in.cnonce + ":auth:" + ha2);
}

int ChooseChallenge(const std::vector<AuthParams>& challenges) {
    int best = -1, bestRank = 0;
    for (size_t i = 0; i < challenges.size(); ++i) {
        const AuthParams& c = challenges[i];
        int rank = 0;
        if (SameText(c.scheme, "Digest")) {
            DigestAlgorithm algorithm;
            if (Param(c, "realm").empty() || Param(c, "nonce").empty() ||
                !ParseDigestAlgorithm(Param(c, "algorithm"), &algorithm) || !OffersQopAuth(Param(c, "qop")))
                continue;
            rank = algorithm.hash == DigestHash::kSha256 ? 3 : 2;
        } else if (SameText(c.scheme, "Basic")) {
            rank = 1;
        }
        if (rank > bestRank) {
            best = int(i);
            bestRank = rank;
        }
    }
    return best;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string AuthorizationFor(const AuthParams& challenge, const std::string& user, const std::string& password,
                             const std::string& method, const std::string& uri, const std::string& cnonce) {
    if (SameText(challenge.scheme, "Basic")) {
        if (user.find(':') != std::string::npos) return {};  // the user-id ends at the first colon
        return "Basic " + wire::Base64Encode(user + ":" + password);
    }
    if (!SameText(challenge.scheme, "Digest") || cnonce.empty()) return {};
    DigestInput in;
    if (!ParseDigestAlgorithm(Param(challenge, "algorithm"), &in.algorithm)) return {};
    in.user = user;
    in.realm = Param(challenge, "realm");
    in.password = password;
    in.method = method;
    in.uri = uri;
    in.nonce = Param(challenge, "nonce");
    in.nc = "00000001";  // every request goes on a connection and nonce of its own
    in.cnonce = cnonce;
    if (in.realm.empty() || in.nonce.empty()) return {};
    bool hashUser = SameText(Param(challenge, "userhash"), "true");
    std::string out = "Digest ";
    if (hashUser) out += "username=" + Quoted(DigestHex(in.algorithm.hash, user + ":" + in.realm));
    else if (NeedsExtendedName(user)) out += "username*=" + ExtendedValue(user);
    else out += "username=" + Quoted(user);
    out += ", realm=" + Quoted(in.realm) + ", uri=" + Quoted(uri) + ", algorithm=" + DigestAlgorithmName(in.algorithm) +
           ", nonce=" + Quoted(in.nonce) + ", nc=" + in.nc + ", cnonce=" + Quoted(cnonce) +
           ", qop=auth, response=" + Quoted(DigestResponse(in));
    auto opaque = challenge.params.find("opaque");
    if (opaque != challenge.params.end()) out += ", opaque=" + Quoted(opaque->second);
    if (hashUser) out += ", userhash=true";
    return out;
}

std::string NewClientNonce() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) return {};
    return ToHex(bytes, sizeof bytes);
}

}  // namespace ocv::sdk
