// HTTP authentication texts: challenges and credentials as devices and clients write them,
// the choice among challenges and the Digest computation.
#include <gtest/gtest.h>

#include "sdk/http_auth.h"
#include "sdk/http_head.h"

namespace ocv::sdk {
namespace {

const char* const kNonce = "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v";
const char* const kCnonce = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";
const char* const kOpaque = "FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS";

DigestInput ExampleInput(DigestHash hash) {
    DigestInput in;
    in.algorithm = {hash, false};
    in.user = "Mufasa";
    in.realm = "http-auth@example.org";
    in.password = "Circle of Life";
    in.method = "GET";
    in.uri = "/dir/index.html";
    in.nonce = kNonce;
    in.nc = "00000001";
    in.cnonce = kCnonce;
    return in;
}

// The worked example of RFC 7616, section 3.9.1.
TEST(HttpAuth, DigestResponsesMatchTheStandardsWorkedExample) {
    EXPECT_EQ(DigestResponse(ExampleInput(DigestHash::kMd5)), "8ca523f5e9506fed4657c9700eebdbec");
    EXPECT_EQ(DigestResponse(ExampleInput(DigestHash::kSha256)),
              "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");
    // The session variant hashes the nonces into the first half.
    DigestInput sess = ExampleInput(DigestHash::kSha256);
    sess.algorithm.session = true;
    EXPECT_NE(DigestResponse(sess), DigestResponse(ExampleInput(DigestHash::kSha256)));
    EXPECT_EQ(DigestHex(DigestHash::kMd5, ""), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(HttpAuth, ChallengesOfOneHeaderAreSplitWithQuotedCommasAndEscapes) {
    std::vector<AuthParams> c;
    ASSERT_TRUE(ParseChallenges("Digest realm=\"a, b\", qop=\"auth, auth-int\", algorithm=SHA-256, "
                                "nonce=\"x\\\"y\", Basic realm=\"r\", Negotiate abc+/==, NTLM",
                                &c));
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0].scheme, "Digest");
    EXPECT_EQ(c[0].params.at("realm"), "a, b");
    EXPECT_EQ(c[0].params.at("qop"), "auth, auth-int");
    EXPECT_EQ(c[0].params.at("algorithm"), "SHA-256");
    EXPECT_EQ(c[0].params.at("nonce"), "x\"y");
    EXPECT_EQ(c[1].scheme, "Basic");
    EXPECT_EQ(c[1].params.at("realm"), "r");
    EXPECT_EQ(c[2].token68, "abc+/==");
    EXPECT_EQ(c[3].scheme, "NTLM");
    EXPECT_TRUE(c[3].params.empty());
    // Names are case-insensitive, blanks around '=' allowed.
    ASSERT_TRUE(ParseChallenges("digest REALM = \"r\" ,Nonce=n", &c));
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].params.at("realm"), "r");
    EXPECT_EQ(c[0].params.at("nonce"), "n");
}

TEST(HttpAuth, MalformedOrOversizedChallengesAreRefused) {
    std::vector<AuthParams> c;
    for (const std::string bad : {"", "Digest realm=\"open", "Digest realm=\"a\", realm=\"b\"",
                                  "Digest realm=\"a\" nonce=\"b\"", "Digest realm=\"a\x01\"", "\"Digest\"",
                                  "Digest realm=\"a\", =x"}) {
        EXPECT_FALSE(ParseChallenges(bad, &c)) << bad;
    }
    std::string many = "Digest ";
    for (int i = 0; i < 40; ++i) many += "p" + std::to_string(i) + "=1, ";
    EXPECT_FALSE(ParseChallenges(many + "x=1", &c));
    EXPECT_FALSE(ParseChallenges("Digest realm=\"" + std::string(2000, 'r') + "\"", &c));
    EXPECT_FALSE(ParseChallenges(std::string(10000, 'A'), &c));
    std::string schemes;
    for (int i = 0; i < 20; ++i) schemes += "S" + std::to_string(i) + ", ";
    EXPECT_FALSE(ParseChallenges(schemes, &c));
}

TEST(HttpAuth, ClientPrefersDigestSha256ThenMd5ThenBasic) {
    auto choose = [](const std::string& header) {
        std::vector<AuthParams> c;
        EXPECT_TRUE(ParseChallenges(header, &c)) << header;
        int i = ChooseChallenge(c);
        if (i < 0) return std::string("none");
        return c[size_t(i)].scheme + " " +
               (c[size_t(i)].params.count("algorithm") ? c[size_t(i)].params.at("algorithm") : "");
    };
    const std::string md5 = "Digest realm=\"r\", qop=\"auth\", algorithm=MD5, nonce=\"n\"";
    const std::string sha = "Digest realm=\"r\", qop=\"auth\", algorithm=SHA-256, nonce=\"n\"";
    EXPECT_EQ(choose("Basic realm=\"r\", " + md5 + ", " + sha), "Digest SHA-256");
    EXPECT_EQ(choose("Basic realm=\"r\", " + md5), "Digest MD5");
    EXPECT_EQ(choose("Digest realm=\"r\", qop=\"auth\", nonce=\"n\""), "Digest ");  // MD5 when not named
    EXPECT_EQ(choose("Basic realm=\"r\""), "Basic ");
    // Unusable Digest challenges give way to Basic, or to nothing.
    EXPECT_EQ(choose("Digest realm=\"r\", qop=\"auth-int\", nonce=\"n\", Basic realm=\"r\""), "Basic ");
    EXPECT_EQ(choose("Digest realm=\"r\", nonce=\"n\""), "none");  // no qop: the old mode is not spoken
    EXPECT_EQ(choose("Digest realm=\"r\", qop=\"auth\", algorithm=SHA-512-256, nonce=\"n\""), "none");
    EXPECT_EQ(choose("Digest qop=\"auth\", nonce=\"n\""), "none");
    EXPECT_EQ(choose("Negotiate abc=="), "none");
}

