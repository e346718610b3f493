// The standard-camera driver against an RTSP server that is not ours (GStreamer's
// gst-rtsp-server through tests/sdk/rtsp_peer.py), on loopback: what reaches the application
// (stream header, Annex-B access units with parameter sets on every key picture, IDR as kind 1,
// G.711 sound), a player port that decodes it, a recording that ffmpeg decodes without an error,
// a server that goes away and comes back, and the distinct results of a wrong password and of
// nobody listening.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

#include "player/player_statistics.h"
#include "player/qvx_player.h"
#include "record/record_file_reader.h"
#include "record/record_file_writer.h"
#include "sdk/annexb.h"
#include "sdk/qvx_sdk.h"
#include "base/media_types.h"
#include "base/port_slots.h"
#include "tests/sdk/peer_process.h"
#include "tests/sdk/sdk_test_support.h"

namespace ocv::test {
namespace {

const char* kPython = "/usr/bin/python3";

bool PeerAvailable(std::string* why) {
    std::string out = TempDir() / "probe.log";
    TempDir d;
    int rc = RunCommand({kPython, "-c",
                         "import gi; gi.require_version('GstRtspServer','1.0'); from gi.repository import GstRtspServer;"
                         "from gi.repository import Gst; Gst.init(None);"
                         "import sys; sys.exit(0 if Gst.ElementFactory.find('x264enc') and "
                         "Gst.ElementFactory.find('x265enc') else 3)"},
                        d / "probe.log");
    if (rc != 0) *why = "GStreamer's RTSP server or its encoders are missing (python3-gi, gir1.2-gst-rtsp-server-1.0, "
                        "gstreamer1.0-plugins-ugly/bad): " + ReadText(d / "probe.log");
    return rc == 0;
}

// Everything a stream delivers, optionally fed on into a player port and a recording.
struct Collector {
    std::mutex mutex;
    std::vector<StreamInfo> headers;
    std::vector<std::pair<FrameHeader, std::vector<uint8_t>>> frames;
    int port = 0;
    RecordFileWriter* writer = nullptr;
    bool writerOpen = false;

    static void Callback(QVX_HANDLE, int32_t kind, const uint8_t* data, int32_t length, intptr_t user) {
        auto* self = reinterpret_cast<Collector*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        if (kind == QVX_DATA_STREAM_INFO) {
            ASSERT_EQ(length, int32_t(sizeof(StreamInfo)));
            StreamInfo info;
            std::memcpy(&info, data, sizeof info);
            self->headers.push_back(info);
            if (self->writer && !self->writerOpen) {
                self->writer->SetStreamInfo(info);
                self->writerOpen = self->writer->Open(0) == 0;
            }
            return;
        }
        ASSERT_EQ(kind, QVX_DATA_FRAME);
        ASSERT_GE(length, 16);
        FrameHeader h;
        std::memcpy(&h, data, sizeof h);
        ASSERT_EQ(h.dataLength + 16, uint32_t(length));
        self->frames.push_back({h, std::vector<uint8_t>(data + 16, data + length)});
        if (self->port) {
            if (h.kind == kFrameKindVideo) QVXPlay_InputVideoData(self->port, data, length);
            else QVXPlay_InputAudioData(self->port, data, length);
        }
        if (self->writerOpen) self->writer->WriteFrame(data, uint32_t(length));
    }
    size_t VideoCount() {
        std::lock_guard<std::mutex> lock(mutex);
        size_t n = 0;
        for (auto& f : frames) n += f.first.kind == kFrameKindVideo;
        return n;
    }
};

class StandardCameraRtsp : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(QVX_SDK_Init(), QVX_OK);
        ASSERT_EQ(QVX_SDK_SetSupervision(200, 2000, 300, 3000), QVX_OK);
        exceptions_ = new ExceptionRecorder;
        ASSERT_EQ(QVX_SDK_SetExceptionCallBack(0, 0, &ExceptionRecorder::Callback, exceptions_), QVX_OK);
        ASSERT_EQ(QVX_SDK_SetStreamUrlCallBack(&StandardCameraRtsp::StoredUrl, nullptr), QVX_OK);
    }
    static void TearDownTestSuite() {
        QVX_SDK_Cleanup();
        delete exceptions_;
    }
    void SetUp() override {
        std::string why;
        if (!PeerAvailable(&why)) GTEST_SKIP() << why;
        port_ = FreePort();
        url_ = "rtsp://127.0.0.1:" + std::to_string(port_) + "/cam";
        std::lock_guard<std::mutex> lock(urlMutex_);
        storedUrl_ = url_;
    }

