// The pieces of the simulator's standard faces without a network: the WS-UsernameToken check
// (password digest, clock window, replayed nonces), ONVIF durations, RTSP request and transport
// reading, H.264 packetization into RTP (whole NAL units and FU-A fragments that put the unit
// back together), the clock stamp carried in an SEI message, and pull points that wake a
// waiting pull, keep their queues bounded and end.
#include <gtest/gtest.h>

#include <asio.hpp>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "sdk/onvif_soap.h"
#include "tools/devsim/onvif_events.h"
#include "tools/devsim/onvif_security.h"
#include "tools/devsim/onvif_service.h"
#include "tools/devsim/rtp_h264.h"
#include "tools/devsim/rtsp_request.h"

namespace ocv::devsim {
namespace {

onvif::Request TokenRequest(const std::string& user, const std::string& password, const std::string& nonce,
                            time_t created) {
    onvif::UsernameToken token{user, password, nonce, onvif::UtcText(created)};
    std::string xml = onvif::Envelope(onvif::GetProfiles(), &token);
    onvif::Request r;
    EXPECT_TRUE(onvif::ParseRequest(xml, &r)) << xml;
    return r;
}

TEST(DevsimOnvifToken, DigestClockWindowAndReplayAreChecked) {
    const time_t device = 1800000000;
    NonceMemory nonces;
    EXPECT_EQ(CheckUsernameToken(TokenRequest("admin", "pw", "nonce-0001", device), "admin", "pw", device, &nonces),
              TokenVerdict::kGood);
    // The same message again is a replay.
    EXPECT_EQ(CheckUsernameToken(TokenRequest("admin", "pw", "nonce-0001", device), "admin", "pw", device, &nonces),
              TokenVerdict::kReplayed);
    EXPECT_EQ(CheckUsernameToken(TokenRequest("admin", "px", "nonce-0002", device), "admin", "pw", device, &nonces),
              TokenVerdict::kWrongPassword);
    EXPECT_EQ(CheckUsernameToken(TokenRequest("root", "pw", "nonce-0003", device), "admin", "pw", device, &nonces),
              TokenVerdict::kWrongUser);
    // The window's edges: 300 s either way is accepted, one second more is not.
    EXPECT_EQ(CheckUsernameToken(TokenRequest("admin", "pw", "n-4", device + kTokenWindowSec), "admin", "pw", device,
                                 &nonces),
              TokenVerdict::kGood);
    EXPECT_EQ(CheckUsernameToken(TokenRequest("admin", "pw", "n-5", device - kTokenWindowSec), "admin", "pw", device,
                                 &nonces),
              TokenVerdict::kGood);
    EXPECT_EQ(CheckUsernameToken(TokenRequest("admin", "pw", "n-6", device + kTokenWindowSec + 1), "admin", "pw",
                                 device, &nonces),
              TokenVerdict::kOutOfWindow);
    EXPECT_EQ(CheckUsernameToken(TokenRequest("admin", "pw", "n-7", device - kTokenWindowSec - 1), "admin", "pw",
                                 device, &nonces),
              TokenVerdict::kOutOfWindow);
    onvif::Request none;
    ASSERT_TRUE(onvif::ParseRequest(onvif::Envelope(onvif::GetProfiles(), nullptr), &none));
    EXPECT_EQ(CheckUsernameToken(none, "admin", "pw", device, &nonces), TokenVerdict::kMissing);
}

TEST(DevsimOnvifToken, NoncesAreForgottenOnlyOnceTheirTimeHasPassed) {
    NonceMemory nonces;
    EXPECT_TRUE(nonces.Remember("a", 1000));
    EXPECT_FALSE(nonces.Remember("a", 1000 + 2 * kTokenWindowSec)) << "still within what a token may claim";
    EXPECT_TRUE(nonces.Remember("b", 1000 + 2 * kTokenWindowSec + 1));
    EXPECT_TRUE(nonces.Remember("a", 1000 + 2 * kTokenWindowSec + 1)) << "too old to come back with a valid time";
}

TEST(DevsimOnvifToken, TokenTimesAreStrictUtc) {
    time_t t = 0;
    EXPECT_TRUE(ParseTokenTime("2027-01-02T03:04:05Z", &t));
    EXPECT_EQ(t, 1798859045);
    EXPECT_TRUE(ParseTokenTime("2027-01-02T03:04:05.123456Z", &t));
    EXPECT_EQ(t, 1798859045);
    EXPECT_TRUE(ParseTokenTime("2027-01-02T03:04:05+00:00", &t));
    for (const char* bad : {"2027-01-02T03:04:05", "2027-01-02T03:04:05+01:00", "2027-13-02T03:04:05Z",
                            "2027-01-02T24:04:05Z", "2027-01-02T03:04:05.Z", "1969-12-31T23:59:59Z",
                            "2027-01-02 03:04:05Z", "2027-1-02T03:04:05Z"})
        EXPECT_FALSE(ParseTokenTime(bad, &t)) << bad;
}

TEST(DevsimOnvifDuration, HoursMinutesSecondsUpToADay) {
    EXPECT_EQ(ParseDurationSeconds("PT1M"), 60);
    EXPECT_EQ(ParseDurationSeconds("PT1H2M3S"), 3723);
    EXPECT_EQ(ParseDurationSeconds("PT86400S"), 86400);
    EXPECT_EQ(ParseDurationSeconds("PT24H"), 86400);
    for (const char* bad : {"", "PT", "P1D", "PT86401S", "PT24H1S", "PT1", "PTM", "PT1X", "pt1m", "PT-1S",
                            "PT99999999999999999999S"})
        EXPECT_EQ(ParseDurationSeconds(bad), -1) << bad;
}

TEST(DevsimRtspRequest, RequestLineHeadersAndBounds) {
    RtspRequest r;
    ASSERT_TRUE(ParseRtspRequest("SETUP rtsp://h:554/ch3/sub/trackID=1 RTSP/1.0\r\nCSeq: 7\r\n"
                                 "Session: ABCD;timeout=60\r\nTransport: RTP/AVP/TCP;unicast;interleaved=2-3\r\n"
                                 "Content-Length: 12\r\n",
                                 &r));
    EXPECT_EQ(r.method, "SETUP");
    EXPECT_EQ(r.cseq, 7);
    EXPECT_EQ(r.session, "ABCD");
    EXPECT_EQ(r.contentLength, 12u);
    RtspTarget t;
    ASSERT_TRUE(ParseRtspTarget(r.url, &t));
    EXPECT_EQ(t.channel, 3);
    EXPECT_EQ(t.streamType, 1);
    EXPECT_EQ(t.track, 1);
    EXPECT_FALSE(ParseRtspRequest("OPTIONS * RTSP/1.0\r\n", &r)) << "no CSeq";
    EXPECT_FALSE(ParseRtspRequest("OPTIONS * HTTP/1.1\r\nCSeq: 1\r\n", &r));
    EXPECT_FALSE(ParseRtspRequest("OPTIONS * RTSP/1.0\r\nCSeq: x\r\n", &r));
    for (const char* url : {"rtsp://h/ch64/main", "rtsp://h/ch1/third", "rtsp://h/ch1/main/trackID=2", "http://h/ch1/main",
                            "rtsp://h", "rtsp://h/chx/main"})
        EXPECT_FALSE(ParseRtspTarget(url, &t)) << url;
    ASSERT_TRUE(ParseRtspTarget("rtsp://h:1/ch63/main/", &t));
    EXPECT_EQ(t.channel, 63);
    EXPECT_EQ(t.track, -1);
}

TEST(DevsimRtspRequest, TransportPicksTheFirstTcpUnicastChoice) {
    RtspTransport t;
    ASSERT_TRUE(ParseRtspTransport("RTP/AVP;unicast;client_port=5000-5001,RTP/AVP/TCP;unicast;interleaved=4-5", &t));
    EXPECT_TRUE(t.tcp);
    EXPECT_EQ(t.interleaved[0], 4);
    EXPECT_EQ(t.interleaved[1], 5);
    ASSERT_TRUE(ParseRtspTransport("RTP/AVP/TCP", &t));
    EXPECT_EQ(t.interleaved[0], 0) << "channels 0-1 when the client names none";
    EXPECT_EQ(t.interleaved[1], 1);
    EXPECT_FALSE(ParseRtspTransport("RTP/AVP;unicast;client_port=5000-5001", &t)) << "UDP is not served";
    EXPECT_FALSE(ParseRtspTransport("RTP/AVP/TCP;multicast", &t));
    EXPECT_FALSE(ParseRtspTransport("RTP/AVP/TCP;interleaved=255", &t)) << "no room for the RTCP channel";
    EXPECT_FALSE(ParseRtspTransport(std::string(2000, 'x'), &t));
}

std::vector<uint8_t> AnnexB(const std::vector<std::vector<uint8_t>>& units) {
    std::vector<uint8_t> out;
    bool first = true;
    for (auto& u : units) {
        if (first) out.insert(out.end(), {0, 0, 0, 1});
        else out.insert(out.end(), {0, 0, 1});
        first = false;
        out.insert(out.end(), u.begin(), u.end());
    }
    return out;
}

// Puts a NAL unit back together from its pieces as a receiver does.
std::vector<uint8_t> Reassemble(const std::vector<rtp::Piece>& pieces) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const rtp::Piece& p = pieces[i];
        if (p.prefixBytes == 0) {
            out.assign(p.body, p.body + p.bodyBytes);
            continue;
        }
        EXPECT_EQ(p.prefix[0] & 0x1F, 28) << "FU-A";
        EXPECT_EQ(bool(p.prefix[1] & 0x80), i == 0) << "start bit on the first fragment only";
        EXPECT_EQ(bool(p.prefix[1] & 0x40), i + 1 == pieces.size()) << "end bit on the last only";
        if (i == 0) out.push_back(uint8_t((p.prefix[0] & 0xE0) | (p.prefix[1] & 0x1F)));
        out.insert(out.end(), p.body, p.body + p.bodyBytes);
    }
    return out;
}

