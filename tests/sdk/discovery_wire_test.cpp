// Discovery datagrams: the 260-byte record at its offsets, the refusal of datagrams that do
// not hold exactly one valid message, and WS-Discovery SOAP read by the XML parser.
#include <gtest/gtest.h>

#include <cstring>

#include "sdk/discovery_wire.h"
#include "sdk/qvx_sdk.h"
#include "sdk/wire_format.h"
#include "sdk/ws_discovery.h"

namespace ocv::wire {
namespace {

FoundDevice Sample() {
    FoundDevice d;
    d.port = 37001;
    d.address = "192.168.1.20";
    d.mask = "255.255.255.0";
    d.gateway = "192.168.1.1";
    d.dns1 = "192.168.1.1";
    d.dns2 = "0.0.0.0";
    d.channels = 16;
    d.webPort = 80;
    d.deviceId = "QVXSIM00000004";
    d.mac = "02:51:56:58:00:04";
    d.firmware = "V5.2.1 build 20260101";
    d.type = "NVR";
    return d;
}

TEST(DiscoveryWire, FoundDeviceRecordFieldsSitAtTheirOffsets) {
    uint8_t r[kFoundRecordBytes];
    std::memset(r, 0xEE, sizeof r);
    EncodeFoundDevice(Sample(), r);
    EXPECT_EQ(GetU32(r), 37001u);
    EXPECT_STREQ(reinterpret_cast<char*>(r + 4), "192.168.1.20");
    EXPECT_STREQ(reinterpret_cast<char*>(r + 36), "255.255.255.0");
    EXPECT_STREQ(reinterpret_cast<char*>(r + 52), "192.168.1.1");
    EXPECT_STREQ(reinterpret_cast<char*>(r + 84), "0.0.0.0");
    EXPECT_EQ(GetU32(r + 100), 16u);
    EXPECT_EQ(GetU32(r + 104), 80u);
    EXPECT_EQ(GetU32(r + 108), 0u);
    EXPECT_STREQ(reinterpret_cast<char*>(r + 116), "QVXSIM00000004");
    EXPECT_STREQ(reinterpret_cast<char*>(r + 156), "02:51:56:58:00:04");
    EXPECT_STREQ(reinterpret_cast<char*>(r + 176), "V5.2.1 build 20260101");
    EXPECT_STREQ(reinterpret_cast<char*>(r + 216), "NVR");
    EXPECT_EQ(r[259], 0) << "no byte left over from before";
    QVX_FOUND_DEVICE api;
    std::memcpy(&api, r, sizeof api);
    EXPECT_STREQ(api.deviceId, "QVXSIM00000004");
    FoundDevice back;
    ASSERT_TRUE(DecodeFoundDevice(r, &back));
    EXPECT_EQ(back.address, "192.168.1.20");
    EXPECT_EQ(back.type, "NVR");

    // Texts longer than their fields are cut so they stay terminated; an id to 36 characters.
    FoundDevice longer = Sample();
    longer.address = std::string(50, '1');
    longer.deviceId = std::string(50, 'A');
    EncodeFoundDevice(longer, r);
    ASSERT_TRUE(DecodeFoundDevice(r, &back));
    EXPECT_EQ(back.address.size(), 31u);
    EXPECT_EQ(back.deviceId.size(), kMaxDeviceIdChars);
}

TEST(DiscoveryWire, RecordsWithUnterminatedTextsOrBadIdsAreRefused) {
    uint8_t r[kFoundRecordBytes];
    EncodeFoundDevice(Sample(), r);
    uint8_t bad[kFoundRecordBytes];
    std::memcpy(bad, r, sizeof r);
    std::memset(bad + 4, '9', 32);  // address runs into the mask
    EXPECT_FALSE(DecodeFoundDevice(bad, nullptr));
    std::memcpy(bad, r, sizeof r);
    std::memset(bad + 228, 'p', 32);  // the last field
    EXPECT_FALSE(DecodeFoundDevice(bad, nullptr));
    std::memcpy(bad, r, sizeof r);
    std::memset(bad + 116, 0, kDeviceIdField);  // empty id
    EXPECT_FALSE(DecodeFoundDevice(bad, nullptr));
    std::memcpy(bad, r, sizeof r);
    std::memset(bad + 116, 'I', 37);  // 37 characters, still terminated in its field
    EXPECT_FALSE(DecodeFoundDevice(bad, nullptr));
    std::memset(bad + 116, 0, kDeviceIdField);
    std::memset(bad + 116, 'I', 36);
    EXPECT_TRUE(DecodeFoundDevice(bad, nullptr));
}

std::vector<uint8_t> Answer(const uint8_t* record) {
    std::vector<uint8_t> payload(kSearchIdBytes + kFoundRecordBytes, 7);
    std::memcpy(payload.data() + kSearchIdBytes, record, kFoundRecordBytes);
    return BuildMessage(kSearchAnswer, 3, payload.data(), payload.size());
}

TEST(DiscoveryWire, DatagramMustBeExactlyOneDiscoveryMessage) {
    uint8_t r[kFoundRecordBytes];
    EncodeFoundDevice(Sample(), r);
    auto good = Answer(r);
    uint16_t kind;
    const uint8_t* p;
    size_t bytes;
    uint32_t seq;
    ASSERT_TRUE(ParseDiscoveryDatagram(good.data(), good.size(), &kind, &p, &bytes, &seq));
    EXPECT_EQ(kind, kSearchAnswer);
    EXPECT_EQ(bytes, kSearchIdBytes + kFoundRecordBytes);
    EXPECT_EQ(seq, 3u);
    // Truncated anywhere, with a byte more, or twice in one datagram: dropped.
    for (size_t cut : {size_t(0), size_t(5), size_t(16), good.size() - 1}) {
        EXPECT_FALSE(ParseDiscoveryDatagram(good.data(), cut, &kind, &p, &bytes, &seq)) << cut;
    }
    std::vector<uint8_t> twice(2 * good.size());
    std::memcpy(twice.data(), good.data(), good.size());
    std::memcpy(twice.data() + good.size(), good.data(), good.size());
    EXPECT_FALSE(ParseDiscoveryDatagram(twice.data(), good.size() + 1, &kind, &p, &bytes, &seq)) << "a byte more";
    EXPECT_FALSE(ParseDiscoveryDatagram(twice.data(), twice.size(), &kind, &p, &bytes, &seq));
    // Oversized datagrams are not even parsed, whatever they hold.
    std::vector<uint8_t> big(kMaxDiscoveryDatagram + 1, 0);
    std::memcpy(big.data(), good.data(), good.size());
    EXPECT_FALSE(ParseDiscoveryDatagram(big.data(), big.size(), &kind, &p, &bytes, &seq));
    // A message of another range is no discovery message.
    auto heartbeat = BuildMessage(kHeartbeat, 1, nullptr, 0);
    EXPECT_FALSE(ParseDiscoveryDatagram(heartbeat.data(), heartbeat.size(), &kind, &p, &bytes, &seq));
    // A record inside an answer is checked like any other.
    uint8_t broken[kFoundRecordBytes];
    std::memcpy(broken, r, sizeof r);
    std::memset(broken + 116, 'x', kDeviceIdField);
    auto bad = Answer(broken);
    EXPECT_FALSE(ParseDiscoveryDatagram(bad.data(), bad.size(), &kind, &p, &bytes, &seq));
    // Exact sizes of the other kinds.
    std::vector<uint8_t> probe(8 + kSearchIdBytes, 0);
    auto m = BuildMessage(kSearchProbe, 0, probe.data(), probe.size());
    EXPECT_TRUE(ParseDiscoveryDatagram(m.data(), m.size(), &kind, &p, &bytes, &seq));
    probe.pop_back();
    m = BuildMessage(kSearchProbe, 0, probe.data(), probe.size());
    EXPECT_FALSE(ParseDiscoveryDatagram(m.data(), m.size(), &kind, &p, &bytes, &seq));
    auto user = std::vector<uint8_t>(r, r + kFoundRecordBytes);
    user.resize(kFoundRecordBytes + 64, 'u');  // user name without its terminator
    m = BuildMessage(kNetConfig, 0, user.data(), user.size());
    EXPECT_FALSE(ParseDiscoveryDatagram(m.data(), m.size(), &kind, &p, &bytes, &seq));
}

TEST(DiscoveryWire, SettingsProofCoversNonceAndRecord) {
    uint8_t r[kFoundRecordBytes];
    EncodeFoundDevice(Sample(), r);
    uint8_t nonce[32] = {1, 2, 3};
    uint8_t a[32], b[32];
    NetConfigProof("secret", nonce, r, a);
    NetConfigProof("secret", nonce, r, b);
    EXPECT_EQ(std::memcmp(a, b, 32), 0);
    NetConfigProof("Secret", nonce, r, b);
    EXPECT_NE(std::memcmp(a, b, 32), 0);
    nonce[31] = 1;
    NetConfigProof("secret", nonce, r, b);
    EXPECT_NE(std::memcmp(a, b, 32), 0);
    nonce[31] = 0;
    r[0] ^= 1;  // another port
    NetConfigProof("secret", nonce, r, b);
    EXPECT_NE(std::memcmp(a, b, 32), 0);
}

TEST(WsDiscovery, ProbeAndMatchesRoundTrip) {
    std::string id = "urn:uuid:" + NewUuid();
    EXPECT_EQ(id.size(), 45u);
    std::string probe = BuildProbe(id);
    ProbeRequest request;
    ASSERT_TRUE(ParseProbe(probe.data(), probe.size(), &request));
    EXPECT_EQ(request.messageId, id);
    EXPECT_EQ(request.types, "dn:NetworkVideoTransmitter");

    ProbeMatch m;
    m.endpoint = "urn:uuid:00000000-1111-4222-8333-444444444444";
    m.types = "dn:NetworkVideoTransmitter";
    m.scopes = "onvif://www.onvif.org/hardware/IPC-X<1>&2 onvif://www.onvif.org/name/gate";
    m.xaddrs = "http://192.168.1.64:8080/onvif/device_service";
    std::string answer = BuildProbeMatches("urn:uuid:" + NewUuid(), id, {m, m});
    std::vector<ProbeMatch> matches;
    ASSERT_TRUE(ParseProbeMatches(answer.data(), answer.size(), id, &matches));
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0].scopes, m.scopes) << "markup characters survive escaping";
    EXPECT_EQ(matches[0].xaddrs, m.xaddrs);
    // Another probe's answer, or a probe taken for an answer, is not ours.
    EXPECT_FALSE(ParseProbeMatches(answer.data(), answer.size(), "urn:uuid:someone-else", &matches));
    EXPECT_FALSE(ParseProbeMatches(probe.data(), probe.size(), "", &matches));
    EXPECT_FALSE(ParseProbe(answer.data(), answer.size(), &request));

