// The message parser and the codec pieces, byte by byte.
#include <gtest/gtest.h>

#include <cstring>

#include "sdk/http_head.h"
#include "sdk/message_assembler.h"
#include "sdk/wire_auth.h"
#include "sdk/wire_format.h"

namespace ocv::wire {
namespace {

std::vector<uint8_t> FrameMessage(uint32_t kind, uint32_t dataLength, size_t actualData) {
    PayloadWriter w;
    w.U32(kind).U32(dataLength).U32(1234).U32(3);
    std::vector<uint8_t> data(actualData, 0x42);
    w.Bytes(data.data(), data.size());
    return BuildMessage(kFrame, 0, w.bytes().data(), w.bytes().size());
}

TEST(WireFormat, HeaderLayoutIsLittleEndian) {
    auto m = BuildMessage(kHeartbeat, 0x01020304, nullptr, 0);
    ASSERT_EQ(m.size(), 16u);
    const uint8_t expected[16] = {'Q', 'V', 'X', 'P', 1, 0, 0x10, 0, 4, 3, 2, 1, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(m.data(), expected, 16), 0);
    MessageView v;
    auto r = ParseMessage(m.data(), m.size(), &v);
    ASSERT_EQ(r.status, ParseStatus::kComplete);
    EXPECT_EQ(r.consumed, 16u);
    EXPECT_EQ(v.header.kind, kHeartbeat);
    EXPECT_EQ(v.header.sequence, 0x01020304u);
}

TEST(WireFormat, PrefixesNeedMoreAndGarbageFailsAtOnce) {
    auto m = FrameMessage(1, 100, 100);
    for (size_t n = 0; n < m.size(); ++n) {
        EXPECT_EQ(ParseMessage(m.data(), n, nullptr).status, ParseStatus::kNeedMore) << n;
    }
    EXPECT_EQ(ParseMessage(m.data(), m.size(), nullptr).status, ParseStatus::kComplete);
    const uint8_t bad[2] = {'Q', 'X'};
    EXPECT_EQ(ParseMessage(bad, 2, nullptr).status, ParseStatus::kError);
    auto wrongVersion = m;
    wrongVersion[4] = 2;
    EXPECT_EQ(ParseMessage(wrongVersion.data(), 16, nullptr).status, ParseStatus::kError);
}

TEST(WireFormat, LengthBoundsAreHard) {
    Header h;
    h.kind = 0x0999;  // unknown kinds pass through opaque, within the bound
    h.payloadBytes = kMaxPayloadBytes;
    uint8_t head[16];
    EncodeHeader(h, head);
    EXPECT_EQ(ParseMessage(head, 16, nullptr).status, ParseStatus::kNeedMore);
    h.payloadBytes = kMaxPayloadBytes + 1;
    EncodeHeader(h, head);
    auto r = ParseMessage(head, 16, nullptr);
    EXPECT_EQ(r.status, ParseStatus::kError);
    h.payloadBytes = 0xFFFFFFFF;
    EncodeHeader(h, head);
    EXPECT_EQ(ParseMessage(head, 16, nullptr).status, ParseStatus::kError);
}

TEST(WireFormat, FrameRecordsAreCheckedAgainstTheirPayload) {
    auto biggest = FrameMessage(1, kMaxFrameDataBytes, kMaxFrameDataBytes);
    EXPECT_EQ(biggest.size(), 16u + kMaxPayloadBytes);
    EXPECT_EQ(ParseMessage(biggest.data(), biggest.size(), nullptr).status, ParseStatus::kComplete);
    auto shortData = FrameMessage(1, 100, 99);
    EXPECT_EQ(ParseMessage(shortData.data(), shortData.size(), nullptr).status, ParseStatus::kError);
    auto longData = FrameMessage(1, 100, 101);
    EXPECT_EQ(ParseMessage(longData.data(), longData.size(), nullptr).status, ParseStatus::kError);
    auto badKind = FrameMessage(7, 10, 10);
    EXPECT_EQ(ParseMessage(badKind.data(), badKind.size(), nullptr).status, ParseStatus::kError);
    auto audio = FrameMessage(2, 0, 0);
    EXPECT_EQ(ParseMessage(audio.data(), audio.size(), nullptr).status, ParseStatus::kComplete);
}

TEST(WireFormat, KnownKindsHaveExactLayouts) {
    EXPECT_EQ(ValidatePayload(kChallenge, nullptr, 32), nullptr);
    EXPECT_NE(ValidatePayload(kChallenge, nullptr, 31), nullptr);
    std::vector<uint8_t> info(4 + kDeviceInfoBytes);
    EXPECT_EQ(ValidatePayload(kAuthReply, info.data(), info.size()), nullptr);
    EXPECT_EQ(ValidatePayload(kAuthReply, info.data(), 4), nullptr);
    EXPECT_NE(ValidatePayload(kAuthReply, info.data(), 100), nullptr);
    // Event: text length must match and stay under 1024.
    auto ev = PayloadWriter().U32(1).U32(0).U32(1).U32(0).U32(3).Bytes("abc", 3).bytes();
    EXPECT_EQ(ValidatePayload(kEvent, ev.data(), ev.size()), nullptr);
    EXPECT_NE(ValidatePayload(kEvent, ev.data(), ev.size() - 1), nullptr);
    auto bigEvent = PayloadWriter().U32(1).U32(0).U32(1).U32(0).U32(2000).bytes();
    bigEvent.resize(20 + 2000);
    EXPECT_NE(ValidatePayload(kEvent, bigEvent.data(), bigEvent.size()), nullptr);
    // Config reply: embedded length must match.
    auto cfg = PayloadWriter().I32(0).U32(20).bytes();
    cfg.resize(8 + 20);
    EXPECT_EQ(ValidatePayload(kConfigReply, cfg.data(), cfg.size()), nullptr);
    EXPECT_NE(ValidatePayload(kConfigReply, cfg.data(), cfg.size() + 1), nullptr);
    auto talk = PayloadWriter().U32(1).U32(0).bytes();
    EXPECT_NE(ValidatePayload(kTalkAudio, talk.data(), talk.size()), nullptr);
}

TEST(MessageAssembler, DeliversMessagesSplitAnywhereAndGrowsOnlyAsAnnounced) {
    std::vector<uint8_t> stream;
    for (int i = 0; i < 20; ++i) {
        auto m = FrameMessage(1, uint32_t(1000 * i + 1), size_t(1000 * i + 1));
        stream.insert(stream.end(), m.begin(), m.end());
    }
    auto big = FrameMessage(1, 300000, 300000);
    stream.insert(stream.end(), big.begin(), big.end());
    MessageAssembler a;
    size_t at = 0, got = 0, chunk = 1;
    while (at < stream.size()) {
        auto space = a.Space();
        size_t n = std::min({space.second, chunk, stream.size() - at});
        std::memcpy(space.first, stream.data() + at, n);
        a.Commit(n);
        at += n;
        chunk = chunk * 3 % 7001 + 1;
        for (;;) {
            MessageView v;
            auto r = a.Next(&v);
            ASSERT_NE(r.status, ParseStatus::kError);
            if (r.status == ParseStatus::kNeedMore) break;
            uint32_t expectLen = got < 20 ? uint32_t(1000 * got + 1) : 300000;
            EXPECT_EQ(GetU32(v.payload + 4), expectLen);
            ++got;
        }
    }
    EXPECT_EQ(got, 21u);
}

TEST(Auth, MacIsHmacSha256OfTheNonceKeyedWithThePassword) {
    // Expected value computed independently (Python's hmac module) for nonce bytes 0..31.
    uint8_t nonce[kNonceBytes];
    for (size_t i = 0; i < kNonceBytes; ++i) nonce[i] = uint8_t(i);
    uint8_t mac[kMacBytes], again[kMacBytes], other[kMacBytes];
    ComputeAuthMac("secret", nonce, mac);
    ComputeAuthMac("secret", nonce, again);
    ComputeAuthMac("secreT", nonce, other);
    EXPECT_TRUE(MacEqual(mac, again));
    EXPECT_FALSE(MacEqual(mac, other));
    char hex[65];
    for (size_t i = 0; i < kMacBytes; ++i) std::snprintf(hex + 2 * i, 3, "%02x", mac[i]);
    EXPECT_STREQ(hex, "47860bcbb991426bea828dbf6097dff33339b093e3b9f61d9aef8a052f93e402");
    uint8_t n1[kNonceBytes], n2[kNonceBytes];
    ASSERT_EQ(RandomNonce(n1), 0);
    ASSERT_EQ(RandomNonce(n2), 0);
    EXPECT_NE(std::memcmp(n1, n2, kNonceBytes), 0);
}

TEST(Auth, Base64RoundTripAndRejects) {
    EXPECT_EQ(Base64Encode("admin:admin"), "YWRtaW46YWRtaW4=");
    bool ok = false;
    EXPECT_EQ(Base64Decode("YWRtaW46YWRtaW4=", &ok), "admin:admin");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Base64Decode("YQ==", &ok), "a");
    EXPECT_TRUE(ok);
    Base64Decode("abc", &ok);
    EXPECT_FALSE(ok);
    Base64Decode("", &ok);
    EXPECT_FALSE(ok);
}


}  // namespace
}  // namespace ocv::wire

namespace ocv::sdk {
namespace {

TEST(HttpHead, StatusLengthAndEncodingAreReadStrictly) {
    HttpHead h;
    ASSERT_TRUE(ParseHttpHead("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\ncontent-length: 42\r\n", &h));
    EXPECT_EQ(h.status, 200);
    EXPECT_EQ(h.contentLength, 42u);
    EXPECT_FALSE(h.chunked);
    ASSERT_TRUE(ParseHttpHead("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n", &h));
    EXPECT_EQ(h.status, 401);
    EXPECT_EQ(h.contentLength, std::string::npos);
    ASSERT_TRUE(ParseHttpHead("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n", &h));
    EXPECT_TRUE(h.chunked);
    const char* bad[] = {
        "HTTP/2 200 OK\r\n",
        "HTTP/1.1 2x0 OK\r\n",
        "HTTP/1.1 2000 OK\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n",
        "ICY 200 OK\r\n",
        "",
    };
    for (const char* text : bad) EXPECT_FALSE(ParseHttpHead(text, &h)) << text;
}

}  // namespace
}  // namespace ocv::sdk
