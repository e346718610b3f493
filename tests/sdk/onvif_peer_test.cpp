// The simulator's ONVIF face as a client not written here sees it: the npm "onvif" package,
// driven by tests/peers/onvif_client_check.js (installed by scripts/setup into tests/peers).
// What the client did must also have reached the device: its report lists the clock it set, the
// PTZ moves and presets, and the reboot.
#include <algorithm>
#include <sstream>

#include "tests/sdk/peer_process.h"
#include "tests/sdk/sdk_test_support.h"

namespace ocv::test {
namespace {

const char* kNode = "/usr/bin/node";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(OnvifThirdPartyClient, NodeOnvifClientConnectsStreamsMovesSubscribesAndReboots) {
    if (!FileExists(kNode)) GTEST_SKIP() << "node is not installed (/usr/bin/node): the third-party ONVIF client "
                                            "cannot run";
    std::string package = std::string(OCV_PEERS_DIR) + "/node_modules/onvif/package.json";
    ASSERT_TRUE(FileExists(package)) << "the npm package \"onvif\" is missing: scripts/setup installs it into "
                                     << OCV_PEERS_DIR;
    DevsimProcess sim;
    std::string error;
    ASSERT_TRUE(sim.Start({"--devices", "1", "--name", "CAM", "--channels", "2", "--user", "operator", "--password",
                           "s3cret", "--onvif", "--rtsp-base-port", "0", "--loop-frames", "25"},
                          &error))
        << error;
    const auto& d = sim.device(0);
    PeerProcess client;
    ASSERT_TRUE(client.Start({kNode, std::string(OCV_PEERS_DIR) + "/onvif_client_check.js", "127.0.0.1",
                              std::to_string(d.webPort), "operator", "s3cret"},
                             30000))
        << client.log();
    // The client waits in a pull for this alarm.
    ASSERT_TRUE(sim.ControlOk("alarm CAM 0 motion on"));
    ASSERT_TRUE(client.Wait(30000)) << client.log();
    std::string log = client.log();
    EXPECT_EQ(client.exitStatus(), 0) << log;
    auto lines = Lines(log);
    ASSERT_TRUE(Has(lines, "done")) << log;
    EXPECT_TRUE(Has(lines, "ok wrong-password-refused NotAuthorized")) << log;
    EXPECT_TRUE(Has(lines, "ok connect profiles 4 sources 2")) << log;
    std::string rtsp = "rtsp://127.0.0.1:" + std::to_string(d.rtspPort);
    EXPECT_TRUE(Has(lines, "ok stream-uri Profile_1_sub " + rtsp + "/ch1/sub")) << log;
    EXPECT_TRUE(Has(lines, "ok snapshot-uri http://127.0.0.1:" + std::to_string(d.webPort) +
                               "/onvif/snapshot?channel=0"))
        << log;
    EXPECT_TRUE(Has(lines, "ok motion-event tns1:VideoSource/MotionAlarm on")) << log;
    auto report = sim.Control("report CAM");
    std::string setTime;
    for (auto& l : lines)
        if (l.rfind("ok set-time ", 0) == 0) setTime = l.substr(12, 19) + "Z";  // drop the milliseconds
    ASSERT_FALSE(setTime.empty()) << log;
    for (const std::string& expected :
         {"onvif time " + setTime, std::string("onvif-ptz 0 move 0.50 -0.25 0.00"), std::string("onvif-ptz 0 stop"),
          std::string("onvif-preset 0 set 1"), std::string("onvif-preset 0 goto 1"),
          std::string("onvif-preset 0 remove 1"), std::string("reboot")})
        EXPECT_TRUE(Has(report, expected)) << "missing from the device's report: " << expected;
}

}  // namespace
}  // namespace ocv::test
