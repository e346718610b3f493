// The web requests' authentication end to end: against scripted peers (what goes out, and
// when), against the simulator in each of its modes, and against implementations written
// apart from ours (curl as a client of the simulator, a Python server for our client).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "sdk/http_auth.h"
#include "sdk/http_client.h"
#include "sdk/http_head.h"
#include "tests/sdk/sdk_test_support.h"

extern char** environ;

namespace ocv::test {
namespace {

using sdk::HttpGet;
using sdk::HttpResult;

const char* const kProbe = "/cgi-bin/hi3510/getdevsupportx.cgi";

// A loopback peer that answers each connection with the next scripted reply and keeps the
// request heads it received.
class ScriptedPeer {
public:
    explicit ScriptedPeer(std::vector<std::string> replies) : replies_(std::move(replies)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 8);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedPeer() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }
    std::vector<std::string> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        for (const std::string& reply : replies_) {
            int c = -1;
            while (!stop_ && c < 0) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 50) == 1) c = ::accept(fd_, nullptr, nullptr);
            }
            if (c < 0) return;
            std::string head;
            char buf[4096];
            while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
                pollfd p{c, POLLIN, 0};
                if (::poll(&p, 1, 5000) != 1) break;
                ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                head.append(buf, size_t(n));
            }
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(head);
            }
            ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            ::close(c);
        }
    }

    std::vector<std::string> replies_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
};

std::string Reply(int status, const std::string& headers, const std::string& body = "") {
    return "HTTP/1.1 " + std::to_string(status) + " X\r\n" + headers + "Content-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string Challenge(const char* algorithm, const char* nonce, bool stale = false) {
    return std::string("WWW-Authenticate: Digest realm=\"cam\", qop=\"auth\", algorithm=") + algorithm +
           ", nonce=\"" + nonce + "\", opaque=\"op\"" + (stale ? ", stale=true" : "") + "\r\n";
}

HttpResult Get(int port, const std::string& password = "pw", const std::string& path = kProbe) {
    return HttpGet("127.0.0.1", port, path, "admin", password, 4000, 1 << 16);
}

// The parameters of a request's Authorization (empty scheme when there is none).
sdk::AuthParams CredentialsOf(const std::string& requestHead) {
    sdk::AuthParams c;
    std::string value = sdk::HttpHeaderValue(requestHead, "Authorization");
    if (!value.empty()) {
        EXPECT_TRUE(sdk::ParseCredentials(value, &c)) << value;
    }
    return c;
}

TEST(HttpClientAuth, NothingSecretGoesToAPeerThatDoesNotAsk) {
    ScriptedPeer peer({Reply(200, "", "hi")});
    HttpResult r = Get(peer.port());
    EXPECT_EQ(r.result, QVX_OK);
    EXPECT_EQ(r.body, "hi");
    auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].find("Authorization"), std::string::npos) << requests[0];
}

TEST(HttpClientAuth, DigestAnswersTheChallengeAndBasicIsUsedOnlyWhenAlone) {
    {
        ScriptedPeer peer({Reply(401, "WWW-Authenticate: Basic realm=\"cam\"\r\n" + Challenge("MD5", "n1")),
                           Reply(200, "", "ok")});
        HttpResult r = Get(peer.port());
        EXPECT_EQ(r.result, QVX_OK);
        EXPECT_EQ(r.body, "ok");
        auto requests = peer.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].find("Authorization"), std::string::npos);
        sdk::AuthParams c = CredentialsOf(requests[1]);
        EXPECT_EQ(c.scheme, "Digest");
        EXPECT_EQ(c.params["algorithm"], "MD5");
        EXPECT_EQ(c.params["nonce"], "n1");
        EXPECT_EQ(c.params["opaque"], "op");
        EXPECT_EQ(c.params["uri"], kProbe);
        sdk::DigestInput in{{sdk::DigestHash::kMd5, false}, "admin", "cam", "pw", "GET", kProbe, "n1",
                            c.params["nc"], c.params["cnonce"]};
        EXPECT_EQ(c.params["response"], sdk::DigestResponse(in));
        EXPECT_EQ(requests[1].find("pw"), std::string::npos);
    }
    {
        ScriptedPeer peer({Reply(401, "WWW-Authenticate: Basic realm=\"cam\"\r\n"), Reply(200, "", "ok")});
        EXPECT_EQ(Get(peer.port()).result, QVX_OK);
        auto requests = peer.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(sdk::HttpHeaderValue(requests[1], "Authorization"), "Basic YWRtaW46cHc=");
    }
}

