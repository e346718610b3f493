// Standard cameras through the device service, end to end: a device of type "ONVIF" in the
// store (the simulator's ONVIF face) and one of type "RTSP URL" with stored stream URLs
// (GStreamer's RTSP server, H.265) log in with the standard driver, and their channel plays into
// a player port and records a file on drive D.
#include <gtest/gtest.h>

#include <filesystem>

#include "record/index_file.h"
#include "record/record_file_reader.h"
#include "store/stream_urls.h"
#include "tests/device/device_test_support.h"
#include "tests/sdk/peer_process.h"

namespace ocv {
namespace {

using test::WaitUntil;

class StandardCameraService : public test::DeviceServiceTest {
protected:
    void SetUp() override {
        test::DeviceServiceTest::SetUp();
        ResetDeviceTypeTable();
        AddStandardCameraTypes();  // as the client's start does
    }
    void TearDown() override {
        test::DeviceServiceTest::TearDown();
        ResetDeviceTypeTable();
    }

    // Plays channel 0 of device d into a player port, records it for a while and returns the
    // recording's path ("" after a failed check).
    std::string PlayAndRecord(int d, const std::string& host, int port) {
        DeviceRuntime& devRt = service_->runtime().device(d);
        EXPECT_EQ(service_->connections().StartDeviceThread(d), 0);
        if (!WaitUntil([&] { return devRt.deviceState.load() == 2; }, 20000)) {
            ADD_FAILURE() << "the device did not come online";
            return "";
        }
        PlayerChannelSet& players = service_->players();
        test::CountingSurface& cell = *NewSurface(64, 48);
        EXPECT_EQ(players.CreatePlayer(0, &cell), 0);
        players.SetVisibleSplit(4);
        EXPECT_EQ(players.AttachChannel(0, ChannelIdOf(d, 0), 0), 0);
        EXPECT_EQ(service_->connections().OpenChannel(d, 0), 0);
        if (!WaitUntil([&] { return cell.pictures.load() > 10; }, 20000)) {
            ADD_FAILURE() << "no pictures reached the player";
            return "";
        }
        service_->recording().InitRecorderDisk(ChannelIdOf(d, 0), 1);
        EXPECT_EQ(service_->recording().StartManualRecordingOn(d, 0, 1, clockSnapshot().SecondOfDay()), 0);
        std::string folder = app_ / ("d/QVXFile/2020_07_08/" + host + "-" + std::to_string(port) + "-1");
        std::string file = folder + "/NREC200708_100000.qvx";
        EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(file) && std::filesystem::file_size(file) > 100000; },
                              15000));
        EXPECT_EQ(service_->recording().StopRecording(d, 0), 0);
        std::vector<IndexRecord> index;
        EXPECT_EQ(ReadIndexFile(folder + "/images.fi", &index), 0);
        EXPECT_EQ(index.size(), 1u);
        EXPECT_EQ(service_->connections().StopDeviceThread(d), 0);
        EXPECT_EQ(devRt.loginHandle.load(), 0);
        return file;
    }

    static void ExpectKeyFramesIndexed(const std::string& file, uint32_t codec, uint32_t width) {
        RecordFileReader reader;
        ASSERT_EQ(reader.Open(file), 0);
        EXPECT_EQ(reader.Info().videoCodec, codec);
        EXPECT_EQ(reader.Info().width, width);
        EXPECT_GE(reader.KeyFrames().size(), 1u);
    }
};

TEST_F(StandardCameraService, OnvifDeviceInTheStoreLogsInPlaysAndRecords) {
    test::DevsimProcess sim;
    std::string error;
    ASSERT_TRUE(sim.Start({"--devices", "1", "--name", "DOOR", "--user", "admin", "--password", "pw", "--main",
                           "320x180@400", "--sub", "160x96@100", "--key-interval", "25", "--loop-frames", "50",
                           "--onvif", "--rtsp-base-port", "0", "--quiet"},
                          &error))
        << error;
    int web = sim.device(0).webPort;
    int d = AddDevice("127.0.0.1", web, 1, "pw", kDeviceTypeOnvif);
    StartService();
    std::string file = PlayAndRecord(d, "127.0.0.1", web);
    ASSERT_FALSE(file.empty());
    ExpectKeyFramesIndexed(file, kVideoCodecH264, 320);
}

TEST_F(StandardCameraService, RtspUrlDevicePlaysItsStoredUrlAndRecordsH265) {
    test::PeerProcess peer;
    int port = test::FreePort();
    if (!peer.Start({"/usr/bin/python3", OCV_RTSP_PEER, "--port", std::to_string(port), "--codec", "h265", "--user",
                     "admin", "--password", "pw", "--path", "/live/main"}))
        GTEST_SKIP() << "GStreamer's RTSP server could not start (python3-gi, gir1.2-gst-rtsp-server-1.0, "
                        "gstreamer1.0-plugins-bad): "
                     << peer.log();
    int d = AddDevice("127.0.0.1", port, 1, "pw", kDeviceTypeRtspUrl);
    StartService();
    // The URL the camera is known by, stored as the operator would save it.
    ChannelStreamUrls urls;
    urls.main = "rtsp://127.0.0.1:" + std::to_string(port) + "/live/main";
    ASSERT_EQ(SaveChannelStreamUrls(service_->store(), d, 0, urls), 0);
    std::string file = PlayAndRecord(d, "127.0.0.1", port);
    ASSERT_FALSE(file.empty());
    ExpectKeyFramesIndexed(file, kVideoCodecH265, 320);
}

}  // namespace
}  // namespace ocv