TEST(DevsimRtpH264, UnitsGoWholeUpToThePayloadSizeAndInFragmentsBeyond) {
    for (size_t size : {size_t(2), size_t(1400), size_t(1401), size_t(2 * 1399 + 1), size_t(50000)}) {
        std::vector<uint8_t> nal(size);
        nal[0] = 0x65;  // IDR slice, nal_ref_idc 3
        for (size_t i = 1; i < size; ++i) nal[i] = uint8_t(i * 7 + 1);
        std::vector<rtp::Piece> pieces;
        rtp::Packetize({nal.data(), nal.size()}, rtp::kMaxPayloadBytes, &pieces);
        for (auto& p : pieces) EXPECT_LE(p.prefixBytes + p.bodyBytes, rtp::kMaxPayloadBytes) << size;
        EXPECT_EQ(pieces.size() == 1, size <= rtp::kMaxPayloadBytes) << size;
        EXPECT_EQ(Reassemble(pieces), nal) << size;
    }
}

TEST(DevsimRtpH264, AnnexBSplitsAtBothStartCodesAndSkipsEmptyUnits) {
    std::vector<uint8_t> sps = {0x67, 0x42, 0xC0, 0x1E, 0x95}, pps = {0x68, 0xCE, 0x3C, 0x80},
                         idr = {0x65, 0x88, 0x84, 0x00, 0x10};
    std::vector<uint8_t> unit = AnnexB({sps, pps, idr});
    unit.insert(unit.end(), {0, 0, 0, 1});  // a trailing start code with nothing after it
    auto nals = rtp::SplitAnnexB(unit.data(), unit.size());
    ASSERT_EQ(nals.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(nals[0].data, nals[0].data + nals[0].size), sps);
    EXPECT_EQ(std::vector<uint8_t>(nals[2].data, nals[2].data + nals[2].size), idr);
    std::string fmtp = rtp::H264FormatParameters(unit.data(), unit.size());
    EXPECT_NE(fmtp.find("packetization-mode=1"), std::string::npos);
    EXPECT_NE(fmtp.find("profile-level-id=42c01e"), std::string::npos) << fmtp;
    EXPECT_NE(fmtp.find("sprop-parameter-sets=Z0LAHpU=,aM48gA=="), std::string::npos) << fmtp;
    std::vector<uint8_t> noParameters = AnnexB({idr});
    EXPECT_EQ(rtp::H264FormatParameters(noParameters.data(), noParameters.size()), "");
}