TEST(HttpAuth, AnswerToADigestChallengeParsesBackAndVerifies) {
    std::vector<AuthParams> c;
    ASSERT_TRUE(ParseChallenges(std::string("Digest realm=\"http-auth@example.org\", qop=\"auth, auth-int\", "
                                            "algorithm=SHA-256, nonce=\"") + kNonce + "\", opaque=\"" + kOpaque + "\"",
                                &c));
    std::string value = AuthorizationFor(c[0], "Mufasa", "Circle of Life", "GET", "/dir/index.html", kCnonce);
    AuthParams back;
    ASSERT_TRUE(ParseCredentials(value, &back)) << value;
    EXPECT_EQ(back.scheme, "Digest");
    EXPECT_EQ(back.params.at("username"), "Mufasa");
    EXPECT_EQ(back.params.at("uri"), "/dir/index.html");
    EXPECT_EQ(back.params.at("qop"), "auth");
    EXPECT_EQ(back.params.at("nc"), "00000001");
    EXPECT_EQ(back.params.at("opaque"), kOpaque);
    EXPECT_EQ(back.params.at("algorithm"), "SHA-256");
    EXPECT_EQ(back.params.at("response"), "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");
    EXPECT_EQ(value.find("Circle"), std::string::npos);  // the password itself never travels

    // A user name with a quote travels escaped; one outside ASCII as username*.
    std::string quoted = AuthorizationFor(c[0], "a\"b", "pw", "GET", "/", "cn");
    ASSERT_TRUE(ParseCredentials(quoted, &back));
    EXPECT_EQ(back.params.at("username"), "a\"b");
    std::string wide = AuthorizationFor(c[0], "J\xC3\xA4sper", "pw", "GET", "/", "cn");
    ASSERT_TRUE(ParseCredentials(wide, &back)) << wide;
    EXPECT_EQ(back.params.at("username*"), "UTF-8''J%C3%A4sper");
    // userhash asks for the hashed name.
    ASSERT_TRUE(ParseChallenges("Digest realm=\"r\", qop=\"auth\", nonce=\"n\", userhash=true", &c));
    ASSERT_TRUE(ParseCredentials(AuthorizationFor(c[0], "admin", "pw", "GET", "/", "cn"), &back));
    EXPECT_EQ(back.params.at("username"), DigestHex(DigestHash::kMd5, "admin:r"));
    EXPECT_EQ(back.params.at("userhash"), "true");
    EXPECT_EQ(AuthorizationFor(c[0], "admin", "pw", "GET", "/", ""), "");  // no client nonce, no answer
}

TEST(HttpAuth, BasicAnswerAndCredentialsWithToken68) {
    std::vector<AuthParams> c;
    ASSERT_TRUE(ParseChallenges("Basic realm=\"index.html\"", &c));
    std::string value = AuthorizationFor(c[0], "admin", "hot", "GET", "/", "");
    EXPECT_EQ(value, "Basic YWRtaW46aG90");
    AuthParams back;
    ASSERT_TRUE(ParseCredentials(value, &back));
    EXPECT_EQ(back.token68, "YWRtaW46aG90");
    EXPECT_EQ(AuthorizationFor(c[0], "ad:min", "hot", "GET", "/", ""), "");  // not expressible in Basic
    EXPECT_FALSE(ParseCredentials("Basic a, Digest b=c", &back));  // credentials are one scheme
    EXPECT_EQ(NewClientNonce().size(), 32u);
    EXPECT_NE(NewClientNonce(), NewClientNonce());
}

TEST(HttpAuth, ResponseHeadKeepsEveryChallengeHeader) {
    HttpHead head;
    ASSERT_TRUE(ParseHttpHead("HTTP/1.1 401 Unauthorized\r\nwww-authenticate: Digest realm=\"a\"\r\n"
                              "Content-Length: 0\r\nWWW-Authenticate:\tBasic realm=\"b\"\r\n",
                              &head));
    EXPECT_EQ(head.status, 401);
    ASSERT_EQ(head.authenticate.size(), 2u);
    EXPECT_EQ(head.authenticate[0], "Digest realm=\"a\"");
    EXPECT_EQ(head.authenticate[1], "Basic realm=\"b\"");
    EXPECT_EQ(HttpHeaderValue("GET / HTTP/1.1\r\nAuthorization: Basic x\r\n", "authorization"), "Basic x");
    EXPECT_EQ(HttpHeaderValue("Authorization: Basic x\r\n", "Authorization"), "");  // not a header line
}

}  // namespace
}  // namespace ocv::sdk