TEST(HttpClientAuth, RedirectionIsNeverFollowed) {
    ScriptedPeer elsewhere({Reply(200, "", "caught")});
    std::string location = "Location: http://127.0.0.1:" + std::to_string(elsewhere.port()) + "/steal\r\n";
    {
        ScriptedPeer peer({Reply(401, Challenge("SHA-256", "n1")), Reply(302, location)});
        HttpResult r = Get(peer.port());
        EXPECT_EQ(r.result, QVX_ERR_HTTP);
        EXPECT_EQ(r.status, 302);
        EXPECT_EQ(peer.Requests().size(), 2u);
    }
    {
        ScriptedPeer peer({Reply(301, location)});
        EXPECT_EQ(Get(peer.port()).result, QVX_ERR_HTTP);
        EXPECT_EQ(peer.Requests().size(), 1u);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(elsewhere.Requests().empty());
}

TEST(HttpClientAuth, RefusedCredentialsAreAnsweredOnceAndAStaleNonceOnceMore) {
    {
        ScriptedPeer peer({Reply(401, Challenge("SHA-256", "n1")), Reply(401, Challenge("SHA-256", "n2")),
                           Reply(200, "", "too late")});
        HttpResult r = Get(peer.port(), "wrong");
        EXPECT_EQ(r.result, QVX_ERR_HTTP_AUTH);
        EXPECT_EQ(r.status, 401);
        EXPECT_TRUE(r.body.empty());
        EXPECT_EQ(peer.Requests().size(), 2u);
    }
    {
        ScriptedPeer peer({Reply(401, Challenge("SHA-256", "n1")), Reply(401, Challenge("SHA-256", "n2", true)),
                           Reply(200, "", "fresh")});
        HttpResult r = Get(peer.port());
        EXPECT_EQ(r.result, QVX_OK);
        EXPECT_EQ(r.body, "fresh");
        auto requests = peer.Requests();
        ASSERT_EQ(requests.size(), 3u);
        EXPECT_EQ(CredentialsOf(requests[2]).params["nonce"], "n2");
    }
    {
        ScriptedPeer peer({Reply(401, Challenge("MD5", "n1")), Reply(401, Challenge("MD5", "n2", true)),
                           Reply(401, Challenge("MD5", "n3", true)), Reply(200, "", "never")});
        EXPECT_EQ(Get(peer.port()).result, QVX_ERR_HTTP_AUTH);
        EXPECT_EQ(peer.Requests().size(), 3u);
    }
}

TEST(HttpClientAuth, ChallengeThatCannotBeAnsweredGetsNoCredentials) {
    for (const std::string& header :
         {std::string("WWW-Authenticate: Negotiate abc==\r\n"), std::string("WWW-Authenticate: Digest realm=\"open\r\n"),
          std::string("WWW-Authenticate: Digest realm=\"r\", nonce=\"n\"\r\n"), std::string()}) {
        ScriptedPeer peer({Reply(401, header), Reply(200, "", "no")});
        HttpResult r = Get(peer.port());
        EXPECT_EQ(r.result, QVX_ERR_HTTP_AUTH) << header;
        auto requests = peer.Requests();
        ASSERT_EQ(requests.size(), 1u) << header;
        EXPECT_EQ(requests[0].find("Authorization"), std::string::npos) << header;
    }
}

// The simulator in each of its modes, with the client of the library.
class SimulatorWebAuth : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim_ = new DevsimProcess;
        std::string site = "[site]\nloop_frames=25\n";
        for (const char* mode : {"basic", "digest", "digest-md5", "digest-sha256"})
            site += std::string("[device]\nname=") + mode + "\nfirmware=V27.1.0 build 20260101\nuser=admin\n"
                    "password=pw\nweb_auth=" + mode + "\nchannels=1\nmain=64x48@32\nsub=off\nkey_interval=25\n";
        WriteText(sim_->dir() / "site.ini", site);
        std::string error;
        ASSERT_TRUE(sim_->Start({"--site", sim_->dir() / "site.ini", "--quiet"}, &error)) << error;
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
    }
    static int WebPort(size_t device) { return sim_->device(device).webPort; }
    static DevsimProcess* sim_;
};
DevsimProcess* SimulatorWebAuth::sim_ = nullptr;