TEST(DevsimRtpH264, ClockStampSurvivesEmulationPreventionAndIsFoundInTheUnit) {
    // Stamps whose bytes contain 00 00 0x need emulation prevention inside the SEI.
    for (uint64_t stamp : {uint64_t(0), uint64_t(0x0000000100000002ull), uint64_t(0xFFFFFFFFFFFFFFFFull),
                           uint64_t(123456789012345ull)}) {
        std::vector<uint8_t> sei = rtp::ClockStampSei(stamp);
        std::vector<uint8_t> unit = AnnexB({sei, {0x65, 0x88, 0x84}});
        auto nals = rtp::SplitAnnexB(unit.data(), unit.size());
        ASSERT_EQ(nals.size(), 2u) << "the SEI must not contain a start code";
        uint64_t found = 1;
        ASSERT_TRUE(rtp::FindClockStamp(unit.data(), unit.size(), &found));
        EXPECT_EQ(found, stamp);
    }
    std::vector<uint8_t> plain = AnnexB({{0x65, 0x88, 0x84}});
    uint64_t found = 0;
    EXPECT_FALSE(rtp::FindClockStamp(plain.data(), plain.size(), &found));
}

TEST(DevsimRtpH264, RtpHeaderLayout) {
    uint8_t h[12];
    rtp::WriteRtpHeader(h, 96, true, 0xABCD, 0x01020304, 0xDEADBEEF);
    const uint8_t expected[12] = {0x80, 0x80 | 96, 0xAB, 0xCD, 1, 2, 3, 4, 0xDE, 0xAD, 0xBE, 0xEF};
    EXPECT_EQ(std::vector<uint8_t>(h, h + 12), std::vector<uint8_t>(expected, expected + 12));
}

