// The standard-camera driver against the simulator's standard faces (ONVIF on the web port,
// RTSP per device), started as a child process: login through ONVIF with the device's channels,
// a wrong password told apart, each channel's streams found through the media profiles, PTZ
// moves and presets, alarms pulled from a pull point, a snapshot, and an "RTSP URL" login on
// stored URLs of the simulator's RTSP server.
#include <turbojpeg.h>

#include <array>
#include <cstring>

#include "base/media_types.h"
#include "tests/sdk/sdk_test_support.h"

namespace ocv::test {
namespace {

struct Frames {
    std::mutex mutex;
    std::vector<StreamInfo> headers;
    size_t video = 0, audio = 0, keys = 0;
    static void Callback(QVX_HANDLE, int32_t kind, const uint8_t* data, int32_t length, intptr_t user) {
        auto* self = reinterpret_cast<Frames*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        if (kind == QVX_DATA_STREAM_INFO && length == int32_t(sizeof(StreamInfo))) {
            StreamInfo info;
            std::memcpy(&info, data, sizeof info);
            self->headers.push_back(info);
            return;
        }
        if (kind != QVX_DATA_FRAME || length < 16) return;
        FrameHeader h;
        std::memcpy(&h, data, sizeof h);
        if (h.kind == kFrameKindVideo) {
            ++self->video;
            self->keys += h.frameType == 1;
        } else {
            ++self->audio;
        }
    }
    size_t Video() {
        std::lock_guard<std::mutex> lock(mutex);
        return video;
    }
};

struct Alarms {
    std::mutex mutex;
    std::vector<std::array<int32_t, 3>> events;  // channel, type, state
    static void Callback(QVX_HANDLE, int32_t channel, int32_t type, int32_t state, const char*, int32_t,
                         intptr_t user) {
        auto* self = reinterpret_cast<Alarms*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->events.push_back({channel, type, state});
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return events.size();
    }
};

class SimulatedStandardCamera : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(QVX_SDK_Init(), QVX_OK);
        ASSERT_EQ(QVX_SDK_SetSupervision(300, 3000, 300, 3000), QVX_OK);
        ASSERT_EQ(QVX_SDK_SetStreamUrlCallBack(&SimulatedStandardCamera::StoredUrl, nullptr), QVX_OK);
        sim_ = new DevsimProcess;
        std::string error;
        ASSERT_TRUE(sim_->Start({"--devices", "1", "--name", "CAM", "--channels", "2", "--user", "admin", "--password",
                                 "kestr", "--onvif", "--rtsp-base-port", "0", "--loop-frames", "50"},
                                &error))
            << error;
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
        QVX_SDK_Cleanup();
    }

    static int32_t StoredUrl(const char*, uint16_t port, int32_t channel, int32_t streamType, char* url,
                             uint32_t size, void*) {
        if (!sim_ || port != uint16_t(sim_->device(0).rtspPort)) return -1;
        std::string stored = "rtsp://127.0.0.1:" + std::to_string(port) + "/ch" + std::to_string(channel) +
                             (streamType == 0 ? "/main" : "/sub");
        if (stored.size() >= size) return -1;
        std::memcpy(url, stored.c_str(), stored.size() + 1);
        return 0;
    }

    static QVX_HANDLE Login(uint8_t protocol, const char* password, int32_t* rc, QVX_DEVICE_INFO* info) {
        const auto& d = sim_->device(0);
        int port = protocol == QVX_PROTOCOL_ONVIF ? d.webPort : d.rtspPort;
        QVX_HANDLE h = 0;
        *rc = QVX_SDK_Login(&h, "127.0.0.1", uint16_t(port), "admin", password, protocol, 1, info);
        return h;
    }

    static QVX_HANDLE Play(QVX_HANDLE login, int channel, int streamType, Frames* f) {
        uint32_t rq[QVX_REQUEST_WORDS] = {};
        rq[1] = uint32_t(channel);
        rq[2] = uint32_t(streamType);
        rq[4] = 3;
        QVX_HANDLE stream = 0;
        EXPECT_EQ(QVX_SDK_RealPlay(login, rq, &Frames::Callback, reinterpret_cast<intptr_t>(f), &stream), QVX_OK);
        return stream;
    }

    static DevsimProcess* sim_;
};

DevsimProcess* SimulatedStandardCamera::sim_ = nullptr;