// One raw exchange with a web port; the whole reply.
std::string RawExchange(int port, const std::string& request) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buf[4096];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) != 1) break;
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            reply.append(buf, size_t(n));
        }
    }
    ::close(fd);
    return reply;
}

TEST_F(SimulatorWebAuth, EachModeAsksForItsSchemeAndLetsTheRightPasswordIn) {
    const char* expected[] = {"Basic", "Digest", "Digest", "Digest"};
    for (size_t d = 0; d < 4; ++d) {
        SCOPED_TRACE(sim_->device(d).name);
        HttpResult r = Get(WebPort(d));
        EXPECT_EQ(r.result, QVX_OK);
        EXPECT_NE(r.body.find("var devsupx=\"1\""), std::string::npos) << r.body;
        HttpResult denied = Get(WebPort(d), "wrong");
        EXPECT_EQ(denied.result, QVX_ERR_HTTP_AUTH);
        EXPECT_EQ(denied.status, 401);
        std::string reply = RawExchange(WebPort(d), std::string("GET ") + kProbe + " HTTP/1.1\r\nHost: x\r\n\r\n");
        sdk::HttpHead head;
        ASSERT_TRUE(sdk::ParseHttpHead(reply.substr(0, reply.find("\r\n\r\n") + 2), &head)) << reply;
        EXPECT_EQ(head.status, 401);
        ASSERT_FALSE(head.authenticate.empty());
        EXPECT_EQ(head.authenticate[0].rfind(expected[d], 0), 0u) << head.authenticate[0];
    }
    // The two-algorithm mode names SHA-256 first; the single ones offer only theirs.
    std::string both = RawExchange(WebPort(1), std::string("GET ") + kProbe + " HTTP/1.1\r\n\r\n");
    sdk::HttpHead head;
    ASSERT_TRUE(sdk::ParseHttpHead(both.substr(0, both.find("\r\n\r\n") + 2), &head));
    ASSERT_EQ(head.authenticate.size(), 2u);
    EXPECT_NE(head.authenticate[0].find("algorithm=SHA-256"), std::string::npos);
    EXPECT_NE(head.authenticate[1].find("algorithm=MD5"), std::string::npos);
}

TEST_F(SimulatorWebAuth, DigestCredentialsAreBoundToTheirPathNonceAndAlgorithm) {
    int port = WebPort(3);  // SHA-256 only
    std::string first = RawExchange(port, std::string("GET ") + kProbe + " HTTP/1.1\r\n\r\n");
    sdk::HttpHead head;
    ASSERT_TRUE(sdk::ParseHttpHead(first.substr(0, first.find("\r\n\r\n") + 2), &head));
    std::vector<sdk::AuthParams> offered;
    ASSERT_TRUE(sdk::ParseChallenges(head.authenticate.at(0), &offered));
    auto send = [&](const std::string& target, const std::string& authorization) {
        std::string reply = RawExchange(port, "GET " + target + " HTTP/1.1\r\nAuthorization: " + authorization +
                                                  "\r\n\r\n");
        return reply.substr(0, 12);
    };
    std::string good = sdk::AuthorizationFor(offered[0], "admin", "pw", "GET", kProbe, "c1");
    EXPECT_EQ(send(kProbe, good), "HTTP/1.1 200");
    // Credentials made for one path do not open another.
    EXPECT_EQ(send("/cgi-bin/hi3510/gettplogs.cgi?-stime=20260101000000&-etime=20260101000100&", good),
              "HTTP/1.1 401");
    // A forged nonce, or MD5 where only SHA-256 is offered, is refused.
    sdk::AuthParams forged = offered[0];
    forged.params["nonce"] = std::string(48, 'a');
    EXPECT_EQ(send(kProbe, sdk::AuthorizationFor(forged, "admin", "pw", "GET", kProbe, "c1")), "HTTP/1.1 401");
    sdk::AuthParams md5 = offered[0];
    md5.params["algorithm"] = "MD5";
    EXPECT_EQ(send(kProbe, sdk::AuthorizationFor(md5, "admin", "pw", "GET", kProbe, "c1")), "HTTP/1.1 401");
    EXPECT_EQ(send(kProbe, "Basic YWRtaW46cHc="), "HTTP/1.1 401");  // a Digest device takes no Basic
}

