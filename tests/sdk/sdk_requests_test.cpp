// Requests on a login: configuration records, PTZ, snapshots, talk and the CGI requests of
// screening cameras.
#include <turbojpeg.h>

#include <algorithm>
#include <cstring>

#include "sdk/http_client.h"
#include "sdk/wire_format.h"
#include "tests/sdk/sdk_test_support.h"

namespace ocv::test {
namespace {

class SdkRequests : public SdkSite {};

bool ReportHas(DevsimProcess* sim, const std::string& device, const std::string& line) {
    auto r = sim->Control("report " + device);
    return std::find(r.begin(), r.end(), line) != r.end();
}

TEST_F(SdkRequests, ConfigurationRecordsRoundTripWithSizesEnforced) {
    QVX_HANDLE login = LoginTo(kCam);
    struct Command {
        uint32_t command;
        uint32_t size;
        bool writable;
    };
    const Command commands[] = {
        {QVX_CMD_COLOR, 20, true},    {QVX_CMD_IMAGE, 40, true},    {QVX_CMD_QUALITY, 56, true},
        {QVX_CMD_OSD, 88, true},      {QVX_CMD_PTZ_PORT, 40, true}, {QVX_CMD_NETWORK, 276, true},
        {QVX_CMD_CAPABILITY, 412, false}, {QVX_CMD_MOTION, 276, true}, {QVX_CMD_ALARM_INPUT, 20, true},
        {QVX_CMD_STREAM_CHOICE, 4, true}, {QVX_CMD_CHANNEL_STATUS, 81932, false},
    };
    for (const auto& c : commands) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(QVX_SDK_ConfigSize(c.command), int32_t(c.size));
        std::vector<uint8_t> buf(c.size + 1, 0);
        EXPECT_EQ(QVX_SDK_GetConfig(login, 1, c.command, buf.data(), c.size - 1), QVX_ERR_SIZE);
        EXPECT_EQ(QVX_SDK_GetConfig(login, 1, c.command, buf.data(), c.size + 1), QVX_ERR_SIZE);
        EXPECT_EQ(QVX_SDK_SetConfig(login, 1, c.command, buf.data(), c.size + 1),
                  c.writable ? QVX_ERR_SIZE : QVX_ERR_FAILED);
        ASSERT_EQ(QVX_SDK_GetConfig(login, 1, c.command, buf.data(), c.size), QVX_OK);
        if (!c.writable) continue;
        std::vector<uint8_t> edited(buf.begin(), buf.begin() + c.size);
        if (c.command == QVX_CMD_STREAM_CHOICE) {
            wire::PutU32(edited.data(), 0);  // sub stream
        } else if (c.command == QVX_CMD_QUALITY) {
            wire::PutU32(edited.data() + 16, 777);  // bit rate, stream index at byte 4 stays 0
        } else {
            edited[c.size - 1] ^= 0x5A;
            edited[8] ^= 0x33;
        }
        ASSERT_EQ(QVX_SDK_SetConfig(login, 1, c.command, edited.data(), c.size), QVX_OK);
        std::vector<uint8_t> back(c.size, 0xEE);
        if (c.command == QVX_CMD_QUALITY) wire::PutU32(back.data() + 4, 0);
        ASSERT_EQ(QVX_SDK_GetConfig(login, 1, c.command, back.data(), c.size), QVX_OK);
        EXPECT_EQ(back, edited);
        // Channel 0 keeps its own record.
        std::vector<uint8_t> other(c.size, 0);
        ASSERT_EQ(QVX_SDK_GetConfig(login, 0, c.command, other.data(), c.size), QVX_OK);
        if (c.command != QVX_CMD_NETWORK) {
            EXPECT_NE(other, edited);
        }
        char line[64];
        std::snprintf(line, sizeof line, "config 1 0x%04x %u", c.command, c.size);
        EXPECT_TRUE(ReportHas(sim_, "CAM", line)) << line;
    }
    uint8_t bad[4];
    wire::PutU32(bad, 3);
    EXPECT_EQ(QVX_SDK_SetConfig(login, 0, QVX_CMD_STREAM_CHOICE, bad, 4), QVX_ERR_DEVICE);
    uint8_t unknown[8] = {};
    EXPECT_EQ(QVX_SDK_GetConfig(login, 0, 0x1999, unknown, 8), QVX_ERR_FAILED);
    EXPECT_EQ(QVX_SDK_GetConfig(login, 64, QVX_CMD_COLOR, unknown, 20), QVX_ERR_FAILED);
    QVX_SDK_Logout(login);
}

TEST_F(SdkRequests, QualityRecordSelectsTheStreamAndCapabilityCountsStreams) {
    QVX_HANDLE login = LoginTo(kCam);
    uint8_t cap[QVX_CMD_CAPABILITY_SIZE] = {};
    ASSERT_EQ(QVX_SDK_GetConfig(login, 0, QVX_CMD_CAPABILITY, cap, sizeof cap), QVX_OK);
    EXPECT_EQ(wire::GetU32(cap + 4), 2u);  // main and sub
    uint8_t q[QVX_CMD_QUALITY_SIZE] = {};
    wire::PutU32(q + 4, 1);
    ASSERT_EQ(QVX_SDK_GetConfig(login, 0, QVX_CMD_QUALITY, q, sizeof q), QVX_OK);
    EXPECT_EQ(wire::GetU32(q + 4), 1u);
    EXPECT_EQ(wire::GetU32(q + 32), 96u);
    EXPECT_EQ(wire::GetU32(q + 36), 64u);
    EXPECT_EQ(wire::GetU32(q + 12), 25u);
    std::memset(q, 0, sizeof q);
    ASSERT_EQ(QVX_SDK_GetConfig(login, 0, QVX_CMD_QUALITY, q, sizeof q), QVX_OK);
    EXPECT_EQ(wire::GetU32(q + 32), 160u);
    wire::PutU32(q + 4, 2);  // no third stream
    EXPECT_EQ(QVX_SDK_GetConfig(login, 0, QVX_CMD_QUALITY, q, sizeof q), QVX_ERR_DEVICE);
    std::memset(q, 0, sizeof q);  // channel 1 has a main stream of its own size
    ASSERT_EQ(QVX_SDK_GetConfig(login, 1, QVX_CMD_QUALITY, q, sizeof q), QVX_OK);
    EXPECT_EQ(wire::GetU32(q + 32), 128u);
    EXPECT_EQ(wire::GetU32(q + 36), 72u);

    // The clock record (4117 = 0x1015) takes a time and reads it back running from there.
    uint8_t clock[QVX_CMD_TIME_SIZE] = {};
    uint32_t set[6] = {2025, 3, 4, 5, 6, 7};
    for (int i = 0; i < 6; ++i) wire::PutU32(clock + 4 * i, set[i]);
    ASSERT_EQ(QVX_SDK_SetConfig(login, 0, QVX_CMD_TIME, clock, sizeof clock), QVX_OK);
    std::memset(clock, 0, sizeof clock);
    ASSERT_EQ(QVX_SDK_GetConfig(login, 0, QVX_CMD_CLOCK, clock, sizeof clock), QVX_OK);
    EXPECT_EQ(wire::GetU32(clock), 2025u);
    EXPECT_EQ(wire::GetU32(clock + 4), 3u);
    EXPECT_EQ(wire::GetU32(clock + 8), 4u);
    EXPECT_EQ(wire::GetU32(clock + 12), 5u);
    QVX_SDK_Logout(login);
}

TEST_F(SdkRequests, PtzPresetAndAlarmChannelReachTheDevice) {
    QVX_HANDLE login = LoginTo(kCam);
    ASSERT_TRUE(sim_->ControlOk("clear CAM"));
    EXPECT_EQ(QVX_SDK_PTZControl(login, 1, 21, 0, 5), QVX_OK);
    EXPECT_EQ(QVX_SDK_PTZControl(login, 1, 21, 1, 5), QVX_OK);
    EXPECT_EQ(QVX_SDK_PTZPreset(login, 0, 39, 5), QVX_OK);
    EXPECT_EQ(QVX_SDK_PTZControl(login, 70, 21, 0, 5), QVX_ERR_FAILED);
    QVX_HANDLE alarm = 0;
    ASSERT_EQ(QVX_SDK_SetupAlarmChan(login, 1, &alarm), QVX_OK);
    EXPECT_GT(alarm, 0);
    EXPECT_EQ(QVX_SDK_CloseAlarmChan(alarm), QVX_OK);
    EXPECT_EQ(QVX_SDK_CloseAlarmChan(alarm), QVX_ERR_HANDLE);
    auto r = sim_->Control("report CAM");
    std::vector<std::string> expected = {"ptz 1 21 0 5", "ptz 1 21 1 5", "preset 0 39 5", "alarmchan open 1",
                                         "alarmchan close 1"};
    ASSERT_GE(r.size(), expected.size() + 1);
    EXPECT_EQ(std::vector<std::string>(r.begin() + 1, r.begin() + 1 + long(expected.size())), expected);
    QVX_SDK_Logout(login);
}

TEST_F(SdkRequests, SnapshotIsAJpegOfTheMainStreamSize) {
    QVX_HANDLE login = LoginTo(kCam);
    uint32_t request[QVX_REQUEST_WORDS] = {};
    request[0] = 1;  // as the device service asks: kind 1, channel 0, picture number in word 9
    request[9] = 12;
    std::vector<uint8_t> jpeg(1 << 20);
    uint32_t length = uint32_t(jpeg.size());
    ASSERT_EQ(QVX_SDK_CaptureJPEGPictureV2(login, request, jpeg.data(), &length), QVX_OK);
    ASSERT_GT(length, 100u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, sub = 0, cs = 0;
    EXPECT_EQ(tjDecompressHeader3(tj, jpeg.data(), length, &w, &h, &sub, &cs), 0);
    tjDestroy(tj);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 96);
    uint32_t small = 16;
    EXPECT_EQ(QVX_SDK_CaptureJPEGPictureV2(login, request, jpeg.data(), &small), QVX_ERR_NO_ROOM);
    request[1] = 9;  // no such channel
    length = uint32_t(jpeg.size());
    EXPECT_EQ(QVX_SDK_CaptureJPEGPictureV2(login, request, jpeg.data(), &length), QVX_ERR_DEVICE);
    request[1] = 1;
    request[0] = 2;  // no such capture kind
    EXPECT_EQ(QVX_SDK_CaptureJPEGPictureV2(login, request, jpeg.data(), &length), QVX_ERR_DEVICE);
    QVX_SDK_Logout(login);
}

struct AudioSink {
    std::atomic<int> opens{0}, closes{0}, samples{0};
    std::atomic<int> rate{0};
    static int32_t Open(void* c, int32_t rate, int32_t) {
        static_cast<AudioSink*>(c)->opens++;
        static_cast<AudioSink*>(c)->rate = rate;
        return 0;
    }
    static void Write(void* c, const int16_t*, int32_t n) { static_cast<AudioSink*>(c)->samples += n; }
    static void Close(void* c) { static_cast<AudioSink*>(c)->closes++; }
};

TEST_F(SdkRequests, TwoWayTalkPlaysDeviceAudioAndBroadcastOnlySends) {
    AudioSink sink;
    QVX_AudioOutput out{&sink, &AudioSink::Open, &AudioSink::Write, &AudioSink::Close};
    ASSERT_EQ(QVX_SDK_SetAudioOutput(&out), QVX_OK);
    QVX_HANDLE login = LoginTo(kCam);
    ASSERT_TRUE(sim_->ControlOk("clear CAM"));
    QVX_HANDLE talk = 0;
    ASSERT_EQ(QVX_SDK_StartVoiceCom(login, 0, nullptr, nullptr, 1, &talk), QVX_OK);
    EXPECT_EQ(sink.opens.load(), 1);
    EXPECT_EQ(sink.rate.load(), 8000);
    std::vector<uint8_t> voice(320, 0xD5);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(QVX_SDK_VoiceComSendData(talk, voice.data(), uint32_t(voice.size())), QVX_OK);
    EXPECT_EQ(QVX_SDK_VoiceComSendData(talk, voice.data(), 0), QVX_ERR_FAILED);
    EXPECT_TRUE(WaitUntil([&] { return sink.samples.load() >= 640; }, 15000));
    EXPECT_TRUE(WaitUntil([&] { return ReportHas(sim_, "CAM", "talkbytes 960"); }, 15000));
    ASSERT_EQ(QVX_SDK_StopVoiceCom(talk), QVX_OK);
    EXPECT_EQ(sink.closes.load(), 1);
    EXPECT_EQ(QVX_SDK_VoiceComSendData(talk, voice.data(), 320), QVX_ERR_HANDLE);

    // Broadcast: the output is not opened and nothing comes back, the uplink still arrives.
    int before = sink.samples.load();
    QVX_HANDLE cast = 0;
    ASSERT_EQ(QVX_SDK_StartVoiceCom(login, 0, nullptr, nullptr, 0, &cast), QVX_OK);
    EXPECT_EQ(QVX_SDK_VoiceComSendData(cast, voice.data(), 320), QVX_OK);
    EXPECT_TRUE(WaitUntil([&] { return ReportHas(sim_, "CAM", "talkbytes 1280"); }, 15000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(sink.samples.load(), before);
    EXPECT_EQ(sink.opens.load(), 1);
    EXPECT_EQ(QVX_SDK_StopVoiceCom(cast), QVX_OK);
    EXPECT_TRUE(ReportHas(sim_, "CAM", "talk open mode 0"));
    EXPECT_EQ(QVX_SDK_StartVoiceCom(login, 0, nullptr, nullptr, 2, &cast), QVX_ERR_FAILED);
    QVX_SDK_SetAudioOutput(nullptr);
    QVX_SDK_Logout(login);
}

// The paged query hands out the temperature log one line per page, up to the end mark; the
// records themselves are read by the device service (tests/device).
TEST_F(SdkRequests, TemperatureLogComesOneLinePerPageUpToTheEndMark) {
    QVX_HANDLE login = LoginTo(kThermal);
    char reply[8192];
    uint32_t length = sizeof reply;
    const char* probe = "/cgi-bin/hi3510/getdevsupportx.cgi";
    ASSERT_EQ(QVX_SDK_SendCommand(login, probe, uint32_t(std::strlen(probe)), reply, &length), QVX_OK);
    EXPECT_NE(std::strstr(reply, "var devsupx=\"1\""), nullptr) << reply;

    const char* request = "/cgi-bin/hi3510/gettplogs.cgi?-stime=20260101080000&-etime=20260101100000&";
    QVX_HANDLE query = 0;
    ASSERT_EQ(QVX_SDK_QueryDataV2(login, request, uint32_t(std::strlen(request)), &query), QVX_OK);
    std::vector<std::string> pages;
    for (;;) {
        char page[4096];
        uint32_t n = sizeof page;
        std::memset(page, '#', sizeof page);
        int r = QVX_SDK_QueryNextDataV2(query, page, &n);
        if (r != QVX_OK) {
            EXPECT_EQ(r, QVX_ERR_NO_ROOM);
            break;
        }
        ASSERT_LT(n, 4096u);
        EXPECT_EQ(page[n], '\0');
        pages.emplace_back(page, n);
        ASSERT_LT(pages.size(), 1000u);
    }
    ASSERT_EQ(pages.size(), 123u);  // the array line, one reading a minute with both ends, the end mark
    // A page is a line up to its LF; the CR before it stays.
    EXPECT_EQ(pages.front(), "var lsa=new Array();\r");
    EXPECT_EQ(pages.back(), "var endflg=1;\r");
    for (size_t i = 1; i + 1 < pages.size(); ++i) {
        EXPECT_EQ(pages[i].rfind("lsa[" + std::to_string(i - 1) + "]=", 0), 0u) << pages[i];
        EXPECT_EQ(pages[i].substr(pages[i].size() - 2), ";\r") << pages[i];
    }
    char page[64];
    uint32_t n = sizeof page;
    EXPECT_EQ(QVX_SDK_QueryNextDataV2(query, page, &n), QVX_ERR_NO_ROOM);
    EXPECT_EQ(QVX_SDK_QueryCloseV2(query), QVX_OK);
    EXPECT_EQ(QVX_SDK_QueryNextDataV2(query, page, &n), QVX_ERR_HANDLE);
    QVX_SDK_Logout(login);
}

TEST_F(SdkRequests, CgiRepliesAreBoundedAndAuthenticated) {
    QVX_HANDLE login = LoginTo(kThermal);
    // A buffer smaller than the reply: cut at its size, never past it.
    char small[9];
    std::memset(small, '#', sizeof small);
    uint32_t length = 8;
    const char* probe = "/cgi-bin/hi3510/getdevsupportx.cgi";
    ASSERT_EQ(QVX_SDK_SendCommand(login, probe, uint32_t(std::strlen(probe)), small, &length), QVX_OK);
    EXPECT_EQ(length, 8u);
    EXPECT_EQ(std::string(small, 8), "var devs");
    EXPECT_EQ(small[8], '#');
    // Unknown page, bad request text.
    char reply[256];
    length = sizeof reply;
    const char* missing = "/cgi-bin/hi3510/nothing.cgi";
    EXPECT_EQ(QVX_SDK_SendCommand(login, missing, uint32_t(std::strlen(missing)), reply, &length), QVX_ERR_HTTP);
    length = sizeof reply;
    EXPECT_EQ(QVX_SDK_SendCommand(login, "no slash", 8, reply, &length), QVX_ERR_FAILED);
    length = sizeof reply;
    EXPECT_EQ(QVX_SDK_SendCommand(login, "/a b", 4, reply, &length), QVX_ERR_FAILED);
    QVX_SDK_Logout(login);

    const auto& dev = sim_->device(kThermal);
    auto denied = sdk::HttpGet("127.0.0.1", dev.webPort, probe, "admin", "wrong", 2000, 4096);
    EXPECT_EQ(denied.result, QVX_ERR_HTTP_AUTH);
    EXPECT_EQ(denied.status, 401);
    auto cut = sdk::HttpGet("127.0.0.1", dev.webPort,
                            "/cgi-bin/hi3510/gettplogs.cgi?-stime=20260101000000&-etime=20260102000000&", "admin",
                            "hot", 2000, 1000);
    EXPECT_EQ(cut.result, QVX_OK);
    EXPECT_TRUE(cut.cut);
    EXPECT_EQ(cut.body.size(), 1000u);
    // A plain camera has no temperature data.
    QVX_HANDLE cam = LoginTo(kCam);
    length = sizeof reply;
    ASSERT_EQ(QVX_SDK_SendCommand(cam, probe, uint32_t(std::strlen(probe)), reply, &length), QVX_OK);
    EXPECT_NE(std::strstr(reply, "var devsupx=\"0\""), nullptr);
    QVX_SDK_Logout(cam);
}

}  // namespace
}  // namespace ocv::test