TEST_F(SimulatedStandardCamera, OnvifLoginCountsChannelsAndTellsAWrongPasswordFromNobody) {
    ASSERT_GT(sim_->device(0).rtspPort, 0) << "the simulator names its RTSP port";
    QVX_DEVICE_INFO info{};
    int32_t rc = 0;
    QVX_HANDLE login = Login(QVX_PROTOCOL_ONVIF, "kestr", &rc, &info);
    ASSERT_EQ(rc, QVX_OK);
    EXPECT_EQ(info.channelCount, 2u) << "one channel per video source";
    EXPECT_EQ(QVX_SDK_Logout(login), QVX_OK);
    EXPECT_EQ(Login(QVX_PROTOCOL_ONVIF, "wrong", &rc, &info), 0);
    EXPECT_EQ(rc, QVX_ERR_PASSWORD);
    QVX_HANDLE h = 0;
    EXPECT_EQ(QVX_SDK_Login(&h, "127.0.0.1", uint16_t(FreePort()), "admin", "kestr", QVX_PROTOCOL_ONVIF, 1, &info),
              QVX_ERR_CONNECT);
}

TEST_F(SimulatedStandardCamera, EachChannelsMainAndSubStreamPlayWithTheirSizesAndALawSound) {
    int32_t rc = 0;
    QVX_DEVICE_INFO info{};
    QVX_HANDLE login = Login(QVX_PROTOCOL_ONVIF, "kestr", &rc, &info);
    ASSERT_EQ(rc, QVX_OK);
    Frames main1, sub0;
    QVX_HANDLE a = Play(login, 1, 0, &main1);
    QVX_HANDLE b = Play(login, 0, 1, &sub0);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    EXPECT_TRUE(WaitUntil([&] { return main1.Video() >= 60 && sub0.Video() >= 60; }, 20000))
        << main1.Video() << " " << sub0.Video();
    auto report = sim_->Control("report CAM");
    bool both = false;
    for (auto& line : report) both |= line == "rtsp 2";
    EXPECT_TRUE(both) << "the device counts two RTSP streams playing";
    EXPECT_EQ(QVX_SDK_StopRealPlay(a), QVX_OK);
    EXPECT_EQ(QVX_SDK_StopRealPlay(b), QVX_OK);
    for (Frames* f : {&main1, &sub0}) {
        std::lock_guard<std::mutex> lock(f->mutex);
        ASSERT_EQ(f->headers.size(), 1u);
        EXPECT_EQ(f->headers[0].videoCodec, kVideoCodecH264);
        EXPECT_EQ(f->headers[0].audioEncoding, kAudioG711ALaw);
        EXPECT_GE(f->keys, 2u) << "a key picture every two seconds";
        EXPECT_GT(f->audio, 10u);
    }
    EXPECT_EQ(main1.headers[0].width, 640u);
    EXPECT_EQ(main1.headers[0].height, 360u);
    EXPECT_EQ(sub0.headers[0].width, 320u);
    EXPECT_EQ(sub0.headers[0].height, 180u);
    EXPECT_EQ(QVX_SDK_Logout(login), QVX_OK);
}