// Runs a program found on PATH with its output in a pipe. An empty result when it is missing.
struct Child {
    pid_t pid = -1;
    int out = -1;
    static bool OnPath(const std::string& name) {
        return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
    }
    bool Start(std::vector<std::string> args) {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        out = pipeFds[0];
        if (rc != 0) pid = -1;
        return rc == 0;
    }
    // Output up to a line end (or everything until the end when wholeOutput).
    std::string Read(bool wholeOutput, int timeoutMs = 15000) {
        std::string text;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline && (wholeOutput || text.find('\n') == std::string::npos)) {
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, 100) != 1) continue;
            char buf[1024];
            ssize_t n = ::read(out, buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, size_t(n));
        }
        return text;
    }
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
        if (out >= 0) ::close(out);
    }
};

TEST_F(SimulatorWebAuth, CurlLogsInToTheSimulatorWithDigest) {
    if (!Child::OnPath("curl")) GTEST_SKIP() << "curl is not installed";
    auto curl = [&](size_t device, const char* password, const char* extra) {
        Child c;
        std::string url = "http://127.0.0.1:" + std::to_string(WebPort(device)) + kProbe;
        EXPECT_TRUE(c.Start({"curl", "-s", "-S", "--max-time", "10", extra, "-u", std::string("admin:") + password,
                             "-w", "\n%{http_code}", url}));
        std::string text = c.Read(true);
        ::waitpid(c.pid, nullptr, 0);
        c.pid = -1;
        return text;
    };
    for (size_t d : {1, 2, 3}) {  // both algorithms, MD5 alone, SHA-256 alone
        SCOPED_TRACE(sim_->device(d).name);
        std::string ok = curl(d, "pw", "--digest");
        EXPECT_NE(ok.find("var devsupx=\"1\""), std::string::npos) << ok;
        EXPECT_EQ(ok.substr(ok.size() - 3), "200") << ok;
        std::string denied = curl(d, "wrong", "--digest");
        EXPECT_EQ(denied.substr(denied.size() - 3), "401") << denied;
    }
    std::string basic = curl(0, "pw", "--basic");
    EXPECT_EQ(basic.substr(basic.size() - 3), "200") << basic;
}

TEST(HttpClientAuth, ClientLogsInToAnIndependentDigestServer) {
    if (!Child::OnPath("python3")) GTEST_SKIP() << "python3 is not installed";
    auto login = [](const char* algorithms, const char* password) {
        Child server;
        EXPECT_TRUE(server.Start({"python3", OCV_DIGEST_PEER, "admin", "pw", algorithms}));
        std::string line = server.Read(false);
        int port = 0;
        EXPECT_EQ(std::sscanf(line.c_str(), "port %d", &port), 1) << line;
        HttpResult first = Get(port, password);
        HttpResult second = Get(port, password);
        return std::make_pair(first, second);
    };
    // MD5 named first: the client still takes SHA-256; every request began without credentials.
    auto sha = login("MD5,SHA-256", "pw");
    EXPECT_EQ(sha.first.result, QVX_OK);
    EXPECT_EQ(sha.first.body, "accepted SHA-256 1");
    EXPECT_EQ(sha.second.body, "accepted SHA-256 2");
    EXPECT_EQ(login("MD5", "pw").first.body, "accepted MD5 1");
    auto denied = login("SHA-256", "wrong");
    EXPECT_EQ(denied.first.result, QVX_ERR_HTTP_AUTH);
    EXPECT_EQ(denied.second.status, 401);
}

}  // namespace
}  // namespace ocv::test