    bool StartPeer(const std::vector<std::string>& extra) {
        std::vector<std::string> args = {kPython, OCV_RTSP_PEER, "--port", std::to_string(port_), "--user", "admin",
                                         "--password", "pw"};
        args.insert(args.end(), extra.begin(), extra.end());
        return peer_.Start(args);
    }

    // The application's stored stream URL (what a device of the "RTSP URL" kind keeps).
    static int32_t StoredUrl(const char*, uint16_t, int32_t channel, int32_t streamType, char* url, uint32_t size,
                             void*) {
        std::lock_guard<std::mutex> lock(urlMutex_);
        if (channel != 0 || streamType != 0 || storedUrl_.size() >= size) return -1;
        std::memcpy(url, storedUrl_.c_str(), storedUrl_.size() + 1);
        return 0;
    }

    QVX_HANDLE Login(const char* password, int32_t* result) {
        QVX_HANDLE login = 0;
        QVX_DEVICE_INFO info;
        *result = QVX_SDK_Login(&login, "127.0.0.1", uint16_t(port_), "admin", password, QVX_PROTOCOL_RTSP_URL, 1, &info);
        if (*result == QVX_OK) {
            EXPECT_EQ(info.channelCount, 1u);
        }
        return login;
    }

    QVX_HANDLE Play(QVX_HANDLE login, Collector* c) {
        uint32_t rq[QVX_REQUEST_WORDS] = {};
        rq[4] = 3;
        QVX_HANDLE stream = 0;
        EXPECT_EQ(QVX_SDK_RealPlay(login, rq, &Collector::Callback, reinterpret_cast<intptr_t>(c), &stream), QVX_OK);
        return stream;
    }

    // Checks every video record of a stream as the rest of the system relies on it.
    static void CheckAccessUnits(Collector& c, sdk::VideoCodec codec) {
        std::lock_guard<std::mutex> lock(c.mutex);
        ASSERT_FALSE(c.headers.empty());
        bool first = true;
        uint32_t lastVideoTs = 0;
        int keys = 0;
        for (auto& [h, data] : c.frames) {
            if (h.kind != kFrameKindVideo) continue;
            auto nals = sdk::SplitAnnexB(data.data(), data.size(), codec);
            ASSERT_FALSE(nals.empty()) << "not Annex-B";
            int kind = sdk::PictureKind(nals, codec);
            EXPECT_EQ(uint32_t(kind), h.frameType);
            if (first) {
                EXPECT_EQ(h.frameType, 1u) << "the first picture handed on is a key picture";
            }
            first = false;
            EXPECT_GE(h.timestampMs, lastVideoTs);
            lastVideoTs = h.timestampMs;
            if (h.frameType != 1) continue;
            ++keys;
            bool vps = false, sps = false, pps = false;
            for (auto& n : nals) {
                if (codec == sdk::VideoCodec::kH264) {
                    sps |= n.type == 7;
                    pps |= n.type == 8;
                } else {
                    vps |= n.type == 32;
                    sps |= n.type == 33;
                    pps |= n.type == 34;
                }
            }
            EXPECT_TRUE(sps && pps && (vps || codec == sdk::VideoCodec::kH264)) << "key picture without parameter sets";
        }
        EXPECT_GE(keys, 2);
    }

    // Writes the video of a recording file as a raw Annex-B stream and has ffmpeg decode it.
    static void ExpectFfmpegDecodes(const std::string& recording, const char* format, const TempDir& dir) {
        RecordFileReader reader;
        ASSERT_EQ(reader.Open(recording), 0);
        std::string raw = dir / "video.raw";
        std::ofstream out(raw, std::ios::binary);
        FrameHeader h;
        std::vector<uint8_t> data;
        int video = 0;
        while (reader.Next(&h, &data)) {
            if (h.kind != kFrameKindVideo) continue;
            out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
            ++video;
        }
        out.close();
        ASSERT_GT(video, 25);
        std::string log = dir / "ffmpeg.log";
        int rc = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-f", format, "-i", raw, "-f", "null", "-"}, log);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(ReadText(log), "") << "ffmpeg reported errors decoding the recording";
    }