TEST_F(SimulatedStandardCamera, PtzMovesStopsAndPresetsReachTheDeviceAsOnvifOperations) {
    int32_t rc = 0;
    QVX_DEVICE_INFO info{};
    QVX_HANDLE login = Login(QVX_PROTOCOL_ONVIF, "kestr", &rc, &info);
    ASSERT_EQ(rc, QVX_OK);
    ASSERT_TRUE(sim_->ControlOk("clear CAM"));
    EXPECT_EQ(QVX_SDK_PTZControl(login, 1, QVX_PTZ_UP, 0, 7), QVX_OK);
    EXPECT_EQ(QVX_SDK_PTZControl(login, 1, QVX_PTZ_UP, 1, 7), QVX_OK);
    EXPECT_EQ(QVX_SDK_PTZPreset(login, 0, QVX_PTZ_PRESET_SET, 3), QVX_OK);
    EXPECT_EQ(QVX_SDK_PTZPreset(login, 0, QVX_PTZ_PRESET_GOTO, 3), QVX_OK);
    EXPECT_EQ(QVX_SDK_PTZPreset(login, 0, QVX_PTZ_PRESET_CLEAR, 3), QVX_OK);
    // A preset the device does not know is the device's refusal.
    EXPECT_EQ(QVX_SDK_PTZPreset(login, 0, QVX_PTZ_PRESET_GOTO, 4), QVX_ERR_DEVICE);
    auto r = sim_->Control("report CAM");
    std::vector<std::string> lines;
    for (auto& line : r)
        if (line.rfind("onvif-", 0) == 0) lines.push_back(line);
    std::vector<std::string> expected = {"onvif-ptz 1 move 0.00 1.00 0.00", "onvif-ptz 1 stop", "onvif-preset 0 set 3",
                                         "onvif-preset 0 goto 3", "onvif-preset 0 remove 3"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(QVX_SDK_Logout(login), QVX_OK);
}

TEST_F(SimulatedStandardCamera, AlarmsTheDeviceRaisesArePulledWithChannelTypeAndState) {
    int32_t rc = 0;
    QVX_DEVICE_INFO info{};
    QVX_HANDLE login = Login(QVX_PROTOCOL_ONVIF, "kestr", &rc, &info);
    ASSERT_EQ(rc, QVX_OK);
    Alarms alarms;
    uint32_t request[QVX_REQUEST_WORDS] = {};
    request[5] = 4;
    QVX_HANDLE events = 0;
    ASSERT_EQ(QVX_SDK_RealPlayV3(login, request, nullptr, nullptr, &Alarms::Callback,
                                 reinterpret_cast<intptr_t>(&alarms), &events),
              QVX_OK);
    // The subscription exists once the device counts it; alarms raised before would be lost.
    ASSERT_TRUE(WaitUntil([&] {
        auto r = sim_->Control("alarm CAM 0 audio");  // counted, but audio alarms do not reach pull points
        return r.size() == 1 && r[0] == "OK 0 sent to 1";
    }, 10000)) << sim_->log();
    ASSERT_TRUE(sim_->ControlOk("alarm CAM 1 motion on"));
    ASSERT_TRUE(sim_->ControlOk("alarm CAM 0 input on"));
    ASSERT_TRUE(sim_->ControlOk("alarm CAM 1 motion off"));
    ASSERT_TRUE(WaitUntil([&] { return alarms.Count() >= 3; }, 10000)) << alarms.Count();
    {
        std::lock_guard<std::mutex> lock(alarms.mutex);
        ASSERT_EQ(alarms.events.size(), 3u);
        EXPECT_EQ(alarms.events[0], (std::array<int32_t, 3>{1, QVX_EVENT_MOTION, 1}));
        EXPECT_EQ(alarms.events[1], (std::array<int32_t, 3>{0, QVX_EVENT_ALARM_INPUT, 1}));
        EXPECT_EQ(alarms.events[2], (std::array<int32_t, 3>{1, QVX_EVENT_MOTION, 0}));
    }
    EXPECT_EQ(QVX_SDK_StopRealPlay(events), QVX_OK);
    EXPECT_EQ(QVX_SDK_Logout(login), QVX_OK);
}

TEST_F(SimulatedStandardCamera, SnapshotIsAJpegOfTheChannelsMainSize) {
    int32_t rc = 0;
    QVX_DEVICE_INFO info{};
    QVX_HANDLE login = Login(QVX_PROTOCOL_ONVIF, "kestr", &rc, &info);
    ASSERT_EQ(rc, QVX_OK);
    uint32_t request[QVX_REQUEST_WORDS] = {};
    request[0] = 1;
    request[1] = 1;
    std::vector<uint8_t> jpeg(1 << 20);
    uint32_t length = uint32_t(jpeg.size());
    ASSERT_EQ(QVX_SDK_CaptureJPEGPictureV2(login, request, jpeg.data(), &length), QVX_OK);
    ASSERT_GT(length, 100u);
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, sub = 0, cs = 0;
    EXPECT_EQ(tjDecompressHeader3(tj, jpeg.data(), length, &w, &h, &sub, &cs), 0);
    tjDestroy(tj);
    EXPECT_GT(w, 0);
    EXPECT_GT(h, 0);
    EXPECT_EQ(QVX_SDK_Logout(login), QVX_OK);
}

TEST_F(SimulatedStandardCamera, RtspUrlDevicePlaysTheStoredUrlsAndTheDeviceCanCutIt) {
    int32_t rc = 0;
    QVX_DEVICE_INFO info{};
    EXPECT_EQ(Login(QVX_PROTOCOL_RTSP_URL, "wrong", &rc, &info), 0);
    EXPECT_EQ(rc, QVX_ERR_PASSWORD) << "the stored URL of channel 0 is described with the credentials";
    QVX_HANDLE login = Login(QVX_PROTOCOL_RTSP_URL, "kestr", &rc, &info);
    ASSERT_EQ(rc, QVX_OK);
    Frames sub1;
    QVX_HANDLE stream = Play(login, 1, 1, &sub1);
    ASSERT_NE(stream, 0);
    ASSERT_TRUE(WaitUntil([&] { return sub1.Video() >= 25; }, 15000)) << sub1.Video();
    {
        std::lock_guard<std::mutex> lock(sub1.mutex);
        ASSERT_FALSE(sub1.headers.empty());
        EXPECT_EQ(sub1.headers[0].width, 320u);
    }
    // The device closes the stream: it comes back by itself with a new header.
    ASSERT_TRUE(sim_->ControlOk("cutstream CAM 1 sub"));
    EXPECT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> lock(sub1.mutex);
        return sub1.headers.size() >= 2;
    }, 15000));
    size_t before = sub1.Video();
    EXPECT_TRUE(WaitUntil([&] { return sub1.Video() >= before + 25; }, 10000));
    EXPECT_EQ(QVX_SDK_StopRealPlay(stream), QVX_OK);
    EXPECT_EQ(QVX_SDK_Logout(login), QVX_OK);
}

}  // namespace
}  // namespace ocv::test