// Pull points on an I/O context run by a thread of the test.
class DevsimPullPoints : public ::testing::Test {
protected:
    void SetUp() override {
        points_ = std::make_shared<PullPoints>(io_, [this] { return now_.load(); });
        thread_ = std::thread([this] { io_.run(); });
    }
    void TearDown() override {
        points_->Stop();
        work_.reset();
        io_.stop();
        thread_.join();
    }
    struct Result {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false, found = false;
        std::vector<onvif_reply::Notification> messages;
        bool Wait(int ms) {
            std::unique_lock<std::mutex> lock(mutex);
            return cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done; });
        }
    };
    void Pull(int id, int waitMs, size_t limit, Result* r) {
        points_->Pull(id, waitMs, limit, [r](bool found, std::vector<onvif_reply::Notification> m, time_t) {
            std::lock_guard<std::mutex> lock(r->mutex);
            r->done = true;
            r->found = found;
            r->messages = std::move(m);
            r->cv.notify_all();
        });
    }
    static onvif_reply::Notification Motion(int channel) { return {channel, 0, true, 0}; }

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(io_);
    std::atomic<time_t> now_{1800000000};
    std::shared_ptr<PullPoints> points_;
    std::thread thread_;
};

TEST_F(DevsimPullPoints, AWaitingPullIsAnsweredByTheNextNotification) {
    time_t end = 0;
    int id = points_->Create(60, &end);
    ASSERT_GT(id, 0);
    EXPECT_EQ(end, now_ + 60);
    Result r;
    Pull(id, 30000, 10, &r);
    EXPECT_FALSE(r.Wait(100)) << "nothing queued: the pull waits";
    points_->Notify(Motion(3));
    ASSERT_TRUE(r.Wait(5000));
    EXPECT_TRUE(r.found);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].channel, 3);
    Result timedOut;
    Pull(id, 50, 10, &timedOut);
    ASSERT_TRUE(timedOut.Wait(5000)) << "the wait ends at its time-out";
    EXPECT_TRUE(timedOut.found);
    EXPECT_TRUE(timedOut.messages.empty());
}

TEST_F(DevsimPullPoints, QueuesAreBoundedLimitsRespectedAndEndedSubscriptionsForgotten) {
    time_t end = 0;
    int id = points_->Create(60, &end);
    for (int i = 0; i < int(PullPoints::kMaxQueued) + 10; ++i) points_->Notify(Motion(i));
    Result first;
    Pull(id, 0, 5, &first);
    ASSERT_TRUE(first.Wait(5000));
    ASSERT_EQ(first.messages.size(), 5u);
    EXPECT_EQ(first.messages[0].channel, 10) << "the oldest were dropped";
    Result rest;
    Pull(id, 0, 100000, &rest);
    ASSERT_TRUE(rest.Wait(5000));
    EXPECT_EQ(rest.messages.size(), PullPoints::kMaxQueued - 5);
    // Past its termination time the subscription is gone; renewing it is refused.
    now_ += 61;
    Result gone;
    Pull(id, 0, 10, &gone);
    ASSERT_TRUE(gone.Wait(5000));
    EXPECT_FALSE(gone.found);
    EXPECT_FALSE(points_->Renew(id, 60, &end));
    EXPECT_EQ(points_->Count(), 0);
}

TEST_F(DevsimPullPoints, SubscriptionsAreLimitedAndLifetimesHeldToTheirRange) {
    time_t end = 0;
    std::vector<int> ids;
    for (int i = 0; i < PullPoints::kMaxSubscriptions; ++i) ids.push_back(points_->Create(1, &end));
    EXPECT_EQ(end, now_ + 10) << "a life under 10 s is raised to 10";
    EXPECT_EQ(points_->Create(60, &end), -1);
    ASSERT_TRUE(points_->Remove(ids[0]));
    EXPECT_FALSE(points_->Remove(ids[0]));
    int id = points_->Create(1000000, &end);
    EXPECT_GT(id, 0);
    EXPECT_EQ(end, now_ + PullPoints::kMaxLifeSec);
    // Removing a subscription answers its waiting pull at once.
    Result r;
    Pull(id, 30000, 10, &r);
    EXPECT_FALSE(r.Wait(50));
    ASSERT_TRUE(points_->Remove(id));
    ASSERT_TRUE(r.Wait(5000));
    EXPECT_FALSE(r.found);
}

}  // namespace
}  // namespace ocv::devsim