    void PlayRecordAndCheck(const std::vector<std::string>& peerArgs, sdk::VideoCodec codec, uint32_t codecWord,
                            uint32_t audioWord, const char* rawFormat) {
        ASSERT_TRUE(StartPeer(peerArgs)) << peer_.log();
        int32_t rc = 0;
        QVX_HANDLE login = Login("pw", &rc);
        ASSERT_EQ(rc, QVX_OK);
        TempDir dir;
        RecordFileWriter writer;
        ASSERT_EQ(writer.Create(dir / "rec.qvx"), 0);
        Collector c;
        c.writer = &writer;
        int number = TakePort();
        ASSERT_GE(number, 0);
        ASSERT_EQ(QVXPlay_InitV2(&c.port, number), 0);
        StreamInfo defaultHeader{};
        ASSERT_EQ(QVXPlay_OpenStream(c.port, &defaultHeader, sizeof defaultHeader), 0);
        ASSERT_EQ(QVXPlay_Play(c.port), 0);
        QVX_HANDLE stream = Play(login, &c);
        ASSERT_NE(stream, 0);
        EXPECT_TRUE(WaitUntil([&] { return c.VideoCount() >= 75; }, 20000)) << c.VideoCount();
        EXPECT_EQ(QVX_SDK_StopRealPlay(stream), QVX_OK);
        size_t after = c.frames.size();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(c.frames.size(), after) << "a callback ran after the stream was stopped";
        ASSERT_EQ(c.headers.size(), 1u);
        EXPECT_EQ(c.headers[0].videoCodec, codecWord);
        EXPECT_EQ(c.headers[0].width, 320u);
        EXPECT_EQ(c.headers[0].height, 240u);
        EXPECT_EQ(c.headers[0].audioEncoding, audioWord);
        CheckAccessUnits(c, codec);
        size_t audio = 0;
        for (auto& [h, d] : c.frames) {
            if (h.kind != kFrameKindAudio) continue;
            ++audio;
            ASSERT_GE(d.size(), 4u);
            uint16_t enc, bytes;
            std::memcpy(&enc, d.data(), 2);
            std::memcpy(&bytes, d.data() + 2, 2);
            EXPECT_EQ(enc, audioWord);
            EXPECT_EQ(size_t(bytes) + 4, d.size());
        }
        EXPECT_GT(audio, 10u);
        // The player decoded the live stream without damage.
        WaitUntil([&] {
            player::PortStatistics s;
            return player::GetPortStatistics(c.port, &s) == 0 && s.decodedPictures >= 50;
        }, 10000);
        player::PortStatistics stats;
        ASSERT_EQ(player::GetPortStatistics(c.port, &stats), 0);
        EXPECT_GE(stats.decodedPictures, 50u);
        EXPECT_EQ(stats.decodeErrors, 0u);
        EXPECT_EQ(stats.pictureWidth, 320);
        QVXPlay_Stop(c.port);
        QVXPlay_DeInit(c.port);
        ReleasePort(number);
        ASSERT_EQ(writer.Close(), 0);
        ExpectFfmpegDecodes(dir / "rec.qvx", rawFormat, dir);
        EXPECT_EQ(QVX_SDK_Logout(login), QVX_OK);
    }

    static ExceptionRecorder* exceptions_;
    static std::mutex urlMutex_;
    static std::string storedUrl_;
    PeerProcess peer_;
    int port_ = 0;
    std::string url_;
};

ExceptionRecorder* StandardCameraRtsp::exceptions_ = nullptr;
std::mutex StandardCameraRtsp::urlMutex_;
std::string StandardCameraRtsp::storedUrl_;

TEST_F(StandardCameraRtsp, H264WithALawPlaysAndRecordsWithParameterSetsOnEveryKeyPicture) {
    PlayRecordAndCheck({"--codec", "h264", "--audio", "pcma"}, sdk::VideoCodec::kH264, kVideoCodecH264, kAudioG711ALaw,
                       "h264");
}

TEST_F(StandardCameraRtsp, H265WithMuLawGetsParameterSetsFromTheSessionDescription) {
    // The server sends VPS, SPS and PPS only in the session description: the driver must put
    // them in front of every key picture itself, or the recording would not decode.
    PlayRecordAndCheck({"--codec", "h265", "--audio", "pcmu", "--config-interval", "0"}, sdk::VideoCodec::kH265,
                       kVideoCodecH265, kAudioG711MuLaw, "hevc");
}

TEST_F(StandardCameraRtsp, ServerStoppedAndStartedAgainReportsStreamLostThenRestored) {
    ASSERT_TRUE(StartPeer({"--audio", "none"})) << peer_.log();
    int32_t rc = 0;
    QVX_HANDLE login = Login("pw", &rc);
    ASSERT_EQ(rc, QVX_OK);
    Collector c;
    QVX_HANDLE stream = Play(login, &c);
    ASSERT_NE(stream, 0);
    ASSERT_TRUE(WaitUntil([&] { return c.VideoCount() >= 10; }, 10000));
    peer_.Stop();
    EXPECT_TRUE(exceptions_->WaitFor(login, stream, QVX_EXCEPTION_STREAM_LOST, 10000));
    EXPECT_TRUE(exceptions_->WaitFor(login, 0, QVX_EXCEPTION_LOGIN_LOST, 10000)) << "the camera is offline";
    size_t before = c.VideoCount();
    ASSERT_TRUE(StartPeer({"--audio", "none"})) << peer_.log();
    EXPECT_TRUE(exceptions_->WaitFor(login, stream, QVX_EXCEPTION_STREAM_RESTORED, 20000));
    EXPECT_TRUE(exceptions_->WaitFor(login, 0, QVX_EXCEPTION_LOGIN_RESTORED, 10000));
    EXPECT_TRUE(WaitUntil([&] { return c.VideoCount() >= before + 10; }, 10000));
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        EXPECT_EQ(c.headers.size(), 2u) << "a stream header again after the re-opening";
    }
    auto types = exceptions_->TypesFor(login, stream);
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types[0], QVX_EXCEPTION_STREAM_LOST);
    EXPECT_EQ(types[1], QVX_EXCEPTION_STREAM_RESTORED);
    EXPECT_EQ(QVX_SDK_StopRealPlay(stream), QVX_OK);
    EXPECT_EQ(QVX_SDK_Logout(login), QVX_OK);
}