    FoundDevice d;
    ASSERT_TRUE(FoundDeviceFromMatch(matches[0], &d));
    EXPECT_EQ(d.address, "192.168.1.64");
    EXPECT_EQ(d.port, 8080u);
    EXPECT_EQ(d.servicePath, "/onvif/device_service");
    EXPECT_EQ(d.deviceId, "00000000-1111-4222-8333-444444444444");
    EXPECT_EQ(d.firmware, "IPC-X<1>&2");
    EXPECT_EQ(d.type, "ONVIF");
    EXPECT_EQ(d.protocol, uint32_t(kSearchOnvif));
}

TEST(WsDiscovery, ServiceAddressesAndEndpointsBecomeRecords) {
    ProbeMatch m;
    m.endpoint = "urn:uuid:00000000-1111-4222-8333-444444444444";
    FoundDevice d;
    // Only an http address on an IPv4 host will do; the first such one is taken.
    m.xaddrs = "https://10.1.1.1/onvif/device_service http://[fe80::1]/onvif http://cam.local/onvif "
               "http://10.1.1.2:99999/x http://10.1.1.3/onvif/device_service";
    ASSERT_TRUE(FoundDeviceFromMatch(m, &d));
    EXPECT_EQ(d.address, "10.1.1.3");
    EXPECT_EQ(d.port, 80u);
    m.xaddrs = "http://10.1.1.4:8000";
    ASSERT_TRUE(FoundDeviceFromMatch(m, &d));
    EXPECT_EQ(d.servicePath, "/");
    m.xaddrs = "http://10.1.1.4/" + std::string(40, 'p');
    ASSERT_TRUE(FoundDeviceFromMatch(m, &d));
    EXPECT_EQ(d.servicePath, "") << "a path that does not fit is left out, not cut";
    m.xaddrs = "ftp://10.1.1.5/ http://10.1.1.6:/x";
    EXPECT_FALSE(FoundDeviceFromMatch(m, &d));
    m.xaddrs = "";
    EXPECT_FALSE(FoundDeviceFromMatch(m, &d));
    // Endpoints that are no short UUID still give a stable id of at most 36 characters.
    m.xaddrs = "http://10.1.1.7/onvif/device_service";
    m.endpoint = "http://vendor.example/devices/serial/" + std::string(60, '7');
    ASSERT_TRUE(FoundDeviceFromMatch(m, &d));
    FoundDevice again;
    ASSERT_TRUE(FoundDeviceFromMatch(m, &again));
    EXPECT_EQ(d.deviceId, again.deviceId);
    EXPECT_LE(d.deviceId.size(), kMaxDeviceIdChars);
    m.endpoint = "urn:short";
    ASSERT_TRUE(FoundDeviceFromMatch(m, &d));
    EXPECT_EQ(d.deviceId, "urn:short");
}