TEST_F(StandardCameraRtsp, WrongPasswordAndNobodyListeningAreDistinctResults) {
    int32_t rc = 0;
    EXPECT_EQ(Login("pw", &rc), 0);
    EXPECT_EQ(rc, QVX_ERR_CONNECT) << "nobody listens yet";
    ASSERT_TRUE(StartPeer({"--audio", "none"})) << peer_.log();
    EXPECT_EQ(Login("not-the-password", &rc), 0);
    EXPECT_EQ(rc, QVX_ERR_PASSWORD);
    QVX_HANDLE login = Login("pw", &rc);
    ASSERT_EQ(rc, QVX_OK);
    // A stream at a path the server does not have is refused by the device, not the password.
    ASSERT_EQ(QVX_SDK_SetStreamUrl(login, 0, 0, ("rtsp://127.0.0.1:" + std::to_string(port_) + "/nothing").c_str()),
              QVX_OK);
    Collector c;
    uint32_t rq[QVX_REQUEST_WORDS] = {};
    rq[4] = 3;
    QVX_HANDLE stream = 0;
    EXPECT_EQ(QVX_SDK_RealPlay(login, rq, &Collector::Callback, reinterpret_cast<intptr_t>(&c), &stream),
              QVX_ERR_DEVICE);
    EXPECT_EQ(stream, 0);
    // Our-protocol features are not offered by this driver.
    QVX_HANDLE talk = 0;
    EXPECT_EQ(QVX_SDK_StartVoiceCom(login, 0, nullptr, nullptr, 1, &talk), QVX_ERR_DEVICE);
    EXPECT_EQ(QVX_SDK_Logout(login), QVX_OK);
}

TEST_F(StandardCameraRtsp, DevtoolRecordsAFileFfmpegDecodesAndExplainsFailuresByExitStatus) {
    TempDir dir;
    std::string log = dir / "devtool.log";
    // Nobody listening: refused (4); the file is not created.
    EXPECT_EQ(RunCommand({OCV_DEVTOOL_PATH, "record", "--url", url_, "--seconds", "1", "--out", dir / "none.qvx"}, log), 4);
    EXPECT_NE(ReadText(log).find("connection refused"), std::string::npos) << ReadText(log);
    ASSERT_TRUE(StartPeer({"--codec", "h265", "--audio", "pcma"})) << peer_.log();
    EXPECT_EQ(RunCommand({OCV_DEVTOOL_PATH, "record", "--url", url_, "--user", "admin", "--password", "wrong",
                          "--seconds", "1", "--out", dir / "refused.qvx"},
                         log),
              5);
    EXPECT_NE(ReadText(log).find("refused the user name or password"), std::string::npos) << ReadText(log);
    EXPECT_EQ(RunCommand({OCV_DEVTOOL_PATH, "record", "--url", "http://127.0.0.1/x", "--seconds", "1", "--out",
                          dir / "x.qvx"},
                         log),
              2);
    // Credentials inside the URL work as well as the options.
    std::string withCredentials = "rtsp://admin:pw@127.0.0.1:" + std::to_string(port_) + "/cam";
    ASSERT_EQ(RunCommand({OCV_DEVTOOL_PATH, "record", "--url", withCredentials, "--seconds", "3", "--out",
                          dir / "good.qvx"},
                         log),
              0)
        << ReadText(log);
    RecordFileReader reader;
    ASSERT_EQ(reader.Open(dir / "good.qvx"), 0);
    EXPECT_EQ(reader.Info().videoCodec, kVideoCodecH265);
    EXPECT_GE(reader.KeyFrames().size(), 2u) << "every IDR picture is indexed";
    reader.Close();
    ExpectFfmpegDecodes(dir / "good.qvx", "hevc", dir);
}

}  // namespace
}  // namespace ocv::test