TEST(WsDiscovery, HostileOrBrokenXmlIsDropped) {
    std::string id = "urn:uuid:1";
    ProbeMatch m;
    m.endpoint = "urn:uuid:2";
    m.xaddrs = "http://10.0.0.9/onvif/device_service";
    std::string good = BuildProbeMatches("urn:uuid:3", id, {m});
    std::vector<ProbeMatch> out;
    ASSERT_TRUE(ParseProbeMatches(good.data(), good.size(), id, &out));
    // Entity expansion (a DTD is never allowed in SOAP).
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE s [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>" +
                       good.substr(good.find("<s:Envelope"));
    EXPECT_FALSE(ParseProbeMatches(bomb.data(), bomb.size(), id, &out));
    // Truncated, not XML at all, or larger than a datagram should be.
    EXPECT_FALSE(ParseProbeMatches(good.data(), good.size() - 10, id, &out));
    EXPECT_FALSE(ParseProbeMatches("QVXP....", 8, id, &out));
    EXPECT_FALSE(ParseProbeMatches(good.data(), 0, id, &out));
    std::string big = good;
    big.insert(big.find("</s:Body>"), std::string(kMaxSoapDatagram, ' '));
    EXPECT_FALSE(ParseProbeMatches(big.data(), big.size(), id, &out));
    // The right names in the wrong namespace are not a ProbeMatches.
    std::string wrongNs = good;
    size_t at = wrongNs.find("http://schemas.xmlsoap.org/ws/2005/04/discovery");
    wrongNs.replace(at, 10, "http://xxx");
    EXPECT_FALSE(ParseProbeMatches(wrongNs.data(), wrongNs.size(), id, &out));
    // More matches than a datagram may list are cut at the bound.
    std::string many = BuildProbeMatches("urn:uuid:3", id, std::vector<ProbeMatch>(40, m));
    ASSERT_TRUE(ParseProbeMatches(many.data(), many.size(), id, &out));
    EXPECT_EQ(out.size(), kMaxProbeMatches);
}

}  // namespace
}  // namespace ocv::wire
